// Real-time playback: playSong opens the audio device, fills the whole ring
// and starts the audio thread, which keeps refilling the blocks the device
// has finished with, about one ring (two seconds) ahead of what is heard.
// stopPlayback (mixer.cpp) ends it through closeOutput below.
//
// The two threads share no lock. Three one-byte flags carry the hand-over:
// stopRequested (main -> audio thread), filling (set around each block fill)
// and threadFinished (the thread's last action). stopRequested and filling
// are sequentially consistent: the thread sets filling before it checks
// stopRequested, the main thread sets stopRequested before it checks filling,
// so once the main thread sees filling clear no fill is running and none can
// start. threadFinished is released by the thread and acquired by the main
// thread before anything the thread used is released.
#include "music/audio_device.h"
#include "music/player.h"

namespace {

bool threadStarted = false;
bool ringPrepared = false;

void audioThread() {
  const uint32_t ringBytes = static_cast<uint32_t>(player.ringFrames) * 4;
  const uint32_t blockBytes = static_cast<uint32_t>(player.blockFrames) * 4;
  // The device counts played bytes in 32 bits, which wrap after about 6.8
  // hours at a count that is no whole number of rings. The play position in
  // the ring is therefore carried forward by the differences between
  // readings, which the wrap does not disturb.
  uint32_t lastCount = 0;
  uint32_t ringOffset = 0;
  while (!player.stopRequested.load()) {
    const uint32_t count = audioBytesPlayed();
    ringOffset = static_cast<uint32_t>((uint64_t{ringOffset} + (count - lastCount)) % ringBytes);
    lastCount = count;
    const int32_t playing = static_cast<int32_t>(ringOffset / blockBytes);
    // Every block the device has finished with, up to the one it plays.
    while (player.fillIndex != playing) {
      player.filling.store(1);
      if (player.stopRequested.load()) {
        player.filling.store(0);
        break;
      }
      fillBlock();
      player.filling.store(0);
      // Publishes the block to a device that reads the ring on a thread of
      // its own (see blocksFilled).
      player.blocksFilled.fetch_add(1, std::memory_order_release);
    }
    sleepMilliseconds(5);
  }
  player.threadFinished.store(1, std::memory_order_release);
}

// The device side of stopPlayback: ends the thread, then stops and closes
// the device, which lets go of the ring.
void closeOutput() {
  player.stopRequested.store(1);
  while (player.filling.load()) {
  }
  if (threadStarted) {
    while (!player.threadFinished.load(std::memory_order_acquire)) sleepMilliseconds(10);
    forgetAudioThread();
    threadStarted = false;
  }
  resetAudioDevice();
  if (ringPrepared) {
    unprepareAudioRing();
    ringPrepared = false;
  }
  closeAudioDevice();
  player.closeOutput = nullptr;
}

}  // namespace

bool playedBytes(uint32_t& bytes) {
  if (!threadStarted) return false;
  bytes = audioBytesPlayed();
  return true;
}

bool playSong(Song* song) {
  if (!song) return false;
  makeSongCurrent(song);
  // Without a device the song stays current but nothing plays.
  if (!openAudioDevice()) return false;
  player.closeOutput = closeOutput;
  if (!allocatePlaybackBuffers()) {
    stopPlayback(song);
    return false;
  }
  prepareAudioRing(player.ring, static_cast<uint32_t>(player.ringFrames) * 4);
  ringPrepared = true;

  // Every block holds music before the device starts.
  fillWholeRing();
  startAudioRing();

  player.stopRequested.store(0);
  player.filling.store(0);
  // Cleared here rather than by the thread: a stop that came before the
  // thread had run would otherwise find the flag still set and release the
  // buffers under it.
  player.threadFinished.store(0);
  if (!startAudioThread(audioThread)) {
    player.threadFinished.store(1);
    stopPlayback(song);
    return false;
  }
  threadStarted = true;
  return true;
}
