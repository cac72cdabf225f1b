// A scripted game recorded, saved to a slot through the save menu and played back by the runner.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file_util.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"
#include "game/core.h"
#include "headless/session.h"
#include "headless/cli.h"
#include "support/test_pack.h"

namespace {

// A tap at a point of the virtual screen, spread over four frames from `start`.
bool tap(int64_t t, int32_t vx, int32_t vy, HeadlessEvent* ev) {
  switch (t) {
    case 0:
      *ev = {NoxEvent::PointerMove, vx * 2, vy * 2};
      return true;
    case 1:
      ev->ev = NoxEvent::PointerDown;
      return true;
    case 3:
      ev->ev = NoxEvent::PointerUp;
      return true;
    default:
      return false;
  }
}

// The trace line without what differs between a recorded run and its playback: the runner's
// frame number, the playback flag and the high score (the playback starts with the recorded
// game already ranked). A recording keeps the low 8 bits of the press count, so a long press
// comes back as a different number; those 8 bits are compared.
std::string play_state(const std::string& line) {
  std::string s = line;
  const std::string pressed = "\"touch_pressed\":";
  const size_t p = s.find(pressed);
  if (p != std::string::npos) {
    const size_t v = p + pressed.size();
    const size_t end = s.find(',', v);
    const long count = std::stol(s.substr(v, end - v));
    s.replace(v, end - v, std::to_string(count & 0xFF));
  }
  for (const char* key : {"\"frame\":", "\"hi_score\":", "\"playback\":"}) {
    const size_t at = s.find(key);
    if (at == std::string::npos) continue;
    size_t end = s.find_first_of(",}", at);
    if (s[end] == ',') ++end;
    s.erase(at, end - at);
  }
  return s;
}

bool in_play(const std::string& line) { return line.find("\"scene\":2,") != std::string::npos; }

// The states after the frames that ran the play frame: those that began in scene 2.
std::vector<std::string> play_frames(const std::vector<std::string>& trace) {
  std::vector<std::string> out;
  for (size_t i = 1; i < trace.size(); ++i) {
    if (in_play(trace[i - 1])) out.push_back(trace[i]);
  }
  return out;
}

// The player of the recorded game: turns GUIDE and FLOOR on, starts a game, follows the ball
// (lifting the pointer now and then), taps through the ranking, then saves the recording into
// slot 3 from the title menu.
struct Player {
  int64_t phase_start = 0;
  int phase = -2;  // -2 GUIDE, -1 FLOOR, 0 start, 1 playing, 2 ranking, 3 save button, 4 slot row, 5 done
  uint32_t final_score = 0;
  std::vector<std::string> trace;  // every frame of the game, from GAME START to the ranking

  bool input(int64_t frame, HeadlessEvent* ev) {
    const int64_t t = frame - phase_start;
    switch (phase) {
      case -2:
        if (tap(t, 120, 246, ev) || t < 4) return true;
        next(frame, -1);
        return true;
      case -1:
        if (tap(t, 168, 246, ev) || t < 4) return true;
        next(frame, 0);
        return true;
      case 0:
        if (tap(t, 120, 111, ev) || t < 4) return true;
        next(frame, 1);
        return true;
      case 1: {
        if (g.scene == Scene::Ranking) {
          final_score = g.score;
          next(frame, 2);
          return true;
        }
        if (t > 60000) return false;  // the game should have ended long ago
        // Follow the ball for a while, hitting it at changing spots of the paddle; then give up.
        int32_t aim = g.ball_x + 1 + static_cast<int32_t>((t / 300) % 3 - 1) * 5;
        if (g.bomb_active != 0 && g.bomb_y > 180 && std::abs(g.bomb_x - g.paddle_x - 8) < 30) {
          aim = g.bomb_x < 120 ? g.bomb_x + 50 : g.bomb_x - 40;  // step aside from the bomb
        }
        const int32_t x = t < 2500 ? aim : 10;
        // Each hold stays below 256 frames: a recording keeps only the low 8 bits of the press
        // count, and a count of 256 would play back as a lifted pointer.
        if (t % 200 == 199) {
          ev->ev = NoxEvent::PointerUp;
        } else if (t % 200 == 0) {
          ev->ev = NoxEvent::PointerDown;
        } else {
          *ev = {NoxEvent::PointerMove, x * 2, 600};
        }
        return true;
      }
      case 2:
        if (tap(t, 120, 200, ev) || t < 4) return true;
        next(frame, 3);
        return true;
      case 3:
        if (tap(t, 120, 175, ev) || t < 4) return true;
        next(frame, 4);
        return true;
      case 4:
        if (tap(t, 100, 90, ev) || t < 4) return true;
        next(frame, 5);
        return true;
      default:
        return false;
    }
  }
  void next(int64_t frame, int p) {
    phase = p;
    phase_start = frame + 1;
  }
};

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

class ReplayRun : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(load_pack_entries(synthetic_game_entries()), 0); }

  // Plays and saves one game; returns the player with its final score and play-frame states.
  Player record_and_save() {
    Player p;
    HeadlessOptions o;
    o.input = [&p](int64_t frame, HeadlessEvent* ev) { return p.input(frame, ev); };
    o.on_frame = [&p](int64_t frame) {
      char buf[GAME_TRACE_LINE_MAX];
      const std::string line(buf, game_trace_line(frame, buf));
      if (p.phase == 1) p.trace.push_back(line);
      return true;
    };
    HeadlessResult r;
    EXPECT_EQ(headless_run(o, &r), 0) << r.error;
    EXPECT_EQ(p.phase, 5) << "the scripted game reached the save menu";
    return p;
  }

  // Runs the command line runner and returns its summary line.
  static std::string run_cli(std::vector<std::string> args) {
    args.insert(args.begin(), "pixbrk-headless");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    ::testing::internal::CaptureStdout();
    const int rc = headless_main(static_cast<int>(argv.size()), argv.data());
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << out;
    return out;
  }

  TempWorkDir dir_;
};

TEST_F(ReplayRun, SavedGamePlaysBackFrameForFrame) {
  const Player p = record_and_save();
  const std::vector<std::string> recorded = play_frames(p.trace);
  ASSERT_GT(recorded.size(), 300u);
  EXPECT_GT(p.final_score, 0u) << "the scripted game scored";

  const auto file = read_bytes("PIXBRK03.REP");
  ASSERT_GE(file.size(), 32u);
  const uint32_t frames = get_le32(file.data() + 16);
  EXPECT_EQ(file.size(), 32 + 12 * static_cast<size_t>(frames));
  EXPECT_EQ(frames, recorded.size()) << "one record per play frame";
  EXPECT_EQ(get_le32(file.data() + 20), p.final_score);
  EXPECT_TRUE(is_timestamp(file.data()));
  EXPECT_EQ(file[24], 1) << "guide on";
  EXPECT_EQ(file[25], 1) << "floor on";
  EXPECT_EQ(replay_frame_index(), 0u) << "the save emptied the buffer";

  const auto score_before = read_bytes("SCORE.DAT");
  ASSERT_EQ(score_before.size(), 332u);
  const std::string summary = run_cli({"--replay", "PIXBRK03.REP", "--trace", "replay.jsonl"});
  EXPECT_NE(summary.find("score " + std::to_string(p.final_score * 10) + " "), std::string::npos) << summary;
  EXPECT_NE(summary.find("scene 0 "), std::string::npos) << summary;

  const std::vector<std::string> replayed = play_frames(read_lines("replay.jsonl"));
  ASSERT_EQ(replayed.size(), recorded.size());
  for (size_t i = 0; i + 1 < replayed.size(); ++i) {
    ASSERT_EQ(play_state(replayed[i]), play_state(recorded[i])) << "play frame " << i;
  }
  // The last play frame ends the game: the recorded one opens the ranking, the playback the title.
  std::string last_recorded = play_state(recorded.back());
  std::string last_replayed = play_state(replayed.back());
  ASSERT_EQ(last_recorded.rfind("{\"scene\":5,", 0), 0u);
  ASSERT_EQ(last_replayed.rfind("{\"scene\":0,", 0), 0u);
  EXPECT_EQ(last_replayed.substr(11), last_recorded.substr(11));
  EXPECT_EQ(read_bytes("SCORE.DAT"), score_before) << "a playback changes neither the ranking nor the file";
}

TEST_F(ReplayRun, TapDuringPlaybackEndsIt) {
  record_and_save();
  HeadlessOptions o;
  o.replay_file = "PIXBRK03.REP";
  o.input = [](int64_t frame, HeadlessEvent* ev) {
    if (frame == 30) ev->ev = NoxEvent::PointerDown;
    if (frame == 33) ev->ev = NoxEvent::PointerUp;
    return true;
  };
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  EXPECT_EQ(r.scene, 0);
  EXPECT_EQ(r.frames, 34) << "the playback ends in the frame the pointer is lifted";
  EXPECT_EQ(replay_frame_index(), 0u) << "the buffer is empty, so SAVE REPLAY is off";
}

// Escape ends a game without a date text: the recording can be saved but is listed as NO DATA.
TEST_F(ReplayRun, EscapeEndedRecordingIsSavedButNotListed) {
  HeadlessOptions o;
  o.input = [](int64_t frame, HeadlessEvent* ev) {
    if (frame < 4) tap(frame, 120, 111, ev);  // GAME START
    if (frame == 80) ev->ev = NoxEvent::EscapeUp;
    if (frame >= 90 && frame < 94) tap(frame - 90, 120, 175, ev);   // SAVE REPLAY
    if (frame >= 100 && frame < 104) tap(frame - 100, 100, 104, ev);  // slot 4
    return frame < 110;
  };
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  const auto file = read_bytes("PIXBRK04.REP");
  ASSERT_GE(file.size(), 32u);
  const uint32_t frames = get_le32(file.data() + 16);
  EXPECT_GT(frames, 12u);
  EXPECT_EQ(file.size(), 32 + 12 * static_cast<size_t>(frames));
  EXPECT_FALSE(is_timestamp(file.data()));
  slot_scan();
  EXPECT_FALSE(slot_has_replay(4));
}

TEST_F(ReplayRun, RunnerRefusesAnUnusableFile) {
  write_bytes("bad.rep", replay_file("2024/01/01 00:00", 11, 5, 11));
  HeadlessOptions o;
  o.replay_file = "bad.rep";
  HeadlessResult r;
  EXPECT_NE(headless_run(o, &r), 0);
  EXPECT_NE(r.error.find("bad.rep"), std::string::npos) << r.error;
}

}  // namespace
