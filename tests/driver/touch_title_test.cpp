// The frame driver's touch edges, Escape, and the title menu: hit rectangles, cursor sound,
// SAVE REPLAY, settings.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver_harness.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "engine/touch.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "pack/pack.h"

namespace {

struct Edge {
  int32_t pressed, released, released_live;
};

Edge edges() { return {g.touch_pressed, g.touch_released, g.touch_released_live}; }

TEST(TouchEdges, PressCountsUpAndReleaseFiresOnce) {
  Session s;
  s.frame(NoxEvent::PointerMove, 50, 100);  // client (100, 200)
  nox_touch_event(NoxEvent::PointerMove, 101, 201, NOX_CLIENT_W, NOX_CLIENT_H);
  s.frame(NoxEvent::PointerDown);
  EXPECT_EQ(g.touch_x, 50);
  EXPECT_EQ(g.touch_y, 100);
  std::vector<int32_t> counts{g.touch_pressed};
  for (int i = 0; i < 3; ++i) {
    s.frame();
    counts.push_back(g.touch_pressed);
  }
  EXPECT_EQ(counts, (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(g.touch_released, 0);
  s.frame(NoxEvent::PointerUp);
  const Edge up = edges();
  s.frame();
  const Edge after = edges();
  EXPECT_EQ(up.pressed, 0);
  EXPECT_EQ(up.released, 1);
  EXPECT_EQ(up.released_live, 1);
  EXPECT_EQ(after.released, 0);
  EXPECT_EQ(after.released_live, 0);
}

TEST(TouchEdges, LeavingWhileHeldReleasesAtOrigin) {
  Session s;
  s.frame(NoxEvent::PointerMove, 30, 40);
  s.frame(NoxEvent::PointerDown);
  s.frame(NoxEvent::PointerLeave);
  EXPECT_EQ(g.touch_pressed, 0);
  EXPECT_EQ(g.touch_released, 1);
  EXPECT_EQ(g.touch_x, 0);
  EXPECT_EQ(g.touch_y, 0);
}

// The synthetic pictures hold 1 + (offset % 200) at each offset, so a tile's first pixel names
// where in the 256-wide sprite bank it came from.
uint8_t sprite_bank_pixel(int32_t sx, int32_t sy) { return static_cast<uint8_t>(1 + (sy * 256 + sx) % 200); }

TEST(StartUp, BackgroundFrameOfTilesAroundColourTwo) {
  Session s;
  auto bg = [](int32_t x, int32_t y) { return nox_bg[y * NOX_W + x]; };
  EXPECT_EQ(bg(0, 16), sprite_bank_pixel(0, 0));
  EXPECT_EQ(bg(1, 17), sprite_bank_pixel(1, 1));
  EXPECT_EQ(bg(232, 16), sprite_bank_pixel(16, 0));
  EXPECT_EQ(bg(239, 23), sprite_bank_pixel(23, 7));
  for (int32_t i = 0; i < 28; ++i) EXPECT_EQ(bg(8 + 8 * i, 16), sprite_bank_pixel(8, 0)) << i;
  for (int32_t i = 0; i < 37; ++i) {
    EXPECT_EQ(bg(0, 24 + 8 * i), sprite_bank_pixel(0, 8)) << i;
    EXPECT_EQ(bg(232, 24 + 8 * i), sprite_bank_pixel(16, 8)) << i;
  }
  EXPECT_EQ(bg(7, 319), sprite_bank_pixel(7, 15));
  for (int32_t y : {0, 15, 24, 200, 319}) EXPECT_EQ(bg(120, y), 2) << y;
  EXPECT_EQ(bg(8, 24), 2);
  EXPECT_EQ(bg(231, 319), 2);
  EXPECT_EQ(bg(239, 15), 2);
}

TEST(StartUp, FirstMissingEffectStopsTheLoadingThere) {
  TempWorkDir dir;
  write_synthetic_pack();
  ASSERT_TRUE(game_start(GameOptions{}).ok());  // a fresh program's state
  game_stop();
  std::vector<PackEntry> entries = synthetic_game_entries();
  std::erase_if(entries, [](const PackEntry& e) { return e.name == "EFF06.PCM"; });
  ASSERT_EQ(load_pack_entries(entries), 0);
  EXPECT_EQ(nox_init(), -1);
  // Loaded in the order 5, 6, 8, 10, 11, 12, 13, 7 (missing), 3, 4, 1, 2, 0.
  for (int slot : {5, 6, 8, 10, 11, 12, 13}) EXPECT_NE(nox_slots[slot].size, 0u) << slot;
  for (int slot : {7, 3, 4, 1, 2, 0, 9}) EXPECT_EQ(nox_slots[slot].size, 0u) << slot;
  EXPECT_NE(nox_banks[3].width, 0);  // every picture came first
  nox_free_banks();
  nox_free_slots();
  pack_unload();
}

TEST(StartUp, HighScoreIsTheBestRankedScore) {
  TempWorkDir dir;
  write_synthetic_pack();
  std::string file(332, '\0');
  for (int k = 0; k < 16; ++k) file.replace(static_cast<size_t>(20 * k), 16, "----/--/-- --:--");
  file[16] = 0x39;  // entry 1: 12345 tens, little-endian
  file[17] = 0x30;
  file[36] = 7;
  ASSERT_TRUE(write_file("SCORE.DAT", std::vector<uint8_t>(file.begin(), file.end())));
  ASSERT_TRUE(game_start(GameOptions{}).ok());
  EXPECT_EQ(g.hi_score, 12345u);
  EXPECT_EQ(g.score, 0u);
  EXPECT_EQ(g.scene, Scene::Title);
  game_stop();
}

TEST(FrameDriver, SceneBeyondTableEndsTheProgram) {
  Session s;
  EXPECT_EQ(s.frame(), 0);
  g.scene = static_cast<Scene>(10);
  EXPECT_EQ(s.frame(), -1);
}

// What a tap did, read back from the state it changed.
enum class Act { None, Start, Ranking, Save, Load, Sound, Guide, Floor };

Act tap_and_see(Session& s, int32_t x, int32_t y) {
  const uint8_t mute = nox_get_mute();
  const uint8_t guide = settings_record[9], floor = settings_record[10];
  s.tap(x, y);
  switch (g.scene) {
    case Scene::RoundSetup: return Act::Start;
    case Scene::RankingFromTitle: return Act::Ranking;
    case Scene::SaveReplay: return Act::Save;
    case Scene::LoadReplay: return Act::Load;
    default: break;
  }
  if (nox_get_mute() != mute) return Act::Sound;
  if (settings_record[9] != guide) return Act::Guide;
  if (settings_record[10] != floor) return Act::Floor;
  return Act::None;
}

struct HitCase {
  int32_t x, y;
  Act want;
};

class TitleHit : public ::testing::TestWithParam<HitCase> {};

TEST_P(TitleHit, ReleaseActsOnTheWidenedHitRectangle) {
  Session s;
  const HitCase c = GetParam();
  EXPECT_EQ(tap_and_see(s, c.x, c.y), c.want) << "at " << c.x << "," << c.y;
}

INSTANTIATE_TEST_SUITE_P(
    EdgePixels, TitleHit,
    ::testing::Values(
        // GAME START hits 60..184 x 100..122, one pixel wider on every side; drawn lower.
        HitCase{60, 101, Act::Start}, HitCase{60, 125, Act::None}, HitCase{59, 99, Act::Start},
        HitCase{58, 110, Act::None}, HitCase{185, 123, Act::Start}, HitCase{186, 110, Act::None},
        HitCase{120, 98, Act::None},
        // LOCAL RANKING, LOAD REPLAY; SAVE REPLAY is disabled right after start-up.
        HitCase{59, 145, Act::Ranking}, HitCase{181, 145, Act::Ranking}, HitCase{58, 145, Act::None},
        HitCase{182, 145, Act::None}, HitCase{120, 133, Act::Ranking}, HitCase{120, 175, Act::None},
        HitCase{120, 217, Act::Load},
        // Toggles: boxes end at y 264, hit rectangles at 268.
        HitCase{70, 268, Act::Sound}, HitCase{70, 269, Act::Sound}, HitCase{70, 270, Act::None},
        HitCase{51, 240, Act::Sound}, HitCase{50, 240, Act::None}, HitCase{93, 240, Act::Sound},
        HitCase{94, 240, Act::None}, HitCase{99, 240, Act::Guide}, HitCase{141, 227, Act::Guide},
        HitCase{189, 250, Act::Floor}, HitCase{190, 250, Act::None}));

TEST(TitleMenu, HighlightFollowsTheHitNotTheDrawnBox) {
  Session s;
  s.frame();
  EXPECT_EQ(s.shown(178, 124), 6);    // GAME START, normal fill
  EXPECT_EQ(s.shown(178, 184), 102);  // SAVE REPLAY, disabled
  s.frame(NoxEvent::PointerMove, 60, 101);
  s.frame(NoxEvent::PointerDown);
  EXPECT_EQ(s.shown(178, 124), 15);
  EXPECT_EQ(s.shown(180, 126), 63);  // outline corner
  s.frame(NoxEvent::PointerMove, 120, 175);  // onto the disabled SAVE REPLAY
  EXPECT_EQ(s.shown(178, 124), 6);
  EXPECT_EQ(s.shown(178, 184), 102);
  EXPECT_EQ(s.shown(180, 186), 99);
}

// Requests of effect slot `slot` made by one frame.
uint32_t requests(Session& s, uint8_t slot, NoxEvent ev = NoxEvent::None, int32_t x = 0, int32_t y = 0) {
  nox_slots[slot].state = 0;
  s.frame(ev, x, y);
  return nox_slots[slot].state;
}

TEST(TitleMenu, CursorSoundOncePerButtonEntered) {
  Session s;
  s.frame(NoxEvent::PointerMove, 120, 145);
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerDown), 1u);              // onto LOCAL RANKING
  EXPECT_EQ(requests(s, 1), 0u);                                     // staying there
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 120, 110), 0u);   // GAME START never sounds
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 120, 145), 1u);   // back again
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 20, 20), 0u);     // off every button
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 120, 145), 1u);
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 120, 175), 0u);   // SAVE REPLAY disabled
  replay_set_frame_index(7);
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 120, 205), 1u);   // LOAD REPLAY
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerMove, 120, 175), 1u);   // SAVE REPLAY enabled
}

TEST(TitleMenu, LiftingAndTouchingTheSameButtonSoundsAgain) {
  Session s;
  s.frame(NoxEvent::PointerMove, 120, 205);
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerDown), 1u);
  // The lift frame still tests the last position, so it counts as the same button.
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerUp), 0u);
  g.scene = Scene::Title;  // LOAD REPLAY acted; come straight back
  EXPECT_EQ(requests(s, 1), 0u);
  EXPECT_EQ(requests(s, 1, NoxEvent::PointerDown), 1u);
}

TEST(TitleMenu, SaveReplayActsOnlyWithARecording) {
  Session s;
  EXPECT_EQ(tap_and_see(s, 120, 175), Act::None);
  g.scene = Scene::Title;
  replay_set_frame_index(1);
  EXPECT_EQ(tap_and_see(s, 120, 175), Act::Save);
}

TEST(TitleMenu, ChoiceSoundForGameStartAndSoundOnly) {
  Session s;
  s.frame(NoxEvent::PointerMove, 120, 205);
  s.frame(NoxEvent::PointerDown);
  EXPECT_EQ(requests(s, 2, NoxEvent::PointerUp), 0u);  // LOAD REPLAY: silent
  g.scene = Scene::Title;
  s.frame(NoxEvent::PointerMove, 120, 110);
  s.frame(NoxEvent::PointerDown);
  EXPECT_EQ(requests(s, 2, NoxEvent::PointerUp), 1u);  // GAME START
}

TEST(TitleMenu, SoundToggleWritesTheScoreFile) {
  Session s;
  EXPECT_EQ(tap_and_see(s, 70, 240), Act::Sound);
  EXPECT_EQ(nox_get_mute(), 1);
  std::string file = slurp("SCORE.DAT");
  ASSERT_EQ(file.size(), 332u);
  EXPECT_EQ(file[328], 1);
  EXPECT_EQ(tap_and_see(s, 70, 240), Act::Sound);
  file = slurp("SCORE.DAT");
  ASSERT_EQ(file.size(), 332u);
  EXPECT_EQ(file[328], 0);
  EXPECT_EQ(nox_get_mute(), 0);
}

TEST(TitleMenu, GameStartTakesTheOptionsIntoGameAndRecording) {
  Session s;
  EXPECT_EQ(tap_and_see(s, 120, 240), Act::Guide);
  EXPECT_EQ(tap_and_see(s, 160, 240), Act::Floor);
  const std::string file = slurp("SCORE.DAT");
  ASSERT_EQ(file.size(), 332u);
  EXPECT_EQ(file[329], 1);
  EXPECT_EQ(file[330], 1);
  replay_set_frame_index(99);
  EXPECT_EQ(tap_and_see(s, 120, 110), Act::Start);
  EXPECT_EQ(g.opt_guide, 1);
  EXPECT_EQ(g.opt_floor, 1);
  EXPECT_EQ(g.round, 1);
  EXPECT_EQ(replay_frame_index(), 0u);
  EXPECT_EQ(replay_buffer[24], 1);
  EXPECT_EQ(replay_buffer[25], 1);
}

TEST(TitleMenu, OddStoredSettingTurnsOffAtTheFirstToggle) {
  Session s;
  settings_record[9] = 5;  // as read from a foreign SCORE.DAT
  s.frame();
  EXPECT_EQ(tap_and_see(s, 120, 240), Act::Guide);
  EXPECT_EQ(settings_record[9], 0);
  EXPECT_EQ(tap_and_see(s, 120, 240), Act::Guide);
  EXPECT_EQ(settings_record[9], 1);
}

TEST(TitleMenu, EndOfPlaybackEmptiesTheRecording) {
  Session s;
  g.playback = 1;
  g.score = 1234;
  replay_set_frame_index(50);
  s.frame();
  EXPECT_EQ(g.playback, 0);
  EXPECT_EQ(g.score, 0u);
  EXPECT_EQ(g.hi_score, ranking_score(0));
  EXPECT_EQ(replay_frame_index(), 0u);
}

TEST(Escape, MidGameReturnsToAnEmptyTitleMenuKeepingTheRecording) {
  Session s;
  s.tap(120, 110);
  s.frames(100);
  ASSERT_EQ(g.scene, Scene::Play);
  const uint32_t recorded = replay_frame_index();
  ASSERT_GT(recorded, 0u);
  g.score = 77;
  s.frame(NoxEvent::EscapeUp);
  EXPECT_EQ(g.scene, Scene::Title);
  EXPECT_EQ(g.score, 0u);
  EXPECT_EQ(g.round, 0);
  EXPECT_EQ(g.scene_timer, 0);
  EXPECT_EQ(replay_frame_index(), recorded);  // SAVE REPLAY is enabled
  EXPECT_EQ(tap_and_see(s, 120, 175), Act::Save);
}

TEST(ScoreLine, ClampsTheScoreItself) {
  Session s;
  g.score = 12345678;
  s.frame();
  EXPECT_EQ(g.score, 9999999u);
  EXPECT_EQ(g.hi_score, 9999999u);
}

}  // namespace
