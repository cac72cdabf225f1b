// Round setup: one frame that lays out the formation, places paddle and ball and starts play.
#include <cstddef>
#include <cstring>

#include "game/game.h"
#include "game/play.h"
#include "game/rng.h"

// Starting hit points of the 40 slots, one row per round; slots 0-7 are the bottom row.
const int8_t round_hp_table[5 * 40] = {
    // round 1
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //
    // round 2
    2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 2, 1,  //
    1, 2, 1, 1, 1, 1, 2, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 2,  //
    // round 3
    2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 2,  //
    1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 2, 2, 1, 1,  //
    // round 4
    2, 1, 2, 1, 2, 1, 2, 1, 1, 2, 1, 2, 1, 2, 1, 2, 2, 1, 2, 1,  //
    2, 1, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  //
    // round 5
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  //
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  //
};

namespace {

struct FormationRow {
  int8_t kind;
  int16_t y;
  int16_t x0;      // left edge of column 0; columns are 24 apart
  int8_t frame0;  // frame of column 0; neighbours alternate
};

// Bottom row first, matching the slot order.
constexpr FormationRow kRows[5] = {
    {3, 82, 8, 0}, {3, 68, 8, 1}, {2, 54, 12, 0}, {2, 40, 12, 1}, {1, 26, 16, 0},
};

}  // namespace

int scene_round_setup() {
  g.frame_counter = 0;
  g.item_next = 0;

  // The per-round play state and the pointer fields start from zero. The play state is the
  // tail of the Game record, from the formation fields to the particle pool.
  static_assert(offsetof(Game, alive_count) < offsetof(Game, particles) &&
                offsetof(Game, particles) + sizeof g.particles == sizeof(Game));
  std::memset(&g.alive_count, 0, sizeof(Game) - offsetof(Game, alive_count));
  g.touch_pressed = 0;
  g.touch_x = 0;
  g.touch_y = 0;
  g.touch_dx = 0;
  g.touch_dy = 0;
  g.touch_released = 0;
  g.touch_held = 0;
  g.touch_pressed_live = 0;
  g.touch_released_live = 0;
  g.touch_held_live = 0;

  g.paddle_x = 104;
  g.paddle_y = 272;
  g.paddle_target_x = static_cast<int16_t>(g.paddle_x + 8);
  g.ball_x = 116;
  g.ball_y = static_cast<int16_t>(g.paddle_y - 7);

  g.march_delay = 40;
  g.march_step = 8;

  // Rounds run 1 to 5; anything else would read past the table, so it is held to that range.
  int row = g.round - 1;
  if (row < 0) row = 0;
  if (row > 4) row = 4;
  for (int s = 0; s < ALIEN_COUNT; ++s) {
    const FormationRow& r = kRows[s / 8];
    const int k = s % 8;
    Alien& a = g.aliens[s];
    a.kind = r.kind;
    a.y = r.y;
    a.x = static_cast<int16_t>(r.x0 + 24 * k);
    a.frame = static_cast<int8_t>(r.frame0 == 0 ? k % 2 : 1 - k % 2);
    a.hp = round_hp_table[row * 40 + s];
    a.flash = 0;
  }

  g.max_combo = 0;
  g.scene_timer = 0;

  if (g.opt_floor != 0) {
    g.floor_present = 1;
    g.items_caught = 0;
  } else {
    g.floor_present = 0;
  }

  g.scene = Scene::Play;
  rng_seed(0);
  return 0;
}
