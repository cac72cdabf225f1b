// The ring between the game's mixer and an audio device: the mixer's output (16-bit mono,
// 22,050 Hz) goes in in pieces of the host's choosing, the device takes out whatever its own
// period needs. One producer and one consumer, which may be different threads.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/sound.h"

using MixFunction = void (*)(uint8_t* buffer, int32_t length);

constexpr int32_t SOUND_RATE = 22050;          // samples per second, 16-bit mono
constexpr uint32_t SOUND_RING_BYTES = 32768;   // about 740 ms

// A device that takes sound as it plays it, a short period at a time, is fed just in time: the
// producer mixes one period whenever no more than SOUND_RESERVE_PERIODS periods are left, that
// is as soon as the device has taken the one before. An effect then reaches the device one to
// two periods (11.6 to 23 ms) after it is requested, and the producer has a whole period to
// wake up before the device goes short.
constexpr uint32_t SOUND_PERIOD_SAMPLES = 256;  // about 11.6 ms
constexpr uint32_t SOUND_RESERVE_PERIODS = 0;

struct SoundRing {
  uint8_t bytes[SOUND_RING_BYTES];
  uint8_t piece[NOX_CHUNK_BYTES];        // the producer's mixing buffer
  std::atomic<uint64_t> written;         // bytes ever put in
  std::atomic<uint64_t> read;            // bytes ever taken out
  std::atomic<uint32_t> underrun_bytes;  // silence handed out after sound had started
};

void sound_ring_reset(SoundRing* r);

// Bytes waiting to be taken, and room for more.
uint32_t sound_ring_fill(const SoundRing* r);
uint32_t sound_ring_space(const SoundRing* r);

// True when no more than the reserve of SOUND_RESERVE_PERIODS periods of period_bytes is left,
// so that the producer is to mix the next period now.
bool sound_ring_needs_piece(const SoundRing* r, uint32_t period_bytes);

// Producer: mixes the next `bytes` of output (at most NOX_CHUNK_BYTES and the ring's space)
// with one call of `mix` and puts them in. Returns the bytes put in.
uint32_t sound_ring_mix(SoundRing* r, MixFunction mix, uint32_t bytes);

// Consumer: fills out[0..n) with waiting bytes, silence where none wait; silence handed out
// once sound has started counts as an underrun. Returns the bytes of real sound taken.
uint32_t sound_ring_take(SoundRing* r, uint8_t* out, uint32_t n);
