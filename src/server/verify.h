// How the server plays a replay: bytes of a replay file in, a verdict out. Nothing else in the
// server knows how the game is run.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

enum class VerdictKind : uint8_t {
  Verified,
  NotReplay,     // not a replay file at all
  Unfinished,    // a game ended by Escape: its header has no date
  BrokenHeader,  // a header the game would not list, or fewer records than it counts
  Length,        // the playback's length disagrees with the header
  Score,         // the playback's score disagrees with the header
  TooLong,       // more frames than the game holds, or over the time limit of a job
};
constexpr int kVerdictKinds = 7;

// "verified", "not_a_replay", "unfinished", "broken_header", "length", "score", "too_long".
const char* verdict_kind_name(VerdictKind kind);

// What a replay's header claims, read without playing it.
struct ReplayFacts {
  std::string date;      // "YYYY/MM/DD hh:mm", when the recorded game ended
  uint32_t frames = 0;   // play frames
  uint64_t score = 0;    // points, as the game shows them
  bool guide = false;
  bool floor = false;
  size_t played_bytes = 0;  // the header and the records it counts: all a playback reads
};

struct Verdict {
  VerdictKind kind = VerdictKind::NotReplay;
  std::string reason;  // plain words, empty when verified
  double seconds = 0;  // time spent playing
};

// Reads the header of a replay's bytes. Returns false with the refusal (a kind other than
// Verified and its reason) when the game could not play it back.
bool read_replay_facts(std::string_view bytes, ReplayFacts* facts, Verdict* refusal);

// Plays replays with the game's own code, from the pack's bytes, without files: drawing,
// composition and sound are skipped (the game never reads them back). Every thread that calls
// verify() plays its own game, so N workers verify N replays at once.
class Verifier {
 public:
  // Reads the pack, works out the build hash and checks that the pack starts the game.
  static std::unique_ptr<Verifier> open(const std::string& rom_path, std::string* error);
  Verifier(const Verifier&) = delete;
  Verifier& operator=(const Verifier&) = delete;

  // The build that gives the verdicts: a hash of the game's code and of the pack (64 hex digits).
  const std::string& build() const { return build_; }

  // Plays the replay and compares its score and length with its header; a playback still
  // running after `limit` is stopped and rejected as too long. Returns false with *error when
  // the game could not start: no verdict then.
  bool verify(std::string_view bytes, std::chrono::milliseconds limit, Verdict* out, std::string* error) const;

 private:
  Verifier() = default;
  std::string build_;
  std::string rom_;  // the pack's bytes
};

// The hash of the game's code this program was built from (64 hex digits).
const char* game_source_hash();
