#include "pack/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "pack/files.h"
#include "pack/per_thread.h"
#include "pack/savefile.h"

namespace {
// Serialises whole lines: the sound thread logs while the main thread may be logging too.
std::mutex log_lock;
PER_THREAD std::atomic<const char*> log_source{".\\src\\nox_w.cpp"};
constexpr const char* kLogFile = "LOG.TXT";

bool local_time(std::time_t t, std::tm* out) {
#if defined(_WIN32)
  return localtime_s(out, &t) == 0;
#else
  return localtime_r(&t, out) != nullptr;
#endif
}
}  // namespace

void putlog(const char* src, int line, const char* fmt, ...) {
  char path[FILES_PATH_MAX];
  if (files_path(kLogFile, path) == nullptr) return;
  std::lock_guard<std::mutex> hold(log_lock);
  std::FILE* f = open_append_no_link(path);  // never through a link planted there
  if (f == nullptr) return;
  std::tm tm{};
  if (!local_time(std::time(nullptr), &tm)) tm = std::tm{};
  std::fprintf(f, "%04d/%02d/%02d %02d:%02d:%02d ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
               tm.tm_min, tm.tm_sec);
  std::va_list args;
  va_start(args, fmt);
  std::vfprintf(f, fmt, args);
  va_end(args);
  if (src != nullptr)
    std::fprintf(f, " <%s:%d>\n", src, line);
  else
    std::fputs("\n", f);
  std::fclose(f);
}

void putlog_set_source(const char* src) { log_source.store(src, std::memory_order_relaxed); }

const char* putlog_source() { return log_source.load(std::memory_order_relaxed); }

void putlog_restart() {
  char path[FILES_PATH_MAX];
  if (files_path(kLogFile, path) != nullptr) std::remove(path);
}
