#include "host/display_fit.h"

#include <algorithm>

#include "engine/screen.h"
#include "engine/touch.h"

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
  f.pic_w = NOX_W * f.scale;
  f.pic_h = NOX_H * f.scale;
  if (f.out_w < NOX_W || f.out_h < NOX_H) {
    // Too small even for 1x: the whole picture, shrunk to the side that runs out first.
    if (f.out_w * NOX_H <= f.out_h * NOX_W) {
      f.pic_w = f.out_w;
      f.pic_h = std::max(f.out_w * NOX_H / NOX_W, 1);
    } else {
      f.pic_h = f.out_h;
      f.pic_w = std::max(f.out_h * NOX_W / NOX_H, 1);
    }
  }
  f.x = (f.out_w - f.pic_w) / 2;
  f.y = (f.out_h - f.pic_h) / 2;
  return f;
}

bool display_pointer(const DisplayFit& f, int32_t wx, int32_t wy, int32_t* cx, int32_t* cy) {
  // Window units to physical pixels, then to the picture.
  const int64_t px = static_cast<int64_t>(std::clamp(wx, 0, f.win_w - 1)) * f.out_w / f.win_w - f.x;
  const int64_t py = static_cast<int64_t>(std::clamp(wy, 0, f.win_h - 1)) * f.out_h / f.win_h - f.y;
  if (px < 0 || py < 0 || px >= f.pic_w || py >= f.pic_h) return false;
  // The centre of the output pixel, in reference pixels: at a whole scale s this halves to
  // px / s exactly; below 1x it is the virtual pixel under that centre.
  *cx = static_cast<int32_t>((2 * px + 1) * NOX_CLIENT_W / (2 * f.pic_w));
  *cy = static_cast<int32_t>((2 * py + 1) * NOX_CLIENT_H / (2 * f.pic_h));
  return true;
}
