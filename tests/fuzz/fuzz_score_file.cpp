// Any SCORE.DAT: start-up reading and checking, a registered score, the display and a rewrite.
#include <cstring>

#include "engine/sound.h"
#include "fuzz_dir.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"

namespace {

bool entry_valid(int i) {
  const uint8_t* e = ranking_table + 20 * i;
  return ranking_score(i) <= 9999999 && (std::memcmp(e, DATE_PLACEHOLDER, 16) == 0 || is_timestamp(e));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_scratch_dir();
  fuzz_write_file("SCORE.DAT", data, size);
  g = Game{};
  nox_set_mute(0);

  if (check_ranking() != 0) reset_ranking();
  for (int i = 0; i < RANKING_ENTRIES; ++i) fuzz_require(entry_valid(i), "a checked table holds only valid entries");
  if (size >= SCORE_FILE_BYTES) {
    fuzz_require(std::memcmp(settings_record, data + RANKING_BYTES, SETTINGS_BYTES) == 0,
                 "the settings come from bytes 320-331");
    fuzz_require(nox_get_mute() == data[328], "the mute flag comes from byte 328");
  }

  // A finished game whose score comes from the input's first bytes (within the valid range).
  uint32_t score = 0;
  for (size_t i = 0; i < size && i < 3; ++i) score = score * 256u + data[i];
  g.score = score % 10000000u;
  int place = -1;
  for (int i = 0; i < RANKING_ENTRIES && place < 0; ++i) {
    if (ranking_score(i) <= g.score) place = i;
  }
  register_score();
  if (place >= 0) {
    fuzz_require(ranking_score(place) == g.score && std::memcmp(ranking_table + 20 * place, replay_buffer, 16) == 0,
                 "a ranked game takes the first place not above it, with the recording's date");
  }
  for (int i = 0; i < RANKING_ENTRIES; ++i) fuzz_require(entry_valid(i), "a registered game keeps the table valid");
  g.scene = Scene::RankingFromTitle;
  scene_ranking();

  // What was written reads back as the same table and settings.
  uint8_t table[RANKING_BYTES];
  uint8_t settings[SETTINGS_BYTES];
  std::memcpy(table, ranking_table, sizeof table);
  write_score_file();
  std::memcpy(settings, settings_record, sizeof settings);
  fuzz_require(check_ranking() == 0, "a written table passes the check");
  fuzz_require(std::memcmp(table, ranking_table, sizeof table) == 0, "the table survives a rewrite");
  fuzz_require(std::memcmp(settings, settings_record, sizeof settings) == 0, "the settings survive a rewrite");
  return 0;
}
