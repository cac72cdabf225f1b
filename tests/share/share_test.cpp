// Sharing games: replay check and replay info, GIF output, and what bad input leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/screen.h"
#include "game/replay.h"
#include "headless/session.h"
#include "headless/cli.h"
#include "headless/replay_check.h"
#include "headless/share.h"
#include "pack/savefile.h"
#include "support/child.h"
#include "support/test_pack.h"

#include <gif_lib.h>

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

uint32_t le32(const std::string& b, size_t at) { return get_le32(reinterpret_cast<const uint8_t*>(b.data() + at)); }
void set_le32(std::string& b, size_t at, uint32_t v) { put_le32(reinterpret_cast<uint8_t*>(b.data() + at), v); }

// pixbrk-headless in-process: exit code and what it printed on standard output.
int cli(std::initializer_list<const char*> args, std::string* out) {
  std::vector<char*> argv{const_cast<char*>("pixbrk-headless")};
  for (const char* a : args) argv.push_back(const_cast<char*>(a));
  testing::internal::CaptureStdout();
  const int rc = headless_main(static_cast<int>(argv.size()), argv.data());
  *out = testing::internal::GetCapturedStdout();
  return rc;
}

// A working directory with the real pack and a game saved into slot 1 by the game's own save
// menu (floor and guide on, one round lost).
class SavedGame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(real_pack_path().empty()) << "ROMDATA.BIN is not built";
    fs::copy_file(real_pack_path(), "ROMDATA.BIN");
    HeadlessOptions o;
    o.script_file = std::string(PIXBRK_SOURCE_DIR) + "/tests/win/scripts/game_and_save.txt";
    ASSERT_EQ(headless_run(o, &game), 0) << game.error;
    rep = slurp("PIXBRK01.REP");
    ASSERT_GT(rep.size(), 32u);
  }
  TempWorkDir dir;
  HeadlessResult game;
  std::string rep;
};

TEST_F(SavedGame, VerifyAgreesWithTheGameAndNamesEachChangedClaim) {
  const uint32_t frames = le32(rep, 16);
  ASSERT_EQ(rep.size(), 32 + 12 * frames);
  std::string out;
  EXPECT_EQ(cli({"--replay", "PIXBRK01.REP", "--verify"}, &out), 0);
  EXPECT_EQ(out, "verified: score " + std::to_string(game.score * 10) + " in " + std::to_string(frames) + " frames\n");

  ReplayVerdict c;
  std::string changed = rep;
  set_le32(changed, 20, le32(rep, 20) + 1);
  spit("score.rep", changed);
  EXPECT_EQ(verify_replay("score.rep", "", &c), 1);
  EXPECT_EQ(c.message, "score: the game ended with " + std::to_string(game.score * 10) + ", its header says " +
                           std::to_string(game.score * 10 + 10));
  EXPECT_EQ(cli({"--replay", "score.rep", "--verify"}, &out), 1);
  EXPECT_EQ(out, "not verified: " + c.message + "\n");

  // One record fewer: the playback reads a zero record where the game went on, and is stopped
  // as soon as it reads more than the header counts.
  changed = rep;
  set_le32(changed, 16, frames - 1);
  spit("short.rep", changed.substr(0, changed.size() - 12));
  EXPECT_EQ(verify_replay("short.rep", "", &c), 1);
  EXPECT_TRUE(c.play.overran);
  EXPECT_EQ(c.message, "frames: the game goes on past the " + std::to_string(frames - 1) + " frames its header counts");

  changed = rep + std::string(12, '\0');
  set_le32(changed, 16, frames + 1);
  spit("long.rep", changed);
  EXPECT_EQ(verify_replay("long.rep", "", &c), 1);
  EXPECT_EQ(c.message, "frames: the game ended after " + std::to_string(frames) + " frames, its header says " +
                           std::to_string(frames + 1));
}

TEST_F(SavedGame, FilesThatAreNotPlayableReplaysAreExit2ForVerifyAndInfo) {
  const uint32_t frames = le32(rep, 16);
  std::string eleven = rep, huge = rep, undated = rep;
  set_le32(eleven, 16, 11);
  set_le32(huge, 16, 131073);
  undated.replace(0, 16, "----/--/-- --:--");
  const struct {
    const char* name;
    std::string bytes;
    std::string why;
  } cases[] = {
      {"cut.rep", rep.substr(0, rep.size() - 1),
       "cut.rep is cut short: its header counts " + std::to_string(frames) + " frames (" +
           std::to_string(rep.size()) + " bytes), the file has " + std::to_string(rep.size() - 1) + " bytes"},
      {"tiny.rep", rep.substr(0, 31), "tiny.rep is not a replay file: it is shorter than a replay header (31 bytes)"},
      {"eleven.rep", eleven, "eleven.rep is not a replay file: its header counts 11 frames, outside 12 to 131072"},
      {"huge.rep", huge, "huge.rep is not a replay file: its header counts 131073 frames, outside 12 to 131072"},
      {"undated.rep", undated, "its header has no date"},
  };
  for (const auto& c : cases) {
    spit(c.name, c.bytes);
    ReplayVerdict check;
    EXPECT_EQ(verify_replay(c.name, "", &check), 2) << c.name;
    EXPECT_NE(check.message.find(c.why), std::string::npos) << check.message;
    std::string out;
    EXPECT_EQ(cli({"--info", c.name}, &out), 2) << c.name;
    EXPECT_EQ(out, "");
  }
  std::string out;
  EXPECT_EQ(cli({"--replay", "missing.rep", "--verify"}, &out), 2);
  fs::remove("ROMDATA.BIN");
  EXPECT_EQ(cli({"--replay", "PIXBRK01.REP", "--verify"}, &out), 2);  // cannot play: no verdict
  EXPECT_EQ(out, "");
}

TEST(ReplayInfo, PrintsTheHeaderAsTextAndJsonAndTellsAnUnfinishedGame) {
  TempWorkDir dir;
  std::string h = "2024/05/06 07:08";
  h += std::string(16, '\0');
  set_le32(h, 16, 3723);  // 62.05 s
  set_le32(h, 20, 1234);
  h[24] = 1;
  spit("a.rep", h + std::string(12 * 3723, '\0'));
  // A game given up with Escape: the header GAME START cleared, without a date and a score.
  std::string u(32, '\0');
  set_le32(u, 16, 5);
  u[25] = 1;
  spit("u.rep", u + std::string(12 * 5, '\0'));
  const struct {
    std::initializer_list<const char*> args;
    int rc;
    const char* out;
  } cases[] = {
      {{"--info", "a.rep"}, 0,
       "date:   2024/05/06 07:08\nlength: 3723 frames (01:02)\nscore:  12340\nguide:  on\nfloor:  off\n"},
      {{"--info", "--json", "a.rep"}, 0,
       "{\"date\":\"2024/05/06 07:08\",\"frames\":3723,\"length\":\"01:02\",\"score\":12340,\"guide\":true,"
       "\"floor\":false,\"unfinished\":false}\n"},
      {{"u.rep", "--info"}, 0,
       "date:   none (an unfinished game, given up with Escape)\nlength: 5 frames (00:00)\nscore:  none\n"
       "guide:  off\nfloor:  on\n"},
      {{"--json", "--info=u.rep"}, 0,
       "{\"date\":null,\"frames\":5,\"length\":\"00:00\",\"score\":null,\"guide\":false,\"floor\":true,"
       "\"unfinished\":true}\n"},
      {{"--replay", "u.rep", "--verify"}, 2, ""},  // it cannot be checked
      {{"--json"}, 2, ""},
      {{"--info", "a.rep", "u.rep"}, 2, ""},
      {{"--info", "a.rep", "--frames", "3"}, 2, ""},
      {{"--verify"}, 2, ""},
      {{"--replay", "a.rep", "--verify", "--wav", "x.wav"}, 2, ""},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(cli(c.args, &out), c.rc) << *c.args.begin();
    EXPECT_EQ(out, c.out);
  }
  ReplayVerdict check;
  EXPECT_EQ(verify_replay("u.rep", "", &check), 2);
  EXPECT_NE(check.message.find("u.rep is an unfinished game"), std::string::npos) << check.message;
}

TEST_F(SavedGame, BadInputStopsWithOneReasonAndLeavesNoFileUnderTheRequestedName) {
  std::string cut = rep.substr(0, rep.size() - 12), long_claim = rep + std::string(12, '\0');
  set_le32(long_claim, 16, le32(rep, 16) - 1);  // the game goes on past its header's count
  spit("cut.rep", cut);
  spit("past.rep", long_claim);
  fs::create_directory("taken.gif");  // a folder in the way
  const struct {
    const char* replay;
    const char* video;
    const char* gif;
    int rc;
    const char* why;
  } cases[] = {
      {"cut.rep", "", "out.gif", 2, "cut.rep is cut short"},
      {"past.rep", "", "out.gif", 2, "past.rep is not a replay the game made: frames: the game goes on past"},
      {"PIXBRK01.REP", "out.avi", "", 1, "--video out.avi: a video name ends in .mp4, .webm or .mkv"},
      {"PIXBRK01.REP", "", "out.png", 1, "--gif out.png: a GIF's name ends in .gif"},
      {"PIXBRK01.REP", "no/such/dir/out.mkv", "", 1, "--video no/such/dir/out.mkv: No such file or directory"},
      {"PIXBRK01.REP", "", "no/such/dir/out.gif", 1, "--gif no/such/dir/out.gif: No such file or directory"},
      {"PIXBRK01.REP", "", "taken.gif", 1, "--gif taken.gif: is a folder"},
  };
  for (const auto& c : cases) {
    ShareOptions o;
    o.replay_file = c.replay;
    o.video_file = c.video;
    o.gif_file = c.gif;
    o.to.set = o.to.in_frames = true;
    o.to.frames = 30;
    std::string err;
    EXPECT_EQ(share_replay(o, &err), c.rc) << c.why;
    EXPECT_EQ(err.rfind(c.why, 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), std::string::npos) << err;
  }
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(".")) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"LOG.TXT", "PIXBRK01.REP", "ROMDATA.BIN", "SCORE.DAT", "cut.rep",
                                            "past.rep", "taken.gif"}));
  EXPECT_TRUE(fs::is_empty("taken.gif"));
}

// Every kind of writer against what may be planted where it writes: a link to a decoy, a plain
// file or a folder at the temporary name writers once used (NAME.tmp), or a link at the name
// itself. Neither the decoy nor anything planted is written, the output is what a clean run
// makes, and no temporary file is left behind.
TEST_F(SavedGame, NoWriterWritesThroughWhatIsPlantedWhereItWrites) {
  const std::string script = std::string(PIXBRK_SOURCE_DIR) + "/tests/win/scripts/game_and_save.txt";
  const std::string pack = fs::absolute("ROMDATA.BIN").string(), replay = fs::absolute("PIXBRK01.REP").string();
  struct Writer {
    const char* what;
    std::vector<std::string> args;  // of pixbrk-headless (in-process), or a program to run
    std::string output;
    size_t skip;  // leading bytes that differ from run to run (a saved game's date)
  };
  std::vector<Writer> writers = {
      {"the game's save", {"--script", script}, "PIXBRK01.REP", 16},
      {"--trace", {"--frames", "30", "--trace", "out.jsonl"}, "out.jsonl", 0},
      {"--wav", {"--frames", "30", "--wav", "out.wav"}, "out.wav", 0},
      {"--png", {"--frames", "3", "--png", "2:out.png"}, "out.png", 0},
      {"--gif", {"--replay", replay, "--gif", "out.gif", "--to", "10f"}, "out.gif", 0},
      {"--video", {"--replay", replay, "--video", "out.mp4", "--to", "10f"}, "out.mp4", 0},
#if defined(PIXPACK_PATH)
      {"pixpack build", {PIXPACK_PATH, "build", std::string(PIXBRK_SOURCE_DIR) + "/assets", "-o", "out.bin"},
       "out.bin", 0},
#endif
  };
  enum Plant { kNothing, kLinkAtTemp, kFileAtTemp, kFolderAtTemp, kLinkAtName };
  auto run_in = [&](const Writer& w, const std::string& where, Plant plant) {
    fs::create_directory(where);
    fs::copy_file(pack, where + "/ROMDATA.BIN");
    const fs::path home = fs::current_path();
    fs::current_path(where);
    spit("decoy", "DECOY\n");
    const std::string temp = w.output + ".tmp";
    if (plant == kLinkAtTemp) fs::create_symlink("decoy", temp);
    if (plant == kFileAtTemp) spit(temp, "PLANTED\n");
    if (plant == kFolderAtTemp) fs::create_directory(temp);
    if (plant == kLinkAtName) fs::create_symlink("decoy", w.output);
    int rc;
    if (w.args[0].front() == '-') {
      std::vector<char*> argv{const_cast<char*>("pixbrk-headless")};
      for (const std::string& a : w.args) argv.push_back(const_cast<char*>(a.c_str()));
      testing::internal::CaptureStdout();
      rc = headless_main(static_cast<int>(argv.size()), argv.data());
      testing::internal::GetCapturedStdout();
    } else {
      rc = run_program(w.args, {});
    }
    EXPECT_EQ(rc, 0) << w.what << " in " << where;
    EXPECT_EQ(slurp("decoy"), "DECOY\n") << w.what << " wrote through a link in " << where;
    if (plant == kFileAtTemp) {
      EXPECT_EQ(slurp(temp), "PLANTED\n") << w.what;
    }
    EXPECT_EQ(fs::is_directory(temp), plant == kFolderAtTemp) << w.what;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(w.output))) << w.what << " in " << where;
    int temps = 0;
    for (const auto& e : fs::directory_iterator("."))
      temps += e.path().filename().string().ends_with(".tmp") && e.path().filename() != temp;
    EXPECT_EQ(temps, 0) << w.what << " left a temporary file in " << where;
    std::string out = slurp(w.output);
    fs::current_path(home);
    return out.substr(std::min(w.skip, out.size()));
  };
  for (const Writer& w : writers) {
    if (w.output == "out.mp4" && !video_supported()) continue;
    const std::string name = w.output.substr(w.output.find('.') + 1);
    const std::string clean = run_in(w, "clean-" + name, kNothing);
    ASSERT_GT(clean.size(), 32u) << w.what;
    for (const Plant plant : {kLinkAtTemp, kFileAtTemp, kFolderAtTemp, kLinkAtName})
      EXPECT_EQ(run_in(w, "plant" + std::to_string(plant) + "-" + name, plant), clean) << w.what << ", plant " << plant;
  }
}

TEST(ClipTime, SecondsToTheNearestFrameOrFrames) {
  ClipTime a, b, c;
  ASSERT_TRUE(parse_clip_time("1.5", &a) && parse_clip_time("90f", &b) && parse_clip_time("0.01", &c));
  EXPECT_EQ(a.frame() + b.frame() + c.frame(), 90 + 90 + 1);
  for (const char* bad : {"", "f", "-1", "1.5f", "1..2", ".5", "1e3", "12s", "99999999"})
    EXPECT_FALSE(parse_clip_time(bad, &a)) << bad;
}

struct Gif {
  GifFileType* f = nullptr;
  explicit Gif(const std::string& path) {
    int err = 0;
    f = DGifOpenFileName(path.c_str(), &err);
    if (f != nullptr && DGifSlurp(f) != GIF_OK) {
      DGifCloseFile(f, &err);
      f = nullptr;
    }
  }
  ~Gif() {
    int err = 0;
    if (f != nullptr) DGifCloseFile(f, &err);
  }
  int delay(int i) const {
    GraphicsControlBlock gcb{};
    DGifSavedExtensionToGCB(f, i, &gcb);
    return gcb.DelayTime;
  }
  // Every frame drawn in turn onto the one before, as a viewer shows them: 0x00RRGGBB pixels.
  std::vector<std::vector<uint32_t>> shown() const {
    std::vector<std::vector<uint32_t>> out;
    std::vector<uint32_t> canvas(static_cast<size_t>(f->SWidth * f->SHeight), 0);
    for (int i = 0; i < f->ImageCount; ++i) {
      const SavedImage& im = f->SavedImages[i];
      const ColorMapObject* map = im.ImageDesc.ColorMap != nullptr ? im.ImageDesc.ColorMap : f->SColorMap;
      GraphicsControlBlock gcb{};
      DGifSavedExtensionToGCB(f, i, &gcb);
      for (int y = 0; y < im.ImageDesc.Height; ++y)
        for (int x = 0; x < im.ImageDesc.Width; ++x) {
          const int c = im.RasterBits[y * im.ImageDesc.Width + x];
          if (c == gcb.TransparentColor) continue;
          const GifColorType& rgb = map->Colors[c];
          canvas[static_cast<size_t>((im.ImageDesc.Top + y) * f->SWidth + im.ImageDesc.Left + x)] =
              static_cast<uint32_t>(rgb.Red << 16 | rgb.Green << 8 | rgb.Blue);
        }
      out.push_back(canvas);
    }
    return out;
  }
};

// Pixels of a 480 x 640 picture that are not the runner's 240 x 320 one shown at 2x.
int wrong_at_2x(const std::vector<uint32_t>& pic, const std::vector<uint32_t>& want) {
  int wrong = 0;
  for (size_t y = 0; y < 640; ++y)
    for (size_t x = 0; x < 480; ++x) wrong += pic[y * 480 + x] != (want[y / 2 * NOX_W + x / 2] & 0xFFFFFF);
  return wrong;
}

TEST_F(SavedGame, GifIsThePlaybackAtSixtyFramesASecondInTheGamesPalette) {
  // The runner's own picture of the first play frame and of the 45th.
  HeadlessOptions o;
  o.replay_file = "PIXBRK01.REP";
  std::vector<uint32_t> want[2];
  o.on_frame = [&](int64_t frame) {
    if (frame == 1 || frame == 45) want[frame == 45].assign(headless_frame(), headless_frame() + NOX_W * NOX_H);
    return frame < 45;
  };
  o.compose_every_frame = true;
  HeadlessResult r;
  ASSERT_EQ(headless_run(o, &r), 0) << r.error;
  std::string out;
  ASSERT_EQ(cli({"--replay", "PIXBRK01.REP", "--gif", "game.gif", "--to", "45f", "--scale", "2", "--gif-rate", "60"},
                &out),
            0);

  Gif gif("game.gif");
  ASSERT_NE(gif.f, nullptr);
  ASSERT_EQ(gif.f->ImageCount, 45);
  EXPECT_EQ(gif.f->SWidth, 480);
  EXPECT_EQ(gif.f->SHeight, 640);
  ASSERT_EQ(gif.f->SColorMap->ColorCount, 256);
  int differ = 0;
  for (int i = 0; i < 256; ++i) {
    const GifColorType& c = gif.f->SColorMap->Colors[i];
    differ += (static_cast<uint32_t>(c.Red << 16 | c.Green << 8 | c.Blue)) != (nox_palette[i] & 0xFFFFFF);
  }
  EXPECT_EQ(differ, 0) << "colours of the global table that are not the game's";
  for (int i = 0; i < 45; ++i) {
    EXPECT_EQ(gif.delay(i), i % 3 == 2 ? 1 : 2) << i;
    EXPECT_EQ(gif.f->SavedImages[i].ImageDesc.ColorMap, nullptr) << i;
  }
  const auto shown = gif.shown();
  EXPECT_EQ(wrong_at_2x(shown[0], want[0]), 0) << "first frame";
  EXPECT_EQ(wrong_at_2x(shown[44], want[1]), 0) << "45th frame";

  // By default, 50 frames a second: every sixth game frame is left out and every delay is 2
  // hundredths, so the clip lasts as long as the game did, also in viewers that stretch a delay of 1.
  ASSERT_EQ(cli({"--replay", "PIXBRK01.REP", "--gif", "game50.gif", "--to", "45f"}, &out), 0);
  Gif gif50("game50.gif");
  ASSERT_NE(gif50.f, nullptr);
  ASSERT_EQ(gif50.f->ImageCount, 38);
  int delay_total = 0;
  for (int i = 0; i < 38; ++i) delay_total += gif50.delay(i);
  EXPECT_EQ(delay_total, 76);
  EXPECT_EQ(wrong_at_2x(gif50.shown()[37], want[1]), 0)
      << "the last frame of the 50-a-second clip is the 45th game frame";
}

TEST(GifWriter, APaletteChangeTravelsAsALocalTableAndEveryFrameShowsRight) {
  TempWorkDir dir;
  std::vector<uint8_t> screen(static_cast<size_t>(NOX_W * NOX_H), 3);
  uint32_t game[256], other[256];
  for (uint32_t i = 0; i < 256; ++i) {
    game[i] = i << 16 | (255 - i) << 8 | (i * 7 & 255);
    other[i] = game[255 - i];
  }
  std::string err;
  SaveStream file;
  ASSERT_TRUE(file.open("p.gif", &err)) << err;
  GifWriter* w = gif_open(file.file(), 1, 60, &err);
  ASSERT_NE(w, nullptr) << err;
  std::vector<std::vector<uint8_t>> screens;
  const uint32_t* palettes[] = {game, game, game, other, other, game};
  for (int i = 0; i < 6; ++i) {
    if (i == 1) screen[static_cast<size_t>(100 * NOX_W + 50)] = 0;  // colour 0 appears: not the transparent one
    if (i == 4) screen[static_cast<size_t>(5 * NOX_W + 7)] = 9;
    if (i == 5) screen[static_cast<size_t>(300 * NOX_W + 200)] = 1;
    screens.push_back(screen);
    ASSERT_TRUE(gif_add_frame(w, screen.data(), palettes[i], &err)) << err;
  }
  ASSERT_TRUE(gif_finish(w, &err)) << err;
  gif_close(w);
  ASSERT_TRUE(file.commit(&err)) << err;

  Gif gif("p.gif");
  ASSERT_NE(gif.f, nullptr);
  ASSERT_EQ(gif.f->ImageCount, 6);
  const auto shown = gif.shown();
  for (int i = 0; i < 6; ++i) {
    const GifImageDesc& d = gif.f->SavedImages[i].ImageDesc;
    EXPECT_EQ(d.ColorMap != nullptr, palettes[i] == other) << i;
    const bool whole = i == 0 || i == 3 || i == 5;  // the first, and each change of colours
    EXPECT_EQ(d.Width * d.Height, whole ? NOX_W * NOX_H : 1) << i;
    int wrong = 0;
    for (size_t p = 0; p < screen.size(); ++p) wrong += shown[i][p] != (palettes[i][screens[i][p]] & 0xFFFFFF);
    EXPECT_EQ(wrong, 0) << i;
  }
  EXPECT_EQ(gif.f->SavedImages[1].ImageDesc.Left, 50);
  EXPECT_EQ(gif.f->SavedImages[1].ImageDesc.Top, 100);
  EXPECT_EQ(gif.f->SavedImages[2].ImageDesc.Left, 0);  // nothing changed: one pixel keeps the time
}

}  // namespace
