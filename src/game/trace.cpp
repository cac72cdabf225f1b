// The state as one JSON object: the runner's trace lines and the page's state.
#include <charconv>
#include <cstring>
#include <initializer_list>

#include "engine/sound.h"
#include "game/core.h"
#include "game/game.h"
#include "game/replay.h"
#include "game/rng.h"

namespace {

// Room enough for any 64-bit number.
inline char* put_int(char* p, int64_t v) { return std::to_chars(p, p + 20, v).ptr; }

template <size_t N>
inline char* put_lit(char* p, const char (&s)[N]) {
  std::memcpy(p, s, N - 1);
  return p + N - 1;
}

// A JSON array of small numbers, "[a,b,...]".
inline char* put_tuple(char* p, std::initializer_list<int64_t> values) {
  *p++ = '[';
  for (const int64_t* v = values.begin(); v != values.end(); ++v) {
    if (v != values.begin()) *p++ = ',';
    p = put_int(p, *v);
  }
  *p++ = ']';
  return p;
}

// Writes ,"key":value (the first key, without the comma, is written by the caller).
#define PUT_KEY(p, key, value) \
  do {                         \
    p = put_lit(p, ",\"" key "\":"); \
    p = put_int(p, static_cast<int64_t>(value)); \
  } while (0)

}  // namespace

size_t game_trace_line(int64_t frame, char* buf) {
  char* p = buf;
  p = put_lit(p, "{\"frame\":");
  p = put_int(p, frame);
  PUT_KEY(p, "scene", g.scene);
  PUT_KEY(p, "frame_counter", g.frame_counter);
  PUT_KEY(p, "score", g.score);
  PUT_KEY(p, "hi_score", g.hi_score);
  PUT_KEY(p, "round", g.round);
  PUT_KEY(p, "scene_timer", g.scene_timer);
  PUT_KEY(p, "game_over", g.game_over);
  PUT_KEY(p, "game_over_timer", g.game_over_timer);
  PUT_KEY(p, "items_caught", g.items_caught);
  PUT_KEY(p, "max_combo", g.max_combo);
  PUT_KEY(p, "combo", g.combo);
  PUT_KEY(p, "touch_pressed", g.touch_pressed);
  PUT_KEY(p, "touch_x", g.touch_x);
  PUT_KEY(p, "touch_y", g.touch_y);
  PUT_KEY(p, "touch_released", g.touch_released);
  PUT_KEY(p, "paddle_x", g.paddle_x);
  PUT_KEY(p, "paddle_target_x", g.paddle_target_x);
  PUT_KEY(p, "ball_x", g.ball_x);
  PUT_KEY(p, "ball_y", g.ball_y);
  PUT_KEY(p, "ball_vx", g.ball_vx);
  PUT_KEY(p, "ball_vy", g.ball_vy);
  PUT_KEY(p, "ball_fx", g.ball_fx);
  PUT_KEY(p, "ball_fy", g.ball_fy);
  PUT_KEY(p, "serve_dir", g.serve_dir);
  PUT_KEY(p, "floor_present", g.floor_present);
  PUT_KEY(p, "bomb_active", g.bomb_active);
  PUT_KEY(p, "bomb_x", g.bomb_x);
  PUT_KEY(p, "bomb_y", g.bomb_y);
  PUT_KEY(p, "alive_count", g.alive_count);
  PUT_KEY(p, "march_delay", g.march_delay);
  PUT_KEY(p, "march_phase", g.march_phase);
  PUT_KEY(p, "march_group", g.march_group);
  PUT_KEY(p, "hit_popup_timer", g.hit_popup_timer);
  PUT_KEY(p, "item_next", g.item_next);
  PUT_KEY(p, "round_bonus", g.round_bonus);
  PUT_KEY(p, "bonus_step", g.bonus_step);
  PUT_KEY(p, "playback", g.playback);
  PUT_KEY(p, "opt_guide", g.opt_guide);
  PUT_KEY(p, "opt_floor", g.opt_floor);
  PUT_KEY(p, "rng", rng_state);
  PUT_KEY(p, "replay_frames", replay_frame_index());
  p = put_lit(p, ",\"aliens\":[");
  for (int i = 0; i < ALIEN_COUNT; ++i) {
    const Alien& a = g.aliens[i];
    if (i != 0) *p++ = ',';
    p = put_tuple(p, {a.kind, a.hp, a.flash, a.x, a.y, a.frame});
  }
  p = put_lit(p, "],\"items\":[");
  for (int i = 0; i < ITEM_COUNT; ++i) {
    const FallingItem& it = g.items[i];
    if (i != 0) *p++ = ',';
    p = put_tuple(p, {it.state, it.frame, it.x, it.y, it.vy});
  }
  *p++ = ']';
  PUT_KEY(p, "particle_next", particle_next);
  PUT_KEY(p, "explosion_next", explosion_next);
  PUT_KEY(p, "mute", nox_get_mute());
  *p++ = '}';
  return static_cast<size_t>(p - buf);
}
