// Real-time playback against the headless device, whose play position the
// test moves: what the device plays must be exactly the song as the offline
// renderer (xm2wav's path) mixes it, block after block, whatever the steps
// the device moves in, across the wrap of its 32-bit byte counter, and
// through stops and restarts at any moment. The threaded cases also run
// under ThreadSanitizer (the tsan preset).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "music/audio_headless.h"
#include "music/ring_reader.h"
#include "tests/music/test_support.h"
#include "tools/make_test_modules/test_modules.h"

using namespace testing_music;

namespace {

constexpr uint32_t blockFrames = 884;
constexpr uint32_t ringBlocks = 100;
constexpr uint32_t ringFrames = 88400;

// The first `frames` frames of the song, mixed without a device.
std::vector<int16_t> renderOffline(Song* song, uint32_t frames) {
  std::vector<int16_t> pcm;
  EXPECT_TRUE(startSong(song));
  while (pcm.size() < size_t{frames} * 2) {
    const int16_t* block = fillBlock();
    pcm.insert(pcm.end(), block, block + blockFrames * 2);
  }
  pcm.resize(size_t{frames} * 2);
  stopPlayback(song);
  return pcm;
}

// Waits for the audio thread to have filled `count` blocks in all. The
// deadline only keeps a broken thread from hanging the test.
bool waitForFills(uint32_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (player.blocksFilled.load() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Plays the device in uneven steps until it has played `until` frames since
// playSong, keeping what it plays in `heard`. After each step the thread must
// have refilled every block the device has finished, and not one more: the
// block being played is never refilled.
void playUntil(uint32_t until, uint32_t& played, std::vector<int16_t>& heard) {
  static const uint32_t steps[] = {1, 883, 884, 885, 2500, 97, 1768, 4001, 300};
  for (size_t k = 0; played < until; ++k) {
    const uint32_t count = std::min(steps[k % 9], until - played);
    heard.resize(size_t{played + count} * 2);
    headlessAudioPlay(count, heard.data() + size_t{played} * 2);
    played += count;
    const uint32_t fills = ringBlocks + played / blockFrames;
    ASSERT_TRUE(waitForFills(fills)) << "after " << played << " frames";
    ASSERT_EQ(player.blocksFilled.load(), fills) << "after " << played << " frames";
  }
}

bool idle() {
  return !headlessAudioOpen() && player.threadFinished.load() == 1 && player.song == nullptr && !player.ring &&
         !player.mixBuffer;
}

}  // namespace

TEST(AudioOutput, DevicePlaysTheSongAsMixedOfflineAcrossTheCounterWrap) {
  Song* song = loadModule(xm::effectsModule());
  ASSERT_NE(song, nullptr);
  const std::vector<int16_t> expected = renderOffline(song, 4 * ringFrames);

  ASSERT_TRUE(playSong(song));
  ASSERT_TRUE(headlessAudioPlaying());
  // The whole ring is mixed before the device starts.
  EXPECT_EQ(player.blocksFilled.load(), ringBlocks);
  std::vector<int16_t> heard;
  uint32_t played = 0;
  ASSERT_NO_FATAL_FAILURE(playUntil(2 * ringFrames, played, heard));

  // A device that has run for hours: 12143 more rings take the counter to
  // 707200 + 12143 x 353600 = 4294472000 bytes, 495296 bytes (140 blocks)
  // short of 2^32. The play position in the ring does not move.
  headlessAudioSkipRings(12143);
  ASSERT_EQ(headlessAudioBytesPlayed(), 4294472000u);
  ASSERT_NO_FATAL_FAILURE(playUntil(4 * ringFrames, played, heard));
  // 4294472000 + 707200 = 2^32 + 211904.
  EXPECT_EQ(headlessAudioBytesPlayed(), 211904u);

  ASSERT_EQ(heard.size(), expected.size());
  const auto mismatch = std::mismatch(heard.begin(), heard.end(), expected.begin());
  EXPECT_TRUE(mismatch.first == heard.end()) << "first difference at frame " << (mismatch.first - heard.begin()) / 2;

  EXPECT_TRUE(freeSong(song));
  EXPECT_TRUE(idle());
}

TEST(AudioOutput, PlayingAgainRestartsFromTheBeginning) {
  Song* song = loadModule(xm::effectsModule());
  ASSERT_NE(song, nullptr);
  const std::vector<int16_t> expected = renderOffline(song, ringFrames + 5000);

  ASSERT_TRUE(playSong(song));
  std::vector<int16_t> heard;
  uint32_t played = 0;
  ASSERT_NO_FATAL_FAILURE(playUntil(ringFrames + ringFrames / 2 + 123, played, heard));

  // The new thread runs as far as its first poll before playSong returns,
  // as a scheduler may let it: it must find the stop of the old one
  // withdrawn and keep running.
  headlessAudioAwaitThreadStart(true);
  const bool restarted = playSong(song);
  headlessAudioAwaitThreadStart(false);
  ASSERT_TRUE(restarted);
  if (player.threadFinished.load() != 0) {
    ADD_FAILURE() << "the new audio thread ended at once";
    freeSong(song);
    return;
  }
  EXPECT_EQ(player.blocksFilled.load(), ringBlocks);
  EXPECT_EQ(headlessAudioBytesPlayed(), 0u);
  heard.clear();
  played = 0;
  ASSERT_NO_FATAL_FAILURE(playUntil(ringFrames + 5000, played, heard));
  EXPECT_TRUE(heard == expected);
  EXPECT_TRUE(freeSong(song));
  EXPECT_TRUE(idle());
}

// Stops come at every kind of moment: before the thread has polled once,
// between fills, during a catch-up of many blocks; through stopPlayback, a
// restart or freeSong.
TEST(AudioOutput, PlayStopAndFreeManyTimesOver) {
  for (int round = 0; round < 60; ++round) {
    Song* song = loadModule(basicModule(4, 16));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(playSong(song));
    headlessAudioPlay(static_cast<uint32_t>(round) * 1499 % ringFrames, nullptr);
    if (round % 4 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(6));
    if (round % 4 == 2) {
      ASSERT_TRUE(playSong(song));
      headlessAudioPlay(3 * blockFrames, nullptr);
    }
    if (round % 2 == 0) {
      EXPECT_TRUE(stopPlayback(song));
      EXPECT_TRUE(idle());
    }
    EXPECT_TRUE(freeSong(song));
    ASSERT_TRUE(idle()) << "round " << round;
  }
}

TEST(AudioOutput, StopWhileAFillIsInProgress) {
  // 32 busy channels: a block takes a while to mix.
  Song* song = loadModule(xm::channels32Module());
  ASSERT_NE(song, nullptr);

  // A stop that comes after the thread has seen 99 blocks to refill, and
  // before it has filled one: it gives them all up rather than finishing.
  ASSERT_TRUE(playSong(song));
  headlessAudioHoldReadings(true);
  while (!headlessAudioReadingHeld()) std::this_thread::yield();
  headlessAudioPlay(99 * blockFrames + 10, nullptr);
  bool stopped = false;
  std::thread stopper([&] { stopped = stopPlayback(song); });
  while (player.stopRequested.load() == 0) std::this_thread::yield();
  headlessAudioHoldReadings(false);
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(player.blocksFilled.load(), ringBlocks);
  EXPECT_TRUE(idle());

  // Stops at whatever point of a catch-up the threads happen to meet,
  // often in the middle of a fill: stopPlayback returns only once that
  // fill is over, and leaves nothing running.
  for (int round = 0; round < 10; ++round) {
    ASSERT_TRUE(playSong(song));
    headlessAudioPlay(99 * blockFrames + 10, nullptr);
    while (player.filling.load() == 0 && player.blocksFilled.load() < 2 * ringBlocks - 1) {
    }
    EXPECT_TRUE(stopPlayback(song));
    EXPECT_EQ(player.filling.load(), 0);
    EXPECT_TRUE(idle());
  }
  EXPECT_TRUE(freeSong(song));
}

// The device side of a callback device (SDL's, the headless one): the ring
// is read in a loop, and the count of played bytes runs on past the ring's
// end, wrapping only at 2^32.
TEST(RingReader, ReadsInALoopAndCountsPastTheRing) {
  uint8_t ring[10];
  for (uint8_t i = 0; i < 10; ++i) ring[i] = uint8_t(100 + i);
  RingReader reader;
  reader.ring = ring;
  reader.ringBytes = 10;
  uint8_t out[25] = {};
  readRing(reader, out, 4);
  readRing(reader, out + 4, 21);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(out[i], 100 + i % 10) << i;
  EXPECT_EQ(reader.bytesPlayed.load(), 25u);
  EXPECT_EQ(reader.readOffset, 5u);
  // Across the 32-bit wrap: 16 bytes short of 2^32, then 32 more.
  reader.bytesPlayed.store(0xFFFFFFF0u);
  readRing(reader, nullptr, 32);
  EXPECT_EQ(reader.bytesPlayed.load(), 16u);
  EXPECT_EQ(reader.readOffset, 7u);
  // Without a ring nothing is read or counted.
  RingReader idleReader;
  readRing(idleReader, out, 8);
  EXPECT_EQ(idleReader.bytesPlayed.load(), 0u);
}

TEST(AudioOutput, WithoutADeviceTheSongStaysSilent) {
  EXPECT_FALSE(playSong(nullptr));
  Song* song = loadModule(basicModule());
  ASSERT_NE(song, nullptr);
  headlessAudioRefuseOpen(true);
  EXPECT_FALSE(playSong(song));
  headlessAudioRefuseOpen(false);
  // Current but silent: no device, no thread, no buffers.
  EXPECT_EQ(player.song, song);
  EXPECT_FALSE(headlessAudioOpen());
  EXPECT_EQ(player.threadFinished.load(), 1);
  EXPECT_EQ(player.ring, nullptr);
  EXPECT_TRUE(freeSong(song));
  EXPECT_TRUE(idle());
}
