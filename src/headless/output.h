// Output files of the headless runner that tests also reach directly.
#pragma once
#include <cstdint>
#include <string>

// A PNG without compression, written without any library (the fallback where libpng is absent).
// Like write_png, false with the cause in *error.
bool write_png_stored(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height,
                      int32_t scale, std::string* error);
