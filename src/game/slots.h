// Replay files PIXBRK01.REP .. PIXBRK16.REP and the slot directory.
#pragma once
#include <cstdint>

constexpr int REPLAY_SLOTS = 16;

// Entry s-1 holds the header of replay file s, or 32 zero bytes when the slot has no usable file.
extern uint8_t slot_dir[REPLAY_SLOTS][32];

void slot_scan();
bool slot_has_replay(int slot);  // slot 1..16

// Loads replay file `slot` into the replay buffer and starts its playback, exactly as the
// load-replay menu does. 0 on success, -1 when the file cannot be used.
int load_replay_slot(int slot);

// Loads any replay file (a path) exactly as the load-replay menu loads a slot, and starts its
// playback. 0 on success, -1 when the file cannot be opened or holds no usable replay.
int load_replay_file(const char* path);
