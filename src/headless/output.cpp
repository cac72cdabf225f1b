// PNG pictures of composed frames.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "headless/output.h"
#include "pack/savefile.h"

#if defined(PIXBRK_HAVE_LIBPNG)
#include <png.h>
#endif

namespace {

// One output row of RGB bytes for source row y, each pixel repeated `scale` times.
void rgb_row(const uint32_t* pixels, int32_t width, int32_t y, int32_t scale, uint8_t* row) {
  const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
  for (int32_t x = 0; x < width; ++x) {
    const uint32_t p = src[x];
    for (int32_t s = 0; s < scale; ++s) {
      *row++ = static_cast<uint8_t>(p >> 16);
      *row++ = static_cast<uint8_t>(p >> 8);
      *row++ = static_cast<uint8_t>(p);
    }
  }
}

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void put_be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void put_chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
  put_be32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put_be32(out, crc32_update(0, out.data() + start, out.size() - start));
}

}  // namespace

bool write_png_stored(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height,
                      int32_t scale, std::string* error) {
  const int32_t w = width * scale, h = height * scale;
  const size_t row_bytes = static_cast<size_t>(w) * 3 + 1;  // filter byte + RGB
  std::vector<uint8_t> raw(row_bytes * static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y) {
    raw[row_bytes * y] = 0;
    rgb_row(pixels, width, y / scale, scale, raw.data() + row_bytes * y + 1);
  }
  // zlib stream of stored deflate blocks.
  std::vector<uint8_t> z = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (uint8_t v : raw) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  size_t done = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - done);
    const bool last = done + n == raw.size();
    // The block's header: last or not, then its length and the length's complement, low byte first.
    z.insert(z.end(), {static_cast<uint8_t>(last ? 1 : 0), static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                       static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(done),
             raw.begin() + static_cast<std::ptrdiff_t>(done + n));
    done += n;
  } while (done < raw.size());
  put_be32(z, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  put_be32(ihdr, static_cast<uint32_t>(w));
  put_be32(ihdr, static_cast<uint32_t>(h));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  put_chunk(png, "IHDR", ihdr);
  put_chunk(png, "IDAT", z);
  put_chunk(png, "IEND", {});

  SaveStream out;
  if (!out.open(path, error)) return false;
  if (std::fwrite(png.data(), 1, png.size(), out.file()) != png.size()) {
    *error = std::strerror(errno);
    return false;
  }
  return out.commit(error);
}

bool write_png(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t scale,
               std::string* error) {
#if defined(PIXBRK_HAVE_LIBPNG)
  SaveStream out;
  if (!out.open(path, error)) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    *error = "out of memory";
    return false;
  }
  const int32_t w = width * scale, h = height * scale;
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  png_init_io(png, out.file());
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < h; ++y) {
    rgb_row(pixels, width, y / scale, scale, row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out.commit(error);
#else
  return write_png_stored(path, pixels, width, height, scale, error);
#endif
}
