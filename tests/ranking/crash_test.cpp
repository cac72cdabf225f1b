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
#include "pack/savefile.h"
#include "game/slots.h"
#include "support/child.h"
#include "support/test_pack.h"

namespace {

constexpr uint32_t kFrames = 20000;  // a replay file of 240,032 bytes

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

// Runs `save_forever` in a child, which reports each finished save through a pipe; after the
// first one the child is killed at a random moment, and the file must be a whole one.
template <typename Saver, typename Check>
void kill_while_writing(const char* path, Saver save_forever, Check whole, int rounds) {
  std::mt19937 rng(12345);
  int changed = 0;
  int mid_write = 0;
  int left_behind = temp_files_beside(path);
  std::vector<uint8_t> last = read_bytes(path);
  for (int round = 0; round < rounds; ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      end_with_parent(parent);
      close(fds[0]);
      save_forever(static_cast<uint32_t>(round), fds[1]);
      _exit(0);
    }
    close(fds[1]);
    char done = 0;
    ASSERT_EQ(read(fds[0], &done, 1), 1) << "the first save finished";
    usleep(static_cast<useconds_t>(rng() % 4000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was still running when killed";
    // A save cut short leaves its temporary file (under a fresh name each time), never a torn file.
    const int temps = temp_files_beside(path);
    if (temps > left_behind) ++mid_write;
    left_behind = temps;
    const auto now = read_bytes(path);
    ASSERT_TRUE(whole(now)) << "round " << round << ": " << now.size() << " bytes";
    if (now != last) ++changed;
    last = now;
  }
  EXPECT_GT(changed, rounds / 2) << "the saves replaced the file";
  EXPECT_GT(mid_write, 0) << "some kills landed in the middle of a save";
}

void report_save(int fd) {
  const char one = 1;
  (void)!write(fd, &one, 1);
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
      [](uint32_t round, int fd) {
        for (uint32_t v = round * 100000u;; ++v) {
          fill_table(v);
          write_score_file();
          report_save(fd);
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
      [](uint32_t round, int fd) {
        for (uint32_t v = round;; ++v) {
          fill_replay(static_cast<uint8_t>(v % 250 + 2));
          save_replay_to_slot_1();
          report_save(fd);
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
  const pid_t parent = getpid();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    end_with_parent(parent);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{100000, 100000};  // files can grow to 100,000 bytes only
    setrlimit(RLIMIT_FSIZE, &lim);
    fill_replay(9);
    save_replay_to_slot_1();
    // The failed save keeps the recording, so SAVE REPLAY stays available.
    const bool kept = replay_frame_index() == kFrames && temp_files_beside("PIXBRK01.REP") == 0;
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
