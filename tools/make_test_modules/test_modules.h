// The modules the benchmarks and player comparisons play:
// channels32  32 channels of looping samples, notes on most rows
// effects     16 channels exercising slides, vibrato, tremolo, arpeggio,
//             portamento, retrigger, envelopes and ping-pong loops
// amiga       12 channels with Amiga periods and 8-bit ping-pong samples
#pragma once

#include "tools/make_test_modules/xm_writer.h"

namespace xm {

Module channels32Module();
Module effectsModule();
Module amigaModule();

}  // namespace xm
