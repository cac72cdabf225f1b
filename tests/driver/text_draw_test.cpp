// What the text routines, the frame driver, the title menu, the ranking display and the slot
// menus put on the sprite plane. The font bank is replaced by a coded one: the top-left pixel of
// every glyph cell holds a number naming that glyph and the rest of the cell a body colour, so a
// line of text can be read back from the plane cell by cell.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "driver_harness.h"
#include "engine/draw.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "game/game.h"
#include "game/ranking.h"
#include "game/replay.h"
#include "game/text.h"

namespace {

constexpr uint8_t kBody = 250;

// Colours the game fills and outlines with; glyph codes avoid them.
bool reserved(int v) {
  for (int c : {2, 6, 15, 53, 54, 63, 70, 72, 74, 99, 102, 250}) {
    if (v == c) return true;
  }
  return false;
}

struct Glyph {
  int sx, sy;
  char ch;
};

// Every glyph cell of the font bank with the character it stands for; code = index into this.
struct CodedFont {
  std::array<Glyph, 256> cells{};
  std::array<uint8_t, 256> code_of_cell{};
  std::array<char, 256> char_of_code{};
  int count = 0;
};

CodedFont make_font() {
  CodedFont f;
  auto add = [&f](int sx, int sy, char ch) { f.cells[static_cast<size_t>(f.count++)] = {sx, sy, ch}; };
  for (int c = 32; c < 128; ++c) add(8 * ((c - 32) % 16), 8 * ((c - 32) / 16), static_cast<char>(c));
  for (int d = 0; d < 10; ++d) add(4 * d, 48, static_cast<char>('0' + d));
  for (int l = 0; l < 26; ++l) add(4 * l, 56, static_cast<char>('A' + l));
  add(104, 56, '.');
  add(108, 56, ' ');
  int code = 1;
  for (int i = 0; i < f.count; ++i) {
    while (reserved(code)) ++code;
    f.code_of_cell[static_cast<size_t>(i)] = static_cast<uint8_t>(code);
    f.char_of_code[static_cast<size_t>(code)] = f.cells[static_cast<size_t>(i)].ch;
    ++code;
  }
  return f;
}

const CodedFont& font() {
  static const CodedFont f = make_font();
  return f;
}

// Rewrites bank 0 (128 x 64) with the coded glyph cells.
void install_coded_font() {
  NoxBank& b = nox_banks[0];
  ASSERT_GE(b.width, 128);
  ASSERT_GE(b.height, 64);
  std::memset(b.pixels, 0, static_cast<size_t>(b.width * b.height));
  const CodedFont& f = font();
  for (int i = 0; i < f.count; ++i) {
    const Glyph& gl = f.cells[static_cast<size_t>(i)];
    const int w = gl.sy < 48 ? 8 : 4;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < w; ++x) b.pixels[(gl.sy + y) * b.width + gl.sx + x] = kBody;
    }
    b.pixels[gl.sy * b.width + gl.sx] = f.code_of_cell[static_cast<size_t>(i)];
  }
}

uint8_t sp_at(int32_t x, int32_t y) { return nox_sp[y * NOX_W + x]; }

// Reads `cells` cells of width `w` from (x, y): the character of a whole glyph, '_' for a cell
// holding no glyph, '?' for a glyph whose corner or body is out of place.
std::string read_text(const uint8_t* plane, int32_t x, int32_t y, int w, int cells) {
  std::string s;
  for (int i = 0; i < cells; ++i) {
    const int32_t cx = x + w * i;
    const uint8_t corner = plane[y * NOX_W + cx];
    const char ch = font().char_of_code[corner];
    if (ch == 0) {
      s += '_';
      continue;
    }
    const bool body = plane[(y + 7) * NOX_W + cx + w - 1] == kBody && plane[y * NOX_W + cx + 1] == kBody;
    s += body ? ch : '?';
  }
  return s;
}

std::string sp_small(int32_t x, int32_t y, int cells) { return read_text(nox_sp, x, y, 4, cells); }
std::string sp_large(int32_t x, int32_t y, int cells) { return read_text(nox_sp, x, y, 8, cells); }

// A started program with the coded font, its planes as the next frame will see them.
struct Drawn : ::testing::Test {
  Session s;
  void SetUp() override {
    install_coded_font();
    // The title picture's last row meets the version line; a blank picture keeps it readable.
    NoxBank& title = nox_banks[2];
    std::memset(title.pixels, 0, static_cast<size_t>(title.width * title.height));
    std::memset(nox_sp, 0, sizeof nox_sp);
  }
  // One frame without composition, so the sprite plane can be read afterwards.
  int frame() {
    std::memset(nox_sp, 0, sizeof nox_sp);
    return nox_frame();
  }
};

struct TextCase {
  bool large;
  int32_t bg;
  int32_t x;
  const char* text;
  const char* seen;  // read back over strlen(seen) cells from x
};

class TextCells : public Drawn, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextCells, GlyphsTakeOneCellEach) {
  const TextCase c = GetParam();
  std::memset(nox_bg, 0, sizeof nox_bg);
  const int cells = static_cast<int>(std::strlen(c.seen));
  if (c.large) {
    print_large(c.bg, c.x, 100, "%s", c.text);
  } else {
    print_small(c.bg, c.x, 100, "%s", c.text);
  }
  const uint8_t* plane = c.bg != 0 ? nox_bg : nox_sp;
  EXPECT_EQ(read_text(plane, c.x, 100, c.large ? 8 : 4, cells), c.seen) << c.text;
  // Nothing lands in the cell before the text or on the other plane.
  EXPECT_EQ(plane[100 * NOX_W + c.x - 1], 0);
  const uint8_t* other = c.bg != 0 ? nox_sp : nox_bg;
  EXPECT_EQ(other[100 * NOX_W + c.x], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, TextCells,
    ::testing::Values(
        TextCase{false, 0, 9, "NO COMBO.", "NO_COMBO."}, TextCase{false, 0, 20, "Ab1", "A_1"},
        TextCase{false, 1, 20, "1 2", "1 2"}, TextCase{false, 0, 20, "1 2", "1_2"},
        TextCase{false, 0, 20, "a-Z9/", "__Z9_"}, TextCase{false, 0, 20, "X\x80Y", "X_Y"},
        TextCase{true, 0, 64, "ON", "ON"}, TextCase{true, 0, 16, "az{~\x7f", "az{~\x7f"},
        TextCase{true, 1, 16, "A B", "A B"}, TextCase{true, 0, 16, "A B", "A_B"},
        TextCase{true, 0, 16, "\x1f!\xff#", "_!_#"}));

TEST_F(Drawn, LargeGlyphComesFromItsPlaceInTheBank) {
  print_large(0, 64, 248, "ON");
  // "O" is code 79: row 2, column 15; "N" row 2, column 14.
  const CodedFont& f = font();
  EXPECT_EQ(sp_at(64, 248), f.code_of_cell[79 - 32]);
  EXPECT_EQ(f.cells[79 - 32].sx, 120);
  EXPECT_EQ(f.cells[79 - 32].sy, 16);
  EXPECT_EQ(sp_at(72, 248), f.code_of_cell[78 - 32]);
}

TEST_F(Drawn, TextIsCutAtTheRightEdge) {
  print_large(0, 224, 100, "ABCD");
  EXPECT_EQ(sp_large(224, 100, 2), "AB");
  print_small(0, 236, 120, "XYZ");
  EXPECT_EQ(sp_small(236, 120, 1), "X");
  print_large(0, 228, 140, "AB");  // "B" straddles the edge: its left half is drawn
  EXPECT_EQ(sp_at(236, 140), font().code_of_cell['B' - 32]);
  EXPECT_EQ(sp_at(239, 147), kBody);
}

TEST_F(Drawn, OverlongTextIsCutAt63Characters) {
  const std::string text(80, 'A');
  print_small(0, -16, 120, "%s", text.c_str());  // cell 62 at x 232 is the last one drawn
  EXPECT_EQ(sp_small(0, 120, 59), std::string(59, 'A'));
  EXPECT_EQ(sp_small(236, 120, 1), "_");
}

struct StatsCase {
  int8_t max_combo;
  uint16_t items_caught;
  const char* left;
  int32_t right_x;
  const char* right;
};

class StatsLine : public Drawn, public ::testing::WithParamInterface<StatsCase> {};

TEST_P(StatsLine, ComboOnTheLeftAttackValueEndingAt231) {
  const StatsCase c = GetParam();
  g.max_combo = c.max_combo;
  g.items_caught = c.items_caught;
  frame();
  const int left_cells = static_cast<int>(std::strlen(c.left));
  EXPECT_EQ(sp_small(9, 311, left_cells), c.left);
  EXPECT_EQ(sp_small(9 + 4 * left_cells, 311, 1), "_");
  EXPECT_EQ(sp_small(c.right_x, 311, static_cast<int>(std::strlen(c.right))), c.right);
  EXPECT_EQ(sp_at(c.right_x - 1, 311), 0);
  EXPECT_EQ(sp_at(231, 311 + 7), kBody);  // the full stop's last column
}

INSTANTIATE_TEST_SUITE_P(
    Values, StatsLine,
    ::testing::Values(StatsCase{1, 0, "NO_COMBO.", 168, "1_ATTACK_10_PTS."},
                      StatsCase{2, 4, "MAX_2_HITS.", 168, "1_ATTACK_10_PTS."},
                      StatsCase{static_cast<int8_t>(-56), 45, "NO_COMBO.", 164, "1_ATTACK_100_PTS."},
                      StatsCase{12, 49, "MAX_12_HITS.", 164, "1_ATTACK_100_PTS."}));

TEST_F(Drawn, ScoreLineShowsSevenDigitsAndTheLiteralZero) {
  g.score = 0;
  g.hi_score = 1234;
  frame();
  EXPECT_EQ(sp_large(24, 6, 24), "SC_______00__HI____12340");
  g.score = 12345678;
  frame();
  EXPECT_EQ(sp_large(24, 6, 24), "SC_99999990__HI_99999990");
}

TEST_F(Drawn, PointerMarksFollowTheMotion) {
  s.frame(NoxEvent::PointerMove, 120, 30);
  s.frame(NoxEvent::PointerDown);
  frame();  // held still: one circle of radius 8 in colour 74
  EXPECT_EQ(sp_at(128, 30), 74);
  EXPECT_EQ(sp_at(120, 22), 74);
  EXPECT_EQ(sp_at(120, 30), 0);
  nox_touch_event(NoxEvent::PointerMove, 2 * 122, 2 * 29, NOX_CLIENT_W, NOX_CLIENT_H);
  frame();  // moved by (2, -1): first a circle of radius 7 at (116, 32), colour 72
  EXPECT_EQ(sp_at(116 - 7, 32), 72);
  EXPECT_EQ(sp_at(116, 32 + 7), 72);
  EXPECT_EQ(sp_at(122 + 8, 29), 74);
  nox_touch_event(NoxEvent::PointerUp, 0, 0, NOX_CLIENT_W, NOX_CLIENT_H);
  frame();
  EXPECT_EQ(sp_at(122 + 8, 29), 0);
}

TEST_F(Drawn, TitleMenuTextsAndToggleStates) {
  frame();
  EXPECT_EQ(sp_small(180, 87, 12), "VERSION_2.06");
  EXPECT_EQ(sp_large(80, 112, 10), "GAME_START");
  EXPECT_EQ(sp_large(68, 142, 13), "LOCAL_RANKING");
  EXPECT_EQ(sp_large(76, 172, 11), "SAVE_REPLAY");
  EXPECT_EQ(sp_large(76, 202, 11), "LOAD_REPLAY");
  EXPECT_EQ(sp_small(62, 232, 5), "SOUND");
  EXPECT_EQ(sp_small(110, 232, 5), "GUIDE");
  EXPECT_EQ(sp_small(158, 232, 5), "FLOOR");
  EXPECT_EQ(sp_large(64, 248, 2), "ON");
  EXPECT_EQ(sp_large(108, 248, 3), "OFF");
  EXPECT_EQ(sp_large(156, 248, 3), "OFF");
  EXPECT_NE(font().char_of_code[sp_at(24, 280)], 0);  // the credit notice's two lines
  EXPECT_NE(font().char_of_code[sp_at(32, 290)], 0);
  // Buttons: fill then outline on the drawn box; the toggles' outline colour differs.
  EXPECT_EQ(sp_at(60, 104), 54);
  EXPECT_EQ(sp_at(61, 105), 6);
  EXPECT_EQ(sp_at(60, 194), 53);
  EXPECT_EQ(sp_at(188, 264), 53);
  nox_set_mute(1);
  settings_record[9] = 1;
  settings_record[10] = 1;
  frame();
  EXPECT_EQ(sp_large(60, 248, 3), "OFF");
  EXPECT_EQ(sp_large(112, 248, 2), "ON");
  EXPECT_EQ(sp_large(160, 248, 2), "ON");
  nox_set_mute(0);
}

TEST_F(Drawn, RankingRowsMarkAndBlinkingPrompt) {
  reset_ranking();
  put_le32(ranking_table + 16, 47);
  std::memcpy(ranking_table + 20, "2012/05/01 09:30", 16);
  put_le32(ranking_table + 36, 47);
  g.scene = Scene::RankingFromTitle;
  g.score = 47;
  g.frame_counter = 23;  // the frame shows 24: prompt on
  frame();
  EXPECT_EQ(sp_large(68, 40, 13), "LOCAL_RANKING");
  EXPECT_EQ(sp_large(8, 60, 28), "_1:_____470_----/--/--_--:--");
  EXPECT_EQ(sp_large(8, 74, 28), "_2:_____470_2012/05/01_09:30");
  EXPECT_EQ(sp_large(8, 60 + 14 * 15, 28), "16:______00_----/--/--_--:--");
  EXPECT_EQ(sp_large(72, 290, 12), "PLEASE_TOUCH");
  // Only the first equal row is marked, from (9, 59) to (230, 68).
  EXPECT_EQ(sp_at(9, 59), 70);
  EXPECT_EQ(sp_at(230, 68), 70);
  EXPECT_EQ(sp_at(8, 59), 0);
  EXPECT_EQ(sp_at(231, 68), 0);
  EXPECT_EQ(sp_at(9, 73), 0);
  g.frame_counter = 24;  // 25: prompt off for 25 frames
  frame();
  EXPECT_EQ(sp_large(72, 290, 12), "____________");
  g.frame_counter = 48;  // 49
  frame();
  EXPECT_EQ(sp_large(72, 290, 12), "____________");
  g.frame_counter = 49;  // 50: on again
  frame();
  EXPECT_EQ(sp_large(72, 290, 12), "PLEASE_TOUCH");
}

TEST_F(Drawn, SlotMenusListRowsAndCancel) {
  g.scene = Scene::LoadReplay;
  frame();
  EXPECT_EQ(sp_large(28, 40, 23), "SELECT_LOAD-REPLAY_SLOT");
  EXPECT_EQ(sp_large(8, 60, 11), "_1:_NO_DATA");
  EXPECT_EQ(sp_large(8, 60 + 14 * 15, 11), "16:_NO_DATA");
  EXPECT_EQ(sp_large(8, 60 + 14 * 16, 6), "CANCEL");
  EXPECT_EQ(sp_at(8, 58), 102);     // an empty slot in the load menu
  EXPECT_EQ(sp_at(231, 69), 102);
  EXPECT_EQ(sp_at(8, 58 + 14 * 16), 6);
  EXPECT_EQ(sp_at(7, 58), 0);
  EXPECT_EQ(sp_at(232, 69), 0);
  g.scene = Scene::SaveReplay;
  frame();
  EXPECT_EQ(sp_large(28, 40, 23), "SELECT_SAVE-REPLAY_SLOT");
  EXPECT_EQ(sp_at(8, 58), 6);
}

}  // namespace
