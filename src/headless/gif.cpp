// Animated GIF of a played game, written with giflib: the game's own palette as the colour table,
// 60 (or 50) frames a second on average, and only the part of each frame that changed.
#include <gif_lib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "game/core.h"
#include "headless/share.h"

namespace {

// Hundredths of a second per frame: 2, 2, 1 makes three frames in 5/100 s, 60 a second. At 50
// frames a second every sixth game frame is left out and each delay is 2.
constexpr int kDelays[3] = {2, 2, 1};

using ColourMap = std::unique_ptr<ColorMapObject, decltype([](ColorMapObject* m) { GifFreeMapObject(m); })>;

ColourMap make_map(const uint32_t* palette) {
  GifColorType colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = GifColorType{static_cast<GifByteType>(palette[i] >> 16), static_cast<GifByteType>(palette[i] >> 8),
                              static_cast<GifByteType>(palette[i])};
  return ColourMap(GifMakeMapObject(256, colours));
}

bool same_colours(const uint32_t* a, const uint32_t* b) {
  for (int i = 0; i < 256; ++i)
    if (((a[i] ^ b[i]) & 0xFFFFFF) != 0) return false;
  return true;
}

// giflib writes through this; a failed write is counted as a short one, which it reports.
int write_bytes(GifFileType* gif, const GifByteType* bytes, int n) {
  return static_cast<int>(std::fwrite(bytes, 1, static_cast<size_t>(n), static_cast<std::FILE*>(gif->UserData)));
}

}  // namespace

struct GifWriter {
  int32_t scale = 2;
  int32_t rate = 60;
  int64_t offered = 0;  // game frames handed in, written or left out
  std::FILE* file = nullptr;  // the caller's
  GifFileType* gif = nullptr;
  int64_t frames = 0;
  uint32_t global[256] = {};   // the palette of the first frame: the global colour table
  uint32_t shown[256] = {};    // the palette of the frame before
  std::vector<uint8_t> last;   // the frame before, as palette indices
  std::vector<uint8_t> row;    // one scaled row

  ~GifWriter() {
    if (gif != nullptr) EGifCloseFile(gif, nullptr);
  }

  bool fail(std::string* error, const char* why) {
    *error = why;
    return false;
  }
  bool fail(std::string* error, int code) {
    return fail(error, GifErrorString(code) != nullptr ? GifErrorString(code) : "GIF error");
  }
};

bool gif_supported() { return true; }

GifWriter* gif_open(std::FILE* file, int32_t scale, int32_t rate, std::string* error) {
  auto w = std::make_unique<GifWriter>();
  w->scale = scale;
  w->rate = rate;
  w->file = file;
  int code = 0;
  w->gif = EGifOpen(w->file, write_bytes, &code);
  if (w->gif == nullptr) return w->fail(error, code), nullptr;
  EGifSetGifVersion(w->gif, true);  // GIF89a: delays and the loop
  w->last.assign(static_cast<size_t>(NOX_W * NOX_H), 0);
  w->row.resize(static_cast<size_t>(NOX_W * scale));
  return w.release();
}

bool gif_add_frame(GifWriter* w, const uint8_t* screen, const uint32_t* palette, std::string* error) {
  if (w->rate == 50 && w->offered++ % 6 == 5) return true;
  GifFileType* gif = w->gif;
  const bool first = w->frames == 0;
  if (first) {
    std::memcpy(w->global, palette, sizeof w->global);
    const ColourMap map = make_map(palette);
    if (EGifPutScreenDesc(gif, NOX_W * w->scale, NOX_H * w->scale, 8, 0, map.get()) == GIF_ERROR)
      return w->fail(error, gif->Error);
    // Loop for ever.
    static const GifByteType kApp[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof kApp, kApp) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof kLoop, kLoop) == GIF_ERROR || EGifPutExtensionTrailer(gif) == GIF_ERROR)
      return w->fail(error, gif->Error);
  }

  // The rectangle that changed; all of it when the colours changed (every pixel shows anew).
  const bool whole = first || !same_colours(palette, w->shown);
  const uint8_t* before = w->last.data();
  int32_t x0 = 0, y0 = 0, x1 = NOX_W - 1, y1 = NOX_H - 1;
  bool used[256] = {};
  if (!whole) {
    x0 = NOX_W;
    y0 = NOX_H;
    x1 = -1;
    y1 = -1;
    for (int32_t y = 0; y < NOX_H; ++y) {
      const uint8_t* a = screen + y * NOX_W;
      const uint8_t* b = before + y * NOX_W;
      if (std::memcmp(a, b, NOX_W) == 0) continue;
      int32_t l = 0, r = NOX_W - 1;
      while (a[l] == b[l]) ++l;
      while (a[r] == b[r]) --r;
      for (int32_t x = l; x <= r; ++x) used[a[x]] = true;
      if (y < y0) y0 = y;
      y1 = y;
      if (l < x0) x0 = l;
      if (r > x1) x1 = r;
    }
    if (y1 < 0) x0 = y0 = x1 = y1 = 0;  // nothing changed: one pixel keeps the frame's time
  }
  // Inside the rectangle, pixels that did not change are left transparent (a colour the
  // changed ones do not use), which compresses far better than repeating them.
  int transparent = NO_TRANSPARENT_COLOR;
  for (int i = 0; i < 256 && !whole && transparent == NO_TRANSPARENT_COLOR; ++i)
    if (!used[i]) transparent = i;

  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.DelayTime = w->rate == 50 ? 2 : kDelays[w->frames % 3];
  gcb.TransparentColor = transparent;
  GifByteType ext[4];
  EGifGCBToExtension(&gcb, ext);
  // A palette other than the first one travels with the frame as its own colour table.
  const ColourMap local = same_colours(palette, w->global) ? nullptr : make_map(palette);
  // giflib keeps a copy of the last local table and forgets it, unfreed, when a frame without
  // one follows; let it go here.
  if (!local && gif->Image.ColorMap != nullptr) {
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
  }
  const int32_t s = w->scale;
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof ext, ext) == GIF_ERROR ||
      EGifPutImageDesc(gif, x0 * s, y0 * s, (x1 - x0 + 1) * s, (y1 - y0 + 1) * s, false, local.get()) == GIF_ERROR)
    return w->fail(error, gif->Error);
  for (int32_t y = y0; y <= y1; ++y) {
    const uint8_t* src = screen + y * NOX_W;
    const uint8_t* old = before + y * NOX_W;
    GifByteType* p = w->row.data();
    for (int32_t x = x0; x <= x1; ++x) {
      const bool keep = transparent != NO_TRANSPARENT_COLOR && src[x] == old[x];
      const auto c = static_cast<GifByteType>(keep ? transparent : src[x]);
      for (int32_t k = 0; k < s; ++k) *p++ = c;
    }
    for (int32_t k = 0; k < s; ++k)
      if (EGifPutLine(gif, w->row.data(), (x1 - x0 + 1) * s) == GIF_ERROR) return w->fail(error, gif->Error);
  }
  std::memcpy(w->last.data(), screen, w->last.size());
  std::memcpy(w->shown, palette, sizeof w->shown);
  ++w->frames;
  return true;
}

bool gif_finish(GifWriter* w, std::string* error) {
  int code = 0;
  GifFileType* gif = w->gif;
  w->gif = nullptr;
  if (EGifCloseFile(gif, &code) == GIF_ERROR) return w->fail(error, code);
  return std::fflush(w->file) == 0 || w->fail(error, std::strerror(errno));
}

void gif_close(GifWriter* w) { delete w; }
