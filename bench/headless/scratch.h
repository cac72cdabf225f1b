// A scratch working directory for the runner's benchmarks.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// A scratch working directory holding a copy of the freshly built pack. It lives in memory
// where possible, so the score file written after every game does not time the disk.
struct Scratch {
  std::filesystem::path dir;
  bool ok = false;
  Scratch() {
    namespace fs = std::filesystem;
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    dir = base / ("pixbrk-bench-" + std::to_string(std::rand()));
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::copy_file(fs::path(PIXBRK_BUILD_DIR) / "ROMDATA.BIN", dir / "ROMDATA.BIN", ec);
    ok = !ec;
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};
