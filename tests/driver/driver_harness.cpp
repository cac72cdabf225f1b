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
  headless_reset_process_state();
  EXPECT_EQ(loadbin("ROMDATA.BIN"), 0);
  EXPECT_EQ(nox_init(), 0);
}

Session::~Session() {
  nox_free_banks();
  nox_free_slots();
  pack_unload();
}

int Session::frame(NoxEvent ev, int32_t x, int32_t y) {
  if (ev != NoxEvent::None) nox_dispatch_event(ev, 2 * x, 2 * y);
  const int r = nox_frame();
  nox_compose(NOX_W * 4, picture.data());
  nox_touch_tick();
  return r;
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
