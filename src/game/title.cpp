// The title menu (scenes 0 and 6) and the three settings toggles.
#include <cstdint>

#include "engine/draw.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"
#include "game/text.h"
#include "game/title.h"

namespace {

struct Rect {
  int32_t left, top, right, bottom;  // all four edges inclusive
};

struct MenuButton {
  Rect drawn;
  Rect hit;  // not always the drawn box
  int32_t label_x, label_y;
  const char* label;
};

constexpr int kButtonCount = 7;
constexpr int kGameStart = 1, kRanking = 2, kSaveReplay = 3, kLoadReplay = 4;
constexpr int kSound = 5, kGuide = 6, kFloor = 7;

// Buttons 1-4 are wide with large labels; 5-7 are the toggles with small labels.
constexpr MenuButton kButtons[kButtonCount] = {
    {{60, 104, 180, 126}, {60, 100, 184, 122}, 80, 112, "GAME START"},
    {{60, 134, 180, 156}, {60, 134, 180, 156}, 68, 142, "LOCAL RANKING"},
    {{60, 164, 180, 186}, {60, 164, 180, 186}, 76, 172, "SAVE REPLAY"},
    {{60, 194, 180, 216}, {60, 194, 180, 216}, 76, 202, "LOAD REPLAY"},
    {{52, 228, 92, 264}, {52, 228, 92, 268}, 62, 232, "SOUND"},
    {{100, 228, 140, 264}, {100, 228, 140, 268}, 110, 232, "GUIDE"},
    {{148, 228, 188, 264}, {148, 228, 188, 268}, 158, 232, "FLOOR"},
};

// x of the state text under each toggle: "ON" and "OFF".
constexpr int32_t kOnX[3] = {64, 112, 160};
constexpr int32_t kOffX[3] = {60, 108, 156};
constexpr int32_t kStateY = 248;

constexpr uint32_t kSettingsMute = 8, kSettingsGuide = 9, kSettingsFloor = 10;

// Last pointer position seen while pressed, and the button last found under it.
PER_THREAD int32_t menu_x = 0;
PER_THREAD int32_t menu_y = 0;
PER_THREAD int32_t hovered = 0;

// A setting flips between off (0) and on (1). A stored value other than 0 or 1 counts as on
// and turns off, so a toggle always changes what the menu shows.
uint8_t flipped(uint8_t v) { return v == 0 ? 1 : 0; }

// The hit rectangle is widened by one pixel on every side.
bool hits(const Rect& r, int32_t x, int32_t y) {
  return r.left - 2 < x && x < r.right + 2 && r.top - 2 < y && y < r.bottom + 2;
}

int32_t button_under(int32_t x, int32_t y) {
  for (int i = 0; i < kButtonCount; ++i) {
    if (hits(kButtons[i].hit, x, y)) return i + 1;
  }
  return 0;
}

void draw_button(int number, int32_t current, bool disabled) {
  const MenuButton& b = kButtons[number - 1];
  int32_t fill = 6;
  int32_t outline = number <= kSaveReplay ? 54 : 53;
  if (disabled) {
    fill = 102;
    outline = 99;
  } else if (current == number) {
    fill = 15;
    outline = 63;
  }
  nox_boxf_sp(b.drawn.left, b.drawn.top, b.drawn.right, b.drawn.bottom, fill);
  nox_box_sp(b.drawn.left, b.drawn.top, b.drawn.right, b.drawn.bottom, outline);
  if (number <= kLoadReplay) {
    print_large(0, b.label_x, b.label_y, "%s", b.label);
  } else {
    print_small(0, b.label_x, b.label_y, "%s", b.label);
  }
}

void draw_toggle_state(int toggle, bool on) {
  if (on) {
    print_large(0, kOnX[toggle], kStateY, "ON");
  } else {
    print_large(0, kOffX[toggle], kStateY, "OFF");
  }
}

void start_game() {
  nox_playpcm(2);
  game_begin(0, settings_record[kSettingsGuide], settings_record[kSettingsFloor]);
  replay_clear();
  replay_buffer[REPLAY_GUIDE_AT] = g.opt_guide;
  replay_buffer[REPLAY_FLOOR_AT] = g.opt_floor;
}

void act(int32_t button) {
  switch (button) {
    case kGameStart:
      start_game();
      break;
    case kRanking:
      g.scene = Scene::RankingFromTitle;
      break;
    case kSaveReplay:
      g.scene = Scene::SaveReplay;
      break;
    case kLoadReplay:
      slot_scan();
      g.scene = Scene::LoadReplay;
      break;
    case kSound: {
      // The choice sound is requested while the old mute setting is still in force.
      nox_playpcm(2);
      const uint8_t mute = flipped(nox_get_mute());
      settings_record[kSettingsMute] = mute;
      nox_set_mute(mute);
      write_score_file();
      break;
    }
    case kGuide:
      settings_record[kSettingsGuide] = flipped(settings_record[kSettingsGuide]);
      write_score_file();
      break;
    case kFloor:
      settings_record[kSettingsFloor] = flipped(settings_record[kSettingsFloor]);
      write_score_file();
      break;
    default:
      break;
  }
}

}  // namespace

void title_menu_reset() {
  menu_x = 0;
  menu_y = 0;
  hovered = 0;
}

int scene_title() {
  if (g.touch_pressed != 0) {
    menu_x = g.touch_x;
    menu_y = g.touch_y;
  }

  if (g.playback != 0) {
    // A replay has just ended.
    g.playback = 0;
    g.score = 0;
    g.hi_score = ranking_score(0);
    replay_clear();
  }

  int32_t current = 0;
  if (g.touch_pressed != 0 || g.touch_released != 0) current = button_under(menu_x, menu_y);
  if (current == 0) hovered = 0;

  const bool save_enabled = replay_frame_index() != 0;
  if (current != 0 && current != hovered) {
    hovered = current;
    if (current != kGameStart && (current != kSaveReplay || save_enabled)) nox_playpcm(1);
  }

  nox_put_sp(2, 0, 0, 240, 48, 0, 40);
  print_small(0, 180, 87, "VERSION 2.06");

  if (!save_enabled && current == kSaveReplay) current = 0;
  for (int number = kGameStart; number <= kLoadReplay; ++number) {
    draw_button(number, current, number == kSaveReplay && !save_enabled);
  }
  draw_button(kSound, current, false);
  draw_toggle_state(0, nox_get_mute() == 0);
  draw_button(kGuide, current, false);
  draw_toggle_state(1, settings_record[kSettingsGuide] != 0);
  draw_button(kFloor, current, false);
  draw_toggle_state(2, settings_record[kSettingsFloor] != 0);

  print_large(0, 24, 280, "PROGRAM ART AND SOUND");
  print_large(0, 32, 290, "BY THE PIXBRK TEAM 2026");

  if (current != 0 && g.touch_released != 0) act(current);
  return 0;
}
