// The real game in a window on a private Xvfb, driven with real pointer input from xdotool and
// closed as a window manager or the system would close it.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "nox_sdl/audio.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "pack/pack.h"
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

bool read_png(const fs::path& path, int* w, int* h, std::vector<uint32_t>* rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> buffer(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr) == 0) return false;
  *w = static_cast<int>(image.width);
  *h = static_cast<int>(image.height);
  rgb->resize(buffer.size() / 3);
  for (size_t i = 0; i < rgb->size(); ++i) {
    (*rgb)[i] = static_cast<uint32_t>(buffer[3 * i]) << 16 | static_cast<uint32_t>(buffer[3 * i + 1]) << 8 | buffer[3 * i + 2];
  }
  return true;
}

class RealGame : public ::testing::Test {
 protected:
  void SetUp() override {
    pack_ = real_pack_path();
    if (pack_.empty()) GTEST_SKIP() << "ROMDATA.BIN has not been built (target romdata)";
    game_dir_ = fs::path(dir_.path()) / "game";
    fs::create_directories(game_dir_);
    fs::copy_file(pack_, game_dir_ / "ROMDATA.BIN");
    ASSERT_TRUE(xvfb_start(&xvfb_)) << "Xvfb does not start";
    // The pointer waits in the screen's far corner, outside the window.
    ASSERT_EQ(xdo({"mousemove", "1023", "767"}), 0) << xdo_errors();
  }
  void TearDown() override {
    if (game_ > 0 && wait_program(game_, 0) == -1) {
      kill(game_, SIGKILL);
      wait_program(game_, 5000);
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
  void start(const std::vector<std::string>& extra_env = {}) {
    std::vector<std::string> env = {"DISPLAY=" + xvfb_.display, "SDL_AUDIODRIVER=disk",
                                     "SDL_DISKAUDIOFILE=" + capture().string()};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    started_ns_ = host_now_ns();
    game_ = spawn_program({PIXBRK_GAME}, env, game_dir_.string(), "", (game_dir_ / "stderr.txt").string());
    window_ = x11_find_window(xvfb_.display, TITLE, 10000);
    ASSERT_NE(window_, 0u) << "no window titled " << TITLE;
  }
  int finish() {
    const int status = wait_program(game_, 10000);
    ended_ns_ = host_now_ns();
    if (status != -1) game_ = -1;
    return status;
  }
  fs::path capture() const { return game_dir_ / "sound.raw"; }
  std::vector<std::string> log() const { return read_lines((game_dir_ / "LOG.TXT").string()); }

  // Checks the log of a run that was started, played and closed normally.
  void expect_clean_log(bool with_sound_device) {
    const std::vector<std::string> lines = log();
    std::vector<std::string> want = {
        STAMP + R"(Executes "PIXEL BREAKER" on \S+ \S+ .*\(\S+\))",
        STAMP + "Load binary file: ROMDATA\\.BIN" + AT + "943>",
        STAMP + "Using: \\S+" + AT + "478>",
    };
    if (!with_sound_device) want.push_back(STAMP + R"(No sound device \(.*\): the game runs without sound\.)" + AT + "630>");
    want.push_back(STAMP + "Sound-thread has started\\." + AT + "754>");
    want.push_back(STAMP + "Sound-thread will now stop\\." + AT + "808>");
    want.push_back(STAMP + R"(Presented \d+ frames in \d+ ms\.)" + AT + "296>");
    want.push_back(STAMP + "Exit program\\." + AT + "300>");
    ASSERT_EQ(lines.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], std::regex(want[i]))) << lines[i];
  }

  TempWorkDir dir_;
  std::string pack_;
  fs::path game_dir_;
  XvfbServer xvfb_;
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
  // Neither resizable nor maximisable: the window manager may only give it exactly this size.
  int limits[4] = {};
  ASSERT_TRUE(x11_size_limits(xvfb_.display, window_, &limits[0], &limits[1], &limits[2], &limits[3]));
  EXPECT_EQ(limits[0], 480);
  EXPECT_EQ(limits[1], 640);
  EXPECT_EQ(limits[2], 480);
  EXPECT_EQ(limits[3], 640);
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
  ASSERT_TRUE(read_png(frame, &fw, &fh, &expected));
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
  const int64_t closing_ns = host_now_ns();
  ASSERT_TRUE(x11_close_window(xvfb_.display, window_));
  EXPECT_EQ(finish(), 0);
  EXPECT_LT(ended_ns_ - closing_ns, 1000 * MS) << "closing the window must end the game promptly";

  expect_clean_log(true);

  // 60 frames per second of wall time.
  std::smatch m;
  const std::vector<std::string> lines = log();
  ASSERT_GE(lines.size(), 2u);
  const std::string frames_line = lines[lines.size() - 2];
  ASSERT_TRUE(std::regex_search(frames_line, m, std::regex(R"(Presented (\d+) frames in (\d+) ms)")));
  const double frames = std::stod(m[1]);
  const double ms = std::stod(m[2]);
  const double expected_frames = ms * 60.0 / 1000.0 + 1.0;
  EXPECT_NEAR(frames, expected_frames, expected_frames * 0.02) << frames_line;
  EXPECT_LE(ms * MS, static_cast<double>(ended_ns_ - started_ns_));
  EXPECT_GE(ms * MS, static_cast<double>(closing_ns - started_ns_) - 1500.0 * MS);

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
    if (real_pack_path().empty()) GTEST_SKIP() << "ROMDATA.BIN has not been built";
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
