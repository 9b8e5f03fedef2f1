#include <gtest/gtest.h>

#include <cmath>

#include "tests/music/test_support.h"

using namespace testing_music;

namespace {

// A sample of `length` frames of constant value, looping as asked.
struct TestSample {
  std::vector<int16_t> data;
  Sample sample = {};
  TestSample(uint32_t length, int16_t value, uint8_t loopMode, uint32_t loopStart, uint32_t loopLength) {
    data.assign(length + 8, value);
    for (uint32_t i = length; i < length + 8; ++i) data[i] = 0;
    sample.data = data.data();
    sample.length = length;
    sample.loopStart = loopStart;
    sample.loopLength = loopLength;
    sample.loopMode = loopMode;
    sample.bits = 16;
  }
};

Voice& freshVoice(Sample* sample, double position, double step, int target = 255) {
  std::memset(voices, 0, sizeof(voices));
  for (int i = 0; i < voiceCount; ++i) voices[i].index = i;
  Voice& v = voices[0];
  v.sample = sample;
  v.position = static_cast<uint32_t>(position);
  v.fraction = static_cast<uint32_t>((position - std::floor(position)) * 4294967296.0);
  v.stepInteger = static_cast<uint32_t>(step);
  v.stepFraction = static_cast<uint32_t>((step - std::floor(step)) * 4294967296.0);
  v.direction = directionForward;
  v.targetLeft = v.targetRight = v.lastTargetLeft = v.lastTargetRight = target;
  v.rampLeft = v.rampRight = target * 256;
  return v;
}

}  // namespace

TEST(MusicMixer, Sizes) {
  int32_t block, ring, ramp;
  computeMixSizes(44100, block, ring, ramp);
  EXPECT_EQ(block, 884);
  EXPECT_EQ(ring, 88400);
  EXPECT_EQ(ring / block, 100);
  EXPECT_EQ(ramp, 128);
  computeMixSizes(22050, block, ring, ramp);
  EXPECT_EQ(block, 444);
  EXPECT_EQ(ring, 44400);
  EXPECT_EQ(ramp, 64);
  EXPECT_EQ(blockFrameCount(), 884);
}

TEST(MusicMixer, ConvertRoundsHalfToEvenAndClamps) {
  const float in[] = {40000.4f, -40000.0f, 2.5f, 3.5f, -2.5f, 0.49f, 32767.4f, -32768.6f};
  int16_t out[8];
  convertBlock(out, in, 4);
  const int16_t expected[] = {32767, -32768, 2, 4, -2, 0, 32767, -32768};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(MusicMixer, GainsAndInterpolation) {
  TestSample s(100, 0, 1, 0, 100);
  for (int i = 0; i < 100; ++i) s.data[static_cast<size_t>(i)] = static_cast<int16_t>(i * 100);
  Voice& v = freshVoice(&s.sample, 10.25, 0.5);
  v.targetRight = v.lastTargetRight = 0;
  v.rampRight = 0;
  float out[8] = {};
  mixVoices(out, 4);
  EXPECT_FLOAT_EQ(out[0], 1025.0f);  // left gain exactly 1
  EXPECT_FLOAT_EQ(out[2], 1075.0f);
  EXPECT_FLOAT_EQ(out[6], 1175.0f);
  EXPECT_EQ(out[1] + out[3] + out[5] + out[7], 0.0f);
  EXPECT_EQ(v.position, 12u);
  EXPECT_EQ(v.fraction, 0x40000000u);

  voices[0].sample = nullptr;  // no sample: skipped whatever the rest says
  float silent[4] = {};
  mixVoices(silent, 2);
  EXPECT_EQ(silent[0] + silent[1] + silent[2] + silent[3], 0.0f);
}

TEST(MusicMixer, LoopsAndEnds) {
  TestSample forward(200, 1000, 2, 50, 100);
  Voice& v = freshVoice(&forward.sample, 149.25, 2.0);
  float out[64] = {};
  mixVoices(out, 1);
  EXPECT_EQ(v.position, 51u);  // reached 151.25
  EXPECT_EQ(v.fraction, 0x40000000u);

  TestSample pingPong(200, 1000, 4, 50, 100);
  Voice& p = freshVoice(&pingPong.sample, 149.5, 1.0);
  mixVoices(out, 1);
  EXPECT_EQ(p.direction, directionBackward);
  EXPECT_EQ(p.position, 149u);  // 149.5 - 2^-32
  EXPECT_EQ(p.fraction, 0x7FFFFFFFu);
  // Back to the start and forward again.
  p.position = 50;
  p.fraction = 0x80000000u;
  mixVoices(out, 1);
  EXPECT_EQ(p.direction, directionForward);
  EXPECT_EQ(p.position, 50u);
  EXPECT_EQ(p.fraction, 0x7FFFFFFFu);

  // A non-looping sample stops in the middle of a run.
  TestSample once(10, 1000, 1, 0, 10);
  Voice& o = freshVoice(&once.sample, 6.0, 1.0);
  float mix[16] = {};
  mixVoices(mix, 8);
  EXPECT_EQ(o.sample, nullptr);
  EXPECT_EQ(o.position, 0u);
  EXPECT_FLOAT_EQ(mix[2 * 3], 1000.0f);
  EXPECT_EQ(mix[2 * 4], 0.0f);
  EXPECT_EQ(mix[2 * 7], 0.0f);
}

TEST(MusicMixer, PingPongTurnsExactlyOnTheLoopStart) {
  float out[16] = {};
  // Backward onto 50.0 exactly: 2S - P - 2^-32, one unit before the start.
  TestSample s(200, 1000, 4, 50, 100);
  Voice& v = freshVoice(&s.sample, 52.0, 1.0);
  v.direction = directionBackward;
  mixVoices(out, 2);
  EXPECT_EQ(v.direction, directionForward);
  EXPECT_EQ(v.position, 49u);
  EXPECT_EQ(v.fraction, 0xFFFFFFFFu);
  // A loop from 0 cannot turn before its start: the voice turns on it.
  TestSample zero(200, 1000, 4, 0, 100);
  Voice& z = freshVoice(&zero.sample, 2.0, 1.0);
  z.direction = directionBackward;
  mixVoices(out, 2);
  EXPECT_EQ(z.direction, directionForward);
  EXPECT_EQ(z.position, 0u);
  EXPECT_EQ(z.fraction, 0u);
  // Two loop lengths past the start: reflected at the start, then at the end,
  // it lands on the start itself, still moving backward. Four lengths past
  // lands there too.
  for (double stepFrames : {3.0, 5.0}) {
    TestSample tiny(40, 1000, 4, 10, 1);
    Voice& t = freshVoice(&tiny.sample, 11.0, stepFrames);
    t.direction = directionBackward;
    mixVoices(out, 1);
    EXPECT_EQ(t.direction, directionBackward) << stepFrames;
    EXPECT_EQ(t.position, 10u) << stepFrames;
    EXPECT_EQ(t.fraction, 0u) << stepFrames;
  }
}

TEST(MusicMixer, GainsAreLevelsDividedBy255) {
  // A sample of 1.0 shows the gain itself; a reciprocal multiplied in would
  // be off in the last bit for about half the levels.
  TestSample s(1000, 1, 2, 0, 1000);
  for (int level = 0; level <= 255; ++level) {
    Voice& v = freshVoice(&s.sample, 0.0, 1.0, level);
    v.targetRight = v.lastTargetRight = 255 - level;
    v.rampRight = (255 - level) * 256;
    float out[8] = {};
    mixVoices(out, 4);
    EXPECT_EQ(out[0], static_cast<float>(level) / 255.0f) << level;
    EXPECT_EQ(out[7], static_cast<float>(255 - level) / 255.0f) << level;
  }
  // A ramp starts from its stored level divided by 256 x 255.
  for (int32_t ramp : {1, 777, 12345, 32767, 65279}) {
    Voice& v = freshVoice(&s.sample, 0.0, 1.0, 255);
    v.rampLeft = v.rampRight = ramp;
    v.rampFramesLeft = 100;
    v.rampStepLeft = v.rampStepRight = 0;
    float out[2] = {};
    mixVoices(out, 1);
    EXPECT_EQ(out[0], static_cast<float>(ramp) / (256.0f * 255.0f)) << ramp;
  }
}

TEST(MusicMixer, TinyPingPongLoopWithALargeStepStaysInside) {
  TestSample s(40, 500, 4, 10, 3);
  Voice& v = freshVoice(&s.sample, 0.0, 37.3);
  float out[2 * 500] = {};
  mixVoices(out, 500);
  ASSERT_NE(v.sample, nullptr);
  EXPECT_GE(v.position, 10u);
  EXPECT_LT(v.position, 13u);
  for (float f : out) EXPECT_LE(std::fabs(f), 500.0f);
}

TEST(MusicMixer, RampsToNewTargets) {
  TestSample s(1000, 10000, 2, 0, 1000);
  Voice& v = freshVoice(&s.sample, 0.0, 1.0, 0);
  v.targetLeft = v.targetRight = 100;
  std::vector<float> out(2 * 300, 0.0f);
  mixVoices(out.data(), 150);
  mixVoices(out.data() + 300, 150);
  const float step = 100.0f / 255.0f / 128.0f * 10000.0f;
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  EXPECT_NEAR(out[2 * 64], 64 * step, 0.05);
  EXPECT_NEAR(out[2 * 127], 127 * step, 0.05);
  const float hold = 10000.0f * (100.0f / 255.0f);
  for (int k = 128; k < 300; ++k) EXPECT_FLOAT_EQ(out[2 * static_cast<size_t>(k)], hold) << k;
  EXPECT_EQ(v.rampFramesLeft, 0);
  EXPECT_EQ(v.rampLeft, 100 * 256);
}

TEST(MusicMixer, BlocksRunTicksAtFrameBoundaries) {
  xm::Module m = basicModule(1, 64);
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(startSong(song));
  const int16_t* block = fillBlock();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(song->framesLeftInTick, 880);  // 882 frames, the second tick, 2 more
  EXPECT_EQ(song->tick, 2);
  EXPECT_EQ(player.fillIndex, 1);
  for (int i = 1; i < 100; ++i) fillBlock();
  EXPECT_EQ(player.fillIndex, 0);
  // 100 blocks of 884 frames run ceil(88400 / 882) ticks.
  EXPECT_EQ(song->row * 6 + song->tick, (88400 + 881) / 882 % (64 * 6));
  EXPECT_TRUE(stopPlayback(song));
  EXPECT_EQ(fillBlock(), nullptr);
  EXPECT_FALSE(stopPlayback(nullptr));
  freeSong(song);
}

TEST(MusicMixer, RendersANoteIdenticallyTwice) {
  xm::Module m = basicModule(2, 16);
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 4, 0x46};
  m.patterns[0].at(4, 1, 2) = {61, 1, 0x40, 0, 0};
  m.patterns[0].at(8, 0, 2) = {97, 0, 0, 0, 0};
  Song* song = loadModule(m);
  ASSERT_TRUE(startSong(song));
  std::vector<int16_t> first;
  int peak = 0;
  for (int i = 0; i < 40; ++i) {
    const int16_t* b = fillBlock();
    first.insert(first.end(), b, b + 884 * 2);
  }
  for (int16_t v : first) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_GT(peak, 1000);
  ASSERT_TRUE(startSong(song));
  for (int i = 0; i < 40; ++i) {
    const int16_t* b = fillBlock();
    ASSERT_TRUE(std::equal(b, b + 884 * 2, first.begin() + i * 884 * 2)) << i;
  }
  freeSong(song);
}

namespace {

// One frame by the definition: interpolate at the position, add the value
// times each gain.
float valueAt(const std::vector<int16_t>& data, uint64_t position) {
  const int32_t a = data[position >> 32];
  const int32_t b = data[(position >> 32) + 1];
  const float t = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(position) >> 1)) / 2147483648.0f;
  return static_cast<float>(a) + static_cast<float>(b - a) * t;
}

}  // namespace

TEST(MusicMixer, EveryFrameMatchesTheDefinitionBitForBit) {
  // Noise through ramps and constant runs of every length modulo four, both
  // directions, and the same floats as one frame at a time gives.
  TestSample s(5000, 0, 2, 0, 5000);
  uint32_t seed = 99;
  for (int16_t& value : s.data) {
    seed = seed * 1664525u + 1013904223u;
    value = static_cast<int16_t>(seed >> 16);
  }
  for (int backward = 0; backward < 2; ++backward) {
    for (double stepFrames : {0.37, 1.0, 2.71}) {
      Voice& v = freshVoice(&s.sample, 2500.3, stepFrames, 0);
      v.direction = backward ? directionBackward : directionForward;
      v.targetLeft = 201;
      v.targetRight = 37;
      uint64_t position = (uint64_t{v.position} << 32) | v.fraction;
      const uint64_t step = (uint64_t{v.stepInteger} << 32) | v.stepFraction;
      const float stepLeft = 201.0f * (1.0f / 255.0f) * (1.0f / 128.0f);
      const float stepRight = 37.0f * (1.0f / 255.0f) * (1.0f / 128.0f);
      float left = 0, right = 0;
      std::vector<float> out(2 * 400, 0.5f), expected(out);
      int done = 0;
      for (int count : {1, 6, 33, 7, 90, 2, 5, 3, 253}) {
        mixVoices(out.data() + 2 * done, count);
        // Each call resumes a ramp from its level stored in 1/256 steps.
        left = static_cast<float>(std::lround(left * 255.0f * 256.0f)) / (256.0f * 255.0f);
        right = static_cast<float>(std::lround(right * 255.0f * 256.0f)) / (256.0f * 255.0f);
        for (int k = done; k < done + count; ++k) {
          const float value = valueAt(s.data, position);
          position = backward ? position - step : position + step;
          if (k >= 128) {
            left = 201.0f / 255.0f;
            right = 37.0f / 255.0f;
          }
          expected[2 * static_cast<size_t>(k)] += value * left;
          expected[2 * static_cast<size_t>(k) + 1] += value * right;
          left += stepLeft;
          right += stepRight;
        }
        done += count;
      }
      ASSERT_EQ(done, 400);
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], expected[i]) << backward << " " << stepFrames << " " << i;
      EXPECT_EQ((uint64_t{v.position} << 32) | v.fraction, position);
    }
  }
}

TEST(MusicMixer, ConvertsLongBlocksLikeSingleSamples) {
  std::vector<float> in;
  for (float f : {0.5f, 1.5f, -0.5f, -1.5f, 32767.5f, -32768.5f, 32766.5f, 1e9f, -1e9f, 12345.678f, -0.49f})
    in.push_back(f);
  while (in.size() < 2 * 21) in.push_back(static_cast<float>(in.size()) * 1234.25f - 20000.0f);
  std::vector<int16_t> out(in.size());
  convertBlock(out.data(), in.data(), 21);
  for (size_t i = 0; i < in.size(); ++i) {
    const float clamped = std::min(std::max(in[i], -32768.0f), 32767.0f);
    EXPECT_EQ(out[i], static_cast<int16_t>(std::nearbyint(clamped))) << i;
  }
}
