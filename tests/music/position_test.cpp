// Following a song: the position the listener hears, mapped from the headless
// device's played frames through the ring; starts inside a song against a
// render from the beginning with the blocks before dropped; and the song's
// length and loop against hand-worked values.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "music/audio_headless.h"
#include "tests/music/test_support.h"
#include "tools/make_music/make_music.h"
#include "tools/make_test_modules/test_modules.h"

using namespace testing_music;

namespace {

constexpr int32_t blockFrames = 884;
constexpr uint32_t ringFrames = 88400;

// The effects module with a pattern loop (rows 4 to 7 three times), a
// pattern delay (row 10 four times over) and a tempo of 240 from row 12,
// whose 459-frame ticks start up to three times in one block.
xm::Module loopsAndDelays() {
  xm::Module m = xm::effectsModule();
  xm::Pattern& p = m.patterns[m.orders[0]];
  const int last = m.channels - 1;
  p.at(4, last, m.channels) = xm::Cell{0, 0, 0, 0xE, 0x60};
  p.at(7, last, m.channels) = xm::Cell{0, 0, 0, 0xE, 0x62};
  p.at(10, last, m.channels) = xm::Cell{0, 0, 0, 0xE, 0xE3};
  p.at(12, last, m.channels) = xm::Cell{0, 0, 0, 0xF, 0xF0};
  return m;
}

std::vector<uint8_t> moduleBytes(int which) {
  switch (which) {
    case 0:
      return xm::write(loopsAndDelays());
    case 1:
      return xm::write(xm::amigaModule());
    case 2:
      return xm::write(xm::channels32Module());
    default:
      return xm::write(music_gen::makeModule());
  }
}

// Blocks [from, from + count) of a render from the song's beginning.
std::vector<int16_t> renderBlocks(const std::vector<uint8_t>& bytes, int64_t from, int32_t count) {
  Song* song = loadBytes(bytes);
  std::vector<int16_t> pcm;
  EXPECT_TRUE(startSong(song));
  for (int64_t b = 0; b < from + count; ++b) {
    const int16_t* block = fillBlock();
    if (b >= from) pcm.insert(pcm.end(), block, block + blockFrames * 2);
  }
  freeSong(song);
  return pcm;
}

struct Tick {
  int64_t frame;
  int32_t order, row, tick;
};

// Every tick of the song's first `frames` frames, from the engine alone:
// where it starts and which order, row and tick it plays.
std::vector<Tick> tickTable(Song* song, int64_t frames) {
  resetPlayback(song);
  std::vector<Tick> ticks;
  for (int64_t at = 0; at < frames; at += song->framesPerTick) {
    const int32_t tick = song->tick;
    tickSong(song);
    ticks.push_back({at, song->order, song->row, tick});
  }
  resetPlayback(song);
  return ticks;
}

const Tick& tickAt(const std::vector<Tick>& ticks, int64_t frame) {
  size_t i = 0;
  while (i + 1 < ticks.size() && ticks[i + 1].frame <= frame) ++i;
  return ticks[i];
}

bool waitForFills(uint32_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (player.blocksFilled.load() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Moves the device by uneven steps that land on block starts, just before
// and after them, and checks the heard position after each against the tick
// table, `first` being the song's frame at the ring's start.
void followTo(uint32_t until, uint32_t& played, int64_t first, const std::vector<Tick>& ticks, int& checked) {
  static const uint32_t steps[] = {884, 1, 882, 1, 2650, 3, 5000, 884, 1767, 1, 8000};
  for (size_t k = 0; played < until; ++k) {
    const uint32_t count = std::min(steps[k % 11], until - played);
    headlessAudioPlay(count, nullptr);
    played += count;
    ASSERT_TRUE(waitForFills(100 + played / blockFrames));
    SongPosition heard;
    ASSERT_TRUE(heardPosition(heard));
    const int64_t frame = first + played;
    const Tick& expected = tickAt(ticks, frame);
    ASSERT_EQ(heard.frame, frame) << "after " << played << " frames";
    ASSERT_EQ(heard.order, expected.order) << "at frame " << frame;
    ASSERT_EQ(heard.row, expected.row) << "at frame " << frame;
    ASSERT_EQ(heard.tick, expected.tick) << "at frame " << frame;
    ASSERT_DOUBLE_EQ(heard.seconds, static_cast<double>(frame) / mixRate);
    ++checked;
  }
}

}  // namespace

// Starts at many times, block starts or not, in the generated modules and the
// demo's own (the first one passes its pattern loop, its pattern delay and
// its tempo change in the first seconds): the blocks from the start on are
// bit for bit those of a render from the beginning.
TEST(Seeking, StartsExactlyWhereARenderFromTheBeginningIs) {
  for (int which = 0; which < 4; ++which) {
    const std::vector<uint8_t> bytes = moduleBytes(which);
    std::vector<int64_t> starts = {0, 883, 884, 3 * mixRate + 17, 7 * mixRate};
    for (int64_t at = mixRate / 3; which == 0 && at < 12 * mixRate; at += mixRate * 37 / 100) starts.push_back(at);
    // The demo's module plays order 9 twice by a pattern loop from 56.66 s:
    // 57.68 s is in its second pass.
    const int64_t demoStarts[] = {int64_t{33} * mixRate + 123, int64_t{57} * mixRate + 30000, int64_t{61} * mixRate};
    for (const int64_t at : demoStarts) {
      if (which == 3) starts.push_back(at);
    }
    const int64_t last = *std::max_element(starts.begin(), starts.end()) / blockFrames;
    const std::vector<int16_t> whole = renderBlocks(bytes, 0, static_cast<int32_t>(last + 3));
    for (const int64_t start : starts) {
      const int64_t block = start / blockFrames;
      const std::vector<int16_t> expected(whole.begin() + block * blockFrames * 2,
                                          whole.begin() + (block + 3) * blockFrames * 2);
      Song* song = loadBytes(bytes);
      ASSERT_TRUE(startSongAt(song, start));
      std::vector<int16_t> got;
      for (int b = 0; b < 3; ++b) {
        const int16_t* pcm = fillBlock();
        got.insert(got.end(), pcm, pcm + blockFrames * 2);
      }
      freeSong(song);
      ASSERT_EQ(got, expected) << "module " << which << ", start at frame " << start;
    }
  }
  EXPECT_FALSE(startSongAt(nullptr, 0));
}

// The heard position follows the device frame by frame through three
// turns of the ring and the wrap of the device's 32-bit byte count; a start
// inside the song counts from the song's beginning.
TEST(HeardPosition, FollowsTheDevicesPlayedFramesThroughTheRing) {
  Song* song = loadModule(loopsAndDelays());
  ASSERT_NE(song, nullptr);
  const std::vector<Tick> ticks = tickTable(song, 8 * ringFrames);
  SongPosition heard;
  EXPECT_FALSE(heardPosition(heard));

  int checked = 0;
  ASSERT_TRUE(playSong(song));
  ASSERT_TRUE(heardPosition(heard));
  EXPECT_EQ(heard.frame, 0);
  EXPECT_EQ(heard.order, 0);
  EXPECT_EQ(heard.row, 0);
  EXPECT_EQ(heard.tick, 0);
  uint32_t played = 0;
  ASSERT_NO_FATAL_FAILURE(followTo(2 * ringFrames + 500, played, 0, ticks, checked));
  // 12144 rings more take the counter to 709200 + 12144 x 353600 =
  // 4294807600 bytes, 39924 frames short of 2^32, which the next ring passes.
  headlessAudioSkipRings(12144);
  ASSERT_NO_FATAL_FAILURE(followTo(3 * ringFrames + 1000, played, 0, ticks, checked));
  EXPECT_LT(headlessAudioBytesPlayed(), played * 4u);
  EXPECT_GT(heard.voices, -1);

  const int64_t start = 5 * mixRate + 100;
  freeSong(song);
  song = loadModule(loopsAndDelays());
  ASSERT_TRUE(playSongAt(song, start));
  played = 0;
  ASSERT_NO_FATAL_FAILURE(followTo(ringFrames + 3000, played, start / blockFrames * blockFrames, ticks, checked));
  EXPECT_GT(checked, 100);
  EXPECT_TRUE(freeSong(song));
  EXPECT_FALSE(heardPosition(heard));
}

// Lengths and loops worked out by hand: 64 rows of 6 ticks of 882 frames per
// pattern at speed 6 and 125 BPM.
TEST(SongFacts, LengthLoopAndOrders) {
  xm::Module m = basicModule(4, 64);
  m.name = "facts  ";
  m.patterns.push_back(m.patterns[0]);
  m.orders = {0, 1, 0};
  m.restart = 1;
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  SongFacts facts;
  ASSERT_TRUE(songFacts(song, facts));
  EXPECT_STREQ(facts.title, "facts");
  EXPECT_EQ(facts.channels, 4);
  EXPECT_EQ(facts.orders, 3);
  EXPECT_EQ(facts.patterns, 2);
  EXPECT_EQ(facts.instruments, 1);
  EXPECT_EQ(facts.samples, 1);
  const int64_t pattern = 64 * 6 * 882;
  EXPECT_EQ(facts.lengthFrames, 3 * pattern);
  EXPECT_EQ(facts.loopStartFrame, pattern);
  EXPECT_DOUBLE_EQ(facts.lengthSeconds, 3.0 * pattern / mixRate);
  EXPECT_EQ(orderStartFrame(song, 0), 0);
  EXPECT_EQ(orderStartFrame(song, 2), 2 * pattern);
  EXPECT_EQ(orderStartFrame(song, 3), -1);
  // Not while a song is current: the walk would reset its voices.
  ASSERT_TRUE(startSong(song));
  EXPECT_FALSE(songFacts(song, facts));
  EXPECT_EQ(orderStartFrame(song, 1), -1);
  freeSong(song);
}
