// The Game state, start-up, the frame driver and the scene table.
#include "game/game.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/draw.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "engine/touch.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"
#include "game/text.h"

PER_THREAD Game g;

namespace {

struct BankLoad {
  uint8_t bank;
  const char* entry;
};

// Bank 3 goes last: the palette of the last picture loaded is the one in force.
constexpr BankLoad kBanks[] = {
    {0, "FONT.CHR"},
    {1, "PIXBRK.CHR"},
    {2, "TITLE.CHR"},
    {3, "ALL.CHR"},
};

struct EffectLoad {
  uint8_t slot;
  const char* entry;
};

// Loading order matters only for which load fails first; slot 9 stays empty.
constexpr EffectLoad kEffects[] = {
    {5, "EFF08.PCM"},  {6, "EFF09.PCM"},  {8, "EFF01.PCM"}, {10, "EFF02.PCM"}, {11, "EFF03.PCM"},
    {12, "EFF04.PCM"}, {13, "EFF05.PCM"}, {7, "EFF06.PCM"}, {3, "EFF07.PCM"},  {4, "EFF00.PCM"},
    {1, "EFF10.PCM"},  {2, "EFF11.PCM"},  {0, "EFF12.PCM"},
};

using SceneFn = int (*)();

constexpr SceneFn kScenes[10] = {
    scene_title,        // 0 title menu
    scene_round_setup,  // 1
    scene_play,         // 2
    scene_round_clear,  // 3
    scene_ending,       // 4
    scene_ranking,      // 5 after a game
    scene_title,        // 6 title menu, entered from the other menus
    scene_ranking,      // 7 from the title menu
    scene_save_replay,  // 8
    scene_load_replay,  // 9
};

// One release edge: set for the single frame in which the pointer is first seen up again.
void derive_release(int32_t pressed, int32_t& released, int32_t& held) {
  released = 0;
  if (pressed != 0) {
    held = 1;
  } else if (held != 0) {
    released = 1;
    held = 0;
  }
}

void draw_stats_line() {
  if (g.max_combo <= 1) {
    print_small(0, 9, 311, "NO COMBO.");
  } else {
    print_small(0, 9, 311, "MAX %d HITS.", static_cast<int>(g.max_combo));
  }
  char text[64];
  int n = std::snprintf(text, sizeof text, "1 ATTACK %d0 PTS.", g.items_caught / 5 + 1);
  if (n < 0) n = 0;
  if (n > static_cast<int>(sizeof text) - 1) n = static_cast<int>(sizeof text) - 1;
  print_small(0, 232 - 4 * n, 311, "%s", text);
}

void draw_pointer_marks() {
  if (g.touch_pressed == 0) return;
  if (g.touch_dx != 0 || g.touch_dy != 0) {
    nox_circle_sp(g.touch_x - 3 * g.touch_dx, g.touch_y - 3 * g.touch_dy, 7, 72);
  }
  nox_circle_sp(g.touch_x, g.touch_y, 8, 74);
}

}  // namespace

int nox_init(Status* why) {
  for (const BankLoad& b : kBanks) {
    if (nox_loadchr(b.bank, b.entry) != 0) return status_fail(why, -1, "no usable picture %s in the pack", b.entry);
  }
  for (const EffectLoad& e : kEffects) {
    if (nox_loadpcm(e.slot, e.entry) != 0) return status_fail(why, -1, "no usable sound %s in the pack", e.entry);
  }
  replay_clear();
  if (check_ranking() == -1) reset_ranking();
  slot_scan();
  game_reset();
  return 0;
}

void game_reset() {
  std::memset(&g, 0, sizeof g);
  nox_clear(2);
  // The background frame, 8 x 8 tiles of bank 1: corners, top edge, then both sides.
  nox_put_bg(1, 0, 0, 8, 8, 0, 16);
  nox_put_bg(1, 16, 0, 8, 8, 232, 16);
  for (int32_t i = 0; i < 28; ++i) nox_put_bg(1, 8, 0, 8, 8, 8 + 8 * i, 16);
  for (int32_t i = 0; i < 37; ++i) {
    nox_put_bg(1, 0, 8, 8, 8, 0, 24 + 8 * i);
    nox_put_bg(1, 16, 8, 8, 8, 232, 24 + 8 * i);
  }
  g.hi_score = ranking_score(0);
  draw_score_line();
}

void game_begin(uint8_t playback, uint8_t guide, uint8_t floor) {
  g.score = 0;
  g.game_over_timer = 0;
  g.items_caught = 0;
  g.round = 1;
  g.scene = Scene::RoundSetup;
  g.playback = playback;
  g.opt_guide = guide;
  g.opt_floor = floor;
}

void draw_score_line() {
  if (g.score > 9999999u) g.score = 9999999u;
  if (g.hi_score < g.score) g.hi_score = g.score;
  print_large(0, 24, 6, "SC %7u0  HI %7u0", g.score, g.hi_score);
}

int nox_frame() {
  g.frame_counter = static_cast<uint16_t>(g.frame_counter + 1);
  nox_get_touch(&g.touch_pressed, &g.touch_x, &g.touch_y, &g.touch_dx, &g.touch_dy);
  derive_release(g.touch_pressed, g.touch_released, g.touch_held);
  g.touch_pressed_live = g.touch_pressed;
  derive_release(g.touch_pressed_live, g.touch_released_live, g.touch_held_live);

  int result = -1;
  const auto scene = static_cast<uint16_t>(g.scene);
  if (scene < std::size(kScenes)) result = kScenes[scene]();

  draw_stats_line();
  draw_score_line();
  draw_pointer_marks();
  return result;
}
