// The effect and volume-column commands, in their first-tick and other-tick
// forms, with the waveform, slide and portamento steps they share.
#include <cmath>

#include "music/player.h"
#include "render3d/maths.h"

namespace {

struct SineTable {
  uint8_t amplitude[64];  // indexed by position + 32
  SineTable() {
    const double angle = 2 * static_cast<double>(0.049087375f);
    for (int q = -32; q < 32; ++q) {
      amplitude[q + 32] = static_cast<uint8_t>(std::fabs(maths::sin(q * angle) * 256));
    }
  }
};
const SineTable sineTable;

void addVolume(Channel& c, int32_t amount) {
  if (amount > 0) {
    c.volume = c.volume + amount > 64 ? 64 : c.volume + amount;
  } else {
    c.volume = c.volume + amount < 0 ? 0 : c.volume + amount;
  }
  c.updateFlags |= requestVolume;
}

void vibratoStep(Channel& c) {
  int32_t waveform = c.waveControl & 3;
  if (waveform == 3) waveform = 2;
  const int32_t a = waveformAmplitude(c.vibratoPosition, waveform);
  const int32_t d = ((a * c.vibratoDepth) >> 5) & ~3;
  c.periodDelta = c.vibratoPosition < 0 ? d : -d;
  c.updateFlags |= requestFrequency;
}

int8_t advancePosition(int8_t position, uint8_t speed) {
  int32_t p = static_cast<int8_t>(static_cast<uint8_t>(position + speed));
  if (p > 31) p -= 64;
  return static_cast<int8_t>(p);
}

void vibratoAdvance(Channel& c) { c.vibratoPosition = advancePosition(c.vibratoPosition, c.vibratoSpeed); }

void tremoloStep(Channel& c) {
  int32_t waveform = (c.waveControl >> 4) & 3;
  if (waveform == 3) waveform = 0;
  const int32_t a = waveformAmplitude(c.tremoloPosition, waveform);
  int32_t delta = (a * c.tremoloDepth) >> 6;
  if (c.tremoloPosition >= 0) {
    if (c.volume + delta > 64) delta = 64 - c.volume;
  } else {
    if (static_cast<int16_t>(c.volume - delta) < 0) delta = c.volume;
    delta = -delta;
  }
  c.volumeDelta = delta;
  c.tremoloPosition = advancePosition(c.tremoloPosition, c.tremoloSpeed);
  c.updateFlags |= requestVolume;
}

void tremorStep(Channel& c) {
  if (c.tremorCounter >= c.tremorOn) c.volumeDelta = -c.volume;
  c.tremorCounter++;
  if (c.tremorCounter >= c.tremorOn + c.tremorOff) c.tremorCounter = 0;
  c.updateFlags |= requestVolume;
}

void tonePortamentoStep(Channel& c) {
  const int32_t speed = c.portaSpeed * 4;
  if (c.period < c.portaTarget) {
    c.period = c.period + speed > c.portaTarget ? c.portaTarget : c.period + speed;
  } else if (c.period > c.portaTarget) {
    c.period = c.period - speed < c.portaTarget ? c.portaTarget : c.period - speed;
  }
  c.updateFlags |= requestFrequency;
}

void volumeSlide(Channel& c, uint8_t memory) {
  if (memory >> 4) {
    addVolume(c, memory >> 4);
  } else {
    addVolume(c, -(memory & 15));
  }
}

}  // namespace

int32_t waveformAmplitude(int32_t position, int32_t waveform) {
  switch (waveform) {
    case 0:
      return sineTable.amplitude[(position & 63) ^ 32];
    case 1: {
      const int32_t ramp = (position * 8) & 255;
      return position >= 0 ? ramp : 255 - ramp;
    }
    default:
      return 255;
  }
}

void volumeColumnFirstTick(Channel& c, uint8_t v) {
  const int32_t y = v & 15;
  if (v >= 0x10 && v <= 0x50) {
    c.volume = v - 16;
    c.updateFlags |= requestVolume;
    return;
  }
  switch (v >> 4) {
    case 0x6:
    case 0x8:
      addVolume(c, -y);
      break;
    case 0x7:
    case 0x9:
      addVolume(c, y);
      break;
    case 0xA:
      c.vibratoSpeed = static_cast<uint8_t>(y);
      break;
    case 0xB:
      c.vibratoDepth = static_cast<uint8_t>(y);
      break;
    case 0xC:
      c.pan = y * 16;
      c.updateFlags |= requestPanning;
      break;
    case 0xD:
      c.pan -= y;
      c.updateFlags |= requestPanning;
      break;
    case 0xE:
      c.pan += y;
      c.updateFlags |= requestPanning;
      break;
    case 0xF:
      if (y != 0) c.portaSpeed = static_cast<uint8_t>(y * 16);
      c.portaTarget = c.notePeriod;
      c.updateFlags &= static_cast<uint8_t>(~requestTrigger);
      break;
    default:
      break;
  }
}

void volumeColumnOtherTick(Channel& c, uint8_t v) {
  const int32_t y = v & 15;
  switch (v >> 4) {
    case 0x6:
      addVolume(c, -y);
      break;
    case 0x7:
      addVolume(c, y);
      break;
    case 0xB:
      c.vibratoDepth = static_cast<uint8_t>(y);
      vibratoStep(c);
      vibratoAdvance(c);
      break;
    case 0xD:
      c.pan -= y;
      c.updateFlags |= requestPanning;
      break;
    case 0xE:
      c.pan += y;
      c.updateFlags |= requestPanning;
      break;
    case 0xF:
      tonePortamentoStep(c);
      break;
    default:
      break;
  }
}

void setVolumeEnvelopePosition(Channel& c, const Instrument& instrument, int32_t p) {
  const EnvelopePoint* points = instrument.volumeEnvelope;
  const int32_t n = instrument.volumePointCount;
  if (n < 1) return;
  int32_t j = n;
  if (n < 2 || p <= points[1].x) {
    j = 0;
  } else {
    for (int32_t k = 1; k + 1 < n; ++k) {
      if (p <= points[k + 1].x) {
        j = k;
        break;
      }
    }
  }
  c.volumeEnvelopePoint = j;
  if (j >= n - 1) {
    c.envelopeVolume = points[n - 1].y;
    c.volumeEnvelopeDone = 1;
    return;
  }
  c.volumeEnvelopeDone = 0;
  c.volumeEnvelopeTick = p;
  const int32_t dx = points[j + 1].x - points[j].x;
  c.volumeEnvelopeStep = dx != 0 ? (points[j + 1].y * 65536 - points[j].y * 65536) / dx : 0;
  // A position before the first point extrapolates backward, possibly past
  // what 32 bits hold; the value wraps like the envelope's own stepping.
  const int64_t value = int64_t{points[j].y} * 65536 + int64_t{p - points[j].x} * c.volumeEnvelopeStep;
  c.volumeEnvelopeValue = static_cast<int32_t>(static_cast<uint32_t>(value));
  c.volumeEnvelopePoint = j + 1;
  c.envelopeVolume = c.volumeEnvelopeValue >> 16;
}

void effectFirstTick(Channel& c, const PatternCell& cell, const Instrument& instrument, Sample* sample, Song* song,
                     bool& jumpGiven) {
  const uint8_t p = cell.param;
  const int32_t x = p >> 4;
  const int32_t y = p & 15;
  switch (cell.effect) {
    case 1:
      if (p) c.portaUpMemory = p;
      break;
    case 2:
      if (p) c.portaDownMemory = p;
      break;
    case 3:
      if (p) c.portaSpeed = p;
      c.portaTarget = c.notePeriod;
      c.updateFlags &= static_cast<uint8_t>(~(requestFrequency | requestTrigger));
      break;
    case 4:
      if (x) c.vibratoSpeed = static_cast<uint8_t>(x);
      if (y) c.vibratoDepth = static_cast<uint8_t>(y);
      vibratoStep(c);
      break;
    case 5:
      c.portaTarget = c.notePeriod;
      if (p) c.volumeSlideMemory = p;
      c.updateFlags &= static_cast<uint8_t>(~(requestFrequency | requestTrigger));
      break;
    case 6:
      if (p) c.volumeSlideMemory = p;
      vibratoStep(c);
      break;
    case 7:
      if (x) c.tremoloSpeed = static_cast<uint8_t>(x);
      if (y) c.tremoloDepth = static_cast<uint8_t>(y);
      break;
    case 8:
      c.pan = p;
      c.updateFlags |= requestPanning;
      break;
    case 9:
      if (p) c.sampleOffsetMemory = p;
      if (c.voice) {
        const uint64_t offset = static_cast<uint64_t>(c.sampleOffsetMemory) * 256;
        if (offset >= static_cast<uint64_t>(sample->loopStart) + sample->loopLength) {
          c.updateFlags &= static_cast<uint8_t>(~requestTrigger);
          c.updateFlags |= requestRestart;
        } else {
          c.voice->startOffset = static_cast<uint32_t>(offset);
        }
      }
      break;
    case 10:
      if (p) c.volumeSlideMemory = p;
      break;
    case 11:
      song->nextOrder = p >= song->songLength ? 0 : p;
      song->nextRow = 0;
      jumpGiven = true;
      break;
    case 12:
      c.volume = p;
      c.updateFlags |= requestVolume;
      break;
    case 13:
      song->nextRow = x * 10 + y;
      if (song->nextRow > 63) song->nextRow = 0;
      if (!jumpGiven) song->nextOrder = song->order + 1;
      if (song->nextOrder >= song->songLength) song->nextOrder = 0;
      break;
    case 14:
      switch (x) {
        case 1:
          if (y) c.finePortaUpMemory = static_cast<uint8_t>(y);
          c.period -= c.finePortaUpMemory * 4;
          break;
        case 2:
          if (y) c.finePortaDownMemory = static_cast<uint8_t>(y);
          c.period += c.finePortaDownMemory * 4;
          break;
        case 4:
          c.waveControl = static_cast<uint8_t>((c.waveControl & 0xF0) | y);
          break;
        case 5:
          // The empty sample is shared by every song and stays untouched.
          if (sample != &emptySample) sample->finetune = static_cast<int8_t>(y);
          break;
        case 6:
          if (y == 0) {
            c.loopRow = song->row;
          } else {
            c.loopCounter = c.loopCounter == 0 ? y : c.loopCounter - 1;
            if (c.loopCounter != 0) song->nextRow = c.loopRow;
          }
          break;
        case 7:
          c.waveControl = static_cast<uint8_t>((c.waveControl & 0x0F) | (y << 4));
          break;
        case 8:
          c.pan = y * 16;
          c.updateFlags |= requestPanning;
          break;
        case 10:
          if (y) c.fineVolumeMemory = static_cast<uint8_t>(y);
          addVolume(c, c.fineVolumeMemory);
          break;
        case 11:
          if (y) c.fineVolumeMemory = static_cast<uint8_t>(y);
          addVolume(c, -c.fineVolumeMemory);
          break;
        case 13:
          c.period = c.savedPeriod;
          c.volume = c.savedVolume;
          c.pan = c.savedPan;
          c.updateFlags &= static_cast<uint8_t>(~(requestFrequency | requestVolume | requestPanning | requestTrigger));
          break;
        case 14:
          song->patternDelay = y * song->speed;
          break;
        default:
          break;
      }
      break;
    case 15:
      if (p < 32) {
        song->speed = p;
      } else {
        setBpm(song, p);
      }
      break;
    case 16:
      song->globalVolume = p > 64 ? 64 : p;
      c.updateFlags |= requestVolume;
      break;
    case 17:
      if (p) song->globalVolumeSlideMemory = p;
      break;
    case 21:
      if (instrument.volumeType & 1) setVolumeEnvelopePosition(c, instrument, p);
      break;
    case 25:
      if (p) {
        c.panningSlideMemory = p;
        c.updateFlags |= requestPanning;
      }
      break;
    case 27:
      if (p) {
        c.retrigVolumeType = static_cast<uint8_t>(x);
        c.retrigInterval = static_cast<uint8_t>(y);
      }
      break;
    case 29:
      if (p) {
        c.tremorOn = static_cast<uint8_t>(x + 1);
        c.tremorOff = static_cast<uint8_t>(y + 1);
      }
      tremorStep(c);
      break;
    case 33:
      if (x == 1) {
        if (y) c.extraFineUpMemory = static_cast<uint8_t>(y);
        c.period -= c.extraFineUpMemory;
      } else if (x == 2) {
        if (y) c.extraFineDownMemory = static_cast<uint8_t>(y);
        c.period += c.extraFineDownMemory;
      }
      break;
    default:
      break;
  }
}

void effectOtherTick(Channel& c, const PatternCell& cell, Sample* sample, Song* song) {
  const uint8_t p = cell.param;
  const int32_t x = p >> 4;
  const int32_t y = p & 15;
  const int32_t tick = song->tick;
  switch (cell.effect) {
    case 0:
      if (p) {
        const int32_t step = tick % 3;
        const int32_t n = step == 0 ? 0 : step == 1 ? x : y;
        if (song->flags & 1) {
          c.periodDelta = n * 64;
        } else {
          c.periodDelta = amigaPeriod(c.realNote + n, sample->finetune) - amigaPeriod(c.realNote, sample->finetune);
        }
        c.updateFlags |= requestFrequency;
      }
      break;
    case 1:
      c.period -= c.portaUpMemory * 4;
      if (c.period < 56) c.period = 56;
      c.updateFlags |= requestFrequency;
      break;
    case 2:
      c.period += c.portaDownMemory * 4;
      c.updateFlags |= requestFrequency;
      break;
    case 3:
      tonePortamentoStep(c);
      break;
    case 4:
      vibratoStep(c);
      vibratoAdvance(c);
      break;
    case 5:
      tonePortamentoStep(c);
      volumeSlide(c, c.volumeSlideMemory);
      break;
    case 6:
      vibratoStep(c);
      vibratoAdvance(c);
      volumeSlide(c, c.volumeSlideMemory);
      break;
    case 7:
      tremoloStep(c);
      break;
    case 10:
      volumeSlide(c, c.volumeSlideMemory);
      break;
    case 14:
      if (x == 9) {
        if (y != 0 && tick % y == 0) c.updateFlags |= requestTrigger | requestVolume | requestFrequency;
      } else if (x == 12) {
        if (tick == y) {
          c.volume = 0;
          c.updateFlags |= requestVolume;
        }
      } else if (x == 13) {
        if (tick == y) {
          startInstrument(c, sample);
          c.period = c.notePeriod;
          c.updateFlags |= requestFrequency;
          if (cell.volume != 0) volumeColumnFirstTick(c, cell.volume);
          c.updateFlags |= requestTrigger;
        } else {
          c.updateFlags &= static_cast<uint8_t>(~(requestFrequency | requestVolume | requestPanning | requestTrigger));
        }
      }
      break;
    case 17: {
      const uint8_t m = song->globalVolumeSlideMemory;
      if (m >> 4) {
        song->globalVolume = song->globalVolume + (m >> 4) > 64 ? 64 : song->globalVolume + (m >> 4);
      } else {
        song->globalVolume = song->globalVolume - (m & 15) < 0 ? 0 : song->globalVolume - (m & 15);
      }
      break;
    }
    case 25: {
      const uint8_t m = c.panningSlideMemory;
      if (m >> 4) {
        c.pan = c.pan + (m >> 4) > 255 ? 255 : c.pan + (m >> 4);
      } else {
        c.pan = c.pan - (m & 15) < 0 ? 0 : c.pan - (m & 15);
      }
      c.updateFlags |= requestPanning;
      break;
    }
    case 27:
      if (c.retrigInterval != 0 && tick % c.retrigInterval == 0) {
        const int32_t type = c.retrigVolumeType;
        int32_t v = c.volume;
        switch (type) {
          case 1:
            v -= 1;
            break;
          case 2:
            v -= 2;
            break;
          case 3:
            v -= 4;
            break;
          case 4:
            v -= 8;
            break;
          case 5:
            v -= 16;
            break;
          case 6:
            v = v * 2 / 3;
            break;
          case 7:
            v >>= 1;
            break;
          case 9:
            v += 1;
            break;
          case 10:
            v += 2;
            break;
          case 11:
            v += 4;
            break;
          case 12:
            v += 8;
            break;
          case 13:
            v += 16;
            break;
          case 14:
            v = v * 3 / 2;
            break;
          case 15:
            v *= 2;
            break;
          default:
            break;
        }
        if (type != 0) {
          c.volume = v < 0 ? 0 : v > 64 ? 64 : v;
          c.updateFlags |= requestVolume;
        }
        c.updateFlags |= requestTrigger;
      }
      break;
    case 29:
      tremorStep(c);
      break;
    default:
      break;
  }
}
