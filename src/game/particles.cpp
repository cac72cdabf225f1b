// One-pixel particles (stars, the ball's trail, sparks) and the two-picture explosions.
// Both are rings that overwrite their oldest entry; the sparks draw from the PRNG, one value
// after the other in a fixed order, which is what keeps replays in step.
#include "engine/draw.h"
#include "game/game.h"
#include "game/play.h"
#include "game/rng.h"

// The ring cursors keep their place across rounds and games.
PER_THREAD int32_t particle_next = 0;
PER_THREAD int32_t explosion_next = 0;

namespace {

struct ExplosionLook {
  int8_t w, h;
  int16_t src_x, src_y;  // first picture; the second lies right beside it
};

// By the kind of the destroyed alien; a shot bomb uses kind 1. Index 0 is never spawned.
constexpr ExplosionLook kExplosionLooks[4] = {
    {8, 8, 24, 16},
    {8, 8, 24, 16},
    {16, 8, 40, 16},
    {24, 8, 72, 16},
};

}  // namespace

void particle_spawn(int32_t colour, int32_t x, int32_t y, int32_t dx, int32_t dy) {
  Particle& p = g.particles[static_cast<uint32_t>(particle_next) % PARTICLE_COUNT];
  p.life = 1;
  p.colour = static_cast<uint8_t>(colour);
  p.x = static_cast<int16_t>(x);
  p.y = static_cast<int16_t>(y);
  p.dx = static_cast<int16_t>(dx);
  p.dy = static_cast<int16_t>(dy);
  particle_next = static_cast<int32_t>((static_cast<uint32_t>(particle_next) + 1u) % PARTICLE_COUNT);
}

void explosion_spawn(int32_t kind, int32_t x, int32_t y) {
  Explosion& e = g.explosions[static_cast<uint32_t>(explosion_next) % EXPLOSION_COUNT];
  const ExplosionLook& look = kExplosionLooks[kind & 3];
  e.age = 1;
  e.x = static_cast<int16_t>(x);
  e.y = static_cast<int16_t>(y);
  e.w = look.w;
  e.h = look.h;
  e.src_x = look.src_x;
  e.src_y = look.src_y;
  explosion_next = static_cast<int32_t>((static_cast<uint32_t>(explosion_next) + 1u) % EXPLOSION_COUNT);
}

void particle_pass() {
  const bool odd = odd_frame(g.frame_counter);
  for (Particle& p : g.particles) {
    if (p.life == 0) continue;
    nox_pset_sp(p.x, p.y, p.colour);
    p.x = static_cast<int16_t>(p.x + p.dx);
    p.y = static_cast<int16_t>(p.y + p.dy);
    if (p.x < 0 || p.x > 240 || p.y < 0 || p.y > 320) {
      p.life = 0;
      continue;
    }
    if (odd) {
      p.life = static_cast<int8_t>(p.life + 1);
      p.colour = static_cast<uint8_t>(p.colour - 1);
      if (p.life > 16) p.life = 0;
    }
  }
}

void star_spawn() {
  for (int i = 0; i < 3; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    const int32_t r3 = rng_next();
    particle_spawn(15 + 16 * (r3 % 13), 8 + r2 % 224, 24 + r1 % 296, 0, 1);
  }
}

void ball_trail() {
  if (g.ball_vx == 0 && g.ball_vy == 0) return;
  particle_spawn(111, g.ball_x + 3, g.ball_y + 3, 0, 0);
  particle_spawn(15, g.ball_x + 3, g.ball_y + 3, 0, 1);
}

void explosion_pass() {
  for (Explosion& e : g.explosions) {
    if (e.age == 0) continue;
    nox_put_sp(1, e.src_x, e.src_y, e.w, e.h, e.x, e.y);
    e.age = static_cast<int8_t>(e.age + 1);
    if (e.age == 10) e.src_x = static_cast<int16_t>(e.src_x + e.w);
    if (e.age >= 20) e.age = 0;
  }
}

// Every burst draws its random values one particle at a time, in the order r1, r2, ...

void burst_hit(int32_t hx, int32_t hy, int32_t hw) {
  if (hw <= 0) hw = 8;  // a hit box is 8, 16 or 24 wide
  for (int i = 0; i < 32; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    const int32_t r3 = rng_next();
    const int32_t r4 = rng_next();
    particle_spawn(47, hx + r4 % hw, hy + r3 % 8, r2 % 4 - 2, r1 % 4 - 2);
  }
}

void burst_bomb() {
  for (int i = 0; i < 16; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    particle_spawn(79, g.bomb_x + 4, g.bomb_y + 4, r2 % 6 - 3, r1 % 6 - 3);
  }
}

void burst_floor() {
  for (int i = 0; i < 256; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    const int32_t r3 = rng_next();
    const int32_t r4 = rng_next();
    particle_spawn(63, 8 + r4 % 224, 304 + r3 % 6, r2 % 4 - 2, r1 % 4 - 2);
  }
}

void burst_left_wall() {
  for (int i = 0; i < 5; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    particle_spawn(111, g.ball_x + 4, g.ball_y + 4, r2 % 3, r1 % 6 - 3);
  }
}

void burst_right_wall() {
  for (int i = 0; i < 5; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    particle_spawn(111, g.ball_x + 4, g.ball_y + 4, -(r2 % 3), r1 % 6 - 3);
  }
}

void burst_ceiling() {
  for (int i = 0; i < 5; ++i) {
    const int32_t r1 = rng_next();
    const int32_t r2 = rng_next();
    particle_spawn(111, g.ball_x + 4, g.ball_y + 4, r2 % 6 - 3, r1 % 3);
  }
}
