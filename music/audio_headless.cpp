// The headless audio device: no sound, a play position that only tests move.
// The tests' own thread plays the ring while the audio thread refills it.
#include "music/audio_headless.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "music/audio_device.h"
#include "music/ring_reader.h"

namespace {

bool refuseOpen = false;
bool deviceOpen = false;
bool playing = false;
RingReader reader;
std::atomic<bool> holdReadings{false};
std::atomic<bool> readingHeld{false};
std::atomic<bool> awaitThreadStart{false};
std::atomic<uint32_t> readings{0};
std::atomic<bool> bodyReturned{false};
std::thread audioThread;

}  // namespace

void headlessAudioRefuseOpen(bool refuse) { refuseOpen = refuse; }
bool headlessAudioOpen() { return deviceOpen; }
bool headlessAudioPlaying() { return playing; }

void headlessAudioPlay(uint32_t frames, int16_t* out) {
  if (!playing) return;
  readRing(reader, reinterpret_cast<uint8_t*>(out), frames * 4);
}

void headlessAudioSkipRings(uint32_t rings) {
  if (playing) reader.bytesPlayed.fetch_add(rings * reader.ringBytes, std::memory_order_release);
}

uint32_t headlessAudioBytesPlayed() { return reader.bytesPlayed.load(); }

void headlessAudioHoldReadings(bool hold) { holdReadings.store(hold); }
bool headlessAudioReadingHeld() { return readingHeld.load(); }
void headlessAudioAwaitThreadStart(bool await) { awaitThreadStart.store(await); }

bool openAudioDevice() {
  if (refuseOpen) return false;
  deviceOpen = true;
  playing = false;
  reader.bytesPlayed.store(0);
  reader.readOffset = 0;
  return true;
}

void prepareAudioRing(int16_t* samples, uint32_t bytes) {
  reader.ring = reinterpret_cast<const uint8_t*>(samples);
  reader.ringBytes = bytes;
}

void startAudioRing() { playing = true; }

uint32_t audioBytesPlayed() {
  readings.fetch_add(1);
  if (holdReadings.load()) {
    readingHeld.store(true);
    while (holdReadings.load()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    readingHeld.store(false);
  }
  return reader.bytesPlayed.load(std::memory_order_acquire);
}

void resetAudioDevice() { playing = false; }

void unprepareAudioRing() {
  reader.ring = nullptr;
  reader.ringBytes = 0;
}

void closeAudioDevice() { deviceOpen = false; }

bool startAudioThread(void (*body)()) {
  const uint32_t readingsBefore = readings.load();
  bodyReturned.store(false);
  try {
    audioThread = std::thread([body] {
      body();
      bodyReturned.store(true);
    });
  } catch (const std::system_error&) {
    return false;
  }
  // A device thread may run before its creator goes on: let it, as far as
  // its first reading of the counter or its end.
  if (awaitThreadStart.load()) {
    while (readings.load() == readingsBefore && !bodyReturned.load()) std::this_thread::yield();
  }
  return true;
}

void forgetAudioThread() {
  if (audioThread.joinable()) audioThread.join();
}

void sleepMilliseconds(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
