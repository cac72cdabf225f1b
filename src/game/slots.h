// Replay files PIXBRK01.REP .. PIXBRK16.REP and the slot directory.
#pragma once
#include <cstdint>

constexpr int REPLAY_SLOTS = 16;
constexpr uint32_t REPLAY_MIN_FRAMES = 12;  // a shorter recording is not worth listing

// Entry s-1 holds the header of replay file s, or 32 zero bytes when the slot has no usable file.
extern uint8_t slot_dir[REPLAY_SLOTS][32];

// A replay header (32 bytes) the slot menus list and load: a real date and a record count from
// REPLAY_MIN_FRAMES to REPLAY_MAX_FRAMES.
bool replay_header_usable(const uint8_t* header);

void slot_scan();
bool slot_has_replay(int slot);  // slot 1..16

// Loads replay file `slot` into the replay buffer and starts its playback, exactly as the
// load-replay menu does. 0 on success, -1 when the file cannot be used.
int load_replay_slot(int slot);

// Loads any replay file (a path) exactly as the load-replay menu loads a slot, and starts its
// playback. 0 on success, -1 when the file cannot be opened or holds no usable replay.
int load_replay_file(const char* path);
