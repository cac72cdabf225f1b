// The Game state, the frame driver and the scene table.
#pragma once
#include <cstdint>

#include "game/state.h"
#include "pack/per_thread.h"
#include "pack/status.h"

extern PER_THREAD Game g;

// Ring cursors that live outside the Game state and keep counting across rounds and games.
extern PER_THREAD int32_t particle_next;
extern PER_THREAD int32_t explosion_next;

// The game's entry points, called by the core (core.h).
// 0 on success, -1 when a picture or an effect fails to load (which one in *why when given).
int nox_init(Status* why = nullptr);
int nox_frame();  // 0, or -1 when the scene number is 10 or more (ends the program)
void game_reset();
// A new game from round 1, played (0) or played back (1) with these options.
void game_begin(uint8_t playback, uint8_t guide, uint8_t floor);
void draw_score_line();

// Scene functions (scene table index in brackets); each returns 0.
int scene_title();          // 0 and 6
int scene_round_setup();    // 1
int scene_play();           // 2
int scene_round_clear();    // 3
int scene_ending();         // 4
int scene_ranking();        // 5 and 7
int scene_save_replay();    // 8
int scene_load_replay();    // 9
