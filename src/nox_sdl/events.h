// Pending pointer, key and window events of the SDL window, handed to the game one per frame.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

#include "game/input.h"

struct HostEvent {
  NoxEvent ev;
  int32_t x, y;  // client pixels, PointerMove only
};

constexpr uint32_t HOST_EVENT_CAPACITY = 256;

// A fixed ring of translated events. Consecutive pointer moves are merged into the newest
// position (a fast mouse reports hundreds of moves a second and the game takes one event per
// frame, so an unmerged queue would fall further and further behind the hand).
struct HostEventQueue {
  HostEvent items[HOST_EVENT_CAPACITY];
  uint32_t head;         // index of the oldest pending event
  uint32_t count;        // pending events
  uint8_t leave_armed;   // a button press asks for one leave notice, as the window system does
  uint8_t quit_pending;  // a quit request that found the ring full is still delivered last
  uint32_t dropped;      // events lost to a full ring (never a quit)
};

void events_clear(HostEventQueue* q);

// Translates one SDL event and queues it; events the game has no use for are ignored.
// client_w and client_h bound pointer positions to the client area.
void events_push_sdl(HostEventQueue* q, const SDL_Event& e, int32_t client_w, int32_t client_h);

// Queues an already translated event (merging consecutive moves).
void events_push(HostEventQueue* q, HostEvent ev);

// Takes the oldest pending event; false when there is none.
bool events_pop(HostEventQueue* q, HostEvent* out);
