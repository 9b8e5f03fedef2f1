// The demo's own module as our player sees it: its layout, its timing against
// the picture, the mix it renders to and the commands it exercises.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include "tests/fnv1a.h"
#include "tests/music/test_support.h"
#include "tools/make_music/make_music.h"

namespace {

using testing_music::loadBytes;

const std::vector<uint8_t>& moduleBytes() {
  static const std::vector<uint8_t> bytes = xm::write(music_gen::makeModule());
  return bytes;
}

TEST(Quenvar2, BytesArePinnedAndTheLayoutIsAsComposed) {
  const std::vector<uint8_t>& bytes = moduleBytes();
  // Any change to the music must be deliberate: update this hash with it.
  // The same value on every compiler and platform shows the generator
  // does not depend on floating point or the maths library.
  EXPECT_EQ(fnv1a(bytes), 0x27b1453f4344c972ull) << std::hex << fnv1a(bytes);
  EXPECT_LT(bytes.size(), 300u * 1024u);
  // Linear frequency table and version 1.04 in the header.
  EXPECT_EQ(bytes[58] | bytes[59] << 8, 0x0104);

  Song* song = loadBytes(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->channelCount, 12);
  EXPECT_EQ(song->flags & 1, 1);
  EXPECT_EQ(song->defaultTempo, 6);
  EXPECT_EQ(song->defaultBpm, 129);
  const std::vector<int> orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 10, 12, 13};
  ASSERT_EQ(song->songLength, static_cast<int>(orders.size()));
  for (size_t i = 0; i < orders.size(); ++i) EXPECT_EQ(song->orderTable[i], orders[i]) << "order " << i;
  EXPECT_EQ(song->restartPosition, 1);  // the loop skips the intro
  const std::vector<int> rows = {64, 64, 24, 40, 64, 64, 64, 64, 48, 8, 64, 64, 64, 16};
  ASSERT_EQ(song->patternSlots, static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(song->patterns[i].rowCount, rows[i]) << "pattern " << i;

  // kick snare hats crash tom riser bass pad pulse-pad lead pluck
  ASSERT_EQ(song->instrumentCount, 11);
  const int sampleCounts[11] = {1, 1, 2, 1, 1, 1, 1, 1, 1, 3, 1};
  const int loopModes[11] = {1, 1, 1, 2, 1, 2, 2, 2, 2, 2, 4};  // 1 none, 2 forward, 4 ping-pong
  for (int i = 0; i < 11; ++i) {
    const Instrument& in = song->instruments[i];
    EXPECT_EQ(in.sampleCount, sampleCounts[i]) << "instrument " << i + 1;
    EXPECT_EQ(in.samples[0]->loopMode, loopModes[i]) << "instrument " << i + 1;
  }
  // Drums run at 22050 Hz from C-4: relative note and finetune together.
  EXPECT_EQ(song->instruments[0].samples[0]->relativeNote, 17);
  EXPECT_EQ(song->instruments[0].samples[0]->finetune, -10);
  // The hats: closed below D-4 (keymap index 50), open from there, tuned down two semitones.
  EXPECT_EQ(song->instruments[2].keymap[49], 0);
  EXPECT_EQ(song->instruments[2].keymap[50], 1);
  EXPECT_EQ(song->instruments[2].samples[1]->relativeNote, 15);
  // The lead: three samples across the keymap, auto-vibrato, fadeout, both
  // envelopes with sustain.
  const Instrument& lead = song->instruments[9];
  EXPECT_EQ(lead.keymap[59], 0);
  EXPECT_EQ(lead.keymap[60], 1);
  EXPECT_EQ(lead.keymap[72], 2);
  EXPECT_GT(lead.vibratoDepth, 0);
  EXPECT_GT(lead.vibratoSweep, 0);
  EXPECT_GT(lead.fadeout, 0);
  EXPECT_EQ(lead.volumeType, 3);
  EXPECT_EQ(lead.panningType, 3);
  // The pad's panning envelope loops; the pulse pad's volume envelope loops once a beat (24 ticks).
  EXPECT_EQ(song->instruments[7].panningType, 5);
  const Instrument& pulse = song->instruments[8];
  EXPECT_EQ(pulse.volumeType, 5);
  EXPECT_EQ(pulse.volumeEnvelope[pulse.volumeLoopEnd].x - pulse.volumeEnvelope[pulse.volumeLoopStart].x, 24);
  freeSong(song);

  // Both sample widths are stored (the loader widens 8-bit data, so ask the writer's record).
  std::set<bool> widths;
  for (const xm::Instrument& in : music_gen::makeInstruments()) {
    for (const xm::Sample& s : in.samples) widths.insert(s.sixteenBit);
  }
  EXPECT_EQ(widths.size(), 2u);
}

// Energy of harmonic k of one cycle of `cycle` frames starting at `data`.
double harmonic(const std::vector<int16_t>& data, size_t cycle, int k) {
  double re = 0, im = 0;
  for (size_t i = 0; i < cycle; ++i) {
    const double a = 2 * 3.141592653589793 * k * static_cast<double>(i) / static_cast<double>(cycle);
    re += data[i] * std::cos(a);
    im += data[i] * std::sin(a);
  }
  return std::sqrt(re * re + im * im);
}

TEST(Quenvar2, TonalSamplesAreBandLimitedAndLoopWithoutAJump) {
  const std::vector<xm::Instrument> instruments = music_gen::makeInstruments();
  // The lead's three registers keep 28, 14 and 7 harmonics of their 256-frame cycle.
  const xm::Instrument& lead = instruments[music_gen::kLead - 1];
  const int limits[3] = {28, 14, 7};
  for (int s = 0; s < 3; ++s) {
    const std::vector<int16_t>& data = lead.samples[static_cast<size_t>(s)].data;
    ASSERT_EQ(data.size(), 256u);
    const double fundamental = harmonic(data, 256, 1);
    EXPECT_GT(harmonic(data, 256, limits[s]), fundamental / 100) << "sample " << s;
    for (int k = limits[s] + 1; k < 128; ++k) {
      EXPECT_LT(harmonic(data, 256, k), fundamental / 3000) << "sample " << s << " harmonic " << k;
    }
  }
  // The pluck's ping-pong half cycle mirrored into a whole one: a square
  // with odd harmonics up to the 11th, nothing above but 8-bit noise.
  const std::vector<int16_t>& half = instruments[music_gen::kPluck - 1].samples[0].data;
  ASSERT_EQ(half.size(), 128u);
  std::vector<int16_t> whole(half);
  whole.insert(whole.end(), half.rbegin(), half.rend());
  const double fundamental = harmonic(whole, 256, 1);
  EXPECT_NEAR(harmonic(whole, 256, 3) / fundamental, 1.0 / 3, 0.02);
  EXPECT_LT(harmonic(whole, 256, 2), fundamental / 100);
  for (int k = 13; k < 128; ++k) EXPECT_LT(harmonic(whole, 256, k), fundamental / 100) << "harmonic " << k;

  // Forward loops join without a step larger than the waveform's own.
  for (const xm::Instrument& in : instruments) {
    for (const xm::Sample& s : in.samples) {
      if (s.loopType != 1) continue;
      int steepest = 0;
      for (uint32_t i = s.loopStart + 1; i < s.loopStart + s.loopLength; ++i) {
        steepest = std::max(steepest, std::abs(s.data[i] - s.data[i - 1]));
      }
      const int seam = std::abs(s.data[s.loopStart] - s.data[s.loopStart + s.loopLength - 1]);
      EXPECT_LE(seam, steepest) << in.name << " / " << s.name;
    }
  }
}

TEST(Quenvar2, SectionsStartWhenThePictureChanges) {
  Song* song = loadBytes(moduleBytes());
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(startSong(song));
  // Seconds at which the viewer sees each change, and the order that must
  // start there: build-up, fast cuts, end of the cuts, main part, particles,
  // pulsing background, finale.
  const struct {
    int order;
    double seconds;
  } cues[] = {{1, 7.5}, {2, 14.9}, {3, 17.7}, {4, 22.2}, {5, 29.7}, {6, 36.9}, {10, 58.5}};
  std::vector<double> started(static_cast<size_t>(song->songLength), -1);
  int64_t frames = 0;
  while (frames < int64_t{100} * mixRate) {
    if (song->tick == 0) {
      const int order = song->nextOrder >= 0 ? song->nextOrder : song->order;
      const int row = song->nextRow >= 0 ? song->nextRow : song->row;
      if (row == 0 && started[static_cast<size_t>(order)] < 0) {
        started[static_cast<size_t>(order)] = static_cast<double>(frames) / mixRate;
      } else if (row == 0 && order == song->restartPosition && frames > 0) {
        break;  // round to the restart
      }
    }
    tickSong(song);
    frames += song->framesPerTick;
  }
  for (const auto& cue : cues) {
    EXPECT_NEAR(started[static_cast<size_t>(cue.order)], cue.seconds, 0.1) << "order " << cue.order;
  }
  // 89.3 s in all: rows x speed x frames per tick (854 at 129 BPM, 828 at
  // 133, 882 at 125, 958 at 115), summed by hand over the orders.
  EXPECT_EQ(frames, 3938292);
  stopPlayback(song);
  freeSong(song);
  song = loadBytes(moduleBytes());
  EXPECT_EQ(measureSong(song, int64_t{200} * mixRate), 3938292);
  freeSong(song);
}

TEST(Quenvar2, RenderStaysWithinTheMixLimits) {
  Song* song = loadBytes(moduleBytes());
  ASSERT_NE(song, nullptr);
  const int64_t total = measureSong(song, int64_t{200} * mixRate);
  ASSERT_TRUE(startSong(song));
  int peak = 0;
  double sumLeft = 0, sumRight = 0;
  int64_t quietRun = 0, longestQuiet = 0;
  const int silence = 33;  // -60 dBFS
  for (int64_t done = 0; done < total;) {
    const int16_t* block = fillBlock();
    ASSERT_NE(block, nullptr);
    const int64_t frames = std::min<int64_t>(blockFrameCount(), total - done);
    for (int64_t i = 0; i < frames; ++i) {
      const int l = block[2 * i], r = block[2 * i + 1];
      peak = std::max({peak, std::abs(l), std::abs(r)});
      sumLeft += double(l) * l;
      sumRight += double(r) * r;
      quietRun = std::abs(l) < silence && std::abs(r) < silence ? quietRun + 1 : 0;
      longestQuiet = std::max(longestQuiet, quietRun);
    }
    done += frames;
  }
  stopPlayback(song);
  freeSong(song);
  auto dB = [](double v) { return 20 * std::log10(v / 32768); };
  const double rmsLeft = std::sqrt(sumLeft / total), rmsRight = std::sqrt(sumRight / total);
  const double rms = std::sqrt((sumLeft + sumRight) / (2 * total));
  EXPECT_LE(dB(peak), -1.0);
  EXPECT_GE(dB(rms), -20.0);
  EXPECT_LE(dB(rms), -12.0);
  EXPECT_LE(longestQuiet, 2 * mixRate);
  EXPECT_LT(std::abs(dB(rmsLeft) - dB(rmsRight)), 1.0);  // balanced stereo
}

TEST(Quenvar2, PatternsUseTheWholeCommandSet) {
  Song* song = loadBytes(moduleBytes());
  ASSERT_NE(song, nullptr);
  std::set<int> effects;      // effect number, or 0x100 + E sub-command
  std::set<int> volumeKinds;  // high nibble of the volume byte
  bool arpeggio = false, keyOffNote = false, speed = false, tempo = false;
  for (int p = 0; p < song->patternSlots; ++p) {
    const Pattern& pattern = song->patterns[p];
    for (int i = 0; i < pattern.rowCount * song->channelCount; ++i) {
      const PatternCell& c = pattern.cells[i];
      if (c.effect == 0 && c.param != 0) arpeggio = true;
      if (c.effect != 0) effects.insert(c.effect == 14 ? 0x100 + (c.param >> 4) : c.effect);
      if (c.effect == 15) (c.param < 32 ? speed : tempo) = true;
      if (c.volume >= 0x10) volumeKinds.insert(c.volume >> 4);
      if (c.note == 255) keyOffNote = true;
    }
  }
  freeSong(song);
  EXPECT_TRUE(arpeggio);
  EXPECT_TRUE(keyOffNote);
  EXPECT_TRUE(speed);
  EXPECT_TRUE(tempo);
  // 1 2 3 4 porta up, down, tone porta, vibrato; 7 tremolo; 8 panning;
  // A volume slide; D pattern break; G H global volume and its slide;
  // K key off; P panning slide; R multi retrigger; E6 pattern loop, E9
  // retrigger, EC note cut, ED note delay.
  for (int e : {1, 2, 3, 4, 7, 8, 10, 13, 16, 17, 20, 25, 27, 0x106, 0x109, 0x10C, 0x10D}) {
    EXPECT_TRUE(effects.count(e)) << "effect " << std::hex << e;
  }
  // Volume column: set volume (1..5), slides (6, 7), fine slides (8, 9),
  // vibrato speed and depth (A, B), panning (C), tone portamento (F).
  for (int v : {1, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xF}) EXPECT_TRUE(volumeKinds.count(v)) << "volume column " << v;
}

}  // namespace
