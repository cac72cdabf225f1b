// The game's window: its class, a fixed 480 x 640 client area, and its messages as the
// game's input.
#pragma once
#include "nox_w/win.h"

#include "game/core.h"
#include "pack/status.h"

// Turns the input method off, registers the class and opens the window, shown as `show`
// says. Null on a failure, logged, with its reason in *why.
HWND window_open(HINSTANCE instance, int show, Status* why);

// Handles every waiting message. False once the window has been closed (the program ends).
bool window_handle_messages();

// The oldest event the window has queued for the game (none when nothing waits), with a move's
// position in the client area as it is now: a minimised window has none, the move then only
// updates the motion.
GameInput window_next_input(HWND window);
