// Frames per second of the headless runner: long bot-played sessions without pictures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "headless/replay_check.h"
#include "headless/session.h"
#include "scratch.h"
#include "support/saved_game.h"

namespace fs = std::filesystem;

namespace {

void run_session(benchmark::State& state, HeadlessOptions o) {
  Scratch scratch;
  if (!scratch.ok) {
    state.SkipWithError("ROMDATA.BIN is not built");
    return;
  }
  o.dir = scratch.dir.string();
  int64_t frames = 0;
  for (auto _ : state) {
    HeadlessResult r;
    if (headless_run(o, &r) != 0) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    frames += r.frames;
  }
  state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

// The replay buffer's maximum: 131,072 frames of bot play (games end, the bot starts new ones).
void BM_BotSession131072(benchmark::State& state) {
  HeadlessOptions o;
  o.bot = true;
  o.max_frames = 131072;
  o.compose_every_frame = state.range(0) != 0;
  run_session(state, o);
}
BENCHMARK(BM_BotSession131072)->Arg(0)->Arg(1)->ArgNames({"compose_all"})->Unit(benchmark::kMillisecond)->Iterations(1);

// The same bot play with a trace line for every frame written to a file.
void BM_BotSessionTraced(benchmark::State& state) {
  Scratch out;
  HeadlessOptions o;
  o.bot = true;
  o.max_frames = 16384;
  o.trace_file = (out.dir / "trace.jsonl").string();
  run_session(state, o);
}
BENCHMARK(BM_BotSessionTraced)->Unit(benchmark::kMillisecond)->Iterations(3);

// Title menu idle: the most drawing per frame outside play.
void BM_TitleIdle(benchmark::State& state) {
  HeadlessOptions o;
  o.max_frames = 16384;
  run_session(state, o);
}
BENCHMARK(BM_TitleIdle)->Unit(benchmark::kMillisecond)->Iterations(3);

// `pixbrk-headless --verify`'s check of a bot game, in this process (bench_verify compares the
// server's playback with it).
void BM_HeadlessVerify(benchmark::State& state) {
  Scratch scratch;
  std::string error;
  if (!scratch.ok || !save_game_replay(scratch.dir.string(), "", &error))
    return state.SkipWithError(scratch.ok ? error.c_str() : "ROMDATA.BIN is not built");
  const std::string file = (scratch.dir / "PIXBRK01.REP").string();
  int64_t frames = 0;
  for (auto _ : state) {
    ReplayVerdict v;
    if (verify_replay(file, scratch.dir.string(), &v) != 0) return state.SkipWithError(v.message.c_str());
    frames += v.header.frames;
  }
  state.counters["times_real_time"] = benchmark::Counter(static_cast<double>(frames) / 60, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HeadlessVerify)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
