// The game's one pseudo-random generator. Only the play frame draws from it.
#pragma once
#include <cstdint>

#include "pack/per_thread.h"

extern PER_THREAD uint32_t rng_state;

inline void rng_seed(uint32_t seed) { rng_state = seed; }

// 0..32767: bits 16 to 30 of the next state.
inline int32_t rng_next() {
  rng_state = rng_state * 214013u + 2531011u;
  return static_cast<int32_t>((rng_state >> 16) & 0x7FFF);
}
