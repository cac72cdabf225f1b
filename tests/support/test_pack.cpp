#include "support/test_pack.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "pack/pack.h"

namespace fs = std::filesystem;

namespace {
PackEntry blank_chr(const char* name, int w, int h) {
  std::array<uint32_t, 256> pal{};
  for (uint32_t i = 0; i < 256; ++i) pal[i] = i * 0x010101u;
  std::vector<uint8_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
  // A visible non-zero pattern so transparent blits draw something.
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(1 + i % 200);
  return {name, chr_entry(w, h, pal, px)};
}

PackEntry tone_pcm(const char* name, int samples) {
  std::vector<int16_t> s(static_cast<size_t>(samples));
  for (int i = 0; i < samples; ++i) s[static_cast<size_t>(i)] = static_cast<int16_t>((i % 50) * 100 - 2500);
  return {name, pcm_entry(s)};
}
}  // namespace

std::vector<PackEntry> synthetic_game_entries() {
  std::vector<PackEntry> e;
  e.push_back(blank_chr("FONT.CHR", 128, 64));
  e.push_back(blank_chr("PIXBRK.CHR", 256, 64));
  e.push_back(blank_chr("TITLE.CHR", 240, 48));
  e.push_back(blank_chr("ALL.CHR", 224, 80));
  for (int i = 0; i <= 12; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "EFF%02d.PCM", i);
    e.push_back(tone_pcm(name, 1000 + 500 * i));
  }
  return e;
}

TempFolder::TempFolder() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("pixbrk-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

TempWorkDir::TempWorkDir() {
  previous_ = fs::current_path().string();
  path_ = folder_.path();
  fs::current_path(path_);
}

TempWorkDir::~TempWorkDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

int load_pack_entries(const std::vector<PackEntry>& entries) {
  if (!write_file("ROMDATA.BIN", pack_image(entries))) return -2;
  pack_unload();
  return loadbin("ROMDATA.BIN");
}

std::string real_pack_path() {
#ifdef PIXBRK_BUILD_DIR
  fs::path p = fs::path(PIXBRK_BUILD_DIR) / "ROMDATA.BIN";
  if (fs::exists(p)) return p.string();
#endif
  return "";
}

bool write_file(const std::string& path, std::span<const uint8_t> bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (std::fclose(f) == 0) && ok;
}
