// The pending-event ring between SDL and the game: translation, merging, leave notices.
#include <gtest/gtest.h>

#include <vector>

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
  HostEventQueue q{};
  events_clear(&q);
  for (const SDL_Event& e : GetParam().in) events_push_sdl(&q, e, 480, 640);
  const std::vector<HostEvent> got = drain(&q);
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
        Case{"window_close_and_quit_both_quit", {window(SDL_WINDOWEVENT_CLOSE), quit()}, {ev(NoxEvent::Quit), ev(NoxEvent::Quit)}},
        Case{"positions_outside_the_client_area_are_clamped", {motion(-7, 900), down(), motion(480, -1)},
             {mv(0, 639), ev(NoxEvent::PointerDown), mv(479, 0)}},
        Case{"window_focus_and_exposure_are_not_events", {window(SDL_WINDOWEVENT_EXPOSED), window(SDL_WINDOWEVENT_ENTER)},
             {}}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(EventRing, FullRingDropsEventsButNeverTheQuitRequest) {
  HostEventQueue q{};
  events_clear(&q);
  for (uint32_t i = 0; i < HOST_EVENT_CAPACITY + 10; ++i) events_push_sdl(&q, i % 2 == 0 ? down() : up(), 480, 640);
  events_push_sdl(&q, quit(), 480, 640);
  EXPECT_EQ(q.dropped, 10u);
  const std::vector<HostEvent> got = drain(&q);
  ASSERT_EQ(got.size(), HOST_EVENT_CAPACITY + 1);
  EXPECT_EQ(got.front().ev, NoxEvent::PointerDown);
  EXPECT_EQ(got.back().ev, NoxEvent::Quit);
}


}  // namespace
