// The round-clear scene with its bonus count, and the all-clear picture after round 5.
#include <cstdio>

#include "engine/draw.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/text.h"

int scene_round_clear() {
  g.scene_timer = static_cast<uint16_t>(g.scene_timer + 1);
  if (g.scene_timer == 1) {
    g.round_bonus = static_cast<int32_t>(g.items_caught) * 10;
    g.bonus_step = g.round_bonus > 60 ? g.round_bonus / 60 : 1;
  }

  print_large(0, 68, 146, "ROUND %d CLEAR", static_cast<int>(g.round));
  char text[64];
  int n = std::snprintf(text, sizeof text, "BONUS %d0PTS", static_cast<int>(g.round_bonus));
  if (n < 0) n = 0;
  if (n > static_cast<int>(sizeof text) - 1) n = static_cast<int>(sizeof text) - 1;
  const int32_t span = 240 - 8 * n;
  print_large(0, span >= 0 ? span / 2 : (span - 1) / 2, 166, "%s", text);

  // The bonus counts in from frame 61, one step per frame.
  if (g.scene_timer > 60 && g.round_bonus != 0) {
    if (g.bonus_step < g.round_bonus) {
      g.score = static_cast<uint32_t>(g.score + static_cast<uint32_t>(g.bonus_step));
      g.round_bonus -= g.bonus_step;
    } else {
      g.score = static_cast<uint32_t>(g.score + static_cast<uint32_t>(g.round_bonus));
      g.round_bonus = 0;
    }
    return 0;
  }

  if (g.scene_timer > 180) {
    g.round = static_cast<uint8_t>(g.round + 1);
    g.max_combo = 0;
    if (g.round < 6) {
      g.scene = Scene::RoundSetup;
    } else if (g.playback != 0) {
      g.scene = Scene::Title;  // a replay ends here; nothing is registered
    } else {
      g.scene_timer = 0;
      g.scene = Scene::Ending;
      register_score();
    }
  }
  return 0;
}

int scene_ending() {
  g.scene_timer = static_cast<uint16_t>(g.scene_timer + 1);
  nox_put_sp(3, 0, 0, 224, 80, 8, 120);
  if (g.scene_timer > 300) g.scene = Scene::Ranking;
  return 0;
}
