// The headless runner as a host: scripts, trace, summary, pictures, sound, failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver_harness.h"
#include "engine/screen.h"
#include "game/game.h"
#include "headless/cli.h"
#include "headless/output.h"
#include "headless/script.h"
#include "pack/packwriter.h"

#include "support/png_read.h"

namespace {

struct BadLine {
  const char* text;
  int line;
  const char* expect;  // part of the message
};

class ScriptErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(ScriptErrors, NameTheFileLineAndWhatWasExpected) {
  const BadLine c = GetParam();
  std::vector<ScriptStep> steps;
  std::string err;
  EXPECT_FALSE(parse_script(c.text, "game.txt", &steps, &err));
  EXPECT_EQ(err.rfind("game.txt:" + std::to_string(c.line) + ": ", 0), 0u) << err;
  EXPECT_NE(err.find(c.expect), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptErrors,
    ::testing::Values(BadLine{"wait 3\njump\n", 2, "expected one of"},
                      BadLine{"# start\n\nwait\n", 3, "frame count"},
                      BadLine{"wait -1\n", 1, "frame count"},
                      BadLine{"wait 2x\n", 1, "'2x'"},
                      BadLine{"move 10\n", 1, "move X Y"},
                      BadLine{"move 10 y\n", 1, "client y"},
                      BadLine{"move 70000 1\n", 1, "client x"},
                      BadLine{"down now\n", 1, "unexpected 'now'"},
                      BadLine{"up\r\nwait 1 2\r\n", 2, "unexpected '2'"},
                      BadLine{"DOWN\n", 1, "'DOWN'"}));

TEST(Script, ParsesEveryEventWithCommentsAndBlankLines) {
  std::vector<ScriptStep> steps;
  std::string err;
  ASSERT_TRUE(parse_script("move 200 220 # GAME START\n\ndown\r\nup\nwait 12\nleave\nesc\nquit", "s", &steps,
                           &err))
      << err;
  ASSERT_EQ(steps.size(), 7u);
  EXPECT_EQ(steps[0].op, ScriptOp::Move);
  EXPECT_EQ(steps[0].a, 200);
  EXPECT_EQ(steps[0].b, 220);
  EXPECT_EQ(steps[1].op, ScriptOp::Down);
  EXPECT_EQ(steps[1].line, 3);
  EXPECT_EQ(steps[3].op, ScriptOp::Wait);
  EXPECT_EQ(steps[3].a, 12);
  EXPECT_EQ(steps[6].op, ScriptOp::Quit);
}

HeadlessOptions script_options(const std::string& text) {
  HeadlessOptions o;
  o.script_text = text;
  o.has_script_text = true;
  return o;
}

constexpr const char* kGameScript =
    "move 200 220\ndown\nup\n"  // GAME START
    "wait 30\nmove 100 500\ndown\nwait 20\nmove 300 500\nwait 40\nup\nwait 200\n";

TEST(Runner, SummaryCountsEveryFrameOfTheScript) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessResult r;
  ASSERT_EQ(headless_run(script_options(kGameScript), &r), 0) << r.error;
  EXPECT_EQ(r.frames, 3 + 30 + 2 + 20 + 1 + 40 + 1 + 200);
  EXPECT_EQ(r.scene, 2);
  EXPECT_EQ(r.round, 1);
  // Scores in points, as the game shows them (it counts in tens).
  EXPECT_EQ(headless_summary(r), "frames 297  scene 2  score " + std::to_string(r.score * 10) + "  hi_score " +
                                     std::to_string(r.hi_score * 10) + "  round 1");
}

TEST(Runner, QuitAndFrameLimitEndTheRun) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessResult r;
  ASSERT_EQ(headless_run(script_options("wait 5\nquit\nwait 100\n"), &r), 0);
  EXPECT_EQ(r.frames, 5);
  HeadlessOptions o = script_options("wait 100\n");
  o.max_frames = 17;
  ASSERT_EQ(headless_run(o, &r), 0);
  EXPECT_EQ(r.frames, 17);
}

TEST(Runner, SameScriptGivesTheSameTraceEveryRun) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessOptions o = script_options(kGameScript);
  HeadlessResult r;
  o.trace_file = "a.jsonl";
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  o.trace_file = "b.jsonl";
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  const std::string a = slurp("a.jsonl");
  EXPECT_EQ(std::count(a.begin(), a.end(), '\n'), r.frames);
  EXPECT_EQ(a, slurp("b.jsonl"));
}

TEST(Runner, TraceLinesHaveEveryKeyInOrderWithStoredValues) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessOptions o = script_options(kGameScript);
  o.trace_file = "t.jsonl";
  o.trace_every = 100;
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  std::istringstream in(slurp("t.jsonl"));
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 3u);  // frames 0, 100, 200
  const std::vector<std::string> keys = {
      "frame", "scene", "frame_counter", "score", "hi_score", "round", "scene_timer", "game_over",
      "game_over_timer", "items_caught", "max_combo", "combo", "touch_pressed", "touch_x", "touch_y",
      "touch_released", "paddle_x", "paddle_target_x", "ball_x", "ball_y", "ball_vx", "ball_vy", "ball_fx",
      "ball_fy", "serve_dir", "floor_present", "bomb_active", "bomb_x", "bomb_y", "alive_count", "march_delay",
      "march_phase", "march_group", "hit_popup_timer", "item_next", "round_bonus", "bonus_step", "playback",
      "opt_guide", "opt_floor", "rng", "replay_frames", "aliens", "items", "particle_next", "explosion_next",
      "mute"};
  std::regex key_re("\"([a-z_]+)\":");
  const std::string& last = lines[2];
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(last.begin(), last.end(), key_re); it != std::sregex_iterator(); ++it)
    found.push_back((*it)[1]);
  EXPECT_EQ(found, keys);
  EXPECT_EQ(last.rfind("{\"frame\":200,\"scene\":2,", 0), 0u) << last.substr(0, 60);
  // 40 aliens of 6 numbers and 40 items of 5.
  std::regex alien_re("\\[(-?\\d+,){5}-?\\d+\\]"), item_re("\\[(-?\\d+,){4}-?\\d+\\]");
  const size_t a0 = last.find("\"aliens\":["), i0 = last.find("\"items\":["), p0 = last.find(",\"particle_next\"");
  const std::string aliens = last.substr(a0, i0 - a0), items = last.substr(i0, p0 - i0);
  EXPECT_EQ(std::distance(std::sregex_iterator(aliens.begin(), aliens.end(), alien_re), std::sregex_iterator()), 40);
  EXPECT_EQ(std::distance(std::sregex_iterator(items.begin(), items.end(), item_re), std::sregex_iterator()), 40);
  // The ball has been served: its vertical speed is stored negative or positive, never wrapped.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(last, m, std::regex("\"ball_vy\":(-?\\d+)")));
  EXPECT_LE(std::abs(std::stoi(m[1])), 55);
  EXPECT_NE(std::stoi(m[1]), 0);
}

TEST(Runner, MissingOrBrokenPackFailsWithTheLogsMessage) {
  TempWorkDir dir;
  HeadlessResult r;
  EXPECT_NE(headless_run(script_options("wait 1\n"), &r), 0);
  EXPECT_NE(r.error.find("Could not open: ROMDATA.BIN"), std::string::npos) << r.error;
  std::string log = slurp("LOG.TXT");
  EXPECT_NE(log.find("loadbin error."), std::string::npos);
  EXPECT_EQ(log.find("Exit program."), std::string::npos);

  ASSERT_TRUE(write_file("ROMDATA.BIN", std::vector<uint8_t>{1, 0}));
  EXPECT_NE(headless_run(script_options("wait 1\n"), &r), 0);
  EXPECT_NE(r.error.find("File broken: ROMDATA.BIN"), std::string::npos) << r.error;

  std::vector<PackEntry> entries = synthetic_game_entries();
  entries.pop_back();  // no EFF12.PCM
  ASSERT_TRUE(write_file("ROMDATA.BIN", pack_image(entries)));
  EXPECT_NE(headless_run(script_options("wait 1\n"), &r), 0);
  EXPECT_NE(r.error.find("nox_init"), std::string::npos) << r.error;
  log = slurp("LOG.TXT");
  EXPECT_NE(log.find("nox_init error."), std::string::npos);
}

TEST(Runner, LogStartsFreshAndEndsWithExit) {
  TempWorkDir dir;
  write_synthetic_pack();
  ASSERT_TRUE(write_file("LOG.TXT", std::vector<uint8_t>{'o', 'l', 'd', '\n'}));
  HeadlessResult r;
  ASSERT_EQ(headless_run(script_options("wait 3\n"), &r), 0);
  const std::string log = slurp("LOG.TXT");
  EXPECT_EQ(log.find("old"), std::string::npos);
  EXPECT_NE(log.find("Executes \"PIXEL BREAKER\" on "), std::string::npos);
  EXPECT_NE(log.find("Load binary file: ROMDATA.BIN"), std::string::npos);
  ASSERT_GE(log.size(), 14u);
  EXPECT_NE(log.rfind("Exit program."), std::string::npos);
  EXPECT_EQ(log.find('\n', log.rfind("Exit program.")), log.size() - 1);
}

// Every path option that names the wrong thing stops the run with its cause before anything is
// touched: nothing is read from a device without end, nothing is left under an output's name.
TEST(Runner, PathsThatNameTheWrongThingAreErrorsWithTheirCause) {
  TempWorkDir dir;
  write_synthetic_pack();
  std::filesystem::create_directory("folder");
  const struct {
    void (*set)(HeadlessOptions& o);
    const char* message;
    bool usage;  // a usage error (exit status 2 on the command line)
  } cases[] = {
      {[](HeadlessOptions& o) { o.script_file = "folder"; }, "--script folder: is a folder", false},
      {[](HeadlessOptions& o) { o.script_file = "none.txt"; }, "--script none.txt: No such file or directory", false},
      {[](HeadlessOptions& o) { o.script_file = "/dev/zero"; }, "--script /dev/zero: is a device, not a file", false},
      {[](HeadlessOptions& o) { o.replay_file = "folder"; }, "--replay folder: is a folder", false},
      {[](HeadlessOptions& o) { o.dir = "ROMDATA.BIN"; }, "--dir ROMDATA.BIN: is not a folder", false},
      {[](HeadlessOptions& o) { o.dir = "missing-dir"; }, "--dir missing-dir: No such file or directory", false},
      {[](HeadlessOptions& o) { o.trace_file = "folder"; }, "--trace folder: is a folder", false},
      {[](HeadlessOptions& o) { o.trace_file = "no/such/dir/t.jsonl"; },
       "--trace no/such/dir/t.jsonl: No such file or directory", false},
      {[](HeadlessOptions& o) { o.wav_file = "/dev/null"; }, "--wav /dev/null: is a device, not a file", false},
      {[](HeadlessOptions& o) { o.pngs.push_back({1, "no/such/dir/p.png"}); },
       "--png no/such/dir/p.png: No such file or directory", false},
      {[](HeadlessOptions& o) { o.pngs.push_back({1, "folder"}); }, "--png folder: is a folder", false},
      {[](HeadlessOptions& o) { o = HeadlessOptions{}; }, "nothing would end the run: give --script, --frames or --replay",
       true},
      {[](HeadlessOptions& o) { o.bot = true; }, "--bot plays on for ever: give --frames too", true},
  };
  for (const auto& c : cases) {
    HeadlessOptions o = script_options("wait 3\n");
    c.set(o);
    HeadlessResult r;
    EXPECT_NE(headless_run(o, &r), 0) << c.message;
    EXPECT_EQ(r.error, c.message);
    EXPECT_EQ(r.bad_options, c.usage) << c.message;
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(".")) files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"ROMDATA.BIN", "folder"})) << c.message;
  }
  HeadlessOptions o = script_options("wait 3\n");
  o.pngs.push_back({50, "late.png"});
  o.trace_file = "t.jsonl";
  HeadlessResult r;
  EXPECT_NE(headless_run(o, &r), 0);
  EXPECT_EQ(r.error, "no picture for frame 50: the run ended after 3 frames");
  EXPECT_FALSE(std::filesystem::exists("t.jsonl")) << "a failed run leaves no trace under its name";
}

TEST(Runner, WorkingDirectoryOptionKeepsPathsRelativeToTheCaller) {
  TempWorkDir dir;
  std::filesystem::create_directory("game");
  std::filesystem::current_path("game");
  write_synthetic_pack();
  std::filesystem::current_path("..");
  HeadlessOptions o = script_options("wait 2\n");
  o.dir = "game";
  o.trace_file = "here.jsonl";
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  EXPECT_TRUE(std::filesystem::exists("here.jsonl"));
  EXPECT_TRUE(std::filesystem::exists("game/LOG.TXT"));
  EXPECT_FALSE(std::filesystem::exists("LOG.TXT"));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir.path()));
}

TEST(Runner, WavHoldsOneChunkPerSixFrames) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessOptions o = script_options("move 200 220\ndown\nup\nwait 58\n");  // GAME START sounds
  o.wav_file = "out.wav";
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  const std::string w = slurp("out.wav");
  ASSERT_EQ(w.size(), 44u + 10u * 4410u);
  EXPECT_EQ(w.substr(0, 4), "RIFF");
  auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(w[at]) | static_cast<uint8_t>(w[at + 1]) << 8 |
                                 static_cast<uint8_t>(w[at + 2]) << 16 | static_cast<uint8_t>(w[at + 3]) << 24);
  };
  EXPECT_EQ(le32(4), w.size() - 8);
  EXPECT_EQ(le32(24), 22050u);
  EXPECT_EQ(le32(40), 10u * 4410u);
  EXPECT_NE(w.find_first_not_of('\0', 44), std::string::npos);  // the choice sound was mixed
}

TEST(Runner, PicturesAreTheComposedFrameAtEitherScale) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessOptions o = script_options("wait 5\n");
  o.pngs.push_back({3, "one.png"});
  o.scale = 2;
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  std::vector<uint32_t> frame(headless_frame(), headless_frame() + NOX_W * NOX_H);
  int w = 0, h = 0;
  std::vector<uint32_t> two, one;
  ASSERT_TRUE(read_png("one.png", &w, &h, &two));
  ASSERT_EQ(w, 480);
  ASSERT_EQ(h, 640);
  std::string err;
  ASSERT_TRUE(write_png_stored("plain.png", frame.data(), NOX_W, NOX_H, 1, &err)) << err;
  ASSERT_TRUE(read_png("plain.png", &w, &h, &one));
  ASSERT_EQ(w, 240);
  ASSERT_EQ(h, 320);
  size_t differ = 0;
  for (int y = 0; y < 320; ++y)
    for (int x = 0; x < 240; ++x) {
      const uint32_t p = frame[static_cast<size_t>(y * 240 + x)] & 0xFFFFFF;
      differ += one[static_cast<size_t>(y * 240 + x)] != p;
      differ += two[static_cast<size_t>(2 * y * 480 + 2 * x)] != p;
      differ += two[static_cast<size_t>((2 * y + 1) * 480 + 2 * x + 1)] != p;
    }
  EXPECT_EQ(differ, 0u);
}

TEST(Runner, PictureAfterUncomposedFramesMatchesComposingEveryFrame) {
  TempWorkDir dir;
  write_synthetic_pack();
  HeadlessOptions o;
  o.bot = true;
  o.max_frames = 400;
  o.pngs = {{120, "a120.png"}, {350, "a350.png"}};
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  std::remove("SCORE.DAT");
  o.compose_every_frame = true;
  o.pngs = {{120, "b120.png"}, {350, "b350.png"}};
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  EXPECT_EQ(r.scene, 2);  // the pictures show play, where the sprites move every frame
  EXPECT_FALSE(slurp("a350.png").empty());
  EXPECT_EQ(slurp("a120.png"), slurp("b120.png"));
  EXPECT_EQ(slurp("a350.png"), slurp("b350.png"));
}

TEST(RunnerCli, BadArgumentsAreUsageErrors) {
  const char* a1[] = {"pixbrk-headless", "--frames", "x"};
  EXPECT_EQ(headless_main(3, const_cast<char**>(a1)), 2);
  const char* a2[] = {"pixbrk-headless", "--png", "12"};
  EXPECT_EQ(headless_main(3, const_cast<char**>(a2)), 2);
  const char* a3[] = {"pixbrk-headless", "--bogus"};
  EXPECT_EQ(headless_main(2, const_cast<char**>(a3)), 2);
  const char* a4[] = {"pixbrk-headless", "--scale=3"};
  EXPECT_EQ(headless_main(2, const_cast<char**>(a4)), 2);
}

}  // namespace

// The game never reads its pictures back: a run that draws nothing (the runner's default without
// pictures, and the server's) plays exactly like one that draws and composes every frame.
TEST(Runner, TracesAreTheSameWithDrawingOnAndOff) {
  TempWorkDir dir;
  write_synthetic_pack();
  std::string traces[3];
  for (int drawn = 0; drawn < 3; ++drawn) {
    HeadlessOptions o;
    o.bot = true;
    o.max_frames = 3000;
    o.draw = drawn >= 1;
    o.compose_every_frame = drawn == 2;
    o.trace_file = "trace" + std::to_string(drawn) + ".jsonl";
    HeadlessResult r;
    ASSERT_EQ(headless_run(o, &r), 0) << r.error;
    EXPECT_GT(r.score, 0u) << "the bot scored: the trace covers play";
    std::remove("SCORE.DAT");
    traces[drawn] = slurp(o.trace_file);
  }
  EXPECT_EQ(std::count(traces[0].begin(), traces[0].end(), '\n'), 3000);
  EXPECT_EQ(traces[0], traces[1]);
  EXPECT_EQ(traces[0], traces[2]);
}
