#include "music/ring_reader.h"

#include <cstring>

#include "music/player.h"

void readRing(RingReader& reader, uint8_t* out, uint32_t length) {
  if (!reader.ring || reader.ringBytes == 0) return;
  // Acquire the blocks the audio thread has filled (see blocksFilled).
  (void)player.blocksFilled.load(std::memory_order_acquire);
  uint32_t left = length;
  while (left > 0) {
    const uint32_t run = left < reader.ringBytes - reader.readOffset ? left : reader.ringBytes - reader.readOffset;
    if (out) {
      std::memcpy(out, reader.ring + reader.readOffset, run);
      out += run;
    }
    left -= run;
    reader.readOffset += run;
    if (reader.readOffset == reader.ringBytes) reader.readOffset = 0;
  }
  reader.bytesPlayed.fetch_add(length, std::memory_order_release);
}
