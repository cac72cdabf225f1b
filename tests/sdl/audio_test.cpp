// The sound thread against SDL's file-writing audio driver (which plays at real time and keeps
// exactly what was played) and without any audio device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "nox_sdl/audio.h"
#include "nox_sdl/host.h"
#include "host/clock.h"
#include "host/frame_schedule.h"
#include "pack/log.h"
#include "support/test_pack.h"
#include "x11_support.h"

namespace {

constexpr int64_t MS = 1000000;

std::vector<std::string> log_lines() { return read_lines("LOG.TXT"); }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Waits until `done` holds, for at most 30 s (a busy machine may take a while); false if it never does.
template <typename F>
bool wait_until(F done) {
  for (int waited = 0; waited < 30000 && !done(); waited += 5) sleep_ms(5);
  return done();
}

// Every chunk continues one running count, so any lost, repeated or reordered chunk shows.
std::atomic<uint64_t> counted_samples{0};
std::atomic<int> mixer_calls{0};
int16_t count_value(uint64_t n) { return static_cast<int16_t>(n % 30000 + 1); }
void counting_mixer(uint8_t* buffer, int32_t length) {
  const uint64_t n = counted_samples.load();
  for (int32_t i = 0; i < length / 2; ++i) {
    const auto v = static_cast<uint16_t>(count_value(n + static_cast<uint64_t>(i)));
    buffer[2 * i] = static_cast<uint8_t>(v & 0xFF);
    buffer[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  counted_samples += static_cast<uint64_t>(length / 2);
  mixer_calls++;
}

// Silence, except one chunk of the requested level after each request (an "effect").
std::atomic<int> requested_level{0};
void request_mixer(uint8_t* buffer, int32_t length) {
  const int level = requested_level.exchange(0);
  const auto v = static_cast<uint16_t>(static_cast<int16_t>(level * 1000));
  for (int32_t i = 0; i < length / 2; ++i) {
    buffer[2 * i] = static_cast<uint8_t>(v & 0xFF);
    buffer[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
}

class SoundThread : public ::testing::Test {
 protected:
  void SetUp() override {
    putlog_set_source(HOST_SOURCE);
    capture_ = dir_.path() + "/capture.raw";
  }
  void TearDown() override {
    audio_term();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
  }
  void use_disk_driver() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture_.c_str(), 1);
  }
  TempWorkDir dir_;
  std::string capture_;
};

// Bytes the device has taken since the hook was set.
std::atomic<uint64_t> device_bytes{0};
void count_device_bytes(const uint8_t*, int32_t length, int64_t) { device_bytes += static_cast<uint64_t>(length); }

// The device takes 2 s of sound (however long a busy machine makes that take): it plays the count
// whole, once, in order, and then only silence. A gap in it is allowed only where the ring
// handed out silence because the thread was late (an underrun), and a run with an underrun
// is tried again: a thread that keeps up on a busy machine has none.
TEST_F(SoundThread, PlaysEveryChunkOnceInOrderWithoutGaps) {
  use_disk_driver();
  constexpr uint64_t WANTED = uint64_t{SOUND_RATE} * 2 * 2;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    counted_samples = 0;
    device_bytes = 0;
    audio_device_hook = count_device_bytes;
    ASSERT_EQ(audio_init(counting_mixer), 0);
    ASSERT_EQ(audio_has_device(), 1);
    EXPECT_EQ(audio_state(), SOUND_RUNNING);
    for (int waited = 0; waited < 30000 && device_bytes.load() < WANTED; waited += 50) sleep_ms(50);
    audio_term();
    audio_device_hook = nullptr;
    EXPECT_EQ(audio_state(), SOUND_STOPPED);
    ASSERT_GE(device_bytes.load(), WANTED) << "the device took only " << device_bytes.load() << " bytes in 30 s";

    const std::vector<int16_t> s = read_samples(capture_);
    size_t i = 0;
    while (i < s.size() && s[i] == 0) ++i;  // the device plays silence until the first chunk
    uint64_t played = 0;
    size_t gaps = 0;
    size_t last = i;
    for (; i < s.size(); ++i) {
      if (s[i] == 0) continue;
      ASSERT_EQ(s[i], count_value(played)) << "sample " << i << ": a chunk was lost, repeated or reordered";
      gaps += i - last - (played == 0 ? 0 : 1);
      last = i;
      ++played;
    }
    EXPECT_LE(gaps, audio_underrun_bytes() / 2) << "silence in the sound that no underrun accounts for";
    // All the device took is the count but the silence before it and any underrun: nothing late.
    EXPECT_GE(played * 2 + audio_underrun_bytes() + 2 * AUDIO_DEVICE_SAMPLES * 2, WANTED);
    EXPECT_LE(played, counted_samples.load());
    // Only what was still waiting in the ring when the thread stopped is not heard.
    EXPECT_LE(counted_samples.load() - played, SOUND_RING_BYTES / 2);
    if (audio_underrun_bytes() == 0 || HasFailure()) break;
    std::remove(capture_.c_str());
  }
  EXPECT_EQ(audio_underrun_bytes(), 0u) << "the device ran short in three runs";
}

// How far behind the device an effect is queued, counted in the device's own bytes, so that a
// busy machine cannot change it: a request goes into the next period mixed, behind the period
// waiting and the one the device may be taking as the request is made, together never more
// than 30 ms of sound (any silence of an underrun aside). How long it takes in wall time is a
// benchmark's business.
std::atomic<uint64_t> heard_at[9];
void watch_device(const uint8_t* bytes, int32_t length, int64_t) {
  for (int32_t i = 0; i + 1 < length; i += 2) {
    const auto v = static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8);
    if (v > 0 && v % 1000 == 0 && v / 1000 <= 8 && heard_at[v / 1000].load() == 0) {
      heard_at[v / 1000] = device_bytes.load() + static_cast<uint64_t>(i);
    }
  }
  device_bytes += static_cast<uint64_t>(length);
}

TEST_F(SoundThread, ARequestedEffectIsQueuedBehindNoMoreThan30MillisecondsOfSound) {
  use_disk_driver();
  requested_level = 0;
  device_bytes = 0;
  for (auto& h : heard_at) h = 0;
  audio_device_hook = watch_device;
  ASSERT_EQ(audio_init(request_mixer), 0);
  ASSERT_EQ(audio_has_device(), 1);
  sleep_ms(100);
  constexpr int TRIALS = 8;
  uint64_t requested_at[TRIALS + 1] = {};
  for (int k = 1; k <= TRIALS; ++k) {
    requested_level = k;
    requested_at[k] = device_bytes.load();
    sleep_ms(60 + 7 * k);  // requests fall at different moments of the device's period
    // (on a busy machine the period may not have been mixed yet: no request may overwrite another)
    ASSERT_TRUE(wait_until([] { return requested_level.load() == 0; })) << "request " << k << " was never mixed";
  }
  ASSERT_TRUE(wait_until([] { return heard_at[TRIALS].load() != 0; })) << "the last effect never reached the device";
  audio_term();
  audio_device_hook = nullptr;
  constexpr uint64_t thirty_ms = uint64_t{SOUND_RATE} * 2 * 30 / 1000;
  for (int k = 1; k <= TRIALS; ++k) {
    ASSERT_NE(heard_at[k].load(), 0u) << "effect " << k << " was never played";
    const uint64_t behind = heard_at[k].load() - requested_at[k];
    EXPECT_LE(behind, thirty_ms + audio_underrun_bytes()) << "effect " << k;
  }
}

TEST_F(SoundThread, PausingSilencesTheSoundAndResumingGoesOnWhereItStopped) {
  use_disk_driver();
  counted_samples = 0;
  ASSERT_EQ(audio_init(counting_mixer), 0);
  ASSERT_TRUE(wait_until([] { return counted_samples.load() >= SOUND_RATE / 4; }));
  audio_pause(true);
  const uint64_t mixed = counted_samples.load();
  sleep_ms(500);
  // Nothing is mixed while paused but the one period the thread may have been mixing already.
  EXPECT_LE(counted_samples.load(), mixed + AUDIO_DEVICE_SAMPLES) << "mixed while paused";
  audio_pause(false);
  // Until the device has taken a quarter of a second of it (the ring holds the rest).
  EXPECT_TRUE(wait_until([&] { return counted_samples.load() > mixed + SOUND_RATE / 4 + SOUND_RING_BYTES / 2; }))
      << "the sound did not resume";
  audio_term();

  // The pause is heard as silence (however much of it the device played meanwhile), and the
  // count goes on across it: nothing lost, nothing played twice.
  const std::vector<int16_t> s = read_samples(capture_);
  size_t i = 0;
  while (i < s.size() && s[i] == 0) ++i;
  uint64_t next = 0;
  size_t longest_silence = 0;
  for (size_t quiet = 0; i < s.size(); ++i) {
    if (s[i] == 0) {
      longest_silence = std::max(longest_silence, ++quiet);
      continue;
    }
    quiet = 0;
    ASSERT_EQ(s[i], count_value(next)) << "sample " << i;
    ++next;
  }
  EXPECT_GT(longest_silence, size_t{AUDIO_DEVICE_SAMPLES});
  EXPECT_GT(next, mixed + SOUND_RATE / 4) << "the sound that resumed was not played";
}

TEST_F(SoundThread, WithoutADeviceTheThreadKeepsTheMixersPaceAndTheLogSaysSoOnce) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  mixer_calls = 0;
  const int64_t started = host_now_ns();
  ASSERT_EQ(audio_init(counting_mixer), 0);
  EXPECT_EQ(audio_has_device(), 0);
  // One 100 ms chunk at the start and one every 100 ms after it, measured against the time that
  // really passed: never sooner, and (the thread makes up for a late wake-up) at most a chunk
  // behind when looked at.
  ASSERT_TRUE(wait_until([] { return mixer_calls.load() >= 10; }));
  const int64_t before = host_now_ns() - started;
  const int calls = mixer_calls.load();
  const int64_t after = host_now_ns() - started;
  EXPECT_LE(calls, after / (100 * MS) + 1) << "faster than the mixer's pace";
  EXPECT_GE(calls, before / (100 * MS) - 1) << "slower than the mixer's pace";
  audio_term();  // (a stop that hangs ends the test at its time limit)
  audio_term();  // a second stop is harmless

  const std::vector<std::string> lines = log_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("No sound device ("), std::string::npos) << lines[0];
  EXPECT_TRUE(lines[0].ends_with("the game runs without sound. <./src/nox_sdl.cpp:630>")) << lines[0];
  EXPECT_TRUE(lines[1].ends_with(" Sound-thread has started. <./src/nox_sdl.cpp:754>")) << lines[1];
  EXPECT_TRUE(lines[2].ends_with(" Sound-thread will now stop. <./src/nox_sdl.cpp:808>")) << lines[2];
}


}  // namespace
