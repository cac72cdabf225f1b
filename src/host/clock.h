// The host's monotonic clock and its sleep.
#pragma once
#include <cstdint>

// The monotonic clock in nanoseconds.
int64_t host_now_ns();

// Sleeps until deadline_ns on the monotonic clock (returns at once if it has passed). The
// thread sleeps the whole wait, never spinning: on Linux to the absolute deadline with the
// thread's timer slack lowered (typically within 0.1 ms of it), on Windows on a
// high-resolution waitable timer where the system has one, else in 1 ms steps of a 1 ms system
// timer (then up to about 2 ms late). A late wake-up never adds up: callers sleep to points of
// an absolute schedule.
void host_sleep_until_ns(int64_t deadline_ns);
