#include "host/event_queue.h"

void events_clear(HostEventQueue* q) { *q = HostEventQueue{}; }

void events_push(HostEventQueue* q, HostEvent ev) {
  switch (ev.ev) {
    case NoxEvent::None:
      return;
    case NoxEvent::PointerDown:
      q->leave_armed = 1;
      break;
    case NoxEvent::PointerLeave:
      // Only a press asks for a leave notice, and each request brings at most one.
      if (!q->leave_armed) return;
      q->leave_armed = 0;
      break;
    case NoxEvent::PointerMove:
      if (q->count > 0) {
        HostEvent& last = q->items[(q->head + q->count - 1) % HOST_EVENT_CAPACITY];
        if (last.ev == NoxEvent::PointerMove) {
          last.x = ev.x;
          last.y = ev.y;
          return;
        }
      }
      break;
    default:
      break;
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
