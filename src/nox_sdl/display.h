// The game's window: its size and scale, fullscreen and back, the display settings remembered
// between runs, and the command line that overrides them.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

#include "host/display_fit.h"
#include "host/host_settings.h"

struct HostOptions {
  int8_t fullscreen = -1;  // -1: as remembered; 0: --window; 1: --fullscreen
  int32_t scale = 0;       // 0: as remembered; else --scale N
};

// Reads the command line. 0: run the game; 1: --help or --version was answered (exit with 0); 2: a bad
// command line, told in one line on standard error (exit with 2).
int host_parse_options(int argc, char** argv, HostOptions* out);

// Creates the game's resizable window, hidden, with the settings it starts with: the remembered
// ones (a damaged file is logged and ignored), overridden by the command line. It is 240N x 320N
// for the scale (made smaller when the display cannot hold it), or the whole screen. Null on
// failure (SDL_GetError says why).
SDL_Window* display_create_window(const HostOptions& options);

// Shows it, once the presenter is ready.
void display_show_window(SDL_Window* window);

// F11 or Alt+Enter: the whole screen (at the desktop's own mode) or back to the window.
void display_toggle_fullscreen(SDL_Window* window);

// The picture's placement in the window as it is now.
DisplayFit display_window_fit(SDL_Window* window);

// At shut-down: remembers the display mode and the window's scale when they changed.
void display_finish(SDL_Window* window);
