// ROMDATA.BIN: the read-only resource pack, loaded once and searched by name.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pack/status.h"

// Reads the whole pack into memory, from `path` (relative to the game's folder). 0 on success,
// -1 on failure: logged, and the logged reason in *why when given.
int loadbin(const char* path, Status* why = nullptr);

// The same from a pack already in memory (a server's copy); `name` stands for the file in the
// log lines. The pack keeps its own copy of every entry.
int loadbin_bytes(const uint8_t* data, size_t size, const char* name, Status* why = nullptr);

// Read-only pointer to the entry's bytes and its size, or null (size left unchanged).
const uint8_t* findbin(const char* name, uint32_t* size);

// Number of entries loaded (0 before loadbin).
int32_t pack_count();

// The most memory the pack held at once during the latest loadbin (directory and entry buffers),
// in bytes. It never exceeds what the file's own length can justify.
uint64_t pack_peak_bytes();

// Forgets the loaded pack (a new run, or a test loading another one).
void pack_unload();
