// The game as every program runs it: the one header of the window hosts (Linux, Windows, the
// page), the headless runner and the server. A host is platform glue around these calls: its
// window, audio device, timer, files and input (see HACKING.md).
//
//   game_start    the fresh state, the log, the pack, the host's devices, the pictures, effects
//                 and saves, the title menu
//   game_step     one frame from one input event
//   game_compose  the frame's picture (or game_screen: its palette indices)
//   game_mix      the next sound
//   game_stop     shut-down
//
// A game runs on one thread; the server's build of this code keeps a game per thread.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/screen.h"  // NOX_W x NOX_H, the picture's size
#include "engine/sound.h"   // NOX_CHUNK_BYTES, 100 ms of sound
#include "engine/touch.h"   // NoxEvent, NOX_CLIENT_W x NOX_CLIENT_H
#include "game/state.h"
#include "pack/status.h"

// What a start failed at (Status::code).
enum GameStartFault : int { GAME_PACK_FAILED = 1, GAME_DEVICES_FAILED = 2, GAME_INIT_FAILED = 3 };

struct GameOptions {
  // The folder of the game's files (LOG.TXT, SCORE.DAT, PIXBRK01.REP ...): "" for the working
  // directory; null for none at all (nothing is read, written or logged: a server).
  const char* folder = "";
  // The pack: a file (relative to the folder), or its bytes when `pack_bytes` is set.
  const char* pack_path = "ROMDATA.BIN";
  const uint8_t* pack_bytes = nullptr;
  size_t pack_size = 0;
  // The log's first line ("Executes "PIXEL BREAKER" on ..."), and where the host's located log
  // lines say they come from (the pack's lines and the game's own carry it too).
  const char* first_line = "Executes \"PIXEL BREAKER\"";
  const char* log_source = "";
  // Off for a caller that never looks at a picture: nothing is drawn. The game never reads its
  // pictures back, so it plays exactly the same.
  bool drawing = true;
  // The host's own steps in the start-up's order: `after_first_line` right after the log's first
  // line; `open_devices` (the window, the picture, the sound) once the pack is loaded. It returns
  // 0, or -1 with its reason in *why once it has logged its lines and closed what it opened.
  void* host = nullptr;
  void (*after_first_line)(void* host) = nullptr;
  int (*open_devices)(void* host, Status* why) = nullptr;
};

// Starts a run, always from the state a fresh program has: the log begun, the pack loaded, the
// host's devices opened, the pictures and effects decoded, SCORE.DAT and the replay slots read,
// the title menu. On a failure the log ends with its lines ("loadbin error.", "nox_init error.")
// and the status says why; the game has freed what it loaded, and the host (after
// GAME_INIT_FAILED) closes its devices.
Status game_start(const GameOptions& options);

// One frame's input: at most one event. A move's position is in client pixels of an area of
// client_w x client_h (the game's own window is 480 x 640).
struct GameInput {
  NoxEvent event = NoxEvent::None;
  int32_t x = 0, y = 0;
  int32_t client_w = NOX_CLIENT_W, client_h = NOX_CLIENT_H;
};

enum class GameStep : uint8_t {
  Next,   // the frame ran; the game goes on
  Quit,   // the event asked the program to quit: no frame ran
  Ended,  // the frame ran and ended the program
};

// One frame: the event, the frame, then the press count's tick. `shown`: the caller looks at this
// frame's picture (game_compose, game_screen) before the next step. The sprites of a frame nobody
// looks at stay on their plane until the next frame that is shown, which first empties it, as
// composing would have done.
GameStep game_step(const GameInput& input, bool shown = true);

// The last frame's picture as 0x00RRGGBB pixels, `pitch` bytes a row; empties the sprite plane.
void game_compose(int32_t pitch, void* pixels);
// The last frame's picture as NOX_W x NOX_H palette indices (sprites over the background), and
// the palette they are shown with.
void game_screen(uint8_t* indices);
const uint32_t* game_palette();

// The next `bytes` of sound: 16-bit mono samples at 22,050 Hz (the sound thread's call). A caller
// that never listens never calls it.
void game_mix(uint8_t* buffer, int32_t bytes);

// Shut-down, after the host has closed its devices: frees what the start loaded and logs
// "Exit program.".
void game_stop();

// A read-only view of the Game state, for the built-in player and summaries.
const Game& game_state();

// The state after frame `frame` as one JSON object without a line end (the runner's trace lines,
// the page's state): writes at most GAME_TRACE_LINE_MAX bytes into buf, returns how many.
constexpr size_t GAME_TRACE_LINE_MAX = 16384;
size_t game_trace_line(int64_t frame, char* buf);

// ---- Replays (their files' layout: game/replay.h)

// Starts playing back a replay file's bytes, as the load-replay menu starts a slot's. 0, or -1
// when the slot menus would not list it.
int game_play_replay(const uint8_t* data, size_t size);

// The header of slot 1..16 as the slot menus list it, or null for NO DATA.
const uint8_t* game_slot_header(int slot);

// Stores a replay file's bytes as slot 1..16 when the slot menus would list them; otherwise the
// slot keeps what it had. 0 when listed now, -1 when not a replay, -2 when it could not be stored.
int game_import_replay(int slot, const uint8_t* data, size_t size, Status* why);

// What a playback made of a replay (game_check_replay).
struct ReplayCheck {
  int64_t played_frames = 0;     // records the playback read (play frames)
  int64_t run_frames = 0;        // frames from the load to the end of the playback
  int64_t first_play_frame = 0;  // the frame that read the first record
  uint32_t score = 0;            // the score the game ended with, in tens of points
  bool overran = false;          // stopped: it read more records than the header counts
  bool stopped = false;          // stopped because `go_on` said so
  char message[160] = {};        // "score S in N frames", the first disagreement, or why it stopped
};

// Plays a replay whose header is usable (replay_header_check) in the started game, without
// input, until the playback ends, and compares the play frames and the score with the header's.
// `go_on`, when given, is asked every 1,024 frames whether to go on (a time limit). Returns 0
// when both agree, 1 on a disagreement (the message names the first: frames, then score), 2 when
// the playback could not start or was stopped.
int game_check_replay(const uint8_t* data, size_t size, ReplayCheck* out, bool (*go_on)(void* context) = nullptr,
                      void* context = nullptr);
