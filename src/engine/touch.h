// The single pointer's Touch state, scaled to the 240 x 320 virtual screen, and the events
// every host maps its own input onto.
#pragma once
#include <cstdint>

#include "pack/per_thread.h"

// What a host hands the game for a frame: at most one of these.
enum class NoxEvent : uint8_t { None, PointerDown, PointerUp, PointerMove, PointerLeave, EscapeUp, Quit };

// The game's window: client pixels of events are given in an area of this size.
constexpr int32_t NOX_CLIENT_W = 480;
constexpr int32_t NOX_CLIENT_H = 640;

struct NoxTouch {
  int32_t press_count;  // 0 = up, 1 in the first frame of a press, then counting per frame
  int32_t x, y;         // virtual-screen position
  int32_t dx, dy;       // movement of the latest move while down; cleared by every read
  int32_t prev_x, prev_y;
};
extern PER_THREAD NoxTouch nox_touch;

// The platform-neutral pointer handling; hosts map their own events onto these.
// px, py are client pixels (only their low 16 bits count, as unsigned numbers);
// client_w, client_h the client area (480 x 640 for the game's window).
void nox_touch_move(int32_t px, int32_t py, int32_t client_w, int32_t client_h);
void nox_touch_down();
void nox_touch_up();
void nox_touch_leave();

// A pointer event onto the Touch state (PointerMove takes the client pixels px, py in an area
// of client_w x client_h). Escape and Quit are not the pointer's: they change nothing here.
void nox_touch_event(NoxEvent ev, int32_t px, int32_t py, int32_t client_w, int32_t client_h);

// After every presented frame: a non-zero press count goes up by one.
void nox_touch_tick();

// Hands out press count, position and motion, then consumes the motion.
void nox_get_touch(int32_t* pressed, int32_t* x, int32_t* y, int32_t* dx, int32_t* dy);
