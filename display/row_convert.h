// Conversion of 0x00RRGGBB rows into a display's pixel format.
#pragma once

#include <cstdint>

// Writes `count` pixels of `source` into `destination` in one display format.
using RowConverter = void (*)(const uint32_t* source, void* destination, uint32_t count);

// R5G6B5.
void convertRowTo565(const uint32_t* source, void* destination, uint32_t count);
// X1R5G5B5; bit 31 of the source becomes bit 15.
void convertRowTo1555(const uint32_t* source, void* destination, uint32_t count);
// X8R8G8B8: a plain copy.
void copyRow32(const uint32_t* source, void* destination, uint32_t count);
// The mirrored layouts, with red in the low bits: B5G6R5, X1B5G5R5 and
// X8B8G8R8.
void convertRowToBgr565(const uint32_t* source, void* destination, uint32_t count);
void convertRowToBgr1555(const uint32_t* source, void* destination, uint32_t count);
void convertRowToBgr32(const uint32_t* source, void* destination, uint32_t count);

// Number of set bits, testing each of the 32 in turn.
uint32_t countBits(uint32_t value);

// The converter for an RGB format of `bitCount` bits with these channel
// masks, or null when no converter writes that format.
RowConverter chooseRowConverter(uint32_t bitCount, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

// Text of the set-up failure for a display format no converter handles.
extern const char* const unsupportedFormatText;
