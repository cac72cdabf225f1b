// Every picture the game copies out of a character bank, in one table, so that art and checks
// agree on where things are and nothing overlaps by accident.
#pragma once
#include <array>
#include <string_view>

struct FixedRect {
  std::string_view entry;  // pack entry holding the picture
  std::string_view what;
  int x, y, w, h;
};

inline constexpr std::array kFixedRects = {
    // Bank 0: the two fonts.
    FixedRect{"FONT.CHR", "large font 32-127", 0, 0, 128, 48},
    FixedRect{"FONT.CHR", "small digits", 0, 48, 40, 8},
    FixedRect{"FONT.CHR", "small capitals", 0, 56, 104, 8},
    FixedRect{"FONT.CHR", "small full stop", 104, 56, 4, 8},
    FixedRect{"FONT.CHR", "small blank", 108, 56, 4, 8},
    // Bank 1: frame tiles and sprites.
    FixedRect{"PIXBRK.CHR", "frame top-left", 0, 0, 8, 8},
    FixedRect{"PIXBRK.CHR", "frame top", 8, 0, 8, 8},
    FixedRect{"PIXBRK.CHR", "frame top-right", 16, 0, 8, 8},
    FixedRect{"PIXBRK.CHR", "paddle", 24, 0, 32, 8},
    FixedRect{"PIXBRK.CHR", "paddle lost 0", 56, 0, 32, 8},
    FixedRect{"PIXBRK.CHR", "paddle lost 1", 88, 0, 32, 8},
    FixedRect{"PIXBRK.CHR", "bomb 0", 120, 0, 8, 8},
    FixedRect{"PIXBRK.CHR", "bomb 1", 128, 0, 8, 8},
    FixedRect{"PIXBRK.CHR", "frame left", 0, 8, 8, 8},
    FixedRect{"PIXBRK.CHR", "ball", 8, 8, 8, 8},
    FixedRect{"PIXBRK.CHR", "frame right", 16, 8, 8, 8},
    FixedRect{"PIXBRK.CHR", "small alien 0", 24, 8, 8, 8},
    FixedRect{"PIXBRK.CHR", "small alien 1", 32, 8, 8, 8},
    FixedRect{"PIXBRK.CHR", "medium alien 0", 40, 8, 16, 8},
    FixedRect{"PIXBRK.CHR", "medium alien 1", 56, 8, 16, 8},
    FixedRect{"PIXBRK.CHR", "large alien 0", 72, 8, 24, 8},
    FixedRect{"PIXBRK.CHR", "large alien 1", 96, 8, 24, 8},
    FixedRect{"PIXBRK.CHR", "small explosion 0", 24, 16, 8, 8},
    FixedRect{"PIXBRK.CHR", "small explosion 1", 32, 16, 8, 8},
    FixedRect{"PIXBRK.CHR", "medium explosion 0", 40, 16, 16, 8},
    FixedRect{"PIXBRK.CHR", "medium explosion 1", 56, 16, 16, 8},
    FixedRect{"PIXBRK.CHR", "large explosion 0", 72, 16, 24, 8},
    FixedRect{"PIXBRK.CHR", "large explosion 1", 96, 16, 24, 8},
    FixedRect{"PIXBRK.CHR", "item 0", 0, 24, 16, 16},
    FixedRect{"PIXBRK.CHR", "item 1", 16, 24, 16, 16},
    FixedRect{"PIXBRK.CHR", "item 2", 32, 24, 16, 16},
    FixedRect{"PIXBRK.CHR", "item 3", 48, 24, 16, 16},
    FixedRect{"PIXBRK.CHR", "armoured small alien 0", 0, 40, 8, 8},
    FixedRect{"PIXBRK.CHR", "armoured small alien 1", 8, 40, 8, 8},
    FixedRect{"PIXBRK.CHR", "armoured medium alien 0", 16, 40, 16, 8},
    FixedRect{"PIXBRK.CHR", "armoured medium alien 1", 32, 40, 16, 8},
    FixedRect{"PIXBRK.CHR", "armoured large alien 0", 48, 40, 24, 8},
    FixedRect{"PIXBRK.CHR", "armoured large alien 1", 72, 40, 24, 8},
    // Banks 2 and 3: title logo and the all-clear picture.
    FixedRect{"TITLE.CHR", "title logo", 0, 0, 240, 48},
    FixedRect{"ALL.CHR", "all-clear picture", 0, 0, 224, 80},
};

// Rectangles of the same picture must not overlap.
constexpr bool fixed_rects_disjoint() {
  for (size_t i = 0; i < kFixedRects.size(); ++i)
    for (size_t j = i + 1; j < kFixedRects.size(); ++j) {
      const FixedRect& a = kFixedRects[i];
      const FixedRect& b = kFixedRects[j];
      if (a.entry == b.entry && a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h)
        return false;
    }
  return true;
}
static_assert(fixed_rects_disjoint(), "two pictures of one bank overlap");
