// Saving under a kill or a full disk: the old complete file or the new complete one, never a torn one.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <random>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file_util.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/savefile.h"
#include "game/slots.h"
#include "support/test_pack.h"

namespace {

constexpr uint32_t kFrames = 60000;  // a replay file of 720,032 bytes takes a while to write

// Every version of the score file holds one number in all 16 scores.
void fill_table(uint32_t version) {
  for (int i = 0; i < RANKING_ENTRIES; ++i) {
    std::memcpy(ranking_table + 20 * i, "2024/01/01 00:00", 16);
    put_le32(ranking_table + 20 * i + 16, version);
  }
}

// Every version of the replay holds one byte value in all its records.
void fill_replay(uint8_t version) {
  std::memcpy(replay_buffer, "2024/01/01 00:00", 16);
  put_le32(replay_buffer + 16, kFrames);
  put_le32(replay_buffer + 20, version);
  std::memset(replay_buffer + 32, version, kFrames * 12);
}

bool score_file_whole(const std::vector<uint8_t>& f) {
  if (f.size() != SCORE_FILE_BYTES) return false;
  for (int i = 1; i < RANKING_ENTRIES; ++i) {
    if (std::memcmp(f.data(), f.data() + 20 * i, 20) != 0) return false;
  }
  return true;
}

bool replay_file_whole(const std::vector<uint8_t>& f) {
  if (f.size() != 32 + 12 * static_cast<size_t>(kFrames)) return false;
  const uint8_t v = f[20];
  for (size_t i = 32; i < f.size(); ++i) {
    if (f[i] != v) return false;
  }
  return true;
}

void save_replay_to_slot_1() {
  g.touch_x = 100;
  g.touch_y = 62;
  g.touch_pressed = 1;
  g.touch_released = 0;
  scene_save_replay();
  g.touch_pressed = 0;
  g.touch_released = 1;
  scene_save_replay();
}

// Runs `write_forever` in a child, kills it after a random short while, and checks the file.
template <typename Writer, typename Check>
void kill_while_writing(const char* path, Writer write_forever, Check whole, int rounds) {
  std::mt19937 rng(12345);
  int changed = 0;
  std::vector<uint8_t> last = read_bytes(path);
  for (int round = 0; round < rounds; ++round) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      write_forever(static_cast<uint32_t>(round));
      _exit(0);
    }
    usleep(static_cast<useconds_t>(2000 + rng() % 20000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was still running when killed";
    const auto now = read_bytes(path);
    ASSERT_TRUE(whole(now)) << "round " << round << ": " << now.size() << " bytes";
    if (now != last) ++changed;
    last = now;
  }
  EXPECT_GT(changed, rounds / 4) << "the writers got far enough to replace the file";
}

class Crash : public ::testing::Test {
 protected:
  void SetUp() override {
    g = Game{};
    replay_clear();
  }
  TempWorkDir dir_;
};

TEST_F(Crash, KilledScoreFileWriteLeavesAWholeFile) {
  fill_table(1);
  write_score_file();
  kill_while_writing(
      "SCORE.DAT",
      [](uint32_t round) {
        for (uint32_t v = round * 100000u;; ++v) {
          fill_table(v);
          write_score_file();
        }
      },
      score_file_whole, 40);
}

TEST_F(Crash, KilledReplaySaveLeavesAWholeFile) {
  fill_replay(1);
  save_replay_to_slot_1();
  ASSERT_TRUE(replay_file_whole(read_bytes("PIXBRK01.REP")));
  kill_while_writing(
      "PIXBRK01.REP",
      [](uint32_t round) {
        for (uint32_t v = round;; ++v) {
          fill_replay(static_cast<uint8_t>(v % 250 + 2));
          save_replay_to_slot_1();
        }
      },
      replay_file_whole, 40);
}

// A disk that fills up in the middle of the records: the old file stays, the save reports failure.
TEST_F(Crash, FullDiskKeepsTheOldFile) {
  fill_replay(7);
  save_replay_to_slot_1();
  const auto old = read_bytes("PIXBRK01.REP");
  ASSERT_TRUE(replay_file_whole(old));
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{100000, 100000};  // files can grow to 100,000 bytes only
    setrlimit(RLIMIT_FSIZE, &lim);
    fill_replay(9);
    save_replay_to_slot_1();
    // The failed save keeps the recording, so SAVE REPLAY stays available.
    const bool kept = replay_frame_index() == kFrames && !file_exists("PIXBRK01.REP.tmp");
    const uint8_t small[4] = {1, 2, 3, 4};
    const bool small_ok = save_file("SMALL.DAT", small, 4, nullptr, 0) == 0;
    _exit(kept && small_ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_bytes("PIXBRK01.REP"), old);
  EXPECT_EQ(read_bytes("SMALL.DAT"), (std::vector<uint8_t>{1, 2, 3, 4}));
}

}  // namespace
