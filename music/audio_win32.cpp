// Audio output through the Windows waveform-audio device: one looping
// buffer over the whole ring, its position polled in bytes, and the audio
// thread made with CreateThread at time-critical priority.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <atomic>

#include "music/audio_device.h"
#include "music/music.h"

namespace {

HWAVEOUT device = nullptr;
WAVEHDR ringHeader = {};
// Bytes, as last reported. Atomic: the main thread may read the position too
// (playedBytes) while the audio thread polls it.
std::atomic<uint32_t> lastPosition{0};
HANDLE thread = nullptr;
void (*threadBody)() = nullptr;

DWORD WINAPI threadEntry(LPVOID) {
  threadBody();
  return 0;
}

}  // namespace

bool openAudioDevice() {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = mixRate;
  format.nAvgBytesPerSec = mixRate * 4;
  format.nBlockAlign = 4;
  format.wBitsPerSample = 16;
  format.cbSize = 0;
  lastPosition.store(0);
  if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    device = nullptr;
    return false;
  }
  return true;
}

void prepareAudioRing(int16_t* ring, uint32_t bytes) {
  ringHeader = {};
  ringHeader.lpData = reinterpret_cast<LPSTR>(ring);
  ringHeader.dwBufferLength = bytes;
  ringHeader.dwBytesRecorded = 0;
  ringHeader.dwUser = 0;
  ringHeader.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  ringHeader.dwLoops = 0xFFFFFFFF;
  waveOutPrepareHeader(device, &ringHeader, sizeof ringHeader);
}

void startAudioRing() { waveOutWrite(device, &ringHeader, sizeof ringHeader); }

uint32_t audioBytesPlayed() {
  MMTIME time = {};
  time.wType = TIME_BYTES;
  // A failed query would read as position 0, a jump that the thread would
  // take for played blocks: the last position stands instead.
  if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return lastPosition.load();
  // A device that cannot count bytes answers in another unit.
  const uint32_t position = time.wType == TIME_SAMPLES ? time.u.sample * 4 : time.u.cb;
  lastPosition.store(position);
  return position;
}

void resetAudioDevice() {
  if (device) waveOutReset(device);
}

void unprepareAudioRing() {
  waveOutUnprepareHeader(device, &ringHeader, sizeof ringHeader);
  ringHeader.dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
}

void closeAudioDevice() {
  if (device) waveOutClose(device);
  device = nullptr;
}

bool startAudioThread(void (*body)()) {
  threadBody = body;
  thread = CreateThread(nullptr, 0, threadEntry, nullptr, 0, nullptr);
  if (!thread) return false;
  SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
  return true;
}

void forgetAudioThread() {
  if (thread) CloseHandle(thread);
  thread = nullptr;
}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }
