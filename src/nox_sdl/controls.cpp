#include "nox_sdl/controls.h"

#include <algorithm>
#include <cstdlib>

#include "nox_sdl/host.h"
#include "pack/log.h"

namespace {

struct Pad {
  SDL_GameController* controller;  // null: a free slot
  SDL_JoystickID id;
  uint8_t dirs;
  int32_t stick_x, stick_y;
};

Pad pads[CONTROLS_MAX_PADS];
uint8_t key_dirs = 0;
uint8_t tapped_dirs = 0;  // pressed since the last frame: a tap shorter than a frame still moves
bool subsystem = false;

// The direction bit of `code` among the codes for left, right, up and down; 0 for any other.
uint8_t direction(int32_t code, int32_t left, int32_t right, int32_t up, int32_t down) {
  if (code == left) return VP_LEFT;
  if (code == right) return VP_RIGHT;
  if (code == up) return VP_UP;
  if (code == down) return VP_DOWN;
  return 0;
}

// A direction goes down or up in `held`; one that went down counts for the next frame even if
// it is let go before then.
void hold(uint8_t* held, uint8_t d, bool down) {
  *held = down ? *held | d : *held & ~d;
  if (down) tapped_dirs |= d;
}

int find_pad(SDL_JoystickID id) {
  for (int i = 0; i < CONTROLS_MAX_PADS; ++i) {
    if (pads[i].controller != nullptr && pads[i].id == id) return i;
  }
  return -1;
}

void open_pad(int device_index) {
  const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device_index);
  if (id < 0 || find_pad(id) >= 0) return;
  for (int i = 0; i < CONTROLS_MAX_PADS; ++i) {
    if (pads[i].controller != nullptr) continue;
    SDL_GameController* c = SDL_GameControllerOpen(device_index);
    if (c == nullptr) return;
    pads[i] = Pad{c, id, 0, 0, 0};
    const char* name = SDL_GameControllerName(c);
    putlog(HOST_SOURCE, LOG_LINE_GAMEPAD_ADDED, "Gamepad %d connected: %s.", i + 1, name != nullptr ? name : "unnamed");
    return;
  }
}

// A gamepad that goes lets go of whatever it held.
void close_pad(HostInput* in, int i) {
  vpointer_press(&in->pointer, &in->queue, PRESS_PAD << i, false);
  SDL_GameControllerClose(pads[i].controller);
  pads[i] = Pad{};
  putlog(HOST_SOURCE, LOG_LINE_GAMEPAD_REMOVED, "Gamepad %d disconnected.", i + 1);
}

void key_event(HostInput* in, const SDL_KeyboardEvent& k) {
  const bool down = k.type == SDL_KEYDOWN;
  if (down && k.repeat != 0) return;
  if (const uint8_t d = direction(k.keysym.sym, SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN)) {
    hold(&key_dirs, d, down);
    return;
  }
  switch (k.keysym.sym) {
    case SDLK_SPACE:
      vpointer_press(&in->pointer, &in->queue, PRESS_SPACE, down);
      break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      if (down && (k.keysym.mod & KMOD_ALT) != 0) {
        in->toggle_fullscreen = 1;
      } else {
        vpointer_press(&in->pointer, &in->queue, PRESS_ENTER, down);
      }
      break;
    case SDLK_ESCAPE:
      if (!down) events_push(&in->queue, {NoxEvent::EscapeUp, 0, 0});
      break;
    case SDLK_F11:
      if (down) in->toggle_fullscreen = 1;
      break;
    case SDLK_F12:
      if (down) in->screenshot = 1;
      break;
    default:
      break;
  }
}

void button_event(HostInput* in, const SDL_ControllerButtonEvent& b) {
  const int i = find_pad(b.which);
  if (i < 0) return;
  const bool down = b.type == SDL_CONTROLLERBUTTONDOWN;
  if (const uint8_t d = direction(b.button, SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
                                  SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) {
    hold(&pads[i].dirs, d, down);
  } else if (b.button == SDL_CONTROLLER_BUTTON_A) {
    vpointer_press(&in->pointer, &in->queue, PRESS_PAD << i, down);
  } else if (b.button == SDL_CONTROLLER_BUTTON_BACK && !down) {
    events_push(&in->queue, {NoxEvent::EscapeUp, 0, 0});
  }
}

}  // namespace

void controls_init() {
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    putlog(HOST_SOURCE, LOG_LINE_NO_GAMEPADS, "No gamepads (%s): keyboard and mouse only.", SDL_GetError());
    return;
  }
  subsystem = true;
}

void controls_term() {
  for (Pad& p : pads) {
    if (p.controller != nullptr) SDL_GameControllerClose(p.controller);
    p = Pad{};
  }
  key_dirs = 0;
  tapped_dirs = 0;
  if (subsystem) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  subsystem = false;
}

void controls_event(HostInput* in, const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      key_event(in, e.key);
      break;
    case SDL_CONTROLLERDEVICEADDED:
      open_pad(e.cdevice.which);
      break;
    case SDL_CONTROLLERDEVICEREMOVED:
      if (const int i = find_pad(e.cdevice.which); i >= 0) close_pad(in, i);
      break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      button_event(in, e.cbutton);
      break;
    case SDL_CONTROLLERAXISMOTION:
      if (const int i = find_pad(e.caxis.which); i >= 0) {
        if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) pads[i].stick_x = e.caxis.value;
        if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) pads[i].stick_y = e.caxis.value;
      }
      break;
    default:
      break;
  }
}

void controls_frame(VirtualPointer* p) {
  p->dirs = key_dirs | tapped_dirs;
  tapped_dirs = 0;
  p->stick_x = 0;
  p->stick_y = 0;
  for (const Pad& pad : pads) {
    if (pad.controller == nullptr) continue;
    p->dirs |= pad.dirs;
    if (std::abs(pad.stick_x) > std::abs(p->stick_x)) p->stick_x = pad.stick_x;
    if (std::abs(pad.stick_y) > std::abs(p->stick_y)) p->stick_y = pad.stick_y;
  }
}

void controls_pause(HostInput* in, bool paused) {
  key_dirs = 0;
  tapped_dirs = 0;
  for (Pad& p : pads) {
    p.dirs = 0;
    p.stick_x = 0;
    p.stick_y = 0;
  }
  if (!subsystem) return;
  const int state = paused ? SDL_IGNORE : SDL_ENABLE;
  SDL_JoystickEventState(state);
  SDL_GameControllerEventState(state);
  if (paused) return;
  SDL_JoystickUpdate();
  for (int i = 0; i < CONTROLS_MAX_PADS; ++i) {
    if (pads[i].controller != nullptr && !SDL_GameControllerGetAttached(pads[i].controller)) close_pad(in, i);
  }
  for (int d = 0; d < SDL_NumJoysticks(); ++d) {
    if (SDL_IsGameController(d)) open_pad(d);
  }
}

int controls_pad_count() {
  return static_cast<int>(std::ranges::count_if(pads, [](const Pad& p) { return p.controller != nullptr; }));
}
