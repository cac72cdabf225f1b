#include "x11_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Looking through other programs' windows races with them: a window listed a moment ago may be
// gone when its name or attributes are asked for (SDL makes and drops a window while it sets up
// OpenGL, a window manager does so all the time). Xlib's default answer to that BadWindow is to
// end the whole test program; the look-ups here treat it as "no such window" instead. Every
// other error still goes to the handler that was in place.
XErrorHandler previous_handler = nullptr;
int tolerate_vanished_windows(Display* d, XErrorEvent* e) {
  const bool look_up = e->request_code == X_GetProperty || e->request_code == X_QueryTree ||
                       e->request_code == X_GetWindowAttributes || e->request_code == X_GetGeometry;
  if (e->error_code == BadWindow && look_up) return 0;
  return previous_handler != nullptr ? previous_handler(d, e) : 0;
}

Display* open_display(const std::string& name) {
  static std::once_flag installed;
  std::call_once(installed, [] { previous_handler = XSetErrorHandler(tolerate_vanished_windows); });
  return XOpenDisplay(name.c_str());
}

Window find_in(Display* d, Window w, const std::string& title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) != 0 && name != nullptr) {
    const bool hit = title == name;
    XFree(name);
    if (hit) return w;
  }
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &count) != 0) {
    for (unsigned int i = 0; i < count && found == 0; ++i) found = find_in(d, children[i], title);
    if (children != nullptr) XFree(children);
  }
  return found;
}

// A w x h block of the window's pixels at (x, y), 0xRRGGBB each, row by row.
bool grab(Display* d, Window window, int x, int y, int w, int h, std::vector<uint32_t>* pixels) {
  XImage* image = XGetImage(d, window, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  pixels->resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      (*pixels)[static_cast<size_t>(j) * static_cast<size_t>(w) + static_cast<size_t>(i)] =
          static_cast<uint32_t>(XGetPixel(image, i, j) & 0xFFFFFF);
    }
  }
  XDestroyImage(image);
  return true;
}

}  // namespace

bool xvfb_start(XvfbServer* server, const char* screen) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  const std::string fd = std::to_string(fds[1]);
  const pid_t pid = spawn_program({"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
                                  {}, "", "", "", fds[1]);
  close(fds[1]);
  std::string number;
  char c = 0;
  while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  server->pid = pid;
  if (number.empty()) {
    xvfb_stop(server);
    return false;
  }
  server->display = ":" + number;
  for (int i = 0; i < 100; ++i) {
    if (Display* d = open_display(server->display)) {
      XCloseDisplay(d);
      return true;
    }
    sleep_ms(50);
  }
  xvfb_stop(server);
  return false;
}

void xvfb_stop(XvfbServer* server) {
  if (server->pid > 0) stop_program(server->pid, 5000);
  server->pid = -1;
}

unsigned long x11_find_window(const std::string& display, const std::string& title, int timeout_ms) {
  Display* d = open_display(display);
  if (d == nullptr) return 0;
  Window found = 0;
  for (int waited = 0; found == 0 && waited <= timeout_ms; waited += 50) {
    found = find_in(d, DefaultRootWindow(d), title);
    if (found != 0) {
      XWindowAttributes a{};
      if (XGetWindowAttributes(d, found, &a) == 0 || a.map_state != IsViewable) found = 0;
    }
    if (found == 0) sleep_ms(50);
  }
  XCloseDisplay(d);
  return found;
}

bool x11_wait_for_window_manager(const std::string& display, int timeout_ms) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
  bool found = false;
  for (int waited = 0; !found && waited <= timeout_ms; waited += 50) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                           &data) == Success &&
        data != nullptr) {
      found = items == 1;
      XFree(data);
    }
    if (!found) sleep_ms(50);
  }
  XCloseDisplay(d);
  return found;
}

bool x11_close_window(const std::string& display, unsigned long window) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  const Status ok = XSendEvent(d, window, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
  return ok != 0;
}

bool x11_grab_window(const std::string& display, unsigned long window, int width, int height,
                     std::vector<uint32_t>* pixels) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  const bool ok = grab(d, window, 0, 0, width, height, pixels);
  XCloseDisplay(d);
  return ok;
}

bool x11_move_window(const std::string& display, unsigned long window, int x, int y) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  XMoveWindow(d, window, x, y);
  XSync(d, False);
  XCloseDisplay(d);
  return true;
}

bool x11_window_size(const std::string& display, unsigned long window, int* width, int* height) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  XWindowAttributes a{};
  const Status ok = XGetWindowAttributes(d, window, &a);
  XCloseDisplay(d);
  *width = a.width;
  *height = a.height;
  return ok != 0;
}

bool x11_size_limits(const std::string& display, unsigned long window, int* min_w, int* min_h, int* max_w,
                     int* max_h) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  XSizeHints hints{};
  long supplied = 0;
  const Status ok = XGetWMNormalHints(d, window, &hints, &supplied);
  XCloseDisplay(d);
  if (ok == 0) return false;
  const bool has_min = (hints.flags & PMinSize) != 0;
  const bool has_max = (hints.flags & PMaxSize) != 0;
  *min_w = has_min ? hints.min_width : 0;
  *min_h = has_min ? hints.min_height : 0;
  *max_w = has_max ? hints.max_width : 0;
  *max_h = has_max ? hints.max_height : 0;
  return true;
}

bool x11_pointer_open(X11Pointer* p, const std::string& display, unsigned long window) {
  Display* d = open_display(display);
  if (d == nullptr) return false;
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  Window child = 0;
  if (!XTestQueryExtension(d, &event_base, &error_base, &major, &minor) ||
      !XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &p->origin_x, &p->origin_y, &child)) {
    XCloseDisplay(d);
    return false;
  }
  p->display = d;
  p->window = window;
  return true;
}

void x11_pointer_close(X11Pointer* p) {
  if (p->display != nullptr) XCloseDisplay(static_cast<Display*>(p->display));
  p->display = nullptr;
}

void x11_pointer_move(X11Pointer* p, int x, int y) {
  XTestFakeMotionEvent(static_cast<Display*>(p->display), -1, p->origin_x + x, p->origin_y + y, CurrentTime);
}

void x11_pointer_button(X11Pointer* p, bool press) {
  XTestFakeButtonEvent(static_cast<Display*>(p->display), 1, press ? True : False, CurrentTime);
}

void x11_pointer_flush(X11Pointer* p) { XFlush(static_cast<Display*>(p->display)); }

bool x11_pointer_grab(X11Pointer* p, int x, int y, int w, int h, std::vector<uint32_t>* pixels) {
  return grab(static_cast<Display*>(p->display), p->window, x, y, w, h, pixels);
}

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream f(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(f, l);) lines.push_back(l);
  return lines;
}

std::vector<int16_t> read_samples(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<char> b{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  std::vector<int16_t> s(b.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) {
    s[i] = static_cast<int16_t>(static_cast<uint8_t>(b[2 * i]) | static_cast<uint8_t>(b[2 * i + 1]) << 8);
  }
  return s;
}
