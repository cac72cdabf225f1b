// Any file given to the pack tool as a picture or as a sound: read_indexed_png and read_wav
// accept it with consistent contents or refuse it with a message naming the file. An accepted
// picture written back as a PNG reads back the same; an accepted sound written back as a WAV too.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_dir.h"
#include "media.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_scratch_dir();
  fuzz_write_file("in.bin", data, size);

  IndexedImage img;
  std::string error = read_indexed_png("in.bin", img);
  if (!error.empty()) {
    fuzz_require(error.rfind("in.bin: ", 0) == 0, "a refused picture is named");
  } else {
    fuzz_require(img.width >= 1 && img.width <= 256 && img.height >= 1 && img.height <= 256, "a picture fits a bank");
    fuzz_require(img.pixels.size() == static_cast<size_t>(img.width) * static_cast<size_t>(img.height),
                 "a picture has one index per pixel");
    fuzz_require(img.palette_count >= 1 && img.palette_count <= 256, "a picture has a palette");
    for (uint8_t p : img.pixels) fuzz_require(p < img.palette_count, "every pixel uses a defined colour");
    fuzz_require(write_indexed_png("out.png", img).empty(), "an accepted picture can be written");
    IndexedImage back;
    fuzz_require(read_indexed_png("out.png", back).empty(), "a written picture reads back");
    fuzz_require(back.width == img.width && back.height == img.height && back.pixels == img.pixels &&
                     back.palette == img.palette,
                 "with the same pixels and palette");
  }

  std::vector<int16_t> samples;
  error = read_wav("in.bin", samples);
  if (!error.empty()) {
    fuzz_require(error.rfind("in.bin: ", 0) == 0, "a refused sound is named");
  } else {
    fuzz_require(samples.size() * 2 <= size, "a sound holds no more samples than the file has bytes");
    fuzz_require(write_wav("out.wav", samples).empty(), "an accepted sound can be written");
    std::vector<int16_t> back;
    fuzz_require(read_wav("out.wav", back).empty() && back == samples, "a written sound reads back the same");
  }
  return 0;
}
