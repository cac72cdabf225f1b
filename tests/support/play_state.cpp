#include "support/play_state.h"

#include <vector>

#include "game/core.h"

namespace {

void erase_key(std::string& line, const char* key) {
  const size_t at = line.find(std::string(",\"") + key + "\":");
  if (at != std::string::npos) line.erase(at, line.find_first_of(",}", at + 1) - at);
}

}  // namespace

std::string play_state(int64_t frame) {
  std::vector<char> buf(GAME_TRACE_LINE_MAX);
  std::string line(buf.data(), game_trace_line(frame, buf.data()));
  line.erase(0, line.find(",\"scene\""));
  for (const char* key : {"playback", "hi_score", "bonus_step", "particle_next", "explosion_next"})
    erase_key(line, key);
  const size_t tp = line.find(",\"touch_pressed\":");
  const size_t end = line.find(',', tp + 1);
  // A record keeps the press count's low byte (255 for a whole multiple of 256).
  const int32_t count = std::stoi(line.substr(tp + 17, end - tp - 17));
  int8_t stored = static_cast<int8_t>(count);
  if (stored == 0 && count != 0) stored = -1;
  line.replace(tp, end - tp, ",\"touch_pressed\":" + std::to_string(stored));
  return line;
}
