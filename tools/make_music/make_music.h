// The demo's own music, "quenvar2.xm": instruments synthesized here and a
// score written here, so the module is rebuilt from source on every build.
//
// Every byte comes from integer arithmetic (fixed-point oscillators, noise and
// filters): no floating point and no maths library, so every compiler and
// platform writes the same file.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/make_test_modules/xm_writer.h"

namespace music_gen {

// Instrument numbers as the patterns use them (1-based, as in the file).
enum InstrumentNumber : uint8_t {
  kKick = 1,
  kSnare,
  kHats,  // closed hat below D-4 in the keymap, open hat from D-4 up
  kCrash,
  kTom,
  kRiser,
  kBass,
  kPad,
  kPulsePad,  // the pad with a looping volume envelope that pumps on the beat
  kLead,      // three band-limited samples across the keymap
  kPluck,
  kInstrumentCount = kPluck
};

// Channels of the score.
enum Channel : int {
  chKick,
  chSnare,
  chHats,
  chCymbal,  // crash and riser
  chBass,
  chPad1,
  chPad2,
  chPad3,
  chLead,
  chPluck,
  chEcho,  // a second pluck voice: counter lines and echoes
  chTom,
  kChannelCount
};

// The synthesized instruments, in instrument-number order.
std::vector<xm::Instrument> makeInstruments();

// The whole module: instruments, patterns and order list.
xm::Module makeModule();

}  // namespace music_gen
