// Sharing games: replay check and replay info.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "support/test_pack.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

uint32_t le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                               static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint8_t>(b[at + 3]) << 24);
}

void set_le32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// pixbrk-headless in-process: exit code and what it printed on standard output.
int cli(std::initializer_list<const char*> args, std::string* out) {
  std::vector<char*> argv{const_cast<char*>("pixbrk-headless")};
  for (const char* a : args) argv.push_back(const_cast<char*>(a));
  testing::internal::CaptureStdout();
  const int rc = headless_main(static_cast<int>(argv.size()), argv.data());
  *out = testing::internal::GetCapturedStdout();
  return rc;
}

// A working directory with the real pack and a game saved into slot 1 by the game's own save
// menu (floor and guide on, one round lost).
class SavedGame : public ::testing::Test {
 protected:
  void SetUp() override {
    if (real_pack_path().empty()) GTEST_SKIP() << "ROMDATA.BIN is not built";
    fs::copy_file(real_pack_path(), "ROMDATA.BIN");
    HeadlessOptions o;
    o.script_file = std::string(PIXBRK_SOURCE_DIR) + "/tests/win/scripts/game_and_save.txt";
    ASSERT_EQ(headless_run(o, &game), 0) << game.error;
    rep = slurp("PIXBRK01.REP");
    ASSERT_GT(rep.size(), 32u);
  }
  TempWorkDir dir;
  HeadlessResult game;
  std::string rep;
};

TEST_F(SavedGame, VerifyAgreesWithTheGameAndNamesEachChangedClaim) {
  const uint32_t frames = le32(rep, 16);
  ASSERT_EQ(rep.size(), 32 + 12 * frames);
  std::string out;
  EXPECT_EQ(cli({"--replay", "PIXBRK01.REP", "--verify"}, &out), 0);
  EXPECT_EQ(out, "verified: score " + std::to_string(game.score * 10) + " in " + std::to_string(frames) + " frames\n");

  ReplayCheck c;
  std::string changed = rep;
  set_le32(changed, 20, le32(rep, 20) + 1);
  spit("score.rep", changed);
  EXPECT_EQ(verify_replay("score.rep", "", &c), 1);
  EXPECT_EQ(c.message, "score: the game ended with " + std::to_string(game.score * 10) + ", its header says " +
                           std::to_string(game.score * 10 + 10));
  EXPECT_EQ(cli({"--replay", "score.rep", "--verify"}, &out), 1);
  EXPECT_EQ(out, "not verified: " + c.message + "\n");

  // One record fewer: the playback reads a zero record where the game went on, and is stopped
  // as soon as it reads more than the header counts.
  changed = rep;
  set_le32(changed, 16, frames - 1);
  spit("short.rep", changed.substr(0, changed.size() - 12));
  EXPECT_EQ(verify_replay("short.rep", "", &c), 1);
  EXPECT_TRUE(c.overran);
  EXPECT_EQ(c.message, "frames: the game goes on past the " + std::to_string(frames - 1) + " frames its header counts");

  changed = rep + std::string(12, '\0');
  set_le32(changed, 16, frames + 1);
  spit("long.rep", changed);
  EXPECT_EQ(verify_replay("long.rep", "", &c), 1);
  EXPECT_EQ(c.message, "frames: the game ended after " + std::to_string(frames) + " frames, its header says " +
                           std::to_string(frames + 1));
}

TEST_F(SavedGame, FilesThatAreNotPlayableReplaysAreExit2ForVerifyAndInfo) {
  const uint32_t frames = le32(rep, 16);
  std::string eleven = rep, huge = rep, undated = rep;
  set_le32(eleven, 16, 11);
  set_le32(huge, 16, 131073);
  undated.replace(0, 16, "----/--/-- --:--");
  const struct {
    const char* name;
    std::string bytes;
    std::string why;
  } cases[] = {
      {"cut.rep", rep.substr(0, rep.size() - 1),
       "cut.rep is cut short: its header counts " + std::to_string(frames) + " frames (" +
           std::to_string(rep.size()) + " bytes), the file has " + std::to_string(rep.size() - 1) + " bytes"},
      {"tiny.rep", rep.substr(0, 31), "tiny.rep is not a replay file: it is shorter than a replay header (31 bytes)"},
      {"eleven.rep", eleven, "eleven.rep is not a replay file: its header counts 11 frames, outside 12 to 131072"},
      {"huge.rep", huge, "huge.rep is not a replay file: its header counts 131073 frames, outside 12 to 131072"},
      {"undated.rep", undated, "its header has no date"},
  };
  for (const auto& c : cases) {
    spit(c.name, c.bytes);
    ReplayCheck check;
    EXPECT_EQ(verify_replay(c.name, "", &check), 2) << c.name;
    EXPECT_NE(check.message.find(c.why), std::string::npos) << check.message;
    std::string out;
    EXPECT_EQ(cli({"--info", c.name}, &out), 2) << c.name;
    EXPECT_EQ(out, "");
  }
  std::string out;
  EXPECT_EQ(cli({"--replay", "missing.rep", "--verify"}, &out), 2);
  fs::remove("ROMDATA.BIN");
  EXPECT_EQ(cli({"--replay", "PIXBRK01.REP", "--verify"}, &out), 2);  // cannot play: no verdict
  EXPECT_EQ(out, "");
}

TEST(ReplayInfo, PrintsTheHeaderAsTextAndJson) {
  TempWorkDir dir;
  std::string h = "2024/05/06 07:08";
  h += std::string(16, '\0');
  set_le32(h, 16, 3723);  // 62.05 s
  set_le32(h, 20, 1234);
  h[24] = 1;
  spit("a.rep", h + std::string(12 * 3723, '\0'));
  std::string out;
  EXPECT_EQ(cli({"--info", "a.rep"}, &out), 0);
  EXPECT_EQ(out,
            "date:   2024/05/06 07:08\nlength: 3723 frames (01:02)\nscore:  12340\nguide:  on\nfloor:  off\n");
  EXPECT_EQ(cli({"--info", "a.rep", "--json"}, &out), 0);
  EXPECT_EQ(out,
            "{\"date\":\"2024/05/06 07:08\",\"frames\":3723,\"length\":\"01:02\",\"score\":12340,\"guide\":true,"
            "\"floor\":false}\n");
  EXPECT_EQ(cli({"--json"}, &out), 2);
  EXPECT_EQ(cli({"--info", "a.rep", "--frames", "3"}, &out), 2);
  EXPECT_EQ(cli({"--verify"}, &out), 2);
  EXPECT_EQ(cli({"--replay", "a.rep", "--verify", "--wav", "x.wav"}, &out), 2);
}

}  // namespace
