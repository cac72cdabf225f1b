#include "driver_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/screen.h"
#include "engine/sound.h"
#include "engine/touch.h"
#include "game/game.h"
#include "pack/pack.h"
#include "pack/packwriter.h"

void write_synthetic_pack() {
  const std::vector<PackEntry> entries = synthetic_game_entries();
  ASSERT_TRUE(write_file("ROMDATA.BIN", pack_image(entries)));
}

Session::Session() : picture(static_cast<size_t>(NOX_W * NOX_H)) {
  write_synthetic_pack();
  const Status s = game_start(GameOptions{});
  EXPECT_TRUE(s.ok()) << s.message;
}

Session::~Session() { game_stop(); }

int Session::frame(NoxEvent ev, int32_t x, int32_t y) {
  const GameStep step = game_step(GameInput{ev, 2 * x, 2 * y});
  if (step != GameStep::Quit) game_compose(NOX_W * 4, picture.data());
  return step == GameStep::Next ? 0 : -1;
}

void Session::tap(int32_t x, int32_t y) {
  frame(NoxEvent::PointerMove, x, y);
  frame(NoxEvent::PointerDown);
  frame(NoxEvent::PointerUp);
}

uint8_t Session::shown(int32_t x, int32_t y) const {
  return static_cast<uint8_t>(picture[static_cast<size_t>(y * NOX_W + x)] & 0xFF);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
