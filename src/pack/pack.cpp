#include "pack/pack.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pack/files.h"
#include "pack/log.h"
#include "pack/per_thread.h"

namespace {
struct DirEntry {
  char name[16];  // decoded, zero-terminated
  uint32_t size;
  uint8_t* data;  // owned, exactly size bytes (at least one byte allocated)
};

PER_THREAD int32_t entry_count = 0;
PER_THREAD DirEntry* directory = nullptr;
PER_THREAD uint64_t bytes_held = 0;  // during the latest loadbin
PER_THREAD uint64_t bytes_peak = 0;

void hold_bytes(uint64_t n) {
  bytes_held += n;
  if (bytes_held > bytes_peak) bytes_peak = bytes_held;
}

// What a pack is read from: a file (closed on every way out) or bytes in memory.
struct Source {
  std::FILE* file = nullptr;
  const uint8_t* bytes = nullptr;
  size_t size = 0, at = 0;
  ~Source() {
    if (file != nullptr) std::fclose(file);
  }
  // Reads up to n bytes; returns how many there were.
  size_t read(void* out, size_t n) {
    if (file != nullptr) return std::fread(out, 1, n, file);
    const size_t got = n < size - at ? n : size - at;
    if (got > 0) std::memcpy(out, bytes + at, got);
    at += got;
    return got;
  }
  // Bytes from here to the end, or -1 if that cannot be measured.
  int64_t left() const {
    if (file == nullptr) return static_cast<int64_t>(size - at);
    return file_left(file);
  }
  static int64_t file_left(std::FILE* f) {
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
};

// The system's own code for why the file could not be opened: on Windows that is the code the
// system call gave, not the C library's translation of it.
int open_error() {
#if defined(_WIN32)
  return static_cast<int>(_doserrno);
#else
  return errno;
#endif
}

// A failure: its line in the log, the same words in *why, and nothing of the pack kept.
int fail(Status* why, int line, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int fail(Status* why, int line, const char* fmt, ...) {
  char message[sizeof(Status{}.message)];
  std::va_list args;
  va_start(args, fmt);
  std::vsnprintf(message, sizeof message, fmt, args);
  va_end(args);
  putlog(putlog_source(), line, "%s", message);
  pack_unload();
  return status_fail(why, -1, "%s", message);
}

// A failed load leaves the pack empty and gives back what it had allocated, so a failure can
// never leave a half-filled directory behind for a later lookup.
int load(Source& in, const char* path, Status* why) {
  uint8_t head[4];
  if (in.read(head, 4) != 4) return fail(why, 953, "File broken: %s", path);
  const auto count = static_cast<int32_t>(static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
                                          static_cast<uint32_t>(head[2]) << 16 | static_cast<uint32_t>(head[3]) << 24);

  // The name table must fit in what is left of the file: a count the file cannot hold fails
  // where its name table would run out, before anything is allocated for it. A negative count
  // (read as a count of 2^31 and more, it needs at least 32 GiB of names) is such a count: the
  // file is broken, not the memory short.
  int64_t left = in.left();
  if (left < 0 || count < 0 || static_cast<int64_t>(count) * 16 > left) {
    // The whole fields that are there are still read in order, so an unterminated name among
    // them is reported as such, as it would be when the table is read field by field.
    char field[16];
    for (int64_t i = 0; left > 0 && i < left / 16 && in.read(field, 16) == 16; ++i) {
      if (std::memchr(field, 0, sizeof field) == nullptr) return fail(why, 975, "File broken: %s", path);
    }
    return fail(why, 969, "File broken: %s", path);
  }
  left -= static_cast<int64_t>(count) * 16;

  errno = 0;
  directory = static_cast<DirEntry*>(std::calloc(count > 0 ? static_cast<size_t>(count) : 1, sizeof(DirEntry)));
  if (directory == nullptr) return fail(why, 960, "No memory. (%d)", errno);
  hold_bytes(uint64_t{sizeof(DirEntry)} * static_cast<uint64_t>(count > 0 ? count : 1));
  entry_count = count;

  for (int32_t i = 0; i < count; ++i) {
    char* name = directory[i].name;
    if (in.read(name, 16) != 16) return fail(why, 969, "File broken: %s", path);
    for (int j = 0;; ++j) {
      if (name[j] == 0) break;
      if (j == 15) return fail(why, 975, "File broken: %s", path);
      name[j] = static_cast<char>(name[j] ^ 0x5C);
    }
  }

  for (int32_t i = 0; i < count; ++i) {
    uint8_t sz[4];
    if (in.read(sz, 4) != 4) return fail(why, 986, "File broken: %s", path);
    left -= 4;
    const uint32_t size = static_cast<uint32_t>(sz[0]) << 24 | static_cast<uint32_t>(sz[1]) << 16 |
                          static_cast<uint32_t>(sz[2]) << 8 | static_cast<uint32_t>(sz[3]);
    // A size beyond the end of the file fails where its read would come up short, before
    // the buffer is allocated.
    if (static_cast<int64_t>(size) > left) return fail(why, 1003, "File broken: %s", path);
    left -= size;
    errno = 0;
    auto* data = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (data == nullptr) return fail(why, 998, "No memory. (%d)", errno);
    hold_bytes(size > 0 ? size : 1);
    directory[i].data = data;
    directory[i].size = size;
    if (in.read(data, size) != size) return fail(why, 1003, "File broken: %s", path);
  }
  return 0;
}

// What every load does first: forget the old pack, say which one is read.
void begin(const char* path) {
  pack_unload();
  bytes_held = bytes_peak = 0;
  putlog(putlog_source(), 943, "Load binary file: %s", path);
}
}  // namespace

int loadbin(const char* path, Status* why) {
  if (path == nullptr) path = "";
  begin(path);
  errno = 0;
#if defined(_WIN32)
  _doserrno = 0;
#endif
  Source in;
  char where[FILES_PATH_MAX];
  const char* file = files_path(path, where);
  in.file = file != nullptr ? std::fopen(file, "rb") : nullptr;
  if (in.file == nullptr) return fail(why, 947, "Could not open: %s (%d)", path, open_error());
  return load(in, path, why);
}

int loadbin_bytes(const uint8_t* data, size_t size, const char* name, Status* why) {
  begin(name);
  Source in;
  in.bytes = data;
  in.size = data != nullptr ? size : 0;
  return load(in, name, why);
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
