// The presenter: a 240 x 320 streaming texture composed straight from screen memory and shown
// at twice its size with sharp (nearest-neighbour) pixels.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

// Creates the renderer and the texture for `window`; asks for vsync when `want_vsync`.
// 0 on success, -1 on failure (logged, everything made released).
int video_init(SDL_Window* window, int want_vsync);

// Composes screen memory into the texture (and empties the sprite plane). 0, or -1 (logged).
int video_compose();

// Shows the composed frame. 0, or -1 (logged).
int video_present();

// Turns the display's vsync off (the frame loop then paces itself).
void video_vsync_off();

// 1 when the renderer presents in step with the display's refresh.
int video_vsync_on();

void video_term();
