// The player's internal state: voices, channels, the mix buffers and the
// engine and mixer entry points. Shared by the music library's own files, its
// tests and the audio backends.
#pragma once

#include <atomic>
#include <cstdint>

#include "music/music.h"

constexpr int32_t maxChannels = 32;
constexpr int32_t voiceCount = 64;

// Channel update requests, carried out by updateVoice at the end of a tick.
enum : uint8_t {
  requestFrequency = 1,
  requestVolume = 2,
  requestPanning = 4,
  requestTrigger = 8,
  requestRestart = 0x20,
};

enum : int32_t { directionForward = 1, directionBackward = 2 };

// One sound being mixed. Voice c and voice c + 32 belong to channel c.
struct Voice {
  int32_t index;
  int32_t volume;
  int32_t pan;
  uint32_t startOffset;
  Sample* sample;  // null: silent, skipped by the mixer
  int32_t targetLeft;
  int32_t targetRight;
  uint32_t position;
  uint32_t fraction;
  uint32_t stepFraction;
  uint32_t stepInteger;
  int32_t direction;
  int32_t lastTargetLeft;
  int32_t lastTargetRight;
  int32_t rampLeft;  // level x 256
  int32_t rampRight;
  float rampStepLeft;
  float rampStepRight;
  int32_t rampFramesLeft;
};

struct Channel {
  uint8_t note;
  uint8_t updateFlags;
  Voice* voice;
  Sample* sample;
  int32_t period;
  int32_t volume;
  int32_t pan;
  int32_t volumeDelta;
  int32_t periodDelta;
  int32_t volumeEnvelopeTick;
  int32_t volumeEnvelopePoint;
  int32_t volumeEnvelopeValue;
  int32_t envelopeVolume;
  int32_t volumeEnvelopeStep;
  uint8_t volumeEnvelopeDone;
  int32_t panningEnvelopeTick;
  int32_t panningEnvelopePoint;
  int32_t panningEnvelopeValue;
  int32_t envelopePanning;
  int32_t panningEnvelopeStep;
  uint8_t panningEnvelopeDone;
  int32_t fadeoutVolume;
  int32_t autoVibratoPosition;
  int32_t autoVibratoSweepPosition;
  uint8_t keyOff;
  uint8_t instrument;
  uint8_t realNote;
  int32_t notePeriod;
  uint8_t previousEffect;
  // Command memories and states.
  int32_t sampleOffsetMemory;
  uint8_t portaUpMemory;
  uint8_t portaDownMemory;
  uint8_t extraFineUpMemory;
  uint8_t extraFineDownMemory;
  uint8_t volumeSlideMemory;
  uint8_t panningSlideMemory;
  uint8_t retrigVolumeType;
  uint8_t retrigInterval;
  int32_t portaTarget;
  uint8_t portaSpeed;
  int8_t vibratoPosition;
  uint8_t vibratoSpeed;
  uint8_t vibratoDepth;
  int8_t tremoloPosition;
  uint8_t tremoloSpeed;
  uint8_t tremoloDepth;
  uint8_t tremorCounter;
  uint8_t tremorOn;
  uint8_t tremorOff;
  int32_t loopRow;
  int32_t loopCounter;
  uint8_t waveControl;
  uint8_t fineVolumeMemory;
  uint8_t finePortaUpMemory;
  uint8_t finePortaDownMemory;
  // Row-start values restored by a note delay.
  int32_t savedPeriod;
  int32_t savedVolume;
  int32_t savedPan;
};

// One envelope of a channel, as stepEnvelope sees it.
struct EnvelopeState {
  int32_t& tick;
  int32_t& point;
  int32_t& value;    // 16.16
  int32_t& current;  // envelopeVolume or envelopePanning
  int32_t& step;
  uint8_t& done;
  const EnvelopePoint* points;
  int32_t pointCount;
  int32_t sustain;
  int32_t loopStart;
  int32_t loopEnd;
  uint8_t type;
  uint8_t request;
};

// Process-wide playback state: one song plays at a time.
struct Player {
  Song* song = nullptr;
  int32_t blockFrames = 0;
  int32_t ringFrames = 0;
  int32_t rampFrames = 0;
  int16_t* ring = nullptr;  // ringFrames x 2 samples (malloc)
  void* mixAllocation = nullptr;
  float* mixBuffer = nullptr;  // ringFrames x 2 floats, 16-byte aligned inside mixAllocation
  int32_t fillIndex = 0;
  std::atomic<uint8_t> stopRequested{0};
  std::atomic<uint8_t> filling{0};
  std::atomic<uint8_t> threadFinished{1};
  // Blocks filled since playSong started, the pre-fill included. The audio
  // thread adds each block with release; a device that reads the ring on a
  // thread of its own loads the count with acquire before it copies, so that
  // it sees the samples of every block counted.
  std::atomic<uint32_t> blocksFilled{0};
  // The device side of stopPlayback, set by playSong while a device is open:
  // ends the audio thread and closes the device.
  void (*closeOutput)() = nullptr;
  // Blocks of the song before the one at the fill index: the song's frame at
  // the next block's start is songBlock x blockFrames. Only the thread that
  // fills touches it.
  uint32_t songBlock = 0;
  // The tick being played, as the last tickSong left it: order, row and the
  // tick's number in the row.
  int32_t tickOrder = 0;
  int32_t tickRow = 0;
  int32_t tickNumber = 0;
};

// What one ring block holds, noted by fillBlock before the block is handed
// to the device, read by heardPosition on another thread. A sequence lock
// without waiting: the writer makes `version` odd, writes, makes it even
// again; a reader retries when it saw an odd or changed version. Every field
// is an atomic so that the reads that are retried are not data races.
constexpr int32_t maxTickMarks = 4;  // ticks last 432 frames or more: at most 3 start in a block
struct TickMark {
  std::atomic<int32_t> offset;  // frames into the block
  std::atomic<int32_t> order;
  std::atomic<int32_t> row;
  std::atomic<int32_t> tick;
};
struct BlockRecord {
  std::atomic<uint32_t> version;
  std::atomic<uint32_t> songBlock;  // the block's number from the song's start
  std::atomic<int32_t> markCount;   // marks[0] is at offset 0: the tick playing at the block's start
  std::atomic<int32_t> voices;      // voices sounding at the block's end
  TickMark marks[maxTickMarks];
};
constexpr int32_t maxRingBlocks = 128;  // the ring has 100 at any rate
extern BlockRecord blockRecords[maxRingBlocks];

extern Player player;
extern Voice voices[voiceCount];
extern Channel channels[maxChannels];

constexpr int32_t ringMilliseconds = 1000;

// Sizes from the mix rate: block, ring and ramp frames.
void computeMixSizes(int32_t rate, int32_t& blockFrames, int32_t& ringFrames, int32_t& rampFrames);

// Playback state to the song's start: voices, channels and song fields
// (no buffers, no current song).
void resetPlayback(Song* song);

// Allocates the zeroed ring and mix buffer for the current sizes and sets the
// fill index to 0. False when memory runs out.
bool allocatePlaybackBuffers();

// Makes `song` current from its start: whatever played is stopped and the
// playback state reset. No buffers yet.
void makeSongCurrent(Song* song);

// Fills every block of the ring in order and counts them as filled: an output
// starts with music in the whole ring.
void fillWholeRing();

// Engine.
void setBpm(Song* song, int32_t bpm);
void tickSong(Song* song);
void processRow(Song* song);
void processTick(Song* song);
void updateVoice(Channel& channel, Sample* sample, Song* song);
void stepEnvelope(Channel& channel, EnvelopeState envelope);
void startInstrument(Channel& channel, Sample* sample);
void stepAutoVibrato(Channel& channel, const Instrument& instrument);
int32_t amigaPeriod(int32_t note, int32_t finetune);
// The cells of one row of a pattern (channelCount of them); all empty for a
// pattern without stored cells.
const PatternCell* patternRow(const Song* song, const Pattern& pattern, int32_t row);

// Commands.
void volumeColumnFirstTick(Channel& channel, uint8_t volume);
void volumeColumnOtherTick(Channel& channel, uint8_t volume);
void effectFirstTick(Channel& channel, const PatternCell& cell, const Instrument& instrument, Sample* sample,
                     Song* song, bool& jumpGiven);
void effectOtherTick(Channel& channel, const PatternCell& cell, Sample* sample, Song* song);
void setVolumeEnvelopePosition(Channel& channel, const Instrument& instrument, int32_t position);
int32_t waveformAmplitude(int32_t position, int32_t waveform);

// Mixer.
void mixVoices(float* destination, int32_t frameCount);
// Moves the voices on by `frameCount` frames as mixVoices would, with the
// same positions, loops, stops and volume ramps, but adds nothing anywhere.
void stepVoices(int32_t frameCount);
// Runs the engine and stepVoices through `blocks` whole blocks, as that many
// fillBlock calls would, without touching the ring or the records.
void passBlocks(Song* song, uint32_t blocks);
void convertBlock(int16_t* destination, const float* source, int32_t frameCount);
