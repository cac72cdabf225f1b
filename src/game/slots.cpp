// Replay files PIXBRK01.REP .. PIXBRK16.REP, the slot directory and the two slot menus.
#include "game/slots.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/draw.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/text.h"
#include "pack/files.h"
#include "pack/savefile.h"

PER_THREAD uint8_t slot_dir[REPLAY_SLOTS][REPLAY_HEADER_BYTES];

namespace {

constexpr int CANCEL_ROW = 17;

// Each menu remembers where the pointer was last seen while pressed.
PER_THREAD int32_t save_touch_x, save_touch_y;
PER_THREAD int32_t load_touch_x, load_touch_y;

void slot_file_name(char (&name)[32], int slot) { std::snprintf(name, sizeof name, "PIXBRK%02d.REP", slot); }

// Starts playing back a replay from its header and the records `read(to, n)` copies (as many
// as it has, at most n bytes). The header is checked before the buffer is touched, so an
// unusable replay changes nothing; records missing at the end read as zero.
template <typename Read>
int play_back(const uint8_t* header, Read read) {
  if (!replay_header_usable(header)) return -1;
  std::memcpy(replay_buffer, header, REPLAY_HEADER_BYTES);
  uint8_t* records = replay_buffer + REPLAY_RECORDS_AT;
  const size_t got = read(records, static_cast<size_t>(get_le32(header + REPLAY_FRAMES_AT)) * REPLAY_RECORD_BYTES);
  std::memset(records + got, 0, REPLAY_BUFFER_BYTES - REPLAY_RECORDS_AT - got);
  game_begin(1, replay_buffer[REPLAY_GUIDE_AT], replay_buffer[REPLAY_FLOOR_AT]);
  replay_set_frame_index(0);  // from now on the read position
  return 0;
}

// The same from a replay file.
int load_into_buffer(std::FILE* f) {
  if (f == nullptr) return -1;
  uint8_t header[REPLAY_HEADER_BYTES];
  const bool whole = std::fread(header, 1, sizeof header, f) == sizeof header;
  const int result = whole ? play_back(header, [f](uint8_t* to, size_t n) { return std::fread(to, 1, n, f); }) : -1;
  std::fclose(f);
  return result;
}

// The row under the remembered touch position, 1..16 for a slot, 17 for CANCEL, 0 for none.
int row_under_touch(int32_t x, int32_t y, bool only_replays) {
  if (g.touch_pressed == 0 && g.touch_released == 0) return 0;
  if (x < 7 || x > 233) return 0;
  for (int r = 0; r < CANCEL_ROW; ++r) {
    if (y >= 57 + 14 * r && y <= 68 + 14 * r) {
      if (r < REPLAY_SLOTS && only_replays && !slot_has_replay(r + 1)) return 0;
      return r + 1;
    }
  }
  return 0;
}

// Draws the slot list and returns the chosen row.
int slot_list(bool load_menu, int32_t& touch_x, int32_t& touch_y) {
  if (g.touch_pressed != 0) {
    touch_x = g.touch_x;
    touch_y = g.touch_y;
  }
  print_large(0, 28, 40, load_menu ? "SELECT LOAD-REPLAY SLOT" : "SELECT SAVE-REPLAY SLOT");
  const int chosen = row_under_touch(touch_x, touch_y, load_menu);
  for (int r = 0; r < CANCEL_ROW; ++r) {
    const int top = 58 + 14 * r;
    const bool listed = r < REPLAY_SLOTS && slot_has_replay(r + 1);
    int colour = (chosen == r + 1) ? 15 : 6;
    if (load_menu && r < REPLAY_SLOTS && !listed) colour = 102;
    nox_boxf_sp(8, top, 231, top + 11, colour);
    if (r == REPLAY_SLOTS) {
      print_large(0, 8, top + 2, "CANCEL");
    } else if (listed) {
      char date[17];
      std::memcpy(date, slot_dir[r], 16);
      date[16] = '\0';
      print_large(0, 8, top + 2, "%2d:%7u0 %s", r + 1, get_le32(slot_dir[r] + REPLAY_SCORE_AT), date);
    } else {
      print_large(0, 8, top + 2, "%2d: NO DATA", r + 1);
    }
  }
  return (g.touch_released != 0) ? chosen : 0;
}

}  // namespace

void slot_scan() {
  for (int s = 1; s <= REPLAY_SLOTS; ++s) {
    uint8_t* entry = slot_dir[s - 1];
    std::memset(entry, 0, REPLAY_HEADER_BYTES);
    char name[32];
    slot_file_name(name, s);
    std::FILE* f = files_open(name, "rb");
    if (f == nullptr) continue;
    const size_t got = std::fread(entry, 1, REPLAY_HEADER_BYTES, f);
    std::fclose(f);
    if (got != REPLAY_HEADER_BYTES || !replay_header_usable(entry)) std::memset(entry, 0, REPLAY_HEADER_BYTES);
  }
}

bool slot_has_replay(int slot) {
  if (slot < 1 || slot > REPLAY_SLOTS) return false;
  return is_timestamp(slot_dir[slot - 1] + REPLAY_DATE_AT);
}

void slot_menus_reset() {
  save_touch_x = save_touch_y = 0;
  load_touch_x = load_touch_y = 0;
}

int load_replay_slot(int slot) {
  if (slot < 1 || slot > REPLAY_SLOTS) return -1;
  char name[32];
  slot_file_name(name, slot);
  if (load_into_buffer(files_open(name, "rb")) != 0) return -1;
  std::memcpy(slot_dir[slot - 1], replay_buffer, REPLAY_HEADER_BYTES);
  return 0;
}

int load_replay_file(const char* path) { return path == nullptr ? -1 : load_into_buffer(files_open(path, "rb")); }

int load_replay_bytes(const uint8_t* data, size_t size) {
  if (data == nullptr || size < REPLAY_HEADER_BYTES) return -1;
  return play_back(data, [&](uint8_t* to, size_t n) {
    const size_t got = std::min(n, size - REPLAY_HEADER_BYTES);
    std::memcpy(to, data + REPLAY_HEADER_BYTES, got);
    return got;
  });
}

int import_replay_slot(int slot, const uint8_t* data, size_t size, Status* why) {
  if (slot < 1 || slot > REPLAY_SLOTS) return status_fail(why, -1, "there is no slot %d", slot);
  if (size < REPLAY_HEADER_BYTES || !replay_header_usable(data))
    return status_fail(why, -1, "not a replay the slot menus list");
  char name[32], path[FILES_PATH_MAX];
  slot_file_name(name, slot);
  Status saved;
  if (files_path(name, path) == nullptr) {
    status_fail(&saved, -2, "no files are kept");
  } else if (save_file(path, data, size, nullptr, 0, &saved) != 0) {
    saved.code = -2;
  }
  if (!saved.ok()) {
    if (why != nullptr) *why = saved;
    return saved.code;
  }
  slot_scan();
  return 0;
}

int scene_save_replay() {
  const int chosen = slot_list(false, save_touch_x, save_touch_y);
  if (chosen == CANCEL_ROW) {
    nox_playpcm(2);
    g.scene = Scene::TitleAgain;
  } else if (chosen != 0) {
    nox_playpcm(0);
    char name[32], path[FILES_PATH_MAX];
    slot_file_name(name, chosen);
    const uint32_t frames = replay_recorded_frames();
    if (files_path(name, path) != nullptr &&
        save_file(path, replay_buffer, REPLAY_HEADER_BYTES, replay_buffer + REPLAY_RECORDS_AT,
                  static_cast<size_t>(frames) * REPLAY_RECORD_BYTES) == 0) {
      std::memcpy(slot_dir[chosen - 1], replay_buffer, REPLAY_HEADER_BYTES);
      replay_clear();
    }
    g.scene = Scene::TitleAgain;
  }
  return 0;
}

int scene_load_replay() {
  const int chosen = slot_list(true, load_touch_x, load_touch_y);
  if (chosen == 0) return 0;
  nox_playpcm(2);
  if (chosen == CANCEL_ROW || load_replay_slot(chosen) != 0) g.scene = Scene::TitleAgain;
  return 0;
}
