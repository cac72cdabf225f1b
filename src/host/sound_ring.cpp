#include "host/sound_ring.h"

#include <algorithm>
#include <cstring>

void sound_ring_reset(SoundRing* r) {
  r->written.store(0);
  r->read.store(0);
  r->underrun_bytes.store(0);
}

uint32_t sound_ring_fill(const SoundRing* r) {
  return static_cast<uint32_t>(r->written.load(std::memory_order_acquire) - r->read.load(std::memory_order_acquire));
}

uint32_t sound_ring_space(const SoundRing* r) { return SOUND_RING_BYTES - sound_ring_fill(r); }

uint32_t sound_ring_mix(SoundRing* r, MixFunction mix, uint32_t bytes) {
  const uint32_t n = std::min({bytes, static_cast<uint32_t>(NOX_CHUNK_BYTES), sound_ring_space(r)});
  if (n == 0) return 0;
  mix(r->piece, static_cast<int32_t>(n));
  const uint64_t w = r->written.load(std::memory_order_relaxed);
  const uint32_t at = static_cast<uint32_t>(w % SOUND_RING_BYTES);
  const uint32_t first = std::min(n, SOUND_RING_BYTES - at);
  std::memcpy(r->bytes + at, r->piece, first);
  std::memcpy(r->bytes, r->piece + first, n - first);
  r->written.store(w + n, std::memory_order_release);
  return n;
}

uint32_t sound_ring_take(SoundRing* r, uint8_t* out, uint32_t n) {
  const uint64_t rd = r->read.load(std::memory_order_relaxed);
  const uint64_t w = r->written.load(std::memory_order_acquire);
  const uint32_t got = static_cast<uint32_t>(std::min<uint64_t>(w - rd, n));
  const uint32_t at = static_cast<uint32_t>(rd % SOUND_RING_BYTES);
  const uint32_t first = std::min(got, SOUND_RING_BYTES - at);
  std::memcpy(out, r->bytes + at, first);
  std::memcpy(out + first, r->bytes, got - first);
  if (got < n) {
    std::memset(out + got, 0, n - got);
    if (w != 0) r->underrun_bytes.fetch_add(n - got, std::memory_order_relaxed);
  }
  r->read.store(rd + got, std::memory_order_release);
  return got;
}
