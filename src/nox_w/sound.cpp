// The DirectSound stream.
//
// The sound streams through one looping buffer of four segments of 256 samples (about 11.6 ms
// each), with a notification at the end of each segment. Woken by one, the thread refills every
// segment the play cursor has left since, in order, with the mixer's next 256 samples: an effect
// is queued behind three to four segments (35 to 46 ms), and the thread can be up to three
// segments late before the buffer plays old sound.
#include "nox_w/sound.h"

#include <mmsystem.h>  // before dsound.h: the wave format it builds on
#include <dsound.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "game/core.h"
#include "host/sound_ring.h"
#include "nox_w/log_lines.h"
#include "pack/log.h"

namespace {


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

unsigned hex(HRESULT hr) { return static_cast<unsigned>(hr); }

bool handle_held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

bool stop_requested() { return ds_state.load() != kStateRunning; }

// Mixes the next piece and writes it into one segment of the looping buffer. A lost buffer is
// restored and started again; a Lock that keeps failing skips this piece rather than holding
// up a stop request. Returns false only when Unlock fails, which ends the thread.
bool ds_fill_segment(DWORD segment) {
  game_mix(ds_mix, kSegment);
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
    putlog(WIN_SOURCE, LINE_THREAD_UNLOCK, "Unlock failed: %x", hex(hr));
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
    putlog(WIN_SOURCE, LINE_THREAD_POSITION, "SetCurrentPosition failed: %x", hex(hr));
    return false;
  }
  for (int attempt = 0; attempt < kRetries; ++attempt) {
    hr = ds_buffer->Play(0, 0, DSBPLAY_LOOPING);
    if (SUCCEEDED(hr)) return true;
    if (ds_state.load() == kStateStopRequest) return true;
    Sleep(1);
  }
  putlog(WIN_SOURCE, LINE_THREAD_PLAY, "Play failed: %x", hex(hr));
  return false;
}

// A thread that ends on a failure leaves the game silent, not looping its last segments.
unsigned ds_thread_fail() {
  ds_buffer->Stop();
  return 0;
}

unsigned __stdcall ds_thread_main(void*) {
  putlog(WIN_SOURCE, LINE_THREAD_STARTED, "Sound-thread has started.");
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
      putlog(WIN_SOURCE, LINE_THREAD_STOP, "Sound-thread will now stop.");
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


// A failed call: its log line, the same words in *why, nothing left open, -1.
int fail(Status* why, int line, const char* call, unsigned code) {
  putlog(WIN_SOURCE, line, "%s failed: %x", call, code);
  sound_close();
  return status_fail(why, -1, "%s failed: %x", call, code);
}

}  // namespace

void sound_close() {
  if (handle_held(ds_thread)) {
    if (ds_wait_state(kStateRunning)) {
      ds_state.store(kStateStopRequest);
      if (ds_wait_state(kStateStopped)) WaitForSingleObject(ds_thread, INFINITE);
    }
    CloseHandle(ds_thread);
    ds_thread = INVALID_HANDLE_VALUE;
  }
  win_release(ds_notify);
  for (HANDLE& event : ds_events) {
    if (handle_held(event)) CloseHandle(event);
    event = nullptr;
  }
  win_release(ds_buffer);
  win_release(ds_object);
  ds_state.store(kStateIdle);
}

int sound_open(HWND window, Status* why) {
  HRESULT hr = DirectSoundCreate8(nullptr, &ds_object, nullptr);
  if (FAILED(hr)) {
    ds_object = nullptr;
    return fail(why, LINE_DS_CREATE, "DirectSoundCreate8", hex(hr));
  }
  hr = ds_object->SetCooperativeLevel(window, DSSCL_NORMAL);
  if (FAILED(hr)) return fail(why, LINE_DS_COOPERATIVE, "SetCooperativeLevel", hex(hr));

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = SOUND_RATE;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_CTRLPOSITIONNOTIFY;
  desc.dwBufferBytes = kStreamBytes;
  desc.lpwfxFormat = &format;
  desc.guid3DAlgorithm = GUID_NULL;

  IDirectSoundBuffer* first = nullptr;
  hr = ds_object->CreateSoundBuffer(&desc, &first, nullptr);
  if (FAILED(hr)) return fail(why, LINE_DS_BUFFER, "CreateSoundBuffer", hex(hr));
  hr = first->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&ds_buffer));
  first->Release();
  if (FAILED(hr)) {
    ds_buffer = nullptr;
    return fail(why, LINE_DS_QUERY_BUFFER8, "QueryInterface", hex(hr));
  }
  hr = ds_buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&ds_notify));
  if (FAILED(hr)) {
    ds_notify = nullptr;
    return fail(why, LINE_DS_QUERY_NOTIFY, "QueryInterface", hex(hr));
  }
  for (DWORD segment = 0; segment < kSegments; ++segment) {
    ds_events[segment] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!handle_held(ds_events[segment])) return fail(why, LINE_DS_EVENT, "CreateEvent", GetLastError());
    ds_positions[segment].dwOffset = (segment + 1) * kSegment - 1;  // the last byte of each segment
    ds_positions[segment].hEventNotify = ds_events[segment];
  }
  hr = ds_notify->SetNotificationPositions(kSegments, ds_positions);
  if (FAILED(hr)) return fail(why, LINE_DS_NOTIFY_POSITIONS, "SetNotificationPositions", hex(hr));

  ds_state.store(kStateIdle);
  const uintptr_t started = _beginthreadex(nullptr, 65536, ds_thread_main, nullptr, 0, nullptr);
  if (started == 0) {
    const int error = static_cast<int>(GetLastError());
    putlog(WIN_SOURCE, LINE_DS_THREAD_START, "Sound-thread could not be started. (%d)", error);
    sound_close();
    return status_fail(why, -1, "the sound thread could not be started (%d)", error);
  }
  ds_thread = reinterpret_cast<HANDLE>(started);
  if (!ds_wait_state(kStateRunning)) {
    putlog(WIN_SOURCE, LINE_DS_THREAD_DOWN, "Sound-thread has down.");
    sound_close();
    return status_fail(why, -1, "the sound thread stopped at once");
  }
  return 0;
}
