#include "engine/draw.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
uint8_t* plane_of(Plane p) { return p == Plane::BG ? nox_bg : nox_sp; }

// Every geometric primitive draws through this clipped point; 64-bit so that far-off
// coordinates can never wrap back onto the screen.
void plot(uint8_t* plane, int64_t x, int64_t y, uint8_t colour) {
  if (x >= 0 && x < NOX_W && y >= 0 && y < NOX_H) plane[y * NOX_W + x] = colour;
}

// The circle walk never meets its end condition for radius 0, and very large radii need many
// laps; no radius from 1 to 534 needs more than 402 steps, so this bound only stops the others.
constexpr int CIRCLE_STEP_LIMIT = 4096;

// The walk visits the same few pixels many times over (395 steps for about 50 pixels at
// radius 8), and where it goes depends on the radius alone. So for small radii the pixels
// are worked out once, each kept once, and every later circle of that radius just plots them.
constexpr int32_t CIRCLE_CACHE_RADII = 32;
constexpr int32_t CIRCLE_CACHE_POINTS = 512;

struct CircleShape {
  bool ready;
  int32_t walked;  // steps of the walk, as the uncached walk reports them
  int32_t count;   // distinct pixels, or -1 when the radius is not kept
  int8_t dx[CIRCLE_CACHE_POINTS];
  int8_t dy[CIRCLE_CACHE_POINTS];
};
PER_THREAD CircleShape circle_cache[CIRCLE_CACHE_RADII + 1];

// Walks the rotation for radius r, calling visit(x, y) with each point's offset from the centre.
template <typename Visit>
int32_t circle_walk(int32_t r, Visit visit) {
  const auto fr = static_cast<float>(r);
  const float lo = fr - 1.0f;
  float X = fr;
  float Y = 0.0f;
  int32_t points = 0;
  while (points < CIRCLE_STEP_LIMIT) {
    X = X - Y / 64.0f;
    Y = Y + X / 64.0f;
    visit(static_cast<int64_t>(X), static_cast<int64_t>(Y));
    ++points;
    if (lo < X && X < fr && -1.0f < Y && Y < 0.0f) break;
  }
  return points;
}

const CircleShape* circle_shape(int32_t r) {
  if (r < 1 || r > CIRCLE_CACHE_RADII) return nullptr;
  CircleShape& s = circle_cache[r];
  if (!s.ready) {
    constexpr int32_t side = 2 * CIRCLE_CACHE_RADII + 3;
    bool seen[side * side] = {};
    s.count = 0;
    s.walked = circle_walk(r, [&](int64_t x, int64_t y) {
      if (s.count < 0) return;
      if (x < -r - 1 || x > r + 1 || y < -r - 1 || y > r + 1) {
        s.count = -1;  // off its bounding box: this radius is always walked in full
        return;
      }
      const int64_t cell = (y + CIRCLE_CACHE_RADII + 1) * side + (x + CIRCLE_CACHE_RADII + 1);
      if (seen[cell] || s.count == CIRCLE_CACHE_POINTS) return;
      seen[cell] = true;
      s.dx[s.count] = static_cast<int8_t>(x);
      s.dy[s.count] = static_cast<int8_t>(y);
      ++s.count;
    });
    s.ready = true;
  }
  return s.count < 0 ? nullptr : &s;
}
}  // namespace

bool clip_put(uint8_t bank, int32_t& sx, int32_t& sy, int32_t& w, int32_t& h, int32_t& dx, int32_t& dy) {
  const NoxBank& b = nox_banks[bank];
  if (b.pixels == nullptr) return false;
  if (w < 0 || h < 0) return false;  // a negative size is never a picture
  if (sx < 0 || int64_t{sx} + w > b.width) return false;
  if (sy < 0 || int64_t{sy} + h > b.height) return false;
  if (int64_t{dx} + w < 0 || dx >= NOX_W) return false;
  if (int64_t{dy} + h < 0 || dy >= NOX_H) return false;
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dx + w > NOX_W) w = NOX_W - dx;
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  if (dy + h > NOX_H) h = NOX_H - dy;
  return true;
}

namespace {
// Copies the non-zero bytes of one row. Eight pixels at a time: a byte's top bit in `set` says
// whether the source byte is non-zero, and that byte of the mask takes the source, the others
// keep what the plane held.
void put_row_transparent(uint8_t* dst, const uint8_t* src, int32_t w) {
  constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
  constexpr uint64_t high = 0x8080808080808080ull;
  int32_t i = 0;
  for (; i + 8 <= w; i += 8) {
    uint64_t s8;
    std::memcpy(&s8, src + i, 8);
    if (s8 == 0) continue;
    const uint64_t set = (s8 | ((s8 & low7) + low7)) & high;
    const uint64_t mask = (set >> 7) * 0xFFu;
    uint64_t d8;
    std::memcpy(&d8, dst + i, 8);
    d8 = (d8 & ~mask) | (s8 & mask);
    std::memcpy(dst + i, &d8, 8);
  }
  for (; i < w; ++i)
    if (src[i] != 0) dst[i] = src[i];
}
}  // namespace

void nox_put(Plane p, uint8_t bank, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  if (!nox_drawing() || !clip_put(bank, sx, sy, w, h, dx, dy)) return;
  const NoxBank& b = nox_banks[bank];
  uint8_t* dst = plane_of(p) + dy * NOX_W + dx;
  const uint8_t* src = b.pixels + sy * b.width + sx;
  if (p == Plane::BG) {
    for (int32_t row = 0; row < h; ++row, dst += NOX_W, src += b.width) std::memcpy(dst, src, static_cast<size_t>(w));
  } else {
    for (int32_t row = 0; row < h; ++row, dst += NOX_W, src += b.width) put_row_transparent(dst, src, w);
  }
}

void nox_pset(Plane p, int32_t x, int32_t y, int32_t colour) {
  if (nox_drawing()) plot(plane_of(p), x, y, static_cast<uint8_t>(colour));
}

void nox_line(Plane p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t colour) {
  if (!nox_drawing()) return;
  uint8_t* plane = plane_of(p);
  const auto c = static_cast<uint8_t>(colour);
  const int64_t ex = int64_t{x1} - x0;
  const int64_t ey = int64_t{y1} - y0;
  if (ey == 0) {
    if (y0 < 0 || y0 >= NOX_H) return;
    int64_t a = std::min(x0, x1);
    int64_t z = std::max(x0, x1);
    // Only the on-screen part can show, so the span is cut to it before plotting.
    a = std::max<int64_t>(a, 0);
    z = std::min<int64_t>(z, NOX_W - 1);
    for (int64_t x = a; x <= z; ++x) plane[y0 * NOX_W + x] = c;
    return;
  }
  if (ex == 0) {
    if (x0 < 0 || x0 >= NOX_W) return;
    int64_t a = std::min(y0, y1);
    int64_t z = std::max(y0, y1);
    a = std::max<int64_t>(a, 0);
    z = std::min<int64_t>(z, NOX_H - 1);
    for (int64_t y = a; y <= z; ++y) plane[y * NOX_W + x0] = c;
    return;
  }
  const int64_t ax = ex < 0 ? -ex : ex;
  const int64_t ay = ey < 0 ? -ey : ey;
  const int64_t stepx = ex > 0 ? 1 : -1;
  const int64_t stepy = ey > 0 ? 1 : -1;
  int64_t x = x0, y = y0;
  // The error starts at minus the minor extent, so the first step of a sloped line is diagonal.
  if (ax >= ay) {
    int64_t err = -ay;
    for (;;) {
      plot(plane, x, y, c);
      if (x == x1) break;
      x += stepx;
      err += 2 * ay;
      if (err >= 0) {
        y += stepy;
        err -= 2 * ax;
      }
    }
  } else {
    int64_t err = -ax;
    for (;;) {
      plot(plane, x, y, c);
      if (y == y1) break;
      y += stepy;
      err += 2 * ax;
      if (err >= 0) {
        x += stepx;
        err -= 2 * ay;
      }
    }
  }
}

void nox_box(Plane p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t colour) {
  nox_line(p, x0, y0, x1, y0, colour);
  nox_line(p, x0, y1, x1, y1, colour);
  nox_line(p, x0, y0, x0, y1, colour);
  nox_line(p, x1, y0, x1, y1, colour);
}

void nox_boxf(Plane p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t colour) {
  if (!nox_drawing()) return;
  if (x1 < x0) std::swap(x0, x1);
  if (y1 < y0) std::swap(y0, y1);
  if (x0 >= NOX_W || y0 >= NOX_H || x1 < 0 || y1 < 0) return;
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, NOX_W - 1);
  y1 = std::min(y1, NOX_H - 1);
  uint8_t* plane = plane_of(p);
  const auto span = static_cast<size_t>(x1 - x0 + 1);
  for (int32_t y = y0; y <= y1; ++y) std::memset(plane + y * NOX_W + x0, static_cast<uint8_t>(colour), span);
}

// A point rotated by a small fixed angle each step, in single precision; it starts at the
// rightmost point, goes downwards round the centre and stops just above where it began.
int32_t nox_circle(Plane p, int32_t cx, int32_t cy, int32_t r, int32_t colour) {
  if (!nox_drawing()) return 0;
  uint8_t* plane = plane_of(p);
  const auto c = static_cast<uint8_t>(colour);
  if (const CircleShape* s = circle_shape(r)) {
    // Worked out in 64 bits, so a centre near the ends of the range cannot wrap onto the screen.
    const int64_t x = cx, y = cy;
    if (x - r - 1 >= 0 && x + r + 1 < NOX_W && y - r - 1 >= 0 && y + r + 1 < NOX_H) {
      uint8_t* centre = plane + cy * NOX_W + cx;
      for (int32_t i = 0; i < s->count; ++i) centre[s->dy[i] * NOX_W + s->dx[i]] = c;
    } else {
      for (int32_t i = 0; i < s->count; ++i) plot(plane, int64_t{cx} + s->dx[i], int64_t{cy} + s->dy[i], c);
    }
    return s->walked;
  }
  return circle_walk(r, [&](int64_t x, int64_t y) { plot(plane, int64_t{cx} + x, int64_t{cy} + y, c); });
}
