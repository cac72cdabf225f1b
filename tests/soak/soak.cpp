// pixbrk-soak FRAMES DIR SEED: plays FRAMES frames in DIR (which holds ROMDATA.BIN) with the
// built-in player, mixed with random menu use: settings toggled, games saved into random slots,
// replays loaded and watched to their end or abandoned by a tap or Escape, games given up with
// Escape, the ranking looked at. Every replay file the game writes is copied into DIR/kept/ the
// moment it is written, and played back after the session: each must reach the score and the
// length its header records. Prints what it did, the memory held at frame 100,000 and at the
// end, and the replays checked; exits 1 when the session fails, the memory grew, a saved replay
// could not be kept, a replay does not verify, or the session verified, loaded or watched none.
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/slots.h"
#include "headless/session.h"
#include "headless/bot.h"
#include "headless/replay_check.h"

namespace fs = std::filesystem;

namespace {

// Memory is measured at frame 100,000 (a tenth of a shorter run) and at the end. The game
// allocates nothing while it plays, so the heap it holds must not grow at all. The resident
// size may grow a little while the sanitizer's allocator settles (about 2 MiB over the first
// 600,000 frames, measured); beyond this slack it is a leak outside the heap.
constexpr int64_t kMemoryFrame = 100000;
constexpr long kResidentSlackKiB = 4096;

// Bytes of heap the program holds: under AddressSanitizer its allocator says (freed blocks it
// keeps in quarantine do not count), otherwise the C library's.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
long heap_kib() {
  if (__sanitizer_get_current_allocated_bytes != nullptr)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
  return static_cast<long>(mallinfo2().uordblks / 1024);
}

long resident_kib() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  long size = 0, resident = -1;
  if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident * 4;  // 4 KiB pages
}

// Centre of each title menu button, in game pixels.
struct Point {
  int32_t x, y;
};
constexpr Point kStart{120, 115}, kRanking{120, 145}, kSave{120, 175}, kLoad{120, 205};
constexpr Point kToggles[3] = {{72, 246}, {120, 246}, {168, 246}};  // SOUND, GUIDE, FLOOR
constexpr int kCancelRow = 17;

struct Counts {
  int64_t games = 0, escapes = 0, saves = 0, loads = 0, watched = 0, abandoned = 0, settings = 0, rankings = 0;
};

class Player {
 public:
  explicit Player(uint32_t seed) : rng_(seed) {}

  HeadlessEvent next(int64_t frame) {
    const auto scene = static_cast<uint16_t>(g.scene);
    if (scene != last_scene_) enter(scene);
    if (queued_ > 0) return queue_[--queued_];
    if (idle_ > 0) {
      --idle_;
      return {};
    }
    switch (scene) {
      case 0:
      case 6:
        return title();
      case 8:
        return save_menu();
      case 9:
        return load_menu();
      default:
        break;
    }
    if (g.playback != 0 && scene != 5 && scene != 7) {
      if (leave_at_ >= 0 && scene == 2 && g.scene_timer >= leave_at_) {
        leave_at_ = -1;
        ++counts.abandoned;
        if (chance(2)) {
          ++counts.escapes;
          cut_playback_ = true;
          return {NoxEvent::EscapeUp, 0, 0};
        }
        tap({120, 200});  // a tap during a playback gives it up
        return next_queued();
      }
      return {};
    }
    if (escape_at_ >= 0 && scene == 2 && g.scene_timer >= escape_at_) {
      escape_at_ = -1;
      ++counts.escapes;
      return {NoxEvent::EscapeUp, 0, 0};
    }
    return headless_bot_event(frame);
  }

  // After each frame: a replay file that has just been written is kept for verification. False
  // (with the reason in *why) when it cannot be: a replay left unchecked fails the session.
  bool after_frame(const fs::path& dir, std::string* why) {
    if (saving_ == 0 || g.scene == Scene::SaveReplay) return true;
    if (replay_frame_index() == 0) {  // the buffer is emptied only when the file was written
      char name[32];
      std::snprintf(name, sizeof name, "PIXBRK%02d.REP", saving_);
      char kept[64];
      std::snprintf(kept, sizeof kept, "%06lld-%s%s", static_cast<long long>(counts.saves),
                    cut_playback_ ? "cut-" : "", name);
      std::error_code ec;
      fs::copy_file(dir / name, dir / "kept" / kept, fs::copy_options::overwrite_existing, ec);
      if (ec) {
        *why = std::string("could not keep ") + name + ": " + ec.message();
        return false;
      }
      ++counts.saves;
      cut_playback_ = false;
    }
    saving_ = 0;
    return true;
  }

  Counts counts;

 private:
  bool chance(int one_in) { return rng_() % static_cast<uint32_t>(one_in) == 0; }
  int32_t pick(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(rng_() % static_cast<uint32_t>(hi - lo + 1)); }

  // Move, press, lift: three frames, queued in reverse.
  void tap(Point p) {
    queue_[0] = {NoxEvent::PointerUp, 0, 0};
    queue_[1] = {NoxEvent::PointerDown, 0, 0};
    queue_[2] = {NoxEvent::PointerMove, 2 * p.x, 2 * p.y};
    queued_ = 3;
  }
  void tap_row(int row) { tap({120, 57 + 14 * (row - 1) + 5}); }

  void enter(uint16_t scene) {
    if (scene == 1 && (last_scene_ == 0 || last_scene_ == 6 || last_scene_ == 9)) {
      // A game or a playback starts: decide now whether and when it is cut short.
      cut_playback_ = false;
      if (g.playback != 0) {
        ++counts.watched;
        leave_at_ = chance(2) ? pick(1, 1500) : -1;
      } else {
        ++counts.games;
        escape_at_ = chance(12) ? pick(1, 3000) : -1;
      }
    }
    if (scene == 7) ++counts.rankings;
    last_scene_ = scene;
    if (scene == 0 || scene == 6 || scene == 8 || scene == 9)
      idle_ = pick(0, 20);  // a person takes a moment before touching a menu
  }

  HeadlessEvent title() {
    const int32_t r = pick(0, 99);
    if (r < 45) {
      tap(kStart);
    } else if (r < 60) {
      ++counts.settings;
      tap(kToggles[pick(0, 2)]);
    } else if (r < 65) {
      tap(kRanking);
    } else if (r < 80) {
      tap(kSave);  // without a recording the button is disabled and the tap does nothing
    } else if (r < 95) {
      tap(kLoad);
    } else if (r < 98) {
      ++counts.escapes;
      return {NoxEvent::EscapeUp, 0, 0};
    } else {
      return {NoxEvent::PointerLeave, 0, 0};
    }
    return next_queued();
  }

  HeadlessEvent save_menu() {
    const int row = chance(6) ? kCancelRow : pick(1, REPLAY_SLOTS);
    if (row != kCancelRow) saving_ = row;
    tap_row(row);
    return next_queued();
  }

  HeadlessEvent load_menu() {
    int listed[REPLAY_SLOTS];
    int n = 0;
    for (int s = 1; s <= REPLAY_SLOTS; ++s)
      if (slot_has_replay(s)) listed[n++] = s;
    const bool cancel = n == 0 || chance(5);
    if (!cancel) ++counts.loads;
    tap_row(cancel ? kCancelRow : listed[pick(0, n - 1)]);
    return next_queued();
  }

  HeadlessEvent next_queued() { return queue_[--queued_]; }

  std::mt19937 rng_;
  HeadlessEvent queue_[3];
  int queued_ = 0;
  int idle_ = 0;
  uint16_t last_scene_ = 0xFFFF;
  int32_t leave_at_ = -1;
  int32_t escape_at_ = -1;
  int saving_ = 0;
  // Escape during a playback leaves the loaded replay in the buffer with its frame count at the
  // read position, and SAVE REPLAY then writes that cut copy under the whole game's header.
  bool cut_playback_ = false;
};

bool parse_number(std::string_view s, int64_t* out) {
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && ptr == s.data() + s.size() && *out > 0;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t frames = 0, seed = 0;
  if (argc != 4 || !parse_number(argv[1], &frames) || frames < 1000 || !parse_number(argv[3], &seed)) {
    std::fprintf(stderr, "usage: pixbrk-soak FRAMES DIR SEED  (FRAMES 1000 or more)\n");
    return 2;
  }
  const fs::path dir = fs::absolute(argv[2]);
  std::error_code ec;
  fs::create_directories(dir / "kept", ec);
  if (ec) {
    std::fprintf(stderr, "pixbrk-soak: cannot make %s: %s\n", (dir / "kept").c_str(), ec.message().c_str());
    return 1;
  }

  Player player(static_cast<uint32_t>(seed));
  const int64_t mark = frames >= 10 * kMemoryFrame ? kMemoryFrame : frames / 10;
  long resident_at_mark = -1, heap_at_mark = -1;
  HeadlessOptions o;
  o.dir = dir.string();
  o.max_frames = frames;
  o.input = [&](int64_t frame, HeadlessEvent* ev) {
    *ev = player.next(frame);
    return true;
  };
  std::string kept_failed;
  o.on_frame = [&](int64_t frame) {
    if (!player.after_frame(dir, &kept_failed)) return false;
    if (frame + 1 == mark) {
      resident_at_mark = resident_kib();
      heap_at_mark = heap_kib();
    }
    return true;
  };
  HeadlessResult r;
  if (headless_run(o, &r) != 0 || !kept_failed.empty()) {
    std::printf("soak: FAILED: %s\n", kept_failed.empty() ? r.error.c_str() : kept_failed.c_str());
    return 1;
  }
  const long resident_at_end = resident_kib(), heap_at_end = heap_kib();
  const Counts& c = player.counts;
  std::printf("soak: %s\n", headless_summary(r).c_str());
  std::printf("soak: games %lld, Escape pressed %lld times, replays saved %lld, loaded %lld, playbacks %lld "
              "(abandoned %lld), settings changed %lld, rankings shown %lld\n",
              static_cast<long long>(c.games), static_cast<long long>(c.escapes), static_cast<long long>(c.saves),
              static_cast<long long>(c.loads), static_cast<long long>(c.watched),
              static_cast<long long>(c.abandoned), static_cast<long long>(c.settings),
              static_cast<long long>(c.rankings));
  std::printf("soak: resident memory at frame %lld: %ld KiB, at the end: %ld KiB; heap in use: %ld KiB, %ld KiB\n",
              static_cast<long long>(mark), resident_at_mark, resident_at_end, heap_at_mark, heap_at_end);
  if (heap_at_end > heap_at_mark || resident_at_end - resident_at_mark > kResidentSlackKiB) {
    std::printf("soak: memory grew after frame %lld\n", static_cast<long long>(mark));
    return 1;
  }

  // Every saved replay, as it was when saved. A game given up with Escape has no date in its
  // header and is listed as NO DATA, so it cannot be played. A playback cut by Escape and saved
  // keeps the header of the whole game it came from, so it cannot reach that score; these are
  // counted apart. Every other must verify.
  std::vector<fs::path> kept;
  for (const auto& e : fs::directory_iterator(dir / "kept")) kept.push_back(e.path());
  std::sort(kept.begin(), kept.end());
  int verified = 0, no_data = 0, cut = 0;
  for (const fs::path& p : kept) {
    if (p.filename().string().find("-cut-") != std::string::npos) {
      ++cut;
      continue;
    }
    uint8_t date[16] = {};
    std::FILE* f = std::fopen(p.c_str(), "rb");
    const bool dated = f != nullptr && std::fread(date, 1, sizeof date, f) == sizeof date && is_timestamp(date);
    if (f != nullptr) std::fclose(f);
    if (!dated) {
      ++no_data;
      continue;
    }
    ReplayVerdict check;
    if (verify_replay(p.string(), dir.string(), &check) != 0) {
      std::printf("soak: %s does not verify: %s\n", p.filename().c_str(), check.message.c_str());
      return 1;
    }
    ++verified;
  }
  std::printf("soak: %d saved replays verified (score and length as in their headers); %d saved after Escape "
              "ended a game (NO DATA), %d after Escape cut a playback (not checked)\n", verified, no_data, cut);
  if (verified == 0 || c.loads == 0 || c.watched == 0) {
    std::printf("soak: FAILED: the session checked too little (%d replays verified, %lld loaded, %lld watched; "
                "each must be more than none)\n", verified, static_cast<long long>(c.loads),
                static_cast<long long>(c.watched));
    return 1;
  }
  return 0;
}
