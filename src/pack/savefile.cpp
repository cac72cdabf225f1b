#include "pack/savefile.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Pushes what the C library has handed to the system down to the disk.
bool sync_to_disk(std::FILE* f) {
#if defined(_WIN32)
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

bool write_all(std::FILE* f, const uint8_t* p, size_t n) {
  return n == 0 || std::fwrite(p, 1, n, f) == n;
}

}  // namespace

int save_file(const char* path, const uint8_t* first, size_t first_len, const uint8_t* second,
              size_t second_len) {
  // The temporary file sits in the same directory, so the rename never crosses file systems.
  const std::string temp = std::string(path) + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return -1;
  bool ok = write_all(f, first, first_len) && write_all(f, second, second_len);
  ok = ok && std::fflush(f) == 0 && sync_to_disk(f);
  ok = (std::fclose(f) == 0) && ok;
  std::error_code ec;
  if (ok) {
    // Replaces an existing file in one step, on Windows as well.
    std::filesystem::rename(temp, path, ec);
    if (!ec) return 0;
  }
  std::filesystem::remove(temp, ec);
  return -1;
}
