// WAV files of the game's sound (16-bit mono linear PCM at 22,050 Hz): the one writer of the
// format, for the pack tool's extracted effects and the runner's recordings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "pack/savefile.h"

constexpr int32_t WAV_RATE = 22050;
constexpr size_t WAV_HEADER_BYTES = 44;

// The header of a file holding `data_bytes` bytes of samples.
void wav_header(uint8_t (&out)[WAV_HEADER_BYTES], uint32_t data_bytes);

// A WAV file written as its samples come (pack/savefile.h: nothing is left under its name
// unless commit() succeeds). Every call returns false with the cause in *why.
class WavStream {
 public:
  bool open(const std::string& path, std::string* why);
  bool add(const uint8_t* samples, size_t bytes, std::string* why);
  bool commit(std::string* why);  // the sizes into the header, then the file into place
  bool is_open() const { return out_.file() != nullptr; }

 private:
  SaveStream out_;
  uint32_t data_bytes_ = 0;
};
