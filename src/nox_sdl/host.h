// The Linux host: start-up, the frame loop and shut-down of PIXEL BREAKER on SDL2.
#pragma once
#include <cstdint>

#include "host/event_queue.h"
#include "host/log_lines.h"
#include "nox_sdl/display.h"

// Where this host's log lines say they come from, and the fixed line numbers of those the
// Windows host does not write too (host/log_lines.h has the others).
constexpr const char* HOST_SOURCE = "./src/nox_sdl.cpp";
constexpr int LOG_LINE_SDL_INIT = 170;
constexpr int LOG_LINE_COPY = 271;
constexpr int LOG_LINE_WINDOW_DESTROYED = 280;
constexpr int LOG_LINE_DISPLAY_LOST = 284;
constexpr int LOG_LINE_DISPLAY_ERROR = 288;
constexpr int LOG_LINE_SETTINGS_DAMAGED = 320;
constexpr int LOG_LINE_SETTINGS_SAVE_FAILED = 324;
constexpr int LOG_LINE_PAUSED = 340;
constexpr int LOG_LINE_RESUMED = 344;
constexpr int LOG_LINE_SCREENSHOT = 360;
constexpr int LOG_LINE_SCREENSHOT_FAILED = 364;
constexpr int LOG_LINE_NO_GAMEPADS = 380;
constexpr int LOG_LINE_GAMEPAD_ADDED = 384;
constexpr int LOG_LINE_GAMEPAD_REMOVED = 388;

// Runs the whole program in the working directory. Returns the process exit status:
// 0 after a normal shut-down (a window destroyed by another program ends the game as a close
// does), 1 when start-up or the display fails. A broken connection to the X server ends the
// process from inside Xlib, with status 1, after the shut-down's steps that need no display.
int host_main(const HostOptions& options = HostOptions{});

// Called after every presented frame with the presentation time (monotonic ns); a non-zero
// result ends the frame loop as a quit request would. Null in the game; measurements set it.
extern int (*host_frame_hook)(int64_t presented_ns);

// Called once per frame before the frame's event is taken; an event it stores in *ev (returning
// 1) is queued behind the window's. Null in the game; measurements set it (a built-in player).
extern int (*host_event_hook)(uint64_t frame, HostEvent* ev);

// Events waiting for the game, and the most that have waited at once in this run.
uint32_t host_pending_events();
uint32_t host_pending_peak();
