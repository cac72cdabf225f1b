// Blits and drawing primitives onto one of the two planes. Everything clips to the screen.
#pragma once
#include <cstdint>

#include "engine/screen.h"

enum class Plane : uint8_t { BG, SP };

// The shared blit validation and clipping step. Returns false when the blit is rejected;
// otherwise the arguments are clipped to the screen in place.
bool clip_put(uint8_t bank, int32_t& sx, int32_t& sy, int32_t& w, int32_t& h, int32_t& dx, int32_t& dy);

// One routine per primitive, taking the plane; BG copies opaquely, SP skips index 0.
void nox_put(Plane p, uint8_t bank, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy);
void nox_pset(Plane p, int32_t x, int32_t y, int32_t colour);
void nox_line(Plane p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t colour);
void nox_box(Plane p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t colour);
void nox_boxf(Plane p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t colour);
// Returns the number of points the walk plotted (bounded, so every radius terminates); 0 while
// drawing is off.
int32_t nox_circle(Plane p, int32_t cx, int32_t cy, int32_t r, int32_t colour);

// The per-plane names the game uses.
inline void nox_put_bg(uint8_t b, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  nox_put(Plane::BG, b, sx, sy, w, h, dx, dy);
}
inline void nox_put_sp(uint8_t b, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  nox_put(Plane::SP, b, sx, sy, w, h, dx, dy);
}
inline void nox_pset_bg(int32_t x, int32_t y, int32_t c) { nox_pset(Plane::BG, x, y, c); }
inline void nox_pset_sp(int32_t x, int32_t y, int32_t c) { nox_pset(Plane::SP, x, y, c); }
inline void nox_line_bg(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) { nox_line(Plane::BG, x0, y0, x1, y1, c); }
inline void nox_line_sp(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) { nox_line(Plane::SP, x0, y0, x1, y1, c); }
inline void nox_box_bg(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) { nox_box(Plane::BG, x0, y0, x1, y1, c); }
inline void nox_box_sp(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) { nox_box(Plane::SP, x0, y0, x1, y1, c); }
inline void nox_boxf_bg(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) { nox_boxf(Plane::BG, x0, y0, x1, y1, c); }
inline void nox_boxf_sp(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t c) { nox_boxf(Plane::SP, x0, y0, x1, y1, c); }
inline void nox_circle_bg(int32_t cx, int32_t cy, int32_t r, int32_t c) { nox_circle(Plane::BG, cx, cy, r, c); }
inline void nox_circle_sp(int32_t cx, int32_t cy, int32_t r, int32_t c) { nox_circle(Plane::SP, cx, cy, r, c); }
