// pixshot: runs the game without a window and writes 480 x 640 screenshots of the title menu,
// a late round in play, the ranking, the replay slot list and the ending into a folder (for the documentation).
// Run it in a folder that holds ROMDATA.BIN: pixshot OUT_DIR
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/screen.h"
#include "engine/touch.h"
#include "game/game.h"
#include "game/ranking.h"
#include "pack/args.h"
#include "pack/pack.h"
#include "pack/savefile.h"

namespace {

std::vector<uint32_t> frame(240 * 320);

void step(int n) {
  for (int i = 0; i < n; ++i) {
    nox_frame();
    nox_compose(240 * 4, frame.data());
    nox_touch_tick();
  }
}

bool save(const std::string& path) {
  std::vector<uint8_t> rgb(480 * 640 * 3);
  for (int y = 0; y < 640; ++y)
    for (int x = 0; x < 480; ++x) {
      const uint32_t c = frame[static_cast<size_t>((y / 2) * 240 + x / 2)];
      uint8_t* p = &rgb[static_cast<size_t>((y * 480 + x) * 3)];
      p[0] = static_cast<uint8_t>(c >> 16);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c);
    }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 480;
  image.height = 640;
  image.format = PNG_FORMAT_RGB;
  SaveStream out;
  std::string why = "cannot encode the picture";
  if (!out.open(path, &why) || !png_image_write_to_stdio(&image, out.file(), 0, rgb.data(), 0, nullptr) ||
      !out.commit(&why)) {
    std::fprintf(stderr, "pixshot: cannot write %s: %s\n", path.c_str(), why.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

// Pointer at a virtual-screen position, pressed or not.
void pointer(int x, int y, bool down) {
  nox_touch_move(2 * x, 2 * y, 480, 640);
  if (down) nox_touch_down();
  else nox_touch_up();
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
  if (loadbin("ROMDATA.BIN") != 0 || nox_init() != 0) {
    std::fputs("pixshot: nox_init failed (is ROMDATA.BIN here?)\n", stderr);
    return 1;
  }
  // Title menu, the pointer resting on LOCAL RANKING.
  pointer(120, 145, true);
  step(20);
  if (!save(out + "/title.png")) return 1;
  pointer(120, 145, false);
  step(1);  // release: the ranking opens
  g.score = 12075;  // as if the last game had made the third entry
  step(30);
  if (!save(out + "/ranking.png")) return 1;
  // The save-replay slot list, the pointer held on slot 3.
  g.scene = Scene::SaveReplay;
  pointer(120, 92, true);
  step(10);
  if (!save(out + "/slots.png")) return 1;
  pointer(120, 292, true);  // CANCEL
  step(2);
  pointer(120, 292, false);
  step(2);
  // A late round: start a game, jump to round 5, play a little with the paddle following.
  g.score = 0;
  g.scene = Scene::Title;
  step(2);
  pointer(120, 112, true);
  step(2);
  pointer(120, 112, false);
  step(1);
  g.round = 5;
  g.scene = Scene::RoundSetup;
  pointer(120, 250, true);
  for (int i = 0; i < 150; ++i) {
    // Keep the paddle under the ball.
    pointer(g.ball_x + 4 + (i / 20 % 3 - 1) * 6, 250, true);
    step(1);
  }
  if (!save(out + "/play.png")) return 1;
  // The ending picture.
  g.scene = Scene::Ending;
  g.scene_timer = 0;
  pointer(120, 250, false);
  step(60);
  return save(out + "/ending.png") ? 0 : 1;
}
