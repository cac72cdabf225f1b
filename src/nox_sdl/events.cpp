#include "nox_sdl/events.h"

#include <algorithm>

void events_push_sdl(HostEventQueue* q, const SDL_Event& e, int32_t client_w, int32_t client_h) {
  const int32_t max_x = std::max(client_w - 1, 0);
  const int32_t max_y = std::max(client_h - 1, 0);
  switch (e.type) {
    case SDL_MOUSEMOTION:
      events_push(q, {NoxEvent::PointerMove, std::clamp(e.motion.x, 0, max_x), std::clamp(e.motion.y, 0, max_y)});
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) events_push(q, {NoxEvent::PointerDown, 0, 0});
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) events_push(q, {NoxEvent::PointerUp, 0, 0});
      break;
    case SDL_KEYUP:
      if (e.key.keysym.sym == SDLK_ESCAPE) events_push(q, {NoxEvent::EscapeUp, 0, 0});
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_LEAVE) {
        events_push(q, {NoxEvent::PointerLeave, 0, 0});
      } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
        events_push(q, {NoxEvent::Quit, 0, 0});
      }
      break;
    case SDL_QUIT:
      events_push(q, {NoxEvent::Quit, 0, 0});
      break;
    default:
      break;
  }
}
