// A game session driven frame by frame in-process, and a small bot that keeps the ball alive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "game/core.h"
#include "headless/session.h"
#include "headless/bot.h"
#include "support/test_pack.h"

// Writes the synthetic pack as ROMDATA.BIN into the working directory.
void write_synthetic_pack();

// Starts the game as a fresh program would (synthetic pack in a temp directory) and runs
// frames one host iteration at a time. Coordinates are virtual-screen pixels.
struct Session {
  TempWorkDir dir;
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // One host iteration: at most one event, the frame, the composition, the press-count tick.
  int frame(NoxEvent ev = NoxEvent::None, int32_t x = 0, int32_t y = 0);
  void frames(int n) {
    for (int i = 0; i < n; ++i) frame();
  }
  // Move there, press, lift: three frames; the lift frame acts on the menu.
  void tap(int32_t x, int32_t y);
  // Palette index shown at (x, y) by the last frame (the synthetic palette is grey i,i,i).
  uint8_t shown(int32_t x, int32_t y) const;

  std::vector<uint32_t> picture;
};

inline HeadlessEvent bot_event(int64_t frame) { return headless_bot_event(frame); }

// Reads a whole file; empty when it cannot be read.
std::string slurp(const std::string& path);
