// The headless host: runs the unchanged game from a script of pointer events, without a window
// or a sound device, and records what happened (trace, pictures, sound).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "game/input.h"

// One line of a touch script.
enum class ScriptOp : uint8_t { Wait, Move, Down, Up, Leave, Esc, Quit };

struct ScriptStep {
  ScriptOp op;
  int32_t a;     // Wait: frames; Move: client x
  int32_t b;     // Move: client y
  int32_t line;  // line number in the script, from 1
};

// Parses a touch script. `name` is used in error messages ("name:line: ...").
// Returns false with a message in *error on the first bad line.
bool parse_script(std::string_view text, std::string_view name, std::vector<ScriptStep>* out,
                  std::string* error);

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
  std::string dir;                   // working directory; empty = the current one
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

// Runs one whole session: start-up as a host does it, the frame loop, shut-down.
// Returns 0, or 1 with result->error set. Changes the process's working directory while it
// runs when options.dir is given, and restores it afterwards.
int headless_run(const HeadlessOptions& options, HeadlessResult* result);

// "frames N  scene S  score X  hi_score Y  round R", the scores in points as the game shows them.
std::string headless_summary(const HeadlessResult& result);

// Event for the next frame from a simple player that reads the Game state: taps GAME START on
// the title menu, holds the pointer so the paddle stays under the ball (dodging a low bomb),
// and taps through the ranking display. Deterministic: the same game state gives the same event.
HeadlessEvent headless_bot_event(int64_t frame);

// Command line front end of pixbrk-headless. Prints the summary or the error.
int headless_main(int argc, char** argv);

// Puts back the process-wide state a fresh program starts with (pack, banks, slots, touch,
// mute, PRNG, ring cursors, menus, planes), so several runs in one process behave as separate ones.
void headless_reset_process_state();

// The 240 x 320 frame composed last (0x00RRGGBB per pixel).
const uint32_t* headless_frame();

// Writes one JSON object (without line end) of the current game state into buf, which must
// hold at least HEADLESS_TRACE_LINE_MAX bytes. Returns the number of bytes written.
constexpr size_t HEADLESS_TRACE_LINE_MAX = 16384;
size_t headless_trace_line(int64_t frame, char* buf);

// The header of a replay file (PIXBRK01.REP and the like), read without playing it.
struct ReplayHeader {
  char date[17] = {};   // "YYYY/MM/DD hh:mm", when the recorded game ended
  uint32_t frames = 0;  // play frames recorded
  uint32_t score = 0;   // final score in tens of points, as stored
  uint8_t guide = 0;    // the game options of the recorded game (non-zero = on)
  uint8_t floor = 0;
  // A game given up with Escape: no date and no score, so the game lists it as NO DATA.
  bool unfinished = false;
};

// Reads the header of a replay file and checks that it is one with every record the header
// counts: either a finished game the game could play back (a date, 12 to 131,072 frames) or an
// unfinished one (no date, score 0, 1 to 131,072 frames). Returns false with a one-line reason
// in *error otherwise.
bool read_replay_header(const std::string& path, ReplayHeader* out, std::string* error);

// What keeps a replay's header from being played back.
enum class ReplayHeaderFault : uint8_t {
  None,
  TooShort,     // shorter than a header
  NoDate,       // no date: a game ended by Escape has sixteen zero bytes there (when the rest
                // of the header is that of such a game, *out is filled, marked unfinished)
  BadDate,      // something else where the date goes: not a replay file
  FewFrames,    // fewer frames than the game lists
  ManyFrames,   // more frames than the game holds
  CutShort,     // fewer records than the header counts
};

// The same check on a replay's bytes (`size` of them, the whole file). On a fault, *why is
// the reason without the file's name ("its header has no date ...", "its header counts ...").
ReplayHeaderFault parse_replay_header(const uint8_t* data, size_t size, ReplayHeader* out, std::string* why);

// The header as lines "date:", "length:" (frames and mm:ss), "score:" (as the game shows it,
// in points), "guide:" and "floor:"; or the same as one JSON object with "unfinished" added.
// An unfinished game has "none" (null) for its date and score. Both end with a line end.
std::string replay_info_text(const ReplayHeader& h);
std::string replay_info_json(const ReplayHeader& h);
std::string replay_length_text(uint32_t frames);  // "mm:ss" of so many frames at 60 a second

// What a playback of a replay file made of it.
struct ReplayCheck {
  ReplayHeader header;
  int64_t played_frames = 0;     // records the playback read (play frames)
  int64_t run_frames = 0;        // host frames from the load to the end of the playback
  int64_t first_play_frame = 0;  // host frame that read the first record
  bool overran = false;          // stopped because it read more records than the header counts
  bool stopped = false;          // stopped because `go_on` said so
  std::string message;           // the verdict: "score S in N frames", the first disagreement, or the error
};

// Plays a replay file (in working directory `dir`, which needs ROMDATA.BIN; empty = the
// current one) and compares the final score and the number of play frames with its header.
// Returns 0 when they agree, 1 on a disagreement (the message names the first one: frames,
// then score), 2 when the file is not a playable replay (an unfinished game included) or the
// game cannot start. `go_on`, when given, is asked every 1,024 frames whether the playback may
// continue (a time limit); when it says no, the playback stops, out->stopped is set and the
// result is 2.
int verify_replay(const std::string& path, const std::string& dir, ReplayCheck* out,
                  const std::function<bool()>& go_on = {});

// A picture file of 0x00RRGGBB pixels at a whole scale, put in place when complete. False with
// the cause in *error.
bool write_png(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t scale,
               std::string* error);
