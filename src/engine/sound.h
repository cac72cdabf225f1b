// 256 effect slots and the one-effect-at-a-time output mixer (16-bit mono, 22,050 Hz).
#pragma once
#include <cstdint>

#include "pack/per_thread.h"

constexpr int32_t NOX_CHUNK_BYTES = 4410;  // 100 ms of output

struct NoxSlot {
  uint32_t size;      // bytes of sample data, 0 when empty
  uint32_t state;     // 0 idle, 1 playing, 2+ restart requested
  uint32_t position;  // next byte to output
  uint8_t* data;      // owned, or null
};
extern PER_THREAD NoxSlot nox_slots[256];

// Decodes the PCM entry `name` into `slot`. 0 on success, -1 on failure (slot left empty).
int nox_loadpcm(uint8_t slot, const char* name);

// Requests the effect of `slot` (start, or restart if it is already playing).
void nox_playpcm(uint8_t slot);

// Fills `buffer` with the next `length` bytes of output (the sound thread's call).
void nox_mixpcm(uint8_t* buffer, int32_t length);

void nox_set_mute(uint8_t value);
uint8_t nox_get_mute();

// Frees every slot's sample buffer (host shut-down, after the sound thread has stopped).
void nox_free_slots();
