// Frame pacing of the real game loop: 10 s (after 1 s of start-up) of the title menu in a window on a private Xvfb,
// with every presentation time recorded. Reports the mean and 99th percentile frame interval.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "nox_sdl/host.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "x11_support.h"

namespace {

constexpr int64_t WARMUP_NS = 1LL * 1000000000;  // start-up (shader compilation, first maps) not counted
constexpr int64_t RUN_NS = 10LL * 1000000000;
std::vector<int64_t> presented;

int record_frame(int64_t now_ns) {
  presented.push_back(now_ns);
  return now_ns - presented.front() >= WARMUP_NS + RUN_NS ? 1 : 0;
}

void BM_FramePacing(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path pack = fs::path(PIXBRK_BUILD_DIR) / "ROMDATA.BIN";
  if (!fs::exists(pack)) {
    state.SkipWithError("ROMDATA.BIN has not been built");
    return;
  }
  XvfbServer xvfb;
  if (!xvfb_start(&xvfb)) {
    state.SkipWithError("Xvfb does not start");
    return;
  }
  const fs::path dir = fs::temp_directory_path() / ("pixbrk-pacing-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::copy_file(pack, dir / "ROMDATA.BIN", fs::copy_options::overwrite_existing);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  setenv("DISPLAY", xvfb.display.c_str(), 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);

  std::vector<double> intervals_ms;
  for (auto _ : state) {
    presented.clear();
    presented.reserve(2000);
    host_frame_hook = record_frame;
    const int status = host_main();
    host_frame_hook = nullptr;
    if (status != 0) state.SkipWithError("the game did not run");
    size_t first = 0;
    while (first < presented.size() && presented[first] - presented.front() < WARMUP_NS) ++first;
    for (size_t i = first + 1; i < presented.size(); ++i) {
      intervals_ms.push_back(static_cast<double>(presented[i] - presented[i - 1]) / 1e6);
    }
    if (first < presented.size()) state.SetIterationTime(static_cast<double>(presented.back() - presented[first]) / 1e9);
  }
  fs::current_path(previous);
  fs::remove_all(dir);
  xvfb_stop(&xvfb);
  if (intervals_ms.empty()) return;

  double sum = 0;
  for (double v : intervals_ms) sum += v;
  std::vector<double> sorted = intervals_ms;
  std::sort(sorted.begin(), sorted.end());
  state.counters["frames"] = static_cast<double>(intervals_ms.size() + 1);
  state.counters["mean_ms"] = sum / static_cast<double>(intervals_ms.size());
  state.counters["p50_ms"] = sorted[sorted.size() / 2];
  state.counters["p99_ms"] = sorted[sorted.size() * 99 / 100];
  state.counters["max_ms"] = sorted.back();
  state.counters["fps"] = 1000.0 * static_cast<double>(intervals_ms.size()) / sum;
}
BENCHMARK(BM_FramePacing)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// How closely the timer wait hits its deadline (sleep most of the wait, spin the rest).
void BM_WaitUntilLateness(benchmark::State& state) {
  std::vector<double> late_us;
  for (auto _ : state) {
    const int64_t deadline = host_now_ns() + 10000000;
    host_sleep_until_ns(deadline);
    late_us.push_back(static_cast<double>(host_now_ns() - deadline) / 1e3);
  }
  std::sort(late_us.begin(), late_us.end());
  state.counters["late_p50_us"] = late_us[late_us.size() / 2];
  state.counters["late_p99_us"] = late_us[late_us.size() * 99 / 100];
}
BENCHMARK(BM_WaitUntilLateness)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
