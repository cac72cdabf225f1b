// The bomb, the items that destroyed aliens leave behind, the combo and the score.
// Scores are in tens of points.
#include "engine/draw.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/play.h"
#include "game/text.h"

namespace {

void add_score(int32_t tens) { g.score = static_cast<uint32_t>(g.score + static_cast<uint32_t>(tens)); }

void item_draw(const FallingItem& it) { nox_put_sp(1, 16 * it.frame, 24, 16, 16, it.x, it.y); }

}  // namespace

void bomb_release_test(int32_t x, int32_t y, int32_t w) {
  if (g.bomb_active != 0 || g.game_over != 0) return;
  if (x < g.paddle_x + 32 && g.paddle_x < x + w) {
    g.bomb_active = 1;
    g.bomb_x = static_cast<int16_t>(x + (w - 8) / 2);
    g.bomb_y = static_cast<int16_t>(y + 8);
  }
}

void item_spawn(int32_t kind, int32_t x, int32_t y) {
  if (g.item_next >= ITEM_COUNT) g.item_next = 0;
  FallingItem& it = g.items[g.item_next];
  it.state = 1;
  it.frame = 0;
  it.vy = -5;
  it.y = static_cast<int16_t>(y + 4);
  it.x = static_cast<int16_t>(kind == 1 ? x - 4 : kind == 2 ? x : x + 4);
  g.item_next = static_cast<uint16_t>(g.item_next + 1);
  if (g.item_next >= ITEM_COUNT) g.item_next = 0;
}

void combo_count(int32_t kind, int32_t x, int32_t y) {
  g.hit_popup_timer = 1;
  g.combo = static_cast<int8_t>(g.combo + 1);
  g.hit_popup_y = static_cast<int16_t>(y);
  g.hit_popup_x = static_cast<int16_t>(kind == 1 ? x - 6 : kind == 2 ? x - 2 : x + 6);
  add_score(g.combo);
  if (g.max_combo < g.combo) g.max_combo = g.combo;
}

void hit_score() { add_score(1 + g.items_caught / 5); }

int32_t item_pass() {
  int32_t free_slots = 0;
  const bool odd = odd_frame(g.frame_counter);
  const bool third = g.frame_counter % 3 == 0;
  for (FallingItem& it : g.items) {
    if (it.state == 1) {
      item_draw(it);
      if (g.game_over == 0 && boxes_overlap(it.x, it.y, 16, 16, g.paddle_x, g.paddle_y, 32, 8)) {
        nox_playpcm(4);
        it.state = 2;
        it.vy = -50;
        it.value = g.max_combo;
        add_score(g.max_combo);
        g.items_caught = static_cast<uint16_t>(g.items_caught + 1);
      } else {
        if (third) it.frame = static_cast<int8_t>((it.frame + 1) % 4);
        it.y = static_cast<int16_t>(it.y + it.vy);
        if (it.y > 320) {
          it.state = 0;
        } else if (it.frame == 0 && it.vy < 3) {
          it.vy = static_cast<int16_t>(it.vy + 1);
        }
      }
    } else if (it.state == 2) {
      // A caught item floats up, blinking with its points.
      if (odd) {
        if (it.value >= 10) {
          print_small(0, it.x - 4, it.y - 8, "%d0PTS", it.value);
        } else {
          print_small(0, it.x - 2, it.y - 8, "%d0PTS", it.value);
        }
        item_draw(it);
        it.frame = static_cast<int8_t>((it.frame + 1) % 4);
      }
      it.vy = static_cast<int16_t>(it.vy + 2);
      it.y = static_cast<int16_t>(it.y + it.vy / 10);
      if (it.vy > 9) it.state = 0;
    } else {
      ++free_slots;
    }
  }
  return free_slots;
}

void bomb_step() {
  if (g.bomb_active == 0) return;
  nox_put_sp(1, 120 + 8 * g.bomb_frame, 0, 8, 8, g.bomb_x, g.bomb_y);
  if (g.ball_y < 320 && boxes_overlap(g.ball_x, g.ball_y, 8, 8, g.bomb_x, g.bomb_y, 8, 8)) {
    // Shot down: the ball turns back the way it came.
    g.ball_vx = static_cast<int16_t>(-g.ball_vx);
    g.ball_vy = static_cast<int16_t>(-g.ball_vy);
    g.bomb_active = 0;
    explosion_spawn(1, g.bomb_x, g.bomb_y);
    nox_playpcm(7);
    burst_bomb();
  } else if (g.game_over == 0 && boxes_overlap(g.bomb_x, g.bomb_y, 8, 8, g.paddle_x, g.paddle_y, 32, 8)) {
    g.game_over = 1;
    g.over_flash_timer = 1;
    g.bomb_active = 0;
    if (g.ball_vx == 0 && g.ball_vy == 0) g.ball_vy = 33;  // it falls off the paddle
    nox_playpcm(3);
  } else {
    if (g.frame_counter % 6 < 3) g.bomb_frame = static_cast<uint8_t>(1 - g.bomb_frame);
    g.bomb_y = static_cast<int16_t>(g.bomb_y + 1);
    if (g.bomb_y > 320) g.bomb_active = 0;
  }
}

void hit_popup_step() {
  if (g.hit_popup_timer == 0) return;
  g.hit_popup_timer = static_cast<int8_t>(g.hit_popup_timer + 1);
  if (g.combo < 10) {
    print_small(0, g.hit_popup_x - 2, g.hit_popup_y, "%dHIT", g.combo);
  } else {
    print_small(0, g.hit_popup_x, g.hit_popup_y, "%dHIT", g.combo);
  }
  if (g.frame_counter % 3 == 0) g.hit_popup_y = static_cast<int16_t>(g.hit_popup_y - 1);
  if (g.hit_popup_timer >= 30) g.hit_popup_timer = 0;
}
