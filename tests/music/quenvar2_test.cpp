// The demo's own module as our player sees it: its layout, its timing against
// the picture, the mix it renders to and the commands it exercises.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
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
  EXPECT_EQ(fnv1a(bytes), 0x330c8eb73d9c71e8ull) << std::hex << fnv1a(bytes);
  EXPECT_LT(bytes.size(), 300u * 1024u);
  // Linear frequency table and version 1.04 in the header.
  EXPECT_EQ(bytes[58] | bytes[59] << 8, 0x0104);

  Song* song = loadBytes(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->channelCount, 12);
  EXPECT_EQ(song->flags & 1, 1);
  EXPECT_EQ(song->defaultTempo, 6);
  EXPECT_EQ(song->defaultBpm, 129);
  const std::vector<int> orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 12, 13};
  ASSERT_EQ(song->songLength, static_cast<int>(orders.size()));
  for (size_t i = 0; i < orders.size(); ++i) EXPECT_EQ(song->orderTable[i], orders[i]) << "order " << i;
  EXPECT_EQ(song->restartPosition, 0);  // the loop starts from the top, as the fade leaves it
  const std::vector<int> rows = {64, 64, 24, 40, 64, 64, 64, 64, 48, 8, 64, 64, 64, 16, 64};
  ASSERT_EQ(song->patternSlots, static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(song->patterns[i].rowCount, rows[i]) << "pattern " << i;

  // kick snare hats crash tom riser bass pad pulse-pad lead pluck
  ASSERT_EQ(song->instrumentCount, 11);
  const int sampleCounts[11] = {1, 1, 2, 1, 1, 1, 1, 1, 1, 16, 1};
  const int loopModes[11] = {1, 1, 1, 2, 1, 2, 2, 2, 2, 2, 4};  // 1 none, 2 forward, 4 ping-pong
  for (int i = 0; i < 11; ++i) {
    const Instrument& in = song->instruments[i];
    EXPECT_EQ(in.sampleCount, sampleCounts[i]) << "instrument " << i + 1;
    EXPECT_EQ(in.samples[0]->loopMode, loopModes[i]) << "instrument " << i + 1;
  }
  // Drums run at 22050 Hz from C-4: relative note and finetune together.
  EXPECT_EQ(song->instruments[0].samples[0]->relativeNote, 17);
  EXPECT_EQ(song->instruments[0].samples[0]->finetune, -10);
  // The hats run at twice the drum rate: closed below D-4 (keymap index 50),
  // open from there, tuned down two semitones.
  EXPECT_EQ(song->instruments[2].keymap[49], 0);
  EXPECT_EQ(song->instruments[2].keymap[50], 1);
  EXPECT_EQ(song->instruments[2].samples[0]->relativeNote, 29);
  EXPECT_EQ(song->instruments[2].samples[1]->relativeNote, 27);
  // The lead: auto-vibrato, fadeout, both envelopes with sustain (its
  // samples across the keymap are checked below).
  const Instrument& lead = song->instruments[9];
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
  // The lead, note by note over the range the score gives it (G-3 to D-7):
  // the highest harmonic within 40 dB of the strongest, in hertz, stays
  // below 14.7 kHz, so the chip chords' fifth above keeps under 22 kHz, and
  // moves less than 25% from one note to the next, so no note sounds
  // suddenly duller than its neighbour.
  const xm::Instrument& lead = instruments[music_gen::kLead - 1];
  double previous = 0;
  for (int n = 44; n <= 87; ++n) {  // 1-based note numbers, C-4 = 49
    const std::vector<int16_t>& data = lead.samples[lead.keymap[n - 1]].data;
    ASSERT_EQ(data.size(), 256u);
    double strongest = 0;
    std::vector<double> levels(128);
    for (int k = 1; k < 128; ++k)
      strongest = std::max(strongest, levels[static_cast<size_t>(k)] = harmonic(data, 256, k));
    int top = 1;
    for (int k = 1; k < 128; ++k) {
      if (levels[static_cast<size_t>(k)] >= strongest / 100) top = k;
    }
    const double hertz = top * 440 * std::pow(2.0, (n - 58) / 12.0);
    EXPECT_LT(hertz * 1.5, 22050) << "note " << n;
    if (previous > 0) {
      EXPECT_LT(std::max(hertz / previous, previous / hertz), 1.25)
          << "note " << n << ": " << hertz << " Hz after " << previous;
    }
    previous = hertz;
  }
  // The bass's cycles close like a low-pass filter: each has less energy
  // above its 6th harmonic than the one before, and none above the 40th.
  const xm::Sample& bass = instruments[music_gen::kBass - 1].samples[0];
  ASSERT_EQ(bass.data.size() % 256, 0u);
  double brightness = 1e30;
  for (size_t c = 0; c * 256 < bass.data.size(); ++c) {
    const std::vector<int16_t> cycle(bass.data.begin() + static_cast<std::ptrdiff_t>(256 * c),
                                     bass.data.begin() + static_cast<std::ptrdiff_t>(256 * (c + 1)));
    double high = 0;
    for (int k = 7; k <= 40; ++k) high += harmonic(cycle, 256, k);
    EXPECT_LE(high, brightness * 1.001) << "cycle " << c;
    brightness = high;
    EXPECT_LT(harmonic(cycle, 256, 44), harmonic(cycle, 256, 1) / 1000) << "cycle " << c;
  }
  EXPECT_EQ(bass.loopStart + bass.loopLength, bass.data.size());

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

TEST(Quenvar2, SectionsStartWhenThePictureChangesAndTheFinaleBreathes) {
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
  std::vector<int> onsets(static_cast<size_t>(song->songLength), 0);  // notes struck, by order
  int64_t frames = 0;
  while (frames < int64_t{100} * mixRate) {
    const bool rowStart = song->tick == 0;
    const int64_t rowFrames = frames;
    tickSong(song);
    frames += song->framesPerTick;
    if (!rowStart) continue;
    if (song->order == song->restartPosition && song->row == 0 && rowFrames > 0) {
      frames = rowFrames;
      break;  // round to the restart
    }
    const size_t order = static_cast<size_t>(song->order);
    if (started[order] < 0) started[order] = static_cast<double>(rowFrames) / mixRate;
    const Pattern& pattern = song->patterns[song->orderTable[order]];
    for (int ch = 0; ch < song->channelCount; ++ch) {
      const uint8_t n = pattern.cells[song->row * song->channelCount + ch].note;
      if (n >= 1 && n <= 96) ++onsets[order];
    }
  }
  for (const auto& cue : cues) {
    EXPECT_NEAR(started[static_cast<size_t>(cue.order)], cue.seconds, 0.1) << "order " << cue.order;
  }
  // 89.3 s in all: rows x speed x frames per tick (854 at 129 BPM, 828 at
  // 133, 882 at 125, 958 at 115), summed by hand over the orders.
  EXPECT_EQ(frames, 3938292);
  // The finale (orders 10 to 13) strikes at least a fifth fewer notes a
  // second than the main part (orders 4 to 9).
  auto rate = [&](int first, int last) {
    int count = 0;
    for (int o = first; o <= last; ++o) count += onsets[static_cast<size_t>(o)];
    return count / (started[static_cast<size_t>(last + 1)] - started[static_cast<size_t>(first)]);
  };
  EXPECT_LT(rate(10, 13), 0.8 * rate(4, 9)) << rate(10, 13) << " against " << rate(4, 9);
  stopPlayback(song);
  freeSong(song);
  song = loadBytes(moduleBytes());
  EXPECT_EQ(measureSong(song, int64_t{200} * mixRate), 3938292);
  freeSong(song);
}

// Renders the first `frames` frames of `module` as interleaved stereo.
std::vector<int16_t> render(const std::vector<uint8_t>& module, int64_t frames) {
  std::vector<int16_t> out;
  Song* song = loadBytes(module);
  if (!song) return out;
  if (!startSong(song)) {
    freeSong(song);
    return out;
  }
  const size_t wanted = static_cast<size_t>(frames) * 2;
  while (out.size() < wanted) {
    const int16_t* block = fillBlock();
    if (!block) break;
    out.insert(out.end(), block, block + 2 * blockFrameCount());
  }
  out.resize(wanted);
  stopPlayback(song);
  freeSong(song);
  return out;
}

double dBFS(double rms) { return 20 * std::log10(std::max(rms, 1e-3) / 32768); }

// RMS level of both channels from t0 to t1 seconds, in dBFS.
double level(const std::vector<int16_t>& s, double t0, double t1) {
  double sum = 0;
  const size_t a = static_cast<size_t>(t0 * mixRate) * 2, b = static_cast<size_t>(t1 * mixRate) * 2;
  for (size_t i = a; i < b; ++i) sum += double(s[i]) * s[i];
  return dBFS(std::sqrt(sum / static_cast<double>(b - a)));
}

TEST(Quenvar2, RenderFollowsThePictureAndFadesIntoTheLoop) {
  const int64_t length = 3938292;  // as the section timing above works it out
  const std::vector<int16_t> s = render(moduleBytes(), length + 2 * mixRate);
  ASSERT_EQ(s.size(), static_cast<size_t>(length + 2 * mixRate) * 2);
  const size_t end = 2 * static_cast<size_t>(length);
  int peak = 0;
  double sumLeft = 0, sumRight = 0;
  for (size_t i = 0; i < end; i += 2) {
    peak = std::max({peak, std::abs(s[i]), std::abs(s[i + 1])});
    sumLeft += double(s[i]) * s[i];
    sumRight += double(s[i + 1]) * s[i + 1];
  }
  const double frames = end / 2.0;
  EXPECT_LE(dBFS(peak), -1.0);
  EXPECT_GE(dBFS(std::sqrt((sumLeft + sumRight) / (2 * frames))), -20.0);
  EXPECT_LE(dBFS(std::sqrt((sumLeft + sumRight) / (2 * frames))), -12.0);
  EXPECT_LT(std::abs(dBFS(std::sqrt(sumLeft / frames)) - dBFS(std::sqrt(sumRight / frames))), 1.0);

  // The main part drops in at 22.2 s at least 4 dB above the second before;
  // the breakdown under the pulsing background is at least 4 dB below the
  // four seconds before it, and the band is back two bars after.
  EXPECT_GE(level(s, 22.2, 23.2) - level(s, 21.2, 22.2), 4.0);
  EXPECT_LE(level(s, 36.9, 39.9) - level(s, 32.9, 36.9), -4.0);
  EXPECT_GE(level(s, 44.1, 47.1) - level(s, 36.9, 39.9), 4.0);

  // Stereo width: side over mid energy, second by second from 22 to 87 s.
  std::vector<double> width;
  for (int t = 22; t < 87; ++t) {
    double mid = 0, side = 0;
    for (size_t i = static_cast<size_t>(t) * mixRate * 2; i < static_cast<size_t>(t + 1) * mixRate * 2; i += 2) {
      mid += (double(s[i]) + s[i + 1]) * (double(s[i]) + s[i + 1]);
      side += (double(s[i]) - s[i + 1]) * (double(s[i]) - s[i + 1]);
    }
    width.push_back(side / mid);
  }
  std::nth_element(width.begin(), width.begin() + static_cast<std::ptrdiff_t>(width.size() / 2), width.end());
  EXPECT_GE(width[width.size() / 2], 0.02);

  // The last 100 ms are below -60 dBFS, and the song goes on from its very
  // start: the two seconds after the end sound as the first two did (the
  // only differences are the mixer's volume ramps on the first notes).
  int tail = 0;
  for (size_t i = end - 2 * mixRate / 10; i < end; ++i) tail = std::max(tail, std::abs(s[i]));
  EXPECT_LT(tail, 33);
  double difference = 0, first = 0;
  for (size_t i = 0; i < 2 * 2 * mixRate; ++i) {
    difference += (double(s[end + i]) - s[i]) * (double(s[end + i]) - s[i]);
    first += double(s[i]) * s[i];
  }
  EXPECT_LT(10 * std::log10(difference / first), -30.0);
}

// The module with the notes of every channel but `channel` removed; the
// effects stay, so the timing and global volume are as in the song.
std::vector<uint8_t> solo(int channel) {
  xm::Module m = music_gen::makeModule();
  for (xm::Pattern& p : m.patterns) {
    for (size_t i = 0; i < p.cells.size(); ++i) {
      if (static_cast<int>(i % static_cast<size_t>(m.channels)) == channel) continue;
      p.cells[i].note = p.cells[i].instrument = p.cells[i].volume = 0;
    }
  }
  return xm::write(m);
}

// The loudest 50 ms (RMS of both channels) of the first minute, in dBFS.
double loudest(const std::vector<int16_t>& s) {
  const size_t window = 2 * mixRate / 20;
  double run = 0, best = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    run += double(s[i]) * s[i];
    if (i >= window) run -= double(s[i - window]) * s[i - window];
    best = std::max(best, run);
  }
  return dBFS(std::sqrt(best / static_cast<double>(window)));
}

TEST(Quenvar2, SoloedDrumsAndBassSitTogether) {
  const int64_t minute = int64_t{60} * mixRate;
  const double kick = loudest(render(solo(music_gen::chKick), minute));
  const double snare = loudest(render(solo(music_gen::chSnare), minute));
  const double bass = loudest(render(solo(music_gen::chBass), minute));
  EXPECT_LT(std::abs(snare - kick), 4.0) << "snare " << snare << " dB, kick " << kick;
  EXPECT_LE(bass, kick) << "bass " << bass << " dB, kick " << kick;
  EXPECT_GT(kick, -24.0);
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
  // 9 sample offset; A volume slide; D pattern break; G H global volume and its slide;
  // K key off; P panning slide; R multi retrigger; E6 pattern loop, E9
  // retrigger, EC note cut, ED note delay.
  for (int e : {1, 2, 3, 4, 7, 8, 9, 10, 13, 16, 17, 20, 25, 27, 0x106, 0x109, 0x10C, 0x10D}) {
    EXPECT_TRUE(effects.count(e)) << "effect " << std::hex << e;
  }
  // Volume column: set volume (1..5), slides (6, 7), fine slides (8, 9),
  // vibrato speed and depth (A, B), panning (C), tone portamento (F).
  for (int v : {1, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xF}) EXPECT_TRUE(volumeKinds.count(v)) << "volume column " << v;
}

}  // namespace
