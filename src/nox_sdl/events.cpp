#include "nox_sdl/events.h"

#include "nox_sdl/controls.h"
#include "nox_sdl/display.h"

namespace {

constexpr int BATCH = 64;
SDL_Event batch[BATCH];

// What a window event does to the reasons for pausing.
void pause_reasons(const SDL_Event& e, uint8_t* focus_lost, uint8_t* minimised) {
  if (e.type != SDL_WINDOWEVENT) return;
  switch (e.window.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
      *focus_lost = 1;
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      *focus_lost = 0;
      break;
    // (Not hidden and shown: SDL hides and shows the window by itself while it is set up.)
    case SDL_WINDOWEVENT_MINIMIZED:
      *minimised = 1;
      break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
      *minimised = 0;
      break;
    default:
      break;
  }
}

void push(HostInput* in, NoxEvent ev, int32_t x = 0, int32_t y = 0) {
  if (ev == NoxEvent::Quit) in->quit = 1;
  events_push(&in->queue, {ev, x, y});
}

// A mouse position: over the picture it moves the game's pointer (and the virtual one with
// it); moving into the bars leaves the screen as leaving the window does.
void mouse_at(HostInput* in, int32_t wx, int32_t wy) {
  int32_t cx = 0;
  int32_t cy = 0;
  if (!display_pointer(in->fit, wx, wy, &cx, &cy)) {
    if (!in->mouse_in_bars) push(in, NoxEvent::PointerLeave);
    in->mouse_in_bars = 1;
    vpointer_forget(&in->pointer);
    return;
  }
  in->mouse_in_bars = 0;
  push(in, NoxEvent::PointerMove, cx, cy);
  vpointer_follow_mouse(&in->pointer, cx, cy);
}

void window_event(HostInput* in, const SDL_WindowEvent& w, bool take_input) {
  switch (w.event) {
    case SDL_WINDOWEVENT_LEAVE:
      if (!take_input) break;
      push(in, NoxEvent::PointerLeave);
      vpointer_forget(&in->pointer);
      break;
    case SDL_WINDOWEVENT_CLOSE:
      push(in, NoxEvent::Quit);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      if (in->window != nullptr) in->fit = display_window_fit(in->window);
      in->redraw = 1;
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      in->redraw = 1;
      break;
    default:
      break;
  }
}

}  // namespace

void input_clear(HostInput* in, SDL_Window* window) {
  *in = HostInput{};
  vpointer_reset(&in->pointer);
  in->window = window;
  in->fit = window != nullptr ? display_window_fit(window)
                              : display_fit(NOX_CLIENT_W, NOX_CLIENT_H, NOX_CLIENT_W, NOX_CLIENT_H);
}

void input_event(HostInput* in, const SDL_Event& e, bool take_input) {
  pause_reasons(e, &in->focus_lost, &in->minimised);
  switch (e.type) {
    case SDL_WINDOWEVENT:
      window_event(in, e.window, take_input);
      return;
    case SDL_QUIT:
      push(in, NoxEvent::Quit);
      return;
    default:
      break;
  }
  if (!take_input) return;
  switch (e.type) {
    case SDL_MOUSEMOTION:
      mouse_at(in, e.motion.x, e.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN: {
      // A press over the bars is a press outside the game's screen: it does not reach the game.
      int32_t cx = 0;
      int32_t cy = 0;
      if (e.button.button == SDL_BUTTON_LEFT && display_pointer(in->fit, e.button.x, e.button.y, &cx, &cy))
        push(in, NoxEvent::PointerDown);
      break;
    }
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) push(in, NoxEvent::PointerUp);
      break;
    default:
      controls_event(in, e);
      break;
  }
}

void input_frame(HostInput* in) {
  SDL_PumpEvents();
  for (;;) {
    const int n = SDL_PeepEvents(batch, BATCH, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (n <= 0) break;
    // Where the batch leaves the pause decides whether its input counts.
    uint8_t focus_lost = in->focus_lost;
    uint8_t minimised = in->minimised;
    for (int i = 0; i < n; ++i) pause_reasons(batch[i], &focus_lost, &minimised);
    const bool take_input = focus_lost == 0 && minimised == 0;
    for (int i = 0; i < n; ++i) input_event(in, batch[i], take_input);
    if (n < BATCH) break;
  }
  if (input_paused(in)) return;
  controls_frame(&in->pointer);
  vpointer_frame(&in->pointer, &in->queue);
}
