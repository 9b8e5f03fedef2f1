#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/music/test_support.h"

using namespace testing_music;

namespace {

// A module header with `channels` channels, one stored pattern whose packed
// data is `cells` (rows of one cell each), and no instruments.
std::vector<uint8_t> rawPatternModule(int rows, const std::vector<uint8_t>& cells, int channels = 1) {
  xm::Module m;
  m.channels = channels;
  m.patternCountOverride = 1;
  std::vector<uint8_t> bytes = xm::write(m);
  const uint8_t header[] = {9,
                            0,
                            0,
                            0,
                            0,
                            static_cast<uint8_t>(rows),
                            static_cast<uint8_t>(rows >> 8),
                            static_cast<uint8_t>(cells.size()),
                            static_cast<uint8_t>(cells.size() >> 8)};
  bytes.insert(bytes.end(), header, header + 9);
  bytes.insert(bytes.end(), cells.begin(), cells.end());
  return bytes;
}

}  // namespace

TEST(MusicLoader, ReadsHeaderFieldsAndMissingPatterns) {
  xm::Module m = basicModule(4);
  m.patterns.resize(3, m.patterns[0]);
  m.orders = {0, 5, 1};
  m.restart = 2;
  m.tempo = 3;
  m.bpm = 140;
  m.instruments[0].fadeout = 40000;
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->songLength, 3);
  EXPECT_EQ(song->restartPosition, 2);
  EXPECT_EQ(song->channelCount, 4);
  EXPECT_EQ(song->defaultTempo, 3);
  EXPECT_EQ(song->defaultBpm, 140);
  EXPECT_EQ(song->flags & 1, 1);
  EXPECT_EQ(song->defaultGlobalVolume, 64);
  EXPECT_EQ(song->referencedPatterns, 6);
  EXPECT_EQ(song->patternSlots, 6);
  for (int n = 3; n < 6; ++n) {
    EXPECT_EQ(song->patterns[n].rowCount, 64);
    const PatternCell* row = patternRow(song, song->patterns[n], 10);
    EXPECT_EQ(row[3].note + row[3].instrument + row[3].effect, 0);
  }
  EXPECT_EQ(song->instrumentCount, 1);
  EXPECT_EQ(song->instruments[0].fadeout, 14464);  // 80000 modulo 65536
  EXPECT_TRUE(freeSong(song));
}

TEST(MusicLoader, EmptyStoredPatternReadsNoCells) {
  xm::Module m = basicModule(2);
  m.patterns[0].rows = 32;
  m.patterns[0].storeEmpty = true;
  xm::Pattern second;
  second.rows = 2;
  second.at(1, 1, 2) = {49, 1, 0x30, 0x0C, 0x20};
  m.patterns.push_back(second);
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->patterns[0].rowCount, 32);
  EXPECT_EQ(song->patterns[1].rowCount, 2);
  const PatternCell& cell = song->patterns[1].cells[1 * 2 + 1];
  EXPECT_EQ(cell.note, 49);
  EXPECT_EQ(cell.instrument, 1);
  EXPECT_EQ(cell.volume, 0x30);
  EXPECT_EQ(cell.effect, 0x0C);
  EXPECT_EQ(cell.param, 0x20);
  freeSong(song);
}

TEST(MusicLoader, DecodesPackedAndPlainCells) {
  const std::vector<uint8_t> cells = {
      0x80,                          // mask with no fields: empty
      0,    3,    0x40, 0x0F, 0x06,  // plain cell without note
      0x81, 97,                      // key off
      0x83, 10,   200,               // instrument above 128 becomes none
      0x81, 120,                     // a note past key off is no note
      0x98, 0x0A, 0x0F,              // effect and param only
  };
  Song* song = loadBytes(rawPatternModule(6, cells));
  ASSERT_NE(song, nullptr);
  const PatternCell* c = song->patterns[0].cells;
  EXPECT_EQ(c[0].note | c[0].instrument | c[0].volume | c[0].effect | c[0].param, 0);
  EXPECT_EQ(c[1].note, 0);
  EXPECT_EQ(c[1].instrument, 3);
  EXPECT_EQ(c[1].volume, 0x40);
  EXPECT_EQ(c[1].effect, 0x0F);
  EXPECT_EQ(c[1].param, 0x06);
  EXPECT_EQ(c[2].note, 255);
  EXPECT_EQ(c[3].note, 10);
  EXPECT_EQ(c[3].instrument, 0);
  EXPECT_EQ(c[4].note, 0);
  EXPECT_EQ(c[5].effect, 0x0A);
  EXPECT_EQ(c[5].param, 0x0F);
  freeSong(song);
}

TEST(MusicLoader, SampleFormatsLoopsAndGuards) {
  xm::Module m = basicModule(1);
  xm::Instrument in;
  // 16-bit, odd byte length 1001: 500 frames, 1000 bytes read.
  xm::Sample odd;
  odd.data.assign(500, 7);
  odd.headerLengthBytes = 1001;
  // 8-bit deltas 10, 246, 5.
  xm::Sample eight;
  eight.sixteenBit = false;
  eight.data = {10 * 256, 0, 5 * 256};
  // Forward loop of length 0: no loop.
  xm::Sample noLoop = xm::waveSample(1, 100, 8000, true);
  noLoop.loopType = 1;
  noLoop.loopStart = 20;
  // Both loop bits: ping-pong.
  xm::Sample pingPong = xm::waveSample(1, 100, 8000, true);
  pingPong.loopType = 3;
  pingPong.loopStart = 10;
  pingPong.loopLength = 50;
  xm::Sample forward = xm::waveSample(1, 100, 8000, false);
  forward.loopType = 1;
  forward.loopStart = 10;
  forward.loopLength = 50;
  in.samples = {odd, eight, noLoop, pingPong, forward};
  m.instruments = {xm::Instrument(), in};
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->instrumentCount, 2);
  const Instrument& empty = song->instruments[0];
  EXPECT_EQ(empty.sampleCount, 0);
  for (Sample* s : empty.samples) EXPECT_EQ(s, &emptySample);
  const Instrument& i = song->instruments[1];
  ASSERT_EQ(i.sampleCount, 5);
  EXPECT_EQ(i.samples[5], &emptySample);
  EXPECT_EQ(i.samples[0]->length, 500u);
  EXPECT_EQ(i.samples[0]->data[499], 7);
  EXPECT_EQ(i.samples[0]->bits, 16);
  const Sample& e = *i.samples[1];
  ASSERT_EQ(e.length, 3u);
  EXPECT_EQ(e.data[0], 2560);
  EXPECT_EQ(e.data[1], 0);
  EXPECT_EQ(e.data[2], 1280);
  EXPECT_EQ(e.bits, 16);
  EXPECT_EQ(i.samples[2]->loopMode, 1);
  EXPECT_EQ(i.samples[2]->loopStart, 0u);
  EXPECT_EQ(i.samples[2]->loopLength, 100u);
  const Sample& p = *i.samples[3];
  EXPECT_EQ(p.loopMode, 4);
  EXPECT_EQ(p.data[60], p.data[59]);  // guard after the loop
  const Sample& f = *i.samples[4];
  EXPECT_EQ(f.loopMode, 2);
  EXPECT_EQ(f.data[60], f.data[10]);
  freeSong(song);
}

TEST(MusicLoader, RejectsWhatItCannotPlay) {
  EXPECT_EQ(loadBytes({}), nullptr);
  std::vector<uint8_t> bytes = xm::write(basicModule(2));
  bytes[9] = 'x';  // signature
  EXPECT_EQ(loadBytes(bytes), nullptr);

  xm::Module many = basicModule(1);
  many.instruments[0].samples.resize(17, many.instruments[0].samples[0]);
  EXPECT_EQ(loadModule(many), nullptr);

  xm::Module noChannels = basicModule(1);
  noChannels.channels = 0;
  noChannels.patterns.clear();
  EXPECT_EQ(loadModule(noChannels), nullptr);

  setFileCallbacks(bytesOpen, nullptr, bytesRead, bytesSeek, bytesTell);  // clears all five
  served = xm::write(basicModule(1));
  EXPECT_EQ(loadSong("module.xm"), nullptr);
  EXPECT_FALSE(freeSong(nullptr));
}

TEST(MusicLoader, SettlesValuesPlaybackRelies) {
  xm::Module m = basicModule(40);
  m.songLengthOverride = 0;
  m.restart = 9;
  m.bpm = 0;
  xm::Pattern zeroRows;
  zeroRows.rows = 0;
  zeroRows.storeEmpty = true;
  m.patterns.push_back(zeroRows);
  xm::Envelope& env = m.instruments[0].volume;
  for (int k = 0; k < 12; ++k) env.points.push_back({static_cast<uint16_t>(k * 4), 200});
  env.countOverride = 20;
  env.type = 7;
  env.sustain = 15;
  env.loopStart = 2;
  env.loopEnd = 14;
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->songLength, 1);
  EXPECT_EQ(song->restartPosition, 0);
  EXPECT_EQ(song->defaultBpm, 125);
  EXPECT_EQ(song->channelCount, 40);
  EXPECT_EQ(song->patterns[1].rowCount, 64);
  const Instrument& in = song->instruments[0];
  EXPECT_EQ(in.volumePointCount, 12);
  EXPECT_EQ(in.volumeType, 1);  // sustain and loop points outside the envelope
  EXPECT_EQ(in.volumeEnvelope[3].y, 64);
  // 40 channels play as 32 without touching anything past them.
  ASSERT_TRUE(startSong(song));
  for (int i = 0; i < 20; ++i) fillBlock();
  freeSong(song);
}

TEST(MusicLoader, LyingAndCutOffFilesStaySafe) {
  // A sample header claiming far more data than the file holds.
  xm::Module m = basicModule(2);
  m.instruments[0].samples[0].headerLengthBytes = 0xFFFFFFF0;
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  const Sample& s = *song->instruments[0].samples[0];
  EXPECT_EQ(s.length, 1000u);
  EXPECT_LE(s.loopStart + s.loopLength, s.length);
  freeSong(song);

  // Every cut of a module with two instruments loads or is refused cleanly,
  // and whatever loads plays.
  xm::Module full = basicModule(2, 8);
  full.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  full.patterns[0].at(0, 1, 2) = {61, 2, 0, 0, 0};
  xm::Sample pp = xm::waveSample(0, 300, 9000, false);
  pp.loopType = 2;
  pp.loopStart = 100;
  pp.loopLength = 150;
  full.instruments.push_back(xm::simpleInstrument(pp));
  const std::vector<uint8_t> bytes = xm::write(full);
  int loaded = 0;
  for (size_t cut = 0; cut < bytes.size(); cut += 7) {
    Song* part = loadBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    if (!part) continue;
    ++loaded;
    for (int i = 0; i < part->instrumentCount; ++i) {
      for (int k = 0; k < part->instruments[i].sampleCount; ++k) {
        const Sample& t = *part->instruments[i].samples[k];
        EXPECT_LE(static_cast<uint64_t>(t.loopStart) + t.loopLength, t.length);
      }
    }
    ASSERT_TRUE(startSong(part));
    for (int i = 0; i < 4; ++i) fillBlock();
    freeSong(part);
  }
  EXPECT_GT(loaded, 0);
}

TEST(MusicLoader, LoopPastTheSampleIsShortened) {
  xm::Module m = basicModule(1);
  xm::Sample& s = m.instruments[0].samples[0];
  s.loopStart = 900;
  s.loopLength = 500;
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->instruments[0].samples[0]->loopStart, 900u);
  EXPECT_EQ(song->instruments[0].samples[0]->loopLength, 100u);
  freeSong(song);
  s.loopStart = 1000;  // starts at the end: no loop
  song = loadModule(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->instruments[0].samples[0]->loopMode, 1);
  EXPECT_EQ(song->instruments[0].samples[0]->loopLength, 1000u);
  freeSong(song);
}

TEST(MusicLoader, MemoryFileCallbacks) {
  const std::string path = "music_loader_test_file.xm";
  ASSERT_TRUE(xm::writeFile(basicModule(3), path));
  MemoryFile* f = static_cast<MemoryFile*>(memoryFileOpen(path.c_str()));
  ASSERT_NE(f, nullptr);
  EXPECT_GT(f->size, 300);
  char sig[17];
  memoryFileRead(sig, 17, f);
  EXPECT_EQ(std::string(sig, 17), "Extended Module: ");
  EXPECT_EQ(memoryFileTell(f), 17);
  memoryFileSeek(f, 10, 2);
  EXPECT_EQ(memoryFileTell(f), f->size);
  memoryFileSeek(f, -5, 1);
  EXPECT_EQ(memoryFileTell(f), f->size - 5);
  char tail[16] = {};
  memoryFileRead(tail, 16, f);  // only 5 bytes left
  EXPECT_EQ(memoryFileTell(f), f->size);
  memoryFileClose(f);

  MemoryFile* missing = static_cast<MemoryFile*>(memoryFileOpen("no such file.xm"));
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->size, 0);
  memoryFileClose(missing);

  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong(path.c_str());
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->channelCount, 3);
  freeSong(song);
  EXPECT_EQ(loadSong("no such file.xm"), nullptr);
  std::remove(path.c_str());
}

TEST(MusicLoader, CorruptedModulesStaySafe) {
  xm::Module m = basicModule(4, 16);
  for (int r = 0; r < 16; ++r) {
    m.patterns[0].at(r, r % 4, 4) = {static_cast<uint8_t>(30 + r), 1, static_cast<uint8_t>(0x10 + r * 3),
                                     static_cast<uint8_t>(r * 2), static_cast<uint8_t>(r * 17)};
  }
  m.instruments[0].volume.points = {{0, 64}, {5, 20}, {9, 50}};
  m.instruments[0].volume.type = 7;
  m.instruments[0].volume.loopEnd = 2;
  xm::Sample pp = xm::waveSample(2, 200, 9000, false);
  pp.loopType = 2;
  pp.loopStart = 20;
  pp.loopLength = 100;
  m.instruments.push_back(xm::simpleInstrument(pp));
  const std::vector<uint8_t> original = xm::write(m);
  uint32_t state = 99;
  auto random = [&state](uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % range;
  };
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> bytes = original;
    const int changes = 1 + static_cast<int>(random(8));
    for (int k = 0; k < changes; ++k) {
      // Keep the signature so that most rounds get past it.
      bytes[17 + random(static_cast<uint32_t>(bytes.size() - 17))] = static_cast<uint8_t>(random(256));
    }
    Song* song = loadBytes(bytes);
    if (!song) continue;
    ASSERT_TRUE(startSong(song));
    for (int i = 0; i < 6; ++i) fillBlock();
    freeSong(song);
  }
}

TEST(MusicLoader, LargerHeadersAreSkippedByTheirSizes) {
  // Module header 276 + 20 bytes, an instrument header 263 + 17 bytes and an
  // empty instrument with the full 263-byte header (as many trackers write
  // it): the padding is 0xEE bytes, which read as data would corrupt
  // everything after them.
  xm::Module m = basicModule(2, 4);
  m.patterns[0].at(1, 1, 2) = {50, 3, 0x40, 10, 0x0F};
  m.instruments[0].volume.points = {{0, 64}, {7, 12}};
  m.instruments[0].volume.type = 1;
  m.instruments[0].fadeout = 300;
  m.instruments.push_back(xm::Instrument{});
  m.instruments.push_back(xm::simpleInstrument(xm::waveSample(1, 20, 8000, false)));
  m.instruments[2].keymap[49] = 0;
  m.headerPadding = 20;
  m.instruments[0].headerPadding = 17;
  m.instruments[1].headerPadding = 263 - 29;
  Song* song = loadModule(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->patternSlots, 1);
  EXPECT_EQ(song->patterns[0].rowCount, 4);
  const PatternCell& cell = patternRow(song, song->patterns[0], 1)[1];
  EXPECT_EQ(cell.note, 50);
  EXPECT_EQ(cell.instrument, 3);
  EXPECT_EQ(cell.volume, 0x40);
  EXPECT_EQ(cell.effect, 10);
  EXPECT_EQ(cell.param, 0x0F);
  ASSERT_EQ(song->instrumentCount, 3);
  const Instrument& first = song->instruments[0];
  EXPECT_EQ(first.volumePointCount, 2);
  EXPECT_EQ(first.volumeEnvelope[1].x, 7);
  EXPECT_EQ(first.volumeEnvelope[1].y, 12);
  EXPECT_EQ(first.fadeout, 600);
  ASSERT_EQ(first.sampleCount, 1);
  EXPECT_EQ(first.samples[0]->length, 1000u);
  EXPECT_EQ(first.samples[0]->volume, 64);
  EXPECT_EQ(song->instruments[1].sampleCount, 0);
  const Instrument& third = song->instruments[2];
  ASSERT_EQ(third.sampleCount, 1);
  const Sample& saw = *third.samples[0];
  EXPECT_EQ(saw.length, 20u);
  EXPECT_EQ(saw.panning, 128);
  // The writer's 8-bit saw of amplitude 8000 starts at -8000 / 256 = -31
  // (truncated), stored as the byte -31 and widened to -31 x 256.
  EXPECT_EQ(saw.data[0], -31 * 256);
  // The same module with the writer's own sizes loads the same sample data.
  xm::Module plain = m;
  plain.headerPadding = 0;
  for (xm::Instrument& in : plain.instruments) in.headerPadding = 0;
  Song* reference = loadModule(plain);
  ASSERT_NE(reference, nullptr);
  ASSERT_EQ(reference->instruments[2].samples[0]->length, 20u);
  EXPECT_EQ(0, std::memcmp(saw.data, reference->instruments[2].samples[0]->data, 20 * sizeof(int16_t)));
  EXPECT_EQ(0, std::memcmp(first.samples[0]->data, reference->instruments[0].samples[0]->data, 1000 * 2));
  freeSong(reference);
  freeSong(song);
}
