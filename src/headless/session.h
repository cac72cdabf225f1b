// The headless runner's session: the unchanged game run from a script of pointer events (or an
// in-process input source, a replay, the built-in player), without a window or a sound device,
// recording what happened (trace, pictures, sound).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/core.h"

// One host event for a frame, handed out by an in-process input source.
struct HeadlessEvent {
  NoxEvent ev = NoxEvent::None;
  int32_t px = 0, py = 0;  // client pixels (PointerMove)
};

struct PngRequest {
  int64_t frame;
  std::string path;
};

struct HeadlessOptions {
  std::string dir;                   // the game's folder (ROMDATA.BIN, LOG.TXT, ...); empty = the working directory
  std::string script_file;           // touch script file
  std::string script_text;           // or a script given as text (used when script_file is empty)
  bool has_script_text = false;
  int64_t max_frames = -1;           // -1 = no limit
  std::string trace_file;            // JSON Lines, one object per kept frame
  int64_t trace_every = 1;
  std::vector<PngRequest> pngs;
  int32_t scale = 1;                 // 1 or 2 for the PNGs
  std::string wav_file;
  std::string replay_file;           // played back from its start to the title menu
  // Compose every frame into the frame buffer even when no picture of it is written.
  // Off by default: a frame nobody looks at only needs its sprite plane emptied.
  bool compose_every_frame = false;
  // Draw every frame even when no picture is looked at (by default a run without pictures draws
  // nothing, which changes nothing the game does).
  bool draw = false;
  // Let the built-in player supply the events once the script has run out (or without one).
  bool bot = false;

  // In-process hooks for tests and benchmarks (not reachable from the command line).
  // `input` supplies the event of every frame once the script has run out (or when there is
  // none); returning false ends the run.
  std::function<bool(int64_t frame, HeadlessEvent* ev)> input;
  // Called after each frame (after the press-count increment); returning false ends the run.
  std::function<bool(int64_t frame)> on_frame;
  // Picture and sound for video and GIF output. `on_screen` gets every frame's picture as
  // 240 x 320 palette indices (the sprite plane over the background) with the palette it is
  // shown with; `on_sound` gets each 100 ms chunk of 16-bit samples as it is mixed, and one
  // more when the run ends between two, so the sound covers the last frames. Returning false
  // ends the run after the frame.
  std::function<bool(int64_t frame, const uint8_t* screen, const uint32_t* palette)> on_screen;
  std::function<bool(const uint8_t* pcm, size_t bytes)> on_sound;
};

struct HeadlessResult {
  int64_t frames = 0;  // iterations that ran the frame function
  uint16_t scene = 0;
  uint32_t score = 0;
  uint32_t hi_score = 0;
  uint8_t round = 0;
  std::string error;         // set when the run failed; the result code is then non-zero
  bool bad_options = false;  // the failure is in the options themselves (a usage error)
};

// Runs one whole session: start-up as a host does it, the frame loop, shut-down. Returns 0, or
// 1 with result->error set. Paths in the options are the caller's; the game's own files are in
// options.dir.
int headless_run(const HeadlessOptions& options, HeadlessResult* result);

// "frames N  scene S  score X  hi_score Y  round R", the scores in points as the game shows them.
std::string headless_summary(const HeadlessResult& result);

// The 240 x 320 frame composed last (0x00RRGGBB per pixel).
const uint32_t* headless_frame();

// Starts the core as the runner does (its own first log line and log source) with the game's
// folder `dir`. False with the reason in *error ("cannot load ROMDATA.BIN: ..." or
// "nox_init error: ...").
bool headless_start(const std::string& dir, bool drawing, std::string* error);
