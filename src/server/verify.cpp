// Today's way of playing a replay: the headless runner's replay check, in this process, one game
// at a time (the game keeps its state in process-wide records), in a private work folder that
// holds a copy of the pack and the replay being played.
#include "server/verify.h"

#include <fcntl.h>
#include <sys/file.h>
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

// Work folders are "work.XXXXXX" in their parent, each holding a file "lock" that its process
// keeps locked while it lives: one whose lock nobody holds was left by a process that died.
void remove_abandoned_work_folders(const std::string& parent) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(parent, ec)) {
    if (!e.is_directory(ec) || e.path().filename().string().rfind("work.", 0) != 0) continue;
    const int fd = ::open((e.path() / "lock").c_str(), O_RDWR | O_CLOEXEC);
    const bool abandoned = fd < 0 || flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    if (abandoned) fs::remove_all(e.path(), ec);
  }
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

std::unique_ptr<Verifier> Verifier::open(const std::string& rom_path, const std::string& parent, std::string* error) {
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

  std::string pattern = (fs::path(parent) / "work.XXXXXX").string();
  {
    // Folders are made and cleared one process at a time.
    const int guard = ::open((fs::path(parent) / "work.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (guard < 0 || flock(guard, LOCK_EX) != 0) {
      *error = "cannot lock " + (fs::path(parent) / "work.lock").string();
      if (guard >= 0) ::close(guard);
      return nullptr;
    }
    remove_abandoned_work_folders(parent);
    if (mkdtemp(pattern.data()) != nullptr) {
      v->lock_fd_ = ::open((fs::path(pattern) / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (v->lock_fd_ >= 0) flock(v->lock_fd_, LOCK_EX | LOCK_NB);
    }
    ::close(guard);
  }
  if (v->lock_fd_ < 0) {
    *error = "cannot make a work folder in " + parent;
    return nullptr;
  }
  v->work_dir_ = pattern;
  std::error_code ec;
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
  if (!work_dir_.empty()) {
    std::error_code ec;
    if (fs::current_path(ec) == fs::path(work_dir_)) fs::current_path(fs::path(work_dir_).parent_path(), ec);
    fs::remove_all(work_dir_, ec);
  }
  if (lock_fd_ >= 0) ::close(lock_fd_);
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
