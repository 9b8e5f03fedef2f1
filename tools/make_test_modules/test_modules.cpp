// The modules the benchmarks and player comparisons play, built in code.
#include "tools/make_test_modules/test_modules.h"

namespace xm {

namespace {

uint32_t rng = 12345;
uint32_t next(uint32_t range) {
  rng = rng * 1664525u + 1013904223u;
  return (rng >> 8) % range;
}

Sample loopingSample(int waveform, uint32_t frames, bool sixteenBit, uint8_t loopType, int amplitude = 12000) {
  Sample s = xm::waveSample(waveform, frames, amplitude, sixteenBit, frames);
  s.loopType = loopType;
  s.loopStart = frames / 4;
  s.loopLength = frames - frames / 4;
  s.volume = 48;
  return s;
}

}  // namespace

Module channels32Module() {
  rng = 12345;
  Module m;
  m.channels = 32;
  m.bpm = 140;
  m.tempo = 5;
  for (int i = 0; i < 8; ++i) {
    Instrument in = xm::simpleInstrument(loopingSample(i % 4, 1000 + 700 * i, i % 2 == 0, 1, 5000));
    in.samples[0].relativeNote = static_cast<int8_t>(-12 + i * 3);
    in.samples[0].finetune = static_cast<int8_t>(i * 9 - 30);
    m.instruments.push_back(in);
  }
  for (int p = 0; p < 4; ++p) {
    Pattern pattern;
    pattern.rows = 64;
    for (int r = 0; r < 64; ++r) {
      for (int c = 0; c < 32; ++c) {
        Cell& cell = pattern.at(r, c, 32);
        if ((r + c) % 4 == 0) {
          cell.note = static_cast<uint8_t>(25 + next(48));
          cell.instrument = static_cast<uint8_t>(1 + next(8));
          cell.volume = static_cast<uint8_t>(0x10 + 20 + next(44));
        } else if (next(6) == 0) {
          cell.volume = static_cast<uint8_t>(0xC0 + next(16));  // panning
        }
      }
    }
    m.patterns.push_back(pattern);
  }
  m.orders = {0, 1, 2, 3, 1, 2};
  return m;
}

Module effectsModule() {
  rng = 12345;
  Module m;
  m.channels = 16;
  m.bpm = 125;
  for (int i = 0; i < 6; ++i) {
    Instrument in = xm::simpleInstrument(loopingSample(i % 4, 800 + 500 * i, i % 2 == 1, i < 3 ? 2 : 1));
    in.volume.points = {{0, 64}, {8, 40}, {20, 50}, {60, 0}};
    in.volume.type = 1 | 2;
    in.volume.sustain = 2;
    in.panning.points = {{0, 0}, {30, 64}, {60, 32}};
    in.panning.type = 1 | 4;
    in.panning.loopStart = 0;
    in.panning.loopEnd = 1;
    in.fadeout = 600;
    in.vibratoType = static_cast<uint8_t>(i % 4);
    in.vibratoDepth = 8;
    in.vibratoRate = 20;
    in.vibratoSweep = 10;
    m.instruments.push_back(in);
  }
  const uint8_t fx[][2] = {{0, 0x37},  {1, 0x08},  {2, 0x06},  {3, 0x10},  {4, 0x86},  {5, 0x04},  {6, 0x20},
                           {7, 0x4A},  {10, 0x0F}, {10, 0xF0}, {17, 0x01}, {25, 0x40}, {27, 0x33}, {29, 0x12},
                           {14, 0x93}, {14, 0xC4}, {14, 0xD2}, {33, 0x12}, {12, 0x30}, {8, 0x40}};
  for (int p = 0; p < 3; ++p) {
    Pattern pattern;
    pattern.rows = 64;
    for (int r = 0; r < 64; ++r) {
      for (int c = 0; c < 16; ++c) {
        Cell& cell = pattern.at(r, c, 16);
        if ((r * 3 + c) % 8 == 0) {
          cell.note = static_cast<uint8_t>(30 + next(40));
          cell.instrument = static_cast<uint8_t>(1 + next(6));
        } else if (next(9) == 0) {
          cell.note = 97;  // key off
        }
        const uint8_t* e = fx[next(sizeof(fx) / sizeof(fx[0]))];
        cell.effect = e[0];
        cell.param = e[1];
        if (next(4) == 0) cell.volume = static_cast<uint8_t>(0x60 + next(0xA0));
      }
    }
    m.patterns.push_back(pattern);
  }
  m.orders = {0, 1, 2, 0};
  return m;
}

Module amigaModule() {
  rng = 12345;
  Module m;
  m.channels = 12;
  m.linear = false;
  m.bpm = 150;
  m.tempo = 4;
  for (int i = 0; i < 4; ++i) {
    m.instruments.push_back(xm::simpleInstrument(loopingSample(i, 600 + 400 * i, false, 2)));
  }
  for (int p = 0; p < 2; ++p) {
    Pattern pattern;
    pattern.rows = 64;
    for (int r = 0; r < 64; ++r) {
      for (int c = 0; c < 12; ++c) {
        Cell& cell = pattern.at(r, c, 12);
        if ((r + 2 * c) % 6 == 0) {
          cell.note = static_cast<uint8_t>(24 + next(48));
          cell.instrument = static_cast<uint8_t>(1 + next(4));
        }
        if (next(3) == 0) {
          cell.effect = static_cast<uint8_t>(next(2) ? 4 : 0);
          cell.param = static_cast<uint8_t>(0x20 + next(0x60));
        }
      }
    }
    m.patterns.push_back(pattern);
  }
  m.orders = {0, 1, 0, 1};
  return m;
}

}  // namespace xm
