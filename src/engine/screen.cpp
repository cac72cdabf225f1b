#include "engine/screen.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "pack/pack.h"

PER_THREAD uint8_t nox_bg[NOX_W * NOX_H];
PER_THREAD uint8_t nox_sp[NOX_W * NOX_H];
PER_THREAD uint32_t nox_palette[256];
PER_THREAD NoxBank nox_banks[256];

namespace {
PER_THREAD bool drawing_off = false;
constexpr uint32_t CHR_HEADER = 4 + 1024;

void empty_bank(NoxBank& b) {
  std::free(b.pixels);
  b = NoxBank{0, 0, nullptr};
}

uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Moves the first `keep` bytes of a span of keep + gap bytes to its end (or the last ones to its
// start), and clears the gap left behind.
void shift_span(uint8_t* span, size_t keep, size_t gap, bool towards_end) {
  if (towards_end) {
    std::memmove(span + gap, span, keep);
    std::memset(span, 0, gap);
  } else {
    std::memmove(span, span + gap, keep);
    std::memset(span + keep, 0, gap);
  }
}
}  // namespace

int nox_loadchr(uint8_t bank, const char* name) {
  NoxBank& b = nox_banks[bank];
  empty_bank(b);  // the old picture is gone even if this load fails

  uint32_t size = 0;
  const uint8_t* e = findbin(name, &size);
  if (e == nullptr || size < CHR_HEADER || e[0] != 'K' || e[1] != 'R') return -1;
  const int32_t w = e[2] + 1;
  const int32_t h = e[3] + 1;
  const auto count = static_cast<uint32_t>(w * h);
  // An entry too short for its own pixels is refused like a bad picture: nothing is read past it.
  if (size - CHR_HEADER < count) return -1;
  auto* pixels = static_cast<uint8_t*>(std::malloc(count));
  if (pixels == nullptr) return -1;
  for (int i = 0; i < 256; ++i) {
    const uint8_t* c = e + 4 + 4 * i;
    nox_palette[i] = static_cast<uint32_t>(c[0]) | static_cast<uint32_t>(c[1]) << 8 | static_cast<uint32_t>(c[2]) << 16 |
                     static_cast<uint32_t>(c[3]) << 24;
  }
  std::memcpy(pixels, e + CHR_HEADER, count);
  b = NoxBank{w, h, pixels};
  return 0;
}

void nox_set_drawing(bool on) { drawing_off = !on; }

bool nox_drawing() { return !drawing_off; }

void nox_clear(int32_t colour) {
  if (!drawing_off) std::memset(nox_bg, static_cast<uint8_t>(colour), sizeof nox_bg);
}

void nox_scroll(int32_t dx, int32_t dy) {
  if (drawing_off) return;
  if (dx >= NOX_W || dy >= NOX_H || dx <= -NOX_W || dy <= -NOX_H) {
    std::memset(nox_bg, 0, sizeof nox_bg);
    return;
  }
  if (dx != 0) {
    const auto keep = static_cast<size_t>(NOX_W - (dx > 0 ? dx : -dx));
    for (int32_t y = 0; y < NOX_H; ++y) shift_span(nox_bg + y * NOX_W, keep, NOX_W - keep, dx > 0);
  }
  if (dy != 0) {
    const auto keep = static_cast<size_t>(NOX_H - (dy > 0 ? dy : -dy)) * NOX_W;
    shift_span(nox_bg, keep, sizeof nox_bg - keep, dy > 0);
  }
}

// The background rarely changes from one frame to the next, so its colours are kept: each
// 16-pixel chunk remembers the indices it was converted from, and a chunk whose indices and
// palette are unchanged is copied from the kept colours instead of being looked up again.
namespace {
PER_THREAD uint8_t bg_seen[NOX_W * NOX_H];
PER_THREAD uint32_t bg_colours[NOX_W * NOX_H];
PER_THREAD uint32_t palette_seen[256];
PER_THREAD bool colours_valid = false;
}  // namespace

// One pass over the screen: a sprite pixel wins over the background and is emptied as it is
// shown. Sixteen pixels go at a time; a chunk with no sprite pixels is a straight copy of the
// background's colours, which is most of a typical frame.
void nox_compose(int32_t pitch, void* pixels) {
  if (!colours_valid || std::memcmp(palette_seen, nox_palette, sizeof nox_palette) != 0) {
    std::memcpy(palette_seen, nox_palette, sizeof nox_palette);
    colours_valid = false;
  }
  const std::ptrdiff_t stride = pitch >> 2;
  auto* out_row = static_cast<uint32_t*>(pixels);
  const uint32_t* pal = palette_seen;
  for (int32_t y = 0; y < NOX_H; ++y, out_row += stride) {
    const int32_t row = y * NOX_W;
    uint32_t* out = out_row;
    for (int32_t i = row; i < row + NOX_W; i += 16, out += 16) {
      const uint8_t* bg = nox_bg + i;
      uint8_t* seen = bg_seen + i;
      uint32_t* colours = bg_colours + i;
      uint8_t* sp = nox_sp + i;
      const bool no_sprite = (load64(sp) | load64(sp + 8)) == 0;
      const bool same_bg = colours_valid && load64(bg) == load64(seen) && load64(bg + 8) == load64(seen + 8);
      if (same_bg && no_sprite) {
        std::memcpy(out, colours, 16 * sizeof(uint32_t));
        continue;
      }
      if (!same_bg) {
        std::memcpy(seen, bg, 16);
        for (int k = 0; k < 16; ++k) colours[k] = pal[bg[k]];
      }
      if (no_sprite) {
        std::memcpy(out, colours, 16 * sizeof(uint32_t));
      } else {
        for (int k = 0; k < 16; ++k) out[k] = sp[k] != 0 ? pal[sp[k]] : colours[k];
        std::memset(sp, 0, 16);
      }
    }
  }
  colours_valid = true;
}

void nox_free_banks() {
  for (NoxBank& b : nox_banks) empty_bank(b);
}
