// Replay files seen from outside the game: their header read without playing, and a playback
// that checks the header's claim (score and length) against what the game makes of the records.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"
#include "headless/headless.h"
#include "pack/savefile.h"

namespace {

std::string frames_text(int64_t n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); }

}  // namespace

ReplayHeaderFault parse_replay_header(const uint8_t* data, size_t size, ReplayHeader* out, std::string* why) {
  if (size < REPLAY_HEADER_BYTES) {
    *why = "it is shorter than a replay header (" + std::to_string(size) + " bytes)";
    return ReplayHeaderFault::TooShort;
  }
  ReplayHeader r;
  std::memcpy(r.date, data, 16);
  r.date[16] = '\0';
  r.frames = get_le32(data + 16);
  r.score = get_le32(data + 20);
  r.guide = data[24];
  r.floor = data[25];
  // A game given up with Escape keeps the header GAME START cleared: no date, no score.
  r.unfinished = std::all_of(data, data + 16, [](uint8_t b) { return b == 0; }) && r.score == 0 &&
                 r.frames >= 1 && r.frames <= REPLAY_MAX_FRAMES;
  if (!r.unfinished && !is_timestamp(data)) {
    *why = "its header has no date (a game ended by Escape, or another file)";
    static constexpr uint8_t kNoDate[16] = {};
    return std::memcmp(data, kNoDate, sizeof kNoDate) == 0 ? ReplayHeaderFault::NoDate : ReplayHeaderFault::BadDate;
  }
  if (!r.unfinished && (r.frames < REPLAY_MIN_FRAMES || r.frames > REPLAY_MAX_FRAMES)) {
    *why = "its header counts " + frames_text(r.frames) + ", outside " + std::to_string(REPLAY_MIN_FRAMES) + " to " +
           std::to_string(REPLAY_MAX_FRAMES);
    return r.frames < REPLAY_MIN_FRAMES ? ReplayHeaderFault::FewFrames : ReplayHeaderFault::ManyFrames;
  }
  const uint64_t wanted = REPLAY_HEADER_BYTES + uint64_t{REPLAY_RECORD_BYTES} * r.frames;
  if (size < wanted) {
    *why = "its header counts " + frames_text(r.frames) + " (" + std::to_string(wanted) + " bytes), the file has " +
           std::to_string(size) + " bytes";
    return ReplayHeaderFault::CutShort;
  }
  *out = r;
  if (r.unfinished) {
    *why = "it is an unfinished game, given up with Escape: it has no date and no score";
    return ReplayHeaderFault::NoDate;
  }
  return ReplayHeaderFault::None;
}

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
  const size_t held = got < sizeof h || ec ? got : static_cast<size_t>(std::min<uint64_t>(size, SIZE_MAX));
  std::string reason;
  const ReplayHeaderFault fault = parse_replay_header(h, held, out, &reason);
  if (fault == ReplayHeaderFault::None || (fault == ReplayHeaderFault::NoDate && out->unfinished)) return true;
  *error = path + (fault == ReplayHeaderFault::CutShort ? " is cut short: " : " is not a replay file: ") + reason;
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
  out += "\nlength: " + frames_text(h.frames) + " (" + replay_length_text(h.frames) + ")\nscore:  ";
  out += h.unfinished ? "none" : std::to_string(uint64_t{h.score} * 10);
  out += h.guide != 0 ? "\nguide:  on" : "\nguide:  off";
  out += h.floor != 0 ? "\nfloor:  on\n" : "\nfloor:  off\n";
  return out;
}

std::string replay_info_json(const ReplayHeader& h) {
  // The date is a checked time stamp, digits and "/: " only, so it needs no escaping.
  std::string out = "{\"date\":";
  if (h.unfinished) {
    out += "null";
  } else {
    out += '"';
    out += h.date;
    out += '"';
  }
  out += ",\"frames\":" + std::to_string(h.frames) + ",\"length\":\"" + replay_length_text(h.frames) + "\",\"score\":";
  out += h.unfinished ? "null" : std::to_string(uint64_t{h.score} * 10);
  out += h.guide != 0 ? ",\"guide\":true" : ",\"guide\":false";
  out += h.floor != 0 ? ",\"floor\":true" : ",\"floor\":false";
  out += h.unfinished ? ",\"unfinished\":true}\n" : ",\"unfinished\":false}\n";
  return out;
}

int verify_replay(const std::string& path, const std::string& dir, ReplayCheck* out,
                  const std::function<bool()>& go_on) {
  *out = ReplayCheck{};
  if (!read_replay_header(path, &out->header, &out->message)) return 2;
  if (out->header.unfinished) {
    out->message = path + " is an unfinished game, given up with Escape: without a date and a score it cannot be "
                          "checked or played";
    return 2;
  }
  const uint32_t claimed = out->header.frames;

  HeadlessOptions o;
  o.dir = dir;
  o.replay_file = path;
  // Every play frame reads one record and advances the read position; a playback that reads
  // more records than the header counts is stopped there (a hand-made file could otherwise
  // keep a game going for ever).
  uint32_t read_pos = 0;
  o.on_frame = [&](int64_t frame) {
    if (replay_frame_index() != read_pos) {
      read_pos = replay_frame_index();
      if (out->played_frames++ == 0) out->first_play_frame = frame;
    }
    if (out->played_frames > claimed) {
      out->overran = true;
      return false;
    }
    if (go_on && (frame & 1023) == 1023 && !go_on()) {
      out->stopped = true;
      return false;
    }
    return true;
  };
  HeadlessResult r;
  if (headless_run(o, &r) != 0) {
    out->message = r.error;
    return 2;
  }
  out->run_frames = r.frames;
  if (out->stopped) {
    out->message = "stopped after " + frames_text(r.frames) + " of playback";
    return 2;
  }
  const std::string claim = "its header says ";
  if (out->overran) {
    out->message = "frames: the game goes on past the " + frames_text(claimed) + " its header counts";
  } else if (out->played_frames != claimed) {
    out->message = "frames: the game ended after " + frames_text(out->played_frames) + ", " + claim +
                   std::to_string(claimed);
  } else if (r.score != out->header.score) {
    out->message = "score: the game ended with " + std::to_string(uint64_t{r.score} * 10) + ", " + claim +
                   std::to_string(uint64_t{out->header.score} * 10);
  } else {
    out->message = "score " + std::to_string(uint64_t{r.score} * 10) + " in " + frames_text(claimed);
    return 0;
  }
  return 1;
}
