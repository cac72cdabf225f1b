#include "synth.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <array>
#include <sstream>
#include <string_view>

#include "media.h"

namespace {

// Parses a non-negative decimal number. Only basic arithmetic is done on the result, and each
// value is rounded to an integer unit at once, so rendering itself never sees a float.
bool parse_number(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  v = std::strtod(s.c_str(), &end);
  return errno == 0 && end && *end == 0 && v >= 0 && v < 1e9;
}

int64_t ms_to_samples(double ms) { return std::llround(ms * kSampleRate / 1000.0); }
int64_t to_q16(double fraction) { return std::llround(fraction * 65536.0); }

std::string parse_voice(std::istringstream& in, SynthVoice& v) {
  constexpr std::array<std::string_view, 5> kWaves = {"square", "triangle", "saw", "sine", "noise"};  // as in Wave
  std::string wave;
  in >> wave;
  const auto found = std::ranges::find(kWaves, wave);
  if (found == kWaves.end()) return "unknown wave '" + wave + "' (square, triangle, saw, sine, noise)";
  v.wave = static_cast<Wave>(found - kWaves.begin());
  bool have_freq = false, have_vol = false, have_attack = false, have_release = false;
  std::string kv;
  while (in >> kv) {
    const auto eq = kv.find('=');
    if (eq == std::string::npos) return "expected key=value, found '" + kv + "'";
    const std::string key = kv.substr(0, eq), val = kv.substr(eq + 1);
    double a = 0, b = 0;
    if (key == "freq") {
      const auto arrow = val.find('>');
      const std::string s0 = val.substr(0, arrow), s1 = arrow == std::string::npos ? s0 : val.substr(arrow + 1);
      if (!parse_number(s0, a) || !parse_number(s1, b) || a > 20000 || b > 20000)
        return "freq must be F or F0>F1 in hertz (0-20000), found '" + val + "'";
      v.freq0 = std::llround(a * 1000);
      v.freq1 = std::llround(b * 1000);
      have_freq = true;
    } else if (key == "curve") {
      if (val == "lin") v.curve = 0;
      else if (val == "in") v.curve = 1;
      else if (val == "out") v.curve = 2;
      else return "curve must be lin, in or out, found '" + val + "'";
    } else if (key == "vib") {
      const auto comma = val.find(',');
      if (comma == std::string::npos || !parse_number(val.substr(0, comma), a) || !parse_number(val.substr(comma + 1), b))
        return "vib must be RATE,DEPTH in hertz, found '" + val + "'";
      v.vib_rate = std::llround(a * 1000);
      v.vib_depth = std::llround(b * 1000);
    } else {
      if (!parse_number(val, a)) return "bad number for " + key + ": '" + val + "'";
      if (key == "at") v.at = ms_to_samples(a);
      else if (key == "len") v.len = ms_to_samples(a);
      else if (key == "attack") v.attack = ms_to_samples(a), have_attack = true;
      else if (key == "release") v.release = ms_to_samples(a), have_release = true;
      else if (key == "step") v.step = ms_to_samples(a);
      else if (key == "duty") {
        if (a <= 0 || a >= 100) return "duty must lie between 0 and 100";
        v.duty = to_q16(a / 100);
      } else if (key == "vol") {
        if (a > 100) return "vol is a percentage of full scale (0-100)";
        v.vol = to_q16(a / 100);
        have_vol = true;
      } else if (key == "sustain") {
        if (a > 100) return "sustain is a percentage (0-100)";
        v.sustain = to_q16(a / 100);
      } else if (key == "lp") {
        // One-pole low-pass: coefficient w / (1 + w) with w = 2 pi fc / fs.
        const double w = 2 * 3.14159265358979 * a / kSampleRate;
        v.lp = to_q16(w / (1 + w));
        if (v.lp < 1) return "lp cutoff too low";
      } else return "unknown key '" + key + "'";
    }
  }
  if (v.len < 1) return "voice needs len=MS";  // unstated, or too short for one sample
  if (!have_freq) return "voice needs freq=HZ";
  if (!have_vol) return "voice needs vol=PERCENT";
  // Unstated attack and release shrink to fit short voices.
  if (!have_attack) v.attack = std::min(v.attack, v.len / 4);
  if (!have_release) v.release = std::min(v.release, v.len / 3);
  if (v.attack + v.release > v.len) return "attack + release are longer than the voice";
  return "";
}

// Curve of a sweep, u and result in Q16 (0..65536).
int64_t shape(int curve, int64_t u) {
  if (curve == 1) return u * u >> 16;
  if (curve == 2) return 65536 - ((65536 - u) * (65536 - u) >> 16);
  return u;
}

// One period of each wave from a 32-bit phase, zero mean, peak about 32767.
int64_t oscillate(const SynthVoice& v, uint32_t phase) {
  switch (v.wave) {
    case Wave::Square: {
      // High for `duty` of the period; both levels chosen so the average is zero.
      const int64_t high = 65534 * (65536 - v.duty) >> 16, low = high - 65534;
      return (static_cast<int64_t>(phase) >> 16) < v.duty ? high : low;
    }
    case Wave::Triangle: {
      const int64_t x = phase >> 16;  // 0..65535
      return x < 32768 ? x * 2 - 32767 : (65535 - x) * 2 - 32767;
    }
    case Wave::Saw:
      return static_cast<int64_t>(phase >> 16) - 32768;
    case Wave::Sine: {
      // Parabola through the half periods, then one refinement step (error under 0.1 %).
      const int64_t x = static_cast<int32_t>(phase) >> 16;  // -32768..32767 stands for -pi..pi
      const int64_t p = x * (32768 - (x < 0 ? -x : x)) >> 13;
      const int64_t ap = p < 0 ? -p : p;
      return p + 225 * ((p * ap >> 15) - p) / 1000;
    }
    case Wave::Noise:
      return 0;  // handled by the caller (it needs state)
  }
  return 0;
}

}  // namespace

std::string parse_sounds(const std::string& path, std::vector<SynthSound>& out) {
  std::string text;
  if (std::string err = read_text_file(path, text); !err.empty()) return err;
  std::istringstream f(text);
  out.clear();
  std::string line;
  int number = 0;
  SynthSound* current = nullptr;
  while (std::getline(f, line)) {
    ++number;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (word == "sound") {
      if (current) return where + "'sound' inside sound '" + current->name + "' (missing 'end')";
      SynthSound s;
      if (!(in >> s.name)) return where + "sound needs a name";
      for (const SynthSound& o : out)
        if (o.name == s.name) return where + "sound '" + s.name + "' is defined twice";
      s.line = number;
      out.push_back(s);
      current = &out.back();
    } else if (!current) {
      return where + "expected 'sound NAME', found '" + word + "'";
    } else if (word == "end") {
      if (current->voices.empty()) return where + "sound '" + current->name + "' has no voice";
      current = nullptr;
    } else if (word == "gain") {
      double g = 0;
      std::string val;
      in >> val;
      if (!parse_number(val, g) || g > 1000) return where + "gain must be a percentage";
      current->gain = to_q16(g / 100);
    } else if (word == "voice") {
      SynthVoice v;
      if (std::string err = parse_voice(in, v); !err.empty()) return where + err;
      current->voices.push_back(v);
    } else {
      return where + "unknown word '" + word + "'";
    }
  }
  if (current) return path + ": sound '" + current->name + "' has no 'end'";
  return "";
}

std::string render_sound(const SynthSound& sound, std::vector<int16_t>& out) {
  int64_t total = 0;
  for (const SynthVoice& v : sound.voices) total = std::max(total, v.at + v.len);
  std::vector<int64_t> mix(static_cast<size_t>(total), 0);

  for (const SynthVoice& v : sound.voices) {
    uint64_t phase = 0, vib_phase = 0;
    uint32_t lfsr = 0x7FFF;
    int64_t noise_level = 32767, lp_state = 0;
    const int64_t decay_end = v.len - v.release;
    for (int64_t n = 0; n < v.len; ++n) {
      // Pitch: sweep position, optionally held in steps, plus vibrato.
      const int64_t held = v.step > 0 ? n / v.step * v.step : n;
      const int64_t c = shape(v.curve, held * 65536 / v.len);
      int64_t f = v.freq0 + ((v.freq1 - v.freq0) * c >> 16);
      if (v.vib_rate > 0) {
        const auto x = static_cast<int64_t>((vib_phase >> 16) & 0xFFFF);
        const int64_t tri = x < 32768 ? x * 2 - 32768 : (65535 - x) * 2 - 32768;  // -1..1 in Q15
        f += v.vib_depth * tri >> 15;
        vib_phase = (vib_phase + static_cast<uint64_t>(v.vib_rate * 4294967296LL / (kSampleRate * 1000LL))) &
                    0xFFFFFFFFu;
      }
      if (f < 0) f = 0;
      const auto inc = static_cast<uint64_t>(f * 4294967296LL / (kSampleRate * 1000LL));

      int64_t w;
      if (v.wave == Wave::Noise) {
        // A 15-bit shift register clocked at the voice's frequency.
        for (uint64_t steps = (phase + inc) >> 32; steps > 0; --steps) {
          const uint32_t bit = (lfsr ^ (lfsr >> 1)) & 1u;
          lfsr = (lfsr >> 1) | (bit << 14);
          noise_level = (lfsr & 1u) ? 32767 : -32767;
        }
        w = noise_level;
      } else {
        w = oscillate(v, static_cast<uint32_t>(phase));
      }
      phase = (phase + inc) & 0xFFFFFFFFu;

      // Envelope: linear attack to the peak, fall to the sustain level, linear release.
      int64_t env;
      if (n < v.attack) {
        env = (n + 1) * 65536 / (v.attack + 1);
      } else if (n < decay_end) {
        const int64_t span = decay_end - v.attack;
        const int64_t u = span > 0 ? (n - v.attack) * 65536 / span : 65536;
        const int64_t fall = (65536 - u) * (65536 - u) >> 16;  // quick fall, slow finish
        env = v.sustain + ((65536 - v.sustain) * fall >> 16);
      } else {
        const int64_t rest = v.len - n;  // release..1
        env = v.sustain * rest / (v.release + 1);
      }
      int64_t s = (w * env >> 16) * v.vol >> 16;
      if (v.lp > 0) {
        lp_state += ((s << 8) - lp_state) * v.lp >> 16;
        s = lp_state >> 8;
      }
      mix[static_cast<size_t>(v.at + n)] += s;
    }
  }

  // Gain, then a gentle DC blocker, then short fades so both ends sit at zero.
  out.assign(static_cast<size_t>(total), 0);
  int64_t x_prev = 0, y_prev = 0;  // Q8
  constexpr int64_t kR = 65339;    // pole at about 0.997: corner near 10 Hz
  const int64_t fade = std::min<int64_t>(kSampleRate * 3 / 1000, total / 2);
  int64_t peak = 0;
  for (int64_t n = 0; n < total; ++n) {
    const int64_t x = (mix[static_cast<size_t>(n)] * sound.gain >> 16) << 8;
    const int64_t y = x - x_prev + (y_prev * kR >> 16);
    x_prev = x;
    y_prev = y;
    int64_t s = y >> 8;
    if (n < fade) s = s * n / fade;
    if (total - 1 - n < fade) s = s * (total - 1 - n) / fade;
    peak = std::max(peak, s < 0 ? -s : s);
    if (peak > kSynthPeakLimit)
      return "sound '" + sound.name + "' peaks at " + std::to_string(peak) + " (limit " +
             std::to_string(kSynthPeakLimit) + "); lower its volumes or gain";
    out[static_cast<size_t>(n)] = static_cast<int16_t>(s);
  }
  return "";
}
