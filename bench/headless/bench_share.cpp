// Sharing a game: how fast a replay becomes a video or a GIF, and how big they are.
// The replay is a game of the runner's built-in player, saved through the game's save menu.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "game/game.h"
#include "headless/replay_check.h"
#include "headless/share.h"
#include "scratch.h"
#include "support/saved_game.h"

namespace fs = std::filesystem;

namespace {

void share(benchmark::State& state, const char* out_name, bool video, int64_t seconds, int32_t scale = 2) {
  Scratch scratch;
  std::string error;
  if (!scratch.ok || !save_game_replay(scratch.dir.string(), "", &error)) {
    state.SkipWithError(scratch.ok ? error.c_str() : "ROMDATA.BIN is not built");
    return;
  }
  ShareOptions o;
  o.dir = scratch.dir.string();
  o.replay_file = (scratch.dir / "PIXBRK01.REP").string();
  const std::string out = (scratch.dir / out_name).string();
  (video ? o.video_file : o.gif_file) = out;
  o.scale = scale;
  ReplayHeader header;
  if (!read_replay_header(o.replay_file, &header, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  o.to.set = true;
  o.to.seconds = static_cast<double>(seconds);
  const int64_t clip = std::min<int64_t>(seconds * 60, header.frames);
  state.SetLabel(std::to_string(clip) + " frames of a " + replay_length_text(header.frames) + " game");
  // CPU time of the whole process, every thread (the encoders' too).
  const auto cpu_s = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  int64_t frames = 0;
  double cpu = 0;
  for (auto _ : state) {
    const double before = cpu_s();
    if (share_replay(o, &error) != 0) {
      state.SkipWithError(error.c_str());
      return;
    }
    cpu += cpu_s() - before;
    frames += clip;
  }
  state.counters["cpu_s_per_clip"] = cpu / static_cast<double>(state.iterations());
  state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["x_real_time"] =
      benchmark::Counter(static_cast<double>(frames) / 60.0, benchmark::Counter::kIsRate);
  state.counters["bytes"] = static_cast<double>(fs::file_size(out));
}

// The goal: an .mp4 at 2x at least 10 times faster than the game plays. 30 s of a game.
void BM_ShareMp4(benchmark::State& state) { share(state, "game.mp4", true, 30); }
BENCHMARK(BM_ShareMp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ShareWebm(benchmark::State& state) { share(state, "game.webm", true, 30); }
BENCHMARK(BM_ShareWebm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_ShareMkv(benchmark::State& state) { share(state, "game.mkv", true, 30); }
BENCHMARK(BM_ShareMkv)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A 10-second GIF at 1x and 2x: its size is the figure to watch.
void BM_ShareGif10s(benchmark::State& state) {
  share(state, "game.gif", false, 10, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_ShareGif10s)->Arg(1)->Arg(2)->ArgNames({"scale"})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
