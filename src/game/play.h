// The play rules shared between the files of the play scene: ball and paddle, the formation,
// bombs, items and scoring, particles and explosions. Everything works on `Game g`.
#pragma once
#include <cstdint>

// Starting hit points, row r - 1 for round r, byte s for formation slot s.
extern const int8_t round_hp_table[5 * 40];

// Two boxes overlap when each one's left edge is left of the other's right edge and each
// one's top edge is above the other's bottom edge.
constexpr bool boxes_overlap(int32_t ax, int32_t ay, int32_t aw, int32_t ah, int32_t bx, int32_t by,
                             int32_t bw, int32_t bh) {
  return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
}

constexpr bool odd_frame(uint16_t frame_counter) { return (frame_counter & 1u) != 0; }

// Sets the game-over flag, starts the paddle blink and sounds the loss, once.
void play_lose();

// ---- Ball and paddle
int32_t serve_speed(int32_t round);        // 30 in round 1, 33 later
int32_t paddle_speed_limit(int32_t round);  // 50 in rounds 1 and 2, 55 later
void paddle_target_and_beam();              // from the pointer; beam on odd frames
void guide_path();                          // dotted future path while the ball falls
void floor_barrier_draw();
void paddle_and_ball_draw();
void floor_barrier_break();
void paddle_bounce();
int32_t paddle_follow();  // returns the paddle's step d (0 while the game is lost)
void ball_serve(int32_t d);
void ball_motion();
void ball_walls();

// ---- Alien formation
struct AlienHit {
  bool hit;
  int32_t x, y, w;  // the hit alien's box, 8 high
};
void formation_tally_clear();
AlienHit alien_pass();
void alien_hit_bounce(const AlienHit& h);
void formation_march();

// ---- Bombs, falling items and scoring
void bomb_release_test(int32_t x, int32_t y, int32_t w);
void item_spawn(int32_t kind, int32_t x, int32_t y);
void combo_count(int32_t kind, int32_t x, int32_t y);
void hit_score();
int32_t item_pass();  // returns the number of free item slots
void bomb_step();
void hit_popup_step();

// ---- Particles and explosions
void particle_spawn(int32_t colour, int32_t x, int32_t y, int32_t dx, int32_t dy);
void explosion_spawn(int32_t kind, int32_t x, int32_t y);
void particle_pass();
void star_spawn();
void ball_trail();
void explosion_pass();
void burst_hit(int32_t hx, int32_t hy, int32_t hw);
void burst_bomb();
void burst_floor();
void burst_left_wall();
void burst_right_wall();
void burst_ceiling();
