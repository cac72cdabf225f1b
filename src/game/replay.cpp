// The replay buffer and the hook that records or plays back the pointer of every play frame.
#include "game/replay.h"

#include <cstring>

#include "game/game.h"

PER_THREAD uint8_t replay_buffer[REPLAY_BUFFER_BYTES];

namespace {

inline void put_le16(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline int32_t get_le16s(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

uint32_t replay_frame_index() { return get_le32(replay_buffer + REPLAY_FRAMES_AT); }
uint32_t replay_recorded_frames() {
  const uint32_t n = replay_frame_index();
  return n > REPLAY_MAX_FRAMES ? REPLAY_MAX_FRAMES : n;
}
void replay_set_frame_index(uint32_t n) { put_le32(replay_buffer + REPLAY_FRAMES_AT, n); }
uint32_t replay_score() { return get_le32(replay_buffer + REPLAY_SCORE_AT); }
void replay_set_score(uint32_t score) { put_le32(replay_buffer + REPLAY_SCORE_AT, score); }

void replay_clear() { std::memset(replay_buffer, 0, sizeof replay_buffer); }

int replay_hook() {
  // The index is kept to 17 bits when it advances; a value loaded from elsewhere is masked
  // the same way here so a record is never read or written outside the buffer.
  const uint32_t n = replay_frame_index() % REPLAY_MAX_FRAMES;
  uint8_t* rec = replay_buffer + REPLAY_RECORDS_AT + REPLAY_RECORD_BYTES * n;
  if (g.playback != 0) {
    if (g.touch_released_live != 0) {
      // The player lifted the real pointer: the playback is abandoned.
      replay_clear();
      g.scene = Scene::Title;
      return 1;
    }
    g.touch_x = get_le16s(rec + 0);
    g.touch_y = get_le16s(rec + 2);
    g.touch_dx = get_le16s(rec + 4);
    g.touch_dy = get_le16s(rec + 6);
    g.touch_pressed = static_cast<int8_t>(rec[8]);
    g.touch_released = static_cast<int8_t>(rec[9]);
  } else {
    put_le16(rec + 0, g.touch_x);
    put_le16(rec + 2, g.touch_y);
    put_le16(rec + 4, g.touch_dx);
    put_le16(rec + 6, g.touch_dy);
    // A record keeps the low 8 bits of the press count, but a pointer held through a whole
    // multiple of 256 frames is stored as 255, not 0: otherwise the playback would see the
    // pointer lifted for that one frame, the paddle would miss a step and the replay would
    // drift away from the game it recorded. Any non-zero byte reads back as pressed.
    const auto pressed = static_cast<uint8_t>(g.touch_pressed);
    rec[8] = (pressed == 0 && g.touch_pressed != 0) ? uint8_t{0xFF} : pressed;
    rec[9] = static_cast<uint8_t>(g.touch_released);
    rec[10] = 0;
    rec[11] = 0;
  }
  replay_set_frame_index((n + 1) % REPLAY_MAX_FRAMES);
  return 0;
}
