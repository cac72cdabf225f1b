// How fast the server plays a replay (Verifier::verify), on one worker thread and on two at
// once, against `pixbrk-headless --verify` as a command (its check in the runner's own process
// is bench_headless's BM_HeadlessVerify). The replay is a game of the runner's built-in player.
// Goal: at least 5,000 times real time per worker (a 10-minute game in under 0.12 s), at least
// 1.5 times `--verify`.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "game/replay.h"
#include "server/verify.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

constexpr double kFramesPerSecond = 60;

std::string built_program(const std::string& name) { return (fs::path(PIXBRK_BUILD_DIR) / name).string(); }

struct Game {
  std::string bytes;
  fs::path dir;  // holds ROMDATA.BIN and the replay as game.rep
  uint32_t frames = 0;
  std::string error;
  Game() {
    dir = fs::temp_directory_path() / ("pixbrk-bench-verify-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(built_program("ROMDATA.BIN"), dir / "ROMDATA.BIN", fs::copy_options::overwrite_existing);
    if (run_program({built_program("record_game"), (dir / "game.rep").string()}, {}) != 0) {
      error = "record_game failed";
      return;
    }
    std::ifstream in(dir / "game.rep", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.size() >= REPLAY_HEADER_BYTES) frames = replay_header_get(reinterpret_cast<const uint8_t*>(bytes.data())).frames;
  }
  ~Game() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
};

const Game& game() {
  static const Game g;
  return g;
}

// Times real time, summed over the threads (each worker's own: the Time column, per replay).
void report(benchmark::State& state, int64_t played) {
  state.counters["times_real_time"] =
      benchmark::Counter(static_cast<double>(played) / kFramesPerSecond, benchmark::Counter::kIsRate);
  state.SetLabel(std::to_string(game().frames) + " play frames");
}

void BM_ServerVerify(benchmark::State& state) {
  if (game().bytes.empty()) return state.SkipWithError(game().error.c_str());
  std::string error;
  static const auto verifier = Verifier::open(built_program("ROMDATA.BIN"), &error);
  if (!verifier) return state.SkipWithError(error.c_str());
  int64_t played = 0;
  for (auto _ : state) {
    Verdict v;
    if (!verifier->verify(game().bytes, std::chrono::seconds(60), &v, &error) || v.kind != VerdictKind::Verified)
      return state.SkipWithError(("not verified: " + v.reason + error).c_str());
    played += game().frames;
  }
  report(state, played);
}
// One worker, then two verifying two replays at once (each thread its own game).
BENCHMARK(BM_ServerVerify)->Unit(benchmark::kMillisecond)->MinTime(3)->Threads(1)->Threads(2)->UseRealTime();

// The command itself: process start, the pack loaded, the playback.
void BM_HeadlessVerifyCommand(benchmark::State& state) {
  if (game().bytes.empty()) return state.SkipWithError(game().error.c_str());
  int64_t played = 0;
  for (auto _ : state) {
    if (run_program({built_program("pixbrk-headless"), "--dir", game().dir.string(), "--replay",
                     (game().dir / "game.rep").string(), "--verify"},
                    {}) != 0)
      return state.SkipWithError("pixbrk-headless --verify failed");
    played += game().frames;
  }
  report(state, played);
}
BENCHMARK(BM_HeadlessVerifyCommand)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
