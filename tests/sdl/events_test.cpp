// The pending-event ring between SDL and the game: translation, merging, leave notices, the
// bars around a scaled picture, and the pause that must not let go of anything.
#include <gtest/gtest.h>

#include <vector>

#include "nox_sdl/controls.h"
#include "nox_sdl/events.h"

namespace {

SDL_Event motion(int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  e.motion.y = y;
  return e;
}
SDL_Event button(Uint32 type, Uint8 which) {
  SDL_Event e{};
  e.type = type;
  e.button.button = which;
  return e;
}
SDL_Event down() { return button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT); }
SDL_Event up() { return button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT); }
SDL_Event window(Uint8 what) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = what;
  return e;
}
SDL_Event key(Uint32 type, SDL_Keycode sym) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = sym;
  return e;
}
SDL_Event quit() {
  SDL_Event e{};
  e.type = SDL_QUIT;
  return e;
}

HostEvent mv(int x, int y) { return {NoxEvent::PointerMove, x, y}; }
HostEvent ev(NoxEvent e) { return {e, 0, 0}; }

struct Case {
  const char* name;
  std::vector<SDL_Event> in;
  std::vector<HostEvent> out;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<HostEvent> drain(HostEventQueue* q) {
  std::vector<HostEvent> got;
  HostEvent h{};
  while (events_pop(q, &h)) got.push_back(h);
  return got;
}

class Translate : public ::testing::TestWithParam<Case> {};

TEST_P(Translate, QueuesWhatTheGameShouldSee) {
  static HostInput in;
  input_clear(&in, nullptr);
  for (const SDL_Event& e : GetParam().in) input_event(&in, e, true);
  const std::vector<HostEvent> got = drain(&in.queue);
  ASSERT_EQ(got.size(), GetParam().out.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].ev, GetParam().out[i].ev) << "event " << i;
    EXPECT_EQ(got[i].x, GetParam().out[i].x) << "event " << i;
    EXPECT_EQ(got[i].y, GetParam().out[i].y) << "event " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Events, Translate,
    ::testing::Values(
        Case{"consecutive_moves_merge_into_the_newest", {motion(10, 10), motion(20, 30), motion(21, 31)}, {mv(21, 31)}},
        Case{"moves_do_not_merge_across_a_press",
             {motion(1, 1), down(), motion(2, 2), motion(3, 3), up(), motion(4, 4)},
             {mv(1, 1), ev(NoxEvent::PointerDown), mv(3, 3), ev(NoxEvent::PointerUp), mv(4, 4)}},
        Case{"leave_without_a_press_is_not_reported", {motion(5, 5), window(SDL_WINDOWEVENT_LEAVE)}, {mv(5, 5)}},
        Case{"a_press_asks_for_exactly_one_leave",
             {down(), up(), window(SDL_WINDOWEVENT_LEAVE), window(SDL_WINDOWEVENT_LEAVE)},
             {ev(NoxEvent::PointerDown), ev(NoxEvent::PointerUp), ev(NoxEvent::PointerLeave)}},
        Case{"other_buttons_are_ignored",
             {button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE),
              window(SDL_WINDOWEVENT_LEAVE)},
             {}},
        Case{"only_releasing_escape_counts",
             {key(SDL_KEYDOWN, SDLK_ESCAPE), key(SDL_KEYUP, SDLK_SPACE), key(SDL_KEYUP, SDLK_ESCAPE)},
             {ev(NoxEvent::EscapeUp)}},
        // Space or Enter press where the mouse left the pointer; a second key adds nothing.
        Case{"keys_press_under_the_pointer_until_the_last_is_let_go",
             {motion(101, 201), key(SDL_KEYDOWN, SDLK_SPACE), key(SDL_KEYDOWN, SDLK_RETURN), key(SDL_KEYUP, SDLK_SPACE),
              key(SDL_KEYUP, SDLK_RETURN)},
             {mv(101, 201), ev(NoxEvent::PointerDown), ev(NoxEvent::PointerUp)}},
        Case{"window_close_and_quit_both_quit",
             {window(SDL_WINDOWEVENT_CLOSE), quit()},
             {ev(NoxEvent::Quit), ev(NoxEvent::Quit)}},
        Case{"positions_outside_the_client_area_are_clamped",
             {motion(-7, 900), down(), motion(480, -1)},
             {mv(0, 639), ev(NoxEvent::PointerDown), mv(479, 0)}},
        Case{"window_focus_and_exposure_are_not_events",
             {window(SDL_WINDOWEVENT_EXPOSED), window(SDL_WINDOWEVENT_ENTER)},
             {}}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(EventRing, FullRingDropsEventsButNeverTheQuitRequest) {
  static HostInput in;
  input_clear(&in, nullptr);
  for (uint32_t i = 0; i < HOST_EVENT_CAPACITY + 10; ++i) input_event(&in, i % 2 == 0 ? down() : up(), true);
  input_event(&in, quit(), true);
  EXPECT_EQ(in.queue.dropped, 10u);
  const std::vector<HostEvent> got = drain(&in.queue);
  ASSERT_EQ(got.size(), HOST_EVENT_CAPACITY + 1);
  EXPECT_EQ(got.front().ev, NoxEvent::PointerDown);
  EXPECT_EQ(got.back().ev, NoxEvent::Quit);
}

SDL_Event at(SDL_Event e, int x, int y) {
  e.button.x = x;
  e.button.y = y;
  return e;
}

TEST(ScaledPicture, PressesOverTheBarsAreOutsideTheScreenAndMovingThereLeavesIt) {
  static HostInput in;
  input_clear(&in, nullptr);
  in.fit = display_fit(1000, 1000, 1000, 1000);  // 3x at (140, 20)
  input_event(&in, motion(100, 500), true);       // over the left bar: nothing to tell
  input_event(&in, at(down(), 100, 500), true);   // a press there does not reach the game
  input_event(&in, at(up(), 100, 500), true);
  input_event(&in, motion(140 + 3 * 120, 20 + 3 * 113), true);
  input_event(&in, at(down(), 140 + 3 * 120, 20 + 3 * 113), true);
  input_event(&in, motion(990, 500), true);  // dragged onto the right bar: the pointer leaves
  input_event(&in, motion(995, 500), true);
  const std::vector<HostEvent> got = drain(&in.queue);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].ev, NoxEvent::PointerUp);
  EXPECT_EQ(got[1].ev, NoxEvent::PointerMove);
  EXPECT_EQ(got[1].x / 2, 120);
  EXPECT_EQ(got[1].y / 2, 113);
  EXPECT_EQ(got[2].ev, NoxEvent::PointerDown);
  EXPECT_EQ(got[3].ev, NoxEvent::PointerLeave);
}

// Events as SDL hands them over between two frames.
void frame_with(HostInput* in, std::initializer_list<SDL_Event> events) {
  for (SDL_Event e : events) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  input_frame(in);
}

TEST(Pause, TheFocusGoingAndComingBackLetsGoOfNothingAndWhileAwayNothingCounts) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  static HostInput in;
  input_clear(&in, nullptr);
  frame_with(&in, {key(SDL_KEYDOWN, SDLK_SPACE)});
  const std::vector<HostEvent> pressed = drain(&in.queue);  // where the pointer is, then the press
  ASSERT_EQ(pressed.size(), 2u);
  EXPECT_EQ(pressed[0].ev, NoxEvent::PointerMove);
  EXPECT_EQ(pressed[0].x, 240);
  EXPECT_EQ(pressed[1].ev, NoxEvent::PointerDown);
  // SDL lets go of the held key as the focus goes, in the same batch as the focus event.
  frame_with(&in, {key(SDL_KEYUP, SDLK_SPACE), window(SDL_WINDOWEVENT_FOCUS_LOST)});
  EXPECT_TRUE(input_paused(&in));
  frame_with(&in, {motion(10, 10), down(), up(), key(SDL_KEYUP, SDLK_ESCAPE), key(SDL_KEYDOWN, SDLK_RIGHT)});
  EXPECT_TRUE(drain(&in.queue).empty());
  // Back again: SDL reports the key still held; the pointer stays pressed, as it was.
  frame_with(&in, {window(SDL_WINDOWEVENT_FOCUS_GAINED), key(SDL_KEYDOWN, SDLK_SPACE)});
  EXPECT_FALSE(input_paused(&in));
  EXPECT_TRUE(drain(&in.queue).empty());
  frame_with(&in, {window(SDL_WINDOWEVENT_MINIMIZED)});
  EXPECT_TRUE(input_paused(&in));
  frame_with(&in, {window(SDL_WINDOWEVENT_RESTORED)});
  frame_with(&in, {key(SDL_KEYUP, SDLK_SPACE)});
  const std::vector<HostEvent> got = drain(&in.queue);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].ev, NoxEvent::PointerUp);  // only the player's own release
  // Closing a paused game still ends it.
  frame_with(&in, {window(SDL_WINDOWEVENT_FOCUS_LOST), quit()});
  EXPECT_TRUE(input_paused(&in));
  EXPECT_TRUE(in.quit);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

}  // namespace
