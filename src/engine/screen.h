// Screen memory: an opaque BG plane, a transparent SP plane, one palette and 256 character banks.
#pragma once
#include <cstdint>

#include "pack/per_thread.h"

constexpr int32_t NOX_W = 240;
constexpr int32_t NOX_H = 320;

// Pixel (x, y) is at index y * NOX_W + x in both planes.
extern PER_THREAD uint8_t nox_bg[NOX_W * NOX_H];
extern PER_THREAD uint8_t nox_sp[NOX_W * NOX_H];  // 0 = transparent; emptied by every composition
extern PER_THREAD uint32_t nox_palette[256];      // output pixel per index, 0xXXRRGGBB

struct NoxBank {
  int32_t width;    // 0 while empty
  int32_t height;   // 0 while empty
  uint8_t* pixels;  // owned, width * height palette indices, or null
};
extern PER_THREAD NoxBank nox_banks[256];

// Decodes the CHR entry `name` of the pack into `bank`. 0 on success, -1 on failure
// (bank left empty, palette untouched).
int nox_loadchr(uint8_t bank, const char* name);

// Drawing on (the default) or off: while off, every drawing call (the clear, the scroll, the
// blits and primitives, the texts) does nothing, for a caller that never looks at a picture.
// The game never reads the planes back, so what it does is the same either way.
void nox_set_drawing(bool on);
bool nox_drawing();

// Fills the whole BG plane with colour (low 8 bits); SP untouched.
void nox_clear(int32_t colour);

// Shifts the BG plane dx right and dy down, filling what is uncovered with 0.
void nox_scroll(int32_t dx, int32_t dy);

// Writes the 240 x 320 picture as 32-bit pixels at `pitch` bytes per row and empties SP.
void nox_compose(int32_t pitch, void* pixels);

// Frees every bank's pixel buffer (host shut-down).
void nox_free_banks();
