// The play frame: every rule of a round, run once per displayed frame in one fixed order.
// Later drawing covers earlier drawing, and the PRNG is drawn in exactly this order.
#include "engine/draw.h"
#include "game/game.h"
#include "game/play.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/text.h"

namespace {

// After the game is lost the paddle blinks for 59 frames instead of being drawn, then is gone.
void paddle_over_blink() {
  if (g.over_flash_timer == 0) return;
  g.over_flash_timer = static_cast<int8_t>(g.over_flash_timer + 1);
  if (g.over_flash_timer > 60) {
    g.over_flash_timer = 0;
    return;
  }
  if (odd_frame(g.frame_counter)) g.over_flash_frame = static_cast<int8_t>(1 - g.over_flash_frame);
  nox_put_sp(1, 56 + 32 * g.over_flash_frame, 0, 32, 8, g.paddle_x, g.paddle_y);
}

// Runs the game-over sequence; returns true when it has just ended and the frame must stop.
bool game_over_and_banner() {
  if (g.game_over != 0 && g.game_over_timer == 0) g.game_over_timer = 1;
  if (g.game_over_timer != 0) {
    g.game_over_timer = static_cast<uint16_t>(g.game_over_timer + 1);
    if (g.game_over_timer >= 200) {
      g.game_over_timer = 0;
      if (g.playback != 0) {
        g.scene = Scene::Title;
      } else {
        g.scene = Scene::Ranking;
        register_score();
      }
      return true;
    }
    if (g.game_over_timer % 40 < 20) print_large(0, 84, 156, "GAME OVER");
  }
  if (g.game_over_timer == 0 && g.scene_timer < 120 && g.scene_timer % 30 < 15) {
    print_large(0, 92, 156, "ROUND %d", static_cast<int>(g.round));
  }
  return false;
}

}  // namespace

int scene_play() {
  g.scene_timer = static_cast<uint16_t>(g.scene_timer + 1);
  if (replay_hook() != 0) return 0;

  paddle_target_and_beam();
  particle_pass();
  star_spawn();
  ball_trail();
  guide_path();
  floor_barrier_draw();
  paddle_and_ball_draw();

  formation_tally_clear();
  const AlienHit hit = alien_pass();
  if (hit.hit) {
    hit_score();
    burst_hit(hit.x, hit.y, hit.w);
    alien_hit_bounce(hit);
  }

  const int32_t free_items = item_pass();
  if (free_items == ITEM_COUNT && g.alive_count == 0 && g.game_over == 0 && g.game_over_timer == 0) {
    g.scene = Scene::RoundClear;
    g.scene_timer = 0;
    return 0;
  }

  bomb_step();
  paddle_over_blink();
  explosion_pass();
  hit_popup_step();
  if (game_over_and_banner()) return 0;

  floor_barrier_break();
  paddle_bounce();
  const int32_t d = paddle_follow();
  ball_serve(d);
  ball_motion();
  ball_walls();
  formation_march();
  return 0;
}
