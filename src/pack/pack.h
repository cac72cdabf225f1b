// ROMDATA.BIN: the read-only resource pack, loaded once and searched by name.
#pragma once
#include <cstdint>

// Reads the whole pack into memory. 0 on success, -1 on failure (already logged).
int loadbin(const char* path);

// Read-only pointer to the entry's bytes and its size, or null (size left unchanged).
const uint8_t* findbin(const char* name, uint32_t* size);

// Number of entries loaded (0 before loadbin).
int32_t pack_count();

// Forgets the loaded pack so a test can load another one. The game itself never unloads it.
void pack_unload();
