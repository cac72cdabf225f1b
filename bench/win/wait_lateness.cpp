// The Windows frame loop's wait (a high-resolution waitable timer, host_sleep_until_ns): how late
// it wakes after its deadline. Built and run under Wine by bench/win/win_bench.sh.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/clock.h"

int main() {
  std::vector<double> late_us;
  for (int i = 0; i < 300; ++i) {
    const int64_t deadline = host_now_ns() + 10000000;
    host_sleep_until_ns(deadline);
    late_us.push_back(static_cast<double>(host_now_ns() - deadline) / 1e3);
  }
  std::sort(late_us.begin(), late_us.end());
  std::printf("the wait wakes %.0f us (median) and %.0f us (99th percentile) after its deadline (%zu waits of 10 ms)\n",
              late_us[late_us.size() / 2], late_us[late_us.size() * 99 / 100], late_us.size());
  return 0;
}
