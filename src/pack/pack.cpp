#include "pack/pack.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pack/log.h"

namespace {
struct DirEntry {
  char name[16];  // decoded, zero-terminated
  uint32_t size;
  uint8_t* data;  // owned, exactly size bytes (at least one byte allocated)
};

int32_t entry_count = 0;
DirEntry* directory = nullptr;
uint64_t bytes_held = 0;  // during the latest loadbin
uint64_t bytes_peak = 0;

void hold_bytes(uint64_t n) {
  bytes_held += n;
  if (bytes_held > bytes_peak) bytes_peak = bytes_held;
}

// Closes the pack file on every way out of loadbin.
struct FileCloser {
  std::FILE* f;
  ~FileCloser() {
    if (f != nullptr) std::fclose(f);
  }
};

// Bytes from the current position to the end of the file, or -1 if the file cannot be measured.
int64_t bytes_left(std::FILE* f) {
#if defined(_WIN32)
  const int64_t here = _ftelli64(f);
  if (here < 0 || _fseeki64(f, 0, SEEK_END) != 0) return -1;
  const int64_t end = _ftelli64(f);
  if (_fseeki64(f, here, SEEK_SET) != 0) return -1;
#else
  const int64_t here = ftello(f);
  if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return -1;
  const int64_t end = ftello(f);
  if (fseeko(f, here, SEEK_SET) != 0) return -1;
#endif
  return end < here ? -1 : end - here;
}

// The system's own code for why the file could not be opened: on Windows that is the code the
// system call gave, not the C library's translation of it.
int open_error() {
#if defined(_WIN32)
  return static_cast<int>(_doserrno);
#else
  return errno;
#endif
}

int fail_broken(const char* path, int line) {
  putlog(putlog_source(), line, "File broken: %s", path);
  pack_unload();
  return -1;
}

int fail_memory(int line) {
  putlog(putlog_source(), line, "No memory. (%d)", errno);
  pack_unload();
  return -1;
}
}  // namespace

// A failed load leaves the pack empty and gives back what it had allocated, so a failure can
// never leave a half-filled directory behind for a later lookup.
int loadbin(const char* path) {
  pack_unload();
  bytes_held = bytes_peak = 0;
  if (path == nullptr) path = "";
  putlog(putlog_source(), 943, "Load binary file: %s", path);
  errno = 0;
#if defined(_WIN32)
  _doserrno = 0;
#endif
  FileCloser file{std::fopen(path, "rb")};
  if (file.f == nullptr) {
    putlog(putlog_source(), 947, "Could not open: %s (%d)", path, open_error());
    return -1;
  }

  uint8_t head[4];
  if (std::fread(head, 1, 4, file.f) != 4) return fail_broken(path, 953);
  const auto count = static_cast<int32_t>(static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
                                          static_cast<uint32_t>(head[2]) << 16 | static_cast<uint32_t>(head[3]) << 24);

  // The name table must fit in what is left of the file: a count the file cannot hold fails
  // where its name table would run out, before anything is allocated for it. A negative count
  // (read as a count of 2^31 and more, it needs at least 32 GiB of names) is such a count: the
  // file is broken, not the memory short.
  int64_t left = bytes_left(file.f);
  if (left < 0 || count < 0 || static_cast<int64_t>(count) * 16 > left) {
    // The whole fields that are there are still read in order, so an unterminated name among
    // them is reported as such, as it would be when the table is read field by field.
    char field[16];
    for (int64_t i = 0; left > 0 && i < left / 16 && std::fread(field, 1, 16, file.f) == 16; ++i) {
      if (std::memchr(field, 0, sizeof field) == nullptr) return fail_broken(path, 975);
    }
    return fail_broken(path, 969);
  }
  left -= static_cast<int64_t>(count) * 16;

  errno = 0;
  directory = static_cast<DirEntry*>(std::calloc(count > 0 ? static_cast<size_t>(count) : 1, sizeof(DirEntry)));
  if (directory == nullptr) return fail_memory(960);
  hold_bytes(uint64_t{sizeof(DirEntry)} * static_cast<uint64_t>(count > 0 ? count : 1));
  entry_count = count;

  for (int32_t i = 0; i < count; ++i) {
    char* name = directory[i].name;
    if (std::fread(name, 1, 16, file.f) != 16) return fail_broken(path, 969);
    for (int j = 0;; ++j) {
      if (name[j] == 0) break;
      if (j == 15) return fail_broken(path, 975);
      name[j] = static_cast<char>(name[j] ^ 0x5C);
    }
  }

  for (int32_t i = 0; i < count; ++i) {
    uint8_t sz[4];
    if (std::fread(sz, 1, 4, file.f) != 4) return fail_broken(path, 986);
    left -= 4;
    const uint32_t size = static_cast<uint32_t>(sz[0]) << 24 | static_cast<uint32_t>(sz[1]) << 16 |
                          static_cast<uint32_t>(sz[2]) << 8 | static_cast<uint32_t>(sz[3]);
    // A size beyond the end of the file fails where its read would come up short, before
    // the buffer is allocated.
    if (static_cast<int64_t>(size) > left) return fail_broken(path, 1003);
    left -= size;
    errno = 0;
    auto* data = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (data == nullptr) return fail_memory(998);
    hold_bytes(size > 0 ? size : 1);
    directory[i].data = data;
    directory[i].size = size;
    if (std::fread(data, 1, size, file.f) != size) return fail_broken(path, 1003);
  }
  return 0;
}

const uint8_t* findbin(const char* name, uint32_t* size) {
  if (name == nullptr) return nullptr;
  for (int32_t i = 0; i < entry_count; ++i) {
    if (std::strcmp(directory[i].name, name) == 0) {
      if (size != nullptr) *size = directory[i].size;
      return directory[i].data;
    }
  }
  return nullptr;
}

int32_t pack_count() { return entry_count; }

uint64_t pack_peak_bytes() { return bytes_peak; }

void pack_unload() {
  if (directory != nullptr) {
    for (int32_t i = 0; i < entry_count; ++i) std::free(directory[i].data);
    std::free(directory);
  }
  directory = nullptr;
  entry_count = 0;
}
