// Today's way of playing a replay: the headless runner's replay check, in this process, one game
// at a time (the game keeps its state in process-wide records), in a private work folder that
// holds a copy of the pack and the replay being played.
#include "server/verify.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>

#include "game/replay.h"
#include "headless/headless.h"
#include "server/crypto.h"
#include "server/game_source_hash.h"

namespace fs = std::filesystem;

namespace {

std::mutex game_mutex;  // the game runs one playback at a time

bool write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
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
  switch (parse_replay_header(data, bytes.size(), &h, &why)) {
    case ReplayHeaderFault::None:
      break;
    case ReplayHeaderFault::TooShort:
      *refusal = {VerdictKind::NotReplay, "not a replay: " + why};
      return false;
    case ReplayHeaderFault::BadDate:
      *refusal = {VerdictKind::NotReplay, "not a replay: there is no date where a replay's header has one"};
      return false;
    case ReplayHeaderFault::NoDate:
      *refusal = {VerdictKind::Unfinished, "unfinished: the game was ended by Escape, so its replay has no date"};
      return false;
    case ReplayHeaderFault::FewFrames:
    case ReplayHeaderFault::CutShort:
      *refusal = {VerdictKind::BrokenHeader, "broken header: " + why};
      return false;
    case ReplayHeaderFault::ManyFrames:
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
  const std::string rom((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    *error = "cannot read the pack " + rom_path;
    return nullptr;
  }
  if (rom.empty()) {
    *error = "cannot read the pack " + rom_path + (in ? ": it is empty" : "");
    return nullptr;
  }
  std::unique_ptr<Verifier> v(new Verifier);
  v->build_ = sha256_hex(std::string(kGameSourceHash) + " " + sha256_hex(rom));

  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "pixbrk-server-XXXXXX").string();
  if (ec || mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a work folder in the temporary folder";
    return nullptr;
  }
  v->work_dir_ = pattern;
  if (!write_file(fs::path(pattern) / "ROMDATA.BIN", rom)) {
    *error = "cannot write the pack into " + pattern;
    return nullptr;
  }
  fs::current_path(pattern, ec);
  if (ec) {
    *error = "cannot use the work folder " + pattern + ": " + ec.message();
    return nullptr;
  }
  // The pack must start the game: a playback of nothing finds out now rather than per job.
  HeadlessOptions first_frame;
  first_frame.max_frames = 1;
  HeadlessResult r;
  if (headless_run(first_frame, &r) != 0) {
    *error = rom_path + ": " + r.error;
    return nullptr;
  }
  return v;
}

Verifier::~Verifier() {
  if (work_dir_.empty()) return;
  std::error_code ec;
  if (fs::current_path(ec) == fs::path(work_dir_)) fs::current_path(fs::path(work_dir_).parent_path(), ec);
  fs::remove_all(work_dir_, ec);
}

bool Verifier::verify(std::string_view bytes, std::chrono::milliseconds limit, Verdict* out, std::string* error) {
  ReplayFacts facts;
  if (!read_replay_facts(bytes, &facts, out)) return true;
  const std::lock_guard<std::mutex> lock(game_mutex);
  const fs::path file = fs::path(work_dir_) / "job.rep";
  if (!write_file(file, bytes.substr(0, facts.played_bytes))) {
    *error = "cannot write " + file.string();
    return false;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + limit;
  ReplayCheck check;
  const int rc = verify_replay(file.string(), "", &check, [&] { return std::chrono::steady_clock::now() < deadline; });
  out->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (rc == 0) {
    out->kind = VerdictKind::Verified;
    out->reason.clear();
  } else if (check.stopped) {
    out->kind = VerdictKind::TooLong;
    out->reason = "too long: the playback took more than " + std::to_string(limit.count()) + " ms";
  } else if (rc == 1 && check.message.rfind("frames: ", 0) == 0) {
    out->kind = VerdictKind::Length;
    out->reason = "length: " + check.message.substr(8);
  } else if (rc == 1) {
    out->kind = VerdictKind::Score;
    out->reason = check.message;
  } else {
    // The header was usable, so the game itself could not start: not the replay's fault.
    *error = check.message;
    return false;
  }
  return true;
}
