// Reading and writing the loose files the pack is built from: indexed PNG pictures and
// 16-bit mono WAV sounds. Every failure comes back as a message naming the file.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kSampleRate = 22050;

// A palette picture as the pack stores it. Palette entries are the pack's 32-bit values
// (0xXXRRGGBB); `palette_count` is how many of them the file defined (the rest are 0).
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // row-major, one palette index per byte
  std::array<uint32_t, 256> palette{};
  int palette_count = 0;
};

// Reads an indexed (palette) PNG of at most 256 x 256 pixels whose pixels all use colours the
// palette defines. Returns "" on success, otherwise "<path>: <problem>".
std::string read_indexed_png(const std::string& path, IndexedImage& out);

// Writes an 8-bit indexed PNG with all 256 palette entries. Returns "" or an error message.
std::string write_indexed_png(const std::string& path, const IndexedImage& img);

// Reads a WAV file that holds 16-bit mono linear PCM at 22,050 Hz.
std::string read_wav(const std::string& path, std::vector<int16_t>& samples);

// Writes 16-bit mono 22,050 Hz linear PCM as a WAV file.
std::string write_wav(const std::string& path, const std::vector<int16_t>& samples);

// Whole file into memory / out of memory. Return "" or an error message naming the path. Only
// plain files are read (never a folder or a device); writing puts the file in place when
// complete (pack/savefile.h), as every writer here does.
std::string read_whole_file(const std::string& path, std::vector<uint8_t>& bytes);
std::string read_text_file(const std::string& path, std::string& text);
std::string write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes);
