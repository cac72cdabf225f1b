// The Direct3D 9 presenter: the game's 240 x 320 picture, each pixel a sharp 2 x 2 block of
// the 480 x 640 window.
#pragma once
#include "nox_w/win.h"

#include "pack/status.h"

// Opens the device on the window. 0, or -1 with the failed call in *why, its line logged and
// nothing left open.
int presenter_open(HWND window, Status* why);

// Composes the game's last frame and shows it. 0, or -1 once a call has failed (logged).
int presenter_show();

void presenter_close();
