// Fuzz target: the input is a module file. It is served through the memory
// file callbacks, loaded, started and mixed for a few blocks, then freed.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "music/music.h"
#include "music/player.h"

namespace {

const uint8_t* input = nullptr;
size_t inputSize = 0;

// Opens the fuzz input as a memory file; the other callbacks are the memory
// file's own.
void* openInput(const char*) {
  MemoryFile* file = new MemoryFile;
  if (inputSize > 0) {
    file->contents = static_cast<uint8_t*>(std::malloc(inputSize));
    std::memcpy(file->contents, input, inputSize);
    file->size = static_cast<int32_t>(inputSize);
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  input = data;
  inputSize = size;
  setFileCallbacks(openInput, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong("fuzz.xm");
  if (!song) return 0;
  if (startSong(song)) {
    for (int block = 0; block < 16; ++block) fillBlock();
    // Run the engine alone far into the song (rows, orders, envelopes and
    // slides that a few blocks never reach), then mix what it left behind.
    for (int tick = 0; tick < 2000; ++tick) tickSong(song);
    for (int block = 0; block < 8; ++block) fillBlock();
  }
  freeSong(song);
  return 0;
}
