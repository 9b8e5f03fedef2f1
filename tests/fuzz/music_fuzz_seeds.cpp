// Writes small seed modules for the music fuzzer into a directory: every
// effect and volume-column command with a few parameters, envelopes with
// sustain and loops, each auto-vibrato waveform, both frequency tables and
// every loop kind.
//   music_fuzz_seeds DIRECTORY
#include <cstdio>
#include <string>

#include "tools/make_test_modules/xm_writer.h"

namespace {

xm::Instrument seedInstrument(int variant) {
  xm::Sample s = xm::waveSample(variant % 4, 24 + 8 * static_cast<uint32_t>(variant % 3), 9000, variant % 2 == 0);
  s.loopType = static_cast<uint8_t>(variant % 3);
  s.loopStart = 4;
  s.loopLength = 12;
  s.relativeNote = static_cast<int8_t>(variant % 5 - 2);
  s.finetune = static_cast<int8_t>(variant * 37);
  xm::Instrument in = xm::simpleInstrument(s);
  in.volume.points = {{0, 64}, {4, 20}, {8, 48}, {12, 0}};
  in.volume.type = static_cast<uint8_t>(variant % 8 | 1);
  in.volume.sustain = 1;
  in.volume.loopStart = 1;
  in.volume.loopEnd = 2;
  in.panning.points = {{0, 0}, {6, 64}, {9, 32}};
  in.panning.type = static_cast<uint8_t>((variant + 1) % 8);
  in.panning.loopEnd = 2;
  in.vibratoType = static_cast<uint8_t>(variant % 5);
  in.vibratoSweep = static_cast<uint8_t>(variant * 3);
  in.vibratoDepth = 8;
  in.vibratoRate = 40;
  in.fadeout = static_cast<uint16_t>(variant * 700);
  return in;
}

xm::Module seedModule(int effect, int variant) {
  xm::Module m;
  m.channels = 2;
  m.linear = variant % 2 == 0;
  m.tempo = 3;
  m.orders = {0, 1, 0};
  m.restart = 1;
  const uint8_t params[] = {0x00, 0x12, 0xF1, 0x43, 0x0F, 0xA5, 0x61, 0x3C};
  const uint8_t volumes[] = {0x00, 0x30, 0x62, 0x75, 0x83, 0x94, 0xA4, 0xB6, 0xC8, 0xD3, 0xE5, 0xF2, 0x55, 0x05};
  for (int p = 0; p < 2; ++p) {
    xm::Pattern pattern;
    pattern.rows = 16;
    pattern.cells.resize(static_cast<size_t>(pattern.rows * m.channels));
    for (int row = 0; row < pattern.rows; ++row) {
      for (int c = 0; c < m.channels; ++c) {
        xm::Cell& cell = pattern.at(row, c, m.channels);
        if ((row + c) % 4 == 0) cell.note = static_cast<uint8_t>(30 + row + 12 * c);
        if (row == 11) cell.note = 97;
        if ((row + c) % 5 == 0) cell.instrument = static_cast<uint8_t>(1 + (row + c) % 2);
        cell.volume = volumes[(row + c + variant) % 14];
        cell.effect = static_cast<uint8_t>(effect);
        cell.param = params[(row + variant) % 8];
        if (effect == 14) cell.param = static_cast<uint8_t>((row << 4) | ((row + variant) % 4));
      }
    }
    m.patterns.push_back(pattern);
  }
  m.instruments.push_back(seedInstrument(variant));
  m.instruments.push_back(seedInstrument(variant + 1));
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: music_fuzz_seeds DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (int effect = 0; effect < 36; ++effect) {
    for (int variant = 0; variant < 2; ++variant) {
      const std::string path = dir + "/seed_" + std::to_string(effect) + "_" + std::to_string(variant) + ".xm";
      if (!xm::writeFile(seedModule(effect, variant), path)) {
        std::fprintf(stderr, "music_fuzz_seeds: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
