// Any replay file: the slot scan, the load menu, a load by path and the first replayed frames.
#include <cstring>

#include "fuzz_dir.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"

namespace {

// The load menu: press and lift the pointer over slot 1.
void choose_slot_1() {
  g.touch_x = 100;
  g.touch_y = 62;
  g.touch_pressed = 1;
  g.touch_released = 0;
  scene_load_replay();
  g.touch_pressed = 0;
  g.touch_released = 1;
  scene_load_replay();
}

bool tail_is_zero(size_t from) {
  static const uint8_t zeros[4096] = {};
  for (size_t i = from; i < REPLAY_BUFFER_BYTES; i += sizeof zeros) {
    const size_t n = REPLAY_BUFFER_BYTES - i < sizeof zeros ? REPLAY_BUFFER_BYTES - i : sizeof zeros;
    if (std::memcmp(replay_buffer + i, zeros, n) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_scratch_dir();
  fuzz_write_file("PIXBRK01.REP", data, size);
  g = Game{};
  g.scene = Scene::LoadReplay;
  std::memset(replay_buffer, 0xA5, REPLAY_HEADER_BYTES + 64);  // leftovers of an earlier recording

  slot_scan();
  const bool listed = slot_has_replay(1);
  const uint32_t frames = size >= 32 ? get_le32(data + REPLAY_FRAMES_AT) : 0;
  fuzz_require(!listed || (size >= 32 && frames >= 12 && frames <= REPLAY_MAX_FRAMES),
               "only a usable header is listed");
  choose_slot_1();
  fuzz_require(g.scene == (listed ? Scene::RoundSetup : Scene::LoadReplay), "only a listed slot is loaded");
  if (listed) {
    fuzz_require(g.playback == 1 && replay_frame_index() == 0, "a load starts the playback");
    const size_t have = size - REPLAY_HEADER_BYTES;
    const size_t want = static_cast<size_t>(frames) * REPLAY_RECORD_BYTES;
    const size_t loaded = have < want ? have : want;
    fuzz_require(std::memcmp(replay_buffer + REPLAY_HEADER_BYTES, data + REPLAY_HEADER_BYTES, loaded) == 0,
                 "the records are the file's");
    fuzz_require(tail_is_zero(REPLAY_HEADER_BYTES + loaded), "nothing of an earlier recording is left");
    // The first replayed frames read inside the buffer whatever the records hold.
    for (int i = 0; i < 16; ++i) replay_hook();
  }

  g = Game{};
  const int by_path = load_replay_file("PIXBRK01.REP");
  fuzz_require((by_path == 0) == listed, "a load by path accepts exactly what the slot scan lists");
  return 0;
}
