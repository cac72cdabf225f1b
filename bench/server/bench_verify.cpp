// How fast the server plays a replay (Verifier::verify, whatever it does today), against the
// replay check that `pixbrk-headless --verify` runs, in this process and as a command. The
// replay is a game of the runner's built-in player. Goal: at least 5,000 times real time per
// worker (a 10-minute game in under 0.12 s), at least 1.5 times `--verify`.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "headless/headless.h"
#include "server/verify.h"
#include "support/child.h"
#include "support/server.h"

namespace fs = std::filesystem;

namespace {

constexpr double kFramesPerSecond = 60;

struct Game {
  std::string bytes;
  fs::path dir;  // holds ROMDATA.BIN and the replay as game.rep
  uint32_t frames = 0;
  std::string error;
  Game() {
    bytes = record_replay("", &error);
    if (bytes.empty()) return;
    dir = fs::temp_directory_path() / ("pixbrk-bench-verify-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(built_program("ROMDATA.BIN"), dir / "ROMDATA.BIN", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "game.rep", std::ios::binary) << bytes;
    ReplayHeader h;
    std::string why;
    parse_replay_header(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &h, &why);
    frames = h.frames;
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

void report(benchmark::State& state, int64_t played) {
  state.counters["times_real_time"] =
      benchmark::Counter(static_cast<double>(played) / kFramesPerSecond, benchmark::Counter::kIsRate);
  state.SetLabel(std::to_string(game().frames) + " play frames (" + replay_length_text(game().frames) + ")");
}

void BM_ServerVerify(benchmark::State& state) {
  if (game().bytes.empty()) return state.SkipWithError(game().error.c_str());
  std::string error;
  const auto verifier = Verifier::open(built_program("ROMDATA.BIN"), game().dir.string(), &error);
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
BENCHMARK(BM_ServerVerify)->Unit(benchmark::kMillisecond)->MinTime(3);

// What `pixbrk-headless --verify` calls, in this process.
void BM_HeadlessVerify(benchmark::State& state) {
  if (game().bytes.empty()) return state.SkipWithError(game().error.c_str());
  int64_t played = 0;
  for (auto _ : state) {
    ReplayCheck c;
    if (verify_replay((game().dir / "game.rep").string(), game().dir.string(), &c) != 0)
      return state.SkipWithError(c.message.c_str());
    played += game().frames;
  }
  report(state, played);
}
BENCHMARK(BM_HeadlessVerify)->Unit(benchmark::kMillisecond)->MinTime(3);

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
