// Any pack entry decoded both as a CHR picture and as a PCM effect, then used as the game uses
// them: the picture blitted, and drawn from by the title screen and the text routines;
// the effect played to its end through the mixer. The entry sits alone in its own buffer, so a
// read past its end is caught here.
#include <cstring>

#include "engine/draw.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "fuzz_dir.h"
#include "game/game.h"
#include "game/text.h"
#include "pack/pack.h"
#include "pack/packwriter.h"

namespace {

void check_picture(const uint8_t* data, size_t size) {
  uint32_t palette_before[256];
  std::memcpy(palette_before, nox_palette, sizeof palette_before);
  const int r = nox_loadchr(0, "FUZZ");
  const size_t w = size >= 4 ? data[2] + 1u : 0;
  const size_t h = size >= 4 ? data[3] + 1u : 0;
  const bool good = size >= 1028 && data[0] == 'K' && data[1] == 'R' && size - 1028 >= w * h;
  fuzz_require((r == 0) == good, "a picture loads exactly when its magic is right and its pixels are all there");
  const NoxBank& b = nox_banks[0];
  if (r != 0) {
    fuzz_require(b.width == 0 && b.height == 0 && b.pixels == nullptr, "a refused picture leaves the bank empty");
    fuzz_require(std::memcmp(palette_before, nox_palette, sizeof palette_before) == 0,
                 "a refused picture leaves the palette alone");
    return;
  }
  fuzz_require(b.width == static_cast<int32_t>(w) && b.height == static_cast<int32_t>(h), "the bank has the stated size");
  for (int i = 0; i < 256; ++i) {
    uint32_t c;
    std::memcpy(&c, data + 4 + 4 * i, 4);  // little-endian machines only, as the game's targets are
    fuzz_require(nox_palette[i] == c, "the palette is the entry's");
  }
  // The whole picture onto the background at the corner, then checked against the entry.
  nox_put_bg(0, 0, 0, b.width, b.height, 0, 0);
  const size_t cw = w < NOX_W ? w : NOX_W;
  const size_t ch = h < NOX_H ? h : NOX_H;
  for (size_t y = 0; y < ch; ++y)
    fuzz_require(std::memcmp(nox_bg + y * NOX_W, data + 1028 + y * w, cw) == 0, "the blit copies the picture's rows");
  // Clipped blits at offsets and sub-rectangles taken from the entry itself.
  const auto s = [&](size_t i) { return static_cast<int32_t>(static_cast<int8_t>(data[1028 + i % (w * h)])); };
  nox_put_sp(0, 0, 0, b.width, b.height, s(0) * 4, s(1) * 4);
  nox_put_sp(0, s(2) & 0xFF, s(3) & 0xFF, s(4) & 0xFF, s(5) & 0xFF, NOX_W - b.width / 2, NOX_H - b.height / 2);
  // The same picture in every bank the game draws from, and a frame of the title menu over it.
  for (uint8_t bank = 1; bank < 4; ++bank) fuzz_require(nox_loadchr(bank, "FUZZ") == 0, "it loads into any bank");
  g = Game{};
  nox_frame();
  print_small(1, 0, 0, "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ !\"#$%%&'()*+,-./:;<=>?@[\\]^_`{|}~");
  print_large(0, 3, 300, "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ !\"#$%%&'()*+,-./:;<=>?@[\\]^_`");
  nox_free_banks();
}

void check_effect(const uint8_t* data, size_t size) {
  constexpr uint8_t slot = 3;
  const int r = nox_loadpcm(slot, "FUZZ");
  const uint32_t length = size >= 8 ? static_cast<uint32_t>(data[4]) << 24 | static_cast<uint32_t>(data[5]) << 16 |
                                          static_cast<uint32_t>(data[6]) << 8 | data[7]
                                    : 0;
  const bool good = size >= 8 && std::memcmp(data, "EFF", 4) == 0 && length <= size - 8;
  fuzz_require((r == 0) == good, "an effect loads exactly when its magic is right and its samples are all there");
  if (r != 0) {
    fuzz_require(nox_slots[slot].data == nullptr && nox_slots[slot].size == 0, "a refused effect leaves the slot empty");
    return;
  }
  // Played to its end: the output is the entry's samples, then silence, chunk after chunk.
  nox_set_mute(0);
  nox_playpcm(slot);
  static uint8_t chunk[NOX_CHUNK_BYTES];
  uint32_t played = 0;
  for (int i = 0; i == 0 || nox_slots[slot].state != 0; ++i) {
    fuzz_require(i <= static_cast<int>(length / NOX_CHUNK_BYTES), "an effect ends after its own length");
    nox_mixpcm(chunk, NOX_CHUNK_BYTES);
    const uint32_t n = length - played < NOX_CHUNK_BYTES ? length - played : NOX_CHUNK_BYTES;
    fuzz_require(std::memcmp(chunk, data + 8 + played, n) == 0, "the output is the effect's samples");
    for (uint32_t k = n; k < NOX_CHUNK_BYTES; ++k) fuzz_require(chunk[k] == 0, "after the effect's end comes silence");
    played += n;
  }
  fuzz_require(played == length, "the whole effect is heard");
  nox_free_slots();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_scratch_dir();
  const PackEntry entry{"FUZZ", std::vector<uint8_t>(data, data + size)};
  const std::vector<uint8_t> image = pack_image({&entry, 1});
  fuzz_write_file("ROMDATA.BIN", image.data(), image.size());
  fuzz_require(loadbin("ROMDATA.BIN") == 0, "a pack of one entry loads");
  check_picture(data, size);
  check_effect(data, size);
  return 0;
}
