// SDL's pointer, key, gamepad and window events translated for the host's event queue.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

#include "host/display_fit.h"
#include "host/event_queue.h"
#include "host/virtual_pointer.h"

// Everything the host learns from SDL's events between two frames.
struct HostInput {
  HostEventQueue queue;    // for the game, one event per frame
  VirtualPointer pointer;  // the keyboard's and the gamepads' pointer
  SDL_Window* window;      // where the mouse is (null in tests: `fit` is then set by hand)
  DisplayFit fit;          // the picture's place in the window, for mapping the mouse
  uint8_t mouse_in_bars;   // the mouse is over the bars around the picture
  uint8_t focus_lost;      // the game pauses while another window has the focus...
  uint8_t minimised;       // ...or while its own is minimised
  uint8_t quit;            // a quit request has been queued
  uint8_t toggle_fullscreen;
  uint8_t screenshot;
  uint8_t redraw;          // the window must be shown again (exposed, resized) though no frame runs
};

void input_clear(HostInput* in, SDL_Window* window);

// The input step of a frame: takes every waiting event, then moves the virtual pointer (unless
// the game is paused). Input that comes in the same batch as the loss of the focus, or while
// the game is paused, is dropped: SDL lets go of every held key as the focus goes, and that
// must not reach the game as a release the player did not make.
void input_frame(HostInput* in);

// Translates one event. take_input false drops pointer, key and gamepad input; window events
// and quit requests are always handled.
void input_event(HostInput* in, const SDL_Event& e, bool take_input);

inline bool input_paused(const HostInput* in) { return in->focus_lost != 0 || in->minimised != 0; }
