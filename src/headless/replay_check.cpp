// Replay files seen from the command line: their header read without playing it, and a
// playback that checks the header's claim (score and length) against what the game makes of
// the records.
#include "headless/replay_check.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "headless/session.h"
#include "pack/savefile.h"

bool read_replay_header(const std::string& path, ReplayHeader* out, std::string* error) {
  std::string why;
  std::FILE* f = open_input(path, &why);
  if (f == nullptr) {
    *error = "cannot read " + path + ": " + why;
    return false;
  }
  // The header, and the file's size standing in for the records it holds.
  uint8_t h[REPLAY_HEADER_BYTES];
  const size_t got = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(path, ec);
  char reason[160];
  const ReplayFault fault = replay_header_check(h, got < sizeof h || ec ? got : size, out, reason, sizeof reason);
  if (fault == ReplayFault::None || fault == ReplayFault::Unfinished) return true;
  *error = path + (fault == ReplayFault::CutShort ? " is cut short: " : " is not a replay file: ") + reason;
  return false;
}

std::string replay_length_text(uint32_t frames) {
  const uint32_t s = frames / 60;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u", s / 60, s % 60);
  return buf;
}

std::string replay_info_text(const ReplayHeader& h) {
  std::string out = "date:   ";
  out += h.unfinished ? "none (an unfinished game, given up with Escape)" : h.date;
  out += "\nlength: " + std::to_string(h.frames) + (h.frames == 1 ? " frame (" : " frames (") +
         replay_length_text(h.frames) + ")\nscore:  ";
  out += h.unfinished ? "none" : std::to_string(uint64_t{h.score} * 10);
  out += h.guide != 0 ? "\nguide:  on" : "\nguide:  off";
  out += h.floor != 0 ? "\nfloor:  on\n" : "\nfloor:  off\n";
  return out;
}

std::string replay_info_json(const ReplayHeader& h) {
  // The date is a checked time stamp, digits and "/: " only, so it needs no escaping.
  std::string out = "{\"date\":" + (h.unfinished ? std::string("null") : '"' + std::string(h.date) + '"');
  out += ",\"frames\":" + std::to_string(h.frames) + ",\"length\":\"" + replay_length_text(h.frames) + "\",\"score\":";
  out += h.unfinished ? "null" : std::to_string(uint64_t{h.score} * 10);
  out += h.guide != 0 ? ",\"guide\":true" : ",\"guide\":false";
  out += h.floor != 0 ? ",\"floor\":true" : ",\"floor\":false";
  out += h.unfinished ? ",\"unfinished\":true}\n" : ",\"unfinished\":false}\n";
  return out;
}

int verify_replay(const std::string& path, const std::string& dir, ReplayVerdict* out) {
  *out = ReplayVerdict{};
  if (!read_replay_header(path, &out->header, &out->message)) return 2;
  if (out->header.unfinished) {
    out->message = path + " is an unfinished game, given up with Escape: without a date and a score it cannot be "
                          "checked or played";
    return 2;
  }
  std::string bytes, why;
  if (!read_input(path, &bytes, &why, REPLAY_BUFFER_BYTES)) {
    out->message = "cannot read " + path + ": " + why;
    return 2;
  }
  if (!headless_start(dir, false, &out->message)) return 2;
  const int rc = game_check_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &out->play);
  game_stop();
  out->message = out->play.message;
  return rc;
}
