// Replay files, the slot scan and the two slot menus.
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
#include "game/slots.h"
#include "support/test_pack.h"

namespace {

constexpr const char* kStamp = "2024/03/05 07:09";
constexpr uint8_t kStale = 0xAB;

std::string slot_name(int s) {
  char n[32];
  std::snprintf(n, sizeof n, "PIXBRK%02d.REP", s);
  return n;
}

class Slots : public ::testing::Test {
 protected:
  void SetUp() override {
    g = Game{};
    replay_clear();
    slot_scan();
  }

  // One frame of a menu with the pointer lifted over row r (0..15 slots, 16 CANCEL).
  static void release_over_row(int (*scene)(), int r, int32_t x = 100) {
    g.touch_pressed = 1;
    g.touch_x = x;
    g.touch_y = 62 + 14 * r;
    scene();
    g.touch_pressed = 0;
    g.touch_released = 1;
    scene();
    g.touch_released = 0;
  }

  // Fills the buffer as a finished game of `frames` play frames leaves it.
  static void record_game(uint32_t frames, uint32_t score) {
    replay_clear();
    std::memcpy(replay_buffer, kStamp, 16);
    put_le32(replay_buffer + 16, frames);
    put_le32(replay_buffer + 20, score);
    replay_buffer[24] = 1;
    for (uint32_t i = 0; i < frames * 12; ++i) replay_buffer[32 + i] = static_cast<uint8_t>(i % 251 + 1);
  }

  TempWorkDir dir_;
};

struct ScanCase {
  const char* name;
  const char* date;
  uint32_t frames;
  uint32_t records;
  size_t cut;  // file cut to this many bytes, 0 = not cut
  bool listed;
};

class SlotScan : public Slots, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(SlotScan, ListsOnlyUsableHeaders) {
  const ScanCase& c = GetParam();
  auto f = replay_file(c.date, c.frames, 4321, c.records);
  if (c.cut != 0) f.resize(c.cut);
  write_bytes(slot_name(5), f);
  slot_scan();
  EXPECT_EQ(slot_has_replay(5), c.listed) << c.name;
  if (c.listed) {
    EXPECT_EQ(std::memcmp(slot_dir[4], f.data(), 32), 0);
  } else {
    for (uint8_t b : slot_dir[4]) {
      ASSERT_EQ(b, 0) << c.name;
    }
  }
  for (int s = 1; s <= REPLAY_SLOTS; ++s) {
    if (s != 5) {
      EXPECT_FALSE(slot_has_replay(s));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Headers, SlotScan,
                         ::testing::Values(ScanCase{"eleven frames", kStamp, 11, 11, 0, false},
                                           ScanCase{"twelve frames", kStamp, 12, 12, 0, true},
                                           ScanCase{"placeholder date", DATE_PLACEHOLDER, 40, 40, 0, false},
                                           ScanCase{"malformed date", "2024/03/05 07-09", 40, 40, 0, false},
                                           ScanCase{"escape ended, no date", "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 40,
                                                    40, 0, false},
                                           ScanCase{"header cut short", kStamp, 40, 0, 31, false},
                                           ScanCase{"records missing", kStamp, 40, 3, 0, true},
                                           ScanCase{"full record area", kStamp, 131072, 0, 0, true},
                                           ScanCase{"beyond the record area", kStamp, 131073, 0, 0, false},
                                           ScanCase{"huge frame index", kStamp, 0xFFFFFFF0u, 0, 0, false}));

TEST_F(Slots, SaveWritesHeaderAndRecordsAndEmptiesTheBuffer) {
  write_bytes(slot_name(3), replay_file(kStamp, 5000, 1, 5000));  // overwritten without asking
  slot_scan();
  record_game(300, 777);
  std::vector<uint8_t> expect(replay_buffer, replay_buffer + 32 + 300 * 12);
  g.scene = Scene::SaveReplay;
  release_over_row(scene_save_replay, 2);
  EXPECT_EQ(g.scene, Scene::TitleAgain);
  EXPECT_EQ(read_bytes("PIXBRK03.REP"), expect);
  EXPECT_EQ(temp_files_beside("PIXBRK03.REP"), 0);
  EXPECT_EQ(replay_frame_index(), 0u) << "SAVE REPLAY is disabled after a save";
  EXPECT_TRUE(slot_has_replay(3));
  EXPECT_EQ(std::memcmp(slot_dir[2], expect.data(), 32), 0);
}

TEST_F(Slots, SaveThatCannotWriteKeepsTheRecording) {
  record_game(50, 10);
  std::filesystem::create_directory(slot_name(4));  // a folder in the way: the file cannot be written
  release_over_row(scene_save_replay, 3);
  EXPECT_EQ(g.scene, Scene::TitleAgain);
  EXPECT_TRUE(std::filesystem::is_empty(slot_name(4)));
  EXPECT_EQ(temp_files_beside(slot_name(4)), 0);
  EXPECT_EQ(replay_frame_index(), 50u) << "SAVE REPLAY stays enabled";
  EXPECT_FALSE(slot_has_replay(4));
}

TEST_F(Slots, SaveMenuCancelAndMissesDoNothing) {
  record_game(50, 10);
  release_over_row(scene_save_replay, 3, 234);  // one pixel right of the rows
  EXPECT_EQ(g.scene, Scene::Title);
  release_over_row(scene_save_replay, 16);
  EXPECT_EQ(g.scene, Scene::TitleAgain);
  EXPECT_EQ(replay_frame_index(), 50u);
  for (int s = 1; s <= REPLAY_SLOTS; ++s) EXPECT_FALSE(file_exists(slot_name(s)));
}

TEST_F(Slots, LoadStartsPlaybackWithTheRecordedOptions) {
  write_bytes(slot_name(7), replay_file(kStamp, 100, 555, 100, 1, 1));
  slot_scan();
  g.score = 42;
  g.round = 4;
  g.scene = Scene::LoadReplay;
  release_over_row(scene_load_replay, 6);
  EXPECT_EQ(g.scene, Scene::RoundSetup);
  EXPECT_EQ(g.playback, 1);
  EXPECT_EQ(g.score, 0u);
  EXPECT_EQ(g.round, 1);
  EXPECT_EQ(g.opt_guide, 1);
  EXPECT_EQ(g.opt_floor, 1);
  EXPECT_EQ(replay_frame_index(), 0u) << "the frame index is the read position";
  const auto f = read_bytes(slot_name(7));
  EXPECT_EQ(std::memcmp(replay_buffer + 32, f.data() + 32, 1200), 0);
  EXPECT_EQ(replay_score(), 555u);
}

TEST_F(Slots, LoadMenuIgnoresEmptySlots) {
  g.scene = Scene::LoadReplay;
  for (int r = 0; r < REPLAY_SLOTS; ++r) {
    std::memset(nox_sp, 0, sizeof nox_sp);
    release_over_row(scene_load_replay, r);
    EXPECT_EQ(g.scene, Scene::LoadReplay) << "row " << r;
    EXPECT_EQ(nox_sp[(58 + 14 * r) * NOX_W + 231], 102) << "NO DATA rows are drawn disabled";
  }
  release_over_row(scene_load_replay, 16);
  EXPECT_EQ(g.scene, Scene::TitleAgain);
}

TEST_F(Slots, ChosenRowIsHighlightedWhilePressed) {
  write_bytes(slot_name(2), replay_file(kStamp, 12, 1, 12));
  slot_scan();
  std::memset(nox_sp, 0, sizeof nox_sp);
  g.touch_pressed = 3;
  g.touch_x = 7;
  g.touch_y = 57 + 14;  // top-left corner of slot 2's hit range
  scene_load_replay();
  EXPECT_EQ(nox_sp[(58 + 14) * NOX_W + 8], 15);
  EXPECT_EQ(nox_sp[58 * NOX_W + 8], 102);
  EXPECT_EQ(nox_sp[(58 + 28) * NOX_W + 8], 102);
  EXPECT_EQ(nox_sp[(58 + 14 * 16) * NOX_W + 8], 6) << "CANCEL";
}

// A file shorter than its header claims loads what it has; the rest of the record area is
// cleared rather than left holding the previous recording.
TEST_F(Slots, ShortFileLoadsWhatItHasAndClearsTheRest) {
  std::memset(replay_buffer, kStale, sizeof replay_buffer);
  auto f = replay_file(kStamp, 1000, 9, 20);
  f.push_back(0x77);  // and a piece of record 20
  write_bytes("short.rep", f);
  ASSERT_EQ(load_replay_file("short.rep"), 0);
  EXPECT_EQ(std::memcmp(replay_buffer + 32, f.data() + 32, 20 * 12 + 1), 0);
  for (size_t i = 32 + 20 * 12 + 1; i < REPLAY_BUFFER_BYTES; ++i) ASSERT_EQ(replay_buffer[i], 0) << i;
  EXPECT_EQ(g.playback, 1);
}

struct BadLoad {
  const char* name;
  std::vector<uint8_t> bytes;
};

class RefusedFile : public Slots, public ::testing::WithParamInterface<BadLoad> {};

// A file that cannot be used changes nothing at all.
TEST_P(RefusedFile, LeavesBufferAndGameAlone) {
  std::memset(replay_buffer, kStale, sizeof replay_buffer);
  write_bytes("bad.rep", GetParam().bytes);
  g.scene = Scene::LoadReplay;
  EXPECT_EQ(load_replay_file("bad.rep"), -1);
  EXPECT_EQ(g.scene, Scene::LoadReplay);
  EXPECT_EQ(g.playback, 0);
  for (size_t i = 0; i < REPLAY_BUFFER_BYTES; ++i) ASSERT_EQ(replay_buffer[i], kStale) << i;
}

std::vector<uint8_t> cut(std::vector<uint8_t> v, size_t n) {
  v.resize(n);
  return v;
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedFile,
                         ::testing::Values(BadLoad{"empty", {}},
                                           BadLoad{"header cut", cut(replay_file(kStamp, 12, 1, 12), 20)},
                                           BadLoad{"too many frames", replay_file(kStamp, 131073, 1, 200)},
                                           BadLoad{"eleven frames", replay_file(kStamp, 11, 1, 11)},
                                           BadLoad{"bad date", replay_file("20240305 07:09:1", 50, 1, 50)}),
                         [](const auto& tp) {
                           std::string n = tp.param.name;
                           for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return n;
                         });

TEST_F(Slots, LoadOfAFileGoneSinceTheScanReturnsToTheTitle) {
  write_bytes(slot_name(9), replay_file(kStamp, 30, 1, 30));
  slot_scan();
  std::filesystem::remove(slot_name(9));
  record_game(50, 10);
  g.scene = Scene::LoadReplay;
  release_over_row(scene_load_replay, 8);
  EXPECT_EQ(g.scene, Scene::TitleAgain);
  EXPECT_EQ(g.playback, 0);
  EXPECT_EQ(replay_frame_index(), 50u);
}

}  // namespace

namespace {

struct MenuSound {
  const char* name;
  bool load_menu;
  int row;        // 0..15 slot, 16 CANCEL
  int32_t x;      // where the pointer is lifted
  bool listed;    // slot 5 holds a replay at the scan
  bool vanished;  // and its file is gone when it is chosen
  int effect;     // effect requested by the release, -1 none
};

class MenuSounds : public Slots, public ::testing::WithParamInterface<MenuSound> {
 protected:
  void SetUp() override {
    Slots::SetUp();
    ASSERT_EQ(load_pack_entries(synthetic_game_entries()), 0);
    ASSERT_EQ(nox_loadpcm(0, "EFF12.PCM"), 0);
    ASSERT_EQ(nox_loadpcm(2, "EFF11.PCM"), 0);
  }
  void TearDown() override { nox_free_slots(); }
};

// Saving into a slot has a sound of its own; every other choice in either menu the choice sound.
TEST_P(MenuSounds, ReleaseRequestsTheMenusEffect) {
  const MenuSound& c = GetParam();
  if (c.listed) {
    write_bytes(slot_name(5), replay_file(kStamp, 30, 1, 30));
    slot_scan();
    if (c.vanished) std::filesystem::remove(slot_name(5));
  }
  record_game(50, 10);
  nox_slots[0].state = 0;
  nox_slots[2].state = 0;
  release_over_row(c.load_menu ? scene_load_replay : scene_save_replay, c.row, c.x);
  EXPECT_EQ(nox_slots[0].state, c.effect == 0 ? 1u : 0u) << c.name;
  EXPECT_EQ(nox_slots[2].state, c.effect == 2 ? 1u : 0u) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Menus, MenuSounds,
    ::testing::Values(MenuSound{"save_into_slot", false, 2, 100, false, false, 0},
                      MenuSound{"save_cancel", false, 16, 100, false, false, 2},
                      MenuSound{"save_beside_the_rows", false, 2, 234, false, false, -1},
                      MenuSound{"load_cancel", true, 16, 100, false, false, 2},
                      MenuSound{"load_listed_slot", true, 4, 100, true, false, 2},
                      MenuSound{"load_empty_slot", true, 3, 100, true, false, -1},
                      MenuSound{"load_vanished_file", true, 4, 100, true, true, 2}),
    [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
