// The Windows host: entry point and frame loop, window procedure, Direct3D 9 presenter and
// the DirectSound streaming thread. Everything the player sees and hears passes through here;
// the game itself knows nothing of Windows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <mmsystem.h>  // before dsound.h: the wave format it builds on
#include <d3d9.h>
#include <dsound.h>
#include <imm.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "engine/screen.h"
#include "engine/sound.h"
#include "engine/touch.h"
#include "game/game.h"
#include "game/input.h"
#include "host/clock.h"
#include "host/event_queue.h"
#include "host/frame_schedule.h"
#include "host/sound_ring.h"
#include "nox_w/places.h"
#include "pack/log.h"
#include "pack/pack.h"

namespace {

constexpr const char* kSource = ".\\src\\nox_w.cpp";
constexpr const char* kTitle = "PIXEL BREAKER";

// Every log line of the host carries a fixed line number; support reads them by it.
enum LogLine : int {
  LINE_FILES_FOLDER = 146,
  LINE_LOADBIN = 149,
  LINE_IME = 155,
  LINE_REGISTER_CLASS = 170,
  LINE_CREATE_WINDOW = 188,
  LINE_D3D_INIT = 199,
  LINE_DS_INIT = 205,
  LINE_NOX_INIT = 212,
  LINE_BEGIN_SCENE = 234,
  LINE_LOCK_RECT = 260,
  LINE_UNLOCK_RECT = 265,
  LINE_STRETCH_RECT = 268,
  LINE_END_SCENE = 271,
  LINE_PRESENT = 276,
  LINE_EXIT = 300,
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

template <typename T>
void release(T*& object) {
  if (object != nullptr) {
    object->Release();
    object = nullptr;
  }
}

unsigned hex(HRESULT hr) { return static_cast<unsigned>(hr); }

// ---------------------------------------------------------------------------------------------
// Direct3D 9 presenter.
//
// The game's 240 x 320 picture is composed into a lockable surface of exactly that size and
// then doubled onto a 480 x 640 back buffer with point filtering, so every virtual pixel is a
// sharp 2 x 2 block on any driver (letting Present stretch a small back buffer blurs it).

IDirect3D9* d3d_object = nullptr;
IDirect3DDevice9* d3d_device = nullptr;
IDirect3DSurface9* d3d_back_buffer = nullptr;
IDirect3DSurface9* d3d_screen = nullptr;  // 240 x 320, the composition target
RECT d3d_screen_rect{0, 0, NOX_W, NOX_H};
UINT d3d_refresh_hz = 0;

void d3d_term() {
  release(d3d_screen);
  release(d3d_back_buffer);
  release(d3d_device);
  release(d3d_object);
}

int d3d_init(HWND window, const RECT& screen) {
  d3d_screen_rect = screen;
  d3d_object = Direct3DCreate9(D3D_SDK_VERSION);
  if (d3d_object == nullptr) {
    putlog(kSource, LINE_D3D_CREATE, "Direct3DCreate9 failed: %d", static_cast<int>(GetLastError()));
    return -1;
  }
  D3DDISPLAYMODE mode{};
  d3d_object->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
  d3d_refresh_hz = mode.RefreshRate;

  const UINT width = static_cast<UINT>(screen.right - screen.left);
  const UINT height = static_cast<UINT>(screen.bottom - screen.top);
  D3DPRESENT_PARAMETERS params;
  std::memset(&params, 0, sizeof params);
  params.BackBufferWidth = width * 2;
  params.BackBufferHeight = height * 2;
  // The composition writes 32-bit pixels, so the back buffer is 32-bit whatever the desktop is.
  params.BackBufferFormat = D3DFMT_X8R8G8B8;
  params.BackBufferCount = 1;
  params.MultiSampleType = D3DMULTISAMPLE_NONE;
  params.MultiSampleQuality = 0;
  params.SwapEffect = D3DSWAPEFFECT_DISCARD;
  params.hDeviceWindow = nullptr;
  params.Windowed = TRUE;
  params.EnableAutoDepthStencil = TRUE;
  params.AutoDepthStencilFormat = D3DFMT_D16;
  params.Flags = 0;
  params.FullScreen_RefreshRateInHz = 0;
  params.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

  HRESULT hr = d3d_object->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &d3d_device);
  if (FAILED(hr)) {
    putlog(kSource, LINE_CREATE_DEVICE, "CreateDevice(HAL+SWV) failed: %x", hex(hr));
    d3d_term();
    return -1;
  }
  putlog(kSource, LINE_USING_HAL, "Using: HAL+SWV");

  hr = d3d_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d3d_back_buffer);
  if (FAILED(hr)) {
    putlog(kSource, LINE_GET_BACK_BUFFER, "GetBackBuffer failed: %x", hex(hr));
    d3d_term();
    return -1;
  }
  // A lockable render target: the one kind of source every driver can stretch from.
  hr = d3d_device->CreateRenderTarget(width, height, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                      &d3d_screen, nullptr);
  if (FAILED(hr)) {
    putlog(kSource, LINE_CREATE_SCREEN, "CreateRenderTarget failed: %x", hex(hr));
    d3d_term();
    return -1;
  }
  return 0;
}

int d3d_present() {
  HRESULT hr = d3d_device->BeginScene();
  if (FAILED(hr)) {
    putlog(kSource, LINE_BEGIN_SCENE, "BeginScene failed: %x", hex(hr));
    return -1;
  }
  D3DLOCKED_RECT locked{};
  // Plain lock: the discard flag is documented for dynamic resources only, and the surface's
  // memory copy stays current anyway, since nothing but this lock ever writes to it.
  hr = d3d_screen->LockRect(&locked, &d3d_screen_rect, 0);
  if (FAILED(hr)) {
    putlog(kSource, LINE_LOCK_RECT, "LockRect failed: %x", hex(hr));
    return -1;
  }
  nox_compose(locked.Pitch, locked.pBits);
  hr = d3d_screen->UnlockRect();
  if (FAILED(hr)) {
    putlog(kSource, LINE_UNLOCK_RECT, "UnlockRect failed: %x", hex(hr));
    return -1;
  }
  hr = d3d_device->StretchRect(d3d_screen, nullptr, d3d_back_buffer, nullptr, D3DTEXF_POINT);
  if (FAILED(hr)) {
    putlog(kSource, LINE_STRETCH_RECT, "StretchRect failed: %x", hex(hr));
    return -1;
  }
  hr = d3d_device->EndScene();
  if (FAILED(hr)) {
    putlog(kSource, LINE_END_SCENE, "EndScene failed: %x", hex(hr));
    return -1;
  }
  hr = d3d_device->Present(nullptr, nullptr, nullptr, nullptr);
  if (FAILED(hr)) {
    putlog(kSource, LINE_PRESENT, "Present failed: %x", hex(hr));
    return -1;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// DirectSound streaming thread.
//
// The sound streams through one looping buffer of four segments of 256 samples (about 11.6 ms
// each), with a notification at the end of each segment. Woken by one, the thread refills every
// segment the play cursor has left since, in order, with the mixer's next 256 samples: an effect
// is queued behind three to four segments (35 to 46 ms), and the thread can be up to three
// segments late before the buffer plays old sound.

constexpr DWORD kSegment = SOUND_PERIOD_SAMPLES * 2;  // bytes: one period of 16-bit mono
constexpr DWORD kSegments = 4;
constexpr DWORD kStreamBytes = kSegment * kSegments;
constexpr DWORD kWakeMs = 250;         // longest sleep between two looks at the state byte
constexpr int kRetries = 20;           // Lock/Play attempts, 1 ms apart, before giving up
constexpr uint8_t kStateIdle = 0;
constexpr uint8_t kStateRunning = 1;
constexpr uint8_t kStateStopRequest = 254;
constexpr uint8_t kStateStopped = 255;

IDirectSound8* ds_object = nullptr;
IDirectSoundBuffer8* ds_buffer = nullptr;
IDirectSoundNotify* ds_notify = nullptr;
HANDLE ds_events[kSegments] = {};
DSBPOSITIONNOTIFY ds_positions[kSegments]{};
HANDLE ds_thread = INVALID_HANDLE_VALUE;
std::atomic<uint8_t> ds_state{kStateIdle};
uint8_t ds_mix[kSegment];  // the sound thread's own piece
DWORD ds_next_fill = 0;    // the segment to refill next

bool handle_held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool stop_requested() { return ds_state.load() != kStateRunning; }

// Mixes the next piece and writes it into one segment of the looping buffer. A lost buffer is
// restored and started again; a Lock that keeps failing skips this piece rather than holding
// up a stop request. Returns false only when Unlock fails, which ends the thread.
bool ds_fill_segment(DWORD segment) {
  nox_mixpcm(ds_mix, kSegment);
  void* region = nullptr;
  DWORD region_bytes = 0;
  HRESULT hr = DSERR_GENERIC;
  bool restored = false;
  for (int attempt = 0; attempt < kRetries; ++attempt) {
    hr = ds_buffer->Lock(segment * kSegment, kSegment, &region, &region_bytes, nullptr, nullptr, 0);
    if (SUCCEEDED(hr)) break;
    if (hr == DSERR_BUFFERLOST && SUCCEEDED(ds_buffer->Restore())) restored = true;
    if (ds_state.load() == kStateStopRequest) return true;
    Sleep(1);
  }
  if (FAILED(hr)) return true;
  std::memcpy(region, ds_mix, region_bytes < kSegment ? region_bytes : kSegment);
  hr = ds_buffer->Unlock(region, region_bytes, nullptr, 0);
  if (FAILED(hr)) {
    putlog(kSource, LINE_THREAD_UNLOCK, "Unlock failed: %x", hex(hr));
    return false;
  }
  if (restored) ds_buffer->Play(0, 0, DSBPLAY_LOOPING);
  return true;
}

// Refills, in order, every segment that the play cursor has left behind. A notification may
// arrive late or two at once; the cursor says which segments are free.
bool ds_fill_played() {
  DWORD play = 0;
  if (FAILED(ds_buffer->GetCurrentPosition(&play, nullptr))) return true;
  const DWORD playing = play / kSegment % kSegments;
  for (; ds_next_fill != playing; ds_next_fill = (ds_next_fill + 1) % kSegments) {
    if (!ds_fill_segment(ds_next_fill)) return false;
  }
  return true;
}

// Starts the looping buffer from its beginning, every segment already filled.
bool ds_start_stream() {
  HRESULT hr = ds_buffer->SetCurrentPosition(0);
  if (FAILED(hr)) {
    putlog(kSource, LINE_THREAD_POSITION, "SetCurrentPosition failed: %x", hex(hr));
    return false;
  }
  for (int attempt = 0; attempt < kRetries; ++attempt) {
    hr = ds_buffer->Play(0, 0, DSBPLAY_LOOPING);
    if (SUCCEEDED(hr)) return true;
    if (ds_state.load() == kStateStopRequest) return true;
    Sleep(1);
  }
  putlog(kSource, LINE_THREAD_PLAY, "Play failed: %x", hex(hr));
  return false;
}

// A thread that ends on a failure leaves the game silent, not looping its last segments.
unsigned ds_thread_fail() {
  ds_buffer->Stop();
  return 0;
}

unsigned __stdcall ds_thread_main(void*) {
  putlog(kSource, LINE_THREAD_STARTED, "Sound-thread has started.");
  ds_state.store(kStateRunning);
  // A late refill is heard; the thread runs before ordinary work (for microseconds at a time).
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  for (DWORD segment = 0; segment < kSegments; ++segment) {
    if (!ds_fill_segment(segment)) return ds_thread_fail();
  }
  ds_next_fill = 0;
  if (!ds_start_stream()) return ds_thread_fail();
  for (;;) {
    while (!stop_requested()) {
      const DWORD woke = WaitForMultipleObjects(kSegments, ds_events, FALSE, kWakeMs);
      if (stop_requested()) break;
      if (woke >= WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + kSegments) {
        if (!ds_fill_played()) return ds_thread_fail();
      } else if (woke != WAIT_TIMEOUT) {
        Sleep(10);  // the events are gone or broken: keep polling the state byte, not spinning
      }
    }
    if (ds_state.load() == kStateStopRequest) {
      ds_buffer->Stop();
      putlog(kSource, LINE_THREAD_STOP, "Sound-thread will now stop.");
      ds_state.store(kStateStopped);
      return 0;
    }
    ds_state.store(kStateRunning);
  }
}

// Polls the state byte every 10 ms until it reads `wanted`; gives up once the thread has ended.
bool ds_wait_state(uint8_t wanted) {
  for (;;) {
    if (ds_state.load() == wanted) return true;
    Sleep(10);
    DWORD code = 0;
    if (!GetExitCodeThread(ds_thread, &code) || code != STILL_ACTIVE) return ds_state.load() == wanted;
  }
}

void ds_term() {
  if (handle_held(ds_thread)) {
    if (ds_wait_state(kStateRunning)) {
      ds_state.store(kStateStopRequest);
      if (ds_wait_state(kStateStopped)) WaitForSingleObject(ds_thread, INFINITE);
    }
    CloseHandle(ds_thread);
    ds_thread = INVALID_HANDLE_VALUE;
  }
  release(ds_notify);
  for (HANDLE& event : ds_events) {
    if (handle_held(event)) CloseHandle(event);
    event = nullptr;
  }
  release(ds_buffer);
  release(ds_object);
  ds_state.store(kStateIdle);
}

int ds_init(HWND window) {
  HRESULT hr = DirectSoundCreate8(nullptr, &ds_object, nullptr);
  if (FAILED(hr)) {
    ds_object = nullptr;
    putlog(kSource, LINE_DS_CREATE, "DirectSoundCreate8 failed: %x", hex(hr));
    ds_term();
    return -1;
  }
  hr = ds_object->SetCooperativeLevel(window, DSSCL_NORMAL);
  if (FAILED(hr)) {
    putlog(kSource, LINE_DS_COOPERATIVE, "SetCooperativeLevel failed: %x", hex(hr));
    ds_term();
    return -1;
  }

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = SOUND_RATE;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;
  DSBUFFERDESC desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_CTRLPOSITIONNOTIFY;
  desc.dwBufferBytes = kStreamBytes;
  desc.dwReserved = 0;
  desc.lpwfxFormat = &format;
  desc.guid3DAlgorithm = GUID_NULL;

  IDirectSoundBuffer* first = nullptr;
  hr = ds_object->CreateSoundBuffer(&desc, &first, nullptr);
  if (FAILED(hr)) {
    putlog(kSource, LINE_DS_BUFFER, "CreateSoundBuffer failed: %x", hex(hr));
    ds_term();
    return -1;
  }
  hr = first->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&ds_buffer));
  first->Release();
  if (FAILED(hr)) {
    ds_buffer = nullptr;
    putlog(kSource, LINE_DS_QUERY_BUFFER8, "QueryInterface failed: %x", hex(hr));
    ds_term();
    return -1;
  }
  hr = ds_buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&ds_notify));
  if (FAILED(hr)) {
    ds_notify = nullptr;
    putlog(kSource, LINE_DS_QUERY_NOTIFY, "QueryInterface failed: %x", hex(hr));
    ds_term();
    return -1;
  }
  for (DWORD segment = 0; segment < kSegments; ++segment) {
    ds_events[segment] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!handle_held(ds_events[segment])) {
      putlog(kSource, LINE_DS_EVENT, "CreateEvent failed: %x", static_cast<unsigned>(GetLastError()));
      ds_term();
      return -1;
    }
    ds_positions[segment].dwOffset = (segment + 1) * kSegment - 1;  // the last byte of each segment
    ds_positions[segment].hEventNotify = ds_events[segment];
  }
  hr = ds_notify->SetNotificationPositions(kSegments, ds_positions);
  if (FAILED(hr)) {
    putlog(kSource, LINE_DS_NOTIFY_POSITIONS, "SetNotificationPositions failed: %x", hex(hr));
    ds_term();
    return -1;
  }

  ds_state.store(kStateIdle);
  const uintptr_t started = _beginthreadex(nullptr, 65536, ds_thread_main, nullptr, 0, nullptr);
  if (started == 0) {
    putlog(kSource, LINE_DS_THREAD_START, "Sound-thread could not be started. (%d)",
           static_cast<int>(GetLastError()));
    ds_term();
    return -1;
  }
  ds_thread = reinterpret_cast<HANDLE>(started);
  if (!ds_wait_state(kStateRunning)) {
    putlog(kSource, LINE_DS_THREAD_DOWN, "Sound-thread has down.");
    ds_term();
    return -1;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Window procedure: Windows messages onto the game's touch handling.

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

// Hands the oldest pending event to the game; a move is scaled by the client area as it is
// now (a minimised window has none: the move then only updates the motion). Returns 1 when the
// event asks the program to quit.
int dispatch_pending(HWND window) {
  HostEvent ev{};
  if (!events_pop(&pending, &ev)) return 0;
  RECT client{};
  if (!GetClientRect(window, &client)) client = RECT{0, 0, 0, 0};
  return nox_dispatch_event(ev.ev, ev.x, ev.y, client.right, client.bottom);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry point.

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  if (win_answer_version()) return 0;
  char pack[MAX_PATH * 3];
  const unsigned long folder_error = win_enter_files_folder(pack, sizeof pack);
  RECT client_rect{0, 0, NOX_W * 2, NOX_H * 2};
  const RECT screen_rect{0, 0, NOX_W, NOX_H};

  putlog_set_source(kSource);
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  GetVersionExA(&version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  DeleteFileA("LOG.TXT");
  putlog(nullptr, 0, "Executes \"%s\" on Windows %d.%d %s (%d,%d)", kTitle, static_cast<int>(version.dwMajorVersion),
         static_cast<int>(version.dwMinorVersion), version.szCSDVersion, static_cast<int>(version.dwBuildNumber),
         static_cast<int>(version.dwPlatformId));

  if (folder_error != 0)
    putlog(kSource, LINE_FILES_FOLDER, "Could not enter the folder for the player's files. (%d)",
           static_cast<int>(folder_error));
  if (loadbin(pack) != 0) {
    putlog(kSource, LINE_LOADBIN, "loadbin error.");
    return 0;
  }
  if (!ImmDisableIME(GetCurrentThreadId()))
    putlog(kSource, LINE_IME, "ImmDisableIME error. (%d)", static_cast<int>(GetLastError()));

  WNDCLASSA window_class;
  std::memset(&window_class, 0, sizeof window_class);
  window_class.style = CS_HREDRAW | CS_VREDRAW | CS_BYTEALIGNCLIENT;
  window_class.lpfnWndProc = window_proc;
  window_class.cbClsExtra = 0;
  window_class.cbWndExtra = 0;
  window_class.hInstance = instance;
  window_class.hIcon = nullptr;
  window_class.hCursor = nullptr;
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszMenuName = nullptr;
  window_class.lpszClassName = kTitle;
  if (RegisterClassA(&window_class) == 0) {
    putlog(kSource, LINE_REGISTER_CLASS, "RegisterClass error. (%d)", static_cast<int>(GetLastError()));
    return 0;
  }

  constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // fixed size, no maximise
  AdjustWindowRect(&client_rect, kStyle, FALSE);
  const int width = client_rect.right - client_rect.left;
  const int height = client_rect.bottom - client_rect.top;
  HWND window = CreateWindowExA(0, kTitle, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) {
    putlog(kSource, LINE_CREATE_WINDOW, "CreateWindowEx error. (%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  ShowWindow(window, show_command);
  UpdateWindow(window);

  if (d3d_init(window, screen_rect) != 0) {
    putlog(kSource, LINE_D3D_INIT, "d3d_init error.");
    return 0;
  }
  if (ds_init(window) != 0) {
    putlog(kSource, LINE_DS_INIT, "ds_init error.");
    d3d_term();
    return 0;
  }
  if (nox_init() != 0) {
    putlog(kSource, LINE_NOX_INIT, "nox_init error.");
    ds_term();
    d3d_term();
    return 0;
  }

  events_clear(&pending);
  Pacer pacer{};
  bool quit = false;
  for (uint64_t frames = 0; !quit; ++frames) {
    // The wait comes first: the frame then reads the newest input and is shown as soon as it
    // is drawn (Present does not wait for the display here).
    if (frames > 0) host_sleep_until_ns(pacer_deadline(&pacer));
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        break;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (quit || dispatch_pending(window) != 0) break;
    if (nox_frame() != 0) break;
    if (d3d_present() != 0) break;
    nox_touch_tick();
    const int64_t now = host_now_ns();
    // The schedule starts with the first picture, so a slow first frame is not made up for.
    if (frames == 0) pacer_start(&pacer, PaceMode::Timer, now);
    pacer_presented(&pacer, now);
  }

  ds_term();
  d3d_term();
  nox_free_banks();
  nox_free_slots();
  putlog(kSource, LINE_EXIT, "Exit program.");
  return 1;
}
