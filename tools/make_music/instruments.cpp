// The module's instruments, synthesized with integer arithmetic only.
//
// Tonal samples hold whole cycles of additive waveforms whose harmonics stop
// below the output Nyquist for the highest note the score plays on them, so
// the player's plain linear interpolation does not fold them back as
// aliases. Their loops hold whole cycles, so they join without a click.
// Drums are one-shot samples at 22050 Hz that end with a short fade.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/make_music/make_music.h"

namespace music_gen {

namespace {

constexpr int64_t kOne = int64_t{1} << 30;
constexpr int64_t kHalfPi = 1686629713;  // pi/2 in Q30

// sin(x) for x in [0, pi/2], Q30, by its Taylor series to x^11 (error < 1e-7).
int64_t quarterSine(int64_t x) {
  const int64_t x2 = (x * x) >> 30;
  int64_t t = kOne - x2 / 110;
  t = kOne - ((x2 * t) >> 30) / 72;
  t = kOne - ((x2 * t) >> 30) / 42;
  t = kOne - ((x2 * t) >> 30) / 20;
  t = kOne - ((x2 * t) >> 30) / 6;
  return (x * t) >> 30;
}

// sin(2 pi phase / 2^32) in Q30.
int32_t sine(uint32_t phase) {
  const uint32_t quadrant = phase >> 30;
  int64_t u = phase & 0x3FFFFFFF;
  if (quadrant & 1) u = kOne - u;
  const int64_t s = quarterSine((u * kHalfPi) >> 30);
  return static_cast<int32_t>(quadrant & 2 ? -s : s);
}

constexpr int32_t kDrumRate = 22050;
// 8363 Hz x 2^(17/12) is 22154 Hz; finetune -10 lowers that by 5/64 of a
// semitone to 22054 Hz, so drums played at C-4 run at their own rate.
constexpr int8_t kDrumRelativeNote = 17;
constexpr int8_t kDrumFinetune = -10;
// A cycle of 256 frames played at C-4 with relative note +36 (or 128 frames
// with +24) sounds 261.3 Hz; finetune +2 lifts it the last 1.6 cents to C.
constexpr int8_t kToneFinetune = 2;

// A small deterministic noise source (32-bit LCG), values in Q15.
struct Noise {
  uint32_t state;
  int32_t next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<int32_t>(state >> 16) - 32768;
  }
};

// Exponential decay: a Q30 gain multiplied by a factor per frame so that it
// halves every `halfLife` frames (first-order factor 1 - ln2 / halfLife).
struct Decay {
  int64_t gain = int64_t{1} << 30;
  int64_t factor;
  explicit Decay(int64_t halfLife) : factor((int64_t{1} << 30) - 744261118 / halfLife) {}
  int64_t next() {
    const int64_t g = gain;
    gain = (gain * factor) >> 30;
    return g;
  }
};

// One-pole low-pass filter; `a` in Q16 (65536 passes everything).
struct LowPass {
  int64_t a, y = 0;
  int64_t run(int64_t x) {
    y += ((x - y) * a) >> 16;
    return y;
  }
};

int64_t scale(int64_t value, int64_t gainQ30) { return (value * gainQ30) >> 30; }

// Scales to the given peak and stores 16-bit values.
std::vector<int16_t> normalize(const std::vector<int64_t>& v, int64_t peak) {
  int64_t most = 1;
  for (int64_t x : v) most = std::max(most, x < 0 ? -x : x);
  std::vector<int16_t> out(v.size());
  for (size_t i = 0; i < v.size(); ++i) out[i] = static_cast<int16_t>(v[i] * peak / most);
  return out;
}

// Rounds to 8 bits (the writer stores the high byte).
std::vector<int16_t> to8Bit(std::vector<int16_t> v) {
  for (int16_t& x : v) {
    const int32_t q = std::clamp((static_cast<int32_t>(x) + 128) >> 8, -128, 127);
    x = static_cast<int16_t>(q * 256);
  }
  return v;
}

// Linear fade over the last `frames` values, so a one-shot ends at zero.
void fadeTail(std::vector<int64_t>& v, size_t frames) {
  frames = std::min(frames, v.size());
  for (size_t i = 0; i < frames; ++i) {
    const size_t at = v.size() - frames + i;
    v[at] = v[at] * static_cast<int64_t>(frames - 1 - i) / static_cast<int64_t>(frames);
  }
}

// Frequency in Q16 Hz to a phase step per frame at `rate`.
uint32_t phaseStep(int64_t frequencyQ16, int32_t rate) { return static_cast<uint32_t>((frequencyQ16 << 16) / rate); }

// `length` frames holding whole cycles of a harmonic series: harmonic k of
// each oscillator gets amplitude amp(k) (Q16). `cycles` lists how many
// cycles of each oscillator the buffer holds, so detuned oscillators still
// loop seamlessly. `cosine` starts every harmonic at its peak.
template <typename Amp>
std::vector<int64_t> additive(uint32_t length, const std::vector<uint32_t>& cycles, int harmonics, Amp amp,
                              bool cosine = false, uint32_t phaseOffset = 0) {
  std::vector<int64_t> out(length, 0);
  for (uint32_t c : cycles) {
    for (int k = 1; k <= harmonics; ++k) {
      const int64_t a = amp(k);
      if (a == 0) continue;
      // Phase of frame i: k * c * i / length of a turn (length is a power of two).
      const uint64_t step = (uint64_t{1} << 32) / length * c * static_cast<uint64_t>(k);
      uint32_t phase = (cosine ? 0x40000000u : 0u) + phaseOffset * static_cast<uint32_t>(k);
      for (uint32_t i = 0; i < length; ++i) {
        out[i] += (sine(phase) * a) >> 16;
        phase += static_cast<uint32_t>(step);
      }
    }
  }
  return out;
}

int64_t sawAmp(int k) { return 65536 / k; }

xm::Sample drumSample(std::vector<int16_t> data, bool sixteenBit, const char* name) {
  xm::Sample s;
  s.data = sixteenBit ? std::move(data) : to8Bit(std::move(data));
  s.sixteenBit = sixteenBit;
  s.relativeNote = kDrumRelativeNote;
  s.finetune = kDrumFinetune;
  s.name = name;
  return s;
}

xm::Sample toneSample(std::vector<int16_t> data, bool sixteenBit, uint8_t loopType, uint32_t loopStart,
                      uint32_t loopLength, int8_t relativeNote, const char* name) {
  xm::Sample s;
  s.data = sixteenBit ? std::move(data) : to8Bit(std::move(data));
  s.sixteenBit = sixteenBit;
  s.loopType = loopType;
  s.loopStart = loopStart;
  s.loopLength = loopLength;
  s.relativeNote = relativeNote;
  s.finetune = kToneFinetune;
  s.name = name;
  return s;
}

xm::Instrument single(xm::Sample s, const char* name, uint8_t volume, uint8_t panning) {
  s.volume = volume;
  s.panning = panning;
  xm::Instrument in = xm::simpleInstrument(std::move(s));
  in.name = name;
  return in;
}

xm::Envelope envelope(std::vector<std::pair<uint16_t, uint16_t>> points, int sustain = -1, int loopStart = -1,
                      int loopEnd = -1) {
  xm::Envelope e;
  e.points = std::move(points);
  e.type = 1;
  if (sustain >= 0) {
    e.type |= 2;
    e.sustain = static_cast<uint8_t>(sustain);
  }
  if (loopStart >= 0) {
    e.type |= 4;
    e.loopStart = static_cast<uint8_t>(loopStart);
    e.loopEnd = static_cast<uint8_t>(loopEnd);
  }
  return e;
}

// Kick: a sine falling from about 155 Hz to 45 Hz, a short click on top.
xm::Instrument kick() {
  const size_t frames = kDrumRate * 40 / 100;
  std::vector<int64_t> v(frames);
  Decay pitch(kDrumRate * 3 / 100), level(kDrumRate * 9 / 100), click(kDrumRate / 500);
  Noise noise{7};
  LowPass clickTone{20000};
  uint32_t phase = 0;
  for (size_t i = 0; i < frames; ++i) {
    const int64_t frequency = (int64_t{45} << 16) + scale(int64_t{110} << 16, pitch.next());
    const int64_t body = scale(sine(phase) >> 15, level.next());
    v[i] = body + scale(clickTone.run(noise.next()) / 3, click.next());
    phase += phaseStep(frequency, kDrumRate);
  }
  fadeTail(v, kDrumRate / 200);
  return single(drumSample(normalize(v, 32000), true, "kick"), "kick", 64, 128);
}

// Soft saturation, y = x - x^3/3 on [-1, 1] in Q15 (clamped beyond), which
// lifts the body of a drum against its first peak.
int64_t saturate(int64_t x) {
  x = std::clamp<int64_t>(x, -32768, 32768);
  return x - x * x / 32768 * x / 32768 / 3;
}

// Snare: a two-mode drum head (190 and 330 Hz, bending down as it is
// struck) under band-passed noise whose tail rings longer than the body,
// then saturated so that its loudness stands beside the kick's.
xm::Instrument snare() {
  const size_t frames = kDrumRate * 32 / 100;
  std::vector<int64_t> v(frames);
  Decay body(kDrumRate * 5 / 100), overtone(kDrumRate * 3 / 100), rattle(kDrumRate * 7 / 100), pitch(kDrumRate / 60);
  Noise noise{11};
  LowPass low{36000}, high{5000};
  uint32_t phase = 0, phase2 = 0;
  for (size_t i = 0; i < frames; ++i) {
    const int64_t bend = pitch.next();
    const int64_t frequency = (int64_t{186} << 16) + scale(int64_t{50} << 16, bend);
    const int64_t n = low.run(noise.next());
    const int64_t bright = n - high.run(n);  // band-passed
    const int64_t head = scale(sine(phase) >> 15, body.next()) + scale(sine(phase2) >> 16, overtone.next());
    v[i] = saturate((head + scale(bright, rattle.next()) * 3 / 2) * 13 / 10);
    phase += phaseStep(frequency, kDrumRate);
    phase2 += phaseStep(frequency * 330 / 186, kDrumRate);
  }
  fadeTail(v, kDrumRate / 50);
  return single(drumSample(normalize(v, 26000), true, "snare"), "snare", 64, 128);
}

// Hats run at twice the drum rate, so their shimmer reaches 16 kHz and more.
constexpr int32_t kHatRate = 44100;

// Hats: six detuned square waves at inharmonic ratios (the classic analogue
// recipe), their dense clangorous partials high-passed into a metallic band,
// with a little noise for the air. The closed and open hats are two samples
// of one instrument, chosen by the keymap.
std::vector<int16_t> hat(size_t frames, int64_t halfLife, uint32_t seed) {
  // The analogue set's square-wave pitches an octave up, in tenths of a hertz.
  static const int64_t hertz[6] = {4106, 6088, 7392, 10454, 10800, 16000};
  std::vector<int64_t> v(frames);
  Decay level(halfLife);
  Noise noise{seed};
  LowPass a{40000}, b{40000}, c{30000};
  uint32_t phases[6] = {};
  uint32_t steps[6];
  for (int k = 0; k < 6; ++k) steps[k] = phaseStep((hertz[k] << 16) / 10, kHatRate);
  for (size_t i = 0; i < frames; ++i) {
    int64_t metal = 0;
    for (int k = 0; k < 6; ++k) {
      metal += phases[k] & 0x80000000u ? 8000 : -8000;
      phases[k] += steps[k];
    }
    int64_t n = metal + noise.next() / 5;
    n -= a.run(n);
    n -= b.run(n);
    n = (n + c.run(n)) / 2;  // a gentle top roll-off
    v[i] = scale(n, level.next());
  }
  fadeTail(v, kHatRate / 400);
  return normalize(v, 30000);
}

xm::Instrument hats() {
  xm::Instrument in;
  in.name = "hats";
  xm::Sample closed = drumSample(hat(kHatRate * 8 / 100, kHatRate * 14 / 1000, 3), false, "closed hat");
  xm::Sample open = drumSample(hat(kHatRate * 40 / 100, kHatRate * 9 / 100, 5), false, "open hat");
  // Twelve semitones up plays C-4 at twice the drum rate. The open hat sits
  // on D-4 and up; two semitones less play D-4 at its own rate.
  closed.relativeNote = kDrumRelativeNote + 12;
  open.relativeNote = kDrumRelativeNote + 10;
  closed.volume = open.volume = 64;
  closed.panning = open.panning = 72;  // to the left, the way a drummer's hats sit
  in.samples = {closed, open};
  for (int n = 0; n < 96; ++n) in.keymap[n] = n >= 50 ? 1 : 0;  // index 50 = D-4
  return in;
}

// Crash: a bright noise burst whose tail loops; the volume envelope lets it
// ring for three seconds without storing them.
xm::Instrument crash() {
  const size_t attack = kDrumRate / 4, loop = kDrumRate * 3 / 10;
  std::vector<int64_t> v(attack + loop);
  Noise noise{17};
  LowPass a{30000}, b{52000};
  Decay level(kDrumRate / 10);
  for (size_t i = 0; i < v.size(); ++i) {
    int64_t n = noise.next();
    n -= a.run(n);
    n = b.run(n);
    // Falls to about 0.3 over the attack, then stays there in the loop.
    const int64_t g = i < attack ? level.next() : level.gain;
    v[i] = scale(n, std::max<int64_t>(g, int64_t{1} << 28) + (int64_t{1} << 26));
  }
  xm::Sample s = drumSample(normalize(v, 30000), false, "crash");
  s.loopType = 1;
  s.loopStart = static_cast<uint32_t>(attack);
  s.loopLength = static_cast<uint32_t>(loop);
  xm::Instrument in = single(s, "crash", 48, 152);
  in.volume = envelope({{0, 64}, {8, 44}, {48, 22}, {120, 8}, {190, 0}});
  return in;
}

// Tom: a sine sweeping down from 150 to 90 Hz at C-4; the score pitches it.
xm::Instrument tom() {
  const size_t frames = kDrumRate * 34 / 100;
  std::vector<int64_t> v(frames);
  Decay pitch(kDrumRate / 20), level(kDrumRate * 8 / 100);
  Noise noise{23};
  LowPass soft{12000};
  uint32_t phase = 0;
  for (size_t i = 0; i < frames; ++i) {
    const int64_t g = level.next();
    const int64_t frequency = (int64_t{90} << 16) + scale(int64_t{60} << 16, pitch.next());
    v[i] = scale(sine(phase) >> 15, g) + scale(soft.run(noise.next()) / 6, g);
    phase += phaseStep(frequency, kDrumRate);
  }
  fadeTail(v, kDrumRate / 100);
  return single(drumSample(normalize(v, 32000), false, "tom"), "tom", 56, 128);
}

// Riser: soft noise in a loop; the score slides it up with portamento.
xm::Instrument riser() {
  const size_t frames = 8192;
  std::vector<int64_t> v(frames);
  Noise noise{29};
  LowPass a{9000}, b{9000};
  for (size_t i = 0; i < frames; ++i) v[i] = b.run(a.run(noise.next()));
  // Cross-fade the loop's end into its start so the seam is smooth.
  const size_t fade = 512;
  for (size_t i = 0; i < fade; ++i) {
    const size_t at = frames - fade + i;
    v[at] = (v[at] * static_cast<int64_t>(fade - i) + v[i] * static_cast<int64_t>(i)) / static_cast<int64_t>(fade);
  }
  xm::Sample s = drumSample(normalize(v, 30000), false, "noise loop");
  s.loopType = 1;
  s.loopStart = 0;
  s.loopLength = static_cast<uint32_t>(frames);
  xm::Instrument in = single(s, "riser", 40, 128);
  in.volume = envelope({{0, 16}, {96, 64}, {120, 0}}, 1);
  in.fadeout = 1024;
  return in;
}

// Bass: a wavetable of 40 single cycles of a saw with a heavier
// fundamental, each darker than the one before, as if a low-pass filter
// closed on it; the last cycle loops. A note plays the filter's sweep
// down; the sample-offset effect starts it further in (one offset step is
// one cycle), so the score opens and closes the sound from bar to bar.
constexpr uint32_t kBassCycles = 40;

xm::Instrument bass() {
  std::vector<int64_t> v;
  int64_t cutoff = 24 << 8;  // in harmonics, Q8
  for (uint32_t c = 0; c < kBassCycles; ++c) {
    const int64_t c2 = (cutoff * cutoff) >> 8;
    const std::vector<int64_t> cycle = additive(256, {1}, 40, [c2](int k) {
      const int64_t a = k == 1 ? 98304 : sawAmp(k);
      const int64_t k2 = int64_t{k} * k << 8;
      return a * c2 / (c2 + k2);
    });
    v.insert(v.end(), cycle.begin(), cycle.end());
    cutoff = std::max<int64_t>(cutoff * 236 / 256, 3 << 8);
  }
  const uint32_t frames = static_cast<uint32_t>(v.size());
  xm::Sample s = toneSample(normalize(v, 27000), true, 1, frames - 256, 256, 36, "saw sweep");
  xm::Instrument in = single(s, "bass", 64, 128);
  in.volume = envelope({{0, 64}, {6, 54}, {30, 42}, {44, 0}}, 2);
  in.fadeout = 2048;
  return in;
}

// Pads: three detuned saws (127, 128 and 129 cycles in one loop, about
// 13.5 cents apart), so the chorus beats inside a seamless loop.
xm::Instrument pad() {
  std::vector<int64_t> v =
      additive(16384, {127, 128, 129}, 30, [](int k) { return k <= 10 ? sawAmp(k) : 655360 / (k * k); });
  xm::Sample s = toneSample(normalize(v, 32000), false, 1, 0, 16384, 24, "detuned saws");
  xm::Instrument in = single(s, "pad", 64, 128);
  in.volume = envelope({{0, 0}, {10, 64}, {30, 52}, {70, 0}}, 2);
  // A slow sway around the centre that loops for as long as the note lasts.
  in.panning = envelope({{0, 32}, {96, 40}, {192, 32}, {288, 24}, {384, 32}}, -1, 0, 4);
  in.fadeout = 600;
  return in;
}

// Pulse pad: brighter detuned saws; the volume envelope loops once a beat
// (24 ticks at speed 6): a dip on the beat and a swell after it.
xm::Instrument pulsePad() {
  std::vector<int64_t> v = additive(8192, {63, 64, 65}, 28, sawAmp);
  xm::Sample s = toneSample(normalize(v, 32000), false, 1, 0, 8192, 24, "bright saws");
  xm::Instrument in = single(s, "pulse pad", 64, 128);
  in.volume = envelope({{0, 10}, {9, 64}, {20, 52}, {24, 10}}, -1, 0, 3);
  in.fadeout = 800;
  return in;
}

// Frequency of note n (1 = C-0, 49 = C-4) in hundredths of a hertz.
int64_t noteCentiHertz(int n) {
  static const int64_t octave4[12] = {26163, 27718, 29366, 31113, 32963, 34923,
                                      36999, 39200, 41530, 44000, 46616, 49388};
  const int octave = (n - 1) / 12;
  const int64_t f = octave4[(n - 1) % 12];
  return octave >= 4 ? f << (octave - 4) : f >> (4 - octave);
}

// Lead: a saw-and-square blend, one band-limited cycle for every two
// semitones from G-4 up, each keeping the harmonics below 12 kHz for the
// higher of its two notes: the brightness follows the pitch smoothly across
// the keymap instead of jumping by octaves, and an arpeggio's fifth above
// still stays below 21 kHz.
constexpr int kLeadFirstZone = 56;  // G-4
constexpr int kLeadZones = 15;

xm::Instrument lead() {
  auto amp = [](int k) { return sawAmp(k) + (k % 2 ? 39321 / k : 0); };
  xm::Instrument in;
  in.name = "lead";
  for (int z = 0; z <= kLeadZones; ++z) {
    // Sample 0 covers everything below G-4; sample z the notes from 56 + 2(z-1).
    const int top = z == 0 ? kLeadFirstZone - 1 : kLeadFirstZone + 2 * z - 1;
    const int harmonics = static_cast<int>(std::min<int64_t>(40, 1200000 / noteCentiHertz(top)));
    std::vector<int64_t> v = additive(256, {1}, harmonics, amp);
    xm::Sample s = toneSample(normalize(v, 30000), true, 1, 0, 256, 36, "lead");
    s.name = "lead " + std::to_string(harmonics);
    s.volume = 64;
    s.panning = 128;
    in.samples.push_back(s);
  }
  for (int n = 0; n < 96; ++n) {
    // keymap index n is note n + 1
    const int zone = n + 1 < kLeadFirstZone ? 0 : 1 + (n + 1 - kLeadFirstZone) / 2;
    in.keymap[n] = static_cast<uint8_t>(std::min(zone, kLeadZones));
  }
  in.volume = envelope({{0, 0}, {2, 64}, {14, 50}, {40, 0}}, 2);
  // Leans a little to one side while held and drifts back after the key off.
  in.panning = envelope({{0, 30}, {16, 34}, {48, 32}}, 1);
  in.vibratoType = 0;
  in.vibratoSweep = 48;
  in.vibratoDepth = 8;
  in.vibratoRate = 18;
  in.fadeout = 1200;
  return in;
}

// Pluck: half a cycle of a square band-limited to 11 harmonics (clean up to
// A-6), an even function, so a ping-pong loop over it plays the whole wave.
xm::Instrument pluck() {
  std::vector<int64_t> v = additive(
      256, {1}, 11, [](int k) { return k % 2 ? ((k / 2) % 2 ? -65536 : 65536) / k : 0; }, true,
      0x00800000u);  // half a frame in, so the mirror is exact
  v.resize(128);
  xm::Sample s = toneSample(normalize(v, 30000), false, 2, 0, 128, 36, "square half cycle");
  xm::Instrument in = single(s, "pluck", 40, 128);
  in.volume = envelope({{0, 64}, {4, 44}, {18, 20}, {60, 0}});
  return in;
}

}  // namespace

std::vector<xm::Instrument> makeInstruments() {
  return {kick(), snare(), hats(), crash(), tom(), riser(), bass(), pad(), pulsePad(), lead(), pluck()};
}

}  // namespace music_gen
