// The play rules, driven through the frame driver like the host does, or step by step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "engine/screen.h"
#include "engine/touch.h"
#include "game/game.h"
#include "game/play.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/rng.h"
#include "support/screen_reader.h"
#include "support/test_pack.h"

namespace {

uint32_t lcg(uint32_t s) { return s * 214013u + 2531011u; }

// Number of generator steps from one state to another (-1 if not within reach).
int draws_between(uint32_t from, uint32_t to) {
  for (int n = 0; n < 5000; ++n, from = lcg(from)) {
    if (from == to) return n;
  }
  return -1;
}

// One item of a description: a line or a dot in one colour.
std::string line(int colour, int x0, int y0, int x1, int y1) {
  return "line colour " + std::to_string(colour) + " from " + std::to_string(x0) + "," + std::to_string(y0) + " to " +
         std::to_string(x1) + "," + std::to_string(y1) + "; ";
}
std::string dot(int colour, int x, int y) {
  return "dot colour " + std::to_string(colour) + " at " + std::to_string(x) + "," + std::to_string(y) + "; ";
}

class Play : public ::testing::Test {
 protected:
  TempWorkDir dir_;
  void SetUp() override {
    ASSERT_EQ(load_pack_entries(synthetic_game_entries()), 0);
    ASSERT_EQ(nox_init(), 0);
    nox_touch = NoxTouch{};
  }
  static void start_round(int round, int floor = 0, int guide = 0) {
    g.round = static_cast<uint8_t>(round);
    g.opt_floor = static_cast<uint8_t>(floor);
    g.opt_guide = static_cast<uint8_t>(guide);
    g.scene = Scene::RoundSetup;
    frame();
  }
  static void frame() {
    nox_frame();
    nox_touch_tick();
  }
  static void frames(int n) {
    for (int i = 0; i < n; ++i) frame();
  }
  static void press_at(int x) {
    nox_touch_move(2 * x, 400, 480, 640);
    nox_touch_down();
  }
  static void keep_only(std::initializer_list<int> slots) {
    for (int s = 0; s < ALIEN_COUNT; ++s) {
      if (std::find(slots.begin(), slots.end(), s) == slots.end()) g.aliens[s].kind = 0;
    }
  }
  static void ball(int x, int y, int vx, int vy) {
    g.ball_x = static_cast<int16_t>(x);
    g.ball_y = static_cast<int16_t>(y);
    g.ball_vx = static_cast<int16_t>(vx);
    g.ball_vy = static_cast<int16_t>(vy);
  }
  static AlienHit hit_pass() {
    formation_tally_clear();
    AlienHit h = alien_pass();
    if (h.hit) hit_score();
    return h;
  }
  static void march_frame() {
    formation_tally_clear();
    alien_pass();
    formation_march();
  }
};

TEST_F(Play, RoundSetupLaysOutTheFormationAndKeepsGameFields) {
  g.score = 500;
  g.items_caught = 17;
  particle_next = 77;
  start_round(5, 1);
  EXPECT_TRUE(g.scene == Scene::Play && g.score == 500 && particle_next == 77 && rng_state == 0);
  EXPECT_TRUE(g.items_caught == 0 && g.floor_present == 1);  // floor on: counted again each round
  for (const Alien& a : g.aliens) EXPECT_EQ(a.hp, 2);
  EXPECT_TRUE(g.aliens[0].x == 8 && g.aliens[7].x + 24 == 200 && g.aliens[39].x + 8 == 192);
  EXPECT_TRUE(g.aliens[7].frame == 1 && g.aliens[8].frame == 1 && g.aliens[9].frame == 0);
  g.items_caught = 17;
  start_round(1, 0);
  EXPECT_TRUE(g.floor_present == 0 && g.items_caught == 17);
  for (const Alien& a : g.aliens) EXPECT_EQ(a.hp, 1);
}

TEST_F(Play, ServeAutomaticallyInFrame61OrOnReleaseAgainstThePaddlesMove) {
  for (int round : {1, 2, 5}) {
    start_round(round);
    frames(60);
    EXPECT_EQ(g.ball_vy, 0);
    frame();
    const int s = round == 1 ? 30 : 33;  // nothing moved the paddle: to the left
    EXPECT_TRUE(g.ball_vx == -s && g.ball_vy == -s && g.ball_y == 265 + -s / 11 && g.ball_fy == -s % 11);
  }
  for (auto [x, vx] : {std::pair{30, 30}, std::pair{200, -30}}) {
    start_round(1);
    press_at(x);
    frames(5);
    nox_touch_up();
    frame();
    EXPECT_TRUE(g.ball_vx == vx && g.ball_y == 263) << x;
  }
}

TEST_F(Play, PaddleStepsAtMostFivePixelsAndStaysOnTheField) {
  for (auto [touch, end] : {std::pair{239, 200}, std::pair{0, 8}, std::pair{150, 135}}) {
    nox_touch = NoxTouch{};
    start_round(1);
    press_at(touch);
    int last = g.paddle_x;
    for (int i = 0; i < 40; ++i) {
      frame();
      EXPECT_LE(std::abs(g.paddle_x - last), 5);
      last = g.paddle_x;
    }
    EXPECT_EQ(g.paddle_x, end) << touch;
  }
}

TEST_F(Play, PrngDrawsPerEvent) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    int draws;
  };
  const Case cases[] = {
      {"quiet", [] {}, 9},
      {"left wall", [] { ball(9, 200, -30, -30); }, 9 + 10},
      {"right wall", [] { ball(223, 200, 30, -30); }, 9 + 10},
      {"ceiling", [] { ball(50, 25, 0, -30); }, 9 + 10},
      {"corner", [] { ball(223, 25, 30, -30); }, 9 + 20},
      {"alien hit", [] { ball(10, 88, 0, -30); }, 9 + 128},
      {"bomb shot", [] { ball(112, 96, 0, -30); }, 9 + 32},
      {"floor", [] { g.floor_present = 1; ball(50, 297, 0, 30); }, 9 + 1024},
  };
  for (const Case& c : cases) {
    start_round(1);
    c.setup();
    frame();
    EXPECT_EQ(draws_between(0, rng_state), c.draws) << c.name;
  }
}

// The order of draws within a particle decides where every spark lands in a replay.
TEST_F(Play, StarsAndSparksTakeTheirValuesInDrawOrder) {
  start_round(1);
  particle_next = 0;
  ball(10, 88, 0, -30);  // hits slot 0: (8, 82), 24 wide
  frame();
  uint32_t s = 0;
  auto next = [&s] { return static_cast<int>(((s = lcg(s)) >> 16) & 0x7FFF); };
  for (int i = 0; i < 3; ++i) {
    const int r1 = next(), r2 = next(), r3 = next();
    const Particle& p = g.particles[i];
    EXPECT_TRUE(p.y == 24 + r1 % 296 && p.x == 8 + r2 % 224 && p.colour == 15 + 16 * (r3 % 13)) << i;
  }
  for (int i = 5; i < 5 + 32; ++i) {  // after the two trail particles
    const int r1 = next(), r2 = next(), r3 = next(), r4 = next();
    const Particle& p = g.particles[i];
    EXPECT_TRUE(p.colour == 47 && p.dy == r1 % 4 - 2 && p.dx == r2 % 4 - 2 && p.y == 82 + r3 % 8 &&
                p.x == 8 + r4 % 24)
        << i;
  }
}

TEST_F(Play, PaddleBounceSpeedsUpAndSteersWithinTheRoundsLimit) {
  struct Speed { int round, start, bounces, limit; };
  for (Speed c : {Speed{1, 30, 20, 50}, Speed{2, 33, 17, 50}, Speed{3, 33, 22, 55}}) {
    start_round(c.round);
    int vy = c.start, n = 0;
    for (; vy < c.limit && n < 100; ++n) {
      ball(g.paddle_x + 12, 266, 0, vy);
      paddle_bounce();
      vy = -g.ball_vy;
    }
    EXPECT_EQ(n, c.bounces) << c.round;
    ball(g.paddle_x + 12, 266, 0, vy);
    paddle_bounce();
    EXPECT_EQ(g.ball_vy, -c.limit);
  }
  start_round(1);
  g.combo = 4;
  g.hit_popup_timer = 9;
  struct Steer { int offset, vx, out; };
  for (Steer c : {Steer{-19, 0, -28}, Steer{-19, -30, -50}, Steer{0, 17, 17}, Steer{19, 40, 50},
                  Steer{-7, 0, -10}, Steer{7, 3, 13}}) {
    ball(g.paddle_x + 12 + c.offset, 266, c.vx, 30);
    paddle_bounce();
    EXPECT_EQ(g.ball_vx, c.out) << c.offset << " " << c.vx;
  }
  EXPECT_EQ(g.combo + g.hit_popup_timer, 0);  // the combo ends
  ball(g.paddle_x + 12, 266, 0, -30);          // rising through the paddle
  paddle_bounce();
  EXPECT_EQ(g.ball_vy, -30);
}

TEST_F(Play, HitsComboAndItemScoring) {
  for (int caught : {0, 10}) {
    start_round(1);
    g.items_caught = static_cast<uint16_t>(caught);
    for (int k = 1; k <= 5; ++k) {
      const Alien a = g.aliens[k - 1];
      ball(a.x + 2, 84, 0, -30);
      const uint32_t before = g.score;
      ASSERT_TRUE(hit_pass().hit);
      EXPECT_EQ(g.score - before, static_cast<uint32_t>(1 + caught / 5 + k));
      EXPECT_EQ(g.max_combo, k);
      const FallingItem& it = g.items[k - 1];
      EXPECT_TRUE(it.state == 1 && it.x == a.x + 4 && it.y == a.y + 4 && g.hit_popup_x == a.x + 6);
    }
  }
  g.score = 0;
  g.max_combo = 7;
  g.items_caught = 0;
  for (FallingItem& it : g.items) it = FallingItem{};
  g.items[3] = FallingItem{1, 0, 0, 0, 110, 260, 2};  // over the paddle
  EXPECT_EQ(item_pass(), ITEM_COUNT - 1);
  EXPECT_TRUE(g.score == 7 && g.items[3].state == 2 && g.items[3].value == 7 && g.items_caught == 1);
  g.items[4] = FallingItem{1, 0, 0, 0, 110, 260, 2};
  g.game_over = 1;
  item_pass();
  EXPECT_EQ(g.items[4].state, 1);  // no catch once the game is lost
}

TEST_F(Play, ArmourBlinksBySizeAndOnlyTheLowestSlotIsHit) {
  for (auto [slot, flash] : {std::pair{0, 60}, std::pair{16, 45}, std::pair{32, 30}}) {
    start_round(5);
    g.score = 0;
    const Alien a = g.aliens[slot];
    ball(a.x + 1, a.y + 2, 0, -30);
    ASSERT_TRUE(hit_pass().hit);
    EXPECT_TRUE(g.score == 1 && g.combo == 0);  // no combo step
    EXPECT_TRUE(g.aliens[slot].hp == 1 && g.aliens[slot].flash == flash);
    EXPECT_TRUE(!hit_pass().hit && g.aliens[slot].flash == flash - 1);
  }
  start_round(1);
  ball(10, 75, 0, -30);  // overlaps slot 0 (y 82) and slot 8 (y 68)
  EXPECT_TRUE(hit_pass().y == 82 && g.aliens[8].kind == 3);
}

TEST_F(Play, BombReleaseShootDownAndPaddleHit) {
  for (auto [slot, dx] : {std::pair{4, 8}, std::pair{20, 4}, std::pair{36, 0}}) {
    start_round(1);
    keep_only({slot});
    g.paddle_x = g.aliens[slot].x;
    hit_pass();
    EXPECT_TRUE(g.bomb_x == g.aliens[slot].x + dx && g.bomb_y == g.aliens[slot].y + 8) << slot;
  }
  g.bomb_y = 320;
  bomb_step();
  const int ended = g.bomb_active;
  hit_pass();
  EXPECT_TRUE(ended == 0 && g.bomb_active == 1);  // the next bomb comes at once
  // Touching the resting ball and the paddle at once: the ball wins, and stays at rest.
  start_round(1);
  g.bomb_active = 1;
  g.bomb_x = 116;
  g.bomb_y = 266;
  bomb_step();
  EXPECT_TRUE(g.bomb_active == 0 && g.game_over == 0 && g.ball_vy == 0);
  // Beside the ball it loses the game, and the ball falls off the paddle.
  g.bomb_active = 1;
  g.bomb_x = 106;
  bomb_step();
  EXPECT_TRUE(g.game_over == 1 && g.ball_vy == 33);
}

TEST_F(Play, FormationMarchesFromFrame41ByGroupThenDropsAndTurns) {
  start_round(1);
  frames(40);
  ASSERT_EQ(g.aliens[0].x, 8);
  frame();
  EXPECT_TRUE(g.aliens[0].x == 16 && g.aliens[15].x == 184 && g.aliens[16].x == 12 && g.march_group == 1);
  start_round(1);
  ball(200, 200, 0, 0);
  int steps = 0;
  for (int f = 1; f <= 41 * 17; ++f) {
    march_frame();
    if (g.march_delay == 40) {
      EXPECT_EQ(f % 41, 0) << f;  // a step every 41 frames
    }
    steps += g.march_delay == 40;
    if (steps == 16) {
      EXPECT_EQ(g.aliens[7].x, 208);
    }
  }
  EXPECT_TRUE(g.aliens[7].x == 208 && g.aliens[7].y == 90 && g.aliens[39].y == 34);  // group 0's fifth turn
  EXPECT_TRUE(g.march_phase == 2 && g.march_group == 0);
  for (int f = 0; f < 41; ++f) march_frame();
  EXPECT_EQ(g.aliens[7].x, 200);
}

TEST_F(Play, LastAliensMarchFastToTheEdgesAndTheBottom) {
  start_round(1);
  ball(200, 200, 0, 0);
  keep_only({39});
  g.aliens[39].x = 216;
  g.march_delay = 0;
  for (int f = 0; f < 4; ++f) {
    march_frame();
    EXPECT_EQ(g.aliens[39].x, 224);  // W = 8 goes right up to 224
  }
  EXPECT_TRUE(g.aliens[39].y == 34 && g.march_phase == 2);  // a step every 2 frames; the 2nd drops
  g.aliens[39].x = 16;
  for (int f = 0; f < 4; ++f) march_frame();
  EXPECT_TRUE(g.aliens[39].x == 8 && g.aliens[39].y == 42 && g.march_phase == 0);
  g.aliens[39] = Alien{1, 0, 1, 0, 224, 310};
  g.march_phase = 0;
  g.march_delay = 0;
  march_frame();
  EXPECT_TRUE(g.aliens[39].y == 312 && g.game_over == 1);
}

TEST_F(Play, PaddleContactWidthByKind) {
  struct Case { int slot, dx; bool lost; };
  for (Case c : {Case{0, 7, true}, Case{0, 8, false}, Case{16, 15, true}, Case{16, 16, false}}) {
    start_round(1);
    keep_only({c.slot});
    ball(200, 200, 0, 0);
    g.aliens[c.slot].y = 270;
    g.paddle_x = static_cast<int16_t>(g.aliens[c.slot].x + c.dx);
    hit_pass();
    EXPECT_EQ(g.game_over != 0, c.lost) << c.slot << " " << c.dx;
  }
}

TEST_F(Play, GameOverSequenceLasts198FramesAndRegistersOnce) {
  for (int playback : {0, 1}) {
    start_round(1);
    g.score = 9000000;
    g.playback = static_cast<uint8_t>(playback);
    ball(150, 319, 0, 30);
    frame();  // lost in the last step of this frame: the sequence starts in the next one
    EXPECT_TRUE(g.game_over == 1 && g.game_over_timer == 0);
    frames(198);
    EXPECT_TRUE(g.game_over_timer == 199 && g.scene == Scene::Play);
    frame();
    EXPECT_EQ(g.scene, playback ? Scene::Title : Scene::Ranking);
    int entries = 0;
    for (int i = 0; i < RANKING_ENTRIES; ++i) entries += ranking_score(i) == 9000000u;
    EXPECT_EQ(entries, 1);  // the played game only
  }
}

TEST_F(Play, RoundIsNotClearedWhileItemsRemain) {
  struct Case { FallingItem item; int frames_left; };
  for (Case c : {Case{{1, 0, 0, 0, 20, 300, 3}, 7}, Case{{2, 0, 7, 0, 20, 200, -50}, 30}}) {
    start_round(1);
    keep_only({});
    g.items[5] = c.item;
    frames(c.frames_left);  // the item is gone at the end of this frame
    EXPECT_TRUE(g.items[5].state == 0 && g.scene == Scene::Play);
    frame();
    EXPECT_TRUE(g.scene == Scene::RoundClear && g.scene_timer == 0);
  }
}

TEST_F(Play, RoundBonusCountsInFromFrame61) {
  struct Case { int caught, last_count_frame; };
  for (Case c : {Case{0, 0}, Case{6, 120}, Case{7, 130}, Case{13, 125}, Case{1000, 121}}) {
    g.scene = Scene::RoundClear;
    g.scene_timer = 0;
    g.round = 2;
    g.score = 0;
    g.items_caught = static_cast<uint16_t>(c.caught);
    int last = 0, f = 0;
    while (g.scene == Scene::RoundClear && f < 1000) {
      const uint32_t before = g.score;
      frame();
      if (g.score != before) last = f + 1;
      ++f;
    }
    EXPECT_EQ(g.score, c.caught * 10u) << c.caught;
    EXPECT_EQ(last, c.last_count_frame) << c.caught;
    EXPECT_TRUE(f == 181 && g.scene == Scene::RoundSetup && g.round == 3) << c.caught;
  }
  g.items_caught = 0;
  for (int playback : {0, 1}) {
    replay_clear();
    g.scene = Scene::RoundClear;
    g.scene_timer = 0;
    g.round = 5;
    g.score = 8000000;
    g.playback = static_cast<uint8_t>(playback);
    frames(181);
    EXPECT_EQ(g.scene, playback ? Scene::Title : Scene::Ending);
    EXPECT_EQ(replay_score(), playback ? 0u : 8000000u);  // registered at the switch only
  }
  g.scene = Scene::Ending;
  g.scene_timer = 0;
  frames(300);
  EXPECT_EQ(g.scene, Scene::Ending);  // the all-clear picture for 301 frames
  frame();
  EXPECT_EQ(g.scene, Scene::Ranking);
}

TEST_F(Play, GuidePathBendsAtThePaddleOnlyWhileTheBallFalls) {
  start_round(1, 0, 1);
  for (int vy : {30, -30}) {
    std::memset(nox_sp, 0, sizeof nox_sp);
    ball(g.paddle_x + 12, 150, 0, vy);  // straight down onto the paddle's centre
    guide_path();
    int below = 0, above = 0;
    for (int y = 0; y < NOX_H; ++y) (y < 150 ? above : below) += nox_sp[y * NOX_W + g.paddle_x + 16] == 173;
    EXPECT_EQ(below > 0 && above > 0, vy > 0) << vy;
  }
}

// Each step's drawing, on an empty SP plane, against what the player should see.
TEST_F(Play, StepsDrawTheirPicturesAndTexts) {
  struct Case {
    const char* name;
    std::function<void()> setup, step;
    std::string want;
  };
  const Case cases[] = {
      {"paddle and ball", [] { g.paddle_x = 60; ball(100, 200, 0, 0); }, paddle_and_ball_draw,
       "paddle at 60,272; ball at 100,200"},
      {"lost: ball only", [] { g.game_over = 1; ball(100, 200, 0, 0); }, paddle_and_ball_draw, "ball at 100,200"},
      {"beam, odd frame", [] { g.frame_counter = 1; g.touch_pressed = 1; g.touch_x = 100; }, paddle_target_and_beam,
       line(8, 100, 24, 100, 319) + line(10, 101, 24, 101, 319) + line(10, 102, 24, 102, 319) +
           line(8, 103, 24, 103, 319)},
      {"beam, even frame", [] { g.frame_counter = 2; g.touch_pressed = 1; g.touch_x = 100; },
       paddle_target_and_beam, ""},
      {"floor barrier", [] { g.floor_present = 1; }, floor_barrier_draw,
       [] {  // six rows across the field, darker downwards
         std::string rows;
         for (int i = 0; i < 6; ++i) rows += line(64 - 2 * i, 8, 304 + i, 231, 304 + i);
         return rows;
       }()},
      {"plain medium, frame 1", [] { keep_only({17}); }, [] { alien_pass(); }, "medium alien 1 at 36,54"},
      {"armoured large, frame 0", [] { keep_only({0}); g.aliens[0].hp = 2; }, [] { alien_pass(); },
       "armoured large alien 0 at 8,82"},
      {"blinking small, flash odd", [] { keep_only({33}); g.aliens[33].flash = 6; }, [] { alien_pass(); },
       "armoured small alien 1 at 40,26"},
      {"blinking small, flash even", [] { keep_only({33}); g.aliens[33].flash = 5; }, [] { alien_pass(); },
       "small alien 1 at 40,26"},
      {"bomb frame 1", [] { g.bomb_active = 1; g.bomb_frame = 1; g.bomb_x = 50; g.bomb_y = 100; }, bomb_step,
       "bomb 1 at 50,100"},
      {"falling item frame 2", [] { g.items[6] = FallingItem{1, 2, 0, 0, 40, 100, 2}; }, [] { item_pass(); },
       "item 2 at 40,100"},
      {"caught item below 10, odd frame",
       [] { g.frame_counter = 1; g.items[6] = FallingItem{2, 1, 7, 0, 60, 150, -50}; }, [] { item_pass(); },
       "text \"70PTS\" (small) at 58,142; item 1 at 60,150"},
      {"caught item of 12, odd frame",
       [] { g.frame_counter = 1; g.items[6] = FallingItem{2, 3, 12, 0, 60, 150, -50}; }, [] { item_pass(); },
       "text \"120PTS\" (small) at 56,142; item 3 at 60,150"},
      {"caught item, even frame", [] { g.frame_counter = 2; g.items[6] = FallingItem{2, 1, 7, 0, 60, 150, -50}; },
       [] { item_pass(); }, ""},
      {"large explosion, last of nine first pictures",
       [] {
         explosion_spawn(3, 50, 120);
         for (int i = 0; i < 8; ++i) explosion_pass();
       },
       explosion_pass, "large explosion 0 at 50,120"},
      {"medium explosion, second picture",
       [] {
         explosion_spawn(2, 50, 120);
         for (int i = 0; i < 9; ++i) explosion_pass();
       },
       explosion_pass, "medium explosion 1 at 50,120"},
      {"shot bomb explosion", [] { explosion_spawn(1, 30, 40); }, explosion_pass, "small explosion 0 at 30,40"},
      {"particle pixel", [] { particle_spawn(50, 10, 12, 3, 1); }, particle_pass, dot(50, 10, 12)},
      {"guide dots bend at the right wall",
       [] {
         g.opt_guide = 1;
         g.paddle_x = 8;
         ball(200, 100, 33, 33);  // 3 pixels a frame each way, a dot every 9 at the ball's centre
       },
       guide_path,
       [] {
         std::string dots;
         for (int k = 0; 100 + 9 * k < 316; ++k)  // 9 right to the wall at 224, then 9 left, 9 down each
           dots += dot(173, (k < 3 ? 200 + 9 * k : 224 - 9 * (k - 3)) + 4, 104 + 9 * k);
         return dots;
       }()},
      {"no guide while the ball rises", [] { g.opt_guide = 1; ball(200, 100, 33, -33); }, guide_path, ""},
      {"hit pop-up, combo 3", [] { g.hit_popup_timer = 1; g.combo = 3; g.hit_popup_x = 70; g.hit_popup_y = 90; },
       hit_popup_step, "text \"3HIT\" (small) at 68,90"},
      {"hit pop-up, combo 12", [] { g.hit_popup_timer = 1; g.combo = 12; g.hit_popup_x = 70; g.hit_popup_y = 90; },
       hit_popup_step, "text \"12HIT\" (small) at 70,90"},
  };
  mark_pictures();
  for (const Case& c : cases) {
    start_round(1);
    c.setup();
    std::memset(nox_sp, 0, sizeof nox_sp);
    c.step();
    EXPECT_EQ(in_order(c.want), seen_on(nox_sp)) << c.name;
  }
}

// Whole frames: the banners, the lost paddle's blink and the round-clear and ending screens
// show (or, once their time is over, do not show) among everything else of the frame.
TEST_F(Play, FramesShowBannersBlinkAndClearScreens) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    bool shown;
    std::string want;
  };
  auto lost = [](int timer, int flash, int frame) {
    start_round(1);
    g.game_over = 1;
    g.game_over_timer = static_cast<uint16_t>(timer);
    g.over_flash_timer = static_cast<int8_t>(flash);
    g.frame_counter = static_cast<uint16_t>(frame);
  };
  auto cleared = [] {
    g.scene = Scene::RoundClear;
    g.scene_timer = 0;
    g.round = 2;
    g.items_caught = 6;
  };
  const Case cases[] = {
      {"round banner", [] { start_round(3); }, true, "text \"ROUND 3\" (large) at 92,156"},
      {"round banner off", [] { start_round(3); g.scene_timer = 14; }, false, "text \"ROUND 3\" (large) at 92,156"},
      {"game over", [&] { lost(0, 0, 0); }, true, "text \"GAME OVER\" (large) at 84,156"},
      {"game over off", [&] { lost(20, 0, 0); }, false, "text \"GAME OVER\" (large) at 84,156"},
      {"blink, odd frame", [&] { lost(0, 5, 0); }, true, "paddle lost 1 at 104,272"},
      {"blink, even frame", [&] { lost(0, 5, 1); }, true, "paddle lost 0 at 104,272"},
      {"round clear title", cleared, true, "text \"ROUND 2 CLEAR\" (large) at 68,146"},
      {"round clear bonus", cleared, true, "text \"BONUS 600PTS\" (large) at 72,166"},
      {"all clear", [] { g.scene = Scene::Ending; g.scene_timer = 0; }, true, "all-clear picture at 8,120"},
  };
  mark_pictures();
  for (const Case& c : cases) {
    c.setup();
    std::memset(nox_sp, 0, sizeof nox_sp);
    frame();
    const std::string seen = seen_on(nox_sp);
    const bool shown = ("; " + seen + "; ").find("; " + c.want + "; ") != std::string::npos;
    EXPECT_EQ(shown, c.shown) << c.name << "\n  wanted " << (c.shown ? "" : "no ") << c.want << "\n  seen   " << seen;
  }
}

}  // namespace
