// The effect families, tick by tick. Every expected value below was worked
// out by hand from the command definitions; the arithmetic is in the comments.
// Unless said otherwise: linear frequencies, speed 6, instrument 1 a sample of
// volume 64 and panning 128, note 49 = realNote 48 = period 4608.
#include <gtest/gtest.h>

#include "tests/music/test_support.h"

using namespace testing_music;

namespace {

Song* ready(const xm::Module& m) {
  Song* song = loadModule(m);
  if (song) resetPlayback(song);
  return song;
}

// Runs `count` ticks and records `read` of channel c after each of them.
template <typename Read>
std::vector<std::vector<int>> record(Song* song, int channelCount, int count, Read read) {
  std::vector<std::vector<int>> values(static_cast<size_t>(channelCount));
  for (int t = 0; t < count; ++t) {
    tickSong(song);
    for (int c = 0; c < channelCount; ++c) values[static_cast<size_t>(c)].push_back(read(c));
  }
  return values;
}

using Ticks = std::vector<int>;

Ticks slice(const Ticks& v, size_t from, size_t count) {
  return Ticks(v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + count));
}

}  // namespace

TEST(MusicEffects, PitchFamily) {
  xm::Module m = basicModule(8, 8);
  xm::Pattern& p = m.patterns[0];
  for (int c = 0; c < 8; ++c) p.at(0, c, 8) = {49, 1, 0, 0, 0};
  p.at(0, 0, 8).param = 0x47;             // arpeggio 047
  p.at(0, 1, 8) = {49, 1, 0, 1, 0x10};    // 1xx: -64 per tick
  p.at(1, 1, 8) = {0, 0, 0, 1, 0x00};     // 100: memory
  p.at(2, 1, 8) = {0, 0, 0, 1, 0xFF};     // -1020 per tick, not below 56
  p.at(0, 2, 8) = {49, 1, 0, 2, 0x08};    // 2xx: +32 per tick
  p.at(1, 2, 8) = {0, 0, 0, 2, 0x00};     // 200: memory
  p.at(1, 3, 8) = {61, 1, 0, 3, 0x20};    // tone portamento to 3840, 128 per tick
  p.at(2, 3, 8) = {0, 0, 0, 3, 0x00};     // continues and stops on the target
  p.at(1, 4, 8) = {61, 0, 0, 3, 0x10};    // 64 per tick
  p.at(2, 4, 8) = {0, 0, 0, 5, 0x03};     // 5xy: portamento and volume -3 per tick
  p.at(1, 5, 8) = {61, 0, 0xF1, 0, 0};    // volume-column F with a note: jumps, no trigger
  p.at(2, 5, 8) = {0, 0, 0xF1, 2, 0x20};  // column F (-64) runs before 2xx (+128)
  p.at(0, 6, 8) = {49, 1, 0, 14, 0x13};   // E13: -12 once
  p.at(1, 6, 8) = {0, 0, 0, 14, 0x10};    // E10: memory
  p.at(2, 6, 8) = {0, 0, 0, 14, 0x25};    // E25: +20
  p.at(3, 6, 8) = {0, 0, 0, 14, 0x20};    // E20: memory
  p.at(0, 7, 8) = {49, 1, 0, 33, 0x15};   // X15: -5 once
  p.at(1, 7, 8) = {0, 0, 0, 33, 0x10};    // X10: memory
  p.at(2, 7, 8) = {0, 0, 0, 33, 0x23};    // X23: +3
  p.at(3, 7, 8) = {0, 0, 0, 33, 0x20};    // X20: memory
  p.at(4, 7, 8) = {0, 0, 0, 33, 0x35};    // X with another x: nothing
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);

  std::vector<Voice*> voiceOnRow1(8);
  std::vector<std::vector<int>> period(8), delta(8);
  for (int t = 0; t < 30; ++t) {
    tickSong(song);
    for (int c = 0; c < 8; ++c) {
      period[c].push_back(channels[c].period);
      delta[c].push_back(channels[c].periodDelta);
    }
    if (t == 1) {
      // Arpeggio 047 on tick 1: +4 semitones = periodDelta 256, so
      // 8363 x 2^(256/768) = 10536.7 Hz; 10536 x 2^32 / 44100 = 1026117356.
      EXPECT_EQ(voices[0].stepInteger, 0u);
      EXPECT_EQ(voices[0].stepFraction, 1026117356u);
    }
    if (t == 6) {
      for (int c = 3; c <= 5; ++c) voiceOnRow1[c] = channels[c].voice;
    }
  }
  // Arpeggio: ticks 0..5 of the row take no offset, x, y, none, x, y.
  EXPECT_EQ(slice(delta[0], 0, 6), (Ticks{0, 256, 448, 0, 256, 448}));
  EXPECT_EQ(slice(period[1], 0, 18), (Ticks{4608, 4544, 4480, 4416, 4352, 4288,  // 1 10
                                            4288, 4224, 4160, 4096, 4032, 3968,  // 1 00
                                            3968, 2948, 1928, 908, 56, 56}));    // 1 FF, floor 56
  EXPECT_EQ(period[2][5], 4608 + 5 * 32);
  EXPECT_EQ(period[2][11], 4608 + 10 * 32);
  // Tone portamento: the row with the note keeps the old period and voice.
  EXPECT_EQ(slice(period[3], 6, 12), (Ticks{4608, 4480, 4352, 4224, 4096, 3968,  //
                                            3968, 3840, 3840, 3840, 3840, 3840}));
  EXPECT_EQ(voiceOnRow1[3], &voices[3]);
  EXPECT_EQ(channels[3].portaTarget, 3840);
  EXPECT_EQ(period[4][11], 4608 - 5 * 64);
  EXPECT_EQ(period[4][17], 4288 - 5 * 64);
  EXPECT_EQ(channels[4].volume, 64 - 5 * 3);
  EXPECT_EQ(voiceOnRow1[4], &voices[4]);
  // Column F with a note: the period is the note's at once, the voice is kept.
  EXPECT_EQ(slice(period[5], 6, 12), (Ticks{3840, 3840, 3840, 3840, 3840, 3840,  //
                                            3840, 3968, 4032, 4096, 4160, 4224}));
  EXPECT_EQ(voiceOnRow1[5], &voices[5]);
  // Fine and extra fine slides act once, on the first tick.
  EXPECT_EQ((Ticks{period[6][0], period[6][5], period[6][6], period[6][12], period[6][18], period[6][23]}),
            (Ticks{4596, 4596, 4584, 4604, 4624, 4624}));
  EXPECT_EQ((Ticks{period[7][0], period[7][6], period[7][12], period[7][18], period[7][24], period[7][29]}),
            (Ticks{4603, 4598, 4601, 4604, 4604, 4604}));
  freeSong(song);

  // Amiga arpeggio: the offset is the period difference of the two notes,
  // 2^(80/12) x 13.375 = 1358 against 1712 for +4 semitones: -354, and
  // 14317056 / 1358 = 10542 Hz.
  xm::Module a = basicModule(1, 8);
  a.linear = false;
  a.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0x40};
  song = ready(a);
  tickSong(song);
  EXPECT_EQ(channels[0].period, 1712);
  tickSong(song);
  EXPECT_EQ(channels[0].periodDelta, -354);
  EXPECT_EQ(voices[0].stepFraction, static_cast<uint32_t>((uint64_t{10542} << 32) / 44100));
  freeSong(song);
}

TEST(MusicEffects, VibratoAndTremoloWaveforms) {
  // Sine amplitudes |sin(q x pi/32)| x 256: q 4 -> 97, 8 -> 181, 12 -> 236,
  // 16 -> 255, -32 -> 0. Vibrato d = (a x depth) >> 5 with the two low bits
  // cleared, negative for positions >= 0; tremolo (a x depth) >> 6.
  const int n = 11;
  xm::Module m = basicModule(n, 8);
  xm::Pattern& p = m.patterns[0];
  p.at(0, 0, n) = {49, 1, 0, 4, 0x48};   // sine, speed 4, depth 8
  p.at(1, 0, n) = {0, 0, 0, 4, 0x00};    // continues from position 20
  p.at(2, 0, n) = {49, 1, 0, 4, 0x00};   // a new instrument resets the position
  p.at(0, 1, n) = {49, 1, 0, 14, 0x41};  // ramp
  p.at(1, 1, n) = {0, 0, 0, 4, 0x88};    // speed 8, depth 8
  p.at(0, 2, n) = {49, 1, 0, 14, 0x42};  // square
  p.at(1, 2, n) = {0, 0, 0, 4, 0x88};
  p.at(0, 3, n) = {49, 1, 0, 14, 0x43};  // vibrato waveform 3 is a square too
  p.at(1, 3, n) = {0, 0, 0, 4, 0x88};
  p.at(0, 4, n) = {49, 1, 0, 14, 0x44};  // sine, position kept at instrument start
  p.at(1, 4, n) = {0, 0, 0, 4, 0x48};
  p.at(2, 4, n) = {49, 1, 0, 4, 0x00};
  p.at(0, 5, n) = {49, 1, 0xA4, 0, 0};     // column A: speed 4
  p.at(1, 5, n) = {0, 0, 0xB8, 0, 0};      // column B: depth 8, steps on later ticks
  p.at(0, 6, n) = {49, 1, 0x30, 7, 0x48};  // volume 32, tremolo sine
  p.at(1, 6, n) = {0, 0, 0, 7, 0x00};
  p.at(2, 6, n) = {0, 0, 0, 0, 0};          // the last offset becomes permanent
  p.at(0, 7, n) = {49, 1, 0x30, 14, 0x71};  // tremolo ramp
  p.at(1, 7, n) = {0, 0, 0, 7, 0x88};
  p.at(0, 8, n) = {49, 1, 0x30, 14, 0x73};  // tremolo waveform 3 is a sine
  p.at(1, 8, n) = {0, 0, 0, 7, 0x88};
  p.at(0, 9, n) = {49, 1, 0x4C, 7, 0x4F};    // volume 60: offsets capped at +4
  p.at(0, 10, n) = {49, 1, 0x15, 14, 0x71};  // volume 5, ramp
  p.at(1, 10, n) = {0, 0, 0, 7, 0x8F};       // depth 15: -59 raised to -5
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);
  int tremoloVoiceVolume = 0;
  std::vector<std::vector<int>> delta(n), volumeDelta(n), volume(n);
  for (int t = 0; t < 13; ++t) {
    tickSong(song);
    for (int c = 0; c < n; ++c) {
      delta[c].push_back(channels[c].periodDelta);
      volumeDelta[c].push_back(channels[c].volumeDelta);
      volume[c].push_back(channels[c].volume);
    }
    if (t == 2) tremoloVoiceVolume = voices[6].volume;
  }
  // Sine: tick 0 steps without moving; positions 0, 0, 4, 8, 12, 16, then 20,
  // 20, 24, 28, -32 (32 wraps), -28.
  EXPECT_EQ(slice(delta[0], 0, 13), (Ticks{0, 0, -24, -44, -56, -60, -56, -56, -44, -24, 0, 24, 0}));
  // Ramp 8q: positions 0, 0, 8, 16, 24, -32 -> a 0, 0, 64, 128, 192, 255.
  EXPECT_EQ(slice(delta[1], 6, 6), (Ticks{0, 0, -16, -32, -48, 60}));
  EXPECT_EQ(slice(delta[2], 6, 6), (Ticks{-60, -60, -60, -60, -60, 60}));
  EXPECT_EQ(slice(delta[3], 6, 6), (Ticks{-60, -60, -60, -60, -60, 60}));
  EXPECT_EQ(slice(delta[4], 6, 7), (Ticks{0, 0, -24, -44, -56, -60, -56}));  // kept: 20 -> -56
  EXPECT_EQ(slice(delta[5], 6, 6), (Ticks{0, 0, -24, -44, -56, -60}));
  // Tremolo sine at volume 32: tick 0 sets only; 97x8>>6 = 12, 181 -> 22,
  // 236 -> 29, 255 -> 31.
  EXPECT_EQ(slice(volumeDelta[6], 0, 12), (Ticks{0, 0, 12, 22, 29, 31, 0, 29, 22, 12, 0, -12}));
  EXPECT_EQ(volume[6][12], 20);       // 32 - 12 kept when the tremolo stops
  EXPECT_EQ(tremoloVoiceVolume, 87);  // (32 + 12) x 255 / 128 = 87.7
  EXPECT_EQ(slice(volumeDelta[7], 6, 6), (Ticks{0, 0, 8, 16, 24, -31}));
  EXPECT_EQ(slice(volumeDelta[8], 6, 6), (Ticks{0, 0, 22, 31, 22, 0}));
  EXPECT_EQ(slice(volumeDelta[9], 0, 6), (Ticks{0, 0, 4, 4, 4, 4}));
  EXPECT_EQ(slice(volumeDelta[10], 6, 6), (Ticks{0, 0, 15, 30, 45, -5}));
  freeSong(song);
}

TEST(MusicEffects, VolumeAndGlobalVolumeFamily) {
  xm::Module m = basicModule(5, 8);
  xm::Pattern& p = m.patterns[0];
  p.at(0, 0, 5) = {49, 1, 0x28, 0, 0};   // volume 24
  p.at(1, 0, 5) = {0, 0, 0, 6, 0x02};    // 6xy: -2 on ticks 1..5
  p.at(2, 0, 5) = {0, 0, 0, 6, 0x00};    // memory
  p.at(3, 0, 5) = {0, 0, 0, 10, 0x00};   // A00 shares it; stops at 0
  p.at(0, 1, 5) = {49, 1, 0x30, 0, 0};   // volume 32
  p.at(1, 1, 5) = {0, 0, 0, 14, 0xA5};   // +5 once
  p.at(2, 1, 5) = {0, 0, 0, 14, 0xA0};   // memory
  p.at(3, 1, 5) = {0, 0, 0, 14, 0xB0};   // shared memory, down
  p.at(4, 1, 5) = {0, 0, 0, 14, 0xBF};   // -15
  p.at(0, 2, 5) = {49, 1, 0x50, 0, 0};   // volume 64
  p.at(1, 2, 5) = {0, 0, 0x8A, 0, 0};    // fine down 10, first tick only
  p.at(2, 2, 5) = {0, 0, 0x93, 0, 0};    // fine up 3
  p.at(3, 2, 5) = {0, 0, 0x65, 0, 0};    // down 5 on every tick, the first too
  p.at(4, 2, 5) = {0, 0, 0x73, 0, 0};    // up 3 on every tick
  p.at(5, 2, 5) = {0, 0, 0x55, 0, 0};    // nothing
  p.at(0, 3, 5) = {49, 1, 0, 16, 0x20};  // G20
  p.at(1, 3, 5) = {0, 0, 0, 16, 0x50};   // G50: at most 64
  p.at(2, 3, 5) = {0, 0, 0, 17, 0x04};   // H04: -4 on ticks 1..5
  p.at(3, 3, 5) = {0, 0, 0, 17, 0x00};   // memory
  p.at(4, 3, 5) = {0, 0, 0, 17, 0x30};   // +3
  p.at(5, 3, 5) = {0, 0, 0, 17, 0xF0};   // +15, at most 64
  p.at(6, 3, 5) = {0, 0, 0, 17, 0x0F};   // -15, at least 0
  p.at(0, 4, 5) = {49, 1, 0, 0, 0};
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);
  tickSong(song);
  // The global volume is 64 for channels before the G and 32 after it:
  // 64 x 64 x 65536 x 64 x 255 / 2^35 = 127, and with 32: 63.75 -> 63;
  // at pan 128 the targets are 63 x 128 / 255 = 31 and 63 x 127 / 255 = 31.
  EXPECT_EQ(voices[2].volume, 127);
  EXPECT_EQ(voices[3].volume, 63);
  EXPECT_EQ(voices[4].volume, 63);
  EXPECT_EQ(voices[4].targetLeft, 31);
  EXPECT_EQ(voices[4].targetRight, 31);
  std::vector<std::vector<int>> v =
      record(song, 5, 41, [&](int c) { return c == 3 ? song->globalVolume : channels[c].volume; });
  auto atRowEnds = [&](int c) {  // the value after the last tick of rows 0..6
    Ticks ends;
    for (int r = 0; r < 7; ++r) ends.push_back(v[c][static_cast<size_t>(r * 6 + 4)]);
    return ends;
  };
  EXPECT_EQ(v[0][5], 24);  // 6xy does not slide on the first tick
  EXPECT_EQ(atRowEnds(0), (Ticks{24, 14, 4, 0, 0, 0, 0}));
  EXPECT_EQ(slice(v[0], 17, 3), (Ticks{4, 2, 0}));  // A00 from 4
  EXPECT_EQ(atRowEnds(1), (Ticks{32, 37, 42, 37, 22, 22, 22}));
  EXPECT_EQ(v[2][5], 54);   // row 1, tick 0
  EXPECT_EQ(v[2][17], 52);  // row 3, tick 0
  EXPECT_EQ(atRowEnds(2), (Ticks{64, 54, 57, 27, 45, 45, 45}));
  EXPECT_EQ(atRowEnds(3), (Ticks{32, 64, 44, 24, 39, 64, 0}));
  EXPECT_EQ(slice(v[3], 29, 6), (Ticks{39, 54, 64, 64, 64, 64}));
  freeSong(song);
}

TEST(MusicEffects, EnvelopesKeyOffAndFadeout) {
  xm::Module m = basicModule(6, 8);
  xm::Instrument a = m.instruments[0];
  a.volume.points = {{0, 64}, {4, 32}, {8, 0}};
  a.volume.sustain = 1;
  a.volume.type = 3;  // on, sustain
  a.fadeout = 256;    // 512 per tick
  xm::Instrument b = m.instruments[0];
  b.fadeout = 0x4000;  // 32768 per tick
  xm::Instrument c = m.instruments[0];
  c.panning.points = {{0, 32}, {2, 64}, {4, 0}};
  c.panning.type = 1;
  xm::Instrument d = c;
  d.samples[0].panning = 64;
  xm::Instrument e = m.instruments[0];
  e.volume.points = {{0, 0}, {2, 40}, {4, 20}};
  e.volume.loopStart = 1;
  e.volume.loopEnd = 2;
  e.volume.type = 5;  // on, loop
  m.instruments = {a, b, c, d, e};
  xm::Pattern& p = m.patterns[0];
  p.at(0, 0, 6) = {49, 1, 0, 0, 0};
  p.at(2, 0, 6) = {97, 0, 0, 0, 0};  // key off on tick 12
  p.at(0, 1, 6) = {49, 2, 0, 0, 0};
  p.at(2, 1, 6) = {0, 0, 0, 20, 0x20};  // K20: key off on the first tick whatever the parameter
  p.at(0, 2, 6) = {49, 1, 0, 0, 0};
  p.at(1, 2, 6) = {0, 0, 0, 21, 6};  // L06: past the sustain point
  p.at(0, 3, 6) = {49, 3, 0, 0, 0};
  p.at(0, 4, 6) = {49, 4, 0, 0, 0};
  p.at(0, 5, 6) = {49, 5, 0, 0, 0};
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);
  std::vector<std::vector<int>> env(6), fade(6), pan(6);
  int keyOffVoiceVolume = -1, panLeft = -1, panRight = -1;
  for (int t = 0; t < 18; ++t) {
    tickSong(song);
    for (int ch = 0; ch < 6; ++ch) {
      env[ch].push_back(channels[ch].envelopeVolume);
      fade[ch].push_back(channels[ch].fadeoutVolume);
      pan[ch].push_back(channels[ch].voice->pan);
    }
    if (t == 13) keyOffVoiceVolume = voices[0].volume;
    if (t == 1) {
      panLeft = voices[3].targetLeft;
      panRight = voices[3].targetRight;
    }
  }
  // Step (32 - 64) x 65536 / 4 = -8 per tick; held on the sustain point until
  // the key off, then on down to the last point.
  EXPECT_EQ(env[0], (Ticks{64, 56, 48, 40, 32, 32, 32, 32, 32, 32, 32, 32, 32, 24, 16, 8, 0, 0}));
  EXPECT_EQ(channels[0].volumeEnvelopeDone, 1);
  EXPECT_EQ(slice(fade[0], 11, 7), (Ticks{65536, 65024, 64512, 64000, 63488, 62976, 62464}));
  // 64 x 24 x 64512 x 64 x 255 / 2^35 = 47.07
  EXPECT_EQ(keyOffVoiceVolume, 47);
  // No volume envelope: the key off silences at once; the fadeout still runs.
  EXPECT_EQ(slice(env[1], 11, 3), (Ticks{64, 0, 0}));
  EXPECT_EQ(slice(fade[1], 11, 4), (Ticks{65536, 32768, 0, 0}));
  EXPECT_EQ(channels[1].keyOff, 1);
  EXPECT_EQ(voices[1].targetLeft + voices[1].targetRight, 0);
  // L06 on the row-1 tick 0: j = 1, value 32 + (6 - 4) x -8 = 16, then 8, 0
  // and the last point.
  EXPECT_EQ(slice(env[2], 6, 6), (Ticks{16, 8, 0, 0, 0, 0}));
  EXPECT_EQ(channels[2].keyOff, 0);
  // Panning envelope 32, 48, 64, 32, 0 scaled by (128 - |pan - 128|) / 32:
  // 4 at pan 128, 2 at pan 64, and limited to 0..255.
  EXPECT_EQ(slice(pan[3], 0, 5), (Ticks{128, 192, 255, 128, 0}));
  EXPECT_EQ(slice(pan[4], 0, 5), (Ticks{64, 96, 128, 64, 0}));
  EXPECT_EQ(panLeft, 95);   // 127 x 192 / 255 = 95.6
  EXPECT_EQ(panRight, 31);  // 127 x 63 / 255 = 31.4
  // Loop from point 2 back to point 1: 0, 20, 40, then 30, 40 for ever.
  EXPECT_EQ(slice(env[5], 0, 9), (Ticks{0, 20, 40, 30, 40, 30, 40, 30, 40}));
  freeSong(song);
}

TEST(MusicEffects, AutoVibratoWaveformsSweepAndSign) {
  // Rate 32, depth 8: positions 0, 32, ..., 224; offset (w x 8) >> 6.
  // Sine w = sin(p x 2pi/256) x 64: 0, 45, 63, 45, 0, -45, -63, -45.
  const int n = 6;
  xm::Module m = basicModule(n, 8);
  m.instruments.resize(n, m.instruments[0]);
  const int types[n] = {0, 0, 1, 2, 3, 4};
  for (int c = 0; c < n; ++c) {
    m.instruments[c].vibratoType = static_cast<uint8_t>(types[c]);
    m.instruments[c].vibratoDepth = 8;
    m.instruments[c].vibratoRate = 32;
    m.patterns[0].at(0, c, n) = {49, static_cast<uint8_t>(c + 1), 0, 0, 0};
  }
  m.instruments[1].vibratoSweep = 4;
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);
  uint32_t squareStep = 0;
  std::vector<std::vector<int>> delta(n);
  for (int t = 0; t < 8; ++t) {
    tickSong(song);
    for (int c = 0; c < n; ++c) delta[c].push_back(channels[c].periodDelta);
    if (t == 0) squareStep = voices[2].stepFraction;
  }
  // Square +64 on tick 0: offset +8 raises the pitch: 8363 x 2^(8/768) =
  // 8423.6 Hz; 8423 x 2^32 / 44100 = 820329014.
  EXPECT_EQ(squareStep, 820329014u);
  EXPECT_EQ(delta[0], (Ticks{0, 5, 7, 5, 0, -6, -8, -6}));
  // Sweep 4: scaled by 0/4, 1/4, 2/4, 3/4, then in full: 360/4 >> 6 = 1,
  // 1008/4 >> 6 = 3, 1080/4 >> 6 = 4.
  EXPECT_EQ(delta[1], (Ticks{0, 1, 3, 4, 0, -6, -8, -6}));
  EXPECT_EQ(delta[2], (Ticks{8, 8, 8, 8, -8, -8, -8, -8}));
  // Ramp down (128 - (p + 128) mod 256) / 2: 0, -16, -32, -48, 64, 48, 32, 16.
  EXPECT_EQ(delta[3], (Ticks{0, -2, -4, -6, 8, 6, 4, 2}));
  // Ramp up (128 - (384 - p) mod 256) / 2: 0, 16, 32, 48, 64, -48, -32, -16.
  EXPECT_EQ(delta[4], (Ticks{0, 2, 4, 6, 8, -6, -4, -2}));
  EXPECT_EQ(delta[5], (Ticks{0, 0, 0, 0, 0, 0, 0, 0}));  // no such waveform: none
  freeSong(song);
}

TEST(MusicEffects, TimingFamily) {
  xm::Module m = basicModule(2, 16);
  m.patterns.push_back(m.patterns[0]);
  m.orders = {0, 1};
  xm::Pattern& p = m.patterns[0];
  p.at(0, 0, 2) = {0, 0, 0, 15, 0x03};      // speed 3
  p.at(0, 1, 2) = {49, 1, 0, 14, 0x92};     // retrigger on tick 2
  p.at(1, 0, 2) = {0, 0, 0, 15, 0x20};      // 32 and above: BPM
  p.at(1, 1, 2) = {0, 0, 0, 14, 0xC1};      // cut on tick 1
  p.at(2, 0, 2) = {0, 0, 0, 14, 0xE2};      // delay 2 x speed: 9 ticks
  p.at(2, 1, 2) = {49, 1, 0x30, 10, 0x01};  // volume 32, -1 on ticks 1..8
  p.at(3, 0, 2) = {0, 0, 0, 15, 0x00};      // speed 0: one tick per row
  p.at(4, 0, 2) = {0, 0, 0, 15, 0x1F};      // 31 is still a speed
  p.at(5, 0, 2) = {0, 0, 0, 15, 0x06};
  p.at(6, 1, 2) = {61, 1, 0, 14, 0xD2};              // note delayed to tick 2
  p.at(7, 0, 2) = {0, 0, 0, 13, 0x12};               // break to row 1 x 10 + 2 = 12
  m.patterns[1].at(12, 0, 2) = {0, 0, 0, 11, 0x00};  // jump to order 0...
  m.patterns[1].at(12, 1, 2) = {0, 0, 0, 13, 0x05};  // ...row 5 from the later break
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);

  struct Row {
    int order, row, ticks;
  };
  std::vector<Row> rows;
  std::vector<Voice*> voice;
  std::vector<int> volume, period;
  for (int t = 0; rows.size() < 11 && t < 200; ++t) {
    if (song->tick == 0)
      rows.push_back(
          {song->nextOrder < 0 ? song->order : song->nextOrder, song->nextRow < 0 ? song->row : song->nextRow, 0});
    tickSong(song);
    rows.back().ticks++;
    voice.push_back(channels[1].voice);
    volume.push_back(channels[1].volume);
    period.push_back(channels[1].period);
    if (t == 3) {
      EXPECT_EQ(song->bpm, 32);
      EXPECT_EQ(song->framesPerTick, 3445);
      EXPECT_EQ(song->speed, 3);
    }
  }
  const int expected[][3] = {{0, 0, 3}, {0, 1, 3}, {0, 2, 9}, {0, 3, 1},  {0, 4, 31},
                             {0, 5, 6}, {0, 6, 6}, {0, 7, 6}, {1, 12, 6}, {0, 5, 6}};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(rows[i].order, expected[i][0]) << i;
    EXPECT_EQ(rows[i].row, expected[i][1]) << i;
    EXPECT_EQ(rows[i].ticks, expected[i][2]) << i;
  }
  // E92 at speed 3: the note restarts (on the twin voice) on tick 2 only.
  EXPECT_EQ(voice[1], &voices[1]);
  EXPECT_EQ(voice[2], &voices[33]);
  // EC1: volume 64 on tick 0, cut on tick 1.
  EXPECT_EQ(volume[3], 64);
  EXPECT_EQ(volume[4], 0);
  // Row 2 runs its other-tick form on all 8 later ticks: 32 - 8.
  EXPECT_EQ(volume[6], 32);
  EXPECT_EQ(volume[14], 24);
  // ED2 on row 6 (ticks 53..58): period, volume and voice stay until tick 2.
  EXPECT_EQ(slice(period, 53, 3), (Ticks{4608, 4608, 3840}));
  EXPECT_EQ(slice(volume, 53, 3), (Ticks{24, 24, 64}));
  EXPECT_EQ(voice[54], &voices[1]);
  EXPECT_EQ(voice[55], &voices[33]);
  freeSong(song);
}
