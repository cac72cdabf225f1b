#include "host/host_settings.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "host/display_fit.h"
#include "pack/savefile.h"

namespace {

SettingsLoad damaged(char* why, size_t why_size, int line, const char* what) {
  if (line > 0) {
    std::snprintf(why, why_size, "line %d: %s", line, what);
  } else {
    std::snprintf(why, why_size, "%s", what);
  }
  return SettingsLoad::Damaged;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

SettingsLoad host_settings_load(const char* path, HostSettings* out, char* why, size_t why_size) {
  *out = HOST_SETTINGS_DEFAULT;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return SettingsLoad::Missing;
  char text[HOST_SETTINGS_MAX_BYTES + 1];
  const size_t n = std::fread(text, 1, sizeof text, f);
  const bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  if (read_error) return damaged(why, why_size, 0, "cannot be read");
  if (n > HOST_SETTINGS_MAX_BYTES) return damaged(why, why_size, 0, "too long");

  HostSettings s{};
  bool have_mode = false;
  bool have_scale = false;
  std::string_view rest(text, n);
  for (int line = 1; !rest.empty(); ++line) {
    const size_t end = rest.find('\n');
    std::string_view l = trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (l.empty() || l.front() == '#') continue;
    const size_t space = l.find_first_of(" \t");
    const std::string_view key = l.substr(0, space);
    const std::string_view value = space == std::string_view::npos ? std::string_view{} : trim(l.substr(space));
    if (key == "mode" && !have_mode) {
      if (value != "window" && value != "fullscreen") return damaged(why, why_size, line, "unknown mode");
      s.fullscreen = value == "fullscreen" ? 1 : 0;
      have_mode = true;
    } else if (key == "scale" && !have_scale) {
      if (!host_scale_parse(value, &s.scale)) return damaged(why, why_size, line, "scale is not a whole number from 1 to 16");
      have_scale = true;
    } else {
      return damaged(why, why_size, line, "not a setting, or one given twice");
    }
  }
  if (!have_mode || !have_scale) return damaged(why, why_size, 0, "a setting is missing");
  *out = s;
  return SettingsLoad::Loaded;
}

bool host_scale_parse(std::string_view text, int32_t* scale) {
  int32_t v = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || v < 1 || v > DISPLAY_MAX_SCALE) return false;
  *scale = v;
  return true;
}

int host_settings_save(const char* path, const HostSettings& s) {
  char text[128];
  const int n = std::snprintf(text, sizeof text, "# PIXEL BREAKER display settings\nmode %s\nscale %d\n",
                              s.fullscreen ? "fullscreen" : "window", static_cast<int>(s.scale));
  if (n <= 0 || static_cast<size_t>(n) >= sizeof text) return -1;
  return save_file(path, reinterpret_cast<const uint8_t*>(text), static_cast<size_t>(n), nullptr, 0);
}
