// Where the 240 x 320 picture goes in a window of any size: the largest whole scale that fits,
// centred, with bars around it; in a window smaller than 240 x 320 the picture is shrunk to fit
// instead. Pointer positions are mapped back through the same placement.
#pragma once
#include <cstdint>

constexpr int32_t DISPLAY_MAX_SCALE = 16;

struct DisplayFit {
  int32_t scale;         // the whole scale: every virtual pixel is scale x scale output pixels
                         // (1 in a window too small for that, where pic_w x pic_h is less)
  int32_t pic_w, pic_h;  // the picture's size in output pixels: 240 x 320 times the scale, or
                         // below 1x the largest size of the screen's shape that fits
  int32_t x, y;          // the picture's top-left corner in output pixels
  int32_t out_w, out_h;  // the window's output in physical pixels
  int32_t win_w, win_h;  // the window in the units its pointer positions come in
};

// The largest whole scale at which 240 x 320 fits into w x h (at least 1, at most
// DISPLAY_MAX_SCALE).
int32_t display_scale_for(int32_t w, int32_t h);

// The placement for a window of out_w x out_h physical pixels whose pointer positions come in
// win_w x win_h units (the same numbers unless the desktop scales for a high-DPI display).
DisplayFit display_fit(int32_t out_w, int32_t out_h, int32_t win_w, int32_t win_h);

// Maps a pointer position in window units to the game's 480 x 640 reference client area, so
// that the touch handling's halving gives the virtual pixel under the pointer (below 1x, the
// one under the centre of the output pixel, so the screen's last row and column are reachable
// too). Positions outside the window count as its nearest edge. Returns false when the position
// lies in the bars around the picture: outside the game's screen.
bool display_pointer(const DisplayFit& fit, int32_t wx, int32_t wy, int32_t* cx, int32_t* cy);
