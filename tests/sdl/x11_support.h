// Helpers for driving the real game: a private Xvfb, the few Xlib calls a
// window manager would make (find a window, ask it to close, read its pixels), and reading what
// the game wrote.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/child.h"  // spawn_program, wait_program, stop_program, run_program

struct XvfbServer {
  pid_t pid = -1;
  std::string display;  // ":N"
};

// Starts Xvfb on a free display (1024 x 768 x 24 unless `screen` says otherwise) and waits until
// it answers.
bool xvfb_start(XvfbServer* server, const char* screen = "1024x768x24");
void xvfb_stop(XvfbServer* server);

// The top-level window with this title, waiting up to timeout_ms; 0 when there is none.
unsigned long x11_find_window(const std::string& display, const std::string& title, int timeout_ms);

// Waits until a window manager has taken over the display (it announces itself on the root
// window); false after timeout_ms.
bool x11_wait_for_window_manager(const std::string& display, int timeout_ms);

// Sends WM_DELETE_WINDOW, as a window manager's close button does.
bool x11_close_window(const std::string& display, unsigned long window);

// Reads the window's client area as 0xRRGGBB pixels, row by row.
bool x11_grab_window(const std::string& display, unsigned long window, int width, int height,
                     std::vector<uint32_t>* pixels);

// The smallest and largest size the window lets a window manager give it (0 where it sets
// none); false when the hints cannot be read.
bool x11_size_limits(const std::string& display, unsigned long window, int* min_w, int* min_h, int* max_w,
                     int* max_h);

// Moves a top-level window (there is no window manager on a private Xvfb to place it).
bool x11_move_window(const std::string& display, unsigned long window, int x, int y);

// Window size as the X server sees it.
bool x11_window_size(const std::string& display, unsigned long window, int* width, int* height);

// A pointer driven through X's test extension, as if by a hand on the mouse: events go through
// the X server exactly as real ones do. Positions are client pixels of the given window.
struct X11Pointer {
  void* display = nullptr;  // its own connection, so it may be used from a thread of its own
  unsigned long window = 0;
  int origin_x = 0, origin_y = 0;  // the window's client area on the screen
};
bool x11_pointer_open(X11Pointer* p, const std::string& display, unsigned long window);
void x11_pointer_close(X11Pointer* p);
// Queue a move or a left-button press or release; nothing is sent before the flush.
void x11_pointer_move(X11Pointer* p, int x, int y);
void x11_pointer_button(X11Pointer* p, bool press);
void x11_pointer_flush(X11Pointer* p);
// Reads a w x h block of the window's pixels at (x, y), 0xRRGGBB each.
bool x11_pointer_grab(X11Pointer* p, int x, int y, int w, int h, std::vector<uint32_t>* pixels);

// The lines of a text file, without their line ends.
std::vector<std::string> read_lines(const std::string& path);

// A file of 16-bit little-endian samples.
std::vector<int16_t> read_samples(const std::string& path);
