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

#include <cstdint>
#include <cstring>

#include "game/core.h"
#include "host/sound_ring.h"
#include "host/sound_thread.h"
#include "nox_w/log_lines.h"
#include "pack/log.h"

namespace {

constexpr DWORD kSegment = SOUND_PERIOD_SAMPLES * 2;  // bytes: one period of 16-bit mono
constexpr DWORD kSegments = 4;
constexpr DWORD kStreamBytes = kSegment * kSegments;
constexpr DWORD kWakeMs = 250;         // longest sleep between two looks at the state byte
constexpr int kRetries = 20;           // Lock/Play attempts, 1 ms apart, before giving up

IDirectSound8* ds_object = nullptr;
IDirectSoundBuffer8* ds_buffer = nullptr;
IDirectSoundNotify* ds_notify = nullptr;
HANDLE ds_events[kSegments] = {};
DSBPOSITIONNOTIFY ds_positions[kSegments]{};
HANDLE ds_thread = INVALID_HANDLE_VALUE;
SoundThread ds_sound;
uint8_t ds_mix[kSegment];  // the sound thread's own piece
DWORD ds_next_fill = 0;    // the segment to refill next

bool handle_held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

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
    if (ds_sound.state.load() == SOUND_STOP_REQUESTED) return true;
    Sleep(1);
  }
  if (FAILED(hr)) return true;
  std::memcpy(region, ds_mix, region_bytes < kSegment ? region_bytes : kSegment);
  hr = ds_buffer->Unlock(region, region_bytes, nullptr, 0);
  if (FAILED(hr)) {
    putlog(WIN_SOURCE, LINE_THREAD_UNLOCK, "Unlock failed: %x", win_hex(hr));
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
    putlog(WIN_SOURCE, LINE_THREAD_POSITION, "SetCurrentPosition failed: %x", win_hex(hr));
    return false;
  }
  for (int attempt = 0; attempt < kRetries; ++attempt) {
    hr = ds_buffer->Play(0, 0, DSBPLAY_LOOPING);
    if (SUCCEEDED(hr)) return true;
    if (ds_sound.state.load() == SOUND_STOP_REQUESTED) return true;
    Sleep(1);
  }
  putlog(WIN_SOURCE, LINE_THREAD_PLAY, "Play failed: %x", win_hex(hr));
  return false;
}

// Before the loop: the thread runs before ordinary work (a late refill is heard; it runs for
// microseconds at a time), every segment is filled and the stream plays.
bool ds_begin() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  for (DWORD segment = 0; segment < kSegments; ++segment) {
    if (!ds_fill_segment(segment)) return false;
  }
  ds_next_fill = 0;
  return ds_start_stream();
}

// Waits for a notification (at most kWakeMs, to look at the state byte) and refills what the
// play cursor has left.
bool ds_step() {
  const DWORD woke = WaitForMultipleObjects(kSegments, ds_events, FALSE, kWakeMs);
  if (ds_sound.state.load() != SOUND_RUNNING) return true;
  if (woke >= WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + kSegments) return ds_fill_played();
  // The events are gone or broken: keep polling the state byte, not spinning.
  if (woke != WAIT_TIMEOUT) Sleep(10);
  return true;
}

// However the thread ends, it leaves the game silent, not looping its last segments.
void ds_halt() { ds_buffer->Stop(); }

unsigned __stdcall ds_thread_main(void*) {
  sound_thread_run(&ds_sound, ds_begin, ds_step, ds_halt);
  return 0;
}

// A failed call: its log line, the same words in *why, nothing left open, -1.
int fail(Status* why, int line, const char* call, HRESULT code) {
  sound_close();
  return win_failed(why, line, call, code);
}

}  // namespace

void sound_close() {
  if (handle_held(ds_thread)) {
    if (sound_thread_stop(&ds_sound, nullptr)) WaitForSingleObject(ds_thread, INFINITE);
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
}

int sound_open(HWND window, Status* why) {
  HRESULT hr = DirectSoundCreate8(nullptr, &ds_object, nullptr);
  if (FAILED(hr)) {
    ds_object = nullptr;
    return fail(why, LOG_LINE_NO_SOUND_DEVICE, "DirectSoundCreate8", hr);
  }
  hr = ds_object->SetCooperativeLevel(window, DSSCL_NORMAL);
  if (FAILED(hr)) return fail(why, LINE_DS_COOPERATIVE, "SetCooperativeLevel", hr);

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
  if (FAILED(hr)) return fail(why, LINE_DS_BUFFER, "CreateSoundBuffer", hr);
  hr = first->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&ds_buffer));
  first->Release();
  if (FAILED(hr)) {
    ds_buffer = nullptr;
    return fail(why, LINE_DS_QUERY_BUFFER8, "QueryInterface", hr);
  }
  hr = ds_buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&ds_notify));
  if (FAILED(hr)) {
    ds_notify = nullptr;
    return fail(why, LINE_DS_QUERY_NOTIFY, "QueryInterface", hr);
  }
  for (DWORD segment = 0; segment < kSegments; ++segment) {
    ds_events[segment] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!handle_held(ds_events[segment]))
      return fail(why, LOG_LINE_SOUND_EVENT_FAILED, "CreateEvent", static_cast<HRESULT>(GetLastError()));
    ds_positions[segment].dwOffset = (segment + 1) * kSegment - 1;  // the last byte of each segment
    ds_positions[segment].hEventNotify = ds_events[segment];
  }
  hr = ds_notify->SetNotificationPositions(kSegments, ds_positions);
  if (FAILED(hr)) return fail(why, LINE_DS_NOTIFY_POSITIONS, "SetNotificationPositions", hr);

  sound_thread_prepare(&ds_sound);
  const uintptr_t started = _beginthreadex(nullptr, 65536, ds_thread_main, nullptr, 0, nullptr);
  if (started == 0) {
    const int error = static_cast<int>(GetLastError());
    putlog(WIN_SOURCE, LOG_LINE_SOUND_THREAD_FAILED, "Sound-thread could not be started. (%d)", error);
    sound_close();
    return status_fail(why, -1, "the sound thread could not be started (%d)", error);
  }
  ds_thread = reinterpret_cast<HANDLE>(started);
  if (!sound_thread_started(&ds_sound)) {
    sound_close();
    return status_fail(why, -1, "the sound thread stopped at once");
  }
  return 0;
}
