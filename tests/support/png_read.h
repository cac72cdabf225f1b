// Reads a PNG written by the programs into 0xRRGGBB pixels, row by row (libpng's simplified API).
// For test programs that link libpng themselves.
#pragma once
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

inline bool read_png(const std::string& path, int* w, int* h, std::vector<uint32_t>* rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> buffer(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr) == 0) return false;
  *w = static_cast<int>(image.width);
  *h = static_cast<int>(image.height);
  rgb->resize(buffer.size() / 3);
  for (size_t i = 0; i < rgb->size(); ++i) {
    (*rgb)[i] = static_cast<uint32_t>(buffer[3 * i]) << 16 | static_cast<uint32_t>(buffer[3 * i + 1]) << 8 | buffer[3 * i + 2];
  }
  return true;
}
