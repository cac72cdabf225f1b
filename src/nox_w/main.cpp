// PIXEL BREAKER for Windows: start-up, the frame loop and shut-down around the game's core.
// Exit status: 0 after a normal exit (the window closed, the game ended it), 1 after a failure
// (start-up, or the picture could no longer be shown).
#include "nox_w/win.h"

#include <cstdio>

#include "game/core.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "nox_w/log_lines.h"
#include "nox_w/places.h"
#include "nox_w/presenter.h"
#include "nox_w/sound.h"
#include "nox_w/window.h"
#include "pack/log.h"

namespace {

struct Host {
  HINSTANCE instance;
  int show;
  unsigned long folder_error;  // entering the folder for the player's files failed (0: it did not)
  HWND window;
};

// The log's first line: "Executes "PIXEL BREAKER" on Windows 10.0  (19045,2)".
void system_line(char* out, size_t size) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  GetVersionExA(&version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  std::snprintf(out, size, "Executes \"%s\" on Windows %d.%d %s (%d,%d)", HOST_TITLE,
                static_cast<int>(version.dwMajorVersion), static_cast<int>(version.dwMinorVersion),
                version.szCSDVersion, static_cast<int>(version.dwBuildNumber), static_cast<int>(version.dwPlatformId));
}

// Tells the player why the game stopped ("pixbrk: WHAT: WHY"): on the standard error the program
// was given (a pipe or a file), else in a message box.
void tell_player(const char* what, const char* why) {
  char line[320];
  std::snprintf(line, sizeof line, "%s: %s", what, why);
  char told[sizeof line + 16];
  const int length = std::snprintf(told, sizeof told, "pixbrk: %s\r\n", line);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (err != nullptr && err != INVALID_HANDLE_VALUE &&
      WriteFile(err, told, static_cast<DWORD>(length), &written, nullptr) && written == static_cast<DWORD>(length))
    return;
  MessageBoxA(nullptr, line, HOST_TITLE, MB_OK | MB_ICONERROR);
}

void log_folder_error(void* host) {
  const unsigned long error = static_cast<Host*>(host)->folder_error;
  if (error != 0)
    putlog(WIN_SOURCE, LINE_FILES_FOLDER, "Could not enter the folder for the player's files. (%d)",
           static_cast<int>(error));
}

// The window, the picture and the sound, once the pack is loaded (the game's start-up order).
int open_devices(void* host, Status* why) {
  Host& h = *static_cast<Host*>(host);
  h.window = window_open(h.instance, h.show, why);
  if (h.window == nullptr) return -1;
  Status failed;
  if (presenter_open(h.window, &failed) != 0) {
    putlog(WIN_SOURCE, LOG_LINE_VIDEO_INIT, "d3d_init error.");
    return status_fail(why, -1, "the picture cannot be shown (%s)", failed.message);
  }
  if (sound_open(h.window, &failed) != 0) {
    putlog(WIN_SOURCE, LOG_LINE_AUDIO_INIT, "ds_init error.");
    presenter_close();
    return status_fail(why, -1, "the sound cannot be played (%s)", failed.message);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  if (win_answer_version()) return 0;
  char pack[MAX_PATH * 3];
  Host host{instance, show_command, win_enter_files_folder(pack, sizeof pack), nullptr};
  char first_line[512];
  system_line(first_line, sizeof first_line);

  GameOptions options{.pack_path = pack, .first_line = first_line, .log_source = WIN_SOURCE, .host = &host,
                      .after_first_line = log_folder_error, .open_devices = open_devices};
  const Status started = game_start(options);
  if (started.code == GAME_INIT_FAILED) {
    sound_close();
    presenter_close();
  }
  if (!started.ok()) {
    tell_player("cannot start", started.message);
    return 1;
  }

  Pacer pacer{};
  bool failed = false;
  for (;;) {
    // The wait comes first: the frame then reads the newest input and is shown as soon as it
    // is drawn (Present does not wait for the display here).
    if (pacer.shown > 0) host_sleep_until_ns(pacer_deadline(&pacer));
    if (!window_handle_messages()) break;
    if (game_step(window_next_input(host.window)) != GameStep::Next) break;
    if (presenter_show() != 0) {
      failed = true;
      break;
    }
    const int64_t now = host_now_ns();
    // The schedule starts with the first picture, so a slow first frame is not made up for.
    if (pacer.shown == 0) pacer_start(&pacer, PaceMode::Timer, now);
    pacer_presented(&pacer, now);
  }

  sound_close();
  presenter_close();
  pacer_log_summary(&pacer);
  game_stop();
  if (failed) tell_player("stopped", "the game window could no longer be drawn");
  return failed ? 1 : 0;
}
