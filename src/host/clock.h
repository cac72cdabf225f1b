// The host's monotonic clock and its sleep.
#pragma once
#include <cstdint>

// The monotonic clock in nanoseconds.
int64_t host_now_ns();

// Sleeps until deadline_ns on the monotonic clock (returns at once if it has passed).
void host_sleep_until_ns(int64_t deadline_ns);
