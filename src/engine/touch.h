// The single pointer's Touch state, scaled to the 240 x 320 virtual screen.
#pragma once
#include <cstdint>

struct NoxTouch {
  int32_t press_count;  // 0 = up, 1 in the first frame of a press, then counting per frame
  int32_t x, y;         // virtual-screen position
  int32_t dx, dy;       // movement of the latest move while down; cleared by every read
  int32_t prev_x, prev_y;
};
extern NoxTouch nox_touch;

// The platform-neutral pointer handling; hosts map their own events onto these.
// px, py are client pixels (only their low 16 bits count, as unsigned numbers);
// client_w, client_h the client area (480 x 640 for the game's window).
void nox_touch_move(int32_t px, int32_t py, int32_t client_w, int32_t client_h);
void nox_touch_down();
void nox_touch_up();
void nox_touch_leave();

// After every presented frame: a non-zero press count goes up by one.
void nox_touch_tick();

// Hands out press count, position and motion, then consumes the motion.
void nox_get_touch(int32_t* pressed, int32_t* x, int32_t* y, int32_t* dx, int32_t* dy);
