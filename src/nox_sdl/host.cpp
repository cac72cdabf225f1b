#include "nox_sdl/host.h"

#include <SDL2/SDL.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "game/core.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "nox_sdl/audio.h"
#include "nox_sdl/controls.h"
#include "nox_sdl/events.h"
#include "nox_sdl/video.h"
#include "nox_sdl/x11_watch.h"
#include "pack/log.h"

int (*host_frame_hook)(int64_t presented_ns) = nullptr;
int (*host_event_hook)(uint64_t frame, HostEvent* ev) = nullptr;

namespace {

// Pending events (the game takes one per frame), the virtual pointer, the pause.
HostInput input;
uint32_t pending_peak = 0;

// The running game's window and its frame schedule, which counts the frames shown, for the
// shut-down (also the one without X).
SDL_Window* game_window = nullptr;
Pacer pacer{};

// The first log line's text, from uname: "Executes "PIXEL BREAKER" on <kernel> ...".
void system_line(char* out, size_t size) {
  utsname u{};
  if (uname(&u) != 0) {
    std::snprintf(out, size, "Executes \"%s\" on an unknown system", HOST_TITLE);
    return;
  }
  std::snprintf(out, size, "Executes \"%s\" on %s %s %s (%s)", HOST_TITLE, u.sysname, u.release, u.version, u.machine);
}

// The one line on standard error that tells a player what went wrong and where the log is.
void tell_player(const char* what) {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) std::snprintf(cwd, sizeof cwd, ".");
  if (access("LOG.TXT", F_OK) == 0) {
    std::fprintf(stderr, "pixbrk: %s (working directory %s); see %s/LOG.TXT\n", what, cwd, cwd);
  } else {
    std::fprintf(stderr, "pixbrk: %s (working directory %s, where no LOG.TXT could be written)\n", what, cwd);
  }
}

// The run's last log lines, as every shut-down writes them.
void log_the_end() {
  pacer_log_summary(&pacer);
  game_stop();
}

// The X connection broke: nothing more can be shown or asked of the window, and Xlib cannot go
// on. What needs no display is done as at any end: the sound stops, the display settings are
// saved (from what SDL knows of the window), the log is finished; then the program ends.
[[noreturn]] void connection_lost(const char* display_name) {
  putlog(HOST_SOURCE, LOG_LINE_DISPLAY_LOST, "The connection to the display %s was lost.", display_name);
  audio_term();
  if (game_window != nullptr) display_finish(game_window);
  log_the_end();
  tell_player("stopped: the connection to the display was lost");
  _exit(1);
}

// A display running at 60 Hz paces the game by its refresh; anything else by our own timer.
int display_is_60hz(SDL_Window* window) {
  SDL_DisplayMode mode{};
  const int index = SDL_GetWindowDisplayIndex(window);
  if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0) return 0;
  return mode.refresh_rate >= 59 && mode.refresh_rate <= 61 ? 1 : 0;
}

// A run of the frame schedule from now_ns, in step with the display while its vsync holds.
void start_pacing(Pacer* p, int64_t now_ns) {
  pacer_start(p, video_vsync_on() ? PaceMode::Vsync : PaceMode::Timer, now_ns);
}

// The game stops while its window has lost the focus or is minimised: no frames, no sound.
void set_paused(bool paused, int64_t* paused_ns) {
  audio_pause(paused);
  controls_pause(&input, paused);
  const int64_t now = host_now_ns();
  if (paused) {
    putlog(HOST_SOURCE, LOG_LINE_PAUSED, "Paused: the window %s.",
           input.minimised ? "is minimised" : "has lost the focus");
    *paused_ns = now;
  } else {
    putlog(HOST_SOURCE, LOG_LINE_RESUMED, "Resumed after %lld ms.",
           static_cast<long long>((now - *paused_ns) / 1000000));
  }
}

// The window, the picture and the sound, opened once the pack is loaded (the game's start-up
// order). A failure is logged and told; what was opened is closed again (SDL_Quit destroys the
// window too).
int open_devices(void* host, Status* why) {
  const HostOptions& options = *static_cast<const HostOptions*>(host);
  const auto fail = [why](int line, const char* logged, const char* told) {
    SDL_Quit();
    putlog(HOST_SOURCE, line, "%s", logged);
    tell_player(told);
    return status_fail(why, -1, "%s", told);
  };
  // Dragging out of the window lets go of the pointer instead of capturing it.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  char logged[512];
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::snprintf(logged, sizeof logged, "SDL_Init error. (%s)", SDL_GetError());
    return fail(LOG_LINE_SDL_INIT, logged, "cannot start: no display to open the game window on");
  }
  // Without a display SDL falls back to drivers that draw nowhere; the game would run unseen.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
    std::snprintf(logged, sizeof logged, "SDL_Init error. (no display, only the %s video driver)",
                  driver != nullptr ? driver : "unknown");
    return fail(LOG_LINE_SDL_INIT, logged, "cannot start: no display to open the game window on");
  }
  // No input-method window over the game.
  SDL_StopTextInput();

  SDL_Window* window = display_create_window(options);
  if (window == nullptr) {
    std::snprintf(logged, sizeof logged, "SDL_CreateWindow error. (%s)", SDL_GetError());
    return fail(LOG_LINE_CREATE_WINDOW, logged, "cannot start: the game window could not be opened");
  }
  if (video_init(window, display_is_60hz(window)) != 0)
    return fail(LOG_LINE_VIDEO_INIT, "video_init error.", "cannot start: the game window cannot be drawn into");
  display_show_window(window);
  game_window = window;
  x11_watch_start(window, connection_lost);
  if (audio_init(game_mix) != 0) {
    // A machine without working sound still plays, silently.
    putlog(HOST_SOURCE, LOG_LINE_AUDIO_INIT, "audio_init error: the game runs without sound.");
  }
  return 0;
}

void close_devices() {
  audio_term();
  video_term();
  SDL_DestroyWindow(game_window);
  game_window = nullptr;
  x11_watch_stop();
}

}  // namespace

uint32_t host_pending_events() { return input.queue.count; }
uint32_t host_pending_peak() { return pending_peak; }

int host_main(const HostOptions& options) {
  char first_line[1024];
  system_line(first_line, sizeof first_line);
  GameOptions game{.first_line = first_line, .log_source = HOST_SOURCE, .host = const_cast<HostOptions*>(&options),
                   .open_devices = open_devices};
  const Status started = game_start(game);
  if (started.code == GAME_PACK_FAILED) tell_player("cannot start: ROMDATA.BIN is missing or broken");
  if (started.code == GAME_INIT_FAILED) {
    close_devices();
    SDL_Quit();
    tell_player("cannot start: ROMDATA.BIN lacks a picture or a sound the game needs");
  }
  if (!started.ok()) return 1;

  SDL_Window* window = game_window;
  input_clear(&input, window);
  pending_peak = 0;
  pacer = Pacer{};
  start_pacing(&pacer, host_now_ns());
  int display_failed = 0;
  DisplayTrouble trouble = DisplayTrouble::Clear;
  bool paused = false;
  int64_t paused_ns = 0;
  bool cursor_hidden = false;
  for (;;) {
    // On the timer the wait comes first: the frame then reads the newest input and is shown as
    // soon as it is drawn. A vsync display waits in the present instead (below).
    if (pacer.shown > 0 && !paused && pacer.mode == PaceMode::Timer) host_sleep_until_ns(pacer_deadline(&pacer));

    input_frame(&input);
    // Another program destroyed the window: the game ends as on a close. The X server refused
    // a request: the window cannot be relied on any more.
    const char* why = nullptr;
    trouble = x11_watch_trouble(&why);
    if (trouble == DisplayTrouble::WindowDestroyed) {
      putlog(HOST_SOURCE, LOG_LINE_WINDOW_DESTROYED, "The game window was destroyed by another program.");
      break;
    }
    if (trouble == DisplayTrouble::Error) {
      putlog(HOST_SOURCE, LOG_LINE_DISPLAY_ERROR, "The display refused a request (%s).", why);
      display_failed = 1;
      break;
    }
    if (input.toggle_fullscreen) display_toggle_fullscreen(window);
    input.toggle_fullscreen = 0;
    if ((input.pointer.active != 0) != cursor_hidden) {
      // The keyboard's or a gamepad's pointer is in use: its mark stands for the cursor.
      cursor_hidden = !cursor_hidden;
      SDL_ShowCursor(cursor_hidden ? SDL_DISABLE : SDL_ENABLE);
    }
    if (input_paused(&input) != paused) {
      paused = !paused;
      set_paused(paused, &paused_ns);
      if (!paused) start_pacing(&pacer, host_now_ns());
    }
    if (paused) {
      // Nothing runs: wait for the window to come back, showing the last picture meanwhile.
      if (input.quit) break;
      if (input.redraw && video_present() != 0) {
        display_failed = 1;
        break;
      }
      input.redraw = 0;
      SDL_WaitEventTimeout(nullptr, 1000);
      continue;
    }
    HostEvent ev{};
    if (host_event_hook != nullptr && host_event_hook(pacer.shown, &ev) != 0) events_push(&input.queue, ev);
    if (input.queue.count > pending_peak) pending_peak = input.queue.count;
    // Every event reaches the game in the reference client area of 480 x 640.
    if (!events_pop(&input.queue, &ev)) ev = HostEvent{};
    if (game_step(GameInput{ev.ev, ev.x, ev.y}) != GameStep::Next) break;

    const bool shot = input.screenshot != 0;
    input.screenshot = 0;
    input.redraw = 0;
    if (video_compose(shot) != 0) {
      display_failed = 1;
      break;
    }
    if (pacer.mode == PaceMode::Vsync) {
      // Guards against a present that stopped waiting for the display.
      const int64_t floor = pacer_deadline(&pacer);
      if (floor != 0) host_sleep_until_ns(floor);
    }
    if (video_present(input.pointer.active != 0, vpointer_x(&input.pointer), vpointer_y(&input.pointer)) != 0) {
      display_failed = 1;
      break;
    }
    if (shot) video_screenshot(pacer.shown);

    const int64_t now = host_now_ns();
    if (pacer.shown == 0) {
      // The schedule starts with the first picture, so the slow first frame (shaders, first
      // mapping of the window) is not made up for with a burst of quick ones.
      start_pacing(&pacer, now);
      // Gamepads after the first picture: looking for them can take a while (they are then
      // announced as events).
      controls_init();
    }
    if (pacer_presented(&pacer, now) != 0) video_vsync_off();
    if (host_frame_hook != nullptr && host_frame_hook(now) != 0) break;
  }

  display_finish(window);
  controls_term();
  close_devices();
  SDL_Quit();
  log_the_end();
  if (trouble == DisplayTrouble::WindowDestroyed) {
    tell_player("ended: the game window was destroyed by another program");
    return 0;
  }
  if (display_failed) {
    tell_player("stopped: the game window could no longer be drawn");
    return 1;
  }
  return 0;
}
