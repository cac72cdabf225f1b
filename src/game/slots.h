// Replay files PIXBRK01.REP .. PIXBRK16.REP and the slot directory.
#pragma once
#include <cstddef>
#include <cstdint>

#include "game/replay.h"
#include "pack/per_thread.h"
#include "pack/status.h"

constexpr int REPLAY_SLOTS = 16;

// Entry s-1 holds the header of replay file s, or 32 zero bytes when the slot has no usable file.
extern PER_THREAD uint8_t slot_dir[REPLAY_SLOTS][REPLAY_HEADER_BYTES];

void slot_scan();
bool slot_has_replay(int slot);  // slot 1..16

// Forgets where the two slot menus last saw the pointer, as at program start.
void slot_menus_reset();

// Loads replay file `slot` into the replay buffer and starts its playback, exactly as the
// load-replay menu does. 0 on success, -1 when the file cannot be used.
int load_replay_slot(int slot);

// Loads any replay file (a path in the game's folder, or an absolute one) exactly as the
// load-replay menu loads a slot, and starts its playback. 0 on success, -1 when the file cannot
// be opened or holds no usable replay.
int load_replay_file(const char* path);

// The same from a replay file's bytes.
int load_replay_bytes(const uint8_t* data, size_t size);

// Stores a replay file's bytes as the file of slot 1..16 when the slot menus would list them
// (their own header rule), then scans the slots again; otherwise the slot keeps what it had.
// 0 when it is listed now; -1 when it is not a replay; -2 when it could not be stored (why).
int import_replay_slot(int slot, const uint8_t* data, size_t size, Status* why);
