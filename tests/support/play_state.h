// The per-frame game state that a replay must reproduce, for comparing a game with its playback.
#pragma once
#include <cstdint>
#include <string>

// The trace line of the current state without what differs by design between a game and its
// playback: the loop iteration, the playback flag, the press count's high bits, and what
// carries over from earlier games of the session without ever steering play (the high score,
// the last round's bonus step, the particle and explosion ring cursors).
std::string play_state(int64_t frame);
