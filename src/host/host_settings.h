// The host's own display settings, remembered between runs in a small text file beside the
// game's other files (the ranking's SCORE.DAT is not touched):
//
//   # PIXEL BREAKER display settings
//   mode window        (or: fullscreen)
//   scale 2            (the window's size, in multiples of 240 x 320)
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr const char* HOST_SETTINGS_FILE = "DISPLAY.CFG";
constexpr size_t HOST_SETTINGS_MAX_BYTES = 1024;  // a longer file is not one of ours

struct HostSettings {
  uint8_t fullscreen;  // 0 = a window, 1 = the whole screen
  int32_t scale;       // 1 .. DISPLAY_MAX_SCALE
  bool operator==(const HostSettings&) const = default;
};

// A 480 x 640 window.
constexpr HostSettings HOST_SETTINGS_DEFAULT{0, 2};

enum class SettingsLoad : uint8_t { Loaded, Missing, Damaged };

// Reads the file. Loaded: *out holds its settings. Missing: no file, *out is the default.
// Damaged: *out is the default and why[0..why_size) says what is wrong with the file.
SettingsLoad host_settings_load(const char* path, HostSettings* out, char* why, size_t why_size);

// Reads a scale as written in the file or on a command line: a whole number from 1 to
// DISPLAY_MAX_SCALE and nothing else. False (and *scale untouched) otherwise.
bool host_scale_parse(std::string_view text, int32_t* scale);

// Saves the settings without ever leaving a half-written file. 0, or -1 on failure.
int host_settings_save(const char* path, const HostSettings& s);
