// pixshot: runs the game without a window and writes 480 x 640 screenshots of the title menu,
// a late round in play, the ranking, the replay slot list and the ending into a folder (for the documentation).
// Run it in a folder that holds ROMDATA.BIN: pixshot OUT_DIR
#include <cstdio>
#include <cstring>
#include <string>

#include "game/core.h"
#include "game/game.h"
#include "game/ranking.h"
#include "headless/output.h"
#include "pack/args.h"
#include "pack/savefile.h"

namespace {

uint32_t frame[NOX_W * NOX_H];
bool held = false;
int at_x = -1, at_y = -1;

// n frames with the pointer at a virtual-screen position, pressed or not: one event a frame, the
// move there first, then the press or the lift.
void step(int n, int x, int y, bool down) {
  for (int i = 0; i < n; ++i) {
    NoxEvent ev = NoxEvent::None;
    if (x != at_x || y != at_y) {
      ev = NoxEvent::PointerMove;
      at_x = x;
      at_y = y;
    } else if (down != held) {
      ev = down ? NoxEvent::PointerDown : NoxEvent::PointerUp;
      held = down;
    }
    game_step(GameInput{ev, 2 * x, 2 * y});
    game_compose(NOX_W * 4, frame);
  }
}

bool save(const std::string& path) {
  std::string why;
  if (!write_png(path, frame, NOX_W, NOX_H, 2, &why)) {
    std::fprintf(stderr, "pixshot: cannot write %s: %s\n", path.c_str(), why.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

// A ranking with a few finished games, so the list looks lived-in.
void write_sample_scores() {
  uint8_t file[SCORE_FILE_BYTES] = {};
  const struct {
    const char* date;
    uint32_t score;
  } rows[] = {{"2026/12/05 21:14", 18422}, {"2026/12/06 19:02", 15960}, {"2026/12/04 22:40", 12075},
              {"2026/12/06 08:31", 9318},  {"2026/12/03 18:55", 7702},  {"2026/12/05 12:09", 5240},
              {"2026/12/02 20:17", 3985}};
  for (int i = 0; i < RANKING_ENTRIES; ++i) {
    const bool used = i < 7;
    std::memcpy(file + 20 * i, used ? rows[i].date : DATE_PLACEHOLDER, 16);
    const uint32_t s = used ? rows[i].score : 0;
    for (int b = 0; b < 4; ++b) file[20 * i + 16 + b] = static_cast<uint8_t>(s >> (8 * b));
  }
  file[329] = 1;  // guide on
  (void)save_file("SCORE.DAT", file, sizeof file, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  int status = 0;
  if (!ArgReader::one_folder("pixshot", "usage: pixshot OUT_DIR   screenshots for the documentation (run where "
                             "ROMDATA.BIN is)\n",
                             argc, argv, &out, &status))
    return status;
  write_sample_scores();
  const Status started = game_start(GameOptions{});
  if (!started.ok()) {
    std::fprintf(stderr, "pixshot: %s (is ROMDATA.BIN here?)\n", started.message);
    return 1;
  }
  // Title menu, the pointer resting on LOCAL RANKING.
  step(20, 120, 145, true);
  if (!save(out + "/title.png")) return 1;
  step(2, 120, 145, false);  // release: the ranking opens
  g.score = 12075;  // as if the last game had made the third entry
  step(30, 120, 145, false);
  if (!save(out + "/ranking.png")) return 1;
  // The save-replay slot list, the pointer held on slot 3.
  g.scene = Scene::SaveReplay;
  step(10, 120, 92, true);
  if (!save(out + "/slots.png")) return 1;
  step(2, 120, 292, true);  // CANCEL
  step(2, 120, 292, false);
  // A late round: start a game, jump to round 5, play a little with the paddle following.
  g.score = 0;
  g.scene = Scene::Title;
  step(2, 120, 112, true);
  step(2, 120, 112, false);
  g.round = 5;
  g.scene = Scene::RoundSetup;
  step(2, 120, 250, true);
  for (int i = 0; i < 150; ++i) step(1, g.ball_x + 4 + (i / 20 % 3 - 1) * 6, 250, true);  // the paddle under the ball
  if (!save(out + "/play.png")) return 1;
  // The ending picture.
  g.scene = Scene::Ending;
  g.scene_timer = 0;
  step(60, 120, 250, false);
  const bool saved = save(out + "/ending.png");
  game_stop();
  return saved ? 0 : 1;
}
