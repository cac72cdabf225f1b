// Watching a ranked game in the page: its replay is played back exactly as LOAD REPLAY plays a
// slot, through the game's own loader. The player's own recording (what SAVE REPLAY would save)
// waits aside meanwhile and comes back when the playback has ended, since the title menu clears
// the replay buffer after every playback.
#include "nox_web/watch.h"

#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstring>

#include "game/core.h"
#include "game/replay.h"

namespace {

uint8_t held[REPLAY_BUFFER_BYTES];
uint32_t held_bytes = 0;  // 0: nothing held aside
bool watching = false;    // a playback started here runs
uint32_t watched_score = 0;  // tens of points, at the latest frame of the latest watched playback

bool at_title() {
  const Game& g = game_state();
  return g.playback == 0 && (g.scene == Scene::Title || g.scene == Scene::TitleAgain);
}

// The recording in the replay buffer, as SAVE REPLAY would save it: 0 bytes when there is none.
uint32_t recording_bytes() {
  if (game_state().playback != 0 || replay_frame_index() == 0) return 0;
  return REPLAY_HEADER_BYTES + replay_recorded_frames() * REPLAY_RECORD_BYTES;
}

}  // namespace

void watch_after_frame() {
  if (!watching) return;
  if (game_state().playback != 0) {
    watched_score = game_state().score;
    return;
  }
  watching = false;
  if (held_bytes != 0) std::memcpy(replay_buffer, held, held_bytes);
  held_bytes = 0;
}

extern "C" {

// Starts the playback of a replay file's bytes, from the title menu or in place of another
// playback. 0 when it runs; -1 when the slot menus would not list the file (NO DATA); -2 while
// a game is played or a menu other than the title is open.
EMSCRIPTEN_KEEPALIVE int web_watch(const uint8_t* data, uint32_t size) {
  if (size < REPLAY_HEADER_BYTES || !replay_header_usable(data)) return -1;
  if (!at_title() && game_state().playback == 0) return -2;
  // A playback already running holds no recording of the player's (or its own is held already).
  const uint32_t keep = at_title() ? recording_bytes() : 0;
  if (keep != 0) std::memcpy(held, replay_buffer, keep);
  if (game_play_replay(data, size) != 0) return -1;
  if (keep != 0) held_bytes = keep;
  watching = true;
  watched_score = 0;
  return 0;
}

// 1 while a watched playback runs.
EMSCRIPTEN_KEEPALIVE int web_watching() { return watching ? 1 : 0; }

// The score (tens of points) at the latest frame of the latest watched playback.
EMSCRIPTEN_KEEPALIVE uint32_t web_watched_score() { return watched_score; }

// The player's finished game, the bytes SAVE REPLAY would save (held aside while a ranked game
// is watched), or null when there is none: no game yet, one given up with Escape or saved already.
EMSCRIPTEN_KEEPALIVE const uint8_t* web_recording(uint32_t* size) {
  const uint8_t* bytes = held_bytes != 0 ? held : replay_buffer;
  *size = held_bytes != 0 ? held_bytes : recording_bytes();
  if (*size == 0 || !replay_header_usable(bytes)) return nullptr;
  return bytes;
}

}  // extern "C"
