// Where the Windows host's log lines say they come from, and their fixed line numbers (support
// and the tests read a line by its number, so a number never changes once a line has one).
#pragma once

constexpr const char* WIN_SOURCE = ".\\src\\nox_w.cpp";
constexpr const char* WIN_TITLE = "PIXEL BREAKER";

enum WinLogLine : int {
  LINE_FILES_FOLDER = 146,
  LINE_IME = 155,
  LINE_REGISTER_CLASS = 170,
  LINE_CREATE_WINDOW = 188,
  LINE_D3D_INIT = 199,
  LINE_DS_INIT = 205,
  LINE_BEGIN_SCENE = 234,
  LINE_LOCK_RECT = 260,
  LINE_UNLOCK_RECT = 265,
  LINE_STRETCH_RECT = 268,
  LINE_END_SCENE = 271,
  LINE_PRESENT = 276,
  LINE_FRAMES = 296,  // the pacing line, at the number the Linux host gives it
  LINE_D3D_CREATE = 428,
  LINE_USING_HAL = 478,
  LINE_CREATE_DEVICE = 481,
  LINE_GET_BACK_BUFFER = 559,
  LINE_CREATE_SCREEN = 562,
  LINE_DS_CREATE = 630,
  LINE_DS_COOPERATIVE = 638,
  LINE_DS_BUFFER = 664,
  LINE_DS_QUERY_BUFFER8 = 671,
  LINE_DS_QUERY_NOTIFY = 679,
  LINE_DS_EVENT = 688,
  LINE_DS_NOTIFY_POSITIONS = 694,
  LINE_DS_THREAD_START = 702,
  LINE_DS_THREAD_DOWN = 707,
  LINE_THREAD_STARTED = 754,
  LINE_THREAD_UNLOCK = 781,
  LINE_THREAD_POSITION = 788,
  LINE_THREAD_PLAY = 795,
  LINE_THREAD_STOP = 808,
};

// Releases a COM object and forgets it.
template <typename T>
void win_release(T*& object) {
  if (object != nullptr) {
    object->Release();
    object = nullptr;
  }
}
