// The pointer of players without a mouse: arrow keys, d-pads and analogue sticks move it, a
// held key or button presses it. It feeds the event queue with the very events a mouse gives,
// so the game (and every replay) cannot tell the two apart; the host draws its mark.
#pragma once
#include <cstdint>

#include "host/event_queue.h"

// Held directions, from the arrow keys and the d-pads.
constexpr uint8_t VP_LEFT = 1;
constexpr uint8_t VP_RIGHT = 2;
constexpr uint8_t VP_UP = 4;
constexpr uint8_t VP_DOWN = 8;

// Speeds in 1/256 virtual pixels per frame. A key held moves one pixel in its first frame and
// then waits VP_KEY_DELAY frames, so a tap places the pointer to the pixel; after that it
// speeds up by VP_KEY_STEP per frame up to VP_TOP_SPEED. A stick moves at VP_TOP_SPEED at full
// tilt and follows the square of the tilt below it, for fine placement near the centre.
constexpr int32_t VP_ONE_PIXEL = 256;
constexpr int32_t VP_KEY_DELAY = 10;
constexpr int32_t VP_KEY_STEP = 2 * VP_ONE_PIXEL;
constexpr int32_t VP_TOP_SPEED = 10 * VP_ONE_PIXEL;  // 240 pixels in 24 frames
constexpr int32_t VP_STICK_DEAD_ZONE = 8000;         // of 32767

struct VirtualPointer {
  int32_t x, y;              // position in 1/256 virtual pixels
  int32_t sent_x, sent_y;    // virtual pixel the game was last told (-1: none)
  uint8_t dirs;              // held directions, set by the caller before each frame
  int32_t stick_x, stick_y;  // the stick's tilt (-32768..32767), set by the caller
  int32_t hold_x, hold_y;    // frames the current horizontal and vertical keys have been held
  uint8_t last_dx, last_dy;  // the direction bits those counts belong to
  uint32_t press;            // held press sources, one bit each
  uint8_t active;            // used since the mouse last moved: the host shows its mark
};

// Centre of the screen, nothing held, mark hidden.
void vpointer_reset(VirtualPointer* p);

// The mouse has moved to (cx, cy) of the 480 x 640 reference client area: the pointer jumps
// there and its mark is hidden until a key, d-pad or stick moves it again.
void vpointer_follow_mouse(VirtualPointer* p, int32_t cx, int32_t cy);

// The mouse has taken the pointer off the screen: the game has forgotten where it is, and the
// mark is hidden.
inline void vpointer_forget(VirtualPointer* p) {
  p->sent_x = -1;
  p->sent_y = -1;
  p->active = 0;
}

// A press source (one bit) goes down or up. The first source down queues a press, the last
// one up a release; the game is first told the pointer's position if it does not know it, so
// the press lands under the mark.
void vpointer_press(VirtualPointer* p, HostEventQueue* q, uint32_t source, bool down);

// Once per frame, after the events: moves by the held directions and the stick and queues
// a move when the virtual pixel under the pointer has changed.
void vpointer_frame(VirtualPointer* p, HostEventQueue* q);

// The virtual pixel under the pointer.
inline int32_t vpointer_x(const VirtualPointer* p) { return p->x / VP_ONE_PIXEL; }
inline int32_t vpointer_y(const VirtualPointer* p) { return p->y / VP_ONE_PIXEL; }
