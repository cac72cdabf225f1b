#include "support/screen_reader.h"

#include <algorithm>
#include <map>
#include <vector>

#include "engine/screen.h"
#include "rects.h"

namespace {
// A named picture of a bank, or one glyph of a font (then `ch` is its character).
struct Cell {
  uint8_t bank;
  int x, y, w, h;
  std::string name;
  char ch;
};
std::vector<Cell> cells;  // cell i starts with pixel value i + 1; no other bank pixel has that value

// The fonts' rectangles in the art table: glyphs 8 high, `w` wide, by rows, left to right.
struct Font {
  std::string_view what;
  char first;
  int w;
};
constexpr Font kFonts[] = {{"large font 32-127", ' ', 8}, {"small digits", '0', 4}, {"small capitals", 'A', 4},
                           {"small full stop", '.', 4},   {"small blank", ' ', 4}};
constexpr std::string_view kBankEntries[] = {"FONT.CHR", "PIXBRK.CHR", "TITLE.CHR", "ALL.CHR"};

// "x,y" of plane pixel p.
std::string at(int p) { return std::to_string(p % NOX_W) + "," + std::to_string(p / NOX_W); }

std::string listed(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : "; ") + item;
  return out;
}

// The cell with its top-left corner at pixel p, each pixel shown or covered by an item found before.
bool whole(const uint8_t* plane, const Cell& c, int p, const std::vector<bool>& taken) {
  const NoxBank& b = nox_banks[c.bank];
  if (p % NOX_W + c.w > NOX_W || p / NOX_W + c.h > NOX_H) return false;
  for (int j = 0; j < c.h; ++j)
    for (int i = 0, q = p + j * NOX_W; i < c.w; ++i, ++q)
      if (!taken[q] && plane[q] != b.pixels[(c.y + j) * b.width + c.x + i]) return false;
  return true;
}
}  // namespace

void mark_pictures() {
  cells.clear();
  for (const FixedRect& r : kFixedRects) {
    const auto bank = static_cast<uint8_t>(std::ranges::find(kBankEntries, r.entry) - std::begin(kBankEntries));
    const Font* f = std::ranges::find(kFonts, r.what, &Font::what);
    if (f == std::end(kFonts)) {
      cells.push_back({bank, r.x, r.y, r.w, r.h, std::string(r.what), 0});
      continue;
    }
    const int per_row = r.w / f->w;
    for (int i = 0; i < per_row * (r.h / 8); ++i)
      cells.push_back({bank, r.x + i % per_row * f->w, r.y + i / per_row * 8, f->w, 8, "",
                       static_cast<char>(f->first + i)});
  }
  const int others = 255 - static_cast<int>(cells.size());  // values no cell starts with: the rest of a bank
  for (NoxBank* b = nox_banks; b < nox_banks + std::size(kBankEntries); ++b)
    for (int p = 0; p < b->width * b->height; ++p)
      b->pixels[p] = static_cast<uint8_t>(256 - others + (p % b->width + 17 * (p / b->width)) % others);
  for (int id = 1; const Cell& c : cells)
    nox_banks[c.bank].pixels[c.y * nox_banks[c.bank].width + c.x] = static_cast<uint8_t>(id++);
}

std::string seen_on(const uint8_t* plane) {
  std::vector<bool> taken(NOX_W * NOX_H);
  std::vector<std::string> items;
  std::map<int, char> glyphs;  // by font (its glyph width), then top-left pixel
  for (size_t before = 1; before != items.size() + glyphs.size();) {  // again while one found covers another
    before = items.size() + glyphs.size();
    for (int p = 0; p < NOX_W * NOX_H; ++p) {
      if (taken[p] || plane[p] == 0 || plane[p] > cells.size()) continue;
      const Cell& c = cells[plane[p] - 1];
      if (!whole(plane, c, p, taken)) continue;
      for (int j = 0; j < c.h; ++j) std::fill_n(taken.begin() + p + j * NOX_W, c.w, true);
      if (c.ch != 0) {
        glyphs[c.w * NOX_W * NOX_H + p] = c.ch;
      } else {
        items.push_back(c.name + " at " + at(p));
      }
    }
  }
  for (auto it = glyphs.begin(); it != glyphs.end();) {  // runs of one font and row; a missing glyph is a space
    const int w = it->first / (NOX_W * NOX_H), start = it->first;
    std::string text(1, it->second);
    for (int last = start; ++it != glyphs.end() && it->first / NOX_W == last / NOX_W; last = it->first) {
      if (it->first - last != w && it->first - last != 2 * w) break;
      text += (it->first - last == w ? "" : " ") + std::string(1, it->second);
    }
    items.push_back("text \"" + text + "\" (" + (w == 4 ? "small" : "large") + ") at " + at(start % (NOX_W * NOX_H)));
  }
  for (int p = 0; p < NOX_W * NOX_H; ++p) {  // what is left: the longer same-colour run, across or down
    if (plane[p] == 0 || taken[p]) continue;
    int across = 1, down = 1;
    while (p % NOX_W + across < NOX_W && !taken[p + across] && plane[p + across] == plane[p]) ++across;
    while (p + down * NOX_W < NOX_W * NOX_H && !taken[p + down * NOX_W] && plane[p + down * NOX_W] == plane[p])
      ++down;
    const int n = std::max(across, down);
    const int step = across >= down ? 1 : NOX_W;
    const int last = p + (n - 1) * step;
    for (int q = p; q <= last; q += step) taken[q] = true;
    const std::string c = "colour " + std::to_string(plane[p]);
    items.push_back(n == 1 ? "dot " + c + " at " + at(p) : "line " + c + " from " + at(p) + " to " + at(last));
  }
  return listed(items);
}

std::string in_order(const std::string& description) {
  std::vector<std::string> items;
  for (size_t from = 0; from < description.size();) {
    const size_t to = std::min(description.find("; ", from), description.size());
    items.push_back(description.substr(from, to - from));
    from = to + 2;
  }
  return listed(items);
}
