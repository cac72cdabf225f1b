// Host events onto the Touch state: each host only maps its own events to these.
#include "game/input.h"

#include "engine/touch.h"
#include "game/game.h"

int nox_dispatch_event(NoxEvent ev, int32_t px, int32_t py, int32_t client_w, int32_t client_h) {
  switch (ev) {
    case NoxEvent::PointerDown:
      nox_touch_down();
      return 0;
    case NoxEvent::PointerUp:
      nox_touch_up();
      return 0;
    case NoxEvent::PointerMove:
      nox_touch_move(px, py, client_w, client_h);
      return 0;
    case NoxEvent::PointerLeave:
      nox_touch_leave();
      return 0;
    case NoxEvent::EscapeUp:
      // Abandons whatever runs and goes back to the title menu.
      game_reset();
      return 0;
    case NoxEvent::Quit:
      return 1;
    case NoxEvent::None:
      break;
  }
  return 0;
}
