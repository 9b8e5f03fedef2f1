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
#include <cstring>

#include "music/audio_device.h"
#include "music/player.h"

namespace {

bool threadStarted = false;
bool ringPrepared = false;
// The song's frame from which the ring is silent, or -1. Set before the
// thread starts, then only read.
int64_t endFrame = -1;

// fillBlock, then silence from endFrame on.
void fillAndEnd() {
  const int16_t* block = fillBlock();
  if (!block || endFrame < 0) return;
  const int64_t blockFrames = player.blockFrames;
  const int64_t start = (static_cast<int64_t>(player.songBlock) - 1) * blockFrames;
  if (start + blockFrames <= endFrame) return;
  const int64_t keep = endFrame > start ? endFrame - start : 0;
  int16_t* samples = player.ring + (block - player.ring);
  std::memset(samples + keep * 2, 0, static_cast<size_t>(blockFrames - keep) * 4);
}

// Frames the device has played since the ring started, from its 32-bit byte
// count, which wraps. A block is refilled only once the device has played
// it, so the device has played at least (filled - ring blocks) blocks: the
// count is taken as the first value at or above that with the same low 32
// bits, right unless the thread fell hours behind. The fill count is read
// first, so that the byte count is no older than it.
uint64_t framesPlayed() {
  const uint32_t blockCount = static_cast<uint32_t>(player.ringFrames / player.blockFrames);
  const uint32_t filled = player.blocksFilled.load(std::memory_order_acquire);
  const uint32_t count = audioBytesPlayed();
  const uint64_t floor = uint64_t{filled - blockCount} * static_cast<uint64_t>(player.blockFrames) * 4;
  return (floor + static_cast<uint32_t>(count - static_cast<uint32_t>(floor))) / 4;
}

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
      fillAndEnd();
      player.filling.store(0);
      // Publishes the block to a device that reads the ring on a thread of
      // its own (see blocksFilled).
      player.blocksFilled.fetch_add(1, std::memory_order_release);
    }
    sleepMilliseconds(5);
  }
  player.threadFinished.store(1, std::memory_order_release);
}

// Ends the audio thread; the device plays on.
void endAudioThread() {
  player.stopRequested.store(1);
  while (player.filling.load()) {
  }
  if (threadStarted) {
    while (!player.threadFinished.load(std::memory_order_acquire)) sleepMilliseconds(10);
    forgetAudioThread();
    threadStarted = false;
  }
}

// The device side of stopPlayback: ends the thread, then stops and closes
// the device, which lets go of the ring.
void closeOutput() {
  endAudioThread();
  resetAudioDevice();
  if (ringPrepared) {
    unprepareAudioRing();
    ringPrepared = false;
  }
  closeAudioDevice();
  player.closeOutput = nullptr;
}

// playSong from the block `skipBlocks` blocks into the song, silent from
// `end` on, the first block rising from silence when `fadeIn` is set.
bool startPlayback(Song* song, uint32_t skipBlocks, int64_t end, bool fadeIn) {
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

  passBlocks(song, skipBlocks);
  endFrame = end;
  // Every block holds music before the device starts.
  do {
    fillAndEnd();
  } while (player.fillIndex != 0);
  player.blocksFilled.store(static_cast<uint32_t>(player.ringFrames / player.blockFrames));
  if (fadeIn) {
    const int32_t frames = player.blockFrames;
    for (int32_t i = 0; i < frames; ++i) {
      player.ring[2 * i] = static_cast<int16_t>(player.ring[2 * i] * i / frames);
      player.ring[2 * i + 1] = static_cast<int16_t>(player.ring[2 * i + 1] * i / frames);
    }
  }
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

}  // namespace

bool playedBytes(uint32_t& bytes) {
  if (!threadStarted) return false;
  bytes = audioBytesPlayed();
  return true;
}

bool playSong(Song* song) { return startPlayback(song, 0, -1, false); }

bool playSongAt(Song* song, int64_t frame, int64_t end) {
  if (!song || frame < 0) return false;
  const int32_t blockFrames = blockFrameCount();
  const uint32_t skip = static_cast<uint32_t>(frame / blockFrames);
  return startPlayback(song, skip, end, skip > 0);
}

bool heardPosition(SongPosition& position) {
  const Song* song = player.song;
  if (!song || !player.closeOutput || !player.ring) return false;
  const int32_t blockFrames = player.blockFrames;
  const uint32_t blockCount = static_cast<uint32_t>(player.ringFrames / blockFrames);
  // The audio thread rewrites a record only after the device has played its
  // block; a reader that was held up that long retries from a new count.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint64_t played = framesPlayed();
    const int32_t offset = static_cast<int32_t>(played % static_cast<uint64_t>(blockFrames));
    const BlockRecord& record = blockRecords[(played / static_cast<uint64_t>(blockFrames)) % blockCount];
    const uint32_t version = record.version.load(std::memory_order_acquire);
    if (version & 1) continue;
    const uint32_t songBlock = record.songBlock.load(std::memory_order_acquire);
    int32_t count = record.markCount.load(std::memory_order_acquire);
    if (count < 1 || count > maxTickMarks) count = 1;
    int32_t mark = 0;
    while (mark + 1 < count && record.marks[mark + 1].offset.load(std::memory_order_acquire) <= offset) ++mark;
    const int32_t order = record.marks[mark].order.load(std::memory_order_acquire);
    const int32_t row = record.marks[mark].row.load(std::memory_order_acquire);
    const int32_t tick = record.marks[mark].tick.load(std::memory_order_acquire);
    const int32_t voicesSounding = record.voices.load(std::memory_order_acquire);
    // Every field was acquired: the version is read after them.
    if (record.version.load(std::memory_order_relaxed) != version) continue;
    position.order = order;
    position.pattern = order >= 0 && order < song->songLength ? song->orderTable[order] : 0;
    position.row = row;
    position.tick = tick;
    position.frame = static_cast<int64_t>(songBlock) * blockFrames + offset;
    position.seconds = static_cast<double>(position.frame) / mixRate;
    position.voices = voicesSounding;
    return true;
  }
  return false;
}

bool fadeOutPlayback(Song* song) {
  if (!song) return false;
  if (player.closeOutput && player.ring && threadStarted) {
    endAudioThread();
    // The device may be copying the block it plays and the next; a few
    // blocks further on the ring is safe to rewrite, and the sound falls to
    // silence across one block there.
    constexpr uint32_t leadBlocks = 5;
    const uint32_t blockFrames = static_cast<uint32_t>(player.blockFrames);
    const uint32_t blockCount = static_cast<uint32_t>(player.ringFrames) / blockFrames;
    const uint64_t playing = framesPlayed() / blockFrames;
    const uint32_t fadeBlock = static_cast<uint32_t>((playing + leadBlocks) % blockCount);
    int16_t* fade = player.ring + size_t{fadeBlock} * blockFrames * 2;
    for (uint32_t i = 0; i < blockFrames; ++i) {
      const int32_t gain = static_cast<int32_t>(blockFrames - 1 - i);
      fade[2 * i] = static_cast<int16_t>(fade[2 * i] * gain / static_cast<int32_t>(blockFrames));
      fade[2 * i + 1] = static_cast<int16_t>(fade[2 * i + 1] * gain / static_cast<int32_t>(blockFrames));
    }
    for (uint32_t k = leadBlocks + 1; k < blockCount; ++k) {
      const uint32_t silent = static_cast<uint32_t>((playing + k) % blockCount);
      std::memset(player.ring + size_t{silent} * blockFrames * 2, 0, size_t{blockFrames} * 4);
    }
    // Publishes the rewritten blocks to a device that copies on its own
    // thread, as each fill does.
    player.blocksFilled.fetch_add(0, std::memory_order_release);
    // Until the faded block has been played; a device that stalls does not
    // hold the stop up for long.
    const uint64_t silentFrom = (playing + leadBlocks + 1) * blockFrames;
    for (int waited = 0; waited < 300 && framesPlayed() < silentFrom; waited += 5) sleepMilliseconds(5);
  }
  return stopPlayback(song);
}
