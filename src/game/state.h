// The Game state's record and its parts: what the game keeps of a game and a round. The
// frame driver owns the one record (game.h); hosts read it through the core's view (core.h).
#pragma once
#include <cstdint>

// The scenes, by their number in the scene table.
enum class Scene : uint16_t {
  Title = 0,
  RoundSetup = 1,
  Play = 2,
  RoundClear = 3,
  Ending = 4,
  Ranking = 5,          // after a game
  TitleAgain = 6,       // the title menu, entered from the other menus
  RankingFromTitle = 7,
  SaveReplay = 8,
  LoadReplay = 9,
};

struct Alien {
  int8_t kind;   // 0 destroyed, 1 small (8 wide), 2 medium (16), 3 large (24)
  int8_t frame;  // animation frame 0 or 1
  int8_t hp;     // hits still needed
  int8_t flash;  // blink frames left after a hit that did not destroy; unhittable meanwhile
  int16_t x, y;  // top-left
};

struct Explosion {
  int8_t age;  // 0 free, else frames shown plus one
  int8_t spare;
  int8_t w, h;
  int16_t x, y;
  int16_t src_x, src_y;  // current picture in bank 1
};

struct FallingItem {
  int8_t state;  // 0 free, 1 falling, 2 caught (showing its points)
  int8_t frame;  // 0..3
  int8_t value;  // points (tens) shown by the pop-up
  uint8_t spare;
  int16_t x, y;
  int16_t vy;  // pixels per frame while falling, tenths while caught
};

struct Particle {
  int8_t life;  // 0 free, else 1..16
  uint8_t colour;
  int16_t x, y;
  int16_t dx, dy;
};

constexpr int ALIEN_COUNT = 40;
constexpr int EXPLOSION_COUNT = 32;
constexpr int ITEM_COUNT = 40;
constexpr int PARTICLE_COUNT = 1024;

// Every field of a game and of a round. game_reset zeroes the whole record at once.
struct Game {
  // Frame driver
  Scene scene;             // the index into the scene table, 16-bit
  uint16_t frame_counter;  // +1 at the start of every frame
  uint32_t score;          // tens of points
  uint32_t hi_score;       // tens of points
  uint16_t items_caught;
  int8_t max_combo;
  int32_t touch_pressed;  // press count read this frame
  int32_t touch_x, touch_y;
  int32_t touch_dx, touch_dy;
  int32_t touch_released;  // release edge
  int32_t touch_held;
  int32_t touch_pressed_live;
  int32_t touch_released_live;  // release edge of the real pointer, never replayed
  int32_t touch_held_live;

  // Game-wide
  uint8_t round;             // 1..5 during a game, 6 after the last round is cleared
  uint16_t scene_timer;      // frames in the current round or scene
  uint16_t game_over_timer;  // 0, or frames of the game-over sequence plus one
  int32_t round_bonus;       // tens of points not yet counted into the score
  int32_t bonus_step;        // most that moves into the score per frame
  uint8_t playback;          // a loaded replay drives the play frame
  uint8_t opt_guide;         // game options in force for this game
  uint8_t opt_floor;
  uint16_t item_next;       // next slot of items
  uint8_t floor_present;    // the floor barrier is still there

  // Per-round play state, in the order round setup clears it
  int8_t alive_count;
  int8_t march_delay;
  uint8_t march_phase;  // 0 right, 1 dropping at the right edge, 2 left, 3 dropping at the left edge
  int8_t march_group;
  uint8_t group_alive[4];
  int8_t march_step;
  Alien aliens[ALIEN_COUNT];
  Explosion explosions[EXPLOSION_COUNT];
  uint8_t bomb_active;
  uint8_t bomb_frame;
  int16_t bomb_x, bomb_y;
  uint8_t game_over;
  int16_t paddle_x, paddle_y;
  int16_t paddle_target_x;
  int8_t over_flash_timer, over_flash_frame;
  uint8_t serve_dir;  // 1 the serve goes right, 0 left
  int16_t ball_x, ball_y;
  int16_t ball_vx, ball_vy;  // elevenths of a pixel per frame
  int16_t ball_fx, ball_fy;  // remainders, -10..10
  int8_t hit_popup_timer, combo;
  int16_t hit_popup_x, hit_popup_y;
  FallingItem items[ITEM_COUNT];
  Particle particles[PARTICLE_COUNT];
};
