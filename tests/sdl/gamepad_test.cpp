// Gamepads through SDL's virtual joystick: plugged in and out while the game runs, they move the
// pointer and press it through the same touch handling as the mouse, so a game played with one
// records and plays back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "headless/session.h"
#include "headless/bot.h"
#include "nox_sdl/controls.h"
#include "nox_sdl/events.h"
#include "pack/packwriter.h"
#include "support/play_state.h"
#include "support/test_pack.h"

namespace {

HostInput input;

// A player with a gamepad that exists only in SDL (buttons and axes in SDL's gamepad layout):
// it steers the stick towards where the built-in player would put the pointer, taps GAME START
// with the south button and holds it in play, lifting it to serve. It is plugged in after the
// start, pulled out in the middle of the round and plugged in again.
struct PadPlayer {
  SDL_Joystick* pad = nullptr;
  bool south = false;
  int plugged = 0, paddle_min = 1000, paddle_max = -1000, served = 0, held = 0;

  void plug() {
    pad = SDL_JoystickOpen(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                     SDL_CONTROLLER_BUTTON_MAX, 0));
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    ++plugged;
  }
  void unplug() {
    const SDL_JoystickID id = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    pad = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
  }
  void button(SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(pad, b, down ? 1 : 0); }
  void steer(int32_t tx, int32_t ty) {
    auto tilt = [](int32_t d) {
      return static_cast<Sint16>(d == 0 ? 0 : std::clamp(d * 4000 + (d > 0 ? 9000 : -9000), -32767, 32767));
    };
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, tilt(tx - vpointer_x(&input.pointer)));
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, tilt(ty - vpointer_y(&input.pointer)));
  }

  // The pad's state for the next frame.
  void act(int64_t frame) {
    if (frame == 3 || (pad == nullptr && g.scene_timer == 215)) return plug();
    if (pad == nullptr) return;
    if (g.scene == Scene::Title || g.scene == Scene::TitleAgain) {
      steer(100, 110);  // GAME START: there, press, lift
      south =
          vpointer_x(&input.pointer) == 100 && vpointer_y(&input.pointer) == 110 && !south && input.queue.count == 0;
      button(SDL_CONTROLLER_BUTTON_A, south);
    } else if (g.scene == Scene::Play && g.game_over == 0 && g.scene_timer == 200) {
      unplug();  // the press goes with it
    } else if (g.scene == Scene::Play && g.game_over == 0 && g.scene_timer >= 900) {
      button(SDL_CONTROLLER_BUTTON_BACK, (g.scene_timer & 1) == 0);  // Back acts as Escape
    } else if (g.scene == Scene::Play && g.game_over == 0) {
      const HeadlessEvent want = headless_bot_event(frame);
      if (want.ev == NoxEvent::PointerMove) steer(want.px / 2, want.py / 2);
      // Lifted to serve, and now and then (a press count past 255 is stored in a byte).
      button(SDL_CONTROLLER_BUTTON_A, g.scene_timer > 20 && g.scene_timer != 30 && g.touch_pressed < 250);
    }
  }
  void watch() {
    if (g.scene != Scene::Play) return;
    paddle_min = std::min<int>(paddle_min, g.paddle_x);
    paddle_max = std::max<int>(paddle_max, g.paddle_x);
    served += g.ball_vy != 0 ? 1 : 0;
    held += g.touch_pressed > 0 ? 1 : 0;
  }
};

TEST(Gamepad, AGamePlayedWithAHotPluggedGamepadRecordsAndPlaysBackExactly) {
  ASSERT_FALSE(real_pack_path().empty()) << "ROMDATA.BIN has not been built (target romdata)";
  TempWorkDir dir;
  std::filesystem::copy_file(real_pack_path(), "ROMDATA.BIN");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  controls_init();
  input_clear(&input, nullptr);

  PadPlayer player;
  std::vector<std::string> recorded;
  std::vector<int> pads;  // the host's gamepads, frame by frame
  HeadlessOptions o;
  o.max_frames = 4000;
  o.input = [&](int64_t frame, HeadlessEvent* ev) {
    player.act(frame);
    input_frame(&input);  // the host's input step, and its one event per frame
    if (pads.empty() || pads.back() != controls_pad_count()) pads.push_back(controls_pad_count());
    HostEvent h{};
    if (events_pop(&input.queue, &h)) *ev = HeadlessEvent{h.ev, h.x, h.y};
    return true;
  };
  o.on_frame = [&](int64_t frame) {
    player.watch();
    if (g.scene == Scene::Play) recorded.push_back(play_state(frame));
    return !(g.scene == Scene::Ranking || (g.scene == Scene::Title && !recorded.empty()));  // lost, or left with Back
  };
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  const bool lost = g.scene == Scene::Ranking;
  if (player.pad != nullptr) player.unplug();
  controls_term();
  SDL_QuitSubSystem(SDL_INIT_EVENTS);

  // The gamepad started the game, moved the paddle about, served and held the pointer; the host
  // took it up when plugged in, let it go when pulled out, and took it up again.
  ASSERT_GT(recorded.size(), 300u) << "no game was played";
  EXPECT_GT(player.paddle_max - player.paddle_min, 60);
  EXPECT_GT(player.served, 0);
  EXPECT_GT(player.held, 200);
  EXPECT_EQ(player.plugged, 2);
  EXPECT_EQ(pads, (std::vector<int>{0, 1, 0, 1}));
  EXPECT_TRUE(lost || g.scene == Scene::Title) << "Back did not end the game";

  // Played back from a file, every play frame is the same. (The states start with the round
  // setup's frame; a game left with Escape has its last play frame recorded too.)
  const uint32_t n = replay_frame_index();
  ASSERT_EQ(n + (lost ? 0 : 1), recorded.size());
  std::vector<uint8_t> file(replay_buffer, replay_buffer + REPLAY_HEADER_BYTES + REPLAY_RECORD_BYTES * n);
  if (!lost) make_date_text(file.data());  // what a game that ends in the ranking stamps
  ASSERT_TRUE(write_file("PAD.REP", file));
  std::remove("SCORE.DAT");
  std::vector<std::string> replayed;
  HeadlessOptions p;
  p.replay_file = "PAD.REP";
  p.on_frame = [&](int64_t frame) {
    if (g.scene == Scene::Play) replayed.push_back(play_state(frame));
    return true;
  };
  ASSERT_EQ(headless_run(p, &r), 0) << r.error;
  ASSERT_GE(replayed.size(), recorded.size());
  for (size_t i = 0; i < recorded.size(); ++i) ASSERT_EQ(replayed[i], recorded[i]) << "play frame " << i;
}

}  // namespace
