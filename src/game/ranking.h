// The local top-16 ranking, the settings record and SCORE.DAT.
#pragma once
#include <cstdint>

#include "pack/per_thread.h"

constexpr int RANKING_ENTRIES = 16;
constexpr int RANKING_BYTES = 320;  // 16 entries of 20 bytes: date text (16), score (u32 LE)
constexpr int SETTINGS_BYTES = 12;  // 8 mute, 9 guide, 10 floor; 0-7 and 11 reserved
constexpr int SCORE_FILE_BYTES = RANKING_BYTES + SETTINGS_BYTES;  // 332

extern PER_THREAD uint8_t ranking_table[RANKING_BYTES];
extern PER_THREAD uint8_t settings_record[SETTINGS_BYTES];

// Placeholder date text of an empty entry.
inline constexpr char DATE_PLACEHOLDER[17] = "----/--/-- --:--";

uint32_t ranking_score(int entry);  // entry 0..15
void make_date_text(uint8_t* field16);

void read_score_file();
int check_ranking();  // 0 valid, -1 not
void reset_ranking();
void write_score_file();
void register_score();
