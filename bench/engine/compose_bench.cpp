// Run: build/default/bench_compose --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/screen.h"

#if defined(PIXBRK_BENCH_SDL)
#include <SDL.h>
#endif

namespace {
constexpr int32_t kPitch = NOX_W * 4;
constexpr size_t kFrameBytes = static_cast<size_t>(kPitch) * NOX_H;  // 307,200

// A play-like frame: a full background and a few hundred sprite pixels (aliens, ball, paddle,
// text), redrawn before every composition since composing empties the sprite plane.
std::vector<uint8_t> sprite_frame() {
  std::vector<uint8_t> sp(NOX_W * NOX_H, 0);
  std::mt19937 rng(1);
  for (int k = 0; k < 40; ++k) {  // 40 aliens of 16 x 8
    const int x0 = static_cast<int>(rng() % (NOX_W - 16)), y0 = static_cast<int>(rng() % 200);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) sp[static_cast<size_t>((y0 + y) * NOX_W + x0 + x)] = static_cast<uint8_t>(1 + (x ^ y) % 7);
  }
  for (int x = 0; x < 200; ++x) sp[static_cast<size_t>(312 * NOX_W + 8 + x)] = 15;  // score line
  return sp;
}

void setup_planes() {
  std::mt19937 rng(2);
  for (auto& v : nox_bg) v = static_cast<uint8_t>(rng());
  for (uint32_t i = 0; i < 256; ++i) nox_palette[i] = 0xFF000000u | (i * 0x010203u);
}

void BM_Compose(benchmark::State& state) {
  setup_planes();
  const std::vector<uint8_t> sp = sprite_frame();
  std::vector<uint32_t> out(kFrameBytes / 4);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(nox_sp, sp.data(), sp.size());
    state.ResumeTiming();
    nox_compose(kPitch, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Compose);

// The worst case for the sprite shortcut: every chunk holds a sprite pixel.
void BM_ComposeDenseSprites(benchmark::State& state) {
  setup_planes();
  std::vector<uint8_t> sp(NOX_W * NOX_H);
  for (size_t i = 0; i < sp.size(); ++i) sp[i] = (i % 3 == 0) ? static_cast<uint8_t>(i) : 0;
  std::vector<uint32_t> out(kFrameBytes / 4);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(nox_sp, sp.data(), sp.size());
    state.ResumeTiming();
    nox_compose(kPitch, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ComposeDenseSprites);

// The worst case for the kept background colours: every background byte changes each frame.
void BM_ComposeBackgroundRedrawn(benchmark::State& state) {
  setup_planes();
  const std::vector<uint8_t> sp = sprite_frame();
  std::vector<uint32_t> out(kFrameBytes / 4);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(nox_sp, sp.data(), sp.size());
    for (auto& v : nox_bg) v = static_cast<uint8_t>(v + 1);
    state.ResumeTiming();
    nox_compose(kPitch, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ComposeBackgroundRedrawn);

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint8_t> src(kFrameBytes, 7), dst(kFrameBytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), kFrameBytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_MemcpyFrame);

#if defined(PIXBRK_BENCH_SDL)
void BM_SdlBlitPaletted(benchmark::State& state) {
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, NOX_W, NOX_H, 8, SDL_PIXELFORMAT_INDEX8);
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, NOX_W, NOX_H, 32, SDL_PIXELFORMAT_ARGB8888);
  if (src == nullptr || dst == nullptr) {
    state.SkipWithError(SDL_GetError());
    return;
  }
  SDL_Color colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = SDL_Color{static_cast<Uint8>(i), static_cast<Uint8>(i * 2), static_cast<Uint8>(i * 3), 255};
  SDL_SetPaletteColors(src->format->palette, colours, 0, 256);
  std::mt19937 rng(2);
  auto* px = static_cast<uint8_t*>(src->pixels);
  for (int y = 0; y < NOX_H; ++y)
    for (int x = 0; x < NOX_W; ++x) px[y * src->pitch + x] = static_cast<uint8_t>(rng());
  for (auto _ : state) {
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    benchmark::DoNotOptimize(dst->pixels);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}
BENCHMARK(BM_SdlBlitPaletted);
#endif
}  // namespace
