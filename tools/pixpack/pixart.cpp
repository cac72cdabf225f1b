// pixart: draws the game's pictures and writes them as indexed PNGs into an assets folder.
// The PNGs it writes are the sources the pack is built from and are committed; run this again
// only to regenerate them after changing the drawings here (then review the PNGs).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media.h"
#include "pack/args.h"
#include "pixart_font.h"
#include "rects.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Master palette: sixteen ramps of sixteen colours, each from dark (16k) to bright (16k + 15).
// Fading sparks and stars step one index down, so every ramp must fade smoothly to near black.

enum Ramp : int {
  kNavy = 0, kAzure, kAmber, kCyan, kMagenta, kGreen, kGrey, kRed,
  kOrange, kLime, kYellow, kViolet, kTan, kTeal, kRose, kSteel
};

constexpr uint8_t C(int ramp, int level) { return static_cast<uint8_t>(ramp * 16 + level); }

struct Anchor {
  int level;
  uint32_t rgb;
};

double to_linear(int c) {
  const double v = c / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
int to_srgb(double v) {
  v = std::clamp(v, 0.0, 1.0);
  const double s = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(s * 255));
}

// Interpolates between anchors in linear light.
void fill_ramp(std::array<uint32_t, 256>& pal, int ramp, std::vector<Anchor> anchors) {
  for (int i = 0; i < 16; ++i) {
    size_t k = 0;
    while (k + 1 < anchors.size() && anchors[k + 1].level < i) ++k;
    const Anchor a = anchors[k], b = anchors[std::min(k + 1, anchors.size() - 1)];
    const double t = b.level == a.level ? 0.0 : std::clamp((i - a.level) / double(b.level - a.level), 0.0, 1.0);
    uint32_t rgb = 0;
    for (int sh : {16, 8, 0}) {
      const double ca = to_linear(static_cast<int>(a.rgb >> sh & 0xFF)), cb = to_linear(static_cast<int>(b.rgb >> sh & 0xFF));
      rgb |= static_cast<uint32_t>(to_srgb(ca + (cb - ca) * t)) << sh;
    }
    pal[static_cast<size_t>(ramp * 16 + i)] = 0xFF000000u | rgb;
  }
}

std::array<uint32_t, 256> master_palette() {
  std::array<uint32_t, 256> p{};
  // Navy: 0 black, 2 the playfield, 6 button fill, 8/10 the pointer beam, 15 highlighted fill.
  fill_ramp(p, kNavy, {{0, 0x000000}, {1, 0x04050f}, {2, 0x090b1f}, {6, 0x1b2557}, {10, 0x2d44a0}, {15, 0x4c6fe8}});
  fill_ramp(p, kAzure, {{0, 0x020a14}, {7, 0x1668a8}, {12, 0x58b8f0}, {15, 0xd8f4ff}});
  fill_ramp(p, kAmber, {{0, 0x140500}, {6, 0x9a3a00}, {11, 0xf09a18}, {15, 0xfff6c8}});
  // Cyan: 53/54 button outlines, 63 highlight outline, 54..62 the floor barrier.
  fill_ramp(p, kCyan, {{0, 0x001216}, {4, 0x006270}, {9, 0x1ec0d0}, {15, 0xe4ffff}});
  // Magenta: 70 ranking mark, 72/74 pointer marks, 79 bomb sparks.
  fill_ramp(p, kMagenta, {{0, 0x2a0830}, {6, 0x86207e}, {10, 0xd848c8}, {15, 0xffe0fa}});
  fill_ramp(p, kGreen, {{0, 0x021204}, {7, 0x1c9630}, {12, 0x6ee070}, {15, 0xe0ffd8}});
  // Grey: 99/102 disabled outline/fill, 111 the ball's trail and wall sparks.
  fill_ramp(p, kGrey, {{0, 0x0a0a0e}, {3, 0x2a2c34}, {6, 0x4c4f5c}, {11, 0xa6aab8}, {15, 0xffffff}});
  fill_ramp(p, kRed, {{0, 0x1a0204}, {7, 0xae1820}, {11, 0xff5444}, {15, 0xffdcd0}});
  fill_ramp(p, kOrange, {{0, 0x1a0800}, {7, 0xbe5600}, {11, 0xff9c28}, {15, 0xffecb8}});
  fill_ramp(p, kLime, {{0, 0x0a1200}, {7, 0x649c00}, {12, 0xb8e830}, {15, 0xf4ffc8}});
  // Yellow: 173 the guide dots.
  fill_ramp(p, kYellow, {{0, 0x161200}, {7, 0x9c8600}, {13, 0xffe850}, {15, 0xfffff0}});
  fill_ramp(p, kViolet, {{0, 0x0e0620}, {7, 0x6430bc}, {12, 0xae88ff}, {15, 0xeee4ff}});
  fill_ramp(p, kTan, {{0, 0x140c04}, {7, 0x8a5e2e}, {12, 0xd8a868}, {15, 0xfff0d8}});
  fill_ramp(p, kTeal, {{0, 0x021210}, {7, 0x108868}, {12, 0x50d8b0}, {15, 0xd8fff4}});
  fill_ramp(p, kRose, {{0, 0x1a0608}, {7, 0xbe4660}, {12, 0xff98a8}, {15, 0xffe8ee}});
  fill_ramp(p, kSteel, {{0, 0x080c12}, {7, 0x56667e}, {12, 0xaebcd0}, {15, 0xf4f8ff}});
  return p;
}

// ---------------------------------------------------------------------------------------------
// Drawing helpers.

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "pixart: %s\n", message.c_str());
  std::exit(1);
}

struct Canvas {
  int w, h;
  std::vector<uint8_t> px;
  Canvas(int width, int height) : w(width), h(height), px(static_cast<size_t>(width * height), 0) {}
  void set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<size_t>(y * w + x)] = c;
  }
  uint8_t get(int x, int y) const {
    return (x >= 0 && y >= 0 && x < w && y < h) ? px[static_cast<size_t>(y * w + x)] : 0;
  }
};

// A legend maps the characters of a drawing to palette indices; '.' and ' ' are transparent.
struct Legend {
  std::array<int, 128> map{};
  Legend(std::initializer_list<std::pair<char, int>> l) {
    map.fill(-1);
    for (auto [ch, c] : l) map[static_cast<size_t>(ch)] = c;
  }
};

void draw(Canvas& cv, int x0, int y0, const std::vector<std::string>& rows, const Legend& lg, bool mirror = false) {
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x) {
      const char ch = rows[y][mirror ? rows[y].size() - 1 - x : x];
      if (ch == '.' || ch == ' ') continue;
      const int c = lg.map[static_cast<size_t>(ch) & 127];
      if (c < 0) fail(std::string("no colour for '") + ch + "'");
      cv.set(x0 + static_cast<int>(x), y0 + static_cast<int>(y), static_cast<uint8_t>(c));
    }
}

const FixedRect& rect(std::string_view entry, std::string_view what) {
  for (const FixedRect& r : kFixedRects)
    if (r.entry == entry && r.what == what) return r;
  fail("no rectangle " + std::string(what));
}

// A blank picture of the bank, just large enough for all its rectangles.
Canvas bank_canvas(std::string_view entry) {
  int w = 0, h = 0;
  for (const FixedRect& r : kFixedRects)
    if (r.entry == entry) {
      w = std::max(w, r.x + r.w);
      h = std::max(h, r.y + r.h);
    }
  return Canvas(w, h);
}

void save(const std::string& dir, const std::string& file, const Canvas& cv) {
  const IndexedImage img{
      .width = cv.w, .height = cv.h, .pixels = cv.px, .palette = master_palette(), .palette_count = 256};
  if (std::string err = write_indexed_png(dir + "/" + file, img); !err.empty()) fail(err);
  std::printf("wrote %s/%s (%d x %d)\n", dir.c_str(), file.c_str(), cv.w, cv.h);
}

// ---------------------------------------------------------------------------------------------
// FONT.CHR: the 8 x 8 font (5 x 7 letters with a drop shadow) and the 4 x 8 font (3 x 5).

constexpr uint8_t kTextShadow = C(kNavy, 1);
// Top to bottom the letters go from white to a cool pale steel, legible on every fill.
constexpr std::array<uint8_t, 7> kLargeRows = {C(kGrey, 15), C(kGrey, 15), C(kGrey, 15), C(kSteel, 15),
                                               C(kSteel, 15), C(kSteel, 14), C(kSteel, 14)};
constexpr std::array<uint8_t, 5> kSmallRows = {C(kGrey, 15), C(kGrey, 15), C(kSteel, 15), C(kSteel, 15),
                                               C(kSteel, 14)};

void draw_glyph(Canvas& cv, int cx, int cy, const char* const* rows, int w, int h, int ox, int oy,
                const uint8_t* colours) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (rows[y][x] == '#') {
        // Shadow one pixel right and down, under any body pixel.
        if (cv.get(cx + ox + x + 1, cy + oy + y + 1) == 0) cv.set(cx + ox + x + 1, cy + oy + y + 1, kTextShadow);
      }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (rows[y][x] == '#') cv.set(cx + ox + x, cy + oy + y, colours[y]);
}

Canvas make_font() {
  Canvas cv = bank_canvas("FONT.CHR");
  for (int ch = 33; ch < 128; ++ch) {
    const int i = ch - 32;
    draw_glyph(cv, 8 * (i % 16), 8 * (i / 16), kLargeGlyphs[i], 5, 7, 1, 0, kLargeRows.data());
  }
  for (int d = 0; d < 10; ++d) draw_glyph(cv, 4 * d, 48, kSmallDigits[d], 3, 5, 0, 1, kSmallRows.data());
  for (int l = 0; l < 26; ++l) draw_glyph(cv, 4 * l, 56, kSmallLetters[l], 3, 5, 0, 1, kSmallRows.data());
  draw_glyph(cv, 104, 56, kSmallStop, 3, 5, 0, 1, kSmallRows.data());
  // The blank cell (108, 56) and the large space stay index 0: opaque text erases with it.
  return cv;
}

}  // namespace

#include "pixart_sprites.inc"

int main(int argc, char** argv) {
  std::string dir;
  int status = 0;
  if (!ArgReader::one_folder("pixart", "usage: pixart ASSETS_DIR   draw the game's pictures into font.png, pixbrk.png, "
                             "title.png and all.png there\n",
                             argc, argv, &dir, &status))
    return status;
  save(dir, "font.png", make_font());
  save(dir, "pixbrk.png", make_sprites());
  save(dir, "title.png", make_title());
  save(dir, "all.png", make_all_clear());
  return 0;
}
