#include <gtest/gtest.h>

#include "tests/music/test_support.h"

using namespace testing_music;

namespace {

// Loads `m` and sets its playback state to the start.
Song* ready(const xm::Module& m) {
  Song* song = loadModule(m);
  if (song) resetPlayback(song);
  return song;
}

void ticks(Song* song, int n) {
  for (int i = 0; i < n; ++i) tickSong(song);
}

}  // namespace

TEST(MusicEngine, TempoAndPeriodTables) {
  Song song = {};
  setBpm(&song, 125);
  EXPECT_EQ(song.framesPerTick, 882);
  setBpm(&song, 130);
  EXPECT_EQ(song.framesPerTick, 848);
  setBpm(&song, 32);
  EXPECT_EQ(song.framesPerTick, 3445);
  setBpm(&song, 255);
  EXPECT_EQ(song.framesPerTick, 432);
  // Single precision: 1000 / 16.8f = 59.52380f, x 44100 x 0.001f lands just
  // below 2625 (double precision would reach 2625.00009); likewise 5249.
  setBpm(&song, 42);
  EXPECT_EQ(song.framesPerTick, 2624);
  setBpm(&song, 21);
  EXPECT_EQ(song.framesPerTick, 5249);
  EXPECT_EQ(amigaPeriod(48, 0), 1712);
  EXPECT_EQ(amigaPeriod(48, 127), 1616);
  EXPECT_EQ(amigaPeriod(48, -128), 1813);
  EXPECT_EQ(amigaPeriod(0, 0), 27392);

  // Linear exponent 4608 - 2594 = 2014, multiplied in single precision:
  // 8363 x 2^2.6223958f = 51497.0025 Hz (a double product gives 51496.9997).
  // Step 51497 / 44100: integer 1, fraction 7397 x 2^32 / 44100 = 720405285.
  song.flags = 1;
  song.globalVolume = 64;
  Channel& c = channels[0];
  c = {};
  voices[0] = {};
  c.voice = &voices[0];
  c.period = 2594;
  c.updateFlags = requestFrequency;
  updateVoice(c, &emptySample, &song);
  EXPECT_EQ(voices[0].stepInteger, 1u);
  EXPECT_EQ(voices[0].stepFraction, 720405285u);
}

TEST(MusicEngine, NotePeriodsFrequenciesAndLevels) {
  xm::Module m = basicModule(3);
  m.instruments[0].samples[0].finetune = -16;
  m.instruments[0].samples[0].panning = 128;
  xm::Sample loud = m.instruments[0].samples[0];
  loud.finetune = 0;
  loud.panning = 255;
  m.instruments.push_back(xm::simpleInstrument(loud));
  m.patterns[0].at(0, 0, 3) = {49, 2, 0, 0, 0};  // realNote 48
  m.patterns[0].at(0, 1, 3) = {61, 2, 0, 0, 0};  // realNote 60
  m.patterns[0].at(0, 2, 3) = {49, 1, 0, 0, 0};  // finetune -16, pan 128
  Song* song = ready(m);
  ASSERT_NE(song, nullptr);
  tickSong(song);
  EXPECT_EQ(channels[0].period, 4608);
  EXPECT_EQ(channels[1].period, 3840);
  EXPECT_EQ(channels[2].period, 4616);
  // 8363 Hz and 16726 Hz as 32.32 steps.
  EXPECT_EQ(voices[0].stepInteger, 0u);
  EXPECT_EQ(voices[0].stepFraction, static_cast<uint32_t>((uint64_t{8363} << 32) / 44100));
  EXPECT_EQ(voices[1].stepFraction, static_cast<uint32_t>((uint64_t{16726} << 32) / 44100));
  EXPECT_EQ(voices[0].volume, 127);
  EXPECT_EQ(voices[0].targetLeft, 127);
  EXPECT_EQ(voices[0].targetRight, 0);
  EXPECT_EQ(voices[2].targetLeft, 63);
  EXPECT_EQ(voices[2].targetRight, 63);
  EXPECT_EQ(voices[0].sample, song->instruments[1].samples[0]);
  freeSong(song);

  m.linear = false;
  song = ready(m);
  tickSong(song);
  EXPECT_EQ(channels[0].period, 1712);
  EXPECT_EQ(voices[0].stepFraction, static_cast<uint32_t>((uint64_t{14317056 / 1712} << 32) / 44100));
  freeSong(song);
}

TEST(MusicEngine, RowsTicksOrdersAndRestart) {
  xm::Module m = basicModule(1, 64);
  m.patterns.push_back(m.patterns[0]);
  m.patterns[1].rows = 4;
  m.patterns[1].cells.resize(4);
  m.orders = {0, 1, 1};
  m.restart = 1;
  Song* song = ready(m);
  for (int row = 0; row < 3; ++row) {
    tickSong(song);
    EXPECT_EQ(song->row, row);
    EXPECT_EQ(song->tick, 1);
    ticks(song, 5);
    EXPECT_EQ(song->tick, 0);
  }
  std::vector<std::pair<int, int>> rows = rowSequence(song, 61 + 8 + 5);
  EXPECT_EQ(rows[60], std::make_pair(0, 63));
  EXPECT_EQ(rows[61], std::make_pair(1, 0));
  EXPECT_EQ(rows[65], std::make_pair(2, 0));
  EXPECT_EQ(rows[69], std::make_pair(1, 0));  // restart position after the last order
  freeSong(song);

  m.tempo = 0;  // every tick a row
  song = ready(m);
  rows = rowSequence(song, 3);
  EXPECT_EQ(rows[2], std::make_pair(0, 2));
  EXPECT_EQ(song->tick, 0);
  freeSong(song);
}

TEST(MusicEngine, JumpsBreaksAndLoops) {
  xm::Module m = basicModule(2, 64);
  m.patterns.resize(7, m.patterns[0]);
  m.orders = {0, 1, 2, 3, 4, 5, 6};
  m.patterns[0].at(0, 0, 2) = {0, 0, 0, 13, 0x10};   // D10 on channel 0
  m.patterns[0].at(0, 1, 2) = {0, 0, 0, 11, 5};      // B05 on channel 1
  m.patterns[5].at(0, 0, 2) = {0, 0, 0, 11, 6};      // B06 on channel 0
  m.patterns[5].at(0, 1, 2) = {0, 0, 0, 13, 0x10};   // D10 on channel 1
  m.patterns[6].at(10, 0, 2) = {0, 0, 0, 13, 0x70};  // D70: row 0 of the next order (order 0)
  Song* song = ready(m);
  std::vector<std::pair<int, int>> rows = rowSequence(song, 4);
  EXPECT_EQ(rows[1], std::make_pair(5, 0));  // jump later in the row resets the row
  EXPECT_EQ(rows[2], std::make_pair(6, 10));
  EXPECT_EQ(rows[3], std::make_pair(0, 0));
  freeSong(song);

  // Pattern loop: rows 8..15 three times.
  xm::Module l = basicModule(1, 32);
  l.patterns[0].at(8, 0, 1) = {0, 0, 0, 14, 0x60};
  l.patterns[0].at(15, 0, 1) = {0, 0, 0, 14, 0x62};
  song = ready(l);
  rows = rowSequence(song, 48);
  std::vector<int> expected;
  for (int r = 0; r < 16; ++r) expected.push_back(r);
  for (int pass = 0; pass < 2; ++pass) {
    for (int r = 8; r < 16; ++r) expected.push_back(r);
  }
  for (int r = 16; r < 32; ++r) expected.push_back(r);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rows[i].second, expected[i]) << i;
  freeSong(song);

  // A break into a row the next pattern does not have starts it at row 0.
  xm::Module b = basicModule(1, 8);
  b.patterns.push_back(b.patterns[0]);
  b.orders = {0, 1};
  b.patterns[0].at(2, 0, 1) = {0, 0, 0, 13, 0x20};
  song = ready(b);
  rows = rowSequence(song, 4);
  EXPECT_EQ(rows[3], std::make_pair(1, 0));
  freeSong(song);
}

TEST(MusicEngine, PatternDelayAndSpeedChange) {
  xm::Module m = basicModule(1, 8);
  m.patterns[0].at(0, 0, 1) = {49, 1, 0, 14, 0xE2};  // EE2 at speed 6: 18 ticks
  m.patterns[0].at(0, 0, 1).volume = 0x60 + 1;       // slide down on every tick but the first... 6y acts on all
  Song* song = ready(m);
  tickSong(song);
  EXPECT_EQ(channels[0].volume, 63);
  ticks(song, 17);
  EXPECT_EQ(song->row, 0);
  EXPECT_EQ(channels[0].volume, 64 - 18);
  tickSong(song);
  EXPECT_EQ(song->row, 1);
  freeSong(song);
}

TEST(MusicEngine, VolumeEnvelopeAndKeyOff) {
  xm::Module m = basicModule(2, 8);
  m.instruments[0].volume.points = {{0, 64}, {10, 0}};
  m.instruments[0].volume.type = 1;
  m.instruments.push_back(m.instruments[0]);
  m.instruments[1].volume = {};
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.patterns[0].at(0, 1, 2) = {49, 2, 0, 0, 0};
  m.patterns[0].at(1, 1, 2) = {97, 0, 0, 0, 0};
  Song* song = ready(m);
  tickSong(song);
  EXPECT_EQ(channels[0].envelopeVolume, 64);
  EXPECT_EQ(channels[0].volumeEnvelopeStep, -419430);
  tickSong(song);
  EXPECT_EQ(channels[0].envelopeVolume, 57);  // 64 - 6.4, integer part
  ticks(song, 8);
  EXPECT_FALSE(channels[0].volumeEnvelopeDone);
  tickSong(song);  // tick 10
  EXPECT_TRUE(channels[0].volumeEnvelopeDone);
  EXPECT_EQ(channels[0].envelopeVolume, 0);
  // Channel 1 has no envelope: key off on row 1 (tick 6) silences it at once.
  EXPECT_EQ(channels[1].keyOff, 1);
  EXPECT_EQ(channels[1].envelopeVolume, 0);
  EXPECT_EQ(voices[1].targetLeft + voices[1].targetRight + voices[33].targetLeft, 0);
  freeSong(song);
}

TEST(MusicEngine, EnvelopeLoopStartAfterItsEndJumpsForward) {
  // Loop "back" from point 1 to point 3: reaching point 1 jumps ahead to 3.
  xm::Module m = basicModule(1, 8);
  m.instruments[0].volume.points = {{0, 64}, {2, 60}, {4, 40}, {6, 10}, {8, 30}};
  m.instruments[0].volume.type = 5;
  m.instruments[0].volume.loopStart = 3;
  m.instruments[0].volume.loopEnd = 1;
  m.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  Song* song = ready(m);
  ASSERT_EQ(song->instruments[0].volumeType, 5);
  ticks(song, 3);                                // envelope ticks 0, 1, 2
  EXPECT_EQ(channels[0].volumeEnvelopeTick, 7);  // jumped to point 3's tick 6
  EXPECT_EQ(channels[0].envelopeVolume, 10);
  EXPECT_EQ(channels[0].volumeEnvelopePoint, 4);
  ticks(song, 2);  // ticks 7, 8: point 4 is the last
  EXPECT_TRUE(channels[0].volumeEnvelopeDone);
  EXPECT_EQ(channels[0].envelopeVolume, 30);
  freeSong(song);
}

TEST(MusicEngine, EnvelopePositionEffect) {
  xm::Module m = basicModule(3, 8);
  m.instruments[0].volume.points = {{0, 64}, {10, 0}, {20, 40}};
  m.instruments[0].volume.type = 1;
  for (int c = 0; c < 3; ++c) m.patterns[0].at(0, c, 3) = {49, 1, 0, 0, 0};
  m.patterns[0].at(1, 0, 3) = {0, 0, 0, 21, 5};     // between points 0 and 1
  m.patterns[0].at(1, 1, 3) = {0, 0, 0, 21, 15};    // between points 1 and 2
  m.patterns[0].at(1, 2, 3) = {0, 0, 0, 21, 0x30};  // past the last point
  Song* song = ready(m);
  ticks(song, 7);
  EXPECT_EQ(channels[0].volumeEnvelopeTick, 5);
  EXPECT_EQ(channels[0].volumeEnvelopePoint, 1);
  EXPECT_EQ(channels[0].volumeEnvelopeValue, 64 * 65536 - 5 * 419430);
  EXPECT_EQ(channels[0].envelopeVolume, 32);
  EXPECT_EQ(channels[1].volumeEnvelopePoint, 2);
  EXPECT_EQ(channels[1].envelopeVolume, 20);
  EXPECT_TRUE(channels[2].volumeEnvelopeDone);
  EXPECT_EQ(channels[2].envelopeVolume, 40);
  tickSong(song);
  EXPECT_EQ(channels[0].envelopeVolume, 25);  // and on from there
  EXPECT_EQ(channels[0].volumeEnvelopeTick, 6);
  freeSong(song);

  // An envelope whose first point lies far after the position: the value
  // extrapolated backward does not fit in 32 bits, yet the envelope still
  // arrives at its points.
  xm::Module late = basicModule(1, 64);
  late.tempo = 31;
  late.instruments[0].volume.points = {{1000, 0}, {1001, 64}};
  late.instruments[0].volume.type = 1;
  late.patterns[0].at(0, 0, 1) = {49, 1, 0, 21, 0};
  song = ready(late);
  ticks(song, 1003);
  EXPECT_TRUE(channels[0].volumeEnvelopeDone);
  EXPECT_EQ(channels[0].envelopeVolume, 64);
  freeSong(song);
}

TEST(MusicEngine, KeymapSlotsPast15PlayNothing) {
  xm::Module m = basicModule(1, 8);
  for (int n = 0; n < 96; ++n) m.instruments[0].keymap[n] = n < 48 ? 0 : 16 + n;
  m.patterns[0].at(0, 0, 1) = {61, 1, 0, 0, 0};  // note 60: slot 76
  m.patterns[0].at(1, 0, 1) = {25, 1, 0, 0, 0};  // note 24: slot 0
  Song* song = ready(m);
  ASSERT_EQ(song->instruments[0].keymap[60], 76);
  tickSong(song);
  EXPECT_EQ(channels[0].sample, &emptySample);
  EXPECT_EQ(voices[0].sample, &emptySample);
  ticks(song, 6);
  EXPECT_EQ(channels[0].sample, song->instruments[0].samples[0]);
  freeSong(song);
}

TEST(MusicEngine, RetriggerMovesToTheTwinVoice) {
  xm::Module m = basicModule(1, 8);
  m.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  m.patterns[0].at(1, 0, 1) = {53, 1, 0, 0, 0};
  m.patterns[0].at(2, 0, 1) = {56, 1, 0, 0, 0};
  Song* song = ready(m);
  tickSong(song);
  EXPECT_EQ(channels[0].voice, &voices[0]);
  voices[0].position = 300;  // as if it had played
  ticks(song, 6);
  EXPECT_EQ(channels[0].voice, &voices[32]);
  EXPECT_EQ(voices[0].sample, voices[32].sample);
  EXPECT_EQ(voices[0].targetLeft + voices[0].targetRight + voices[0].volume, 0);
  EXPECT_EQ(voices[0].position, 300u);
  EXPECT_EQ(voices[32].position, 0u);
  EXPECT_EQ(voices[32].index, 32);
  EXPECT_EQ(voices[32].rampLeft, 0);
  ticks(song, 6);
  EXPECT_EQ(channels[0].voice, &voices[0]);
  EXPECT_EQ(voices[0].index, 0);
  freeSong(song);
}

TEST(MusicEngine, WaveformsVibratoAndTremolo) {
  EXPECT_EQ(waveformAmplitude(16, 0), 255);
  EXPECT_EQ(waveformAmplitude(-16, 0), 255);
  EXPECT_EQ(waveformAmplitude(8, 0), 181);
  EXPECT_EQ(waveformAmplitude(0, 1), 0);
  EXPECT_EQ(waveformAmplitude(31, 1), 248);
  EXPECT_EQ(waveformAmplitude(-32, 1), 255);
  EXPECT_EQ(waveformAmplitude(-1, 1), 7);
  EXPECT_EQ(waveformAmplitude(5, 2), 255);

  Song song = {};
  song.songLength = 1;
  Channel& c = channels[0];
  c = {};
  c.vibratoPosition = 16;
  PatternCell cell = {0, 0, 0, 4, 0x08};  // depth 8
  bool jump = false;
  effectFirstTick(c, cell, emptyInstrument, &emptySample, &song, jump);
  EXPECT_EQ(c.periodDelta, -60);
  c.vibratoPosition = -16;
  effectFirstTick(c, cell, emptyInstrument, &emptySample, &song, jump);
  EXPECT_EQ(c.periodDelta, 60);

  // Tremor T12: two ticks on, three off.
  c = {};
  c.volume = 40;
  cell = {0, 0, 0, 29, 0x12};
  std::vector<int> heard;
  effectFirstTick(c, cell, emptyInstrument, &emptySample, &song, jump);
  heard.push_back(c.volume + c.volumeDelta);
  for (int t = 1; t < 10; ++t) {
    c.volumeDelta = 0;
    song.tick = t;
    effectOtherTick(c, cell, &emptySample, &song);
    heard.push_back(c.volume + c.volumeDelta);
  }
  EXPECT_EQ(heard, (std::vector<int>{40, 40, 0, 0, 0, 40, 40, 0, 0, 0}));
}

TEST(MusicEngine, VolumeCommandsAndMemories) {
  xm::Module m = basicModule(4, 8);
  m.patterns[0].at(0, 0, 4) = {49, 1, 0, 10, 0x04};  // A04
  m.patterns[0].at(1, 0, 4) = {0, 0, 0, 10, 0x00};   // A00 repeats
  m.patterns[0].at(0, 1, 4) = {49, 1, 0x62, 0, 0};   // 62 on every tick
  m.patterns[0].at(0, 2, 4) = {49, 1, 0, 12, 80};    // C80: louder than 64
  m.patterns[0].at(1, 2, 4) = {0, 0, 0, 10, 0xF0};   // then capped at 64
  m.patterns[0].at(0, 3, 4) = {49, 1, 0xC8, 0, 0};   // pan 128
  m.patterns[0].at(1, 3, 4) = {0, 0, 0xD5, 8, 3};    // pan 3, then -5: -2 (limited when used)
  Song* song = ready(m);
  ticks(song, 6);
  EXPECT_EQ(channels[0].volume, 64 - 5 * 4);  // on the five ticks after the first
  EXPECT_EQ(channels[1].volume, 64 - 12);
  EXPECT_EQ(channels[2].volume, 80);
  EXPECT_EQ(channels[3].pan, 128);
  tickSong(song);
  EXPECT_EQ(channels[2].volume, 80);  // AF0 slides from the second tick on
  EXPECT_EQ(channels[3].pan, 3);      // volume column first, then 803
  tickSong(song);
  EXPECT_EQ(channels[0].volume, 44 - 4);  // A00 repeats A04
  EXPECT_EQ(channels[2].volume, 64);
  EXPECT_EQ(channels[3].pan, -2);
  EXPECT_EQ(voices[3].pan, 0);
  freeSong(song);
}

TEST(MusicEngine, NoteDelayRetrigAndSampleOffset) {
  xm::Module m = basicModule(3, 8);
  m.patterns[0].at(0, 0, 3) = {49, 1, 0, 14, 0xD3};     // note delayed to tick 3
  m.patterns[0].at(0, 1, 3) = {49, 1, 0x30, 27, 0x24};  // R24: every 4th tick, volume - 2
  m.patterns[0].at(0, 2, 3) = {49, 1, 0, 0, 0};
  m.patterns[0].at(1, 2, 3) = {0, 0, 0, 9, 0x10};  // offset 4096, past the end of 1000 frames
  m.tempo = 9;
  Song* song = ready(m);
  tickSong(song);
  EXPECT_EQ(voices[0].sample, nullptr);
  ticks(song, 2);
  EXPECT_EQ(voices[0].sample, nullptr);
  EXPECT_EQ(channels[0].updateFlags, requestFrequency);  // only the auto-vibrato step's request
  EXPECT_EQ(channels[1].voice, &voices[1]);
  tickSong(song);  // tick 3
  EXPECT_NE(voices[0].sample, nullptr);
  EXPECT_EQ(channels[1].volume, 0x30 - 16);
  tickSong(song);  // tick 4
  EXPECT_EQ(channels[1].volume, 30);
  EXPECT_EQ(channels[1].voice, &voices[33]);
  ticks(song, 4);  // tick 8
  EXPECT_EQ(channels[1].volume, 28);
  EXPECT_EQ(channels[1].voice, &voices[1]);

  voices[2].position = 500;
  Sample* playing = voices[2].sample;
  tickSong(song);  // row 1
  EXPECT_EQ(channels[2].voice, &voices[2]);
  EXPECT_EQ(voices[2].sample, playing);
  EXPECT_EQ(voices[2].position, 0u);
  freeSong(song);
}

TEST(MusicEngine, RestartOnABackwardPingPongVoiceMovesForward) {
  Song song = {};
  song.flags = 1;
  Channel& c = channels[0];
  c = {};
  c.voice = &voices[0];
  voices[0] = {};
  Sample s = {};
  voices[0].sample = &s;
  voices[0].direction = directionBackward;
  voices[0].position = 700;
  c.updateFlags = requestRestart;
  updateVoice(c, &s, &song);
  EXPECT_EQ(voices[0].position, 0u);
  EXPECT_EQ(voices[0].direction, directionForward);
  EXPECT_EQ(voices[0].sample, &s);
}

TEST(MusicEngine, MeasureSongStopsWhereItRepeats) {
  xm::Module m = basicModule(1, 16);
  m.patterns.push_back(m.patterns[0]);
  m.orders = {0, 1};
  m.restart = 1;
  Song* song = loadModule(m);
  EXPECT_EQ(measureSong(song, 1 << 30), 32 * 6 * 882);
  // A loop's repeats are part of the song; a jump back ends it.
  m.patterns[0].at(0, 0, 1) = {0, 0, 0, 14, 0x60};
  m.patterns[0].at(3, 0, 1) = {0, 0, 0, 14, 0x62};
  m.patterns[1].at(5, 0, 1) = {0, 0, 0, 11, 0};
  freeSong(song);
  song = loadModule(m);
  EXPECT_EQ(measureSong(song, 1 << 30), (16 + 8 + 6) * 6 * 882);
  EXPECT_EQ(measureSong(song, 1000), 1000);
  freeSong(song);
}
