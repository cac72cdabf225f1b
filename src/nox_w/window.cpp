// The game's window and its window procedure: Windows messages onto the game's touch events.
#include "nox_w/window.h"

#include <imm.h>

#include "host/event_queue.h"
#include "nox_w/log_lines.h"
#include "pack/log.h"

namespace {

// Pending events; the game takes one per frame.
HostEventQueue pending;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_MOUSEMOVE:
      events_push(&pending, {NoxEvent::PointerMove, static_cast<int32_t>(LOWORD(lparam)),
                             static_cast<int32_t>(HIWORD(lparam))});
      return 0;
    case WM_LBUTTONDOWN: {
      TRACKMOUSEEVENT track{};
      track.cbSize = sizeof track;
      track.dwFlags = TME_LEAVE;
      track.hwndTrack = window;
      TrackMouseEvent(&track);
      InvalidateRect(window, nullptr, FALSE);
      UpdateWindow(window);
      events_push(&pending, {NoxEvent::PointerDown, 0, 0});
      return 0;
    }
    case WM_LBUTTONUP:
      events_push(&pending, {NoxEvent::PointerUp, 0, 0});
      return 0;
    case WM_MOUSELEAVE:
      events_push(&pending, {NoxEvent::PointerLeave, 0, 0});
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      return 0;
    case WM_KEYUP:
      if (wparam == VK_ESCAPE) events_push(&pending, {NoxEvent::EscapeUp, 0, 0});
      break;
    case WM_SYSCOMMAND:
      // No screen saver and no display power saving while the game's window is active.
      if (wparam == SC_SCREENSAVE || wparam == SC_MONITORPOWER) return 0;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// A step of opening that failed: its log line "CALL error. (CODE)", the reason in *why, null.
HWND open_failed(Status* why, int line, const char* call, const char* reason) {
  const int error = static_cast<int>(GetLastError());
  putlog(WIN_SOURCE, line, "%s error. (%d)", call, error);
  status_fail(why, -1, "%s (%d)", reason, error);
  return nullptr;
}

}  // namespace

HWND window_open(HINSTANCE instance, int show, Status* why) {
  if (!ImmDisableIME(GetCurrentThreadId()))
    putlog(WIN_SOURCE, LINE_IME, "ImmDisableIME error. (%d)", static_cast<int>(GetLastError()));

  WNDCLASSA window_class{};
  window_class.style = CS_HREDRAW | CS_VREDRAW | CS_BYTEALIGNCLIENT;
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = HOST_TITLE;
  if (RegisterClassA(&window_class) == 0)
    return open_failed(why, LINE_REGISTER_CLASS, "RegisterClass", "the window class could not be registered");

  constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // fixed size, no maximise
  RECT frame{0, 0, NOX_CLIENT_W, NOX_CLIENT_H};
  AdjustWindowRect(&frame, kStyle, FALSE);
  HWND window = CreateWindowExA(0, HOST_TITLE, HOST_TITLE, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (window == nullptr)
    return open_failed(why, LOG_LINE_CREATE_WINDOW, "CreateWindowEx", "the window could not be opened");
  ShowWindow(window, show);
  UpdateWindow(window);
  events_clear(&pending);
  return window;
}

bool window_handle_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return false;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

GameInput window_next_input(HWND window) {
  HostEvent ev{};
  if (!events_pop(&pending, &ev)) return GameInput{};
  RECT client{};
  if (!GetClientRect(window, &client)) client = RECT{0, 0, 0, 0};
  return GameInput{ev.ev, ev.x, ev.y, client.right, client.bottom};
}
