// Shared helpers for the music tests: serve XM bytes through the player's
// file callbacks, and load modules built with the XM writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "music/music.h"
#include "music/player.h"
#include "tools/make_test_modules/xm_writer.h"

namespace testing_music {

// Callbacks that serve one in-memory byte vector under any name.
struct BytesFile {
  const std::vector<uint8_t>* bytes;
  int32_t position;
};
inline std::vector<uint8_t> served;
inline void* bytesOpen(const char*) { return new BytesFile{&served, 0}; }
inline void bytesClose(void* f) { delete static_cast<BytesFile*>(f); }
inline void bytesRead(void* destination, int32_t count, void* f) {
  BytesFile* file = static_cast<BytesFile*>(f);
  int32_t size = static_cast<int32_t>(file->bytes->size());
  if (file->position + count > size) count = size - file->position;
  if (count <= 0) return;
  std::memcpy(destination, file->bytes->data() + file->position, static_cast<size_t>(count));
  file->position += count;
}
inline void bytesSeek(void* f, int32_t offset, int32_t origin) {
  BytesFile* file = static_cast<BytesFile*>(f);
  int64_t size = static_cast<int64_t>(file->bytes->size());
  int64_t p = origin == 0 ? offset : origin == 1 ? file->position + offset : size + offset;
  if (p > size) p = size;
  if (p < 0) p = 0;
  file->position = static_cast<int32_t>(p);
}
inline int32_t bytesTell(void* f) { return static_cast<BytesFile*>(f)->position; }

inline Song* loadBytes(const std::vector<uint8_t>& bytes) {
  served = bytes;
  setFileCallbacks(bytesOpen, bytesClose, bytesRead, bytesSeek, bytesTell);
  return loadSong("module.xm");
}
inline Song* loadModule(const xm::Module& module) { return loadBytes(xm::write(module)); }

// A module of `channels` channels and one 64-row pattern, instrument 1 a
// looping 16-bit sample of 1000 frames.
inline xm::Module basicModule(int channels = 4, int rows = 64) {
  xm::Module m;
  m.channels = channels;
  xm::Pattern p;
  p.rows = rows;
  p.cells.resize(static_cast<size_t>(rows * channels));
  m.patterns.push_back(p);
  xm::Sample s = xm::waveSample(0, 1000, 10000, true);
  s.loopType = 1;
  s.loopStart = 0;
  s.loopLength = 1000;
  m.instruments.push_back(xm::simpleInstrument(s));
  return m;
}

// The (order, row) of each of the next `count` rows the engine plays.
inline std::vector<std::pair<int, int>> rowSequence(Song* song, int count) {
  std::vector<std::pair<int, int>> rows;
  for (int guard = 0; static_cast<int>(rows.size()) < count && guard < 100000; ++guard) {
    const bool rowStart = song->tick == 0;
    tickSong(song);
    if (rowStart) rows.emplace_back(song->order, song->row);
  }
  return rows;
}

}  // namespace testing_music
