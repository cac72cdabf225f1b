// The sound ring: what the mixer put in comes out in order whatever the piece sizes on either
// side and across the wrap, and silence is counted as an underrun only once sound has started.
#include <gtest/gtest.h>

#include <vector>

#include "host/sound_ring.h"

namespace {

uint32_t next_value = 0;

// A mixer whose output is a running byte counter, so order, gaps and repeats all show.
void counting_mixer(uint8_t* buffer, int32_t length) {
  for (int32_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(next_value++ * 7 + 3);
}

SoundRing ring;

TEST(SoundRing, BytesComeOutInOrderAcrossTheWrapWithAnyPieceSizes) {
  sound_ring_reset(&ring);
  next_value = 0;
  std::vector<uint8_t> out(1000);
  uint32_t expected = 0;
  uint32_t taken_total = 0;
  // Producer pieces of 1 to 4410 bytes, consumer periods of 1 to 1000: ten trips round the ring.
  for (uint32_t step = 0; taken_total < 10 * SOUND_RING_BYTES; ++step) {
    const uint32_t put = 1 + step * 2654435761u % NOX_CHUNK_BYTES;
    if (sound_ring_space(&ring) >= put) {
      ASSERT_EQ(sound_ring_mix(&ring, counting_mixer, put), put);
    }
    const uint32_t want = 1 + step * 40503u % 1000;
    const uint32_t before = sound_ring_fill(&ring);
    const uint32_t got = sound_ring_take(&ring, out.data(), want);
    ASSERT_EQ(got, std::min(before, want));
    for (uint32_t i = 0; i < got; ++i)
      ASSERT_EQ(out[i], static_cast<uint8_t>(expected++ * 7 + 3)) << "byte " << taken_total + i;
    for (uint32_t i = got; i < want; ++i) ASSERT_EQ(out[i], 0) << "padding after a short take";
    taken_total += got;
  }
}

TEST(SoundRing, NeverOverfillsAndCountsOnlyUnderrunsAfterTheStart) {
  sound_ring_reset(&ring);
  next_value = 0;
  std::vector<uint8_t> out(512);
  sound_ring_take(&ring, out.data(), 512);
  EXPECT_EQ(ring.underrun_bytes.load(), 0u) << "silence before the first sound is no underrun";
  uint32_t put = 0;
  while (sound_ring_space(&ring) > 0) put += sound_ring_mix(&ring, counting_mixer, NOX_CHUNK_BYTES);
  EXPECT_EQ(put, SOUND_RING_BYTES);
  EXPECT_EQ(sound_ring_mix(&ring, counting_mixer, NOX_CHUNK_BYTES), 0u);
  EXPECT_EQ(next_value, SOUND_RING_BYTES) << "the mixer must not run for sound that has no room";
  while (sound_ring_fill(&ring) > 0) sound_ring_take(&ring, out.data(), 512);
  EXPECT_EQ(ring.underrun_bytes.load(), 0u) << "draining exactly what was put in is no underrun";
  sound_ring_take(&ring, out.data(), 300);
  EXPECT_EQ(ring.underrun_bytes.load(), 300u);
}

}  // namespace
