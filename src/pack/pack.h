// ROMDATA.BIN: the read-only resource pack, loaded once and searched by name.
#pragma once
#include <cstdint>

// Reads the whole pack into memory. 0 on success, -1 on failure (already logged).
int loadbin(const char* path);

// Read-only pointer to the entry's bytes and its size, or null (size left unchanged).
const uint8_t* findbin(const char* name, uint32_t* size);

// Number of entries loaded (0 before loadbin).
int32_t pack_count();

// The most memory the pack held at once during the latest loadbin (directory and entry buffers),
// in bytes. It never exceeds what the file's own length can justify.
uint64_t pack_peak_bytes();

// Forgets the loaded pack so a test can load another one. The game itself never unloads it.
void pack_unload();
