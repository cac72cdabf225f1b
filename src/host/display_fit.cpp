#include "host/display_fit.h"

#include <algorithm>

#include "engine/screen.h"
#include "game/input.h"

int32_t display_scale_for(int32_t w, int32_t h) {
  return std::clamp(std::min(w / NOX_W, h / NOX_H), 1, DISPLAY_MAX_SCALE);
}

DisplayFit display_fit(int32_t out_w, int32_t out_h, int32_t win_w, int32_t win_h) {
  DisplayFit f{};
  f.out_w = std::max(out_w, 1);
  f.out_h = std::max(out_h, 1);
  f.win_w = std::max(win_w, 1);
  f.win_h = std::max(win_h, 1);
  f.scale = display_scale_for(f.out_w, f.out_h);
  f.x = (f.out_w - NOX_W * f.scale) / 2;
  f.y = (f.out_h - NOX_H * f.scale) / 2;
  return f;
}

bool display_pointer(const DisplayFit& f, int32_t wx, int32_t wy, int32_t* cx, int32_t* cy) {
  // Window units to physical pixels, then to the picture.
  const int64_t px = static_cast<int64_t>(std::clamp(wx, 0, f.win_w - 1)) * f.out_w / f.win_w - f.x;
  const int64_t py = static_cast<int64_t>(std::clamp(wy, 0, f.win_h - 1)) * f.out_h / f.win_h - f.y;
  if (px < 0 || py < 0 || px >= NOX_W * f.scale || py >= NOX_H * f.scale) return false;
  // Two reference pixels per virtual pixel: halving (px * 2 / scale) gives px / scale exactly.
  *cx = static_cast<int32_t>(px * (NOX_CLIENT_W / NOX_W) / f.scale);
  *cy = static_cast<int32_t>(py * (NOX_CLIENT_H / NOX_H) / f.scale);
  return true;
}
