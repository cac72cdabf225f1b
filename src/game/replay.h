// The replay buffer: a 32-byte header and room for 131,072 frame records of 12 bytes.
// The same bytes make a replay file.
#pragma once
#include <cstdint>

constexpr uint32_t REPLAY_MAX_FRAMES = 131072;
constexpr uint32_t REPLAY_HEADER_BYTES = 32;
constexpr uint32_t REPLAY_RECORD_BYTES = 12;
constexpr uint32_t REPLAY_BUFFER_BYTES = REPLAY_HEADER_BYTES + REPLAY_RECORD_BYTES * REPLAY_MAX_FRAMES;

// Header: 0 date text (16), 16 frame index (u32 LE), 20 score (u32 LE), 24 guide, 25 floor, 26 reserved (6).
extern uint8_t replay_buffer[REPLAY_BUFFER_BYTES];

uint32_t replay_frame_index();
void replay_set_frame_index(uint32_t n);
uint32_t replay_score();
void replay_set_score(uint32_t score);

// Fills the whole buffer, header and records, with zeros.
void replay_clear();

// Step 2 of every play frame: record the pointer, or replace it with the recorded values.
// Returns non-zero when a tap has abandoned a playback and the play frame must end at once.
int replay_hook();

// Little-endian helpers shared by the files that store these layouts.
inline uint32_t get_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put_le32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
