#include "game/text.h"

#include <cstdarg>
#include <cstdio>

#include "engine/draw.h"

namespace {
constexpr uint8_t FONT_BANK = 0;
constexpr int TEXT_BUFFER = 64;  // at most 63 characters per call

// Draws one glyph cell; a cell whose position no longer fits a screen coordinate is off screen.
void glyph(int32_t bg, int32_t sx, int32_t sy, int32_t w, int64_t dx, int32_t dy) {
  if (dx > INT32_MAX) return;
  nox_put(bg != 0 ? Plane::BG : Plane::SP, FONT_BANK, sx, sy, w, 8, static_cast<int32_t>(dx), dy);
}

// Small font: digits, capitals and the full stop; a space only blanks its cell when opaque.
void draw_small(int32_t bg, int32_t x, int32_t y, const char* text) {
  for (int i = 0; text[i] != 0; ++i) {
    const auto ch = static_cast<signed char>(text[i]);
    const int64_t dx = int64_t{x} + 4 * i;
    if (ch >= '0' && ch <= '9')
      glyph(bg, 4 * (ch - '0'), 48, 4, dx, y);
    else if (ch >= 'A' && ch <= 'Z')
      glyph(bg, 4 * (ch - 'A'), 56, 4, dx, y);
    else if (ch == '.')
      glyph(bg, 104, 56, 4, dx, y);
    else if (ch == ' ' && bg != 0)
      glyph(bg, 108, 56, 4, dx, y);
  }
}

// Large font: codes 32..127, sixteen to a row; the space glyph is drawn only when opaque.
void draw_large(int32_t bg, int32_t x, int32_t y, const char* text) {
  for (int i = 0; text[i] != 0; ++i) {
    const auto ch = static_cast<signed char>(text[i]);
    if (ch < 32 || (ch == 32 && bg == 0)) continue;
    const int code = ch - 32;
    glyph(bg, 8 * (code % 16), 8 * (code / 16), 8, int64_t{x} + 8 * i, y);
  }
}
}  // namespace

namespace {
// Formats into the 64-byte text buffer (a longer text is cut) and draws it.
void print_formatted(void (*draw)(int32_t, int32_t, int32_t, const char*), int32_t bg, int32_t x, int32_t y,
                     const char* fmt, std::va_list args) {
  char text[TEXT_BUFFER];
  if (std::vsnprintf(text, sizeof text, fmt, args) >= 0) draw(bg, x, y, text);
}
}  // namespace

// While drawing is off nothing is formatted either: a text changes nothing but the planes.
void print_small(int32_t bg, int32_t x, int32_t y, const char* fmt, ...) {
  if (!nox_drawing()) return;
  std::va_list args;
  va_start(args, fmt);
  print_formatted(draw_small, bg, x, y, fmt, args);
  va_end(args);
}

void print_large(int32_t bg, int32_t x, int32_t y, const char* fmt, ...) {
  if (!nox_drawing()) return;
  std::va_list args;
  va_start(args, fmt);
  print_formatted(draw_large, bg, x, y, fmt, args);
  va_end(args);
}
