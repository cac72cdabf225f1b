// The replay hook: what a play frame records, and playing a recording back from the buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver_harness.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"
#include "pack/packwriter.h"
#include "support/play_state.h"

namespace {

struct Record {
  int16_t x, y, dx, dy;
  uint8_t pressed, released, r0, r1;
};

Record record(uint32_t n) {
  Record r{};
  const uint8_t* p = replay_buffer + REPLAY_HEADER_BYTES + REPLAY_RECORD_BYTES * n;
  auto s16 = [](const uint8_t* q) { return static_cast<int16_t>(q[0] | (q[1] << 8)); };
  r.x = s16(p);
  r.y = s16(p + 2);
  r.dx = s16(p + 4);
  r.dy = s16(p + 6);
  r.pressed = p[8];
  r.released = p[9];
  r.r0 = p[10];
  r.r1 = p[11];
  return r;
}

TEST(ReplayHook, FirstPlayFrameWritesRecordZero) {
  Session s;
  s.tap(100, 110);  // GAME START
  ASSERT_EQ(g.scene, Scene::RoundSetup);
  s.frame();  // round setup: no record
  EXPECT_EQ(replay_frame_index(), 0u);
  ASSERT_EQ(g.scene, Scene::Play);
  s.frame();
  EXPECT_EQ(replay_frame_index(), 1u);
  const Record r0 = record(0);
  EXPECT_EQ(r0.x, 100);
  EXPECT_EQ(r0.y, 110);
  EXPECT_EQ(r0.pressed, 0);
  s.frames(9);
  EXPECT_EQ(replay_frame_index(), 10u);
}

TEST(ReplayHook, HeldPointerIsStoredWithItsPressCount) {
  Session s;
  s.tap(100, 110);
  s.frame();
  s.frame(NoxEvent::PointerMove, 50, 100);  // record 0
  s.frame(NoxEvent::PointerDown);           // record 1, press count 1
  s.frame();
  s.frame();  // record 3: third frame of the press
  const Record r = record(3);
  EXPECT_EQ(r.x, 50);
  EXPECT_EQ(r.y, 100);
  EXPECT_EQ(r.dx, 0);
  EXPECT_EQ(r.dy, 0);
  EXPECT_EQ(r.pressed, 3);
  EXPECT_EQ(r.released, 0);
  s.frame(NoxEvent::PointerUp);
  EXPECT_EQ(record(4).released, 1);
  EXPECT_EQ(record(4).pressed, 0);
}

TEST(ReplayHook, PointerHeldPast256FramesStaysPressedAndPlaysBackExactly) {
  Session s;
  settings_record[10] = 1;  // floor barrier: a missed ball comes back once
  s.tap(100, 110);
  s.frame();
  s.frame(NoxEvent::PointerDown);  // record 0, count 1
  std::vector<uint32_t> wrap_records;
  std::vector<int16_t> live_paddle{g.paddle_x};
  for (int i = 0; i < 800 && g.scene == Scene::Play; ++i) {
    // Keep the paddle under the ball, moving the held pointer every frame.
    s.frame(NoxEvent::PointerMove, g.ball_x + 3 + (i % 3), 250);
    if (g.scene == Scene::Play) live_paddle.push_back(g.paddle_x);
    if (g.touch_pressed % 256 == 0) wrap_records.push_back(replay_frame_index() - 1);
  }
  ASSERT_GE(wrap_records.size(), 1u) << "the pointer was not held long enough in play";
  ASSERT_LT(wrap_records.back() + 1, replay_frame_index());
  for (uint32_t n : wrap_records) {
    EXPECT_EQ(record(n).pressed, 255) << "record " << n;  // never stored as lifted
    EXPECT_EQ(record(n).released, 0) << "record " << n;
    EXPECT_EQ(record(n + 1).pressed, 1) << "record " << n + 1;
  }

  // Played back from a file, the paddle takes the same path in every recorded frame.
  const uint32_t frames = replay_frame_index();
  std::vector<uint8_t> file(replay_buffer,
                            replay_buffer + REPLAY_HEADER_BYTES + REPLAY_RECORD_BYTES * frames);
  make_date_text(file.data());
  ASSERT_TRUE(write_file("HOLD.REP", file));
  ASSERT_EQ(load_replay_file("HOLD.REP"), 0);
  s.frame();  // round setup
  for (size_t i = 0; i < live_paddle.size() && g.scene == Scene::Play; ++i) {
    s.frame(NoxEvent::PointerDown);  // the real pointer is ignored while it is not lifted
    ASSERT_EQ(g.paddle_x, live_paddle[i]) << "play frame " << i + 2;
  }
}

TEST(ReplayHook, TapDuringPlaybackEndsItBeforeTheFrameRuns) {
  Session s;
  s.tap(100, 110);
  s.frames(30);
  // Play the 29 recorded frames back from the buffer.
  std::vector<uint8_t> file(replay_buffer, replay_buffer + REPLAY_HEADER_BYTES +
                                                REPLAY_RECORD_BYTES * replay_frame_index());
  make_date_text(file.data());  // a replay file is marked by its date text
  ASSERT_TRUE(write_file("TEST.REP", file));
  ASSERT_EQ(load_replay_file("TEST.REP"), 0);
  s.frames(11);  // round setup and 10 play frames
  ASSERT_EQ(g.scene, Scene::Play);
  EXPECT_EQ(replay_frame_index(), 10u);
  s.frame(NoxEvent::PointerDown);
  EXPECT_EQ(g.touch_pressed, 0);  // the recorded value, not the real pointer
  const uint16_t timer = g.scene_timer;
  s.frame(NoxEvent::PointerUp);
  EXPECT_EQ(g.scene, Scene::Title);
  EXPECT_EQ(g.scene_timer, timer + 1);
  EXPECT_EQ(replay_frame_index(), 0u);
  s.frame();
  EXPECT_EQ(g.playback, 0);
}

TEST(ReplayHook, RecordedGamePlaysBackWithTheSameStateInEveryPlayFrame) {
  std::vector<std::string> recorded, replayed;
  {
    TempWorkDir dir;
    write_synthetic_pack();
    HeadlessOptions o;
    o.max_frames = 200000;
    o.input = [](int64_t frame, HeadlessEvent* ev) {
      *ev = bot_event(frame);
      return true;
    };
    // Play games until one ends after reaching round 3; record only that one.
    o.on_frame = [&](int64_t frame) {
      if (g.scene == Scene::RoundSetup && g.round == 1) recorded.clear();
      if (g.scene == Scene::Play) recorded.push_back(play_state(frame));
      return !((g.scene == Scene::Ranking || g.scene == Scene::Ending) && g.round >= 3);
    };
    HeadlessResult r;
    ASSERT_EQ(headless_run(o, &r), 0) << r.error;
    ASSERT_GT(recorded.size(), 1000u);
    ASSERT_TRUE(g.scene == Scene::Ranking || g.scene == Scene::Ending) << "no game of the bot reached round 3";
    const uint32_t n = replay_frame_index();
    EXPECT_EQ(n, recorded.size());
    std::vector<uint8_t> file(replay_buffer, replay_buffer + REPLAY_HEADER_BYTES + REPLAY_RECORD_BYTES * n);
    ASSERT_TRUE(write_file("GAME.REP", file));
    std::remove("SCORE.DAT");  // the same start: the recorded score is not the high score yet

    HeadlessOptions p;
    p.replay_file = "GAME.REP";
    p.on_frame = [&](int64_t frame) {
      if (g.scene == Scene::Play) replayed.push_back(play_state(frame));
      return true;
    };
    ASSERT_EQ(headless_run(p, &r), 0) << r.error;
    EXPECT_EQ(r.scene, 0);
  }
  ASSERT_EQ(replayed.size(), recorded.size());
  for (size_t i = 0; i < recorded.size(); ++i) {
    ASSERT_EQ(replayed[i], recorded[i]) << "play frame " << i;
  }
}

}  // namespace
