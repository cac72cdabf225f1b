// Where the Windows host's log lines say they come from, and the fixed line numbers of those the
// Linux host does not write too (host/log_lines.h has the others; support and the tests read a
// line by its number, so a number never changes once a line has one).
#pragma once
#include "nox_w/win.h"

#include "host/log_lines.h"
#include "pack/log.h"
#include "pack/status.h"

constexpr const char* WIN_SOURCE = ".\\src\\nox_w.cpp";

enum WinLogLine : int {
  LINE_FILES_FOLDER = 146,
  LINE_IME = 155,
  LINE_REGISTER_CLASS = 170,
  LINE_BEGIN_SCENE = 234,
  LINE_UNLOCK_RECT = 265,
  LINE_STRETCH_RECT = 268,
  LINE_END_SCENE = 271,
  LINE_PRESENT = 276,
  LINE_D3D_CREATE = 428,
  LINE_CREATE_SCREEN = 562,
  LINE_DS_COOPERATIVE = 638,
  LINE_DS_BUFFER = 664,
  LINE_DS_QUERY_BUFFER8 = 671,
  LINE_DS_QUERY_NOTIFY = 679,
  LINE_DS_NOTIFY_POSITIONS = 694,
  LINE_THREAD_UNLOCK = 781,
  LINE_THREAD_POSITION = 788,
  LINE_THREAD_PLAY = 795,
};

// An HRESULT as the log writes it: its bits in hex.
inline unsigned win_hex(HRESULT hr) { return static_cast<unsigned>(hr); }

// A failed call: its log line "CALL failed: CODE" (in hex), the same words in *why (when
// given), -1.
inline int win_failed(Status* why, int line, const char* call, HRESULT code) {
  putlog(WIN_SOURCE, line, "%s failed: %x", call, win_hex(code));
  return status_fail(why, -1, "%s failed: %x", call, win_hex(code));
}

// Releases a COM object and forgets it.
template <typename T>
void win_release(T*& object) {
  if (object != nullptr) {
    object->Release();
    object = nullptr;
  }
}
