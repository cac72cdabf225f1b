// The real game in a window on a private Xvfb, driven with real pointer input from xdotool and
// closed as a window manager or the system would close it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/touch.h"
#include "nox_sdl/audio.h"
#include "nox_sdl/host.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "pack/pack.h"
#include "support/pacing_rule.h"
#include "support/png_read.h"
#include "support/test_pack.h"
#include "x11_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t MS = 1000000;
const std::string TITLE = "PIXEL BREAKER";
const std::string STAMP = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d )";
const std::string AT = R"( <\./src/nox_sdl\.cpp:)";

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The samples of one effect of the loaded pack.
std::vector<int16_t> pack_effect(const char* name) {
  uint32_t size = 0;
  const uint8_t* e = findbin(name, &size);
  if (e == nullptr || size < 8) return {};
  const uint32_t len = std::min(size - 8, static_cast<uint32_t>(e[4]) << 24 | e[5] << 16 | e[6] << 8 | e[7]);
  std::vector<int16_t> s(len / 2);
  for (size_t k = 0; k < s.size(); ++k) s[k] = static_cast<int16_t>(e[8 + 2 * k] | e[9 + 2 * k] << 8);
  return s;
}

class RealGame : public ::testing::Test {
 protected:
  void SetUp() override {
    pack_ = real_pack_path();
    ASSERT_FALSE(pack_.empty()) << "ROMDATA.BIN has not been built (target romdata)";
    game_dir_ = fs::path(dir_.path()) / "game";
    fs::create_directories(game_dir_);
    fs::copy_file(pack_, game_dir_ / "ROMDATA.BIN");
    ASSERT_TRUE(xvfb_start(&xvfb_, desktop_ ? "1920x1080x24" : "1024x768x24")) << "Xvfb does not start";
    if (desktop_) {
      // A desktop has a window manager: it makes windows fullscreen, minimises and focuses them.
      desktop_programs_[0] = spawn_program({"openbox", "--sm-disable"}, {"DISPLAY=" + xvfb_.display}, dir_.path(), "", "");
      ASSERT_TRUE(x11_wait_for_window_manager(xvfb_.display, 10000)) << "openbox does not start";
    }
    // The pointer waits in the screen's far corner, outside the window.
    ASSERT_EQ(xdo({"mousemove", desktop_ ? "1919" : "1023", desktop_ ? "1079" : "767"}), 0) << xdo_errors();
  }
  void TearDown() override {
    for (const pid_t p : {game_, desktop_programs_[0], desktop_programs_[1]}) {
      if (p > 0 && wait_program(p, 0) == -1) {
        kill(p, SIGKILL);
        wait_program(p, 5000);
      }
    }
    xvfb_stop(&xvfb_);
  }

  int xdo(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return run_program(args, {"DISPLAY=" + xvfb_.display}, (fs::path(dir_.path()) / "xdotool.txt").string());
  }
  std::string xdo_errors() const {
    std::string all;
    for (const std::string& l : read_lines((fs::path(dir_.path()) / "xdotool.txt").string())) all += l + "\n";
    return all;
  }
  std::string win() const { return std::to_string(window_); }

  // Starts the game with the sound written to a file; returns once its window is shown.
  void start(const std::vector<std::string>& extra_env = {}, const std::vector<std::string>& args = {}) {
    std::vector<std::string> env = {"DISPLAY=" + xvfb_.display, "SDL_AUDIODRIVER=disk",
                                     "SDL_DISKAUDIOFILE=" + capture().string()};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    std::vector<std::string> argv = {PIXBRK_GAME};
    argv.insert(argv.end(), args.begin(), args.end());
    started_ns_ = host_now_ns();
    game_ = spawn_program(argv, env, game_dir_.string(), "", (game_dir_ / "stderr.txt").string());
    window_ = x11_find_window(xvfb_.display, TITLE, 10000);
    ASSERT_NE(window_, 0u) << "no window titled " << TITLE;
  }
  int finish() {
    const int status = wait_program(game_, 10000);
    ended_ns_ = host_now_ns();
    if (status != -1) game_ = -1;
    return status;
  }
  // The headless runner's picture (240 x 320) of frame `frame` of a touch script.
  std::vector<uint32_t> headless_picture(const std::string& script, int64_t frame) {
    const fs::path d = fs::path(dir_.path()) / ("headless" + std::to_string(frame) + std::to_string(script.size()));
    fs::create_directories(d);
    fs::copy_file(pack_, d / "ROMDATA.BIN", fs::copy_options::overwrite_existing);
    std::ofstream(d / "script.txt") << script << "\nwait 1000000\n";
    EXPECT_EQ(run_program({PIXBRK_HEADLESS, "--dir", d.string(), "--script", (d / "script.txt").string(), "--frames",
                           std::to_string(frame + 1), "--png", std::to_string(frame) + ":" + (d / "f.png").string()},
                          {}),
              0);
    int w = 0;
    int h = 0;
    std::vector<uint32_t> picture;
    EXPECT_TRUE(read_png((d / "f.png").string(), &w, &h, &picture) && w == 240 && h == 320);
    return picture;
  }

  bool wait_size(int w, int h) {
    int gw = 0;
    int gh = 0;
    for (int waited = 0; waited < 5000 && !(gw == w && gh == h); waited += 50) {
      sleep_ms(50);
      x11_window_size(xvfb_.display, window_, &gw, &gh);
    }
    return gw == w && gh == h;
  }

  // The first submatch of the `nth` log line matching `pattern`, waiting for it up to 5 s.
  std::string wait_log(const std::string& pattern, int nth = 1) {
    const std::regex re(pattern);
    for (int waited = 0; waited < 5000; waited += 50) {
      int seen = 0;
      std::smatch m;
      for (const std::string& line : log()) {
        if (std::regex_search(line, m, re) && ++seen == nth) return m.size() > 1 ? m[1].str() : line;
      }
      sleep_ms(50);
    }
    ADD_FAILURE() << "no log line " << pattern << " (#" << nth << ")";
    return "0";
  }

  fs::path capture() const { return game_dir_ / "sound.raw"; }
  std::vector<std::string> log() const { return read_lines((game_dir_ / "LOG.TXT").string()); }

  // Checks the log of a run that was started, played and closed normally, or ended for `reason`
  // (a log line's pattern) and then shut down as normally.
  void expect_clean_log(bool with_sound_device, const std::string& reason = "") {
    const std::vector<std::string> lines = log();
    std::vector<std::string> want = {
        STAMP + R"(Executes "PIXEL BREAKER" on \S+ \S+ .*\(\S+\))",
        STAMP + "Load binary file: ROMDATA\\.BIN" + AT + "943>",
        STAMP + "Using: \\S+" + AT + "478>",
    };
    if (!with_sound_device) want.push_back(STAMP + R"(No sound device \(.*\): the game runs without sound\.)" + AT + "630>");
    want.push_back(STAMP + "Sound-thread has started\\." + AT + "754>");
    if (!reason.empty()) want.push_back(STAMP + reason);
    want.push_back(STAMP + "Sound-thread will now stop\\." + AT + "808>");
    want.push_back(STAMP + R"(Presented \d+ frames in \d+ ms \(\d+ given up after \d+ stalls\)\.)" + AT + "296>");
    want.push_back(STAMP + "Exit program\\." + AT + "300>");
    ASSERT_EQ(lines.size(), want.size()) << (lines.empty() ? "" : lines.back());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], std::regex(want[i]))) << lines[i];
  }

  TempWorkDir dir_;
  std::string pack_;
  fs::path game_dir_;
  bool desktop_ = false;  // a 1920 x 1080 screen with a window manager
  XvfbServer xvfb_;
  pid_t desktop_programs_[2] = {-1, -1};  // the window manager, another program's window
  pid_t game_ = -1;
  unsigned long window_ = 0;
  int64_t started_ns_ = 0;
  int64_t ended_ns_ = 0;
};

TEST_F(RealGame, TitleMenuIsTheHeadlessFrameAtTwiceTheSizePixelForPixel) {
  start();
  int w = 0;
  int h = 0;
  ASSERT_TRUE(x11_window_size(xvfb_.display, window_, &w, &h));
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 640);
  // Any size down to one screen pixel per virtual pixel.
  int limits[4] = {};
  ASSERT_TRUE(x11_size_limits(xvfb_.display, window_, &limits[0], &limits[1], &limits[2], &limits[3]));
  EXPECT_EQ(limits[0], 240);
  EXPECT_EQ(limits[1], 320);
  EXPECT_EQ(limits[2], 0);
  EXPECT_EQ(limits[3], 0);
  sleep_ms(1000);
  std::vector<uint32_t> shown;
  ASSERT_TRUE(x11_grab_window(xvfb_.display, window_, 480, 640, &shown));
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);

  const fs::path headless_dir = fs::path(dir_.path()) / "headless";
  fs::create_directories(headless_dir);
  fs::copy_file(pack_, headless_dir / "ROMDATA.BIN");
  const fs::path frame = headless_dir / "title.png";
  ASSERT_EQ(run_program({PIXBRK_HEADLESS, "--dir", headless_dir.string(), "--frames", "30", "--png",
                         "29:" + frame.string(), "--scale", "2"},
                        {}),
            0);
  int fw = 0;
  int fh = 0;
  std::vector<uint32_t> expected;
  ASSERT_TRUE(read_png(frame.string(), &fw, &fh, &expected));
  ASSERT_EQ(fw, 480);
  ASSERT_EQ(fh, 640);
  size_t differing = 0;
  size_t first = shown.size();
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] != expected[i]) {
      ++differing;
      if (first == shown.size()) first = i;
    }
  }
  EXPECT_EQ(differing, 0u) << "first difference at x " << first % 480 << " y " << first / 480;
}

TEST_F(RealGame, APlayerStartsPlaysAndClosesTheWindow) {
  start();
  sleep_ms(800);

  // Tap GAME START (its label is at virtual (80..160, 112)).
  ASSERT_EQ(xdo({"mousemove", "--window", win(), "240", "226"}), 0);
  sleep_ms(100);
  ASSERT_EQ(xdo({"mousedown", "1"}), 0);
  sleep_ms(100);
  ASSERT_EQ(xdo({"mouseup", "1"}), 0);
  sleep_ms(600);
  // Hold and drag the paddle left and right, then let go to serve.
  ASSERT_EQ(xdo({"mousemove", "--window", win(), "240", "560"}), 0);
  ASSERT_EQ(xdo({"mousedown", "1"}), 0);
  for (int i = 0; i < 12; ++i) {
    const int x = 240 + (i % 6 < 3 ? 1 : -1) * 30 * (i % 3 + 1);
    ASSERT_EQ(xdo({"mousemove", "--window", win(), std::to_string(x), "560"}), 0);
    sleep_ms(60);
  }
  ASSERT_EQ(xdo({"mouseup", "1"}), 0);
  sleep_ms(1500);
  ASSERT_EQ(xdo({"key", "--window", win(), "Escape"}), 0);
  sleep_ms(500);
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);  // (how soon it ends is measured by desktop_bench)

  expect_clean_log(true);

  // 60 frames per second of wall time, by the rule every frame-rate check applies: a short stall
  // on a busy machine is allowed for, a game running at 30 or 20 frames a second is not.
  std::smatch m;
  const std::vector<std::string> lines = log();
  ASSERT_GE(lines.size(), 2u);
  const std::string frames_line = lines[lines.size() - 2];
  ASSERT_TRUE(std::regex_search(frames_line, m,
                                std::regex(R"(Presented (\d+) frames in (\d+) ms \((\d+) given up after (\d+) stalls)")));
  const int64_t ms = std::stoll(m[2]);
  // The milliseconds are cut down: the true span is up to one more.
  EXPECT_EQ(pacing_rule_broken({(static_cast<double>(ms) + 0.999) / 1000, std::stoll(m[1]), std::stoll(m[3]), std::stoll(m[4])}),
            "")
      << frames_line;
  EXPECT_LE(ms * MS, ended_ns_ - started_ns_);

  // The tap's effect (menu choice, longer than one 100 ms chunk) is the first sound played, and
  // arrives whole: nothing lost, doubled or reordered at the chunk seams.
  pack_unload();
  ASSERT_EQ(loadbin(pack_.c_str()), 0);
  const std::vector<int16_t> effect = pack_effect("EFF11.PCM");
  ASSERT_GT(effect.size(), size_t{SOUND_RATE} / 10);
  const std::vector<int16_t> played = read_samples(capture().string());
  size_t lead = 0;
  while (lead < effect.size() && effect[lead] == 0) ++lead;
  size_t first = 0;
  while (first < played.size() && played[first] == 0) ++first;
  ASSERT_LT(first, played.size()) << "nothing was heard";
  ASSERT_GE(first, lead);
  const size_t start = first - lead;
  ASSERT_LE(start + effect.size(), played.size());
  size_t same = 0;
  while (same < effect.size() && played[start + same] == effect[same]) ++same;
  EXPECT_EQ(same, effect.size()) << "the effect breaks off after " << same << " samples";

}

// Another program destroys the window, or breaks the game's connection to the X server: instead
// of Xlib's report and an unexplained end, one line on standard error and the reason in the
// log; the display settings are saved (without X, from what is known of the window) and the
// shut-down's lines written; the exit status is a close's (0) or a failure's (1).
TEST_F(RealGame, AWindowDestroyedOrTheConnectionLostEndsTheGameWithTheReasonLogged) {
  struct Case {
    const char* xdotool;
    int status;
    std::string logged;
    const char* says;
  };
  for (const Case& c : {Case{"windowclose", 0, R"(The game window was destroyed by another program\.)" + AT + "280>",
                             "pixbrk: ended: the game window was destroyed by another program"},
                        Case{"windowkill", 1, R"(The connection to the display :\d+ was lost\.)" + AT + "284>",
                             "pixbrk: stopped: the connection to the display was lost"}}) {
    SCOPED_TRACE(c.xdotool);
    fs::remove(game_dir_ / "DISPLAY.CFG");
    start({}, {"--scale", "1"});
    wait_log(R"(Sound-thread has started\.)");  // the game watches its window from here on
    ASSERT_EQ(xdo({c.xdotool, win()}), 0) << xdo_errors();
    EXPECT_EQ(finish(), c.status);
    expect_clean_log(true, c.logged);
    std::vector<std::string> said;  // but SDL's disk audio driver's notices
    for (const std::string& l : read_lines((game_dir_ / "stderr.txt").string()))
      if (!l.starts_with("CRITICAL: ")) said.push_back(l);
    ASSERT_EQ(said.size(), 1u) << (said.empty() ? "nothing" : said.back());
    EXPECT_TRUE(said[0].starts_with(c.says)) << said[0];
    EXPECT_EQ(read_lines((game_dir_ / "DISPLAY.CFG").string()),
              (std::vector<std::string>{"# PIXEL BREAKER display settings", "mode window", "scale 1"}));
  }
}

// A window smaller than 240 x 320 (here 200 x 200, made so without a window manager to refuse
// it) shows the whole picture shrunk to 150 x 200 in its middle, blended, and the pointer is
// mapped through the same placement: a tap where GAME START is shown starts a round.
TEST_F(RealGame, BelowOneTimesTheWholePictureIsShrunkToFitAndAnswersThePointer) {
  const std::vector<uint32_t> title = headless_picture("", 30);
  start();
  ASSERT_EQ(xdo({"windowsize", win(), "200", "200"}), 0);
  ASSERT_TRUE(wait_size(200, 200));
  // Pixels more than a few levels off the title sampled bilinearly at their centres, or off the
  // bars' colour around the picture.
  const auto off = [&](const std::vector<uint32_t>& shown) {
    size_t n = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 200; ++x) {
        const uint32_t got = shown[static_cast<size_t>(y * 200 + x)];
        if (x < 25 || x >= 175) {
          n += got != 0x0C0C0C ? 1 : 0;
          continue;
        }
        const double u = std::clamp((x - 25 + 0.5) * 1.6 - 0.5, 0.0, 239.0);
        const double v = std::clamp((y + 0.5) * 1.6 - 0.5, 0.0, 319.0);
        const int u0 = std::min(static_cast<int>(u), 238);
        const int v0 = std::min(static_cast<int>(v), 318);
        for (int shift = 0; shift < 24; shift += 8) {
          const auto at = [&](int i, int j) { return (title[static_cast<size_t>(j * 240 + i)] >> shift & 0xFF) * 1.0; };
          const double want = (at(u0, v0) * (u0 + 1 - u) + at(u0 + 1, v0) * (u - u0)) * (v0 + 1 - v) +
                              (at(u0, v0 + 1) * (u0 + 1 - u) + at(u0 + 1, v0 + 1) * (u - u0)) * (v - v0);
          if (std::fabs(want - (got >> shift & 0xFF)) > 4) {
            ++n;
            break;
          }
        }
      }
    }
    return n;
  };
  std::vector<uint32_t> shown;
  size_t differing = 1;
  for (int waited = 0; waited < 5000 && differing != 0; waited += 200) {
    sleep_ms(200);
    ASSERT_TRUE(x11_grab_window(xvfb_.display, window_, 200, 200, &shown));
    differing = off(shown);
  }
  EXPECT_EQ(differing, 0u) << "pixels that are not the title shrunk to 150 x 200 between the bars";
  ASSERT_EQ(xdo({"mousemove", "--window", win(), "100", "72", "click", "1"}), 0);  // virtual (120, 116)
  for (int waited = 0; waited < 5000 && differing < 2000; waited += 200) {
    sleep_ms(200);
    ASSERT_TRUE(x11_grab_window(xvfb_.display, window_, 200, 200, &shown));
    differing = off(shown);
  }
  EXPECT_GE(differing, 2000u) << "the tap on GAME START did not start a round";
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);
}

TEST_F(RealGame, SigtermEndsTheGameThroughTheNormalShutDown) {
  start();
  sleep_ms(1000);
  ASSERT_EQ(kill(game_, SIGTERM), 0);
  EXPECT_EQ(finish(), 0);
  expect_clean_log(true);
}

TEST_F(RealGame, WithoutAnAudioDeviceTheGamePlaysSilently) {
  start({"SDL_AUDIODRIVER=no-such-driver"});
  sleep_ms(800);
  ASSERT_EQ(xdo({"mousemove", "--window", win(), "240", "226", "mousedown", "1", "mouseup", "1"}), 0);
  sleep_ms(500);
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);
  expect_clean_log(false);
}

TEST_F(RealGame, TheInstalledLauncherPlaysInThePlayersDataFolder) {
  const fs::path prefix = fs::path(dir_.path()) / "usr";
  ASSERT_EQ(run_program({CMAKE_COMMAND, "--install", PIXBRK_BUILD_DIR, "--prefix", prefix.string()}, {}), 0);
  for (const char* installed : {"bin/pixbrk", "bin/pixbrk-headless", "share/pixbrk/ROMDATA.BIN",
                                "share/applications/pixbrk.desktop", "share/icons/hicolor/scalable/apps/pixbrk.svg"}) {
    EXPECT_TRUE(fs::exists(prefix / installed)) << installed;
  }
  const fs::path xdg = fs::path(dir_.path()) / "xdg";
  const fs::path data = xdg / "pixbrk";
  game_ = spawn_program({(prefix / "bin/pixbrk").string()},
                        {"DISPLAY=" + xvfb_.display, "XDG_DATA_HOME=" + xdg.string(), "SDL_AUDIODRIVER=no-such-driver"},
                        dir_.path(), "", "");
  window_ = x11_find_window(xvfb_.display, TITLE, 10000);
  ASSERT_NE(window_, 0u);
  sleep_ms(300);
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);
  ASSERT_TRUE(fs::is_symlink(data / "ROMDATA.BIN"));
  EXPECT_EQ(fs::canonical(data / "ROMDATA.BIN"), fs::canonical(prefix / "share/pixbrk/ROMDATA.BIN"));
  const std::vector<std::string> lines = read_lines((data / "LOG.TXT").string());
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines.back().ends_with("Exit program. <./src/nox_sdl.cpp:300>")) << lines.back();
}

// The real host in this process, under a storm of pointer moves (ten every millisecond, all over
// the window) with presses and releases among them, all sent through the X server. However busy
// the machine, every press and every release must reach the game, none merged into the moves.
namespace storm {
constexpr int CLICKS = 30;
std::atomic<bool> sent_all{false};
int presses = 0;
int releases = 0;
int32_t last_count = 0;
uint64_t frames = 0;
int64_t first_ns = 0;
int64_t last_ns = 0;
int64_t give_up_ns = 0;

int on_frame(int64_t now) {
  if (frames++ == 0) first_ns = now;
  last_ns = now;
  // The press count is 1 while the frame that took a press runs, 2 once it is shown.
  if (nox_touch.press_count == 2) presses++;
  if (last_count != 0 && nox_touch.press_count == 0) releases++;
  last_count = nox_touch.press_count;
  if (!sent_all.load()) return 0;
  if (give_up_ns == 0) give_up_ns = now + 20000 * MS;
  return (presses == CLICKS && releases == CLICKS) || now > give_up_ns ? 1 : 0;
}

void send(const std::string& display) {
  const unsigned long window = x11_find_window(display, TITLE, 10000);
  X11Pointer p;
  if (window != 0 && x11_pointer_open(&p, display, window)) {
    sleep_ms(300);
    int64_t tick = host_now_ns();
    for (int ms = 0, n = 0; ms < 100 * CLICKS; ++ms, tick += MS) {
      for (int i = 0; i < 10; ++i, ++n) x11_pointer_move(&p, 20 + n * 7 % 440, 20 + n * 13 % 600);
      if (ms % 100 == 0 || ms % 100 == 50) x11_pointer_button(&p, ms % 100 == 0);
      x11_pointer_flush(&p);
      host_sleep_until_ns(tick + MS);
    }
    x11_pointer_close(&p);
  }
  sent_all = true;
}
}  // namespace storm

TEST(EventStorm, EveryPressAndReleaseReachesTheGameAndTheFramesNeverRace) {
  ASSERT_FALSE(real_pack_path().empty()) << "ROMDATA.BIN has not been built";
  TempWorkDir dir;
  fs::copy_file(real_pack_path(), fs::path(dir.path()) / "ROMDATA.BIN");
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb_start(&xvfb));
  setenv("DISPLAY", xvfb.display.c_str(), 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  host_frame_hook = storm::on_frame;
  std::thread sender(storm::send, xvfb.display);
  const int status = host_main();
  sender.join();
  host_frame_hook = nullptr;
  xvfb_stop(&xvfb);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(storm::presses, storm::CLICKS);
  EXPECT_EQ(storm::releases, storm::CLICKS);
  // Moves merge: even if the game took nothing during the whole storm, no more would wait than
  // a press and a release per click with one move before each.
  EXPECT_LE(host_pending_peak(), 4u * storm::CLICKS + 1);
  // However the events come, the game never runs ahead of 60 frames per second.
  EXPECT_LE(static_cast<double>(storm::frames), static_cast<double>(storm::last_ns - storm::first_ns) * 60 / 1e9 + 2);
}

// The same game on a 1920 x 1080 desktop with a window manager.
class Desktop : public RealGame {
 protected:
  Desktop() { desktop_ = true; }

  // Grabs the w x h window and compares it with `picture` shown at `scale` with its corner at
  // (px, py): the picture's pixels that differ and their bounds, and the pixels around it that
  // are not the bars' nearly black.
  struct Diff {
    size_t count = 0, not_bars = 0;
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  };
  Diff grab_and_compare(int w, int h, int px, int py, int scale, const std::vector<uint32_t>& picture) {
    Diff d;
    shown_w_ = w;
    scale_ = scale;
    corner_ = {px, py};
    EXPECT_TRUE(x11_grab_window(xvfb_.display, window_, w, h, &shown_));
    for (int y = 0; y < h && !shown_.empty(); ++y) {
      for (int x = 0; x < w; ++x) {
        const uint32_t got = shown_[static_cast<size_t>(y * w + x)];
        if (x < px || y < py || x >= px + 240 * scale || y >= py + 320 * scale) {
          d.not_bars += got != 0x0C0C0C ? 1 : 0;
        } else if (got != picture[static_cast<size_t>((y - py) / scale * 240 + (x - px) / scale)]) {
          ++d.count;
          d.x0 = std::min(d.x0, x);
          d.y0 = std::min(d.y0, y);
          d.x1 = std::max(d.x1, x);
          d.y1 = std::max(d.y1, y);
        }
      }
    }
    return d;
  }

  // Grabs the window until what it shows passes `done` (a busy machine may take a while to get
  // there), for at most 5 s; the last comparison.
  Diff shown_until(int w, int h, int px, int py, int scale, const std::vector<uint32_t>& picture,
                   const std::function<bool(const Diff&)>& done) {
    Diff d = grab_and_compare(w, h, px, py, scale, picture);
    for (int waited = 0; waited < 5000 && !done(d); waited += 200) {
      sleep_ms(200);
      d = grab_and_compare(w, h, px, py, scale, picture);
    }
    return d;
  }
  static bool same(const Diff& d) { return d.count == 0 && d.not_bars == 0; }

  // Left edge (virtual pixels) of the paddle in the last grab, found by its middle rows as
  // `play` shows them at the start of a round (paddle at 104), or -1.
  int paddle_x(const std::vector<uint32_t>& play) const {
    for (int x = 8; x <= 200; ++x) {
      bool same = true;
      for (int i = 0; i < 3 * 32 && same; ++i) {
        const int vx = x + i % 32;
        const int vy = 275 + i / 32;
        const size_t at = static_cast<size_t>((corner_[1] + scale_ * vy + 1) * shown_w_ + corner_[0] + scale_ * vx + 1);
        same = shown_[at] == play[static_cast<size_t>(vy * 240 + 104 + i % 32)];
      }
      if (same) return x;
    }
    return -1;
  }

  void click(int x, int y) {
    ASSERT_EQ(xdo({"mousemove", "--window", win(), std::to_string(x), std::to_string(y), "click", "1"}), 0);
  }
  void key(const char* what, const char* k) { ASSERT_EQ(xdo({what, "--window", win(), k}), 0); }

  // CPU time the game has taken, in clock ticks.
  long cpu_ticks() const {
    const std::vector<std::string> stat = read_lines("/proc/" + std::to_string(game_) + "/stat");
    std::istringstream fields(stat.empty() ? "" : stat[0].substr(stat[0].rfind(')') + 2));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    return f.size() > 12 ? std::stol(f[11]) + std::stol(f[12]) : -1;  // utime, stime
  }

  std::vector<uint32_t> shown_;
  int shown_w_ = 0;
  int scale_ = 1;
  std::array<int, 2> corner_{};
};

TEST_F(Desktop, FullscreenAnyWindowSizeKeysScreenshotsAndThePauseInOneSession) {
  const std::vector<uint32_t> title = headless_picture("", 30);
  const std::vector<uint32_t> play = headless_picture("move 200 220\ndown\nup", 20);
  const std::vector<uint32_t> title_after_game = headless_picture("move 200 220\ndown\nup\nwait 30\nesc", 40);
  start();
  sleep_ms(500);

  // F11: the whole screen, the title menu at 3x in the middle, sharp, between dark bars.
  key("key", "F11");
  ASSERT_TRUE(wait_size(1920, 1080));
  Diff d = shown_until(1920, 1080, 600, 60, 3, title, same);
  EXPECT_EQ(d.count, 0u) << "first difference at " << d.x0 << "," << d.y0;
  EXPECT_EQ(d.not_bars, 0u);
  // GAME START where the 3x picture shows it starts a round; Escape ends it.
  click(600 + 3 * 100 + 1, 60 + 3 * 110 + 1);
  shown_until(1920, 1080, 600, 60, 3, title, [&](const Diff&) { return paddle_x(play) == 104; });
  EXPECT_EQ(paddle_x(play), 104) << "no round has started";
  key("key", "Escape");

  // Back to the window, then resized to 1000 x 1000: 3x again, now between bars of 140 and 20.
  key("key", "alt+Return");
  ASSERT_TRUE(wait_size(480, 640));
  ASSERT_EQ(xdo({"windowsize", win(), "1000", "1000"}), 0);
  ASSERT_TRUE(wait_size(1000, 1000));
  d = shown_until(1000, 1000, 140, 20, 3, title_after_game, same);
  EXPECT_EQ(d.count, 0u) << "first difference at " << d.x0 << "," << d.y0;
  EXPECT_EQ(d.not_bars, 0u);

  // The arrow keys bring out the pointer's mark (from where the mouse left it to virtual 123,
  // 160), drawn over the picture only: F12 writes the game's own picture, the headless runner's
  // frame at 3x.
  ASSERT_EQ(xdo({"mousemove", "--window", win(), std::to_string(140 + 3 * 120 + 1), std::to_string(20 + 3 * 160 + 1)}),
            0);
  sleep_ms(200);
  for (int i = 0; i < 3; ++i) key("key", "Right");
  d = shown_until(1000, 1000, 140, 20, 3, title_after_game,
                  [](const Diff& m) { return m.x0 <= 140 + 3 * 123 && 140 + 3 * 123 <= m.x1; });
  EXPECT_GT(d.count, 0u) << "no pointer mark";
  EXPECT_LE(std::max(d.x1 - d.x0, d.y1 - d.y0), 3 * 13);
  EXPECT_TRUE(d.x0 <= 140 + 3 * 123 && 140 + 3 * 123 <= d.x1 && d.y0 <= 20 + 3 * 160 && 20 + 3 * 160 <= d.y1);
  key("key", "F12");
  const std::string shot = wait_log(R"(Screenshot (PIXBRK_\d{8}_\d{6}(_\d+)?\.png) \(720 x 960, frame \d+\)\.)");
  std::vector<uint32_t> picture;
  int w = 0;
  int h = 0;
  ASSERT_TRUE(read_png((game_dir_ / shot).string(), &w, &h, &picture) && w == 720 && h == 960) << shot;
  size_t differing = 0;
  for (size_t i = 0; i < picture.size(); ++i)
    differing += picture[i] != title_after_game[i / 720 / 3 * 240 + i % 720 / 3];
  EXPECT_EQ(differing, 0u);

  // A round played with the keys: Space held, the paddle follows Right; Escape ends it.
  click(140 + 3 * 100 + 1, 20 + 3 * 110 + 1);
  key("keydown", "space");
  key("keydown", "Right");
  sleep_ms(1200);
  key("keyup", "Right");
  shown_until(1000, 1000, 140, 20, 3, title, [&](const Diff&) { return paddle_x(play) >= 104 + 40; });
  EXPECT_GE(paddle_x(play), 104 + 40) << "the paddle did not follow the keys";
  key("keyup", "space");
  key("key", "Escape");
  ASSERT_EQ(xdo({"mousemove", "--window", win(), "500", "990"}), 0);  // the mouse: the mark goes
  d = shown_until(1000, 1000, 140, 20, 3, title_after_game, same);
  EXPECT_EQ(d.count, 0u) << "Escape did not return to the title menu; first difference at " << d.x0 << "," << d.y0;

  // Without the focus the game stands still and takes next to no time; with it back it goes on.
  key("key", "F12");
  const int64_t before = std::stoll(wait_log(R"(Screenshot \S+ \(\S+ x \S+, frame (\d+)\)\.)", 2));
  const int64_t before_ns = host_now_ns();
  desktop_programs_[1] = spawn_program({"xclock"}, {"DISPLAY=" + xvfb_.display}, dir_.path(), "", "");
  const unsigned long other = x11_find_window(xvfb_.display, "xclock", 10000);
  ASSERT_NE(other, 0u);
  ASSERT_EQ(xdo({"windowfocus", std::to_string(other)}), 0);
  wait_log(R"(Paused: the window has lost the focus\.)");
  const long cpu_before = cpu_ticks();
  const int64_t idle_from = host_now_ns();
  sleep_ms(1000);
  const double idle_ticks = static_cast<double>(host_now_ns() - idle_from) / 1e9 * static_cast<double>(sysconf(_SC_CLK_TCK));
  EXPECT_LE(static_cast<double>(cpu_ticks() - cpu_before), idle_ticks / 20) << "more than 5 % of a core while paused";
  ASSERT_EQ(xdo({"windowfocus", win()}), 0);
  const int64_t paused_ms = std::stoll(wait_log(R"(Resumed after (\d+) ms\.)"));
  EXPECT_GE(paused_ms, 1000);
  sleep_ms(300);
  key("key", "F12");
  const int64_t after = std::stoll(wait_log(R"(Screenshot \S+ \(\S+ x \S+, frame (\d+)\)\.)", 3));
  const int64_t running_ms = (host_now_ns() - before_ns) / MS - paused_ms;
  EXPECT_GT(after, before) << "the game did not go on";
  EXPECT_LE(after - before, running_ms * 60 / 1000 + 12) << "frames ran while paused";
  // Minimised likewise.
  ASSERT_EQ(xdo({"windowminimize", win()}), 0);
  wait_log(R"(Paused: the window is minimised\.)");
  ASSERT_EQ(xdo({"windowactivate", win()}), 0);
  wait_log(R"(Resumed after \d+ ms\.)", 2);

  // The window's scale is remembered for the next run.
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);
  EXPECT_EQ(read_lines((game_dir_ / "DISPLAY.CFG").string()),
            (std::vector<std::string>{"# PIXEL BREAKER display settings", "mode window", "scale 3"}));
  start();
  EXPECT_TRUE(wait_size(720, 960));
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);
}

struct StartFailure {
  const char* name;
  const char* pack;  // "", "broken", "empty" or "good"
  bool display;
  std::vector<std::string> log;  // after the first line
  const char* says;              // on standard error
};

void PrintTo(const StartFailure& c, std::ostream* os) { *os << c.name; }

class StartUpFails : public ::testing::TestWithParam<StartFailure> {};

TEST_P(StartUpFails, LogsWhyTellsThePlayerAndExitsWithOne) {
  const StartFailure& c = GetParam();
  TempWorkDir dir;
  const fs::path game_dir = fs::path(dir.path()) / "game";
  fs::create_directories(game_dir);
  if (std::string(c.pack) == "broken") {
    std::ofstream(game_dir / "ROMDATA.BIN", std::ios::binary) << std::string("\x11\x00\x00\x00\x1a\x13", 6);
  } else if (std::string(c.pack) == "empty") {
    std::ofstream(game_dir / "ROMDATA.BIN", std::ios::binary) << std::string(4, '\0');  // loads, holds nothing
  } else if (std::string(c.pack) == "good") {
    ASSERT_FALSE(real_pack_path().empty()) << "ROMDATA.BIN has not been built";
    fs::copy_file(real_pack_path(), game_dir / "ROMDATA.BIN");
  }
  // A stale log from an earlier run must not survive.
  std::ofstream(game_dir / "LOG.TXT") << "old line\n";
  XvfbServer xvfb;
  std::vector<std::string> env = {"SDL_AUDIODRIVER=no-such-driver"};
  if (c.display) {
    ASSERT_TRUE(xvfb_start(&xvfb));
    env.push_back("DISPLAY=" + xvfb.display);
  } else {
    env.push_back("DISPLAY=:65000");
    env.push_back("WAYLAND_DISPLAY=no-such-wayland");
  }
  const pid_t pid = spawn_program({PIXBRK_GAME}, env, game_dir.string(), "", (game_dir / "stderr.txt").string());
  const int status = wait_program(pid, 10000);
  if (status == -1) kill(pid, SIGKILL);
  xvfb_stop(&xvfb);
  EXPECT_EQ(status, 1);

  const std::vector<std::string> lines = read_lines((game_dir / "LOG.TXT").string());
  ASSERT_EQ(lines.size(), c.log.size() + 1);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(STAMP + R"(Executes "PIXEL BREAKER" on .*)"))) << lines[0];
  for (size_t i = 0; i < c.log.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i + 1], std::regex(STAMP + c.log[i]))) << lines[i + 1];
  }
  std::vector<std::string> said;
  for (const std::string& l : read_lines((game_dir / "stderr.txt").string())) {
    if (l.rfind("pixbrk: ", 0) == 0) said.push_back(l);
  }
  ASSERT_EQ(said.size(), 1u) << "one clear line on standard error";
  EXPECT_NE(said[0].find(c.says), std::string::npos) << said[0];
  EXPECT_NE(said[0].find(game_dir.string() + "/LOG.TXT"), std::string::npos) << said[0];
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartUpFails,
    ::testing::Values(
        StartFailure{"no_pack",
                     "",
                     true,
                     {"Load binary file: ROMDATA\\.BIN" + AT + "943>", R"(Could not open: ROMDATA\.BIN \(2\))" + AT + "947>",
                      "loadbin error\\." + AT + "149>"},
                     "ROMDATA.BIN is missing or broken"},
        StartFailure{"broken_pack",
                     "broken",
                     true,
                     {"Load binary file: ROMDATA\\.BIN" + AT + "943>", R"(File broken: ROMDATA\.BIN)" + AT + "969>",
                      "loadbin error\\." + AT + "149>"},
                     "ROMDATA.BIN is missing or broken"},
        // The game cannot start without its pictures: the sound thread, already running, is
        // stopped before the program ends.
        StartFailure{"pack_without_pictures",
                     "empty",
                     true,
                     {"Load binary file: ROMDATA\\.BIN" + AT + "943>", "Using: \\S+" + AT + "478>",
                      R"(No sound device \(.*\): the game runs without sound\.)" + AT + "630>",
                      "Sound-thread has started\\." + AT + "754>", "nox_init error\\." + AT + "212>",
                      "Sound-thread will now stop\\." + AT + "808>"},
                     "lacks a picture or a sound"},
        StartFailure{"no_display",
                     "good",
                     false,
                     {"Load binary file: ROMDATA\\.BIN" + AT + "943>", R"(SDL_Init error\. \(.*\))" + AT + "170>"},
                     "no display"}),
    [](const ::testing::TestParamInfo<StartFailure>& p) { return std::string(p.param.name); });

}  // namespace
