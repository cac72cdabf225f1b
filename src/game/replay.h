// Replays: the one codec of the replay header (used by the game, the slot menus, the ranking,
// the runner's --info and --verify, the server and the page, whose offsets are generated from
// these), and the replay buffer that records or plays back every play frame.
//
// A replay file is the replay buffer's bytes: the 32-byte header, then one 12-byte record per
// play frame. Numbers are little-endian.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "pack/per_thread.h"

// Where each field of the header lies, and the records after it.
constexpr uint32_t REPLAY_DATE_AT = 0;    // 16 characters, "YYYY/MM/DD hh:mm" when the game ended
constexpr uint32_t REPLAY_DATE_BYTES = 16;
constexpr uint32_t REPLAY_FRAMES_AT = 16;  // u32: records in a file; the next record while playing
constexpr uint32_t REPLAY_SCORE_AT = 20;   // u32: the final score, in tens of points
constexpr uint32_t REPLAY_GUIDE_AT = 24;   // the game's options
constexpr uint32_t REPLAY_FLOOR_AT = 25;   // 26 to 31 reserved, zero
constexpr uint32_t REPLAY_HEADER_BYTES = 32;
constexpr uint32_t REPLAY_RECORDS_AT = REPLAY_HEADER_BYTES;
constexpr uint32_t REPLAY_RECORD_BYTES = 12;

constexpr uint32_t REPLAY_MAX_FRAMES = 131072;
constexpr uint32_t REPLAY_MIN_FRAMES = 12;  // a shorter recording is not worth listing
constexpr uint32_t REPLAY_BUFFER_BYTES = REPLAY_HEADER_BYTES + REPLAY_RECORD_BYTES * REPLAY_MAX_FRAMES;

inline uint32_t get_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put_le32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// A date text of the right shape, "dddd/dd/dd dd:dd" (the ranking's entries and the header's).
inline bool is_timestamp(const uint8_t* text16) {
  static constexpr char shape[REPLAY_DATE_BYTES + 1] = "9999/99/99 99:99";
  for (uint32_t i = 0; i < REPLAY_DATE_BYTES; ++i) {
    const uint8_t c = text16[i];
    if (shape[i] == '9' ? (c < '0' || c > '9') : c != static_cast<uint8_t>(shape[i])) return false;
  }
  return true;
}

// The header's fields.
struct ReplayHeader {
  char date[REPLAY_DATE_BYTES + 1] = {};  // the date text, terminated
  uint32_t frames = 0;
  uint32_t score = 0;  // tens of points
  uint8_t guide = 0;
  uint8_t floor = 0;
  // A game given up with Escape: no date and no score (the slot menus list it as NO DATA).
  bool unfinished = false;
};

inline ReplayHeader replay_header_get(const uint8_t* h) {
  ReplayHeader r;
  std::memcpy(r.date, h + REPLAY_DATE_AT, REPLAY_DATE_BYTES);
  r.frames = get_le32(h + REPLAY_FRAMES_AT);
  r.score = get_le32(h + REPLAY_SCORE_AT);
  r.guide = h[REPLAY_GUIDE_AT];
  r.floor = h[REPLAY_FLOOR_AT];
  static constexpr uint8_t kNoDate[REPLAY_DATE_BYTES] = {};
  r.unfinished = std::memcmp(h, kNoDate, sizeof kNoDate) == 0 && r.score == 0 && r.frames >= 1 &&
                 r.frames <= REPLAY_MAX_FRAMES;
  return r;
}

// The one rule the slot menus list and load a header by: a real date, REPLAY_MIN_FRAMES to
// REPLAY_MAX_FRAMES records.
inline bool replay_header_usable(const uint8_t* h) {
  const uint32_t frames = get_le32(h + REPLAY_FRAMES_AT);
  return is_timestamp(h + REPLAY_DATE_AT) && frames >= REPLAY_MIN_FRAMES && frames <= REPLAY_MAX_FRAMES;
}

// What keeps a replay file from being played back, the first fault found.
enum class ReplayFault : uint8_t {
  None,
  TooShort,    // shorter than a header
  Unfinished,  // a game given up with Escape (its header is otherwise whole: *out is filled)
  NoDate,      // sixteen zero bytes where the date goes, and not an unfinished game's header
  BadDate,     // something else where the date goes: not a replay file
  FewFrames,   // fewer frames than the slot menus list
  ManyFrames,  // more frames than the game holds
  CutShort,    // fewer records than the header counts
};

// Checks a replay file of `size` bytes whose first bytes (at least the header's, when there are
// that many) are at `data`. Fills *out unless the header is unusable; on a fault writes the
// reason, without the file's name, into why[why_size] ("its header counts 11 frames, ...").
inline ReplayFault replay_header_check(const uint8_t* data, uint64_t size, ReplayHeader* out, char* why,
                                       size_t why_size) {
  const auto frames_text = [](uint64_t n) { return n == 1 ? " frame" : " frames"; };
  if (size < REPLAY_HEADER_BYTES) {
    std::snprintf(why, why_size, "it is shorter than a replay header (%llu bytes)", static_cast<unsigned long long>(size));
    return ReplayFault::TooShort;
  }
  const ReplayHeader r = replay_header_get(data);
  if (!r.unfinished && !is_timestamp(data + REPLAY_DATE_AT)) {
    std::snprintf(why, why_size, "its header has no date (a game ended by Escape, or another file)");
    static constexpr uint8_t kNoDate[REPLAY_DATE_BYTES] = {};
    return std::memcmp(data + REPLAY_DATE_AT, kNoDate, sizeof kNoDate) == 0 ? ReplayFault::NoDate
                                                                           : ReplayFault::BadDate;
  }
  if (!r.unfinished && (r.frames < REPLAY_MIN_FRAMES || r.frames > REPLAY_MAX_FRAMES)) {
    std::snprintf(why, why_size, "its header counts %u%s, outside %u to %u", r.frames, frames_text(r.frames),
                  REPLAY_MIN_FRAMES, REPLAY_MAX_FRAMES);
    return r.frames < REPLAY_MIN_FRAMES ? ReplayFault::FewFrames : ReplayFault::ManyFrames;
  }
  const uint64_t wanted = REPLAY_HEADER_BYTES + uint64_t{REPLAY_RECORD_BYTES} * r.frames;
  if (size < wanted) {
    std::snprintf(why, why_size, "its header counts %u%s (%llu bytes), the file has %llu bytes", r.frames,
                  frames_text(r.frames), static_cast<unsigned long long>(wanted),
                  static_cast<unsigned long long>(size));
    return ReplayFault::CutShort;
  }
  *out = r;
  if (r.unfinished) {
    std::snprintf(why, why_size, "it is an unfinished game, given up with Escape: it has no date and no score");
    return ReplayFault::Unfinished;
  }
  return ReplayFault::None;
}

// ---- The replay buffer: the header and room for REPLAY_MAX_FRAMES records.
extern PER_THREAD uint8_t replay_buffer[REPLAY_BUFFER_BYTES];

uint32_t replay_frame_index();
// The records a recording keeps, as SAVE REPLAY saves them: at most REPLAY_MAX_FRAMES.
uint32_t replay_recorded_frames();
void replay_set_frame_index(uint32_t n);
uint32_t replay_score();
void replay_set_score(uint32_t score);

// Fills the whole buffer, header and records, with zeros.
void replay_clear();

// Step 2 of every play frame: record the pointer, or replace it with the recorded values.
// Returns non-zero when a tap has abandoned a playback and the play frame must end at once.
int replay_hook();
