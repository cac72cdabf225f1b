#include "engine/touch.h"

PER_THREAD NoxTouch nox_touch{};

void nox_touch_move(int32_t px, int32_t py, int32_t client_w, int32_t client_h) {
  if (client_w != 0 && client_h != 0) {
    // Positions arrive as two unsigned 16-bit halves; scale the client area onto 240 x 320.
    const int64_t ux = static_cast<uint16_t>(px);
    const int64_t uy = static_cast<uint16_t>(py);
    nox_touch.prev_x = nox_touch.x;
    nox_touch.prev_y = nox_touch.y;
    nox_touch.x = static_cast<int32_t>(ux * 24000 / client_w / 100);
    nox_touch.y = static_cast<int32_t>(uy * 32000 / client_h / 100);
  }
  // Movement only counts while pressed and when there is a previous position (0 = none).
  if (nox_touch.press_count != 0 && nox_touch.prev_x != 0 && nox_touch.prev_y != 0) {
    nox_touch.dx = nox_touch.x - nox_touch.prev_x;
    nox_touch.dy = nox_touch.y - nox_touch.prev_y;
  } else {
    nox_touch.dx = 0;
    nox_touch.dy = 0;
  }
}

void nox_touch_down() { nox_touch.press_count = 1; }

void nox_touch_up() { nox_touch.press_count = 0; }

void nox_touch_leave() { nox_touch = NoxTouch{}; }

void nox_touch_event(NoxEvent ev, int32_t px, int32_t py, int32_t client_w, int32_t client_h) {
  switch (ev) {
    case NoxEvent::PointerDown:
      nox_touch_down();
      break;
    case NoxEvent::PointerUp:
      nox_touch_up();
      break;
    case NoxEvent::PointerMove:
      nox_touch_move(px, py, client_w, client_h);
      break;
    case NoxEvent::PointerLeave:
      nox_touch_leave();
      break;
    default:
      break;
  }
}

// A press held for years stops counting at the largest count instead of wrapping to "up".
void nox_touch_tick() {
  if (nox_touch.press_count != 0 && nox_touch.press_count < INT32_MAX) ++nox_touch.press_count;
}

void nox_get_touch(int32_t* pressed, int32_t* x, int32_t* y, int32_t* dx, int32_t* dy) {
  *pressed = nox_touch.press_count;
  *x = nox_touch.x;
  *y = nox_touch.y;
  *dx = nox_touch.dx;
  *dy = nox_touch.dy;
  nox_touch.prev_x = nox_touch.x;
  nox_touch.prev_y = nox_touch.y;
  nox_touch.dx = 0;
  nox_touch.dy = 0;
}
