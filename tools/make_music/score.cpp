// The score of "quenvar2.xm": A minor, 129 BPM at speed 6 (a row is a
// sixteenth note, 16 rows a bar), lifted to 133 BPM when the background
// starts to pulse. The sections follow the picture:
//
//   order  pattern  rows  section
//   0      0        64    intro: pads fade in, plucked arpeggios (the loop starts here)
//   1      1        64    build-up: kick, offbeat bass opening from dark to bright
//   2      2        24    fill under the fast cuts: stabs, toms, snare roll
//   3      3        40    riser; the band drops out for the last bar
//   4      4        64    the drop: theme A's call, full drums
//   5      5        64    theme A's answer; a break leaves after 62 rows
//   6      6        64    133 BPM breakdown: the theme's motif over pulsing pads,
//                         then the drums build back
//   7      7        64    second theme with a counter line
//   8      8        48    bridge on the motif
//   9      9        8     stutter on E: a pattern loop plays it twice
//   10, 11 10, 11   64    finale: theme A low and reharmonized, half-time drums
//   12, 13 14, 12   64    finale: theme A high, in its own chords, to the cadence
//   14     13       16    slowing ending, fading out before the song starts again
//
// Theme A is eight bars, a call over Am F C G and an answer over Am F Dm E,
// built on one rhythm: dotted eighth, dotted eighth, eighth (3 + 3 + 2
// sixteenths).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/make_music/make_music.h"

namespace music_gen {

namespace {

// Effect numbers.
enum : uint8_t {
  fxArpeggio = 0x0,
  fxSampleOffset = 0x9,
  fxPortaUp = 0x1,
  fxPortaDown = 0x2,
  fxTonePorta = 0x3,
  fxVibrato = 0x4,
  fxTremolo = 0x7,
  fxPanning = 0x8,
  fxVolumeSlide = 0xA,
  fxBreak = 0xD,
  fxExtended = 0xE,
  fxSpeed = 0xF,
  fxGlobalVolume = 16,
  fxGlobalSlide = 17,
  fxKeyOff = 20,
  fxPanSlide = 25,
  fxRetrigger = 27,
};
// Extended effects (high nibble of the E parameter).
enum : uint8_t { exLoop = 0x60, exRetrig = 0x90, exCut = 0xC0, exDelay = 0xD0 };

constexpr uint8_t kKeyOff = 97;
constexpr int kBar = 16;

uint8_t setVolume(int v) { return static_cast<uint8_t>(0x10 + v); }

// "C-4", "C#4": octave 4 starts at note 49.
int note(const char* name) {
  static const char* letters = "C-C#D-D#E-F-F#G-G#A-A#B-";
  for (int i = 0; i < 12; ++i) {
    if (name[0] == letters[2 * i] && name[1] == letters[2 * i + 1]) return (name[2] - '0') * 12 + i + 1;
  }
  throw std::runtime_error(std::string("bad note name ") + name);
}

struct Chord {
  const char* name;
  int bass;      // root for the bass
  int pad[3];    // pad voicing
  int arpeggio;  // 0xy for the chip chords (third and fifth above the root)
  int top[3];    // the pluck's chord tones, an octave or two up
};

Chord chord(const char* name) {
  struct Def {
    const char *n, *bass, *p0, *p1, *p2;
    int arp;
  };
  static const Def defs[] = {
      {"Am", "A-1", "A-3", "C-4", "E-4", 0x37}, {"F", "F-1", "A-3", "C-4", "F-4", 0x47},
      {"C", "C-2", "G-3", "C-4", "E-4", 0x47},  {"G", "G-1", "G-3", "B-3", "D-4", 0x47},
      {"Dm", "D-2", "A-3", "D-4", "F-4", 0x37}, {"E", "E-1", "G#3", "B-3", "E-4", 0x47},
      {"Em", "E-1", "G-3", "B-3", "E-4", 0x37},
  };
  for (const Def& d : defs) {
    if (std::strcmp(d.n, name) == 0) {
      Chord c{d.n, note(d.bass), {note(d.p0), note(d.p1), note(d.p2)}, d.arp, {}};
      for (int i = 0; i < 3; ++i) c.top[i] = c.pad[i] + 24;
      return c;
    }
  }
  throw std::runtime_error(std::string("bad chord ") + name);
}

// One pattern being written.
struct Writer {
  xm::Pattern pattern;
  explicit Writer(int rows) {
    pattern.rows = rows;
    pattern.cells.resize(static_cast<size_t>(rows * kChannelCount));
  }
  xm::Cell& at(int row, int channel) {
    if (row < 0 || row >= pattern.rows) throw std::runtime_error("row outside the pattern");
    return pattern.cells[static_cast<size_t>(row * kChannelCount + channel)];
  }
  void play(int row, int channel, int n, int instrument, int volume = 0) {
    xm::Cell& c = at(row, channel);
    c.note = static_cast<uint8_t>(n);
    c.instrument = static_cast<uint8_t>(instrument);
    if (volume) c.volume = static_cast<uint8_t>(volume);
  }
  void off(int row, int channel) { at(row, channel).note = kKeyOff; }
  void fx(int row, int channel, int effect, int param) {
    xm::Cell& c = at(row, channel);
    c.effect = static_cast<uint8_t>(effect);
    c.param = static_cast<uint8_t>(param);
  }
  void vol(int row, int channel, int volumeByte) { at(row, channel).volume = static_cast<uint8_t>(volumeByte); }

  // A drum line, one character a row: X loud, x medium, o soft, g a ghost
  // note, O the open hat; spaces and bars only group the rows for the eye.
  void drums(int row, int channel, int instrument, const char* grid) {
    for (const char* g = grid; *g; ++g) {
      if (*g == ' ' || *g == '|') continue;
      switch (*g) {
        case 'X':
          play(row, channel, note("C-4"), instrument, setVolume(64));
          break;
        case 'x':
          play(row, channel, note("C-4"), instrument, setVolume(46));
          break;
        case 'o':
          play(row, channel, note("C-4"), instrument, setVolume(28));
          break;
        case 'g':
          play(row, channel, note("C-4"), instrument, setVolume(13));
          break;
        case 'O':
          play(row, channel, note("D-4"), instrument, setVolume(36));
          break;
        default:
          break;
      }
      ++row;
    }
  }

  // A bass line over one chord, a character a row: R root, O octave, F fifth,
  // lower case softer, '-' key off.
  // `darkness` starts every note that many cycles into the bass's filter
  // sweep, with the sample-offset effect (0 is the brightest attack).
  void bass(int row, const Chord& c, const char* rhythm, int loud = 52, int darkness = 0) {
    const int soft = loud * 2 / 3;
    for (const char* r = rhythm; *r; ++r) {
      if (*r == ' ') continue;
      if (darkness && *r != '.' && *r != '-' && at(row, chBass).effect == 0 && at(row, chBass).param == 0) {
        fx(row, chBass, fxSampleOffset, darkness);
      }
      switch (*r) {
        case 'R':
          play(row, chBass, c.bass, kBass, setVolume(loud));
          break;
        case 'r':
          play(row, chBass, c.bass, kBass, setVolume(soft));
          break;
        case 'O':
          play(row, chBass, c.bass + 12, kBass, setVolume(loud));
          break;
        case 'o':
          play(row, chBass, c.bass + 12, kBass, setVolume(soft));
          break;
        case 'F':
          play(row, chBass, c.bass + 7, kBass, setVolume(loud));
          break;
        case '-':
          off(row, chBass);
          break;
        default:
          break;
      }
      ++row;
    }
  }

  // Strikes a chord on the three pad channels, or with `legato` moves the
  // held voices to it (volume-column tone portamento at full speed), so the
  // pads change chord without starting their envelopes again.
  void pads(int row, const Chord& c, int instrument, int volume, bool legato = false) {
    for (int i = 0; i < 3; ++i) {
      if (legato) {
        at(row, chPad1 + i).note = static_cast<uint8_t>(c.pad[i]);
        vol(row, chPad1 + i, 0xFF);
      } else {
        // The three voices spread left, centre and right.
        play(row, chPad1 + i, c.pad[i], instrument, setVolume(volume));
        if (at(row, chPad1 + i).effect == 0) fx(row, chPad1 + i, fxPanning, 0x28 + 0x58 * i);
      }
    }
  }

  // The pluck's broken chord, eighth notes: low, mid, high, mid, ... with an
  // echo three rows later on the second pluck voice, panned the other way.
  // `rising` plays the chord upwards through two octaves instead.
  void arpeggio(int row, const Chord& c, int volume, int echoVolume, int rows = kBar, bool rising = false) {
    static const int order[8] = {0, 1, 2, 1, 0, 1, 2, 1};
    for (int i = 0; i * 2 < rows; ++i) {
      const int n = rising ? c.top[i % 3] + 12 * ((i / 3) % 3) - 24 : c.top[order[i % 8]] + (i == 7 ? 12 : 0) - 12;
      play(row + 2 * i, chPluck, n, kPluck, volume ? setVolume(volume) : 0);
      if (echoVolume && row + 2 * i + 3 < pattern.rows) play(row + 2 * i + 3, chEcho, n, kPluck, setVolume(echoVolume));
    }
  }

  // Sparkles from the particles on: soft high chord tones on off-beat
  // sixteenths, thrown left and right with the panning effect.
  void sparkles(int row, const Chord& c, int rows = kBar) {
    static const int pans[4] = {0x30, 0xD0, 0x60, 0xA0};
    int k = row / kBar;
    for (int i = 0; i < rows; ++i) {
      const int beatRow = i % 4;
      if (beatRow != 1 && beatRow != 3) continue;
      if (beatRow == 1 && (i / 4) % 2) continue;
      play(row + i, chTom, c.top[k % 3], kPluck, setVolume(12 + 4 * (k % 2)));
      fx(row + i, chTom, fxPanning, pans[k % 4]);
      k += 2;
    }
  }

  // A melody: "A-4:4" plays a note for 4 rows, "~C-5:4" slides into it
  // with tone portamento, "^D-5:2" changes pitch legato (volume-column tone
  // portamento), "-:2" keys the note off, ".:2" rests. Notes of six rows or
  // more get a vibrato after a short delay: in the volume column, or with
  // the vibrato effect when `effectVibrato` is set.
  // `transpose` shifts every note by that many semitones.
  void melody(int row, int channel, int instrument, const char* text, int volume = 0, bool effectVibrato = false,
              int transpose = 0) {
    const char* p = text;
    while (*p) {
      while (*p == ' ') ++p;
      if (!*p) break;
      const char* colon = std::strchr(p, ':');
      if (!colon) throw std::runtime_error("melody token without length");
      const int length = std::atoi(colon + 1);
      const char kind = *p;
      if (kind == '-') {
        off(row, channel);
      } else if (kind != '.') {
        const bool slide = kind == '~', legato = kind == '^';
        const int n = note(slide || legato ? p + 1 : p) + transpose;
        if (slide) {
          at(row, channel).note = static_cast<uint8_t>(n);
          fx(row, channel, fxTonePorta, 0x0C);
          if (length > 1) fx(row + 1, channel, fxTonePorta, 0);
        } else if (legato) {
          at(row, channel).note = static_cast<uint8_t>(n);
          vol(row, channel, 0xFF);
        } else {
          play(row, channel, n, instrument, volume ? setVolume(volume) : 0);
        }
        if (length >= 6) {
          for (int r = row + 3; r < row + length; ++r) {
            if (effectVibrato) {
              fx(r, channel, fxVibrato, r == row + 3 ? 0x42 : 0);
            } else {
              vol(r, channel, r == row + 3 ? 0xA5 : 0xB3);
            }
          }
        }
      }
      row += length;
      p = colon + 1;
      while (*p && *p != ' ') ++p;
    }
  }
};

// --- the patterns ---

const char* const kFour = "X...X...X...X...";

// One bar of drums: kick, snare and hats lines.
struct DrumBar {
  const char *kick, *snare, *hats;
};

void drumBar(Writer& w, int row, const DrumBar& d) {
  if (d.kick) w.drums(row, chKick, kKick, d.kick);
  if (d.snare) w.drums(row, chSnare, kSnare, d.snare);
  if (d.hats) w.drums(row, chHats, kHats, d.hats);
}

// The main part's grooves: the plain one, one with ghost notes and sixteenth
// hats, one with a pushed kick; the end of four bars gets a small fill, the
// end of eight a longer one.
const DrumBar kGroove[3] = {
    {kFour, "....X.......X...", "x.O.x.Oxx.O.x.Ox"},
    {"X...X...X...X..x", "....X..g....X..g", "xoxoOoxoxoxoOoxo"},
    {"X...X..xX...X...", ".g..X.......X.g.", "x.x.O.x.x.xxO.x."},
};
const DrumBar kFillFour = {kFour, "....X.......X.xx", "x.O.x.Oxx.O.x..."};
const DrumBar kFillEight = {"X...X...X.X.X...", "....X...X.XgXXXX", "x.O.x.O........."};

// The finale's half-time grooves: the backbeat on the third beat only.
const DrumBar kHalfTime[3] = {
    {"X.........X.....", "........X.......", "x...x...x...x..."},
    {"X.........X..x..", "........X.....g.", "x...x...x.O.x..."},
    {"X.....x...X.....", "...g....X.......", "x...x...x...x.x."},
};
const DrumBar kHalfTimeFill = {"X.........X.....", "........X.x.XxXX", "x...x...x......."};

// The pluck on the off-beat eighths, chord tones in turn, an octave down.
void offbeats(Writer& w, int row, const Chord& c, int volume) {
  for (int i = 0; i < 4; ++i) {
    w.play(row + 4 * i + 2, chPluck, c.top[i % 3] - 12, kPluck, setVolume(volume));
    w.fx(row + 4 * i + 2, chPluck, fxPanning, i % 2 ? 0xC0 : 0x40);
  }
}

xm::Pattern intro() {
  Writer w(64);
  const char* bars[4] = {"Am", "F", "C", "G"};
  // The song starts and loops here: tempo, speed and the global volume are
  // set again, the whole mix fading in from under a third of the global
  // volume to more than a half; the build-up brings it up towards the main
  // part's level.
  w.fx(0, chKick, fxGlobalVolume, 0x14);
  w.fx(0, chTom, fxSpeed, 129);
  w.fx(0, chSnare, fxSpeed, 6);
  for (int r = 1; r <= 3; ++r) w.fx(r, chKick, fxGlobalSlide, r == 1 ? 0x10 : 0);
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    w.pads(b * kBar, c, kPad, 16, b > 0);
    w.arpeggio(b * kBar, c, 0, b == 0 ? 0 : 18);
    // The pluck alternates sides through the volume column's panning.
    for (int i = 0; i < 8; ++i) w.vol(b * kBar + 2 * i, chPluck, i % 2 ? 0xC5 : 0xCB);
  }
  // The first chord swells with volume-column slides; the outer pad voices
  // drift apart with panning slides while they hold.
  for (int r = 4; r <= 7; ++r) {
    for (int ch = chPad1; ch <= chPad3; ++ch) w.vol(r, ch, 0x71);
  }
  for (int r = 1; r < 16; ++r) {
    w.fx(r, chPad1, fxPanSlide, r == 1 ? 0x10 : 0);
    w.fx(r, chPad3, fxPanSlide, r == 1 ? 0x01 : 0);
  }
  // A soft, dark bass joins for the second half.
  w.bass(32, chord("C"), "R", 30, 36);
  w.bass(48, chord("G"), "R", 34, 36);
  w.fx(0, chPluck, fxPanning, 0x90);
  return w.pattern;
}

xm::Pattern buildUp() {
  Writer w(64);
  const char* bars[4] = {"Am", "F", "C", "G"};
  // The build-up grows: the global volume steps up every bar.
  for (int b = 1; b < 4; ++b) w.fx(b * kBar, chTom, fxGlobalSlide, 0x10);
  w.fx(kBar + 1, chTom, fxGlobalSlide, 0x10);
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    w.drums(row, chKick, kKick, kFour);
    if (b >= 1) w.drums(row, chHats, kHats, b == 3 ? "..x.o.x...x.o.xo" : "..x...x...x...x.");
    // The bass opens bar by bar: each note starts less far into its filter sweep.
    w.bass(row, c, b < 2 ? "R...R...R...R..." : "..R...R...R...R.", 44, 32 - 8 * b);
    w.pads(row, c, kPad, 30, b > 0);
    w.arpeggio(row, c, 36, 14, kBar, true);
    // Chip chords: the lead's root with a fast arpeggio over the third and fifth.
    w.play(row, chLead, c.bass + 36, kLead, setVolume(18));
    for (int r = row; r < row + kBar; ++r) w.fx(r, chLead, fxArpeggio, c.arpeggio);
  }
  w.drums(48, chSnare, kSnare, "....x.......x...");
  // A flam: the last snare comes a few ticks late.
  w.play(62, chSnare, note("C-4"), kSnare, setVolume(30));
  w.fx(62, chSnare, fxExtended, exDelay | 3);
  w.off(63, chLead);
  return w.pattern;
}

xm::Pattern fill() {
  Writer w(24);
  const char* beats[6] = {"F", "F", "G", "G", "E", "E"};
  w.play(0, chCymbal, note("C-4"), kCrash, setVolume(44));
  // The full band's level, which leaves the peaks 1 dB below full scale.
  w.fx(0, chTom, fxGlobalVolume, 0x3C);
  w.off(0, chLead);
  for (int b = 0; b < 6; ++b) {
    const int row = b * 4;
    const Chord c = chord(beats[b]);
    w.play(row, chKick, note("C-4"), kKick, setVolume(64));
    // One stab per cut: short lead chords, cut on the fourth tick.
    for (int i = 0; i < 3; ++i) {
      w.play(row, chPad1 + i, c.pad[i] + 12, kLead, setVolume(30));
      w.fx(row, chPad1 + i, fxExtended, exCut | 4);
    }
    if (b < 4) w.play(row + 2, chSnare, note("C-4"), kSnare, setVolume(26 + 5 * b));
  }
  w.bass(0, chord("F"), "R.......", 50);
  w.bass(8, chord("G"), "R.......", 50);
  w.bass(16, chord("E"), "R.......", 54);
  // The bass dives into the next section.
  for (int r = 20; r < 24; ++r) w.fx(r, chBass, fxPortaDown, r == 20 ? 0x06 : 0);
  // A snare roll, two hits a row, louder with every retrigger.
  for (int r = 16; r < 24; ++r) {
    w.play(r, chSnare, note("C-4"), kSnare, setVolume(16 + 3 * (r - 16)));
    w.fx(r, chSnare, fxRetrigger, 0xA3);
  }
  // Toms down the last three beats, some of them flammed.
  const char* toms[6] = {"G-4", "E-4", "D-4", "C-4", "A-3", "G-3"};
  for (int i = 0; i < 6; ++i) {
    const int row = 12 + 2 * i;
    w.play(row, chTom, note(toms[i]), kTom, setVolume(44 + 2 * i));
    if (i % 2) w.fx(row, chTom, fxExtended, exDelay | 2);
  }
  w.fx(23, chTom, fxPortaDown, 0x10);
  return w.pattern;
}

// The riser: a bar with the band, a bar where it thins out, then only the
// noise sweep, a soft snare roll and the pluck climbing, so the main part
// lands on a drop.
xm::Pattern riser() {
  Writer w(40);
  w.drums(0, chKick, kKick, "X...X...X...X... X...X...");
  w.fx(34, chKick, fxSpeed, 5);  // the last rows rush into the main part
  w.drums(0, chSnare, kSnare, "....x.......x... ....x...");
  w.drums(0, chHats, kHats, "o.x.o.x.o.x.o.x. oooooooo");
  for (int r = 24; r < 40; ++r) {
    w.play(r, chSnare, note("C-4"), kSnare, setVolume(8 + (r - 24)));
    if (r >= 32) w.fx(r, chSnare, fxExtended, exRetrig | 2);
  }
  // Noise swept up two octaves, fine volume-column slides bringing it up
  // (every other row, so it stays below the drop it leads to).
  w.play(0, chCymbal, note("C-3"), kRiser, setVolume(14));
  for (int r = 1; r < 40; ++r) {
    w.fx(r, chCymbal, fxPortaUp, r == 1 ? 0x02 : 0);
    if (r % 2) w.vol(r, chCymbal, 0x91);
  }
  w.pads(0, chord("Am"), kPad, 30);
  w.pads(16, chord("F"), kPad, 30);
  // The pads swell into the second bar, then die away under the sweep.
  for (int r = 17; r <= 19; ++r) {
    for (int ch = chPad1; ch <= chPad3; ++ch) w.fx(r, ch, fxVolumeSlide, r == 17 ? 0x10 : 0);
  }
  for (int r = 24; r < 32; ++r) {
    for (int ch = chPad1; ch <= chPad3; ++ch) w.fx(r, ch, fxVolumeSlide, r == 24 ? 0x06 : 0);
  }
  for (int ch = chPad1; ch <= chPad3; ++ch) w.off(32, ch);
  w.bass(0, chord("Am"), "R.R.R.R.R.R.R.R.", 48, 6);
  w.bass(16, chord("F"), "RrRrRrRr-", 48, 4);
  w.arpeggio(0, chord("Am"), 36, 14, kBar, true);
  w.arpeggio(16, chord("F"), 36, 14, 8, true);
  w.melody(32, chPluck, kPluck, "G-5:1 B-5:1 D-6:1 G-6:1 B-5:1 D-6:1 G-6:1 B-6:1", 24);
  return w.pattern;
}

// Theme A. The call over Am F C G ends open on the dominant; the answer
// over Am F Dm E turns the motif upside down and comes down to G#.
const char* const kCall =
    "E-5:3 E-5:3 A-5:2 G-5:4 E-5:4 "
    "F-5:3 E-5:3 C-5:2 A-4:8 "
    "E-5:3 E-5:3 G-5:2 C-6:4 B-5:2 G-5:2 "
    "A-5:3 G-5:3 D-5:6 ~B-4:2 -:2";
const char* const kAnswer =
    "C-6:3 B-5:3 A-5:2 G-5:4 E-5:4 "
    "F-5:3 G-5:3 A-5:2 C-6:8 "
    "D-6:3 C-6:3 A-5:2 F-5:4 ^D-5:4 "
    "E-5:3 D-5:3 B-4:2 G#4:6";
// The answer's last bar as the cadence has it: down to the leading note.
const char* const kAnswerHome =
    "C-6:3 B-5:3 A-5:2 G-5:4 E-5:4 "
    "F-5:3 G-5:3 A-5:2 C-6:8 "
    "D-6:3 C-6:3 A-5:2 F-5:4 ^D-5:4 "
    "E-5:3 D-5:3 B-4:2 C-5:2 B-4:2 G#4:4";
// The second theme over Am F Dm E.
const char* const kThemeB =
    "E-5:2 A-5:2 G-5:2 A-5:2 C-6:4 B-5:4 "
    "A-5:6 G-5:2 F-5:4 E-5:4 "
    "D-5:2 F-5:2 A-5:4 G-5:2 F-5:2 E-5:4 "
    "G#5:6 E-5:2 ~B-4:4 -:2";

// The drop and theme A's call.
xm::Pattern call() {
  Writer w(64);
  const char* bars[4] = {"Am", "F", "C", "G"};
  w.fx(0, chKick, fxSpeed, 6);
  w.play(0, chCymbal, note("C-4"), kCrash, setVolume(48));
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    drumBar(w, row, b == 3 ? kFillFour : kGroove[b % 3]);
    w.bass(row, c, "R..R..R.R..R..O.", 52, b % 2 ? 6 : 0);
    w.pads(row, c, kPad, 24, b > 0);
    offbeats(w, row, c, 30);
  }
  w.melody(0, chLead, kLead, kCall, 50);
  return w.pattern;
}

// Theme A's answer, the particles' sparkles, and a break with toms.
xm::Pattern answer() {
  Writer w(64);
  const char* bars[4] = {"Am", "F", "Dm", "E"};
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    if (b == 3) {
      // Drums stop for the last beats; toms lead into the breakdown.
      w.drums(row, chKick, kKick, "X...X...");
      w.drums(row, chSnare, kSnare, "....X.g.");
      w.drums(row, chHats, kHats, "x.O.x.Ox");
    } else {
      drumBar(w, row, kGroove[(b + 1) % 3]);
    }
    w.bass(row, c, b == 3 ? "R..R..R." : "R..R..R.R..R..O.", 52, b == 2 ? 8 : 0);
    w.pads(row, c, kPad, 24, b > 0);
    if (b < 3) offbeats(w, row, c, 30);
    w.sparkles(row, c, b == 3 ? 8 : kBar);
  }
  w.melody(0, chLead, kLead, kAnswer, 50);
  const char* toms[5] = {"A-4", "F-4", "D-4", "C-4", "A-3"};
  for (int i = 0; i < 5; ++i) {
    w.play(56 + i, chTom, note(toms[i]), kTom, setVolume(40 + 4 * i));
    if (i == 2) w.fx(56 + i, chTom, fxExtended, exDelay | 3);
  }
  for (int r = 57; r < 62; ++r) w.fx(r, chBass, fxPortaDown, r == 57 ? 0x08 : 0);
  w.fx(61, chKick, fxBreak, 0);
  return w.pattern;
}

// The breakdown as the background starts to pulse: two bars of pulsing pads
// with the motif high and soft and its echo, then the drums build back.
xm::Pattern breakdown() {
  Writer w(64);
  const char* bars[4] = {"Am", "F", "C", "G"};
  w.fx(0, chKick, fxSpeed, 133);  // a lift in tempo as the background pulses
  w.off(0, chLead);
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    w.pads(row, c, kPulsePad, b < 2 ? 14 : 28, b > 0);
    w.sparkles(row, c);
  }
  // Only a low, dark bass note under the first two bars.
  w.bass(0, chord("Am"), "R", 30, 38);
  w.bass(16, chord("F"), "R", 30, 38);
  w.melody(0, chLead, kLead, "E-6:3 E-6:3 A-6:2 G-6:8 F-6:3 E-6:3 C-6:2 A-5:6 -:2", 28);
  w.melody(3, chEcho, kPluck, "E-6:3 E-6:3 A-6:2 G-6:8 F-6:3 E-6:3 C-6:2 A-5:8", 14);
  w.fx(3, chEcho, fxPanning, 0xC0);
  // The long notes shimmer with a tremolo.
  for (int r = 8; r < 14; ++r) w.fx(r, chLead, fxTremolo, r == 8 ? 0x64 : 0);
  // Building back: the kick, hats and a brightening bass return, the call's
  // second half returns on the lead, and a snare roll climbs into the next part.
  w.drums(32, chKick, kKick, "x...x...x...x... X...X...X...X.X.");
  w.drums(32, chHats, kHats, "o.o.o.o.oooooooo x.O.x.O.xxxxxxxx");
  for (int r = 48; r < 64; ++r) w.play(r, chSnare, note("C-4"), kSnare, setVolume(14 + 3 * (r - 48)));
  w.bass(32, chord("C"), "R.R.R.R.R.R.R.R.", 46, 16);
  w.bass(48, chord("G"), "R.R.R.R.RrRrOoOo", 50, 6);
  w.melody(32, chLead, kLead, "E-5:3 E-5:3 G-5:2 C-6:4 B-5:2 G-5:2 A-5:3 G-5:3 D-5:6 ~B-4:2 -:2", 42);
  w.play(32, chCymbal, note("C-3"), kRiser, setVolume(12));
  for (int r = 33; r < 64; ++r) {
    w.fx(r, chCymbal, fxPortaUp, r == 33 ? 0x03 : 0);
    w.vol(r, chCymbal, 0x91);
  }
  return w.pattern;
}

// The second theme over pulsing pads, a counter line on the plucks.
xm::Pattern themeB() {
  Writer w(64);
  const char* bars[4] = {"Am", "F", "Dm", "E"};
  w.play(0, chCymbal, note("C-4"), kCrash, setVolume(48));
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    drumBar(w, row, b == 3 ? kFillEight : kGroove[(b + 2) % 3]);
    w.bass(row, c, "..RR..RR..RR..RO", 52, 4 * b);
    w.pads(row, c, kPulsePad, 32, b > 0);
    w.sparkles(row, c);
  }
  w.melody(0, chLead, kLead, kThemeB, 50);
  w.melody(0, chPluck, kPluck,
           "A-4:4 C-5:4 E-5:4 C-5:4 A-4:4 C-5:4 F-5:4 C-5:4 "
           "A-4:4 D-5:4 F-5:4 D-5:4 B-4:4 E-5:4 G#5:4 B-5:4",
           40);
  w.melody(2, chEcho, kPluck,
           "A-5:4 C-6:4 E-6:4 C-6:4 A-5:4 C-6:4 F-6:4 C-6:4 "
           "A-5:4 D-6:4 F-6:4 D-6:4 B-5:4 E-6:4 G#6:4 B-6:2",
           18);
  w.fx(0, chPluck, fxPanning, 0x50);
  w.fx(2, chEcho, fxPanning, 0xB0);
  // The toms answer the fill.
  w.play(60, chTom, note("E-4"), kTom, setVolume(44));
  w.play(62, chTom, note("B-3"), kTom, setVolume(48));
  return w.pattern;
}

// The bridge: the motif climbing over F G Am.
xm::Pattern bridge() {
  Writer w(48);
  const char* bars[3] = {"F", "G", "Am"};
  for (int b = 0; b < 3; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    drumBar(w, row, b == 2 ? kFillFour : kGroove[b]);
    w.bass(row, c, "R..R..R.R..R..O.", 52, 2);
    w.pads(row, c, kPulsePad, 32, b > 0);
    w.arpeggio(row, c, 28, 12);
    w.sparkles(row, c);
  }
  w.melody(0, chLead, kLead, "C-6:3 C-6:3 D-6:2 E-6:8 B-5:3 B-5:3 C-6:2 D-6:8 C-6:3 B-5:3 A-5:2 E-6:8", 48);
  return w.pattern;
}

// Half a bar on E that plays twice: a stutter before the finale. The loop
// starts on the first row, so every player takes the next pattern from its
// top.
xm::Pattern stutter() {
  Writer w(8);
  const Chord e = chord("E");
  w.fx(0, chKick, fxExtended, exLoop | 0);
  w.fx(7, chKick, fxExtended, exLoop | 1);
  w.drums(0, chKick, kKick, "X...X...");
  for (int r = 0; r < 8; ++r) {
    w.play(r, chSnare, note("C-4"), kSnare, setVolume(20 + 4 * r));
    if (r >= 4) w.fx(r, chSnare, fxExtended, exRetrig | 3);
  }
  w.bass(0, e, "RrRrOoOo");
  w.pads(0, e, kPulsePad, 36);
  w.melody(0, chLead, kLead, "B-5:8", 48);
  w.play(0, chTom, note("E-4"), kTom, setVolume(40));
  w.play(4, chTom, note("B-3"), kTom, setVolume(44));
  w.fx(4, chTom, fxExtended, exDelay | 2);
  return w.pattern;
}

// The finale under the cube field: half-time drums, long bass notes, held
// pads and theme A, either an octave down in new chords with the pluck
// doubling it an octave up, or in its own register and chords with the
// pluck an octave below. `phraseEnd` closes eight bars with a fill.
xm::Pattern finale(const char* const bars[4], const char* theme, int transpose, bool phraseEnd, bool crash) {
  Writer w(64);
  if (crash) w.play(0, chCymbal, note("C-4"), kCrash, setVolume(40));
  for (int b = 0; b < 4; ++b) {
    const Chord c = chord(bars[b]);
    const int row = b * kBar;
    drumBar(w, row, phraseEnd && b == 3 ? kHalfTimeFill : kHalfTime[b % 3]);
    w.bass(row, c, "R.......R..R....", transpose ? 48 : 50, transpose ? 10 : 2);
    w.pads(row, c, kPad, transpose ? 26 : 30, b > 0);
  }
  w.melody(0, chLead, kLead, theme, transpose ? 56 : 50, true, transpose);
  // The pluck stays within its band limit: above the low lead, below the high one.
  w.melody(0, chPluck, kPluck, theme, 22, false, transpose ? 0 : -12);
  w.fx(0, chPluck, fxPanning, 0xB8);
  return w.pattern;
}

xm::Pattern ending() {
  Writer w(16);
  // Slower and slower, fading to silence before the song starts again.
  w.fx(0, chKick, fxSpeed, 125);
  w.fx(8, chKick, fxSpeed, 115);
  w.fx(1, chTom, fxGlobalSlide, 0x01);
  for (int r = 2; r < 16; ++r) w.fx(r, chTom, fxGlobalSlide, 0);
  w.play(0, chKick, note("C-4"), kKick, setVolume(64));
  w.play(0, chCymbal, note("C-4"), kCrash, setVolume(52));
  w.play(0, chBass, chord("Am").bass, kBass, setVolume(52));
  w.pads(0, chord("Am"), kPad, 40);
  w.play(0, chPad2, note("B-4"), kPad, setVolume(34));  // A minor with an added ninth
  for (int r = 2; r < 12; ++r) w.fx(r, chPad3, fxTremolo, r == 2 ? 0x44 : 0);
  for (int r = 1; r < 12; ++r) {
    w.vol(r, chPad1, 0x61 + (r > 6));
    w.vol(r, chPad2, 0x81);  // fine slides: one step a row
  }
  w.melody(0, chLead, kLead, "A-4:12", 46, true);
  w.melody(0, chPluck, kPluck, "A-6:2 E-6:2 C-6:2 B-5:2 A-5:2 E-5:2 C-5:2 B-4:2", 34);
  for (int ch = chPad1; ch <= chPad3; ++ch) w.fx(12, ch, fxKeyOff, 0);
  w.off(12, chLead);
  w.off(14, chBass);
  return w.pattern;
}

}  // namespace

xm::Module makeModule() {
  xm::Module m;
  m.name = "quenvar2";
  m.tracker = "make_music";
  m.channels = kChannelCount;
  m.linear = true;
  m.tempo = 6;
  m.bpm = 129;
  m.instruments = makeInstruments();

  // Theme A in the finale: first in new chords (Fmaj9, Dm9, Am9, Em7; C F Dm E).
  static const char* const callLow[4] = {"F", "Dm", "Am", "Em"};
  static const char* const answerLow[4] = {"C", "F", "Dm", "E"};
  static const char* const callHome[4] = {"Am", "F", "C", "G"};
  static const char* const cadence[4] = {"Am", "F", "Dm", "E"};
  m.patterns = {
      intro(),
      buildUp(),
      fill(),
      riser(),
      call(),
      answer(),
      breakdown(),
      themeB(),
      bridge(),
      stutter(),
      finale(callLow, kCall, -12, false, true),
      finale(answerLow, kAnswer, -12, true, false),
      finale(cadence, kAnswerHome, 0, true, false),
      ending(),
      finale(callHome, kCall, 0, false, true),
  };
  m.orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 12, 13};
  m.restart = 0;
  return m;
}

}  // namespace music_gen
