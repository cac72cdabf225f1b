// Helpers for tests: synthetic packs and throw-away working directories.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pack/packwriter.h"

// A pack holding all 17 entries the game loads: blank pictures big enough for every source
// rectangle the game uses, and short non-silent effects. Palette entry i is 0x00iiiiii.
std::vector<PackEntry> synthetic_game_entries();

// Writes bytes to a file; false on any failure.
bool write_file(const std::string& path, std::span<const uint8_t> bytes);

// A fresh empty directory under the system temp dir, removed on destruction (the working
// directory stays as it is).
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Creates a fresh empty directory under the system temp dir and makes it the working
// directory; restores the previous one and removes the directory on destruction.
class TempWorkDir {
 public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  TempFolder folder_;
  std::string path_;
  std::string previous_;
};

// Writes `entries` as ROMDATA.BIN into the working directory, unloads any earlier pack and
// loads this one with loadbin. Returns loadbin's result.
int load_pack_entries(const std::vector<PackEntry>& entries);

// Path of the real ROMDATA.BIN built from assets/ (next to the test programs), or "" if absent.
std::string real_pack_path();
