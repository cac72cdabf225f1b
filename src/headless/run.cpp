// The headless host's session: start-up, the frame loop of one event per frame, shut-down.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "engine/screen.h"
#include "engine/sound.h"
#include "engine/touch.h"
#include "game/game.h"
#include "game/input.h"
#include "game/replay.h"
#include "game/rng.h"
#include "game/slots.h"
#include "game/title.h"
#include "headless/headless.h"
#include "pack/log.h"
#include "pack/pack.h"
#include "pack/savefile.h"

namespace fs = std::filesystem;

namespace {

// The host's own source location in the log, with the host's fixed line numbers.
constexpr const char* kLogSource = "./src/headless/run.cpp";
constexpr int kLineLoadbin = 149;
constexpr int kLineNoxInit = 212;
constexpr int kLineExit = 300;

constexpr int32_t kFramesPerChunk = 6;  // one 100 ms sound chunk per 6 frames at 60 frames a second

uint32_t frame_pixels[NOX_W * NOX_H];
uint8_t screen_indices[NOX_W * NOX_H];
uint8_t chunk[NOX_CHUNK_BYTES];

// Restores the working directory and the log's source location however the run ends.
struct SessionScope {
  fs::path previous_dir;
  bool changed_dir = false;
  const char* previous_source = nullptr;
  ~SessionScope() {
    if (previous_source != nullptr) putlog_set_source(previous_source);
    if (changed_dir) {
      std::error_code ec;
      fs::current_path(previous_dir, ec);
    }
  }
};

std::string absolute_or_empty(const std::string& p) {
  if (p.empty()) return p;
  std::error_code ec;
  fs::path a = fs::absolute(fs::path(p), ec);
  return ec ? p : a.string();
}

// The whole of a file that input_problem accepts; false with the cause in *why.
bool read_file(const std::string& path, std::string* out, std::string* why) {
  std::FILE* f = open_input(path, why);
  if (f == nullptr) return false;
  out->clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  if (!ok) *why = "read error";
  return ok;
}

// The message of the last logged failure, without time stamp and source location.
std::string last_log_failure() {
  std::string text, why;
  if (!read_file("LOG.TXT", &text, &why)) return "";
  std::string found;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "YYYY/MM/DD hh:mm:ss message <src:line>"
    if (line.size() < 20) continue;
    std::string msg = line.substr(20);
    const size_t loc = msg.rfind(" <");
    if (loc != std::string::npos && msg.back() == '>') msg.erase(loc);
    if (msg.rfind("Load binary file:", 0) == 0 || msg == "loadbin error.") continue;
    if (msg.rfind("Executes ", 0) == 0) continue;
    found = msg;
  }
  return found;
}

}  // namespace

// Process-wide state that a fresh program starts with; reset so that several sessions in one
// process (tests) behave exactly like separate runs.
void headless_reset_process_state() {
  pack_unload();
  nox_free_banks();
  nox_free_slots();
  nox_touch = NoxTouch{};
  nox_set_mute(0);
  rng_seed(0);
  particle_next = 0;
  explosion_next = 0;
  title_menu_reset();
  std::memset(nox_sp, 0, sizeof nox_sp);
  std::memset(nox_bg, 0, sizeof nox_bg);
}

namespace {

// --- trace lines -------------------------------------------------------------------------------

inline char* put_int(char* p, int64_t v) {
  char tmp[24];
  int n = 0;
  uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *p++ = '-';
  while (n > 0) *p++ = tmp[--n];
  return p;
}

template <size_t N>
inline char* put_lit(char* p, const char (&s)[N]) {
  std::memcpy(p, s, N - 1);
  return p + N - 1;
}

// Writes ,"key":value (the first key without the comma is written by the caller).
// A JSON array of small numbers, "[a,b,...]".
inline char* put_tuple(char* p, std::initializer_list<int64_t> values) {
  *p++ = '[';
  for (const int64_t* v = values.begin(); v != values.end(); ++v) {
    if (v != values.begin()) *p++ = ',';
    p = put_int(p, *v);
  }
  *p++ = ']';
  return p;
}

#define PUT_KEY(p, key, value) \
  do {                         \
    p = put_lit(p, ",\"" key "\":"); \
    p = put_int(p, static_cast<int64_t>(value)); \
  } while (0)

// --- WAV ---------------------------------------------------------------------------------------

void put_le32_bytes(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void wav_header(uint8_t h[44], uint32_t data_bytes) {
  std::memcpy(h, "RIFF", 4);
  put_le32_bytes(h + 4, 36 + data_bytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le32_bytes(h + 16, 16);
  h[20] = 1;  // PCM
  h[21] = 0;
  h[22] = 1;  // mono
  h[23] = 0;
  put_le32_bytes(h + 24, 22050);
  put_le32_bytes(h + 28, 44100);
  h[32] = 2;
  h[33] = 0;
  h[34] = 16;
  h[35] = 0;
  std::memcpy(h + 36, "data", 4);
  put_le32_bytes(h + 40, data_bytes);
}

// --- the session -------------------------------------------------------------------------------

enum class Source : uint8_t { Script, Callback, Nothing };

struct Session {
  const HeadlessOptions* opt = nullptr;
  HeadlessResult* res = nullptr;
  std::vector<ScriptStep> script;
  bool have_script = false;
  size_t script_pos = 0;
  int64_t wait_left = 0;
  SaveStream trace;
  SaveStream wav;
  uint32_t wav_bytes = 0;
  std::vector<char> trace_buf;
  size_t trace_fill = 0;
  struct PngOut {
    int64_t frame;
    std::string path, asked;  // where it goes from the working directory; as the caller named it
  };
  std::vector<PngOut> pngs;  // sorted by frame
  size_t png_pos = 0;
  bool running = false;  // start-up has succeeded: the run ends with the host's shut-down
  bool sp_dirty = false;  // the sprite plane holds drawing that no composition has emptied
};

bool fail(HeadlessResult* res, const std::string& msg) {
  res->error = msg;
  return false;
}

// A command line that cannot run as given.
bool fail_usage(HeadlessResult* res, const std::string& msg) {
  res->bad_options = true;
  return fail(res, msg);
}

bool flush_trace(Session& s) {
  if (s.trace_fill == 0) return true;
  const bool ok = std::fwrite(s.trace_buf.data(), 1, s.trace_fill, s.trace.file()) == s.trace_fill;
  s.trace_fill = 0;
  return ok;
}

// The next frame's event. Returns false when the run ends before this frame.
bool next_event(Session& s, int64_t frame, HeadlessEvent* ev) {
  *ev = HeadlessEvent{};
  if (s.have_script) {
    while (s.wait_left == 0 && s.script_pos < s.script.size()) {
      const ScriptStep& st = s.script[s.script_pos++];
      switch (st.op) {
        case ScriptOp::Wait:
          s.wait_left = st.a;
          continue;
        case ScriptOp::Move:
          *ev = HeadlessEvent{NoxEvent::PointerMove, st.a, st.b};
          return true;
        case ScriptOp::Down:
          ev->ev = NoxEvent::PointerDown;
          return true;
        case ScriptOp::Up:
          ev->ev = NoxEvent::PointerUp;
          return true;
        case ScriptOp::Leave:
          ev->ev = NoxEvent::PointerLeave;
          return true;
        case ScriptOp::Esc:
          ev->ev = NoxEvent::EscapeUp;
          return true;
        case ScriptOp::Quit:
          ev->ev = NoxEvent::Quit;
          return true;
      }
    }
    if (s.wait_left > 0) {
      --s.wait_left;
      return true;
    }
    // The script has run out: a replay or an input source may carry the run on.
    if (!s.opt->input && !s.opt->bot && s.opt->replay_file.empty()) return false;
  }
  if (s.opt->input) return s.opt->input(frame, ev);
  if (s.opt->bot) *ev = headless_bot_event(frame);
  return true;
}

bool run_loop(Session& s) {
  const HeadlessOptions& o = *s.opt;
  HeadlessResult& r = *s.res;
  const bool replaying = !o.replay_file.empty();
  for (int64_t frame = 0; o.max_frames < 0 || frame < o.max_frames; ++frame) {
    HeadlessEvent ev;
    if (!next_event(s, frame, &ev)) break;
    if (ev.ev != NoxEvent::None && nox_dispatch_event(ev.ev, ev.px, ev.py) != 0) break;

    // The game only ever writes the sprite plane; composing is what empties it. A frame whose
    // picture nobody looks at is not composed, so its sprites may stay behind until the next
    // frame that is looked at (composed, or handed to `on_screen` as palette indices), which
    // first gets the empty plane that composing would have left.
    const bool want_png = s.png_pos < s.pngs.size() && s.pngs[s.png_pos].frame == frame;
    const bool compose = want_png || o.compose_every_frame;
    if ((compose || o.on_screen) && s.sp_dirty) std::memset(nox_sp, 0, sizeof nox_sp);

    const int result = nox_frame();
    r.frames = frame + 1;
    s.sp_dirty = true;
    bool stop = false;
    if (result == 0 && o.on_screen) {
      for (int32_t i = 0; i < NOX_W * NOX_H; ++i) screen_indices[i] = nox_sp[i] != 0 ? nox_sp[i] : nox_bg[i];
      stop = !o.on_screen(frame, screen_indices, nox_palette);
    }
    if (result == 0) {
      if (compose) {
        nox_compose(NOX_W * 4, frame_pixels);
        s.sp_dirty = false;
      }
      nox_touch_tick();
    }
    if ((frame + 1) % kFramesPerChunk == 0) {
      nox_mixpcm(chunk, NOX_CHUNK_BYTES);
      if (s.wav.file() != nullptr) {
        if (std::fwrite(chunk, 1, sizeof chunk, s.wav.file()) != sizeof chunk)
          return fail(&r, "--wav " + o.wav_file + ": " + std::strerror(errno));
        s.wav_bytes += static_cast<uint32_t>(sizeof chunk);
      }
      if (o.on_sound && !o.on_sound(chunk, sizeof chunk)) stop = true;
    }
    if (s.trace.file() != nullptr && frame % o.trace_every == 0) {
      if (s.trace_fill + HEADLESS_TRACE_LINE_MAX > s.trace_buf.size() && !flush_trace(s))
        return fail(&r, "--trace " + o.trace_file + ": " + std::strerror(errno));
      char* p = s.trace_buf.data() + s.trace_fill;
      const size_t n = headless_trace_line(frame, p);
      p[n] = '\n';
      s.trace_fill += n + 1;
    }
    while (s.png_pos < s.pngs.size() && s.pngs[s.png_pos].frame == frame) {
      if (result != 0) {
        nox_compose(NOX_W * 4, frame_pixels);
        s.sp_dirty = false;
      }
      std::string err;
      if (!write_png(s.pngs[s.png_pos].path, frame_pixels, NOX_W, NOX_H, o.scale, &err))
        return fail(&r, "--png " + s.pngs[s.png_pos].asked + ": " + err);
      ++s.png_pos;
    }
    if (o.on_frame && !o.on_frame(frame)) break;
    if (result != 0 || stop) break;
    if (replaying && g.scene == 0) break;  // the playback has ended and the title menu is back
  }
  // The sound of the frames after the last whole chunk.
  if (o.on_sound && r.frames % kFramesPerChunk != 0) {
    nox_mixpcm(chunk, NOX_CHUNK_BYTES);
    o.on_sound(chunk, sizeof chunk);
  }
  if (s.sp_dirty) std::memset(nox_sp, 0, sizeof nox_sp);
  s.sp_dirty = false;
  return true;
}

// Every path option names what it must: files to read, names that can be written, a folder.
bool check_paths(const HeadlessOptions& o, HeadlessResult& r) {
  std::string why;
  if (!o.dir.empty()) {
    std::error_code ec;
    const auto type = fs::status(o.dir, ec).type();
    why = type == fs::file_type::not_found ? input_problem(o.dir)
          : type != fs::file_type::directory ? std::string("is not a folder")
                                               : "";
    if (!why.empty()) return fail(&r, "--dir " + o.dir + ": " + why);
  }
  const std::pair<const char*, const std::string*> inputs[] = {{"--script", &o.script_file},
                                                               {"--replay", &o.replay_file}};
  for (const auto& [option, path] : inputs)
    if (!path->empty() && !(why = input_problem(*path)).empty())
      return fail(&r, std::string(option) + " " + *path + ": " + why);
  std::vector<std::pair<const char*, const std::string*>> outputs = {{"--trace", &o.trace_file},
                                                                     {"--wav", &o.wav_file}};
  for (const PngRequest& p : o.pngs) outputs.emplace_back("--png", &p.path);
  for (const auto& [option, path] : outputs)
    if (!path->empty() && !(why = output_problem(*path)).empty())
      return fail(&r, std::string(option) + " " + *path + ": " + why);
  return true;
}

bool start_session(Session& s, SessionScope& scope) {
  const HeadlessOptions& o = *s.opt;
  HeadlessResult& r = *s.res;
  if (o.trace_every < 1) return fail_usage(&r, "--trace-every needs a number of frames of 1 or more");
  if (o.scale != 1 && o.scale != 2) return fail_usage(&r, "--scale must be 1 or 2");
  if (o.bot && o.max_frames < 0) return fail_usage(&r, "--bot plays on for ever: give --frames too");
  if (o.script_file.empty() && !o.has_script_text && o.max_frames < 0 && o.replay_file.empty() && !o.input)
    return fail_usage(&r, "nothing would end the run: give --script, --frames or --replay");
  if (!check_paths(o, r)) return false;

  // Script first: a bad line stops the run before anything is touched.
  std::string why;
  if (!o.script_file.empty()) {
    std::string text;
    if (!read_file(o.script_file, &text, &why)) return fail(&r, "--script " + o.script_file + ": " + why);
    if (!parse_script(text, o.script_file, &s.script, &r.error)) return false;
    s.have_script = true;
  } else if (o.has_script_text) {
    if (!parse_script(o.script_text, "script", &s.script, &r.error)) return false;
    s.have_script = true;
  }

  // Paths on the command line are relative to where the runner was started.
  const std::string trace_path = absolute_or_empty(o.trace_file);
  const std::string wav_path = absolute_or_empty(o.wav_file);
  const std::string replay_path = absolute_or_empty(o.replay_file);
  for (const PngRequest& p : o.pngs) s.pngs.push_back({p.frame, absolute_or_empty(p.path), p.path});
  std::stable_sort(s.pngs.begin(), s.pngs.end(),
                   [](const Session::PngOut& a, const Session::PngOut& b) { return a.frame < b.frame; });

  if (!o.dir.empty()) {
    std::error_code ec;
    scope.previous_dir = fs::current_path(ec);
    fs::current_path(fs::path(o.dir), ec);
    if (ec) return fail(&r, "--dir " + o.dir + ": " + ec.message());
    scope.changed_dir = true;
  }

  if (!trace_path.empty()) {
    if (!s.trace.open(trace_path, &why)) return fail(&r, "--trace " + o.trace_file + ": " + why);
    s.trace_buf.resize(1 << 20);
  }
  if (!wav_path.empty()) {
    if (!s.wav.open(wav_path, &why)) return fail(&r, "--wav " + o.wav_file + ": " + why);
    uint8_t h[44];
    wav_header(h, 0);
    if (std::fwrite(h, 1, sizeof h, s.wav.file()) != sizeof h)
      return fail(&r, "--wav " + o.wav_file + ": " + std::strerror(errno));
  }

  headless_reset_process_state();
  scope.previous_source = putlog_source();
  putlog_set_source(kLogSource);
  std::error_code ec;
  fs::remove("LOG.TXT", ec);
  putlog(nullptr, 0, "Executes \"%s\" on %s %d.%d %s (%d,%d)", "PIXEL BREAKER", "Headless", 1, 0,
         "script runner", 0, 0);
  if (loadbin("ROMDATA.BIN") != 0) {
    putlog(kLogSource, kLineLoadbin, "loadbin error.");
    std::string logged = last_log_failure();
    if (logged.empty()) logged = "loadbin error.";
    return fail(&r, "cannot load ROMDATA.BIN: " + logged);
  }
  if (nox_init() != 0) {
    putlog(kLogSource, kLineNoxInit, "nox_init error.");
    nox_free_banks();
    nox_free_slots();
    return fail(&r, "nox_init error: ROMDATA.BIN lacks a picture or sound effect the game needs, or one is broken");
  }
  s.running = true;
  if (!replay_path.empty() && load_replay_file(replay_path.c_str()) != 0)
    return fail(&r, "cannot play " + o.replay_file + ": not a usable replay file");
  s.wav_bytes = 0;
  return true;
}

// Puts the trace and the sound in place once the run has done all it was asked; after a failure
// they are discarded, and nothing is left under their names.
bool finish_outputs(Session& s, bool ok) {
  const HeadlessOptions& o = *s.opt;
  if (ok && s.png_pos < s.pngs.size())
    ok = fail(s.res, "no picture for frame " + std::to_string(s.pngs[s.png_pos].frame) + ": the run ended after " +
                         std::to_string(s.res->frames) + " frames");
  std::string why;
  if (ok && s.trace.file() != nullptr && !(flush_trace(s) && s.trace.commit(&why)))
    ok = fail(s.res, "--trace " + o.trace_file + ": " + (why.empty() ? std::strerror(errno) : why));
  if (ok && s.wav.file() != nullptr) {
    uint8_t h[44];
    wav_header(h, s.wav_bytes);
    if (std::fseek(s.wav.file(), 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, s.wav.file()) != sizeof h ||
        !s.wav.commit(&why))
      ok = fail(s.res, "--wav " + o.wav_file + ": " + (why.empty() ? std::strerror(errno) : why));
  }
  s.trace.discard();
  s.wav.discard();
  return ok;
}

}  // namespace

size_t headless_trace_line(int64_t frame, char* buf) {
  char* p = buf;
  p = put_lit(p, "{\"frame\":");
  p = put_int(p, frame);
  PUT_KEY(p, "scene", g.scene);
  PUT_KEY(p, "frame_counter", g.frame_counter);
  PUT_KEY(p, "score", g.score);
  PUT_KEY(p, "hi_score", g.hi_score);
  PUT_KEY(p, "round", g.round);
  PUT_KEY(p, "scene_timer", g.scene_timer);
  PUT_KEY(p, "game_over", g.game_over);
  PUT_KEY(p, "game_over_timer", g.game_over_timer);
  PUT_KEY(p, "items_caught", g.items_caught);
  PUT_KEY(p, "max_combo", g.max_combo);
  PUT_KEY(p, "combo", g.combo);
  PUT_KEY(p, "touch_pressed", g.touch_pressed);
  PUT_KEY(p, "touch_x", g.touch_x);
  PUT_KEY(p, "touch_y", g.touch_y);
  PUT_KEY(p, "touch_released", g.touch_released);
  PUT_KEY(p, "paddle_x", g.paddle_x);
  PUT_KEY(p, "paddle_target_x", g.paddle_target_x);
  PUT_KEY(p, "ball_x", g.ball_x);
  PUT_KEY(p, "ball_y", g.ball_y);
  PUT_KEY(p, "ball_vx", g.ball_vx);
  PUT_KEY(p, "ball_vy", g.ball_vy);
  PUT_KEY(p, "ball_fx", g.ball_fx);
  PUT_KEY(p, "ball_fy", g.ball_fy);
  PUT_KEY(p, "serve_dir", g.serve_dir);
  PUT_KEY(p, "floor_present", g.floor_present);
  PUT_KEY(p, "bomb_active", g.bomb_active);
  PUT_KEY(p, "bomb_x", g.bomb_x);
  PUT_KEY(p, "bomb_y", g.bomb_y);
  PUT_KEY(p, "alive_count", g.alive_count);
  PUT_KEY(p, "march_delay", g.march_delay);
  PUT_KEY(p, "march_phase", g.march_phase);
  PUT_KEY(p, "march_group", g.march_group);
  PUT_KEY(p, "hit_popup_timer", g.hit_popup_timer);
  PUT_KEY(p, "item_next", g.item_next);
  PUT_KEY(p, "round_bonus", g.round_bonus);
  PUT_KEY(p, "bonus_step", g.bonus_step);
  PUT_KEY(p, "playback", g.playback);
  PUT_KEY(p, "opt_guide", g.opt_guide);
  PUT_KEY(p, "opt_floor", g.opt_floor);
  PUT_KEY(p, "rng", rng_state);
  PUT_KEY(p, "replay_frames", replay_frame_index());
  p = put_lit(p, ",\"aliens\":[");
  for (int i = 0; i < ALIEN_COUNT; ++i) {
    const Alien& a = g.aliens[i];
    if (i != 0) *p++ = ',';
    p = put_tuple(p, {a.kind, a.hp, a.flash, a.x, a.y, a.frame});
  }
  p = put_lit(p, "],\"items\":[");
  for (int i = 0; i < ITEM_COUNT; ++i) {
    const FallingItem& it = g.items[i];
    if (i != 0) *p++ = ',';
    p = put_tuple(p, {it.state, it.frame, it.x, it.y, it.vy});
  }
  *p++ = ']';
  PUT_KEY(p, "particle_next", particle_next);
  PUT_KEY(p, "explosion_next", explosion_next);
  PUT_KEY(p, "mute", nox_get_mute());
  *p++ = '}';
  return static_cast<size_t>(p - buf);
}

const uint32_t* headless_frame() { return frame_pixels; }

int headless_run(const HeadlessOptions& options, HeadlessResult* result) {
  *result = HeadlessResult{};
  Session s;
  s.opt = &options;
  s.res = result;
  bool ok;
  {
    SessionScope scope;
    ok = start_session(s, scope);
    if (ok) ok = run_loop(s);
    ok = finish_outputs(s, ok);
    if (s.running) {
      // Shut-down as a host does it.
      nox_free_banks();
      nox_free_slots();
      putlog(kLogSource, kLineExit, "Exit program.");
    }
  }
  result->scene = g.scene;
  result->score = g.score;
  result->hi_score = g.hi_score;
  result->round = g.round;
  return ok ? 0 : 1;
}

std::string headless_summary(const HeadlessResult& r) {
  // Scores as the game shows them: the points, ten for each unit the game counts in.
  char line[160];
  std::snprintf(line, sizeof line, "frames %lld  scene %u  score %llu  hi_score %llu  round %u",
                static_cast<long long>(r.frames), static_cast<unsigned>(r.scene),
                static_cast<unsigned long long>(r.score) * 10, static_cast<unsigned long long>(r.hi_score) * 10,
                static_cast<unsigned>(r.round));
  return line;
}
