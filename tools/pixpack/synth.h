// A small deterministic synthesiser for the game's sound effects. Effects are described in a
// text file as a few voices (square, triangle, saw, sine, noise) with pitch sweeps and
// envelopes; rendering uses integer arithmetic only, so every machine makes the same samples.
//
//   sound bounce                       # name used by the manifest as synth:bounce
//     gain 100                         # optional, percent
//     voice square at=0 len=40 freq=900>1400 curve=out duty=50 vol=30 attack=1 release=30
//   end
//
// Voice keys: at, len, attack, release, step (milliseconds, decimals allowed); freq=F or F0>F1
// (Hz); curve=lin|in|out (shape of the sweep); duty (square, percent); vol (percent of full
// scale); sustain (percent of the peak reached after the attack, default 100: the level falls
// from the peak to it before the release); vib=RATE,DEPTH (Hz, Hz); lp=CUTOFF (Hz, one-pole
// low-pass). step quantises the sweep into held notes of that length.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class Wave : uint8_t { Square, Triangle, Saw, Sine, Noise };

struct SynthVoice {
  Wave wave = Wave::Square;
  int64_t at = 0, len = 0;             // samples
  int64_t attack = 22, release = 110;  // samples
  int64_t step = 0;                    // samples, 0 = smooth sweep
  int64_t freq0 = 0, freq1 = 0;        // milli-hertz
  int curve = 0;                       // 0 lin, 1 in (slow start), 2 out (fast start)
  int64_t duty = 32768;                // Q16 fraction of the period spent high
  int64_t vol = 0;                     // Q16 fraction of full scale
  int64_t sustain = 65536;             // Q16
  int64_t vib_rate = 0, vib_depth = 0; // milli-hertz
  int64_t lp = 0;                      // Q16 one-pole coefficient, 0 = off
};

struct SynthSound {
  std::string name;
  int line = 0;         // where it starts in the description file
  int64_t gain = 65536; // Q16
  std::vector<SynthVoice> voices;
};

// Parses a description file. Returns "" or "<path>:<line>: <problem>".
std::string parse_sounds(const std::string& path, std::vector<SynthSound>& out);

// Renders one effect: 16-bit mono at 22,050 Hz, DC removed, 3 ms fades at both ends.
// Returns "" or a message (for instance when the mix would clip).
std::string render_sound(const SynthSound& sound, std::vector<int16_t>& out);

// Highest sample magnitude a rendered effect may reach.
constexpr int kSynthPeakLimit = 31000;
