// Keyboard and gamepads: the arrow keys, d-pads and left sticks move the virtual pointer;
// Space, Enter and a gamepad's south button hold it pressed; Escape and a gamepad's Back button
// act as Escape; F11 or Alt+Enter switch fullscreen, F12 takes a screenshot. Gamepads may be
// plugged in and out at any time.
#pragma once
#include <SDL2/SDL.h>

#include "host/virtual_pointer.h"
#include "nox_sdl/events.h"

constexpr int CONTROLS_MAX_PADS = 4;

// Press sources of the virtual pointer.
constexpr uint32_t PRESS_SPACE = 1;
constexpr uint32_t PRESS_ENTER = 2;
constexpr uint32_t PRESS_PAD = 4;  // pad n holds PRESS_PAD << n

// Starts SDL's gamepad support; the gamepads already plugged in then arrive as events.
// Without it (logged) the game is played with the keyboard and the mouse.
void controls_init();
void controls_term();

// A key or gamepad event (others are ignored).
void controls_event(HostInput* in, const SDL_Event& e);

// Before each frame's pointer step: the held directions and the strongest stick.
void controls_frame(VirtualPointer* p);

// While the game is paused SDL does not read the gamepads at all, so waiting for events takes
// no time; held directions are let go (what is still held comes back as events), presses are
// kept. Resuming catches up with the gamepads plugged in or out meanwhile.
void controls_pause(HostInput* in, bool paused);

// Gamepads open now.
int controls_pad_count();
