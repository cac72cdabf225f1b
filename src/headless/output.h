// Pictures of composed frames as PNG files.
#pragma once
#include <cstdint>
#include <string>

// A picture file of 0x00RRGGBB pixels at a whole scale, put in place when complete (libpng).
// False with the cause in *error.
bool write_png(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t scale,
               std::string* error);

// A PNG without compression, written without any library (the fallback where libpng is absent).
bool write_png_stored(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height,
                      int32_t scale, std::string* error);
