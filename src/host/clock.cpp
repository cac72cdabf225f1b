#include "host/clock.h"

#include <chrono>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#elif !defined(__EMSCRIPTEN__)
#include <cerrno>
#include <ctime>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#endif

// The standard steady clock: CLOCK_MONOTONIC on Linux and in the browser, the performance
// counter on Windows.
int64_t host_now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

#if defined(_WIN32)

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

void host_sleep_until_ns(int64_t deadline_ns) {
  // The calling thread's high-resolution timer, or null where the system has none (before
  // Windows 10 1803); the system timer then runs at 1 ms for the rest of the process.
  thread_local const HANDLE timer = [] {
    HANDLE t = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (t == nullptr) {
      static const bool fine = timeBeginPeriod(1) == TIMERR_NOERROR;
      (void)fine;
    }
    return t;
  }();
  for (;;) {
    const int64_t wait_ns = deadline_ns - host_now_ns();
    if (wait_ns <= 0) return;
    if (timer != nullptr) {
      LARGE_INTEGER due{};
      due.QuadPart = -((wait_ns + 99) / 100);  // relative, in 100 ns units
      if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
          WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0) {
        continue;
      }
    }
    Sleep(static_cast<DWORD>(wait_ns < 2000000 ? 1 : wait_ns / 1000000));
  }
}

#elif defined(__EMSCRIPTEN__)

// The browser's main thread never sleeps: its hosts are woken by the display instead.
void host_sleep_until_ns(int64_t) {}

#else

void host_sleep_until_ns(int64_t deadline_ns) {
#if defined(__linux__)
  // A sleeper is woken up to its timer slack (50 us by default) late, so that the kernel can
  // batch wake-ups; the frame loop wants its deadline.
  thread_local const bool slack_lowered = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  (void)slack_lowered;
#endif
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(deadline_ns / 1000000000);
  ts.tv_nsec = static_cast<long>(deadline_ns % 1000000000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    // interrupted by a signal: sleep on towards the same moment
  }
}

#endif
