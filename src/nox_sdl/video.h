// The presenter: a 240 x 320 streaming texture composed straight from screen memory and shown
// at the largest whole scale the window holds, centred between dark bars, with sharp
// (nearest-neighbour) pixels; a window smaller than 240 x 320 shows it shrunk to fit, blended.
// The virtual pointer's mark is drawn over it, never into the game's planes. F12 writes it as a
// PNG file.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

// Creates the renderer and the texture for `window`; asks for vsync when `want_vsync`.
// 0 on success, -1 on failure (logged, everything made released).
int video_init(SDL_Window* window, int want_vsync);

// Composes screen memory into the texture (and empties the sprite plane); with `keep`, the
// picture is also kept for video_screenshot. 0, or -1 (logged).
int video_compose(bool keep = false);

// Shows the composed frame, and the pointer mark centred on virtual pixel (mark_x, mark_y)
// when `mark` is set. Also shows the last frame again (a window exposed or resized while the
// game is paused). 0, or -1 (logged).
int video_present(bool mark = false, int32_t mark_x = 0, int32_t mark_y = 0);

// F12: the picture kept by the last composition, at the scale of the latest presentation, as
// the PNG file "PIXBRK_YYYYMMDD_HHMMSS.png" in the game's directory (local time; "_2", "_3" ...
// added when that name is taken); logs the name with the frame number. 0, or -1 (logged).
int video_screenshot(uint64_t frame);

// Turns the display's vsync off (the frame loop then paces itself).
void video_vsync_off();

// 1 when the renderer presents in step with the display's refresh.
int video_vsync_on();

void video_term();
