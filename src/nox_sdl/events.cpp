#include "nox_sdl/events.h"

#include <algorithm>

void events_clear(HostEventQueue* q) { *q = HostEventQueue{}; }

void events_push(HostEventQueue* q, HostEvent ev) {
  if (ev.ev == NoxEvent::None) return;
  if (ev.ev == NoxEvent::PointerMove && q->count > 0) {
    HostEvent& last = q->items[(q->head + q->count - 1) % HOST_EVENT_CAPACITY];
    if (last.ev == NoxEvent::PointerMove) {
      last.x = ev.x;
      last.y = ev.y;
      return;
    }
  }
  if (q->count == HOST_EVENT_CAPACITY) {
    if (ev.ev == NoxEvent::Quit) {
      q->quit_pending = 1;
    } else {
      q->dropped++;
    }
    return;
  }
  q->items[(q->head + q->count) % HOST_EVENT_CAPACITY] = ev;
  q->count++;
}

void events_push_sdl(HostEventQueue* q, const SDL_Event& e, int32_t client_w, int32_t client_h) {
  const int32_t max_x = std::max(client_w - 1, 0);
  const int32_t max_y = std::max(client_h - 1, 0);
  switch (e.type) {
    case SDL_MOUSEMOTION:
      events_push(q, {NoxEvent::PointerMove, std::clamp(e.motion.x, 0, max_x), std::clamp(e.motion.y, 0, max_y)});
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) {
        q->leave_armed = 1;
        events_push(q, {NoxEvent::PointerDown, 0, 0});
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) events_push(q, {NoxEvent::PointerUp, 0, 0});
      break;
    case SDL_KEYUP:
      if (e.key.keysym.sym == SDLK_ESCAPE) events_push(q, {NoxEvent::EscapeUp, 0, 0});
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_LEAVE) {
        // Only a press asks for a leave notice, and each request brings at most one.
        if (q->leave_armed) {
          q->leave_armed = 0;
          events_push(q, {NoxEvent::PointerLeave, 0, 0});
        }
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

bool events_pop(HostEventQueue* q, HostEvent* out) {
  if (q->count == 0) {
    if (q->quit_pending) {
      q->quit_pending = 0;
      *out = {NoxEvent::Quit, 0, 0};
      return true;
    }
    return false;
  }
  *out = q->items[q->head];
  q->head = (q->head + 1) % HOST_EVENT_CAPACITY;
  q->count--;
  return true;
}
