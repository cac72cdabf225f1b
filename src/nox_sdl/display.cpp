#include "nox_sdl/display.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "game/core.h"
#include "nox_sdl/host.h"
#include "pack/args.h"
#include "pack/log.h"
#include "pixbrk_version.h"

namespace {

constexpr const char* USAGE =
    "usage: pixbrk [--fullscreen | --window] [--scale N] [--help]\n"
    "  --fullscreen   play on the whole screen (F11 or Alt+Enter switches at any time)\n"
    "  --window       play in a window\n"
    "  --scale N      a window of N times 240 x 320 pixels, N from 1 to 16 (2 the first time)\n"
    "  --help         show this text\n"
    "The last display mode and scale are remembered in DISPLAY.CFG in the working directory,\n"
    "which holds ROMDATA.BIN and receives LOG.TXT, SCORE.DAT, the replays and the screenshots (F12).\n";

HostSettings remembered = HOST_SETTINGS_DEFAULT;    // as the settings file has it (or the default)
bool file_damaged = false;                          // rewritten at the end, whatever the settings
int32_t asked_scale = HOST_SETTINGS_DEFAULT.scale;  // the scale the window is meant to have
int32_t made_scale = HOST_SETTINGS_DEFAULT.scale;   // the scale it was made with (the display may hold less)
int windowed_w = 0;                                 // the window's size before going fullscreen
int windowed_h = 0;

// The scale the window stands for: the one asked for while the player has not resized it.
int32_t window_scale(SDL_Window* window) {
  int w = 0;
  int h = 0;
  SDL_GetWindowSize(window, &w, &h);
  const int32_t fit = display_scale_for(w, h);
  return fit == made_scale ? asked_scale : fit;
}

}  // namespace

int host_parse_options(int argc, char** argv, HostOptions* out) {
  ArgReader a("pixbrk", argc, argv, PIXBRK_VERSION);
  while (a.next()) {
    if (a.is_help()) {
      std::fputs(USAGE, stdout);
      return 1;
    } else if (a.is_version()) {
      return 1;
    } else if (a.is_flag("--fullscreen") || a.is_flag("--window")) {
      const int8_t mode = a.is("--fullscreen") ? 1 : 0;
      if (out->fullscreen >= 0 && out->fullscreen != mode)
        return a.usage_error("--fullscreen and --window cannot both be given");
      out->fullscreen = mode;
    } else if (a.is("--scale")) {
      std::string value;
      if (out->scale > 0) return a.usage_error("--scale is given twice");
      if (!a.value(&value, "a whole number from 1 to 16")) return 2;
      if (!host_scale_parse(value, &out->scale))
        return a.usage_error("--scale must be a whole number from 1 to 16, not '" + value + "'");
    } else {
      return a.unexpected();
    }
  }
  return a.failed() ? 2 : 0;
}

SDL_Window* display_create_window(const HostOptions& options) {
  char why[128] = "";
  file_damaged = host_settings_load(HOST_SETTINGS_FILE, &remembered, why, sizeof why) == SettingsLoad::Damaged;
  if (file_damaged) {
    putlog(HOST_SOURCE, LOG_LINE_SETTINGS_DAMAGED, "%s is damaged (%s): the default display is used.",
           HOST_SETTINGS_FILE, why);
  }
  HostSettings s = remembered;
  if (options.fullscreen >= 0) s.fullscreen = static_cast<uint8_t>(options.fullscreen);
  if (options.scale > 0) s.scale = options.scale;
  asked_scale = s.scale;
  made_scale = s.scale;
  SDL_Rect usable{};
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
    made_scale = std::min(made_scale, display_scale_for(usable.w, usable.h));
  }
  windowed_w = NOX_W * made_scale;
  windowed_h = NOX_H * made_scale;
  Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  if (s.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  return SDL_CreateWindow(HOST_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, windowed_w, windowed_h, flags);
}

void display_show_window(SDL_Window* window) {
  // Set once the renderer is made (which may make the window anew), and before the window
  // manager first shows the window.
  SDL_SetWindowMinimumSize(window, NOX_W, NOX_H);
  SDL_ShowWindow(window);
}

void display_toggle_fullscreen(SDL_Window* window) {
  if ((SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) == 0) {
    asked_scale = window_scale(window);
    SDL_GetWindowSize(window, &windowed_w, &windowed_h);
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else {
    SDL_SetWindowFullscreen(window, 0);
    // Not every window manager (nor none at all) gives the window its old size back.
    SDL_SetWindowSize(window, windowed_w, windowed_h);
  }
}

DisplayFit display_window_fit(SDL_Window* window) {
  int w = 0;
  int h = 0;
  int pw = 0;
  int ph = 0;
  SDL_GetWindowSize(window, &w, &h);
  SDL_GetWindowSizeInPixels(window, &pw, &ph);
  return display_fit(pw, ph, w, h);
}

void display_finish(SDL_Window* window) {
  HostSettings now{};
  now.fullscreen = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0 ? 1 : 0;
  now.scale = now.fullscreen ? asked_scale : window_scale(window);
  if (now == remembered && !file_damaged) return;
  if (host_settings_save(HOST_SETTINGS_FILE, now) != 0) {
    putlog(HOST_SOURCE, LOG_LINE_SETTINGS_SAVE_FAILED, "%s could not be saved.", HOST_SETTINGS_FILE);
  }
}
