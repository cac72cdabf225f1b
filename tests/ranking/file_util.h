// Small file helpers for the ranking and replay tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool file_exists(const std::string& path);
// Temporary files a save of `path` (in the working directory) has left beside it.
int temp_files_beside(const std::string& path);

// A 20-byte ranking entry or a 32-byte replay header, little-endian numbers.
void put_entry(std::vector<uint8_t>& file, int entry, const char* date16, uint32_t score);
std::vector<uint8_t> replay_file(const char* date16, uint32_t frames, uint32_t score, uint32_t records_present,
                                 uint8_t guide = 0, uint8_t floor = 0);
