// Watching a ranked game in the page (watch.cpp): the host calls this after every game frame.
#pragma once

// Puts the player's own recording back once a watched playback has ended and the title menu
// has cleared the replay buffer.
void watch_after_frame();
