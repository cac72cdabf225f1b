// A simple player for long unattended runs: starts games, keeps the paddle under the ball and
// out of the bomb's way, and taps through the ranking display.
#include <algorithm>
#include <cstdlib>

#include "headless/bot.h"

namespace {

// Where the ball's left edge will be when it reaches the paddle's row, following the walls
// (the aliens are ignored); the ball's own x while it rises.
int32_t landing_x(const Game& g) {
  if (g.ball_vy <= 0) return g.ball_x;
  int32_t x = g.ball_x, y = g.ball_y, fx = g.ball_fx, fy = g.ball_fy, vx = g.ball_vx;
  for (int i = 0; i < 400 && y < 264; ++i) {
    fx += vx;
    fy += g.ball_vy;
    x += fx / 11;
    y += fy / 11;
    fx %= 11;
    fy %= 11;
    if (x < 8) {
      x = 8;
      vx = -vx;
    } else if (x > 224) {
      x = 224;
      vx = -vx;
    }
  }
  return x;
}

}  // namespace

HeadlessEvent headless_bot_event(int64_t frame) {
  const Game& g = game_state();
  if (g.scene == Scene::Title || g.scene == Scene::TitleAgain) {
    // Tap GAME START: move, press, lift on three frames in turn.
    static constexpr HeadlessEvent kTap[3] = {
        {NoxEvent::PointerMove, 2 * 100, 2 * 110}, {NoxEvent::PointerDown, 0, 0}, {NoxEvent::PointerUp, 0, 0}};
    return kTap[frame % 3];
  }
  if (g.scene == Scene::Play && g.game_over == 0) {
    if (g.touch_pressed == 0 && g.scene_timer > 20) return HeadlessEvent{NoxEvent::PointerDown, 0, 0};
    // Lift and press again before the press count reaches 256: a recording keeps only its
    // low 8 bits, so a longer hold would play back differently.
    if (g.touch_pressed >= 250) return HeadlessEvent{NoxEvent::PointerUp, 0, 0};
    // Paddle left edge wanted under the ball where it will come down (paddle_x settles at
    // touch_x - 15); the small offset varies the bounce angle from one rally to the next.
    const int32_t offset = static_cast<int32_t>((frame / 64) % 9) - 4;
    int32_t want = landing_x(g) - 12 + offset;
    // Keep clear of a bomb that is about to reach the paddle's row: stay on the side the
    // paddle is on, never crossing under it.
    const int32_t vy = g.ball_vy == 0 ? 1 : std::abs(static_cast<int32_t>(g.ball_vy));
    const int32_t ball_due = g.ball_vy > 0 ? (264 - g.ball_y) * 11 / vy : (g.ball_y - 24 + 240) * 11 / vy;
    const int32_t bomb_gone = 282 - g.bomb_y;
    if (g.bomb_active != 0 && g.bomb_y > 215 && g.bomb_y < 282 && (ball_due > 265 - g.bomb_y - 3 || ball_due > bomb_gone)) {
      const int32_t left = g.bomb_x - 32 - 4, right = g.bomb_x + 8 + 4;
      const bool on_left = g.paddle_x + 16 < g.bomb_x + 4;
      // The paddle's own side of the bomb, or the other side where its own has no room.
      const bool go_left = on_left ? left >= 8 : right > 200;
      want = go_left ? std::min(want, left) : std::max(want, right);
    }
    return HeadlessEvent{NoxEvent::PointerMove, 2 * std::clamp(want + 15, 0, 239), 2 * 250};
  }
  if (g.scene == Scene::Ranking || g.scene == Scene::RankingFromTitle) {
    return frame % 2 == 0 ? HeadlessEvent{NoxEvent::PointerDown, 0, 0} : HeadlessEvent{NoxEvent::PointerUp, 0, 0};
  }
  return HeadlessEvent{};
}

