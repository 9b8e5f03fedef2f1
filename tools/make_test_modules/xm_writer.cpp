#include "tools/make_test_modules/xm_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace xm {

namespace {

struct Out {
  std::vector<uint8_t> bytes;
  void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) {
    u8(v & 0xFF);
    u8((v >> 8) & 0xFF);
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void text(const char* s, size_t n) {
    size_t len = std::strlen(s);
    for (size_t i = 0; i < n; ++i) u8(i < len ? static_cast<uint8_t>(s[i]) : 0);
  }
  void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
};

void packCell(std::vector<uint8_t>& out, const Cell& c) {
  const bool all = c.note && c.instrument && c.volume && c.effect && c.param;
  if (all && c.note < 0x80) {
    out.insert(out.end(), {c.note, c.instrument, c.volume, c.effect, c.param});
    return;
  }
  uint8_t mask = 0x80;
  if (c.note) mask |= 1;
  if (c.instrument) mask |= 2;
  if (c.volume) mask |= 4;
  if (c.effect) mask |= 8;
  if (c.param) mask |= 16;
  out.push_back(mask);
  if (c.note) out.push_back(c.note);
  if (c.instrument) out.push_back(c.instrument);
  if (c.volume) out.push_back(c.volume);
  if (c.effect) out.push_back(c.effect);
  if (c.param) out.push_back(c.param);
}

void envelopePoints(Out& out, const Envelope& e) {
  for (size_t i = 0; i < 12; ++i) {
    if (i < e.points.size()) {
      out.u16(e.points[i].first);
      out.u16(e.points[i].second);
    } else {
      out.u32(0);
    }
  }
}

// Appends `padding` bytes to the header whose size field sits at `sizeAt` and
// counts them in that size.
void padHeader(Out& out, size_t sizeAt, int padding) {
  if (padding <= 0) return;
  out.bytes.insert(out.bytes.end(), static_cast<size_t>(padding), 0xEE);
  uint32_t size = 0;
  for (int i = 3; i >= 0; --i) size = size << 8 | out.bytes[sizeAt + static_cast<size_t>(i)];
  size += static_cast<uint32_t>(padding);
  for (int i = 0; i < 4; ++i) out.bytes[sizeAt + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
}

}  // namespace

Cell& Pattern::at(int row, int channel, int channels) {
  if (cells.size() != static_cast<size_t>(rows * channels)) cells.resize(static_cast<size_t>(rows * channels));
  return cells[static_cast<size_t>(row * channels + channel)];
}

std::vector<uint8_t> write(const Module& m) {
  Out out;
  out.text("Extended Module: ", 17);
  out.text(m.name.c_str(), 20);
  out.u8(0x1A);
  out.text(m.tracker.c_str(), 20);
  out.u16(0x0104);
  out.u32(276);
  out.u16(m.songLengthOverride >= 0 ? static_cast<uint32_t>(m.songLengthOverride)
                                    : static_cast<uint32_t>(m.orders.size()));
  out.u16(static_cast<uint32_t>(m.restart));
  out.u16(static_cast<uint32_t>(m.channels));
  out.u16(m.patternCountOverride >= 0 ? static_cast<uint32_t>(m.patternCountOverride)
                                      : static_cast<uint32_t>(m.patterns.size()));
  out.u16(m.instrumentCountOverride >= 0 ? static_cast<uint32_t>(m.instrumentCountOverride)
                                         : static_cast<uint32_t>(m.instruments.size()));
  out.u16(m.linear ? 1 : 0);
  out.u16(static_cast<uint32_t>(m.tempo));
  out.u16(static_cast<uint32_t>(m.bpm));
  for (size_t i = 0; i < 256; ++i) out.u8(i < m.orders.size() ? m.orders[i] : 0);
  padHeader(out, 60, m.headerPadding);

  for (const Pattern& p : m.patterns) {
    std::vector<uint8_t> packed;
    if (!p.storeEmpty) {
      for (int i = 0; i < p.rows * m.channels; ++i) {
        Cell empty;
        packCell(packed, static_cast<size_t>(i) < p.cells.size() ? p.cells[static_cast<size_t>(i)] : empty);
      }
    }
    out.u32(9);
    out.u8(0);
    out.u16(static_cast<uint32_t>(p.rows));
    out.u16(static_cast<uint32_t>(packed.size()));
    out.bytes.insert(out.bytes.end(), packed.begin(), packed.end());
  }

  for (const Instrument& in : m.instruments) {
    const size_t instrumentStart = out.bytes.size();
    if (in.samples.empty()) {
      out.u32(29);
      out.text(in.name.c_str(), 22);
      out.u8(0);
      out.u16(0);
      padHeader(out, instrumentStart, in.headerPadding);
      continue;
    }
    out.u32(263);
    out.text(in.name.c_str(), 22);
    out.u8(0);
    out.u16(static_cast<uint32_t>(in.samples.size()));
    out.u32(40);
    for (uint8_t k : in.keymap) out.u8(k);
    envelopePoints(out, in.volume);
    envelopePoints(out, in.panning);
    out.u8(in.volume.countOverride >= 0 ? static_cast<uint32_t>(in.volume.countOverride)
                                        : static_cast<uint32_t>(in.volume.points.size()));
    out.u8(in.panning.countOverride >= 0 ? static_cast<uint32_t>(in.panning.countOverride)
                                         : static_cast<uint32_t>(in.panning.points.size()));
    out.u8(in.volume.sustain);
    out.u8(in.volume.loopStart);
    out.u8(in.volume.loopEnd);
    out.u8(in.panning.sustain);
    out.u8(in.panning.loopStart);
    out.u8(in.panning.loopEnd);
    out.u8(in.volume.type);
    out.u8(in.panning.type);
    out.u8(in.vibratoType);
    out.u8(in.vibratoSweep);
    out.u8(in.vibratoDepth);
    out.u8(in.vibratoRate);
    out.u16(in.fadeout);
    out.zeros(22);
    padHeader(out, instrumentStart, in.headerPadding);
    for (const Sample& s : in.samples) {
      const uint32_t bytesPerFrame = s.sixteenBit ? 2 : 1;
      const uint32_t length = static_cast<uint32_t>(s.data.size()) * bytesPerFrame;
      out.u32(s.headerLengthBytes >= 0 ? static_cast<uint32_t>(s.headerLengthBytes) : length);
      out.u32(s.loopStart * bytesPerFrame);
      out.u32(s.loopLength * bytesPerFrame);
      out.u8(s.volume);
      out.u8(static_cast<uint8_t>(s.finetune));
      out.u8(static_cast<uint32_t>(s.loopType | (s.sixteenBit ? 16 : 0)));
      out.u8(s.panning);
      out.u8(static_cast<uint8_t>(s.relativeNote));
      out.u8(0);
      out.text(s.name.c_str(), 22);
    }
    for (const Sample& s : in.samples) {
      int32_t previous = 0;
      for (int16_t value : s.data) {
        if (s.sixteenBit) {
          out.u16(static_cast<uint16_t>(value - previous));
          previous = value;
        } else {
          int32_t high = value >> 8;
          out.u8(static_cast<uint8_t>(high - previous));
          previous = high;
        }
      }
    }
  }
  return out.bytes;
}

bool writeFile(const Module& module, const std::string& path) {
  std::vector<uint8_t> bytes = write(module);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

Instrument simpleInstrument(Sample sample) {
  Instrument in;
  in.samples.push_back(std::move(sample));
  return in;
}

Sample waveSample(int waveform, uint32_t frames, int amplitude, bool sixteenBit, uint32_t seed) {
  Sample s;
  s.sixteenBit = sixteenBit;
  s.data.resize(frames);
  uint32_t state = seed;
  for (uint32_t i = 0; i < frames; ++i) {
    double phase = static_cast<double>(i) / frames;
    double v = 0;
    switch (waveform) {
      case 0:
        v = std::sin(phase * 2 * 3.14159265358979);
        break;
      case 1:
        v = 2 * phase - 1;
        break;
      case 2:
        v = phase < 0.5 ? 1 : -1;
        break;
      default:
        state = state * 1103515245u + 12345u;
        v = static_cast<double>((state >> 16) & 0x7FFF) / 16384.0 - 1;
        break;
    }
    int value = static_cast<int>(v * amplitude);
    if (!sixteenBit) value = (value / 256) * 256;
    s.data[i] = static_cast<int16_t>(value);
  }
  return s;
}

}  // namespace xm
