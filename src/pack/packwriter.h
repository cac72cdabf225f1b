// Writes resource pack images and the CHR and PCM entries inside them.
// Used by the pack tool and by tests that make their own packs.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct PackEntry {
  std::string name;           // at most 15 characters
  std::vector<uint8_t> data;  // entry bytes, stored as they are
};

// The whole ROMDATA.BIN image: count (little-endian), masked name table, sized records.
std::vector<uint8_t> pack_image(std::span<const PackEntry> entries);

// A CHR picture entry: "KR", width-1, height-1, 256 palette entries, row-major pixels.
// width and height are 1..256; pixels.size() must be width*height.
std::vector<uint8_t> chr_entry(int width, int height, std::span<const uint32_t, 256> palette,
                               std::span<const uint8_t> pixels);

// A PCM effect entry: "EFF\0", big-endian byte length, 16-bit little-endian mono samples.
std::vector<uint8_t> pcm_entry(std::span<const int16_t> samples);

