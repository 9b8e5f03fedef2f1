// The headless audio device: no sound, a play position that only tests move.
// The tests' own thread plays the ring while the audio thread refills it.
#include "music/audio_headless.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "music/audio_device.h"
#include "music/player.h"

namespace {

bool refuseOpen = false;
bool deviceOpen = false;
bool playing = false;
const int16_t* ring = nullptr;
uint32_t ringBytes = 0;
uint32_t readOffset = 0;  // bytes into the ring
std::atomic<uint32_t> bytesPlayed{0};
std::atomic<bool> holdReadings{false};
std::atomic<bool> readingHeld{false};
std::thread audioThread;

}  // namespace

void headlessAudioRefuseOpen(bool refuse) { refuseOpen = refuse; }
bool headlessAudioOpen() { return deviceOpen; }
bool headlessAudioPlaying() { return playing; }

void headlessAudioPlay(uint32_t frames, int16_t* out) {
  if (!playing || !ring) return;
  (void)player.blocksFilled.load(std::memory_order_acquire);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(ring);
  uint32_t left = frames * 4;
  while (left > 0) {
    const uint32_t run = left < ringBytes - readOffset ? left : ringBytes - readOffset;
    if (out) {
      std::memcpy(out, bytes + readOffset, run);
      out += run / 2;
    }
    left -= run;
    readOffset += run;
    if (readOffset == ringBytes) readOffset = 0;
  }
  bytesPlayed.fetch_add(frames * 4, std::memory_order_release);
}

void headlessAudioSkipRings(uint32_t rings) {
  if (playing) bytesPlayed.fetch_add(rings * ringBytes, std::memory_order_release);
}

uint32_t headlessAudioBytesPlayed() { return bytesPlayed.load(); }

void headlessAudioHoldReadings(bool hold) { holdReadings.store(hold); }
bool headlessAudioReadingHeld() { return readingHeld.load(); }

bool openAudioDevice() {
  if (refuseOpen) return false;
  deviceOpen = true;
  playing = false;
  bytesPlayed.store(0);
  readOffset = 0;
  return true;
}

void prepareAudioRing(int16_t* samples, uint32_t bytes) {
  ring = samples;
  ringBytes = bytes;
}

void startAudioRing() { playing = true; }

uint32_t audioBytesPlayed() {
  if (holdReadings.load()) {
    readingHeld.store(true);
    while (holdReadings.load()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    readingHeld.store(false);
  }
  return bytesPlayed.load(std::memory_order_acquire);
}

void resetAudioDevice() { playing = false; }

void unprepareAudioRing() {
  ring = nullptr;
  ringBytes = 0;
}

void closeAudioDevice() { deviceOpen = false; }

bool startAudioThread(void (*body)()) {
  try {
    audioThread = std::thread(body);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void forgetAudioThread() {
  if (audioThread.joinable()) audioThread.join();
}

void sleepMilliseconds(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
