// Replay files seen from the command line: their header read without playing (--info), and a
// playback that checks the header's claim (--verify).
#pragma once
#include <cstdint>
#include <string>

#include "game/core.h"
#include "game/replay.h"

// Reads the header of a replay file and checks that it is one with every record the header
// counts: either a finished game the game could play back (a date, 12 to 131,072 frames) or an
// unfinished one (no date, score 0, 1 to 131,072 frames, out->unfinished set). False with a
// one-line reason naming the file in *error otherwise.
bool read_replay_header(const std::string& path, ReplayHeader* out, std::string* error);

// The header as lines "date:", "length:" (frames and mm:ss), "score:" (as the game shows it,
// in points), "guide:" and "floor:"; or the same as one JSON object with "unfinished" added.
// An unfinished game has "none" (null) for its date and score. Both end with a line end.
std::string replay_info_text(const ReplayHeader& h);
std::string replay_info_json(const ReplayHeader& h);
std::string replay_length_text(uint32_t frames);  // "mm:ss" of so many frames at 60 a second

// What --verify made of a replay file.
struct ReplayVerdict {
  ReplayHeader header;
  ReplayCheck play;     // the playback's figures
  std::string message;  // "score S in N frames", the first disagreement, or the error
};

// Plays a replay file with the pack in folder `dir` (empty: the working directory), drawing
// nothing, and compares the final score and the number of play frames with its header (the
// core's game_check_replay). Returns 0 when they agree, 1 on a disagreement (the message names
// the first: frames, then score), 2 when the file is not a playable replay (an unfinished game
// included) or the game cannot start.
int verify_replay(const std::string& path, const std::string& dir, ReplayVerdict* out);
