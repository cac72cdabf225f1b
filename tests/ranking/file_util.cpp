#include "file_util.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "game/replay.h"

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return {};
  std::vector<uint8_t> bytes(size);
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

int temp_files_beside(const std::string& path) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) {
    const std::string name = e.path().filename().string();
    n += name.size() > path.size() + 4 && name.rfind(path + ".", 0) == 0 && name.ends_with(".tmp");
  }
  return n;
}

void put_entry(std::vector<uint8_t>& file, int entry, const char* date16, uint32_t score) {
  std::memcpy(file.data() + 20 * entry, date16, 16);
  put_le32(file.data() + 20 * entry + 16, score);
}

std::vector<uint8_t> replay_file(const char* date16, uint32_t frames, uint32_t score, uint32_t records_present,
                                 uint8_t guide, uint8_t floor) {
  std::vector<uint8_t> f(32 + 12 * static_cast<size_t>(records_present));
  std::memcpy(f.data(), date16, 16);
  put_le32(f.data() + 16, frames);
  put_le32(f.data() + 20, score);
  f[24] = guide;
  f[25] = floor;
  for (size_t i = 32; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7 + 1);
  return f;
}
