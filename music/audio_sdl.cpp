// Audio output on SDL2. SDL pulls sound through a callback on its own
// thread; here that callback only copies the next bytes of the ring and
// counts them, the way a waveOut device plays a looping buffer and counts its
// position. The audio thread (a std::thread) polls that count and refills
// the ring exactly as on Windows: the callback never mixes, never waits and
// never allocates.
#include <SDL.h>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#include <atomic>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "music/audio_device.h"
#include "music/player.h"
#include "music/ring_reader.h"

namespace {

SDL_AudioDeviceID device = 0;
// The ring is handed over while the callback is locked out; the read offset
// is the callback's.
RingReader reader;
std::thread audioThread;

void SDLCALL copyFromRing(void*, Uint8* stream, int length) {
  if (!reader.ring) {
    // Opened but not yet handed the ring: silence, not counted.
    std::memset(stream, 0, static_cast<size_t>(length));
    return;
  }
  readRing(reader, stream, static_cast<uint32_t>(length));
}

}  // namespace

bool openAudioDevice() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec wanted;
  SDL_zero(wanted);
  wanted.freq = mixRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  // About 12 ms per callback: the play position moves in steps smaller
  // than a block.
  wanted.samples = 512;
  wanted.callback = copyFromRing;
  reader.ring = nullptr;
  reader.ringBytes = 0;
  reader.readOffset = 0;
  reader.bytesPlayed.store(0);
  // No changes allowed: SDL converts to whatever the hardware takes.
  device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

void prepareAudioRing(int16_t* samples, uint32_t bytes) {
  SDL_LockAudioDevice(device);
  reader.ring = reinterpret_cast<const uint8_t*>(samples);
  reader.ringBytes = bytes;
  reader.readOffset = 0;
  SDL_UnlockAudioDevice(device);
}

void startAudioRing() { SDL_PauseAudioDevice(device, 0); }

uint32_t audioBytesPlayed() { return reader.bytesPlayed.load(std::memory_order_acquire); }

// Pausing waits for a callback in progress; afterwards none runs.
void resetAudioDevice() {
  if (device != 0) SDL_PauseAudioDevice(device, 1);
}

void unprepareAudioRing() {
  if (device != 0) SDL_LockAudioDevice(device);
  reader.ring = nullptr;
  reader.ringBytes = 0;
  if (device != 0) SDL_UnlockAudioDevice(device);
}

void closeAudioDevice() {
  if (device == 0) return;
  SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool startAudioThread(void (*body)()) {
  try {
    audioThread = std::thread(body);
  } catch (const std::system_error&) {
    return false;
  }
#if defined(__linux__)
  // A real-time priority, where the process may take one, runs the thread
  // before every ordinary one; set from here so that the thread itself does
  // nothing but poll and fill. Refused without the privilege: it then runs
  // at the ordinary priority.
  sched_param parameters = {};
  parameters.sched_priority = sched_get_priority_min(SCHED_RR);
  pthread_setschedparam(audioThread.native_handle(), SCHED_RR, &parameters);
#endif
  return true;
}

void forgetAudioThread() {
  if (audioThread.joinable()) audioThread.join();
}

void sleepMilliseconds(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
