// The line numbers of the log lines that the Linux and the Windows host both write, for the same
// step of each (support and the tests read a line by its number, so a number never changes once
// a line has one). Each host keeps its own source name and the numbers only it uses.
#pragma once

// The game's name, as the log's first line ("Executes "PIXEL BREAKER" on ...") and the window's
// title give it.
constexpr const char* HOST_TITLE = "PIXEL BREAKER";

enum HostLogLine : int {
  LOG_LINE_CREATE_WINDOW = 188,
  LOG_LINE_VIDEO_INIT = 199,             // the picture cannot be shown
  LOG_LINE_AUDIO_INIT = 205,             // the sound cannot be played
  LOG_LINE_LOCK = 260,                   // the picture's memory could not be had
  LOG_LINE_FRAMES = 296,                 // the pacing line
  LOG_LINE_RENDERER = 478,               // what draws the picture
  LOG_LINE_RENDERER_FAILED = 481,
  LOG_LINE_PICTURE_BUFFER_FAILED = 559,  // the texture or back buffer the picture goes to
  LOG_LINE_NO_SOUND_DEVICE = 630,
  LOG_LINE_SOUND_EVENT_FAILED = 688,     // what wakes the sound thread
  LOG_LINE_SOUND_THREAD_FAILED = 702,
  LOG_LINE_SOUND_DOWN = 707,
  LOG_LINE_SOUND_STARTED = 754,
  LOG_LINE_SOUND_STOPS = 808,
};
