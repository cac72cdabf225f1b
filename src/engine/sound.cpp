#include "engine/sound.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "pack/pack.h"

PER_THREAD NoxSlot nox_slots[256];

namespace {
// The one lock of the slots: every store into a slot's play state is made while holding it.
PER_THREAD std::mutex slot_lock;
// Written by the main thread, read by the sound thread without the lock.
PER_THREAD std::atomic<uint8_t> mute_flag{0};

constexpr uint32_t PCM_HEADER = 8;

void drop_data(NoxSlot& s) {
  std::free(s.data);
  s.data = nullptr;
  s.size = 0;
}
}  // namespace

int nox_loadpcm(uint8_t slot, const char* name) {
  NoxSlot& s = nox_slots[slot];
  {
    std::lock_guard<std::mutex> hold(slot_lock);
    drop_data(s);
  }
  uint32_t size = 0;
  const uint8_t* e = findbin(name, &size);
  if (e == nullptr || size < PCM_HEADER || e[0] != 'E' || e[1] != 'F' || e[2] != 'F' || e[3] != 0) return -1;
  const uint32_t length = static_cast<uint32_t>(e[4]) << 24 | static_cast<uint32_t>(e[5]) << 16 |
                          static_cast<uint32_t>(e[6]) << 8 | static_cast<uint32_t>(e[7]);
  // A stated length beyond the entry's own data is refused; nothing is read past the entry.
  if (length > size - PCM_HEADER) return -1;
  auto* data = static_cast<uint8_t*>(std::malloc(length > 0 ? length : 1));
  if (data == nullptr) return -1;
  std::memcpy(data, e + PCM_HEADER, length);
  std::lock_guard<std::mutex> hold(slot_lock);
  s.data = data;
  s.size = length;
  return 0;
}

void nox_playpcm(uint8_t slot) {
  std::lock_guard<std::mutex> hold(slot_lock);
  NoxSlot& s = nox_slots[slot];
  if (s.data != nullptr) ++s.state;
}

// Only the lowest-numbered active slot is heard; it is copied, not mixed, and every other
// active slot is cancelled. Muting silences the chunk after the slots have moved on.
void nox_mixpcm(uint8_t* buffer, int32_t length) {
  const auto len = static_cast<uint32_t>(std::max(length, 0));
  std::memset(buffer, 0, len);
  {
    std::lock_guard<std::mutex> hold(slot_lock);
    bool heard = false;
    for (NoxSlot& s : nox_slots) {
      if (s.state == 0) {
        s.position = 0;
        continue;
      }
      if (heard) {
        s.position = 0;
        s.state = 0;
        continue;
      }
      heard = true;
      if (s.state >= 2) {
        s.position = 0;
        s.state = 1;
      }
      uint32_t n = s.size > s.position ? s.size - s.position : 0;
      n = std::min({n, static_cast<uint32_t>(NOX_CHUNK_BYTES), len});
      if (n > 0) std::memcpy(buffer, s.data + s.position, n);
      s.position += n;
      if (s.position >= s.size) {
        s.position = 0;
        s.state = 0;
      }
    }
  }
  if (mute_flag.load(std::memory_order_relaxed) != 0) std::memset(buffer, 0, len);
}

void nox_set_mute(uint8_t value) { mute_flag.store(value, std::memory_order_relaxed); }

uint8_t nox_get_mute() { return mute_flag.load(std::memory_order_relaxed); }

void nox_free_slots() {
  std::lock_guard<std::mutex> hold(slot_lock);
  for (NoxSlot& s : nox_slots) {
    drop_data(s);
    s.state = 0;
    s.position = 0;
  }
}
