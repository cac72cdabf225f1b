// The cost of one play frame in the busiest state the rules allow: a full particle pool,
// all 40 aliens, 40 items in the air, 32 explosions, a falling bomb, the guide and the floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "engine/screen.h"
#include "game/game.h"
#include "game/play.h"
#include "pack/pack.h"
#include "support/test_pack.h"

namespace {

Game busiest;

bool prepare() {
  static bool ready = false;
  if (ready) return true;
  static TempWorkDir dir;
  const std::string real = real_pack_path();
  if (!real.empty()) {
    pack_unload();
    if (loadbin(real.c_str()) != 0) return false;
  } else if (load_pack_entries(synthetic_game_entries()) != 0) {
    return false;
  }
  if (nox_init() != 0) return false;
  g.round = 3;
  g.opt_guide = 1;
  g.opt_floor = 1;
  g.scene = Scene::RoundSetup;
  nox_frame();
  for (int i = 0; i < PARTICLE_COUNT; ++i) particle_spawn(200, 8 + i % 224, 40 + i % 200, 0, 0);
  for (int i = 0; i < EXPLOSION_COUNT; ++i) explosion_spawn(1 + i % 3, 10 + 6 * i, 120);
  for (int i = 0; i < ITEM_COUNT; ++i) g.items[i] = FallingItem{1, 0, 0, 0, static_cast<int16_t>(8 + 5 * i), 150, 0};
  g.ball_x = 60;
  g.ball_y = 200;
  g.ball_vx = 20;
  g.ball_vy = 30;
  g.paddle_x = 180;  // away from the items, so none is caught
  g.paddle_target_x = 188;
  g.bomb_active = 1;
  g.bomb_x = 20;
  g.bomb_y = 150;
  busiest = g;
  ready = true;
  return true;
}

void BM_PlayFrameBusiest(benchmark::State& state) {
  if (!prepare()) {
    state.SkipWithError("no pack");
    return;
  }
  for (auto _ : state) {
    std::memcpy(&g, &busiest, sizeof g);  // every frame starts from the same busy state
    scene_play();
    benchmark::DoNotOptimize(g.score);
    benchmark::ClobberMemory();
  }
  state.counters["live_particles"] = [] {
    int n = 0;
    for (const Particle& p : busiest.particles) n += p.life != 0;
    return n;
  }();
}
BENCHMARK(BM_PlayFrameBusiest);

// The same state through the whole frame driver: the play frame plus the score and
// statistics lines and the pointer marks.
void BM_NoxFrameBusiest(benchmark::State& state) {
  if (!prepare()) {
    state.SkipWithError("no pack");
    return;
  }
  for (auto _ : state) {
    std::memcpy(&g, &busiest, sizeof g);
    nox_frame();
    benchmark::DoNotOptimize(g.score);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NoxFrameBusiest);

// The title menu's frame, with its composition (argument 1) or without: its picture and
// buttons are drawn on the sprite plane every frame, so every chunk they cover is composed.
void BM_TitleFrame(benchmark::State& state) {
  if (!prepare() || nox_init() != 0) {  // (the busy state above stays kept in `busiest`)
    state.SkipWithError("no pack");
    return;
  }
  static uint32_t out[NOX_W * NOX_H];
  for (int i = 0; i < 30; ++i) {  // past the title's first frames
    nox_frame();
    nox_compose(NOX_W * 4, out);
  }
  for (auto _ : state) {
    nox_frame();
    if (state.range(0) != 0) nox_compose(NOX_W * 4, out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TitleFrame)->Arg(0)->Arg(1)->ArgNames({"composed"});

// The state copy alone, to subtract from the figure above.
void BM_StateCopyOnly(benchmark::State& state) {
  for (auto _ : state) {
    std::memcpy(&g, &busiest, sizeof g);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StateCopyOnly);

}  // namespace

BENCHMARK_MAIN();
