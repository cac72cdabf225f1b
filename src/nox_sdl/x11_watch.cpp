#include "nox_sdl/x11_watch.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstdio>

namespace {

Display* display = nullptr;
Window window = 0;
void (*on_lost)(const char*) = nullptr;
XErrorHandler previous_error = nullptr;
XIOErrorHandler previous_io = nullptr;
DisplayTrouble trouble = DisplayTrouble::Clear;
char error_text[256] = "";

int on_error(Display* d, XErrorEvent* e) {
  // Once the window is gone every request that still names it fails too (the shut-down's).
  if (trouble == DisplayTrouble::WindowDestroyed) return 0;
  if (e->resourceid == window && (e->error_code == BadWindow || e->error_code == BadDrawable)) {
    trouble = DisplayTrouble::WindowDestroyed;
    return 0;
  }
  if (trouble == DisplayTrouble::Clear) {
    char text[160] = "";
    XGetErrorText(d, e->error_code, text, sizeof text);
    std::snprintf(error_text, sizeof error_text, "%s, request %d.%d, resource 0x%lx", text,
                  static_cast<int>(e->request_code), static_cast<int>(e->minor_code), e->resourceid);
    trouble = DisplayTrouble::Error;
  }
  return 0;
}

int on_io_error(Display* d) {
  on_lost(DisplayString(d));
  return 0;  // not reached: Xlib would end the program itself
}

}  // namespace

void x11_watch_start(SDL_Window* sdl_window, void (*lost)(const char*)) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(sdl_window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return;
  display = info.info.x11.display;
  window = info.info.x11.window;
  on_lost = lost;
  trouble = DisplayTrouble::Clear;
  error_text[0] = 0;
  previous_error = XSetErrorHandler(on_error);
  previous_io = XSetIOErrorHandler(on_io_error);
}

DisplayTrouble x11_watch_trouble(const char** why) {
  *why = error_text;
  return trouble;
}

void x11_watch_stop() {
  if (display == nullptr) return;
  XSync(display, False);
  XSetErrorHandler(previous_error);
  XSetIOErrorHandler(previous_io);
  display = nullptr;
  window = 0;
}
