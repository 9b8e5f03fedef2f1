// XM module loading, the file callbacks and releasing a song.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "music/music.h"
#include "music/player.h"

Sample emptySample = {};
Instrument emptyInstrument = {};

namespace {

struct FileCallbacks {
  FileOpen open = nullptr;
  FileClose close = nullptr;
  FileRead read = nullptr;
  FileSeek seek = nullptr;
  FileTell tell = nullptr;
};
FileCallbacks callbacks;

// A stream over the registered callbacks that knows the file's size, so that
// it never asks for bytes past the end and can tell a cut-off file. Bytes
// past the end read as zero.
struct Reader {
  void* handle;
  int64_t size;
  int64_t position;
  bool truncated;  // a read asked for bytes past the end

  void seekTo(int64_t target) {
    if (target < 0) target = 0;
    if (target > size) target = size;
    position = target;
    callbacks.seek(handle, static_cast<int32_t>(position), 0);
  }
  void skip(int64_t count) { seekTo(position + count); }
  int64_t remaining() const { return size - position; }

  void read(void* destination, int64_t count) {
    std::memset(destination, 0, static_cast<size_t>(count));
    int64_t available = remaining() < count ? remaining() : count;
    if (available < count) truncated = true;
    if (available > 0) callbacks.read(destination, static_cast<int32_t>(available), handle);
    position += available;
  }
  uint8_t u8() {
    uint8_t b = 0;
    read(&b, 1);
    return b;
  }
  uint16_t u16() {
    uint8_t b[2];
    read(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  uint32_t u32() {
    uint8_t b[4];
    read(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
  }
};

// Keeps envelope indices inside the points the file gives, so that the
// envelope code never reads past them.
void sanitizeEnvelope(EnvelopePoint* points, uint8_t& count, uint8_t& sustain, uint8_t& loopStart, uint8_t& loopEnd,
                      uint8_t& type) {
  if (count > 12) count = 12;
  // Ticks run forward: a point placed before its predecessor could never be
  // reached, so the envelope ends before it. Values stay on the 0..64 scale.
  for (uint8_t i = 1; i < count; ++i) {
    if (points[i].x < points[i - 1].x) {
      count = i;
      break;
    }
  }
  for (int i = 0; i < 12; ++i) {
    if (points[i].y > 64) points[i].y = 64;
  }
  if (count < 2) {
    type = 0;
    return;
  }
  if (sustain >= count) type &= static_cast<uint8_t>(~2u);
  // A loop start after the loop end is a forward jump and plays; only points
  // the envelope does not have are refused.
  if (loopStart >= count || loopEnd >= count) type &= static_cast<uint8_t>(~4u);
}

bool readPatterns(Reader& in, Song* song, int32_t storedPatterns) {
  const int32_t channelCount = song->channelCount;
  for (int32_t n = 0; n < storedPatterns; ++n) {
    in.u32();  // header length: always taken as 9
    in.u8();   // packing type
    int32_t rowCount = in.u16();
    int32_t packedSize = in.u16();
    if (in.truncated) return false;
    // A pattern of no rows has nowhere to play; it becomes 64 empty rows like
    // a missing pattern.
    if (rowCount == 0) {
      rowCount = 64;
      packedSize = 0;
    }
    Pattern& pattern = song->patterns[n];
    pattern.rowCount = rowCount;
    if (packedSize == 0) continue;
    // Every cell takes at least one byte: a count the rest of the file cannot
    // hold is a cut-off or lying file, refused before anything is allocated.
    int64_t cellCount = static_cast<int64_t>(rowCount) * channelCount;
    if (cellCount > in.remaining()) return false;
    pattern.cells = static_cast<PatternCell*>(std::calloc(static_cast<size_t>(cellCount), sizeof(PatternCell)));
    if (!pattern.cells) return false;
    for (int64_t i = 0; i < cellCount; ++i) {
      PatternCell& cell = pattern.cells[i];
      uint8_t b = in.u8();
      if (b & 0x80) {
        if (b & 1) cell.note = in.u8();
        if (b & 2) cell.instrument = in.u8();
        if (b & 4) cell.volume = in.u8();
        if (b & 8) cell.effect = in.u8();
        if (b & 16) cell.param = in.u8();
      } else {
        cell.note = b;
        cell.instrument = in.u8();
        cell.volume = in.u8();
        cell.effect = in.u8();
        cell.param = in.u8();
      }
      if (cell.note == 97) cell.note = 255;
      // Notes past key off have no pitch: they read as no note.
      if (cell.note > 97 && cell.note != 255) cell.note = 0;
      if (cell.instrument > 128) cell.instrument = 0;
    }
    if (in.truncated) return false;
  }
  return true;
}

// Reads one instrument with its samples. Returns false when the file ended
// inside the instrument's headers; sample data cut short is kept, and the
// missing part is silence.
bool readInstrument(Reader& in, Instrument& instrument, bool& fatal) {
  const int64_t start = in.position;
  const int64_t headerEnd = start + in.u32();
  in.skip(23);
  uint32_t sampleCount = in.u16();
  if (in.truncated) return false;
  if (sampleCount > 16) {
    fatal = true;
    return false;
  }
  for (Sample*& slot : instrument.samples) slot = &emptySample;
  if (sampleCount == 0) {
    in.seekTo(headerEnd);
    return true;
  }
  in.u32();  // sample header size: always taken as 40
  in.read(instrument.keymap, 96);
  for (int i = 0; i < 12; ++i) {
    instrument.volumeEnvelope[i].x = in.u16();
    instrument.volumeEnvelope[i].y = in.u16();
  }
  for (int i = 0; i < 12; ++i) {
    instrument.panningEnvelope[i].x = in.u16();
    instrument.panningEnvelope[i].y = in.u16();
  }
  instrument.volumePointCount = in.u8();
  instrument.panningPointCount = in.u8();
  instrument.volumeSustain = in.u8();
  instrument.volumeLoopStart = in.u8();
  instrument.volumeLoopEnd = in.u8();
  instrument.panningSustain = in.u8();
  instrument.panningLoopStart = in.u8();
  instrument.panningLoopEnd = in.u8();
  instrument.volumeType = in.u8();
  instrument.panningType = in.u8();
  instrument.vibratoType = in.u8();
  instrument.vibratoSweep = in.u8();
  instrument.vibratoDepth = in.u8();
  instrument.vibratoRate = in.u8();
  instrument.fadeout = static_cast<uint16_t>(in.u16() * 2);
  if (in.truncated) return false;
  sanitizeEnvelope(instrument.volumeEnvelope, instrument.volumePointCount, instrument.volumeSustain,
                   instrument.volumeLoopStart, instrument.volumeLoopEnd, instrument.volumeType);
  sanitizeEnvelope(instrument.panningEnvelope, instrument.panningPointCount, instrument.panningSustain,
                   instrument.panningLoopStart, instrument.panningLoopEnd, instrument.panningType);
  in.seekTo(headerEnd);

  uint32_t byteLengths[16];
  for (uint32_t s = 0; s < sampleCount; ++s) {
    Sample* sample = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
    if (!sample) {
      fatal = true;
      return false;
    }
    instrument.samples[s] = sample;
    instrument.sampleCount = static_cast<int32_t>(s + 1);
    byteLengths[s] = in.u32();
    sample->loopStart = in.u32();
    sample->loopLength = in.u32();
    sample->volume = in.u8();
    sample->finetune = static_cast<int8_t>(in.u8());
    uint8_t type = in.u8();
    sample->loopMode = 1;
    sample->bits = 8;
    if (type & 1) sample->loopMode = 2;
    if (type & 2) sample->loopMode = 4;
    if (type & 16) sample->bits = 16;
    sample->panning = in.u8();
    sample->relativeNote = static_cast<int8_t>(in.u8());
    in.skip(23);
    sample->length = byteLengths[s];
  }
  if (in.truncated) return false;

  for (uint32_t s = 0; s < sampleCount; ++s) {
    Sample* sample = instrument.samples[s];
    const int64_t bytesPerFrame = sample->bits / 8;
    // The data cannot be longer than what is left of the file: a cut-off or
    // lying length gives a shorter sample, never a large allocation.
    int64_t frames = sample->length / bytesPerFrame;
    int64_t availableFrames = in.remaining() / bytesPerFrame;
    if (frames > availableFrames) {
      frames = availableFrames;
      in.truncated = true;
    }
    int64_t loopStart = sample->loopStart / bytesPerFrame;
    int64_t loopLength = sample->loopLength / bytesPerFrame;
    sample->length = static_cast<uint32_t>(frames);
    if (sample->loopMode == 1 || loopLength == 0 || loopStart >= frames) {
      sample->loopMode = 1;
      loopStart = 0;
      loopLength = frames;
    } else if (loopStart + loopLength > frames) {
      loopLength = frames - loopStart;
    }
    sample->loopStart = static_cast<uint32_t>(loopStart);
    sample->loopLength = static_cast<uint32_t>(loopLength);
    if (frames == 0) {
      sample->bits = 16;
      continue;
    }
    int16_t* data = static_cast<int16_t*>(std::calloc(static_cast<size_t>(frames) + 8, sizeof(int16_t)));
    if (!data) {
      fatal = true;
      return false;
    }
    sample->data = data;
    uint16_t sum = 0;
    if (sample->bits == 8) {
      // Read into the upper half of the buffer, then widen downward in place.
      uint8_t* bytes = reinterpret_cast<uint8_t*>(data) + frames;
      in.read(bytes, frames);
      for (int64_t i = 0; i < frames; ++i) {
        sum = static_cast<uint16_t>(sum + (bytes[i] << 8));
        data[i] = static_cast<int16_t>(sum);
      }
    } else {
      uint8_t* bytes = reinterpret_cast<uint8_t*>(data);
      in.read(bytes, frames * 2);
      for (int64_t i = 0; i < frames; ++i) {
        sum = static_cast<uint16_t>(sum + (bytes[2 * i] | (bytes[2 * i + 1] << 8)));
        data[i] = static_cast<int16_t>(sum);
      }
    }
    sample->bits = 16;
    const uint32_t loopEnd = sample->loopStart + sample->loopLength;
    if (sample->loopMode == 2) data[loopEnd] = data[sample->loopStart];
    if (sample->loopMode == 4) data[loopEnd] = data[loopEnd - 1];
  }
  return true;
}

bool readSong(Reader& in, Song* song) {
  static const char signature[] = "Extended Module: ";
  char header[17];
  in.seekTo(0);
  in.read(header, 17);
  if (std::memcmp(header, signature, 17) != 0) return false;
  in.read(song->title, 20);
  song->title[20] = 0;
  for (int32_t i = 19; i >= 0 && (song->title[i] == ' ' || song->title[i] == 0); --i) song->title[i] = 0;
  song->defaultGlobalVolume = 64;

  in.seekTo(60);
  const int64_t headerSize = in.u32();
  song->songLength = static_cast<int16_t>(in.u16());
  song->restartPosition = static_cast<int16_t>(in.u16());
  song->channelCount = static_cast<int16_t>(in.u16());
  const int32_t storedPatterns = in.u16();
  song->instrumentCount = static_cast<int16_t>(in.u16());
  song->flags = in.u16();
  song->defaultTempo = static_cast<int16_t>(in.u16());
  song->defaultBpm = static_cast<int16_t>(in.u16());
  in.read(song->orderTable, 256);
  if (in.truncated) return false;
  in.seekTo(60 + headerSize);

  // Values the playback relies on, made to hold: at least one order and a
  // restart inside the order list, a tempo that moves time forward and a
  // channel count that patterns can be laid out with.
  if (song->channelCount < 1) return false;
  if (storedPatterns > 256) return false;
  if (song->songLength < 1) song->songLength = 1;
  if (song->songLength > 256) song->songLength = 256;
  if (song->restartPosition < 0 || song->restartPosition >= song->songLength) song->restartPosition = 0;
  if (song->defaultBpm < 1) song->defaultBpm = 125;
  if (song->defaultTempo < 0) song->defaultTempo = 0;
  // Instrument numbers in cells stop at 128; later instruments cannot play.
  if (song->instrumentCount > 128 || song->instrumentCount < 0) {
    song->instrumentCount = static_cast<int16_t>(song->instrumentCount < 0 ? 0 : 128);
  }

  song->referencedPatterns = 0;
  for (int32_t i = 0; i < song->songLength; ++i) {
    if (song->orderTable[i] + 1 > song->referencedPatterns) song->referencedPatterns = song->orderTable[i] + 1;
  }
  song->patternSlots = song->referencedPatterns > storedPatterns ? song->referencedPatterns : storedPatterns;
  song->patterns = static_cast<Pattern*>(std::calloc(static_cast<size_t>(song->patternSlots), sizeof(Pattern)));
  if (!song->patterns) return false;
  if (!readPatterns(in, song, storedPatterns)) return false;
  // Patterns named by the order table but not stored: 64 empty rows.
  for (int32_t n = storedPatterns; n < song->patternSlots; ++n) song->patterns[n].rowCount = 64;

  const int32_t instrumentCount = song->instrumentCount;
  song->instruments = static_cast<Instrument*>(
      std::calloc(static_cast<size_t>(instrumentCount ? instrumentCount : 1), sizeof(Instrument)));
  if (!song->instruments) return false;
  for (int32_t i = 0; i < instrumentCount; ++i) {
    bool fatal = false;
    if (!readInstrument(in, song->instruments[i], fatal)) {
      if (fatal) return false;
      // The file ends inside this instrument's headers: keep the instruments
      // before it and drop this one and the rest.
      Instrument& cut = song->instruments[i];
      for (int32_t s = 0; s < cut.sampleCount; ++s) std::free(cut.samples[s]);
      song->instrumentCount = static_cast<int16_t>(i);
      break;
    }
    if (in.truncated) {
      // Sample data ran past the end: nothing after it can be in the file.
      song->instrumentCount = static_cast<int16_t>(i + 1);
      break;
    }
  }
  return true;
}

void releaseSong(Song* song) {
  if (song->instruments) {
    for (int32_t i = 0; i < song->instrumentCount; ++i) {
      Instrument& instrument = song->instruments[i];
      for (int32_t s = 0; s < instrument.sampleCount; ++s) {
        if (instrument.samples[s] && instrument.samples[s] != &emptySample) {
          std::free(instrument.samples[s]->data);
          std::free(instrument.samples[s]);
        }
      }
    }
    std::free(song->instruments);
  }
  if (song->patterns) {
    for (int32_t n = 0; n < song->patternSlots; ++n) std::free(song->patterns[n].cells);
    std::free(song->patterns);
  }
  std::free(song);
}

}  // namespace

void setFileCallbacks(FileOpen open, FileClose close, FileRead read, FileSeek seek, FileTell tell) {
  if (open && close && read && seek && tell) {
    callbacks = {open, close, read, seek, tell};
  } else {
    callbacks = {};
  }
}

void* memoryFileOpen(const char* name) {
  MemoryFile* file = new MemoryFile;
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return file;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size > 0 && size <= 0x7FFFFFFF) {
      file->contents = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
      if (file->contents && std::fseek(f, 0, SEEK_SET) == 0) {
        file->size = static_cast<int32_t>(std::fread(file->contents, 1, static_cast<size_t>(size), f));
      }
    }
  }
  std::fclose(f);
  return file;
}

void memoryFileClose(void* file) {
  MemoryFile* memory = static_cast<MemoryFile*>(file);
  std::free(memory->contents);
  delete memory;
}

void memoryFileRead(void* destination, int32_t count, void* file) {
  MemoryFile* memory = static_cast<MemoryFile*>(file);
  if (count <= 0) return;
  if (static_cast<int64_t>(memory->position) + count >= memory->size) count = memory->size - memory->position;
  if (count <= 0) return;
  std::memcpy(destination, memory->contents + memory->position, static_cast<size_t>(count));
  memory->position += count;
}

void memoryFileSeek(void* file, int32_t offset, int32_t origin) {
  MemoryFile* memory = static_cast<MemoryFile*>(file);
  int64_t position = memory->position;
  if (origin == 0) position = offset;
  if (origin == 1) position += offset;
  if (origin == 2) position = static_cast<int64_t>(memory->size) + offset;
  if (position > memory->size) position = memory->size;
  if (position < 0) position = 0;
  memory->position = static_cast<int32_t>(position);
}

int32_t memoryFileTell(void* file) { return static_cast<MemoryFile*>(file)->position; }

Song* loadSong(const char* name) {
  if (!callbacks.open || !name) return nullptr;
  Song* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
  if (!song) return nullptr;
  void* handle = callbacks.open(name);
  if (!handle) {
    std::free(song);
    return nullptr;
  }
  Reader in{handle, 0, 0, false};
  callbacks.seek(handle, 0, 2);
  in.size = callbacks.tell(handle);
  if (in.size < 0) in.size = 0;
  callbacks.seek(handle, 0, 0);
  bool ok = readSong(in, song);
  callbacks.close(handle);
  if (!ok) {
    releaseSong(song);
    return nullptr;
  }
  return song;
}

bool freeSong(Song* song) {
  if (!song) return false;
  // The song may be playing: wait out a block fill, then stop it.
  while (player.filling.load()) {
  }
  if (player.song == song) stopPlayback(song);
  releaseSong(song);
  return true;
}
