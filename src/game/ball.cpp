// The paddle and the one ball of a round. Speeds are in elevenths of a pixel per frame; the
// remainders carry the part of a pixel not yet moved.
#include "engine/draw.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/play.h"

namespace {

constexpr int32_t kPaddleW = 32;
constexpr int32_t kPaddleH = 8;
constexpr int32_t kBall = 8;

int16_t to16(int32_t v) { return static_cast<int16_t>(v); }

// One frame of ball motion on a set of fields; the remainders keep the sign of the motion.
void advance(int16_t& x, int16_t& y, int16_t& fx, int16_t& fy, int16_t vx, int16_t vy) {
  fx = to16(fx + vx);
  fy = to16(fy + vy);
  x = to16(x + fx / 11);
  y = to16(y + fy / 11);
  fx = to16(fx % 11);
  fy = to16(fy % 11);
}

bool meets_paddle(int32_t x, int32_t y, int32_t vy) {
  return vy > 0 && g.game_over == 0 &&
         boxes_overlap(g.paddle_x, g.paddle_y, kPaddleW, kPaddleH, x, y, kBall, kBall);
}

// The ball leaves the paddle a little faster each time, steered by where it struck.
void paddle_deflect(int32_t x, int16_t& vx, int16_t& vy) {
  vy = to16(-vy);
  const int32_t limit = paddle_speed_limit(g.round);
  if (vy > -limit) vy = to16(vy - 1);
  const int32_t offset = (x + 4) - (g.paddle_x + 16);
  int32_t nvx = vx + (offset * 15) / 10;
  if (nvx < -limit) nvx = -limit;
  if (nvx > limit) nvx = limit;
  vx = to16(nvx);
}

}  // namespace

int32_t serve_speed(int32_t round) { return round == 1 ? 30 : 33; }

int32_t paddle_speed_limit(int32_t round) { return round <= 2 ? 50 : 55; }

void paddle_target_and_beam() {
  if (g.touch_pressed == 0) return;
  int64_t target = static_cast<int64_t>(g.touch_x) - 7;
  if (target < 1) target = 1;
  if (target > 220) target = 220;
  g.paddle_target_x = static_cast<int16_t>(target);
  if (odd_frame(g.frame_counter)) {
    const int32_t x = g.paddle_target_x;
    nox_line_sp(x + 7, 24, x + 7, 320, 8);
    nox_line_sp(x + 8, 24, x + 8, 320, 10);
    nox_line_sp(x + 9, 24, x + 9, 320, 10);
    nox_line_sp(x + 10, 24, x + 10, 320, 8);
  }
}

void guide_path() {
  if (g.opt_guide == 0 || g.ball_vy <= 0) return;
  int16_t x = g.ball_x, y = g.ball_y, fx = g.ball_fx, fy = g.ball_fy, vx = g.ball_vx, vy = g.ball_vy;
  // Every dot is at least a few pixels further along; the cap only guards against a ball
  // that could never leave the band.
  for (int dots = 0; dots < 4096 && y > 24 && y < 316; ++dots) {
    nox_pset_sp(x + 4, y + 4, 173);
    for (int i = 0; i < 3; ++i) {
      advance(x, y, fx, fy, vx, vy);
      if (x < 8) {
        x = 8;
        vx = to16(-vx);
      } else if (x > 224) {
        x = 224;
        vx = to16(-vx);
      }
      if (meets_paddle(x, y, vy)) paddle_deflect(x, vx, vy);
    }
  }
}

void floor_barrier_draw() {
  if (g.floor_present == 0) return;
  for (int32_t i = 0; i < 6; ++i) nox_line_sp(8, 304 + i, 231, 304 + i, 64 - 2 * i);
}

void paddle_and_ball_draw() {
  if (g.game_over == 0) nox_put_sp(1, 24, 0, kPaddleW, kPaddleH, g.paddle_x, g.paddle_y);
  nox_put_sp(1, 8, 8, kBall, kBall, g.ball_x, g.ball_y);
}

void floor_barrier_break() {
  if (g.ball_vy > 0 && g.floor_present != 0 && g.ball_y > 296) {
    g.ball_vy = to16(-g.ball_vy);
    g.floor_present = 0;
    nox_playpcm(7);
    burst_floor();
  }
}

void paddle_bounce() {
  if (!meets_paddle(g.ball_x, g.ball_y, g.ball_vy)) return;
  nox_playpcm(8);
  g.combo = 0;
  g.hit_popup_timer = 0;
  paddle_deflect(g.ball_x, g.ball_vx, g.ball_vy);
}

int32_t paddle_follow() {
  if (g.game_over != 0) return 0;
  int32_t d = (g.paddle_x + 8) - g.paddle_target_x;
  if (d < 0) {
    if (d < -5) d = -5;
    int32_t x = g.paddle_x - d;
    if (x > 200) x = 200;
    g.paddle_x = to16(x);
  } else if (d > 0) {
    if (d > 5) d = 5;
    int32_t x = g.paddle_x - d;
    if (x < 8) x = 8;
    g.paddle_x = to16(x);
  }
  return d;
}

void ball_serve(int32_t d) {
  if (g.ball_vx != 0 || g.ball_vy != 0 || g.game_over != 0) return;
  // The serve goes against the paddle's last movement.
  if (d < 0) {
    g.serve_dir = 0;
  } else if (d > 0) {
    g.serve_dir = 1;
  }
  g.ball_x = to16(g.paddle_x + 12);
  if (g.touch_released == 1 || g.scene_timer > 60) {
    const int32_t s = serve_speed(g.round);
    g.ball_vy = to16(-s);
    g.ball_vx = to16(g.serve_dir == 1 ? s : -s);
  }
}

void ball_motion() { advance(g.ball_x, g.ball_y, g.ball_fx, g.ball_fy, g.ball_vx, g.ball_vy); }

void ball_walls() {
  if (g.ball_x < 8) {
    g.ball_x = 8;
    g.ball_vx = to16(-g.ball_vx);
    nox_playpcm(8);
    burst_left_wall();
  } else if (g.ball_x > 224) {
    g.ball_x = 224;
    g.ball_vx = to16(-g.ball_vx);
    nox_playpcm(8);
    burst_right_wall();
  }
  if (g.ball_y < 24) {
    g.ball_y = 24;
    g.ball_vy = to16(-g.ball_vy);
    nox_playpcm(8);
    burst_ceiling();
  } else if (g.ball_y > 320) {
    g.ball_y = 320;
    g.ball_vx = 0;
    g.ball_vy = 0;
    if (g.game_over == 0) play_lose();
  }
}
