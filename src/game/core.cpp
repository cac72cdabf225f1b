// The core's start, step, picture, sound and stop around the game's own nox_init and nox_frame.
#include "game/core.h"

#include <cstdio>
#include <cstring>

#include "engine/draw.h"
#include "game/game.h"
#include "game/replay.h"
#include "game/rng.h"
#include "game/slots.h"
#include "game/title.h"
#include "pack/files.h"
#include "pack/log.h"
#include "pack/pack.h"

namespace {

// The fixed line numbers of the start-up's and the shut-down's own log lines.
constexpr int kLineLoadbin = 149;
constexpr int kLineNoxInit = 212;
constexpr int kLineExit = 300;

// The sprite plane holds a frame's drawing that no composition has emptied yet.
PER_THREAD bool sprites_left = false;

// Everything a fresh program starts with, so that a run never sees anything of an earlier one.
void fresh_state(const GameOptions& o) {
  pack_unload();
  nox_free_banks();
  nox_free_slots();
  nox_touch = NoxTouch{};
  nox_set_mute(0);
  rng_seed(0);
  particle_next = 0;
  explosion_next = 0;
  title_menu_reset();
  slot_menus_reset();
  std::memset(nox_sp, 0, sizeof nox_sp);
  std::memset(nox_bg, 0, sizeof nox_bg);
  sprites_left = false;
  nox_set_drawing(o.drawing);
  files_use(o.folder);
  putlog_set_source(o.log_source);
}

}  // namespace

Status game_start(const GameOptions& o) {
  fresh_state(o);
  putlog_restart();
  putlog(nullptr, 0, "%s", o.first_line);
  if (o.after_first_line != nullptr) o.after_first_line(o.host);

  Status s;
  const int loaded = o.pack_bytes != nullptr ? loadbin_bytes(o.pack_bytes, o.pack_size, o.pack_path, &s)
                                             : loadbin(o.pack_path, &s);
  if (loaded != 0) {
    putlog(o.log_source, kLineLoadbin, "loadbin error.");
    s.code = GAME_PACK_FAILED;
    return s;
  }
  if (o.open_devices != nullptr && o.open_devices(o.host, &s) != 0) {
    s.code = GAME_DEVICES_FAILED;
    return s;
  }
  if (nox_init(&s) != 0) {
    putlog(o.log_source, kLineNoxInit, "nox_init error.");
    nox_free_banks();
    nox_free_slots();
    s.code = GAME_INIT_FAILED;
    return s;
  }
  return Status{};
}

GameStep game_step(const GameInput& in, bool shown) {
  if (in.event == NoxEvent::Quit) return GameStep::Quit;
  if (in.event == NoxEvent::EscapeUp) {
    game_reset();  // abandons whatever runs: the title menu
  } else {
    nox_touch_event(in.event, in.x, in.y, in.client_w, in.client_h);
  }
  if (shown && sprites_left) std::memset(nox_sp, 0, sizeof nox_sp);
  sprites_left = nox_drawing();
  if (nox_frame() != 0) return GameStep::Ended;
  nox_touch_tick();
  return GameStep::Next;
}

void game_compose(int32_t pitch, void* pixels) {
  nox_compose(pitch, pixels);
  sprites_left = false;
}

void game_screen(uint8_t* indices) {
  for (int32_t i = 0; i < NOX_W * NOX_H; ++i) indices[i] = nox_sp[i] != 0 ? nox_sp[i] : nox_bg[i];
}

const uint32_t* game_palette() { return nox_palette; }

void game_mix(uint8_t* buffer, int32_t bytes) { nox_mixpcm(buffer, bytes); }

void game_stop() {
  nox_free_banks();
  nox_free_slots();
  putlog(putlog_source(), kLineExit, "Exit program.");
  pack_unload();
}

const Game& game_state() { return g; }

int game_play_replay(const uint8_t* data, size_t size) { return load_replay_bytes(data, size); }

const uint8_t* game_slot_header(int slot) { return slot_has_replay(slot) ? slot_dir[slot - 1] : nullptr; }

int game_import_replay(int slot, const uint8_t* data, size_t size, Status* why) {
  return import_replay_slot(slot, data, size, why);
}

int game_check_replay(const uint8_t* data, size_t size, ReplayCheck* out, bool (*go_on)(void*), void* context) {
  *out = ReplayCheck{};
  if (size < REPLAY_HEADER_BYTES || game_play_replay(data, size) != 0) {
    std::snprintf(out->message, sizeof out->message, "not a replay the game can play");
    return 2;
  }
  const uint32_t claimed = get_le32(data + REPLAY_FRAMES_AT);
  // Every play frame reads one record and moves the read position on; a playback that reads
  // more records than the header counts is stopped there (a made-up file could otherwise keep a
  // game going for ever).
  uint32_t read_at = 0;
  for (int64_t frame = 0;; ++frame) {
    const GameStep step = game_step(GameInput{}, false);
    out->run_frames = frame + 1;
    if (replay_frame_index() != read_at) {
      read_at = replay_frame_index();
      if (out->played_frames++ == 0) out->first_play_frame = frame;
    }
    if (out->played_frames > claimed) {
      out->overran = true;
      break;
    }
    if (go_on != nullptr && (frame & 1023) == 1023 && !go_on(context)) {
      out->stopped = true;
      break;
    }
    if (step != GameStep::Next || g.scene == Scene::Title) break;  // the title menu is back
  }
  out->score = g.score;
  const auto frames = [](int64_t n) { return n == 1 ? "frame" : "frames"; };
  char* m = out->message;
  const size_t n = sizeof out->message;
  if (out->stopped) {
    std::snprintf(m, n, "stopped after %lld %s of playback", static_cast<long long>(out->run_frames),
                  frames(out->run_frames));
    return 2;
  }
  if (out->overran) {
    std::snprintf(m, n, "frames: the game goes on past the %u %s its header counts", claimed, frames(claimed));
  } else if (out->played_frames != claimed) {
    std::snprintf(m, n, "frames: the game ended after %lld %s, its header says %u",
                  static_cast<long long>(out->played_frames), frames(out->played_frames), claimed);
  } else if (out->score != get_le32(data + REPLAY_SCORE_AT)) {
    std::snprintf(m, n, "score: the game ended with %llu, its header says %llu",
                  static_cast<unsigned long long>(out->score) * 10,
                  static_cast<unsigned long long>(get_le32(data + REPLAY_SCORE_AT)) * 10);
  } else {
    std::snprintf(m, n, "score %llu in %u %s", static_cast<unsigned long long>(out->score) * 10, claimed,
                  frames(claimed));
    return 0;
  }
  return 1;
}
