#include "pack/wav.h"

#include <cerrno>
#include <cstring>

namespace {
void put_le(uint8_t* p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool write(std::FILE* f, const void* p, size_t n, std::string* why) {
  if (std::fwrite(p, 1, n, f) == n) return true;
  *why = std::strerror(errno != 0 ? errno : EIO);
  return false;
}
}  // namespace

void wav_header(uint8_t (&h)[WAV_HEADER_BYTES], uint32_t data_bytes) {
  std::memcpy(h, "RIFF", 4);
  put_le(h + 4, 36 + data_bytes, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le(h + 16, 16, 4);  // the size of the format
  put_le(h + 20, 1, 2);   // linear PCM
  put_le(h + 22, 1, 2);   // mono
  put_le(h + 24, WAV_RATE, 4);
  put_le(h + 28, WAV_RATE * 2, 4);
  put_le(h + 32, 2, 2);   // bytes a sample
  put_le(h + 34, 16, 2);  // bits a sample
  std::memcpy(h + 36, "data", 4);
  put_le(h + 40, data_bytes, 4);
}

bool WavStream::open(const std::string& path, std::string* why) {
  uint8_t h[WAV_HEADER_BYTES];
  wav_header(h, 0);
  data_bytes_ = 0;
  return out_.open(path, why) && write(out_.file(), h, sizeof h, why);
}

bool WavStream::add(const uint8_t* samples, size_t bytes, std::string* why) {
  data_bytes_ += static_cast<uint32_t>(bytes);
  return write(out_.file(), samples, bytes, why);
}

bool WavStream::commit(std::string* why) {
  uint8_t h[WAV_HEADER_BYTES];
  wav_header(h, data_bytes_);
  if (std::fseek(out_.file(), 0, SEEK_SET) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  return write(out_.file(), h, sizeof h, why) && out_.commit(why);
}
