// Helpers for driving the real game: a private Xvfb, child processes, the few Xlib calls a
// window manager would make (find a window, ask it to close, read its pixels), and reading what
// the game wrote.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct XvfbServer {
  pid_t pid = -1;
  std::string display;  // ":N"
};

// Starts Xvfb on a free display (1024 x 768 x 24) and waits until it answers.
bool xvfb_start(XvfbServer* server);
void xvfb_stop(XvfbServer* server);

// Starts a program. `env` entries ("NAME=value") are added to (or replace) the environment.
// Standard output and error go to the given files ("" = /dev/null).
pid_t spawn_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
                    const std::string& out_path, const std::string& err_path);

// Waits for a child; returns its exit status, or -1 after timeout_ms (the child keeps running),
// or 128 + signal number when a signal ended it.
int wait_program(pid_t pid, int timeout_ms);

// Runs a program to its end (at most 20 s) and returns its exit status; its standard error
// goes to err_path ("" = /dev/null).
int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                const std::string& err_path = "");

// The top-level window with this title, waiting up to timeout_ms; 0 when there is none.
unsigned long x11_find_window(const std::string& display, const std::string& title, int timeout_ms);

// Sends WM_DELETE_WINDOW, as a window manager's close button does.
bool x11_close_window(const std::string& display, unsigned long window);

// Reads the window's client area as 0xRRGGBB pixels, row by row.
bool x11_grab_window(const std::string& display, unsigned long window, int width, int height,
                     std::vector<uint32_t>* pixels);

// The smallest and largest size the window lets a window manager give it; false when it sets none.
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
