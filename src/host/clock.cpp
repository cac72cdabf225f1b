#include "host/clock.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten.h>
#else
#include <cerrno>
#include <ctime>
#endif

namespace {

[[maybe_unused]] constexpr int64_t NS_PER_S = 1000000000;  // not needed by the browser's clock

}  // namespace

#if defined(_WIN32)

namespace {

int64_t counter_rate() {
  static const int64_t rate = [] {
    LARGE_INTEGER r{};
    QueryPerformanceFrequency(&r);
    return r.QuadPart > 0 ? static_cast<int64_t>(r.QuadPart) : 1;
  }();
  return rate;
}

}  // namespace

int64_t host_now_ns() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const int64_t ticks = now.QuadPart;
  const int64_t rate = counter_rate();
  return ticks / rate * NS_PER_S + ticks % rate * NS_PER_S / rate;
}

// Sleeps for the coarse part of the wait (the system timer runs at 1 ms resolution while the
// game runs) and yields through the last millisecond, so each frame starts on time.
void host_sleep_until_ns(int64_t deadline_ns) {
  const int64_t wait_ns = deadline_ns - host_now_ns();
  if (wait_ns <= 0) return;
  if (wait_ns > 2000000) Sleep(static_cast<DWORD>((wait_ns - 1500000) / 1000000));
  while (host_now_ns() < deadline_ns) Sleep(0);
}

#elif defined(__EMSCRIPTEN__)

int64_t host_now_ns() { return static_cast<int64_t>(emscripten_get_now() * 1e6); }

// The browser's main thread never sleeps: its hosts are woken by the display instead.
void host_sleep_until_ns(int64_t) {}

#else

int64_t host_now_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * NS_PER_S + ts.tv_nsec;
}

void host_sleep_until_ns(int64_t deadline_ns) {
  // The kernel wakes a sleeper up to about a millisecond late; the last stretch is spun.
  constexpr int64_t SPIN_NS = 1200000;
  const int64_t sleep_until = deadline_ns - SPIN_NS;
  if (host_now_ns() < sleep_until) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(sleep_until / NS_PER_S);
    ts.tv_nsec = static_cast<long>(sleep_until % NS_PER_S);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
      // interrupted by a signal: sleep on towards the same moment
    }
  }
  while (host_now_ns() < deadline_ns) {
  }
}

#endif
