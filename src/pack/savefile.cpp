#include "pack/savefile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

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

std::string system_message(int code) { return std::generic_category().message(code); }

// "PATH.k3x9qa.tmp": six letters and digits drawn afresh for every attempt.
std::string temp_candidate(const std::string& path) {
  static std::atomic<uint64_t> attempts{0};
  thread_local std::mt19937_64 rng = [] {
    uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
      std::random_device device;
      seed ^= (static_cast<uint64_t>(device()) << 32) ^ device();
    } catch (...) {
      // The clock alone: the name is still created exclusively, only easier to guess.
    }
    return std::mt19937_64(seed);
  }();
  uint64_t bits = rng() ^ attempts.fetch_add(1) * 0x9E3779B97F4A7C15ull;
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = path + ".";
  for (int i = 0; i < 6; ++i, bits /= 36) name += kAlphabet[bits % 36];
  return name + ".tmp";
}

#if defined(_WIN32)
// A C stream on a handle that was opened; the handle is closed when that fails.
std::FILE* stream_of(HANDLE h, int flags, const char* mode) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (f == nullptr) _close(fd);
  return f;
}
#else
std::FILE* stream_of(int fd, const char* mode) {
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, mode);
  if (f == nullptr) ::close(fd);
  return f;
}
#endif

// Creates `name` for writing only if nothing, not even a link, is there yet. Null with errno.
std::FILE* create_new(const std::string& name) {
#if defined(_WIN32)
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
  return stream_of(h, _O_WRONLY | _O_BINARY, "wb");
#else
  // O_EXCL with O_CREAT never follows a link: a link of that name fails as an existing file.
  return stream_of(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666), "wb");
#endif
}

// "is a folder" or "is a device, not a file" for what `s` describes, "" for a plain file.
std::string kind_problem(fs::file_status s) {
  switch (s.type()) {
    case fs::file_type::regular:
      return "";
    case fs::file_type::directory:
      return "is a folder";
    case fs::file_type::character:
    case fs::file_type::block:
      return "is a device, not a file";
    default:
      return "is not a plain file";
  }
}

}  // namespace

bool SaveStream::open(const std::string& path, std::string* why) {
  discard();
  std::string problem = output_problem(path);
  for (int attempt = 0; problem.empty() && file_ == nullptr; ++attempt) {
    std::string name = temp_candidate(path);
    errno = 0;
    file_ = create_new(name);
    if (file_ != nullptr) {
      path_ = path;
      temp_ = std::move(name);
    } else if (errno != EEXIST || attempt == 99) {
      problem = system_message(errno != 0 ? errno : EIO);
    }
  }
  if (!problem.empty() && why != nullptr) *why = problem;
  return problem.empty();
}

bool SaveStream::commit(std::string* why) {
  if (file_ == nullptr) {
    if (why != nullptr) *why = system_message(EBADF);
    return false;
  }
  errno = 0;
  bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0 && sync_to_disk(file_);
  int code = errno;
  ok = std::fclose(file_) == 0 && ok;
  if (code == 0) code = errno;
  file_ = nullptr;
  std::error_code ec;
  if (ok) {
    // Replaces an existing file (or a link) in one step, on Windows as well.
    fs::rename(temp_, path_, ec);
    if (!ec) {
      temp_.clear();
      return true;
    }
  }
  if (why != nullptr) *why = ec ? ec.message() : system_message(code != 0 ? code : EIO);
  discard();
  return false;
}

void SaveStream::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(temp_, ec);
  }
  temp_.clear();
}

int save_file(const char* path, const uint8_t* first, size_t first_len, const uint8_t* second,
              size_t second_len, Status* why) {
  SaveStream out;
  std::string problem;
  if (out.open(path, &problem)) {
    if (!write_all(out.file(), first, first_len) || !write_all(out.file(), second, second_len))
      problem = system_message(errno != 0 ? errno : EIO);
    else if (out.commit(&problem))
      return 0;
  }
  return status_fail(why, -1, "%s: %s", path, problem.c_str());
}

std::string output_problem(const std::string& path) {
  if (path.empty()) return system_message(ENOENT);
  std::error_code ec;
  const fs::file_status s = fs::status(path, ec);
  if (s.type() != fs::file_type::not_found) {
    if (ec && s.type() == fs::file_type::none) return ec.message();
    return kind_problem(s);  // a plain file (or a link to one) is replaced, never written through
  }
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  const fs::file_status f = fs::status(folder, ec);
  if (f.type() == fs::file_type::not_found) return system_message(ENOENT);
  if (f.type() != fs::file_type::directory) return ec ? ec.message() : system_message(ENOTDIR);
  return "";
}

std::string input_problem(const std::string& path) {
  std::error_code ec;
  const fs::file_status s = fs::status(path, ec);
  if (s.type() == fs::file_type::not_found) return system_message(ENOENT);
  if (ec) return ec.message();
  return kind_problem(s);
}

std::FILE* open_input(const std::string& path, std::string* why) {
  std::string problem = input_problem(path);
  std::FILE* f = nullptr;
  if (problem.empty()) {
    errno = 0;
    f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) problem = system_message(errno != 0 ? errno : EACCES);
  }
  if (f == nullptr && why != nullptr) *why = problem;
  return f;
}

bool read_input(const std::string& path, std::string* out, std::string* why, size_t most) {
  std::FILE* f = open_input(path, why);
  if (f == nullptr) return false;
  out->clear();
  char buf[65536];
  size_t n;
  while (out->size() < most && (n = std::fread(buf, 1, std::min(sizeof buf, most - out->size()), f)) > 0)
    out->append(buf, n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  if (!ok) *why = "read error";
  return ok;
}

std::FILE* open_append_no_link(const char* path) {
#if defined(_WIN32)
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (h != INVALID_HANDLE_VALUE &&
      (GetFileInformationByHandle(h, &info) == 0 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    CloseHandle(h);  // a link (or what cannot be told apart from one)
    return nullptr;
  }
  return stream_of(h, _O_WRONLY | _O_APPEND | _O_TEXT, "a");
#else
  return stream_of(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666), "a");
#endif
}
