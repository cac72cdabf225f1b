#include "media.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "pack/savefile.h"
#include "pack/wav.h"

namespace {

// The fourth byte of each pack palette entry has no place in PNG's RGB palette; when a
// picture's fourth bytes are not all 0xFF they travel in this private ancillary chunk.
constexpr char kAlphaChunk[] = "pxAx";
constexpr uint32_t kDefaultFourth = 0xFF000000u;

struct PngContext {
  char message[256] = {};
  bool have_fourth = false;
  uint8_t fourth[256] = {};
};

void png_error_fn(png_structp png, png_const_charp msg) {
  auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
  std::snprintf(ctx->message, sizeof ctx->message, "%s", msg);
  png_longjmp(png, 1);
}

void png_warning_fn(png_structp, png_const_charp) {}

int read_chunk_fn(png_structp png, png_unknown_chunkp chunk) {
  auto* ctx = static_cast<PngContext*>(png_get_user_chunk_ptr(png));
  if (std::memcmp(chunk->name, kAlphaChunk, 4) != 0) return 0;
  const size_t n = chunk->size < 256 ? chunk->size : 256;
  if (n > 0) std::memcpy(ctx->fourth, chunk->data, n);
  ctx->have_fourth = true;
  return 1;
}

// The libpng part of reading, kept free of objects with destructors between setjmp and any
// longjmp. Returns false with ctx.message set on a libpng error.
bool png_read_raw(std::FILE* f, PngContext& ctx, png_uint_32& width, png_uint_32& height, int& colour_type,
                  std::vector<uint8_t>& pixels, std::vector<png_color>& plte, bool& too_big) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, png_error_fn, png_warning_fn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_bytep> rows;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!ctx.message[0]) std::snprintf(ctx.message, sizeof ctx.message, "out of memory");
    return false;
  }
  png_init_io(png, f);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, reinterpret_cast<png_const_bytep>(kAlphaChunk), 1);
  png_set_read_user_chunk_fn(png, &ctx, read_chunk_fn);
  png_read_info(png, info);
  int bit_depth = 0;
  png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, nullptr, nullptr, nullptr);
  too_big = width > 256 || height > 256;
  if (colour_type != PNG_COLOR_TYPE_PALETTE || too_big) {
    png_destroy_read_struct(&png, &info, nullptr);
    return true;  // the caller words the problem
  }
  png_colorp palette = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &palette, &count) == PNG_INFO_PLTE)
    plte.assign(palette, palette + count);
  if (bit_depth < 8) png_set_packing(png);
  png_set_interlace_handling(png);  // pixel editors may save interlaced pictures
  png_read_update_info(png, info);
  pixels.resize(static_cast<size_t>(width) * height);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + static_cast<size_t>(y) * width;
  png_read_image(png, rows.data());
  png_read_end(png, info);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool png_write_raw(std::FILE* f, PngContext& ctx, const IndexedImage& img) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, png_error_fn, png_warning_fn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_color> plte(256);
  uint8_t fourth[256];
  bool need_fourth = false;
  for (int i = 0; i < 256; ++i) {
    const uint32_t c = img.palette[static_cast<size_t>(i)];
    plte[static_cast<size_t>(i)] = {static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)};
    fourth[i] = static_cast<uint8_t>(c >> 24);
    if (fourth[i] != 0xFF) need_fourth = true;
  }
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(img.width), static_cast<png_uint_32>(img.height), 8,
               PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, plte.data(), 256);
  png_write_info(png, info);
  if (need_fourth) png_write_chunk(png, reinterpret_cast<png_const_bytep>(kAlphaChunk), fourth, 256);
  for (int y = 0; y < img.height; ++y)
    png_write_row(png, img.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(img.width));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

uint32_t get_le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

std::string read_text_file(const std::string& path, std::string& text) {
  std::string why;
  if (read_input(path, &text, &why)) return "";
  // read_input answers "read error" for a file it opened, and otherwise why it could not open it.
  return path + (why == "read error" ? ": read error" : ": cannot open (" + why + ")");
}

std::string read_whole_file(const std::string& path, std::vector<uint8_t>& bytes) {
  std::string text;
  if (std::string err = read_text_file(path, text); !err.empty()) return err;
  bytes.assign(text.begin(), text.end());
  return "";
}

std::string write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  SaveStream out;
  std::string why;
  if (!out.open(path, &why)) return path + ": cannot create (" + why + ")";
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.file()) != bytes.size())
    return path + ": write error (" + std::strerror(errno) + ")";
  if (!out.commit(&why)) return path + ": write error (" + why + ")";
  return "";
}

std::string read_indexed_png(const std::string& path, IndexedImage& out) {
  std::string why;
  const auto close = [](std::FILE* file) { std::fclose(file); };
  const std::unique_ptr<std::FILE, decltype(close)> f(open_input(path, &why), close);
  if (!f) return path + ": cannot open (" + why + ")";
  png_byte sig[8] = {};
  if (std::fread(sig, 1, 8, f.get()) != 8 || png_sig_cmp(sig, 0, 8) != 0) return path + ": not a PNG file";
  std::rewind(f.get());
  PngContext ctx;
  png_uint_32 width = 0, height = 0;
  int colour_type = 0;
  std::vector<uint8_t> pixels;
  std::vector<png_color> plte;
  bool too_big = false;
  if (!png_read_raw(f.get(), ctx, width, height, colour_type, pixels, plte, too_big))
    return path + ": broken PNG (" + ctx.message + ")";
  if (colour_type != PNG_COLOR_TYPE_PALETTE)
    return path + ": not an indexed (palette) PNG; pictures must keep their palette indices";
  if (too_big)
    return path + ": " + std::to_string(width) + " x " + std::to_string(height) +
           " is larger than a character bank (256 x 256)";
  if (plte.empty()) return path + ": has no palette";
  for (size_t i = 0; i < pixels.size(); ++i)
    if (pixels[i] >= plte.size())
      return path + ": pixel (" + std::to_string(i % width) + ", " + std::to_string(i / width) + ") uses colour " +
             std::to_string(pixels[i]) + " but the palette defines only " + std::to_string(plte.size());
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.pixels = std::move(pixels);
  out.palette_count = static_cast<int>(plte.size());
  plte.resize(256);  // black past the colours the file defines
  for (size_t i = 0; i < 256; ++i) {
    const uint32_t fourth = ctx.have_fourth ? static_cast<uint32_t>(ctx.fourth[i]) << 24 : kDefaultFourth;
    out.palette[i] = fourth | static_cast<uint32_t>(plte[i].red) << 16 | static_cast<uint32_t>(plte[i].green) << 8 |
                     plte[i].blue;
  }
  return "";
}

std::string write_indexed_png(const std::string& path, const IndexedImage& img) {
  if (img.width < 1 || img.height < 1 || img.pixels.size() != static_cast<size_t>(img.width) * img.height)
    return path + ": picture has no pixels";
  SaveStream f;
  std::string why;
  if (!f.open(path, &why)) return path + ": cannot create (" + why + ")";
  PngContext ctx;
  if (!png_write_raw(f.file(), ctx, img)) return path + ": PNG write failed (" + ctx.message + ")";
  if (!f.commit(&why)) return path + ": write error (" + why + ")";
  return "";
}

std::string write_wav(const std::string& path, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> pcm;  // little-endian
  for (int16_t s : samples) pcm.insert(pcm.end(), {static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8)});
  WavStream out;
  std::string why;
  if (!out.open(path, &why) || !out.add(pcm.data(), pcm.size(), &why) || !out.commit(&why))
    return path + ": cannot write (" + why + ")";
  return "";
}

std::string read_wav(const std::string& path, std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  if (std::string err = read_whole_file(path, b); !err.empty()) return err;
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return path + ": not a WAV file";
  bool have_fmt = false;
  size_t pos = 12;
  while (pos + 8 <= b.size()) {
    const uint32_t size = get_le(b.data() + pos + 4, 4);
    const uint8_t* body = b.data() + pos + 8;
    if (size > b.size() - pos - 8) return path + ": chunk runs past the end of the file";
    if (std::memcmp(b.data() + pos, "fmt ", 4) == 0) {
      if (size < 16) return path + ": broken fmt chunk";
      const uint32_t format = get_le(body, 2), channels = get_le(body + 2, 2), rate = get_le(body + 4, 4),
                     bits = get_le(body + 14, 2);
      if (format != 1 || channels != 1 || rate != kSampleRate || bits != 16)
        return path + ": must be 16-bit mono linear PCM at 22050 Hz (found format " + std::to_string(format) + ", " +
               std::to_string(channels) + " channel(s), " + std::to_string(rate) + " Hz, " + std::to_string(bits) +
               " bits)";
      have_fmt = true;
    } else if (std::memcmp(b.data() + pos, "data", 4) == 0) {
      if (!have_fmt) return path + ": data chunk before fmt chunk";
      if (size % 2) return path + ": odd number of data bytes";
      samples.resize(size / 2);
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(get_le(body + 2 * i, 2));
      return "";
    }
    pos += 8 + size + (size & 1);
  }
  return path + ": no sound data";
}
