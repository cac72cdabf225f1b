// F12: the current picture as a PNG file in the game's directory.
#pragma once
#include <cstdint>

// Writes the 240 x 320 picture (0x00RRGGBB) at `scale` into "PIXBRK_YYYYMMDD_HHMMSS.png"
// (local time; "_2", "_3" ... added when that name is taken) and logs the name with the frame
// number. 0, or -1 (logged).
int screenshot_write(const uint32_t* pixels, int32_t scale, uint64_t frame);
