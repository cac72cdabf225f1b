// The browser host: start-up, the frame loop on the display's animation frames, the picture
// handed to the page's canvas, sound handed to Web Audio, pointer and key events from the page.
// The page's script (shell.js) sets up the files, the canvas, the pointer listeners and the
// audio output, then calls web_start.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "game/core.h"
#include "host/event_queue.h"
#include "host/frame_schedule.h"
#include "host/sound_ring.h"  // SOUND_RATE
#include "nox_web/watch.h"
#include "nox_web/web.h"
#include "pack/log.h"

namespace {

// Where this host's log lines say they come from, and the fixed line number of its own.
constexpr const char* kLogSource = "./src/nox_web.cpp";
constexpr int kLineStopped = 296;

constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kNsPerS = 1000000000;
constexpr int32_t kSoundMaxBytes = NOX_CHUNK_BYTES;  // the most mixed in one go (100 ms)
constexpr int kCostSamples = 4096;                   // per-frame costs kept for the page's measurements

HostEventQueue pending;
Pacer pacer;
bool running = false;
bool hidden = false;
bool restart_schedule = true;  // the next animation frame starts the schedule afresh
int64_t last_frame_ns = 0;     // the previous animation frame
int64_t refresh_ns = 16666667; // the display's refresh interval, as measured
int64_t silent_ns = 0;         // without an audio output: where the mixer's wall clock stands
int64_t silent_bytes = 0;      // ... and the bytes it owes
double frames_run = 0;

Status start_status;                   // why the start failed, for the page

uint32_t frame_pixels[NOX_W * NOX_H];  // 0x00RRGGBB as composed, then R, G, B, A bytes for the canvas
alignas(4) uint8_t sound_out[kSoundMaxBytes];  // 16-bit samples

// For each animation frame that ran the game: [0] its game frames, composition and the copy
// onto the canvas; [1] all of its work, with the sound and the saved files.
float frame_costs_ms[kCostSamples][2];
uint32_t frame_cost_count = 0;

}  // namespace

// --- the page's side (shell.js) ----------------------------------------------------------------

// Puts the 240 x 320 RGBA picture at `rgba` onto the canvas.
EM_JS(void, page_present, (const uint32_t* rgba), { Module.pixbrkPage.present(rgba); });
// Bytes of sound the audio output wants now, or -1 while no output runs (before the first tap,
// or in a browser without Web Audio). frame_ms: when the animation frame began; -1 between
// animation frames, when the output's queue runs low.
EM_JS(int, page_sound_wanted, (double frame_ms), { return Module.pixbrkPage.soundWanted(frame_ms); });
EM_JS(void, page_sound_push, (const uint8_t* bytes, int count), {
  Module.pixbrkPage.soundPush(HEAP16.slice(bytes >> 1, (bytes + count) >> 1));
});
// After frames have run: the page keeps files the game has saved.
EM_JS(void, page_frames_done, (), { Module.pixbrkPage.framesDone(); });
EM_JS(void, page_stopped, (), { Module.pixbrkPage.stopped(); });
EM_JS(void, page_system, (char* out, int size), {
  stringToUTF8("on the web: " + navigator.userAgent, out, size);
});

namespace {

void to_canvas_order() {
  for (uint32_t& p : frame_pixels) {
    p = 0xFF000000u | (p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
  }
}

// Mixes what the audio output needs and hands it over (the output keeps its own queue). Without
// an output the mixer still runs at the pace of the wall clock, so that effects start and end as
// they would have been heard. `frame`: called at an animation frame that began at now_ns.
void feed_sound(int64_t now_ns, bool frame) {
  const int wanted = page_sound_wanted(frame ? static_cast<double>(now_ns) / static_cast<double>(kNsPerMs) : -1.0);
  int bytes;
  if (wanted >= 0) {
    bytes = std::min(wanted & ~1, kSoundMaxBytes);
    silent_bytes = 0;
  } else {
    silent_bytes += (now_ns - silent_ns) * SOUND_RATE * 2 / kNsPerS;
    bytes = static_cast<int>(std::min<int64_t>(silent_bytes, kSoundMaxBytes)) & ~1;
    silent_bytes = std::max<int64_t>(silent_bytes - bytes, 0);
    if (silent_bytes > kSoundMaxBytes) silent_bytes = 0;  // after a stall: no catching up
  }
  silent_ns = now_ns;
  if (bytes == 0) return;
  game_mix(sound_out, bytes);
  if (wanted >= 0) page_sound_push(sound_out, bytes);
}

EM_BOOL on_animation_frame(double time_ms, void*) {
  if (!running) return EM_FALSE;
  const int64_t now = static_cast<int64_t>(time_ms * static_cast<double>(kNsPerMs));
  const int64_t since = now - last_frame_ns;
  if (last_frame_ns != 0 && since > 2 * kNsPerMs && since < 50 * kNsPerMs) {
    refresh_ns += (since - refresh_ns) / 8;  // a running average of the display's refresh
  }
  last_frame_ns = now;
  if (hidden) return EM_TRUE;

  const double start_ms = emscripten_get_now();
  if (restart_schedule) {
    // The schedule starts with this animation frame, which shows the next game frame at once:
    // after the start, or a hidden tab, nothing is made up for.
    pacer_start(&pacer, PaceMode::Timer, now);
    restart_schedule = false;
  }
  const int due = pacer_frames_due(&pacer, now, refresh_ns / 2);
  for (int i = 0; i < due; ++i) {
    // The page sends no quit request: a page is closed, never asked to quit. Only the last
    // picture is shown.
    HostEvent ev{};
    if (!events_pop(&pending, &ev)) ev = HostEvent{};
    if (game_step(GameInput{ev.ev, ev.x, ev.y}, i + 1 == due) != GameStep::Next) {
      running = false;
      putlog(kLogSource, kLineStopped, "The game has ended.");
      game_stop();
      page_stopped();
      return EM_FALSE;
    }
    watch_after_frame();
    if (i + 1 == due) game_compose(NOX_W * 4, frame_pixels);
    frames_run += 1;
  }
  if (due > 0) {
    to_canvas_order();
    page_present(frame_pixels);
  }
  const double shown_ms = emscripten_get_now();
  feed_sound(now, true);
  if (due > 0) {
    page_frames_done();
    float* cost = frame_costs_ms[frame_cost_count % kCostSamples];
    cost[0] = static_cast<float>(shown_ms - start_ms);
    cost[1] = static_cast<float>(emscripten_get_now() - start_ms);
    frame_cost_count++;
  }
  return EM_TRUE;
}

// A hidden tab runs no frames and counts as the pointer leaving; when it shows again the game
// goes on from where it was, without catching up.
EM_BOOL on_visibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
  hidden = e->hidden != 0;
  if (hidden) {
    events_push(&pending, HostEvent{NoxEvent::PointerLeave, 0, 0});
  } else {
    restart_schedule = true;
  }
  return EM_FALSE;
}

}  // namespace

extern "C" {

// Starts the game in the folder the page has prepared (WEB_SAVE_DIR, with the saved files in it
// and ROMDATA.BIN at WEB_ROMDATA_PATH). 0 when it runs; 1 when ROMDATA.BIN cannot be loaded; 2
// when it lacks something the game needs. web_start_reason() then says why.
EMSCRIPTEN_KEEPALIVE int web_start() {
  char system[512], first_line[600];
  page_system(system, sizeof system);
  std::snprintf(first_line, sizeof first_line, "Executes \"PIXEL BREAKER\" %s", system);
  GameOptions game;
  game.folder = WEB_SAVE_DIR;
  game.pack_path = WEB_ROMDATA_PATH;
  game.first_line = first_line;
  game.log_source = kLogSource;
  start_status = game_start(game);
  if (!start_status.ok()) return start_status.code == GAME_PACK_FAILED ? 1 : 2;
  events_clear(&pending);
  silent_ns = static_cast<int64_t>(emscripten_get_now() * static_cast<double>(kNsPerMs));
  EmscriptenVisibilityChangeEvent visibility{};
  hidden = emscripten_get_visibility_status(&visibility) == EMSCRIPTEN_RESULT_SUCCESS && visibility.hidden != 0;
  emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, on_visibility);
  running = true;
  emscripten_request_animation_frame_loop(on_animation_frame, nullptr);
  return 0;
}

// Pointer and key events from the page: 0 move (x, y in pixels of the game's 480 x 640 client
// area), 1 press, 2 release, 3 the pointer has left, 4 Escape released.
EMSCRIPTEN_KEEPALIVE void web_event(int kind, int x, int y) {
  static constexpr NoxEvent kEvents[] = {NoxEvent::PointerMove, NoxEvent::PointerDown, NoxEvent::PointerUp,
                                         NoxEvent::PointerLeave, NoxEvent::EscapeUp};
  if (kind < 0 || kind > 4) return;
  events_push(&pending, HostEvent{kEvents[kind], std::clamp(x, 0, NOX_CLIENT_W - 1),
                                  std::clamp(y, 0, NOX_CLIENT_H - 1)});
}

// Why web_start failed, in plain words ("File broken: /rom/ROMDATA.BIN").
EMSCRIPTEN_KEEPALIVE const char* web_start_reason() { return start_status.message; }

// Between animation frames: tops up the audio output's queue when it runs low.
EMSCRIPTEN_KEEPALIVE void web_sound_feed() {
  if (running && !hidden) feed_sound(static_cast<int64_t>(emscripten_get_now() * static_cast<double>(kNsPerMs)), false);
}

// Game frames run since the start.
EMSCRIPTEN_KEEPALIVE double web_frames() { return frames_run; }

// Game frames whose time passed while the page stalled (a busy machine) and that the schedule
// gave up rather than race through, since the start. A hidden page gives up none: it is paused.
EMSCRIPTEN_KEEPALIVE double web_frames_given_up() { return static_cast<double>(pacer.given_up); }

// Stalls since the start: the times the schedule started afresh, giving frames up.
EMSCRIPTEN_KEEPALIVE double web_stalls() { return static_cast<double>(pacer.rebases); }

// The game state as one JSON object, in the form of the headless runner's trace lines.
EMSCRIPTEN_KEEPALIVE const char* web_state() {
  static char line[GAME_TRACE_LINE_MAX + 1];
  line[game_trace_line(static_cast<int64_t>(frames_run), line)] = '\0';
  return line;
}

// The costs in milliseconds of the latest animation frames that ran the game, as pairs (game
// frames, composition and canvas; all of the frame's work). Of the web_frame_cost_count()
// measured in all, the last min(count, 4096) are in the ring web_frame_costs() at i % 4096.
EMSCRIPTEN_KEEPALIVE double web_frame_cost_count() { return frame_cost_count; }
EMSCRIPTEN_KEEPALIVE const float* web_frame_costs() { return &frame_costs_ms[0][0]; }

// The 32-byte header of replay slot 1..16 as the slot menus list it, or null for NO DATA (its
// fields: replay_layout.js).
EMSCRIPTEN_KEEPALIVE const uint8_t* web_slot_header(int slot) { return game_slot_header(slot); }

// Puts the bytes of a replay file into slot 1..16 when the slot menus would list it (their own
// header rule); otherwise the slot keeps what it had. 0 when it is listed now, -1 when it is not
// a replay, -2 when it could not be stored.
EMSCRIPTEN_KEEPALIVE int web_import_replay(int slot, const uint8_t* data, uint32_t size) {
  return game_import_replay(slot, data, size, nullptr);
}

}  // extern "C"
