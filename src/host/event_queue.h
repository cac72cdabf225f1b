// Pending pointer, key and window events of an interactive host, handed to the game one per frame.
#pragma once
#include <cstdint>

#include "engine/touch.h"

struct HostEvent {
  NoxEvent ev;
  int32_t x, y;  // client pixels, PointerMove only
};

constexpr uint32_t HOST_EVENT_CAPACITY = 256;

// A fixed ring of translated events. Consecutive pointer moves are merged into the newest
// position (a fast mouse reports hundreds of moves a second and the game takes one event per
// frame, so an unmerged queue would fall further and further behind the hand). Presses,
// releases and the rest are never merged.
struct HostEventQueue {
  HostEvent items[HOST_EVENT_CAPACITY];
  uint32_t head;         // index of the oldest pending event
  uint32_t count;        // pending events
  uint8_t leave_armed;   // a press asks for one leave notice, as the window systems do
  uint8_t quit_pending;  // a quit request that found the ring full is still delivered last
  uint32_t dropped;      // events lost to a full ring (never a quit)
};

void events_clear(HostEventQueue* q);

// Queues an event. A PointerDown arms one leave notice; a PointerLeave that finds none armed
// is dropped, and one that does disarms it.
void events_push(HostEventQueue* q, HostEvent ev);

// Takes the oldest pending event; false when there is none.
bool events_pop(HostEventQueue* q, HostEvent* out);
