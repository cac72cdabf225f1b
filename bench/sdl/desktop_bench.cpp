// The Linux host against its goals, on a private Xvfb:
//   BM_HostCpu        CPU time per second of wall time of a minimal SDL2 program (a 240 x 320
//                     streaming texture uploaded and presented at 2x, 60 times a second, paced by
//                     the same clock), of the game on its title screen and of the game in a round
//                     played by the built-in player; and the game's ratios (goal: at most 1.1).
//   BM_StartUp        process start to the first presented frame (goal: under 150 ms); and a
//                     close (WM_DELETE_WINDOW) to the game's end, with its settings and log.
//   BM_InputLatency   a press sent through X's test extension, to the present of the frame that
//                     used it (goal: 95th percentile within 17 ms) and to the window's pixels
//                     changing, against the minimal program (goal: at most 3 ms above it).
//   BM_EffectLatency  an effect requested in frame F, from F's end to the audio device (SDL's
//                     disk driver; goal: 95th percentile within 30 ms), while the built-in player
//                     plays; underruns during the run (goal: none).
//   BM_EventStorm     10,000 pointer moves a second for 10 s: frames per second, waiting events,
//                     and how many frames start after the first click after the storm until one
//                     uses it (goal: at most 2).
// The programs measured from outside are this program started again as `--child MODE FD`; the
// child reports on FD the presentation times of its first frame ("F ns") and of each frame that
// used a press ("P ns").
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/sound.h"
#include "engine/touch.h"
#include "headless/session.h"
#include "headless/bot.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "nox_sdl/audio.h"
#include "nox_sdl/host.h"
#include "x11_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t MS = 1000000;
constexpr int64_t S = 1000000000;
const char* const MINIMAL_TITLE = "minimal";
const char* const GAME_TITLE = "PIXEL BREAKER";

// ---------------------------------------------------------------------------------------------
// The children.

int report_fd = -1;

void report(char tag, int64_t ns) {
  char line[48];
  const int n = std::snprintf(line, sizeof line, "%c %lld\n", tag, static_cast<long long>(ns));
  if (write(report_fd, line, static_cast<size_t>(n)) != n) _exit(3);
}

int child_frame(int64_t now) {
  static bool first = true;
  if (first) report('F', now);
  first = false;
  // The press count is 1 while the frame that took the press runs, 2 once it is presented.
  if (nox_touch.press_count == 2) report('P', now);
  return 0;
}

int bot_event(uint64_t frame, HostEvent* ev) {
  const HeadlessEvent h = headless_bot_event(static_cast<int64_t>(frame));
  *ev = {h.ev, h.px, h.py};
  return h.ev != NoxEvent::None ? 1 : 0;
}

// A plain SDL2 program and nothing more: every frame, the whole texture is written
// (white while the button is held) and presented; the wait comes first, as in the game.
int minimal_main() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  SDL_Window* window = SDL_CreateWindow(MINIMAL_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 480, 640,
                                        SDL_WINDOW_SHOWN);
  SDL_Renderer* renderer = window != nullptr ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
  SDL_Texture* texture = renderer != nullptr ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                                                 SDL_TEXTUREACCESS_STREAMING, 240, 320)
                                             : nullptr;
  if (texture == nullptr) return 1;
  Pacer pacer{};
  bool held = false;
  for (uint64_t frames = 0;; ++frames) {
    if (frames > 0) host_sleep_until_ns(pacer_deadline(&pacer));
    bool pressed = false;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (e.type == SDL_QUIT) return 0;
      if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) held = pressed = true;
      if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) held = false;
    }
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return 1;
    for (int y = 0; y < 320; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + y * pitch);
      std::fill(row, row + 240, held ? 0xFFFFFFu : 0x000000u);
    }
    SDL_UnlockTexture(texture);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
    const int64_t now = host_now_ns();
    if (frames == 0) {
      pacer_start(&pacer, PaceMode::Timer, now);
      report('F', now);
    }
    pacer_presented(&pacer, now);
    if (pressed) report('P', now);
  }
}

int child_main(const std::string& mode, int fd) {
  report_fd = fd;
  if (mode == "minimal") return minimal_main();
  host_frame_hook = child_frame;
  if (mode == "game-bot") host_event_hook = bot_event;
  return host_main();
}

// ---------------------------------------------------------------------------------------------
// The measuring side.

struct Session {
  XvfbServer xvfb;
  fs::path dir;  // the game's working directory, with ROMDATA.BIN
  std::string error;

  Session() {
    const fs::path pack = fs::path(PIXBRK_BUILD_DIR) / "ROMDATA.BIN";
    if (!fs::exists(pack)) {
      error = "ROMDATA.BIN has not been built";
      return;
    }
    if (!xvfb_start(&xvfb)) {
      error = "Xvfb does not start";
      return;
    }
    dir = fs::temp_directory_path() / ("pixbrk-desktop-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(pack, dir / "ROMDATA.BIN", fs::copy_options::overwrite_existing);
  }
  ~Session() {
    xvfb_stop(&xvfb);
    if (!dir.empty()) fs::remove_all(dir);
  }
};

struct Child {
  pid_t pid = -1;
  int fd = -1;
  std::string pending;
  std::vector<int64_t> presses;  // 'P' reports not yet taken
  int64_t first_ns = 0;

  Child(const Session& d, const char* mode, std::vector<std::string> env = {}) {
    int fds[2];
    if (pipe(fds) != 0) return;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    env.push_back("DISPLAY=" + d.xvfb.display);
    pid = spawn_program({"/proc/self/exe", "--child", mode, std::to_string(fds[1])}, env, d.dir.string(), "", "");
    close(fds[1]);
    fd = fds[0];
  }
  ~Child() {
    if (pid > 0) stop_program(pid, 5000);
    if (fd >= 0) close(fd);
  }

  // Reads the reports that have arrived, waiting up to timeout_ms for the first.
  void read_reports(int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return;
    pending.append(buf, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      const int64_t ns = std::atoll(pending.c_str() + 2);
      if (pending[0] == 'F') first_ns = ns;
      if (pending[0] == 'P') presses.push_back(ns);
    }
  }
  bool wait_first_frame(int timeout_ms) {
    for (int64_t until = host_now_ns() + timeout_ms * MS; first_ns == 0 && host_now_ns() < until;) read_reports(50);
    return first_ns != 0;
  }
  int64_t wait_press(int timeout_ms) {
    for (int64_t until = host_now_ns() + timeout_ms * MS; presses.empty() && host_now_ns() < until;) read_reports(20);
    if (presses.empty()) return 0;
    const int64_t ns = presses.front();
    presses.erase(presses.begin());
    return ns;
  }
};

// CPU time of a whole process, all its threads, in ns.
int64_t cpu_ns(pid_t pid) {
  clockid_t clock = 0;
  timespec ts{};
  if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0) return -1;
  return static_cast<int64_t>(ts.tv_sec) * S + ts.tv_nsec;
}

void sleep_ns(int64_t ns) { host_sleep_until_ns(host_now_ns() + ns); }

double percentile(std::vector<double> v, int pct) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * static_cast<size_t>(pct) / 100)];
}

double mean(const std::vector<double>& v) {
  double sum = 0;
  for (const double x : v) sum += x;
  return v.empty() ? -1 : sum / static_cast<double>(v.size());
}

// ---------------------------------------------------------------------------------------------

// Rounds of the three programs in turn, each measured for `seconds` after 2 s of warming up;
// medians over the rounds, so that other work on the machine weighs on all three alike.
void BM_HostCpu(benchmark::State& state) {
  const int64_t seconds = state.range(0);
  const int rounds = static_cast<int>(state.range(1));
  Session d;
  if (!d.error.empty()) return state.SkipWithError(d.error.c_str());
  const char* modes[3] = {"minimal", "game", "game-bot"};
  std::vector<double> pct[3], xvfb_pct[3];
  for (auto _ : state) {
    for (int r = 0; r < rounds; ++r) {
      for (int m = 0; m < 3; ++m) {
        Child c(d, modes[m]);
        if (!c.wait_first_frame(10000)) return state.SkipWithError("a program did not show its first frame");
        sleep_ns(2 * S);  // past start-up: shaders compiled, the round under way
        const int64_t c0 = cpu_ns(c.pid), x0 = cpu_ns(d.xvfb.pid), t0 = host_now_ns();
        sleep_ns(seconds * S);
        const int64_t c1 = cpu_ns(c.pid), x1 = cpu_ns(d.xvfb.pid), t1 = host_now_ns();
        pct[m].push_back(100.0 * static_cast<double>(c1 - c0) / static_cast<double>(t1 - t0));
        xvfb_pct[m].push_back(100.0 * static_cast<double>(x1 - x0) / static_cast<double>(t1 - t0));
      }
    }
  }
  const double minimal = percentile(pct[0], 50), title = percentile(pct[1], 50), play = percentile(pct[2], 50);
  state.counters["minimal_cpu_pct"] = minimal;
  state.counters["title_cpu_pct"] = title;
  state.counters["play_cpu_pct"] = play;
  state.counters["title_ratio"] = title / minimal;
  state.counters["play_ratio"] = play / minimal;
  state.counters["xvfb_minimal_pct"] = percentile(xvfb_pct[0], 50);
  state.counters["xvfb_title_pct"] = percentile(xvfb_pct[1], 50);
  state.counters["xvfb_play_pct"] = percentile(xvfb_pct[2], 50);
}
BENCHMARK(BM_HostCpu)->Args({10, 5})->Iterations(1)->Unit(benchmark::kSecond);

void BM_StartUp(benchmark::State& state) {
  const int runs = static_cast<int>(state.range(0));
  Session d;
  if (!d.error.empty()) return state.SkipWithError(d.error.c_str());
  std::vector<double> game_ms, minimal_ms, close_ms;
  for (auto _ : state) {
    for (int i = 0; i < runs; ++i) {
      for (const char* mode : {"game", "minimal"}) {
        const int64_t t0 = host_now_ns();
        Child c(d, mode);
        if (!c.wait_first_frame(10000)) return state.SkipWithError("a program did not show its first frame");
        (std::strcmp(mode, "game") == 0 ? game_ms : minimal_ms).push_back(static_cast<double>(c.first_ns - t0) / 1e6);
        const unsigned long window = std::strcmp(mode, "game") == 0 ? x11_find_window(d.xvfb.display, GAME_TITLE, 0) : 0;
        if (window == 0) continue;
        const int64_t closing = host_now_ns();
        if (!x11_close_window(d.xvfb.display, window) || wait_program(c.pid, 10000) != 0)
          return state.SkipWithError("the game did not end when closed");
        close_ms.push_back(static_cast<double>(host_now_ns() - closing) / 1e6);
        c.pid = -1;
      }
    }
  }
  state.counters["game_p50_ms"] = percentile(game_ms, 50);
  state.counters["game_max_ms"] = percentile(game_ms, 100);
  state.counters["minimal_p50_ms"] = percentile(minimal_ms, 50);
  state.counters["minimal_max_ms"] = percentile(minimal_ms, 100);
  state.counters["close_p50_ms"] = percentile(close_ms, 50);
  state.counters["close_max_ms"] = percentile(close_ms, 100);
}
BENCHMARK(BM_StartUp)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

// Both programs run side by side and are pressed in turn, so that other work on the machine
// weighs on both alike.
void BM_InputLatency(benchmark::State& state) {
  const int trials = static_cast<int>(state.range(0));
  Session d;
  if (!d.error.empty()) return state.SkipWithError(d.error.c_str());
  // Where each program is pressed, and a pixel block that changes with the press: the minimal
  // program's whole picture, the title menu's GUIDE toggle (a press lights it up; the release
  // switches the guide and is harmless).
  struct Target {
    const char* mode;
    const char* title;
    int press_x, press_y, look_x, look_y;
  };
  const Target targets[2] = {{"minimal", MINIMAL_TITLE, 240, 320, 240, 320}, {"game", GAME_TITLE, 240, 492, 204, 520}};
  std::vector<double> to_present[2], to_pixels[2];
  unsigned seed = 12345;
  for (auto _ : state) {
    Child minimal(d, "minimal"), game(d, "game");
    Child* children[2] = {&minimal, &game};
    X11Pointer pointers[2];
    for (int t = 0; t < 2; ++t) {
      if (!children[t]->wait_first_frame(10000)) return state.SkipWithError("a program did not show its first frame");
      const unsigned long window = x11_find_window(d.xvfb.display, targets[t].title, 5000);
      // The minimal program's window moves out from under the game's.
      if (window == 0 || (t == 0 && !x11_move_window(d.xvfb.display, window, 520, 0)) ||
          !x11_pointer_open(&pointers[t], d.xvfb.display, window)) {
        return state.SkipWithError("no window to press on");
      }
    }
    std::vector<uint32_t> before, now;
    for (int i = 0; i < 2 * trials; ++i) {
      const int t = i % 2;
      Child& c = *children[t];
      X11Pointer& pointer = pointers[t];
      x11_pointer_move(&pointer, targets[t].press_x, targets[t].press_y);
      x11_pointer_flush(&pointer);
      seed = seed * 1103515245u + 12345u;
      sleep_ns((50 + static_cast<int64_t>(seed >> 16) % 70) * MS);  // any moment of the frame
      c.read_reports(0);
      c.presses.clear();
      x11_pointer_grab(&pointer, targets[t].look_x, targets[t].look_y, 2, 2, &before);
      const int64_t sent = host_now_ns();
      x11_pointer_button(&pointer, true);
      x11_pointer_flush(&pointer);
      int64_t changed = 0;
      while (changed == 0 && host_now_ns() - sent < S) {
        sleep_ns(MS / 2);
        if (x11_pointer_grab(&pointer, targets[t].look_x, targets[t].look_y, 2, 2, &now) && now != before) {
          changed = host_now_ns();
        }
      }
      const int64_t presented = c.wait_press(1000);
      if (changed != 0) to_pixels[t].push_back(static_cast<double>(changed - sent) / 1e6);
      if (presented != 0) to_present[t].push_back(static_cast<double>(presented - sent) / 1e6);
      sleep_ns(50 * MS);
      x11_pointer_button(&pointer, false);
      x11_pointer_flush(&pointer);
      sleep_ns(80 * MS);
    }
    for (X11Pointer& p : pointers) x11_pointer_close(&p);
  }
  state.counters["trials"] = trials;
  state.counters["game_to_present_p50_ms"] = percentile(to_present[1], 50);
  state.counters["game_to_present_p95_ms"] = percentile(to_present[1], 95);
  state.counters["game_to_present_mean_ms"] = mean(to_present[1]);
  state.counters["minimal_to_present_mean_ms"] = mean(to_present[0]);
  state.counters["game_to_pixels_p50_ms"] = percentile(to_pixels[1], 50);
  state.counters["game_to_pixels_p95_ms"] = percentile(to_pixels[1], 95);
  state.counters["minimal_to_present_p50_ms"] = percentile(to_present[0], 50);
  state.counters["minimal_to_present_p95_ms"] = percentile(to_present[0], 95);
  state.counters["minimal_to_pixels_p50_ms"] = percentile(to_pixels[0], 50);
  state.counters["minimal_to_pixels_p95_ms"] = percentile(to_pixels[0], 95);
  state.counters["missed"] = static_cast<double>(4 * trials) - static_cast<double>(to_present[0].size() + to_present[1].size() +
                                                                                   to_pixels[0].size() + to_pixels[1].size());
}
BENCHMARK(BM_InputLatency)->Arg(150)->Iterations(1)->Unit(benchmark::kSecond);

// ---------------------------------------------------------------------------------------------
// In-process runs of the real host, driven and watched through its hooks.

// Runs host_main in the display's working directory with the given audio driver.
int run_host(const Session& d, const char* audio_driver) {
  const fs::path previous = fs::current_path();
  fs::current_path(d.dir);
  setenv("DISPLAY", d.xvfb.display.c_str(), 1);
  setenv("SDL_AUDIODRIVER", audio_driver, 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  const int status = host_main();
  fs::current_path(previous);
  host_frame_hook = nullptr;
  host_event_hook = nullptr;
  audio_device_hook = nullptr;
  return status;
}

// Effect slot 0 (the replay-saved sound, never played in a round) is requested now and then
// from inside a frame, on top of the round's own sounds, which it cuts off; its first bytes
// mark the moment it reaches the device.
namespace effect {
int64_t end_ns = 0;
uint64_t next_request = 120;
bool requested_in_frame = false;
std::atomic<int64_t> requested_end{0};  // end of the frame that asked; 0 while none waits
std::atomic<int64_t> arrived{0};
std::atomic<bool> waiting{false};
uint8_t signature[64];
std::vector<double> latencies_ms;
uint32_t lost = 0;
unsigned seed = 1;

int on_event(uint64_t frame, HostEvent* ev) {
  const int has = bot_event(frame, ev);
  if (frame >= next_request && !waiting.load()) {
    std::memcpy(signature, nox_slots[0].data, sizeof signature);
    arrived = 0;
    requested_end = 0;
    waiting = true;
    nox_playpcm(0);
    requested_in_frame = true;
    seed = seed * 1103515245u + 12345u;
    next_request = frame + 30 + (seed >> 16) % 31;  // 0.5 to 1 s apart
  }
  return has;
}

int on_frame(int64_t now) {
  if (requested_in_frame) requested_end = now;
  requested_in_frame = false;
  const int64_t end = requested_end.load();
  if (waiting.load() && end != 0) {
    const int64_t at = arrived.load();
    if (at != 0) {
      latencies_ms.push_back(static_cast<double>(at - end) / 1e6);
      waiting = false;
    } else if (now - end > S) {
      lost++;
      waiting = false;
    }
  }
  return now >= end_ns ? 1 : 0;
}

int64_t last_callback = 0;
int64_t longest_gap = 0;  // between two device callbacks: a stall of the device itself

void on_device(const uint8_t* bytes, int32_t length, int64_t now) {
  if (last_callback != 0) longest_gap = std::max(longest_gap, now - last_callback);
  last_callback = now;
  if (waiting.load() && arrived.load() == 0 && length >= static_cast<int32_t>(sizeof signature) &&
      std::memcmp(bytes, signature, sizeof signature) == 0) {
    arrived = now;
  }
}
}  // namespace effect

void BM_EffectLatency(benchmark::State& state) {
  Session d;
  if (!d.error.empty()) return state.SkipWithError(d.error.c_str());
  for (auto _ : state) {
    effect::end_ns = host_now_ns() + state.range(0) * S;
    host_event_hook = effect::on_event;
    host_frame_hook = effect::on_frame;
    audio_device_hook = effect::on_device;
    if (run_host(d, "disk") != 0) return state.SkipWithError("the game did not run");
  }
  state.counters["effects"] = static_cast<double>(effect::latencies_ms.size());
  state.counters["lost"] = effect::lost;
  state.counters["p50_ms"] = percentile(effect::latencies_ms, 50);
  state.counters["p95_ms"] = percentile(effect::latencies_ms, 95);
  state.counters["max_ms"] = percentile(effect::latencies_ms, 100);
  state.counters["underrun_bytes"] = audio_underrun_bytes();
  state.counters["device_gap_max_ms"] = static_cast<double>(effect::longest_gap) / 1e6;
}
BENCHMARK(BM_EffectLatency)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

namespace storm {
std::vector<int64_t> presents;
std::vector<int64_t> starts;  // when each frame took its input
std::atomic<int64_t> start_ns{0}, end_ns{0}, click_ns{0};
std::atomic<bool> answered{false};
int64_t answer_ns = 0;
uint32_t pending_at_end = 0;
std::atomic<uint64_t> sent{0};

int on_event(uint64_t, HostEvent*) {
  starts.push_back(host_now_ns());
  return 0;
}

int on_frame(int64_t now) {
  presents.push_back(now);
  if (end_ns.load() == 0) pending_at_end = host_pending_events();
  if (click_ns.load() != 0 && !answered.load() && nox_touch.press_count == 2) {
    answer_ns = now;
    answered = true;
  }
  return answered.load() && now - answer_ns > 500 * MS ? 1 : 0;
}

void send(const std::string& display, int64_t seconds) {
  const unsigned long window = x11_find_window(display, GAME_TITLE, 10000);
  X11Pointer p;
  if (window == 0 || !x11_pointer_open(&p, display, window)) return;
  sleep_ns(S);
  // Ten moves every millisecond, all over the window.
  int64_t tick = host_now_ns();
  start_ns = tick;
  uint64_t n = 0;
  for (const int64_t until = tick + seconds * S; tick < until; tick += MS) {
    for (int i = 0; i < 10; ++i, ++n) x11_pointer_move(&p, 20 + static_cast<int>(n * 7 % 440), 20 + static_cast<int>(n * 13 % 600));
    x11_pointer_flush(&p);
    host_sleep_until_ns(tick + MS);
  }
  sent = n;
  end_ns = host_now_ns();
  x11_pointer_button(&p, true);
  x11_pointer_flush(&p);
  click_ns = host_now_ns();
  sleep_ns(100 * MS);
  x11_pointer_button(&p, false);
  x11_pointer_flush(&p);
  x11_pointer_close(&p);
}
}  // namespace storm

void BM_EventStorm(benchmark::State& state) {
  Session d;
  if (!d.error.empty()) return state.SkipWithError(d.error.c_str());
  for (auto _ : state) {
    host_frame_hook = storm::on_frame;
    host_event_hook = storm::on_event;
    std::thread sender(storm::send, d.xvfb.display, state.range(0));
    const int status = run_host(d, "dummy");
    sender.join();
    if (status != 0 || !storm::answered.load()) return state.SkipWithError("the game did not run or never saw the click");
  }
  const int64_t t0 = storm::start_ns.load(), t1 = storm::end_ns.load(), click = storm::click_ns.load();
  int64_t in_storm = 0, to_answer = 0;
  for (size_t i = 0; i < storm::presents.size(); ++i) {
    in_storm += storm::presents[i] >= t0 && storm::presents[i] < t1 ? 1 : 0;
    // Frames that took their input after the click was sent, up to the one that used it.
    to_answer += storm::starts[i] > click && storm::presents[i] <= storm::answer_ns ? 1 : 0;
  }
  state.counters["moves_per_s"] = static_cast<double>(storm::sent.load()) * 1e9 / static_cast<double>(t1 - t0);
  state.counters["fps_in_storm"] = static_cast<double>(in_storm) * 1e9 / static_cast<double>(t1 - t0);
  state.counters["waiting_peak"] = host_pending_peak();
  state.counters["waiting_at_end"] = storm::pending_at_end;
  state.counters["frames_to_click"] = static_cast<double>(to_answer);
}
BENCHMARK(BM_EventStorm)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return child_main(argv[2], std::atoi(argv[3]));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
