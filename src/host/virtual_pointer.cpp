#include "host/virtual_pointer.h"

#include <algorithm>
#include <cstdlib>

#include "engine/screen.h"
#include "engine/touch.h"

namespace {

constexpr int32_t REF_PER_PIXEL = NOX_CLIENT_W / NOX_W;  // reference client pixels per virtual pixel

// Speed of a key held for `held` frames (0 in its first frame).
int32_t key_speed(int32_t held) {
  if (held == 0) return VP_ONE_PIXEL;
  if (held < VP_KEY_DELAY) return 0;
  return std::min((held - VP_KEY_DELAY + 1) * VP_KEY_STEP, VP_TOP_SPEED);
}

int32_t stick_speed(int32_t tilt) {
  const int64_t d = std::abs(tilt) - VP_STICK_DEAD_ZONE;
  if (d <= 0) return 0;
  constexpr int64_t range = 32767 - VP_STICK_DEAD_ZONE;
  const int64_t v = VP_TOP_SPEED * std::min(d * d, range * range) / (range * range);
  return static_cast<int32_t>(tilt < 0 ? -v : v);
}

// Velocity along one axis from the two keys of that axis, counting how long they are held.
int32_t key_velocity(uint8_t dirs, uint8_t minus, uint8_t plus, uint8_t* last, int32_t* held) {
  const uint8_t now = dirs & (minus | plus);
  if (now != *last) {
    *last = now;
    *held = 0;
  } else {
    ++*held;
  }
  if (now == minus) return -key_speed(*held);
  if (now == plus) return key_speed(*held);
  return 0;  // none, or both at once
}

// The pointer is in use: the game learns where it is, unless it knows already.
void announce(VirtualPointer* p, HostEventQueue* q) {
  p->active = 1;
  if (vpointer_x(p) == p->sent_x && vpointer_y(p) == p->sent_y) return;
  p->sent_x = vpointer_x(p);
  p->sent_y = vpointer_y(p);
  events_push(q, {NoxEvent::PointerMove, p->sent_x * REF_PER_PIXEL, p->sent_y * REF_PER_PIXEL});
}

}  // namespace

void vpointer_reset(VirtualPointer* p) {
  *p = VirtualPointer{};
  p->x = (NOX_W / 2) * VP_ONE_PIXEL;
  p->y = (NOX_H / 2) * VP_ONE_PIXEL;
  p->sent_x = -1;
  p->sent_y = -1;
}

void vpointer_follow_mouse(VirtualPointer* p, int32_t cx, int32_t cy) {
  p->sent_x = cx / REF_PER_PIXEL;
  p->sent_y = cy / REF_PER_PIXEL;
  p->x = p->sent_x * VP_ONE_PIXEL + VP_ONE_PIXEL / 2;
  p->y = p->sent_y * VP_ONE_PIXEL + VP_ONE_PIXEL / 2;
  p->active = 0;
}

void vpointer_press(VirtualPointer* p, HostEventQueue* q, uint32_t source, bool down) {
  const uint32_t before = p->press;
  p->press = down ? before | source : before & ~source;
  if (before == 0 && p->press != 0) {
    announce(p, q);
    events_push(q, {NoxEvent::PointerDown, 0, 0});
  } else if (before != 0 && p->press == 0) {
    events_push(q, {NoxEvent::PointerUp, 0, 0});
  }
}

void vpointer_frame(VirtualPointer* p, HostEventQueue* q) {
  const int32_t vx = key_velocity(p->dirs, VP_LEFT, VP_RIGHT, &p->last_dx, &p->hold_x) + stick_speed(p->stick_x);
  const int32_t vy = key_velocity(p->dirs, VP_UP, VP_DOWN, &p->last_dy, &p->hold_y) + stick_speed(p->stick_y);
  if (vx == 0 && vy == 0) return;
  p->x = std::clamp(p->x + vx, 0, NOX_W * VP_ONE_PIXEL - 1);
  p->y = std::clamp(p->y + vy, 0, NOX_H * VP_ONE_PIXEL - 1);
  announce(p, q);
}
