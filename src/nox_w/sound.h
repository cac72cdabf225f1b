// The DirectSound stream: a thread that feeds the game's sound to the default device.
#pragma once
#include "nox_w/win.h"

#include "pack/status.h"

// Opens the device for the window and starts the sound thread. 0, or -1 with the failed call
// in *why, its line logged and nothing left open.
int sound_open(HWND window, Status* why);

// Stops the thread (it logs "Sound-thread will now stop.") and closes the device.
void sound_close();
