#include "pack/packwriter.h"

#include <stdexcept>

namespace {
void put_be32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
}  // namespace

std::vector<uint8_t> pack_image(std::span<const PackEntry> entries) {
  std::vector<uint8_t> out;
  const auto n = static_cast<uint32_t>(entries.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
  for (const PackEntry& e : entries) {
    if (e.name.size() > 15) throw std::invalid_argument("pack entry name longer than 15: " + e.name);
    uint8_t field[16] = {};
    for (size_t j = 0; j < e.name.size(); ++j) field[j] = static_cast<uint8_t>(e.name[j] ^ 0x5C);
    out.insert(out.end(), field, field + 16);
  }
  for (const PackEntry& e : entries) {
    put_be32(out, static_cast<uint32_t>(e.data.size()));
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  return out;
}

std::vector<uint8_t> chr_entry(int width, int height, std::span<const uint32_t, 256> palette,
                               std::span<const uint8_t> pixels) {
  if (width < 1 || width > 256 || height < 1 || height > 256)
    throw std::invalid_argument("picture size out of 1..256");
  if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
    throw std::invalid_argument("pixel count does not match the picture size");
  std::vector<uint8_t> out{'K', 'R', static_cast<uint8_t>(width - 1), static_cast<uint8_t>(height - 1)};
  for (uint32_t c : palette)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(c >> (8 * i)));
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

std::vector<uint8_t> pcm_entry(std::span<const int16_t> samples) {
  std::vector<uint8_t> out{'E', 'F', 'F', 0};
  put_be32(out, static_cast<uint32_t>(samples.size() * 2));
  for (int16_t s : samples) {
    const auto u = static_cast<uint16_t>(s);
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}
