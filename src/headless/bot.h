// The built-in player of the headless runner.
#pragma once
#include <cstdint>

#include "headless/session.h"

// Event for the next frame from a simple player that reads the Game state: taps GAME START on
// the title menu, holds the pointer so the paddle stays under the ball (dodging a low bomb),
// and taps through the ranking display. Deterministic: the same game state gives the same event.
HeadlessEvent headless_bot_event(int64_t frame);
