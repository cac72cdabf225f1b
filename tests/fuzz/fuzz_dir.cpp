#include "fuzz_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string scratch;

void remove_scratch() {
  std::error_code ec;
  fs::remove_all(scratch, ec);
}

}  // namespace

void fuzz_enter_scratch_dir() {
  if (!scratch.empty()) return;
  // A memory-backed directory keeps the flushes to disk of every saved file cheap.
  std::error_code ec;
  const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
  scratch = (base / ("pixbrk-fuzz-" + std::to_string(getpid()))).string();
  fs::create_directories(scratch);
  fs::current_path(scratch);
  std::atexit(remove_scratch);
}

void fuzz_write_file(const char* name, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void fuzz_require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}
