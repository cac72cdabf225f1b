#include "engine_test_util.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "engine/screen.h"
#include "pack/pack.h"

std::vector<std::string> log_lines() {
  std::vector<std::string> out;
  std::ifstream in("LOG.TXT");
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::array<uint32_t, 256> ramp_palette(uint32_t base) {
  std::array<uint32_t, 256> p{};
  for (uint32_t i = 0; i < 256; ++i) p[i] = base + i;
  return p;
}

int load_raw_pack(const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen("ROMDATA.BIN", "wb");
  if (f == nullptr) return -2;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) return -2;
  pack_unload();
  return loadbin("ROMDATA.BIN");
}

std::vector<std::pair<int, int>> lit_pixels(const uint8_t* plane) {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < NOX_W * NOX_H; ++i)
    if (plane[i] != 0) out.emplace_back(i % NOX_W, i / NOX_W);
  return out;
}

void clear_planes() {
  std::memset(nox_bg, 0, sizeof nox_bg);
  std::memset(nox_sp, 0, sizeof nox_sp);
}
