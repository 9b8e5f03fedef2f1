// The XM music player: the module loader, the file-access callbacks it reads
// through, the engine and the mixer that fill 16-bit stereo blocks, and
// real-time playback on the platform's audio device (playSong).
// The player prints nothing; failures are reported by results.
#pragma once

#include <cstdint>

// Output rate of the mixer and of every step the engine computes.
constexpr int32_t mixRate = 44100;

// One pattern cell, five bytes with no gaps.
struct PatternCell {
  uint8_t note;        // 0 none, 1..96 notes (1 the lowest), 255 key off
  uint8_t instrument;  // 0 none, else instrument number + 1
  uint8_t volume;      // volume-column byte
  uint8_t effect;      // 0..35
  uint8_t param;
};
static_assert(sizeof(PatternCell) == 5, "cells are packed five-byte records");

struct Pattern {
  int32_t rowCount;
  // rowCount x channelCount cells, row after row. Null for a pattern that has
  // no stored cells: every cell reads as empty (see patternRow).
  PatternCell* cells;
};

struct EnvelopePoint {
  uint16_t x;  // tick
  uint16_t y;  // value 0..64
};

struct Sample {
  int16_t* data;        // length + 8 values (malloc); null when length is 0
  uint32_t length;      // frames
  uint32_t loopStart;   // frames
  uint32_t loopLength;  // frames; equals length (loopStart 0) without a loop
  uint8_t volume;       // 0..64
  int8_t finetune;
  int32_t panning;   // 0..255
  uint8_t bits;      // 16 once loaded
  uint8_t loopMode;  // 1 none, 2 forward, 4 ping-pong (0 only in emptySample)
  int8_t relativeNote;
};

struct Instrument {
  int32_t sampleCount;  // 0..16
  Sample* samples[16];  // slots past sampleCount point to emptySample
  uint8_t keymap[96];
  EnvelopePoint volumeEnvelope[20];
  EnvelopePoint panningEnvelope[20];
  uint8_t volumePointCount;
  uint8_t panningPointCount;
  uint8_t volumeSustain;
  uint8_t volumeLoopStart;
  uint8_t volumeLoopEnd;
  uint8_t panningSustain;
  uint8_t panningLoopStart;
  uint8_t panningLoopEnd;
  uint8_t volumeType;   // bit 0 on, bit 1 sustain, bit 2 loop
  uint8_t panningType;  // same bits
  uint8_t vibratoType;
  uint8_t vibratoSweep;
  uint8_t vibratoDepth;
  uint8_t vibratoRate;
  uint16_t fadeout;
};

struct Song {
  Pattern* patterns;        // patternSlots entries
  Instrument* instruments;  // instrumentCount entries
  int32_t framesLeftInTick;
  int32_t framesPerTick;
  int16_t songLength;       // 1..256 once loaded
  int16_t restartPosition;  // below songLength once loaded
  int16_t channelCount;     // channels stored per row; the engine plays the first 32
  int32_t referencedPatterns;
  int32_t patternSlots;
  int16_t instrumentCount;
  uint16_t flags;  // bit 0: linear frequency table
  int16_t defaultTempo;
  int16_t defaultBpm;
  uint8_t orderTable[256];
  uint8_t defaultGlobalVolume;
  // Playback state, set by startSong.
  int32_t globalVolume;
  uint8_t globalVolumeSlideMemory;
  int32_t tick;
  int32_t speed;
  int32_t bpm;
  int32_t row;
  int32_t order;
  int32_t patternDelay;
  int32_t nextRow;
  int32_t nextOrder;
};

// The all-zero sample and instrument that stand in for missing ones.
extern Sample emptySample;
extern Instrument emptyInstrument;

// File access. The player reads files only through the registered set.
using FileOpen = void* (*)(const char* name);
using FileClose = void (*)(void* file);
using FileRead = void (*)(void* destination, int32_t count, void* file);
using FileSeek = void (*)(void* file, int32_t offset, int32_t origin);  // 0 start, 1 current, 2 end
using FileTell = int32_t (*)(void* file);

// Replaces the registered callbacks when all five are given; any null clears all.
void setFileCallbacks(FileOpen open, FileClose close, FileRead read, FileSeek seek, FileTell tell);

// Callbacks that read a whole file into memory at open and serve it from there.
struct MemoryFile {
  int32_t size = 0;
  int32_t position = 0;
  uint8_t* contents = nullptr;  // malloc
};
void* memoryFileOpen(const char* name);  // never null: a missing file is an empty one
void memoryFileClose(void* file);
void memoryFileRead(void* destination, int32_t count, void* file);
void memoryFileSeek(void* file, int32_t offset, int32_t origin);
int32_t memoryFileTell(void* file);

// Reads an XM module. Null when the file cannot be opened, no callbacks are
// registered, or the file is not a usable XM module.
Song* loadSong(const char* name);

// Stops the song if it is playing and releases it. False for a null song.
bool freeSong(Song* song);

// The portable half of starting playback: computes the mix sizes, clears the
// voices and channels, sets the song's playback state to its start, makes it
// the current song and allocates the ring and mix buffers. No device, no
// thread: fillBlock then renders the song block by block. False for null.
bool startSong(Song* song);

// Frames in one block of the ring (884 at 44100 Hz).
int32_t blockFrameCount();

// Runs the engine and the mixer for the block at the fill index, converts it
// into the ring, advances the index and returns the block's
// blockFrameCount() stereo frames (left sample first). Null when no song is
// current.
const int16_t* fillBlock();

// Starts the song on the audio device from its beginning: the whole ring
// (about two seconds) is mixed at once, then the audio thread keeps it filled
// while the device plays it in a loop. A song already playing restarts.
// False for a null song, or when no device can be opened (the song then
// stays current, silent). stopPlayback or freeSong ends it.
bool playSong(Song* song);

// Stops whatever is playing (ending the audio thread and closing the device
// first) and releases the buffers. False for a null song.
bool stopPlayback(Song* song);

// The bytes the audio device has played since playSong started it (16-bit
// stereo at mixRate, counted in 32 bits, so the count wraps); false while
// nothing plays. Read from the main thread while the music plays, to compare
// what is heard with what is shown.
bool playedBytes(uint32_t& bytes);

// Frames from the start of the song until playback first returns to a row it
// has already played (a pattern loop's repeats do not count), at most
// maxFrames. Runs the engine without mixing; it resets the song's playback
// state, so call it before startSong, not while the song plays.
int64_t measureSong(Song* song, int64_t maxFrames);
