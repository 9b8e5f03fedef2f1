// The device side of the ring for backends whose device pulls its sound
// through a callback (SDL, and the headless device the tests drive): the
// callback copies the next bytes of the looping ring and counts them, as a
// waveOut device plays a looping buffer and counts its position.
#pragma once

#include <atomic>
#include <cstdint>

struct RingReader {
  const uint8_t* ring = nullptr;  // null: no ring handed over yet
  uint32_t ringBytes = 0;
  uint32_t readOffset = 0;  // bytes into the ring; the reading side's only
  // Bytes played since the ring was handed over, in 32 bits: the count runs
  // on past the end of the ring and wraps only at 2^32, like the device
  // counters the audio thread is written for.
  std::atomic<uint32_t> bytesPlayed{0};
};

// Plays the next `length` bytes of the ring, starting over at its end: copies
// them to `out` (unless null), then counts them with a release, so that the
// audio thread refills bytes only after they have been copied. Does nothing
// without a ring.
void readRing(RingReader& reader, uint8_t* out, uint32_t length);
