// The ranking table, SCORE.DAT and the ranking display.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/screen.h"
#include "engine/sound.h"
#include "file_util.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "support/test_pack.h"

namespace {

constexpr const char* kStamp = "2024/03/05 07:09";
constexpr const char* kOther = "2025/11/30 23:59";

class Ranking : public ::testing::Test {
 protected:
  void SetUp() override {
    g = Game{};
    nox_set_mute(0);
    replay_clear();
    std::memset(settings_record, 0, sizeof settings_record);
    reset_ranking();
  }
  void TearDown() override { nox_set_mute(0); }

  // Starts up the ranking as the game does and returns Check ranking's result.
  int start_up() {
    const int r = check_ranking();
    if (r != 0) reset_ranking();
    return r;
  }

  // A full table with scores 1600, 1500, ... 100 (entry k holds 1700 - 100 k).
  static std::vector<uint8_t> full_table_file() {
    std::vector<uint8_t> f(SCORE_FILE_BYTES, 0);
    for (int i = 0; i < RANKING_ENTRIES; ++i) put_entry(f, i, kStamp, static_cast<uint32_t>(1600 - 100 * i));
    return f;
  }

  TempWorkDir dir_;
};

struct StampCase {
  const char* text;
  bool ok;
};

class TimeStamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(TimeStamp, OnlyTheShapeIsChecked) {
  const StampCase& c = GetParam();
  EXPECT_EQ(is_timestamp(reinterpret_cast<const uint8_t*>(c.text)), c.ok) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Shapes, TimeStamp,
                         ::testing::Values(StampCase{"2012/05/01 09:30", true}, StampCase{"2012/13/45 99:99", true},
                                           StampCase{"0000/00/00 00:00", true},
                                           StampCase{"----/--/-- --:--", false},
                                           StampCase{"2012/05/01 09:3a", false},
                                           StampCase{"2012-05-01 09:30", false},
                                           StampCase{"2012/05/01T09:30", false},
                                           StampCase{"2012/05/01 09.30", false},
                                           StampCase{"/012/05/01 09:30", false},
                                           StampCase{"2012/05/01 09:3:", false}));

TEST_F(Ranking, MadeDateTextIsAWellFormedStamp) {
  uint8_t field[18];
  std::memset(field, 'x', sizeof field);
  make_date_text(field);
  EXPECT_TRUE(is_timestamp(field));
  EXPECT_EQ(field[16], 'x') << "only 16 characters are written";
}

struct BadTable {
  const char* name;
  int entry;
  const char* date;
  uint32_t score;
  size_t length;
  int expect;
};

class RankingFile : public Ranking, public ::testing::WithParamInterface<BadTable> {};

// Any fault in any entry makes the whole table default, but the settings of the file still count.
TEST_P(RankingFile, CheckedEntryByEntry) {
  const BadTable& c = GetParam();
  auto f = full_table_file();
  for (int i = c.entry; i < RANKING_ENTRIES; ++i) put_entry(f, i, DATE_PLACEHOLDER, 0);
  put_entry(f, c.entry, c.date, c.score);
  f[328] = 1;
  f[330] = 1;
  f.resize(c.length, 0);
  write_bytes("SCORE.DAT", f);
  EXPECT_EQ(start_up(), c.expect) << c.name;
  if (c.expect == 0) {
    EXPECT_EQ(g.hi_score, 1600u);
  } else {
    EXPECT_EQ(ranking_score(0), 0u) << "the whole table is default";
    EXPECT_EQ(std::memcmp(ranking_table, DATE_PLACEHOLDER, 16), 0);
  }
  if (c.length >= 331) {
    EXPECT_EQ(nox_get_mute(), 1) << c.name;
    EXPECT_EQ(settings_record[10], 1) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RankingFile,
    ::testing::Values(BadTable{"limit score", 3, kStamp, 9999999, 332, 0},
                      BadTable{"score too big", 3, kStamp, 10000000, 332, -1},
                      BadTable{"huge score", 15, kStamp, 0xFFFFFFFFu, 332, -1},
                      BadTable{"odd but shapely date", 2, "2012/13/45 99:99", 5, 332, 0},
                      BadTable{"letter in date", 2, "2012/O5/01 09:30", 5, 332, -1},
                      BadTable{"zero bytes as date", 15, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 0, 332, -1},
                      BadTable{"file of 315 bytes", 15, kStamp, 1, 315, -1},
                      BadTable{"file of 316 bytes", 15, DATE_PLACEHOLDER, 0, 316, 0},
                      BadTable{"longer file", 15, kStamp, 1, 5000, 0}),
    [](const auto& tp) {
      std::string n = tp.param.name;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST_F(Ranking, WriteProducesTheExactLayout) {
  std::vector<uint8_t> f(SCORE_FILE_BYTES, 0);
  for (int i = 0; i < RANKING_ENTRIES; ++i) put_entry(f, i, DATE_PLACEHOLDER, 0);
  put_entry(f, 0, kStamp, 0x00123456);  // each byte differs: shows the byte order
  for (int i = 0; i < 8; ++i) f[320 + i] = static_cast<uint8_t>(0xA0 + i);  // reserved, kept
  f[331] = 0x5A;
  f[329] = 1;
  write_bytes("SCORE.DAT", f);
  ASSERT_EQ(start_up(), 0);
  nox_set_mute(1);
  write_score_file();
  auto expect = f;
  expect[328] = 1;  // the mute flag is taken from the engine at each write
  EXPECT_EQ(read_bytes("SCORE.DAT"), expect);
  EXPECT_EQ(temp_files_beside("SCORE.DAT"), 0);
}

TEST_F(Ranking, SettingsSurviveARestart) {
  start_up();
  nox_set_mute(1);
  settings_record[9] = 1;
  write_score_file();
  nox_set_mute(0);
  std::memset(settings_record, 0, sizeof settings_record);
  start_up();
  EXPECT_EQ(nox_get_mute(), 1);
  EXPECT_EQ(settings_record[9], 1);
  EXPECT_EQ(settings_record[10], 0);
  nox_set_mute(0);
  write_score_file();
  EXPECT_EQ(read_bytes("SCORE.DAT")[328], 0);
}

TEST_F(Ranking, WithoutAFileTheFirstGameIsEntryOneAndCreatesTheFile) {
  nox_set_mute(1);
  EXPECT_EQ(start_up(), -1);
  EXPECT_EQ(nox_get_mute(), 1) << "a missing file leaves the mute flag alone";
  EXPECT_FALSE(file_exists("SCORE.DAT")) << "starting up never writes the file";
  g.score = 0;
  register_score();
  const auto f = read_bytes("SCORE.DAT");
  ASSERT_EQ(f.size(), 332u);
  EXPECT_TRUE(is_timestamp(f.data()));
  EXPECT_EQ(std::memcmp(f.data(), replay_buffer, 16), 0) << "the entry's date is the replay header's";
  for (int i = 1; i < RANKING_ENTRIES; ++i) {
    EXPECT_EQ(std::memcmp(f.data() + 20 * i, DATE_PLACEHOLDER, 16), 0);
    EXPECT_EQ(get_le32(f.data() + 20 * i + 16), 0u);
  }
  EXPECT_EQ(f[328], 1);
}

struct Placement {
  uint32_t score;
  int place;  // -1 not ranked
};

class RankingPlace : public Ranking, public ::testing::WithParamInterface<Placement> {};

TEST_P(RankingPlace, EqualScoresGoAboveAndTheLastEntryDrops) {
  const Placement& c = GetParam();
  auto f = full_table_file();
  put_entry(f, 15, kOther, 100);
  write_bytes("SCORE.DAT", f);
  ASSERT_EQ(start_up(), 0);
  const auto before = read_bytes("SCORE.DAT");
  std::filesystem::remove("SCORE.DAT");
  g.score = c.score;
  register_score();

  EXPECT_EQ(replay_score(), c.score) << "every finished game stamps the recording";
  EXPECT_TRUE(is_timestamp(replay_buffer));
  if (c.place < 0) {
    EXPECT_FALSE(file_exists("SCORE.DAT")) << "an unranked game does not write the file";
    EXPECT_EQ(std::memcmp(ranking_table, before.data(), 320), 0);
    return;
  }
  const auto after = read_bytes("SCORE.DAT");
  ASSERT_EQ(after.size(), 332u);
  EXPECT_EQ(std::memcmp(after.data(), ranking_table, 320), 0);
  for (int i = 0; i < c.place; ++i) EXPECT_EQ(ranking_score(i), 1600u - 100u * static_cast<uint32_t>(i));
  EXPECT_EQ(ranking_score(c.place), c.score);
  EXPECT_EQ(std::memcmp(ranking_table + 20 * c.place, replay_buffer, 16), 0);
  for (int i = c.place + 1; i < RANKING_ENTRIES; ++i) {
    EXPECT_EQ(std::memcmp(ranking_table + 20 * i, before.data() + 20 * (i - 1), 20), 0) << "entry " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Scores, RankingPlace,
                         ::testing::Values(Placement{1400, 2}, Placement{1401, 2}, Placement{9999999, 0},
                                           Placement{100, 15}, Placement{99, -1}, Placement{0, -1}));

TEST_F(Ranking, PlaybackRegistersNothing) {
  start_up();
  g.playback = 1;
  g.score = 500;
  register_score();
  EXPECT_FALSE(file_exists("SCORE.DAT"));
  EXPECT_EQ(ranking_score(0), 0u);
  EXPECT_EQ(replay_score(), 0u);
  EXPECT_EQ(replay_buffer[0], 0);
}

TEST_F(Ranking, MissingDirectoryKeepsTheGameGoing) {
  start_up();
  std::filesystem::create_directory("gone");
  std::filesystem::current_path("gone");
  std::filesystem::remove(std::filesystem::current_path());
  g.score = 70;
  register_score();
  EXPECT_EQ(ranking_score(0), 70u) << "memory keeps the new table";
  EXPECT_EQ(start_up(), -1);
}

// Marks the first row equal to the last score, at the top line of its box (the text starts a pixel lower).
TEST_F(Ranking, DisplayMarksTheFirstEqualRow) {
  auto f = full_table_file();
  put_entry(f, 4, kStamp, 1300);  // entries 4 and 5 both hold 1300
  write_bytes("SCORE.DAT", f);
  ASSERT_EQ(start_up(), 0);
  for (uint32_t score : {1300u, 0u, 1250u}) {
    std::memset(nox_sp, 0, sizeof nox_sp);
    g.score = score;
    g.scene = Scene::RankingFromTitle;
    scene_ranking();
    for (int i = 0; i < RANKING_ENTRIES; ++i) {
      const bool marked = score == 1300 && i == 3;
      EXPECT_EQ(nox_sp[(59 + 14 * i) * NOX_W + 230], marked ? 70 : 0) << "score " << score << " row " << i;
      EXPECT_EQ(nox_sp[(68 + 14 * i) * NOX_W + 9], marked ? 70 : 0);
    }
    EXPECT_EQ(g.scene, Scene::RankingFromTitle) << "stays until the pointer is lifted";
  }
}

TEST_F(Ranking, DisplayLeavesOnRelease) {
  start_up();
  g.touch_released = 1;
  g.scene = Scene::RankingFromTitle;
  scene_ranking();
  EXPECT_EQ(g.scene, Scene::TitleAgain);
  g.scene = Scene::Ranking;
  scene_ranking();
  EXPECT_EQ(g.scene, Scene::Title);
}

}  // namespace
