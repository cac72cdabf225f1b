// How the server plays a replay: the game's core from the pack's bytes, without files, drawing
// or sound. The server's build of the core keeps every game record per thread, so each worker
// thread plays a game of its own.
#include "server/verify.h"

#include <fstream>
#include <iterator>

#include "game/core.h"
#include "game/replay.h"
#include "server/crypto.h"
#include "server/game_source_hash.h"

namespace {

Status start_game(const std::string& rom) {
  GameOptions o;
  o.folder = nullptr;  // no files: nothing is read, written or logged
  o.pack_bytes = reinterpret_cast<const uint8_t*>(rom.data());
  o.pack_size = rom.size();
  o.drawing = false;
  return game_start(o);
}

}  // namespace

const char* game_source_hash() { return kGameSourceHash; }

const char* verdict_kind_name(VerdictKind kind) {
  switch (kind) {
    case VerdictKind::Verified: return "verified";
    case VerdictKind::NotReplay: return "not_a_replay";
    case VerdictKind::Unfinished: return "unfinished";
    case VerdictKind::BrokenHeader: return "broken_header";
    case VerdictKind::Length: return "length";
    case VerdictKind::Score: return "score";
    case VerdictKind::TooLong: return "too_long";
  }
  return "?";
}

bool read_replay_facts(std::string_view bytes, ReplayFacts* facts, Verdict* refusal) {
  ReplayHeader h;
  std::string why;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  char why_text[160] = {};
  const ReplayFault fault = replay_header_check(data, bytes.size(), &h, why_text, sizeof why_text);
  why = why_text;
  switch (fault) {
    case ReplayFault::None:
      break;
    case ReplayFault::TooShort:
      *refusal = {VerdictKind::NotReplay, "not a replay: " + why};
      return false;
    case ReplayFault::BadDate:
      *refusal = {VerdictKind::NotReplay, "not a replay: there is no date where a replay's header has one"};
      return false;
    case ReplayFault::NoDate:
    case ReplayFault::Unfinished:
      *refusal = {VerdictKind::Unfinished, "unfinished: the game was ended by Escape, so its replay has no date"};
      return false;
    case ReplayFault::FewFrames:
    case ReplayFault::CutShort:
      *refusal = {VerdictKind::BrokenHeader, "broken header: " + why};
      return false;
    case ReplayFault::ManyFrames:
      *refusal = {VerdictKind::TooLong, "too long: " + why};
      return false;
  }
  facts->date = h.date;
  facts->frames = h.frames;
  facts->score = uint64_t{h.score} * 10;  // the header stores tens of points
  facts->guide = h.guide != 0;
  facts->floor = h.floor != 0;
  facts->played_bytes = REPLAY_HEADER_BYTES + size_t{REPLAY_RECORD_BYTES} * h.frames;
  return true;
}

std::unique_ptr<Verifier> Verifier::open(const std::string& rom_path, std::string* error) {
  std::ifstream in(rom_path, std::ios::binary);
  std::unique_ptr<Verifier> v(new Verifier);
  v->rom_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    *error = "cannot read the pack " + rom_path;
    return nullptr;
  }
  if (v->rom_.empty()) {
    *error = "cannot read the pack " + rom_path + (in ? ": it is empty" : "");
    return nullptr;
  }
  v->build_ = sha256_hex(std::string(kGameSourceHash) + " " + sha256_hex(v->rom_));
  // The pack must start the game: find out now rather than per job.
  const Status started = start_game(v->rom_);
  if (!started.ok()) {
    *error = rom_path + ": " + started.message;
    return nullptr;
  }
  game_stop();
  return v;
}

bool Verifier::verify(std::string_view bytes, std::chrono::milliseconds limit, Verdict* out, std::string* error) const {
  ReplayFacts facts;
  if (!read_replay_facts(bytes, &facts, out)) return true;
  const auto start = std::chrono::steady_clock::now();
  const Status started = start_game(rom_);
  if (!started.ok()) {
    *error = started.message;  // not the replay's fault
    return false;
  }
  auto deadline = start + limit;
  ReplayCheck check;
  const int rc = game_check_replay(
      reinterpret_cast<const uint8_t*>(bytes.data()), facts.played_bytes, &check,
      [](void* d) { return std::chrono::steady_clock::now() < *static_cast<decltype(deadline)*>(d); }, &deadline);
  game_stop();
  out->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string message = check.message;
  if (rc == 0) {
    out->kind = VerdictKind::Verified;
    out->reason.clear();
  } else if (check.stopped) {
    out->kind = VerdictKind::TooLong;
    out->reason = "too long: the playback took more than " + std::to_string(limit.count()) + " ms";
  } else if (rc == 1 && message.rfind("frames: ", 0) == 0) {
    out->kind = VerdictKind::Length;
    out->reason = "length: " + message.substr(8);
  } else if (rc == 1) {
    out->kind = VerdictKind::Score;
    out->reason = message;
  } else {
    *error = message;  // the header was usable, so the game could not start the playback
    return false;
  }
  return true;
}
