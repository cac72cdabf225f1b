// The formation of 40 aliens: ball hits, drawing, paddle contact and the march.
#include "engine/draw.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/play.h"

namespace {

// By kind (index 0 unused): width, blink after a hit that did not destroy, paddle contact
// width (a large alien touches the paddle only with its leftmost 8 columns).
constexpr int32_t kWidth[4] = {8, 8, 16, 24};
constexpr int8_t kFlash[4] = {30, 30, 45, 60};
constexpr int32_t kContactW[4] = {8, 8, 16, 8};
// Pictures in bank 1: plain (one hit left) and armoured, frame 0; frame 1 lies W further right.
constexpr int32_t kPlainX[4] = {24, 24, 40, 72};
constexpr int32_t kArmourX[4] = {0, 0, 16, 48};

struct MarchGroup {
  int first, last;  // slot range
  int32_t w;
  uint8_t note;  // effect slot
};
constexpr MarchGroup kGroups[4] = {
    {0, 15, 24, 10},
    {16, 23, 16, 11},
    {24, 31, 16, 12},
    {32, 39, 8, 13},
};

constexpr int group_of(int slot) { return slot < 16 ? 0 : slot < 24 ? 1 : slot < 32 ? 2 : 3; }

void alien_draw(const Alien& a) {
  const int k = a.kind & 3;
  const int32_t w = kWidth[k];
  if (a.hp == 1 && (a.flash & 1) == 0) {
    nox_put_sp(1, kPlainX[k] + w * a.frame, 8, w, 8, a.x, a.y);
  } else {
    nox_put_sp(1, kArmourX[k] + w * a.frame, 40, w, 8, a.x, a.y);
  }
}

}  // namespace

void play_lose() {
  g.game_over = 1;
  g.over_flash_timer = 1;
  nox_playpcm(3);
}

void formation_tally_clear() {
  g.alive_count = 0;
  for (uint8_t& f : g.group_alive) f = 0;
}

AlienHit alien_pass() {
  AlienHit hit{false, 0, 0, 0};
  for (int i = 0; i < ALIEN_COUNT; ++i) {
    Alien& a = g.aliens[i];
    if (a.kind == 0) continue;
    const int k = a.kind & 3;
    const int32_t w = kWidth[k];
    if (!hit.hit && a.flash == 0 && boxes_overlap(a.x, a.y, w, 8, g.ball_x, g.ball_y, 8, 8)) {
      a.hp = static_cast<int8_t>(a.hp - 1);
      if (a.hp < 1) {
        nox_playpcm(5);
        explosion_spawn(a.kind, a.x, a.y);
        item_spawn(a.kind, a.x, a.y);
        combo_count(a.kind, a.x, a.y);
        a.kind = 0;
      } else {
        nox_playpcm(6);
        a.flash = kFlash[k];
      }
      hit = AlienHit{true, a.x, a.y, w};
      // A hit alien is neither drawn, counted down nor tested against the paddle this frame.
    } else {
      if (a.flash != 0) a.flash = static_cast<int8_t>(a.flash - 1);
      alien_draw(a);
      if (g.game_over == 0 && boxes_overlap(a.x, a.y, kContactW[k], 8, g.paddle_x, g.paddle_y, 32, 8)) {
        play_lose();
      }
    }
    if (a.kind != 0) {
      g.alive_count = static_cast<int8_t>(g.alive_count + 1);
      g.group_alive[group_of(i)] = 1;
      bomb_release_test(a.x, a.y, w);
    }
  }
  return hit;
}

void alien_hit_bounce(const AlienHit& h) {
  if (!h.hit) return;
  // Overlapping the alien's box narrowed by 2 pixels each side: it came from above or below.
  if (g.ball_x + 6 > h.x && h.x + h.w - 2 > g.ball_x) {
    g.ball_vy = static_cast<int16_t>(-g.ball_vy);
  } else {
    g.ball_vx = static_cast<int16_t>(-g.ball_vx);
  }
}

void formation_march() {
  if (g.alive_count == 0) return;
  if (g.march_delay != 0) {
    g.march_delay = static_cast<int8_t>(g.march_delay - 1);
    return;
  }
  // With n aliens alive the formation steps every n + 1 frames.
  g.march_delay = g.alive_count;

  int group = static_cast<uint8_t>(g.march_group) & 3;
  for (int tries = 0; tries < 4 && g.group_alive[group] == 0; ++tries) group = (group + 1) & 3;
  g.march_group = static_cast<int8_t>(group);

  const MarchGroup& mg = kGroups[group];
  nox_playpcm(mg.note);

  // The edge test looks one step ahead, on the group's live aliens only.
  if (g.march_phase == 0) {
    bool any = false;
    int32_t right = 0;
    for (int s = mg.first; s <= mg.last; ++s) {
      const Alien& a = g.aliens[s];
      if (a.kind == 0) continue;
      const int32_t r = a.x + mg.w + g.march_step;
      if (!any || r > right) right = r;
      any = true;
    }
    if (any && right > 232) g.march_phase = 1;
  } else if (g.march_phase == 2) {
    bool any = false;
    int32_t left = 0;
    for (int s = mg.first; s <= mg.last; ++s) {
      const Alien& a = g.aliens[s];
      if (a.kind == 0) continue;
      const int32_t l = a.x - g.march_step;
      if (!any || l < left) left = l;
      any = true;
    }
    if (any && left < 8) g.march_phase = 3;
  }

  int first = mg.first, last = mg.last;
  const bool drop = g.march_phase == 1 || g.march_phase == 3;
  if (drop) {
    first = 0;
    last = ALIEN_COUNT - 1;
    g.march_group = static_cast<int8_t>(-1);  // 255: the next turn starts at group 0
  }

  for (int s = first; s <= last; ++s) {
    Alien& a = g.aliens[s];
    if (a.kind == 0) continue;
    a.frame = static_cast<int8_t>(1 - a.frame);
    if (g.march_phase == 0) {
      a.x = static_cast<int16_t>(a.x + g.march_step);
    } else if (g.march_phase == 2) {
      a.x = static_cast<int16_t>(a.x - g.march_step);
    } else if (drop) {
      a.y = static_cast<int16_t>(a.y + 8);
      if (a.y > 312) {
        a.y = 312;
        if (g.game_over == 0) play_lose();
      }
    }
  }

  if (drop) g.march_phase = static_cast<uint8_t>((g.march_phase + 1) % 4);
  g.march_group = static_cast<int8_t>((static_cast<uint8_t>(g.march_group) + 1) % 4);
}
