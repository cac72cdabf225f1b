// A replay saved the way a player saves one, for tests and benchmarks.
#pragma once
#include <string>

// Plays a game in `dir` (which holds ROMDATA.BIN) and saves it into replay slot 1,
// PIXBRK01.REP, through the game's own save menu: the game that the touch script file `script`
// plays and saves, or, with an empty script, a game of the runner's built-in player followed by
// SAVE REPLAY and slot 1. Returns false with *error when no replay was saved.
bool save_game_replay(const std::string& dir, const std::string& script, std::string* error);
