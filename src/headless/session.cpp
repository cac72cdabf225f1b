// The headless runner's session: its options checked, the core started, one event a frame,
// the outputs written, the core stopped.
#include "headless/session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "game/replay.h"
#include "headless/bot.h"
#include "headless/output.h"
#include "headless/script.h"
#include "pack/files.h"
#include "pack/log.h"
#include "pack/savefile.h"
#include "pack/wav.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kFramesPerChunk = 6;  // one 100 ms sound chunk per 6 frames at 60 frames a second

uint32_t frame_pixels[NOX_W * NOX_H];
uint8_t screen_indices[NOX_W * NOX_H];
uint8_t chunk[NOX_CHUNK_BYTES];

// What a run keeps between frames, besides its options and its result.
struct Session {
  std::vector<ScriptStep> script;
  bool have_script = false;
  size_t script_pos = 0;
  int64_t wait_left = 0;
  std::string replay;  // the bytes of the replay file played back
  SaveStream trace;
  WavStream wav;
  std::vector<PngRequest> pngs;  // sorted by frame
  size_t png_pos = 0;
  bool running = false;  // start-up has succeeded: the run ends with the core's shut-down
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

// The next frame's event. Returns false when the run ends before this frame.
bool next_event(Session& s, const HeadlessOptions& o, int64_t frame, HeadlessEvent* ev) {
  static constexpr NoxEvent kEvents[] = {NoxEvent::None,         NoxEvent::PointerMove, NoxEvent::PointerDown,
                                         NoxEvent::PointerUp,    NoxEvent::PointerLeave, NoxEvent::EscapeUp,
                                         NoxEvent::Quit};
  *ev = HeadlessEvent{};
  if (s.have_script) {
    while (s.wait_left == 0 && s.script_pos < s.script.size()) {
      const ScriptStep& st = s.script[s.script_pos++];
      if (st.op == ScriptOp::Wait) {
        s.wait_left = st.a;
        continue;
      }
      *ev = HeadlessEvent{kEvents[static_cast<int>(st.op)], st.a, st.b};
      return true;
    }
    if (s.wait_left > 0) {
      --s.wait_left;
      return true;
    }
    // The script has run out: a replay or an input source may carry the run on.
    if (!o.input && !o.bot && o.replay_file.empty()) return false;
  }
  if (o.input) return o.input(frame, ev);
  if (o.bot) *ev = headless_bot_event(frame);
  return true;
}

bool write_trace_line(Session& s, int64_t frame) {
  static char line[GAME_TRACE_LINE_MAX + 1];
  const size_t n = game_trace_line(frame, line);
  line[n] = '\n';
  return std::fwrite(line, 1, n + 1, s.trace.file()) == n + 1;
}

bool run_loop(Session& s, const HeadlessOptions& o, HeadlessResult& r) {
  const bool replaying = !o.replay_file.empty();
  const bool listening = s.wav.is_open() || o.on_sound;
  std::string why;
  for (int64_t frame = 0; o.max_frames < 0 || frame < o.max_frames; ++frame) {
    HeadlessEvent ev;
    if (!next_event(s, o, frame, &ev)) break;
    // Only the frames written as pictures are composed (or all of them, when asked).
    const bool want_png = s.png_pos < s.pngs.size() && s.pngs[s.png_pos].frame == frame;
    const bool compose = want_png || o.compose_every_frame;
    const GameStep step = game_step(GameInput{ev.ev, ev.px, ev.py}, compose || o.on_screen);
    if (step == GameStep::Quit) break;
    r.frames = frame + 1;
    const bool ran = step == GameStep::Next;
    bool stop = false;
    if (ran && o.on_screen) {
      game_screen(screen_indices);
      stop = !o.on_screen(frame, screen_indices, game_palette());
    }
    if (ran && compose) game_compose(NOX_W * 4, frame_pixels);
    if (listening && (frame + 1) % kFramesPerChunk == 0) {
      game_mix(chunk, NOX_CHUNK_BYTES);
      if (s.wav.is_open() && !s.wav.add(chunk, sizeof chunk, &why)) return fail(&r, "--wav " + o.wav_file + ": " + why);
      if (o.on_sound && !o.on_sound(chunk, sizeof chunk)) stop = true;
    }
    if (s.trace.file() != nullptr && frame % o.trace_every == 0 && !write_trace_line(s, frame))
      return fail(&r, "--trace " + o.trace_file + ": " + std::strerror(errno));
    for (; want_png && s.png_pos < s.pngs.size() && s.pngs[s.png_pos].frame == frame; ++s.png_pos) {
      if (!ran) game_compose(NOX_W * 4, frame_pixels);
      if (!write_png(s.pngs[s.png_pos].path, frame_pixels, NOX_W, NOX_H, o.scale, &why))
        return fail(&r, "--png " + s.pngs[s.png_pos].path + ": " + why);
    }
    if (o.on_frame && !o.on_frame(frame)) break;
    if (!ran || stop) break;
    if (replaying && game_state().scene == Scene::Title) break;  // the playback has ended
  }
  // The sound of the frames after the last whole chunk.
  if (o.on_sound && r.frames % kFramesPerChunk != 0) {
    game_mix(chunk, NOX_CHUNK_BYTES);
    o.on_sound(chunk, sizeof chunk);
  }
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

bool start_session(Session& s, const HeadlessOptions& o, HeadlessResult& r) {
  if (o.trace_every < 1) return fail_usage(&r, "--trace-every needs a number of frames of 1 or more");
  if (o.scale != 1 && o.scale != 2) return fail_usage(&r, "--scale must be 1 or 2");
  if (o.bot && o.max_frames < 0) return fail_usage(&r, "--bot plays on for ever: give --frames too");
  if (o.script_file.empty() && !o.has_script_text && o.max_frames < 0 && o.replay_file.empty() && !o.input)
    return fail_usage(&r, "nothing would end the run: give --script, --frames or --replay");
  if (!check_paths(o, r)) return false;

  // Script first: a bad line stops the run before anything is touched. A file's script goes before
  // one given as text.
  s.have_script = !o.script_file.empty() || o.has_script_text;
  std::string why, text = o.script_text;
  if (!o.script_file.empty() && !read_input(o.script_file, &text, &why))
    return fail(&r, "--script " + o.script_file + ": " + why);
  const std::string name = o.script_file.empty() ? "script" : o.script_file;
  if (s.have_script && !parse_script(text, name, &s.script, &r.error)) return false;
  // The game never reads more of a replay file than its buffer holds.
  if (!o.replay_file.empty() && !read_input(o.replay_file, &s.replay, &why, REPLAY_BUFFER_BYTES))
    return fail(&r, "--replay " + o.replay_file + ": " + why);
  s.pngs = o.pngs;
  std::stable_sort(s.pngs.begin(), s.pngs.end(),
                   [](const PngRequest& a, const PngRequest& b) { return a.frame < b.frame; });
  if (!o.trace_file.empty()) {
    if (!s.trace.open(o.trace_file, &why)) return fail(&r, "--trace " + o.trace_file + ": " + why);
    std::setvbuf(s.trace.file(), nullptr, _IOFBF, 1 << 20);  // the lines go out a megabyte at a time
  }
  if (!o.wav_file.empty() && !s.wav.open(o.wav_file, &why)) return fail(&r, "--wav " + o.wav_file + ": " + why);

  const bool drawing = o.draw || o.compose_every_frame || !o.pngs.empty() || o.on_screen;
  if (!headless_start(o.dir, drawing, &r.error)) return false;
  s.running = true;
  if (!o.replay_file.empty()) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.replay.data());
    if (game_play_replay(bytes, s.replay.size()) != 0)
      return fail(&r, "cannot play " + o.replay_file + ": not a usable replay file");
  }
  return true;
}

// Puts the trace and the sound in place once the run has done all it was asked; after a failure
// they are discarded, and nothing is left under their names.
bool finish_outputs(Session& s, const HeadlessOptions& o, HeadlessResult& r, bool ok) {
  if (ok && s.png_pos < s.pngs.size())
    ok = fail(&r, "no picture for frame " + std::to_string(s.pngs[s.png_pos].frame) + ": the run ended after " +
                      std::to_string(r.frames) + " frames");
  std::string why;
  if (ok && s.trace.file() != nullptr && !s.trace.commit(&why))
    ok = fail(&r, "--trace " + o.trace_file + ": " + why);
  if (ok && s.wav.is_open() && !s.wav.commit(&why)) ok = fail(&r, "--wav " + o.wav_file + ": " + why);
  return ok;
}

}  // namespace

const uint32_t* headless_frame() { return frame_pixels; }

bool headless_start(const std::string& dir, bool drawing, std::string* error) {
  GameOptions game;
  game.folder = dir.c_str();
  game.first_line = "Executes \"PIXEL BREAKER\" on Headless 1.0 script runner (0,0)";
  game.log_source = "./src/headless/run.cpp";
  game.drawing = drawing;
  const Status started = game_start(game);
  if (started.ok()) return true;
  *error = (started.code == GAME_PACK_FAILED ? "cannot load ROMDATA.BIN: " : "nox_init error: ") +
           std::string(started.message);
  return false;
}

int headless_run(const HeadlessOptions& options, HeadlessResult* result) {
  *result = HeadlessResult{};
  // The game's folder and log source are the session's; whatever the process had is put back.
  const std::string folder = files_folder() != nullptr ? files_folder() : "";
  const char* source = putlog_source();
  bool ok;
  {
    Session s;
    ok = start_session(s, options, *result);
    if (ok) ok = run_loop(s, options, *result);
    ok = finish_outputs(s, options, *result, ok);
    if (s.running) game_stop();
  }
  files_use(folder.c_str());
  putlog_set_source(source);
  const Game& g = game_state();
  result->scene = static_cast<uint16_t>(g.scene);
  result->score = g.score;
  result->hi_score = g.hi_score;
  result->round = g.round;
  return ok ? 0 : 1;
}

std::string headless_summary(const HeadlessResult& r) {
  // Scores as the game shows them: the points, ten for each unit the game counts in.
  return "frames " + std::to_string(r.frames) + "  scene " + std::to_string(r.scene) + "  score " +
         std::to_string(uint64_t{r.score} * 10) + "  hi_score " + std::to_string(uint64_t{r.hi_score} * 10) +
         "  round " + std::to_string(r.round);
}
