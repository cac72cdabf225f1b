// The local top-16 ranking, the settings record, SCORE.DAT and the ranking display.
#include "game/ranking.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/draw.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/replay.h"
#include "game/text.h"
#include "pack/files.h"
#include "pack/savefile.h"

PER_THREAD uint8_t ranking_table[RANKING_BYTES];
PER_THREAD uint8_t settings_record[SETTINGS_BYTES];

namespace {

constexpr int ENTRY_BYTES = 20;
constexpr int DATE_BYTES = 16;
constexpr uint32_t SCORE_LIMIT = 9999999;
constexpr const char* SCORE_FILE = "SCORE.DAT";

uint8_t* entry_at(int entry) { return ranking_table + ENTRY_BYTES * entry; }

}  // namespace

uint32_t ranking_score(int entry) { return get_le32(entry_at(entry) + DATE_BYTES); }

void make_date_text(uint8_t* field16) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  char text[64];
  if (local == nullptr) {
    std::memcpy(text, DATE_PLACEHOLDER, DATE_BYTES);
  } else {
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d", local->tm_year + 1900, local->tm_mon + 1,
                  local->tm_mday, local->tm_hour, local->tm_min);
  }
  std::memcpy(field16, text, DATE_BYTES);
}

void read_score_file() {
  std::memset(ranking_table, 0, sizeof ranking_table);
  std::memset(settings_record, 0, sizeof settings_record);
  std::FILE* f = files_open(SCORE_FILE, "rb");
  if (f == nullptr) return;
  // A short file leaves the rest zero; a long one is read no further than the record.
  if (std::fread(ranking_table, 1, sizeof ranking_table, f) == sizeof ranking_table) {
    (void)std::fread(settings_record, 1, sizeof settings_record, f);
  }
  std::fclose(f);
  nox_set_mute(settings_record[8]);
}

int check_ranking() {
  read_score_file();
  for (int i = 0; i < RANKING_ENTRIES; ++i) {
    const uint8_t* e = entry_at(i);
    if (ranking_score(i) > SCORE_LIMIT) return -1;
    if (std::memcmp(e, DATE_PLACEHOLDER, DATE_BYTES) != 0 && !is_timestamp(e)) return -1;
  }
  g.hi_score = ranking_score(0);
  return 0;
}

void reset_ranking() {
  for (int i = 0; i < RANKING_ENTRIES; ++i) {
    uint8_t* e = entry_at(i);
    std::memcpy(e, DATE_PLACEHOLDER, DATE_BYTES);
    put_le32(e + DATE_BYTES, 0);
  }
}

void write_score_file() {
  settings_record[8] = nox_get_mute();
  // A failed write is ignored: memory keeps the new table and settings.
  char path[FILES_PATH_MAX];
  if (files_path(SCORE_FILE, path) != nullptr)
    (void)save_file(path, ranking_table, sizeof ranking_table, settings_record, sizeof settings_record);
}

void register_score() {
  if (g.playback != 0) return;
  make_date_text(replay_buffer + REPLAY_DATE_AT);
  replay_set_score(g.score);

  int place = -1;
  for (int i = 0; i < RANKING_ENTRIES; ++i) {
    if (ranking_score(i) <= g.score) {
      place = i;
      break;
    }
  }
  if (place < 0) return;  // not ranked, the file stays as it is
  if (place < RANKING_ENTRIES - 1) {
    std::memmove(entry_at(place + 1), entry_at(place),
                 static_cast<size_t>(ENTRY_BYTES * (RANKING_ENTRIES - 1 - place)));
  }
  uint8_t* e = entry_at(place);
  std::memcpy(e, replay_buffer + REPLAY_DATE_AT, DATE_BYTES);
  put_le32(e + DATE_BYTES, g.score);
  write_score_file();
}

int scene_ranking() {
  print_large(0, 68, 40, "LOCAL RANKING");
  bool marked = false;
  for (int i = 0; i < RANKING_ENTRIES; ++i) {
    const uint32_t entry_score = ranking_score(i);
    if (!marked && g.score != 0 && g.score == entry_score) {
      nox_boxf_sp(9, 59 + 14 * i, 230, 68 + 14 * i, 70);
      marked = true;
    }
    char date[DATE_BYTES + 1];
    std::memcpy(date, entry_at(i), DATE_BYTES);
    date[DATE_BYTES] = '\0';
    print_large(0, 8, 60 + 14 * i, "%2d:%7u0 %s", i + 1, entry_score, date);
  }
  if (g.touch_released != 0) g.scene = g.scene == Scene::RankingFromTitle ? Scene::TitleAgain : Scene::Title;
  if (g.frame_counter % 50 < 25) print_large(0, 72, 290, "PLEASE TOUCH");
  return 0;
}
