// A small XM module writer for tests, benchmarks and the test-module
// generator: modules are described in memory and written as XM bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xm {

struct Cell {
  uint8_t note = 0;  // 1..96, 97 key off
  uint8_t instrument = 0;
  uint8_t volume = 0;
  uint8_t effect = 0;
  uint8_t param = 0;
};

struct Pattern {
  int rows = 64;
  std::vector<Cell> cells;  // rows x channels, row after row; empty = all empty
  bool storeEmpty = false;  // write a packed size of 0 (no cell data)
  Cell& at(int row, int channel, int channels);
};

struct Sample {
  std::vector<int16_t> data;  // values; 8-bit samples use the high byte
  bool sixteenBit = true;
  uint8_t loopType = 0;     // type byte bits 0..1: 1 forward, 2 ping-pong
  uint32_t loopStart = 0;   // frames
  uint32_t loopLength = 0;  // frames
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t panning = 128;
  int8_t relativeNote = 0;
  // Raw byte lengths written to the header instead of the real ones, for
  // lying headers; the data written is still `data`.
  int64_t headerLengthBytes = -1;
  std::string name = "sample";  // up to 22 characters
};

struct Envelope {
  std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value)
  uint8_t sustain = 0, loopStart = 0, loopEnd = 0;
  uint8_t type = 0;        // bit 0 on, 1 sustain, 2 loop
  int countOverride = -1;  // written point count when >= 0
};

struct Instrument {
  std::vector<Sample> samples;
  uint8_t keymap[96] = {};
  Envelope volume, panning;
  int headerPadding = 0;  // extra bytes at the end of the header, counted in its size
  uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  uint16_t fadeout = 0;
  std::string name = "instrument";  // up to 22 characters
};

struct Module {
  std::string name = "test module";   // up to 20 characters
  std::string tracker = "xm_writer";  // up to 20 characters
  int channels = 4;
  std::vector<uint8_t> orders = {0};
  int songLengthOverride = -1;  // written song length when >= 0
  int restart = 0;
  bool linear = true;
  int tempo = 6;
  int bpm = 125;
  std::vector<Pattern> patterns;
  int patternCountOverride = -1;
  std::vector<Instrument> instruments;
  int instrumentCountOverride = -1;
  int headerPadding = 0;  // extra bytes after the order table, counted in the header size
};

std::vector<uint8_t> write(const Module& module);
bool writeFile(const Module& module, const std::string& path);

// One instrument with one sample mapped to every note.
Instrument simpleInstrument(Sample sample);
// A sample of `frames` values of a waveform: 0 sine, 1 saw, 2 square, 3 noise.
Sample waveSample(int waveform, uint32_t frames, int amplitude, bool sixteenBit, uint32_t seed = 1);

}  // namespace xm
