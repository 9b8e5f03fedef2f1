// The row and tick playback engine: reads pattern rows, starts instruments,
// steps envelopes and auto-vibrato, and pushes each channel to its voice.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "music/player.h"
#include "render3d/maths.h"

Voice voices[voiceCount];
Channel channels[maxChannels];

namespace {

const PatternCell emptyRow[maxChannels] = {};

int32_t playedChannels(const Song* song) { return song->channelCount < maxChannels ? song->channelCount : maxChannels; }

// The instrument a channel's instrument number names, or the empty one.
const Instrument& channelInstrument(const Song* song, const Channel& channel) {
  if (channel.instrument < song->instrumentCount) return song->instruments[channel.instrument];
  return emptyInstrument;
}

Sample* keymapSample(const Instrument& instrument, uint8_t note) {
  uint8_t slot = instrument.keymap[note < 96 ? note : 95];
  Sample* sample = slot < 16 ? instrument.samples[slot] : nullptr;
  return sample ? sample : &emptySample;
}

EnvelopeState volumeEnvelope(Channel& c, const Instrument& in) {
  return {c.volumeEnvelopeTick, c.volumeEnvelopePoint, c.volumeEnvelopeValue, c.envelopeVolume, c.volumeEnvelopeStep,
          c.volumeEnvelopeDone, in.volumeEnvelope,     in.volumePointCount,   in.volumeSustain, in.volumeLoopStart,
          in.volumeLoopEnd,     in.volumeType,         requestVolume};
}

EnvelopeState panningEnvelope(Channel& c, const Instrument& in) {
  return {c.panningEnvelopeTick, c.panningEnvelopePoint, c.panningEnvelopeValue, c.envelopePanning,
          c.panningEnvelopeStep, c.panningEnvelopeDone,  in.panningEnvelope,     in.panningPointCount,
          in.panningSustain,     in.panningLoopStart,    in.panningLoopEnd,      in.panningType,
          requestPanning};
}

void stepEnvelopesAndFadeout(Channel& channel, const Instrument& instrument) {
  if ((instrument.volumeType & 1) && !channel.volumeEnvelopeDone)
    stepEnvelope(channel, volumeEnvelope(channel, instrument));
  if ((instrument.panningType & 1) && !channel.panningEnvelopeDone) {
    stepEnvelope(channel, panningEnvelope(channel, instrument));
  }
  if (channel.keyOff) {
    channel.fadeoutVolume -= instrument.fadeout;
    if (channel.fadeoutVolume < 0) channel.fadeoutVolume = 0;
    channel.updateFlags |= requestVolume;
  }
}

// Auto-vibrato waveform, 256 positions per cycle.
struct AutoVibratoTable {
  int8_t sine[256];
  AutoVibratoTable() {
    for (int p = 0; p < 256; ++p) sine[p] = static_cast<int8_t>(maths::sin(p * 0.0245436877) * 64);
  }
};
const AutoVibratoTable autoVibratoTable;

}  // namespace

const PatternCell* patternRow(const Song* song, const Pattern& pattern, int32_t row) {
  if (!pattern.cells || row < 0 || row >= pattern.rowCount) return emptyRow;
  return pattern.cells + static_cast<int64_t>(row) * song->channelCount;
}

void setBpm(Song* song, int32_t bpm) {
  if (bpm < 1) bpm = 1;
  song->bpm = bpm;
  // Single precision throughout, like the constants: BPM 42 gives 2624
  // frames, where a double computation would reach 2625.
  const float frames = 1000 / (static_cast<float>(bpm) * 0.4f) * static_cast<float>(mixRate) * 0.001f;
  song->framesPerTick = frames < 1 ? 1 : static_cast<int32_t>(frames);
}

void resetPlayback(Song* song) {
  computeMixSizes(mixRate, player.blockFrames, player.ringFrames, player.rampFrames);
  std::memset(voices, 0, sizeof(voices));
  for (int32_t i = 0; i < voiceCount; ++i) voices[i].index = i;
  song->speed = song->defaultTempo;
  song->globalVolume = song->defaultGlobalVolume;
  song->globalVolumeSlideMemory = 0;
  song->row = 0;
  song->order = 0;
  song->nextOrder = -1;
  song->nextRow = -1;
  song->framesLeftInTick = 0;
  song->tick = 0;
  song->patternDelay = 0;
  setBpm(song, song->defaultBpm);
  std::memset(channels, 0, sizeof(channels));
  for (int32_t i = 0; i < maxChannels; ++i) channels[i].voice = &voices[i];
}

void tickSong(Song* song) {
  if (song->tick != 0) {
    processTick(song);
  } else {
    if (song->nextOrder >= 0) song->order = song->nextOrder;
    if (song->nextRow >= 0) song->row = song->nextRow;
    if (song->order < 0 || song->order >= song->songLength) song->order = 0;
    const Pattern& pattern = song->patterns[song->orderTable[song->order]];
    // A break or loop into a row this pattern does not have starts it from
    // its first row.
    if (song->row < 0 || song->row >= pattern.rowCount) song->row = 0;
    processRow(song);
    if (song->nextRow == -1) {
      song->nextRow = song->row + 1;
      if (song->nextRow >= pattern.rowCount) {
        song->nextOrder = song->order + 1;
        if (song->nextOrder >= song->songLength) song->nextOrder = song->restartPosition;
        song->nextRow = 0;
      }
    }
  }
  song->tick++;
  if (song->tick >= song->speed + song->patternDelay) {
    song->patternDelay = 0;
    song->tick = 0;
  }
}

void processRow(Song* song) {
  song->nextOrder = -1;
  song->nextRow = -1;
  const Pattern& pattern = song->patterns[song->orderTable[song->order]];
  const PatternCell* cells = patternRow(song, pattern, song->row);
  const bool linear = song->flags & 1;
  bool jumpGiven = false;
  for (int32_t c = 0; c < playedChannels(song); ++c) {
    Channel& channel = channels[c];
    const PatternCell& cell = cells[c];
    const bool portamentoRow = cell.effect == 3 || cell.effect == 5;
    const bool hasNote = cell.note != 0 && cell.note != 255;
    if (cell.instrument != 0 && !portamentoRow) channel.instrument = static_cast<uint8_t>(cell.instrument - 1);
    if (hasNote && !portamentoRow) channel.note = static_cast<uint8_t>(cell.note - 1);

    const Instrument* instrument = &emptyInstrument;
    Sample* sample = &emptySample;
    if (channel.instrument < song->instrumentCount) {
      instrument = &song->instruments[channel.instrument];
      sample = keymapSample(*instrument, channel.note);
      if (!portamentoRow) channel.sample = sample;
    }

    channel.savedPeriod = channel.period;
    channel.savedVolume = channel.volume;
    channel.savedPan = channel.pan;

    if (channel.previousEffect == 7 && cell.effect != 7) channel.volume += channel.volumeDelta;
    channel.previousEffect = cell.effect;
    channel.volumeDelta = 0;
    channel.updateFlags = 0;

    if (hasNote) {
      channel.realNote = static_cast<uint8_t>(cell.note + sample->relativeNote - 1);
      if (linear) {
        channel.notePeriod = 7680 - channel.realNote * 64 - sample->finetune / 2;
      } else {
        channel.notePeriod = amigaPeriod(channel.realNote, sample->finetune);
      }
      if (!portamentoRow) channel.period = channel.notePeriod;
      channel.updateFlags = requestTrigger;
    }
    channel.periodDelta = 0;
    channel.updateFlags |= requestFrequency | requestVolume;

    if (cell.instrument != 0) startInstrument(channel, sample);
    if (cell.volume != 0) volumeColumnFirstTick(channel, cell.volume);
    if (cell.note == 255 || cell.effect == 20) channel.keyOff = 1;

    if (instrument->volumeType & 1) {
      if (!channel.volumeEnvelopeDone) stepEnvelope(channel, volumeEnvelope(channel, *instrument));
    } else if (channel.keyOff) {
      channel.envelopeVolume = 0;  // key off cuts an instrument without volume envelope
    }
    if ((instrument->panningType & 1) && !channel.panningEnvelopeDone) {
      stepEnvelope(channel, panningEnvelope(channel, *instrument));
    }
    if (channel.keyOff) {
      channel.fadeoutVolume -= instrument->fadeout;
      if (channel.fadeoutVolume < 0) channel.fadeoutVolume = 0;
      channel.updateFlags |= requestVolume;
    }

    effectFirstTick(channel, cell, *instrument, sample, song, jumpGiven);
    stepAutoVibrato(channel, *instrument);
    updateVoice(channel, sample, song);
  }
}

void processTick(Song* song) {
  const Pattern& pattern = song->patterns[song->orderTable[song->order]];
  const PatternCell* cells = patternRow(song, pattern, song->row);
  for (int32_t c = 0; c < playedChannels(song); ++c) {
    Channel& channel = channels[c];
    const PatternCell& cell = cells[c];
    const Instrument& instrument = channelInstrument(song, channel);
    Sample* sample = channel.instrument < song->instrumentCount ? keymapSample(instrument, channel.note) : &emptySample;
    channel.volumeDelta = 0;
    channel.periodDelta = 0;
    channel.updateFlags = 0;
    stepEnvelopesAndFadeout(channel, instrument);
    if (cell.volume >= 0x60) volumeColumnOtherTick(channel, cell.volume);
    effectOtherTick(channel, cell, sample, song);
    stepAutoVibrato(channel, instrument);
    updateVoice(channel, sample, song);
  }
}

void startInstrument(Channel& channel, Sample* sample) {
  channel.volume = sample->volume;
  channel.pan = sample->panning;
  channel.envelopeVolume = 64;
  channel.envelopePanning = 32;
  channel.volumeEnvelopeTick = channel.volumeEnvelopePoint = channel.volumeEnvelopeStep = 0;
  channel.panningEnvelopeTick = channel.panningEnvelopePoint = channel.panningEnvelopeStep = 0;
  channel.volumeEnvelopeDone = channel.panningEnvelopeDone = 0;
  channel.keyOff = 0;
  channel.fadeoutVolume = 65536;
  channel.autoVibratoPosition = channel.autoVibratoSweepPosition = 0;
  if ((channel.waveControl & 0x0F) < 4) channel.vibratoPosition = 0;
  if ((channel.waveControl >> 4) < 4) channel.tremoloPosition = 0;
  channel.tremorCounter = 0;
  channel.updateFlags |= requestVolume | requestPanning;
}

void stepEnvelope(Channel& channel, EnvelopeState e) {
  if (e.point < e.pointCount) {
    if (e.tick == e.points[e.point].x) {
      if ((e.type & 4) && e.point == e.loopEnd) {
        e.point = e.loopStart;
        e.tick = e.points[e.point].x;
      }
      const EnvelopePoint& here = e.points[e.point];
      if (e.point == e.pointCount - 1) {
        e.current = here.y;
        e.done = 1;
        channel.updateFlags |= e.request;
        return;
      }
      if ((e.type & 2) && e.point == e.sustain && !channel.keyOff) {
        e.current = here.y;
        channel.updateFlags |= e.request;
        return;
      }
      const EnvelopePoint& next = e.points[e.point + 1];
      const int32_t dx = next.x - here.x;
      e.step = dx != 0 ? (next.y * 65536 - here.y * 65536) / dx : 0;
      e.value = here.y * 65536;
      e.point++;
    } else {
      e.value = static_cast<int32_t>(static_cast<uint32_t>(e.value) + static_cast<uint32_t>(e.step));
    }
  }
  e.current = static_cast<int16_t>(e.value >> 16);
  e.tick++;
  channel.updateFlags |= e.request;
}

void stepAutoVibrato(Channel& channel, const Instrument& instrument) {
  const int32_t p = channel.autoVibratoPosition & 255;
  int32_t w = 0;
  switch (instrument.vibratoType) {
    case 0:
      w = autoVibratoTable.sine[p];
      break;
    case 1:
      w = p < 128 ? 64 : -64;
      break;
    case 2:
      w = (128 - ((p + 128) & 255)) >> 1;
      break;
    case 3:
      w = (128 - ((384 - p) & 255)) >> 1;
      break;
    default:
      w = 0;
      break;  // no such waveform: no vibrato
  }
  int32_t a = w * instrument.vibratoDepth;
  if (instrument.vibratoSweep != 0) a = a * channel.autoVibratoSweepPosition / instrument.vibratoSweep;
  channel.periodDelta += a >> 6;
  if (channel.autoVibratoSweepPosition < instrument.vibratoSweep) channel.autoVibratoSweepPosition++;
  channel.autoVibratoPosition += instrument.vibratoRate;
  if (channel.autoVibratoPosition > 255) channel.autoVibratoPosition -= 256;
  channel.updateFlags |= requestFrequency;
}

namespace {
int32_t amigaBase(int32_t k) {
  return static_cast<int32_t>(maths::pow(2.0, (132 - k) * static_cast<double>(0.0833333358f)) * 13.375);
}
}  // namespace

int32_t amigaPeriod(int32_t note, int32_t finetune) {
  const int32_t base = amigaBase(note);
  if (finetune < 0 && note != 0) return base + (-finetune * (amigaBase(note - 1) - base)) / 128;
  return base - (finetune * (base - amigaBase(note + 1))) / 128;
}

void updateVoice(Channel& channel, Sample* sample, Song* song) {
  uint8_t flags = channel.updateFlags;
  const int64_t period = static_cast<int64_t>(channel.period) + channel.periodDelta;
  if (period == 0) flags &= static_cast<uint8_t>(~requestFrequency);

  if (flags & requestTrigger) {
    Voice* voice = channel.voice;
    if (voice->sample) {
      // The old sound fades out on its own voice while the new note starts on
      // the twin.
      Voice& twin = voices[voice->index < maxChannels ? voice->index + maxChannels : voice->index - maxChannels];
      const int32_t twinIndex = twin.index;
      twin = *voice;
      twin.index = twinIndex;
      voice->volume = 0;
      voice->targetLeft = 0;
      voice->targetRight = 0;
      channel.voice = &twin;
    }
    Voice& v = *channel.voice;
    v.sample = sample;
    if (static_cast<uint64_t>(v.startOffset) >= static_cast<uint64_t>(sample->loopStart) + sample->loopLength) {
      v.startOffset = 0;
    }
    v.position = v.startOffset;
    v.fraction = 0;
    v.direction = directionForward;
    v.startOffset = 0;
    v.rampLeft = v.rampRight = 0;
    v.rampFramesLeft = 0;
  }

  Voice& v = *channel.voice;
  if (flags & requestVolume) {
    const int64_t vol = (static_cast<int64_t>(channel.volume) + channel.volumeDelta) * channel.envelopeVolume *
                        channel.fadeoutVolume * song->globalVolume * 255 / (int64_t{1} << 35);
    v.targetLeft = static_cast<int32_t>(vol * v.pan / 255);
    v.targetRight = static_cast<int32_t>(vol * (255 - v.pan) / 255);
    v.volume = static_cast<int32_t>(vol);
  }
  if (flags & requestPanning) {
    const int64_t pan = channel.pan;
    int64_t p = pan + ((128 - std::llabs(pan - 128)) / 32) * (channel.envelopePanning - 32);
    if (p < 0) p = 0;
    if (p > 255) p = 255;
    v.targetLeft = static_cast<int32_t>(static_cast<int64_t>(v.volume) * p / 255);
    v.targetRight = static_cast<int32_t>(static_cast<int64_t>(v.volume) * (255 - p) / 255);
    v.pan = static_cast<int32_t>(p);
  }
  if (flags & requestFrequency) {
    double frequency;
    if (song->flags & 1) {
      // The exponent is a single-precision product, as the constant is;
      // only the power itself is taken in double.
      const float exponent = static_cast<float>(int64_t{4608} - channel.period + channel.periodDelta) * 0.0013020834f;
      frequency = 8363.0 * maths::exp2(static_cast<double>(exponent));
    } else {
      frequency = static_cast<double>(14317056 / period);
    }
    // Wrapped notes can ask for absurd pitches; keep the step representable.
    if (!(frequency < 2147483647.0)) frequency = 2147483647.0;
    uint32_t f = frequency < 100 ? 100 : static_cast<uint32_t>(frequency);
    v.stepInteger = f / mixRate;
    v.stepFraction = static_cast<uint32_t>((static_cast<uint64_t>(f % mixRate) << 32) / mixRate);
  }
  if (flags & requestRestart) {
    v.position = 0;
    v.fraction = 0;
    v.startOffset = 0;
    // A voice on the way back through a ping-pong loop would otherwise sit
    // before its loop moving away from it.
    v.direction = directionForward;
  }
}
