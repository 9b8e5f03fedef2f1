// The software mixer and the portable half of playback: block filling with
// ticks at exact frame boundaries, voice resampling with ramps and loops, and
// the float to 16-bit conversion.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "music/player.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

Player player;

namespace {

constexpr float fractionScale = 1.0f / 2147483648.0f;  // 2^-31

inline float sampleAt(const int16_t* data, uint64_t position) {
  const uint32_t index = static_cast<uint32_t>(position >> 32);
  const int32_t a = data[index];
  const int32_t b = data[index + 1];
  const float t = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(position) >> 1)) * fractionScale;
  return static_cast<float>(a) + static_cast<float>(b - a) * t;
}

// Mixes `frames` frames at constant gains, two frames per pass.
template <bool backward>
void mixConstantScalar(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float left,
                       float right) {
  int32_t i = 0;
  for (; i + 1 < frames; i += 2) {
    const float s0 = sampleAt(data, position);
    position = backward ? position - step : position + step;
    const float s1 = sampleAt(data, position);
    position = backward ? position - step : position + step;
    out[0] += s0 * left;
    out[1] += s0 * right;
    out[2] += s1 * left;
    out[3] += s1 * right;
    out += 4;
  }
  if (i < frames) {
    const float s = sampleAt(data, position);
    out[0] += s * left;
    out[1] += s * right;
  }
}

// Mixes `frames` frames while the gains move by their steps, leaving the
// gains reached in `left` and `right`.
template <bool backward>
void mixRampScalar(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float& left,
                   float& right, float stepLeft, float stepRight) {
  for (int32_t i = 0; i < frames; ++i) {
    const float s = sampleAt(data, position);
    position = backward ? position - step : position + step;
    out[0] += s * left;
    out[1] += s * right;
    out += 2;
    left += stepLeft;
    right += stepRight;
  }
}

#if defined(__SSE2__)
// Four frames at a time, every lane computing exactly what the scalar loops
// compute for its frame. The low 32 bits of the positions (the fractions)
// advance without carries, so they step as 32-bit lanes.
struct FourFrames {
  uint64_t position;
  uint64_t step;  // negated for a backward voice
  __m128i fractions;
  __m128i fractionStep;
};

inline FourFrames startFourFrames(uint64_t position, uint64_t step, bool backward) {
  FourFrames f;
  f.position = position;
  f.step = backward ? 0 - step : step;
  const uint32_t fraction = static_cast<uint32_t>(position);
  const uint32_t stepLow = static_cast<uint32_t>(f.step);
  f.fractions =
      _mm_setr_epi32(static_cast<int32_t>(fraction), static_cast<int32_t>(fraction + stepLow),
                     static_cast<int32_t>(fraction + 2 * stepLow), static_cast<int32_t>(fraction + 3 * stepLow));
  f.fractionStep = _mm_set1_epi32(static_cast<int32_t>(4 * stepLow));
  return f;
}

inline int32_t loadPair(const int16_t* data, uint64_t position) {
  int32_t pair;
  std::memcpy(&pair, data + static_cast<uint32_t>(position >> 32), sizeof pair);
  return pair;
}

// The interpolated values of the next four frames; advances the positions.
inline __m128 nextFourValues(const int16_t* data, FourFrames& f) {
  // Each 32-bit load holds a frame's value A (low half, little-endian) and
  // the following value B (high half).
  const uint64_t p0 = f.position;
  const __m128i pairs = _mm_setr_epi32(loadPair(data, p0), loadPair(data, p0 + f.step), loadPair(data, p0 + 2 * f.step),
                                       loadPair(data, p0 + 3 * f.step));
  f.position = p0 + 4 * f.step;
  const __m128i a = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
  const __m128i b = _mm_srai_epi32(pairs, 16);
  const __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(f.fractions, 1)), _mm_set1_ps(fractionScale));
  f.fractions = _mm_add_epi32(f.fractions, f.fractionStep);
  return _mm_add_ps(_mm_cvtepi32_ps(a), _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(b, a)), t));
}

template <bool backward>
void mixConstant(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float left,
                 float right) {
  const __m128 gains = _mm_setr_ps(left, right, left, right);
  FourFrames f = startFourFrames(position, step, backward);
  int32_t i = 0;
  for (; i + 3 < frames; i += 4) {
    const __m128 v = nextFourValues(data, f);
    _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(v, v), gains)));
    _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), gains)));
    out += 8;
  }
  mixConstantScalar<backward>(data, f.position, step, out, frames - i, left, right);
}

// The gains form one chain of float additions, frame after frame, as in the
// scalar loop: (left, right) pairs are carried twice in a vector and each
// frame's pair is the previous one plus the steps.
template <bool backward>
void mixRamp(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float& left,
             float& right, float stepLeft, float stepRight) {
  const __m128 steps = _mm_setr_ps(stepLeft, stepRight, stepLeft, stepRight);
  __m128 gain = _mm_setr_ps(left, right, left, right);
  FourFrames f = startFourFrames(position, step, backward);
  int32_t i = 0;
  for (; i + 3 < frames; i += 4) {
    const __m128 v = nextFourValues(data, f);
    const __m128 g1 = _mm_add_ps(gain, steps);
    const __m128 g2 = _mm_add_ps(g1, steps);
    const __m128 g3 = _mm_add_ps(g2, steps);
    _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(v, v), _mm_movelh_ps(gain, g1))));
    _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), _mm_movelh_ps(g2, g3))));
    gain = _mm_add_ps(g3, steps);
    out += 8;
  }
  left = _mm_cvtss_f32(gain);
  right = _mm_cvtss_f32(_mm_shuffle_ps(gain, gain, 1));
  mixRampScalar<backward>(data, f.position, step, out, frames - i, left, right, stepLeft, stepRight);
}
#else
template <bool backward>
void mixConstant(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float left,
                 float right) {
  mixConstantScalar<backward>(data, position, step, out, frames, left, right);
}

template <bool backward>
void mixRamp(const int16_t* data, uint64_t position, uint64_t step, float* out, int32_t frames, float& left,
             float& right, float stepLeft, float stepRight) {
  mixRampScalar<backward>(data, position, step, out, frames, left, right, stepLeft, stepRight);
}
#endif

void stopVoice(Voice& voice) {
  voice.sample = nullptr;
  voice.position = 0;
  voice.fraction = 0;
}

// Where a voice goes after reaching a loop or sample end. Returns false when
// the voice stops there.
bool passBoundary(Voice& voice, const Sample& sample, uint64_t& position) {
  const uint64_t loopStart = sample.loopStart;
  const uint64_t loopLength = sample.loopLength;
  const uint64_t loopEnd = loopStart + loopLength;
  if (loopLength == 0) return false;
  if (sample.loopMode == 2) {
    const uint64_t index = position >> 32;
    if (index >= loopEnd) {
      position = ((loopStart + (index - loopEnd) % loopLength) << 32) | static_cast<uint32_t>(position);
    }
    return true;
  }
  if (sample.loopMode != 4) return false;

  // Ping-pong: reflect at the end reached, and again at the other end while
  // the reflected position lies beyond it.
  const uint64_t s = loopStart << 32;
  const uint64_t e = loopEnd << 32;
  const uint64_t l = loopLength << 32;
  bool forward = voice.direction != directionBackward;
  uint64_t excess = forward ? position - e : s - position;  // how far past the end, in 2^-32 frames
  // The reflections repeat every two loop lengths (for a backward arrival,
  // counted from one unit past the start, which turns differently).
  if (loopLength < (uint64_t{1} << 31)) {
    if (forward) {
      excess %= 2 * l;
    } else if (excess > 2 * l) {
      excess = (excess - 1) % (2 * l) + 1;
    }
  }
  for (;;) {
    if (forward) {
      if (excess < l) {
        position = e - excess - 1;
        voice.direction = directionBackward;
        return true;
      }
      excess = excess + 1 - l;
      forward = false;
    } else {
      // 2S - P - 2^-32: arriving exactly on the start turns one unit before
      // it, inside the data as long as the loop does not start at 0; there
      // the voice turns on the start itself.
      if (excess == 0) {
        position = s != 0 ? s - 1 : 0;
        voice.direction = directionForward;
        return true;
      }
      const uint64_t reflected = excess - 1;
      if (reflected < l) {
        position = s + reflected;
        voice.direction = directionForward;
        return true;
      }
      excess = reflected - l;
      forward = true;
    }
  }
}

void mixVoice(Voice& v, float* out, int32_t frames, int32_t rampFrames) {
  while (frames > 0) {
    const Sample* sample = v.sample;
    if (!sample->data || sample->length == 0) {
      stopVoice(v);
      return;
    }
    uint64_t position = (static_cast<uint64_t>(v.position) << 32) | v.fraction;
    const uint64_t step = (static_cast<uint64_t>(v.stepInteger) << 32) | v.stepFraction;
    const uint64_t loopEnd = static_cast<uint64_t>(sample->loopStart) + sample->loopLength;
    if (v.position >= sample->length || loopEnd > sample->length) {
      // Outside the sample's data: nothing sensible to play.
      stopVoice(v);
      return;
    }
    const bool backward = v.direction == directionBackward;
    uint64_t distance;
    if (!backward) {
      const uint64_t boundary = (position > (loopEnd << 32) ? sample->length : loopEnd) << 32;
      distance = position < boundary ? boundary - position : 0;
    } else {
      const uint64_t start = static_cast<uint64_t>(sample->loopStart) << 32;
      distance = position > start ? position - start : 0;
    }
    int64_t toBoundary = INT64_MAX;
    if (step != 0) toBoundary = static_cast<int64_t>(distance / step + (distance % step != 0));

    // Ramp decision: a new target starts a new ramp from the level reached.
    if (!(v.rampFramesLeft != 0 && v.targetLeft == v.lastTargetLeft && v.targetRight == v.lastTargetRight)) {
      v.lastTargetLeft = v.targetLeft;
      v.lastTargetRight = v.targetRight;
      const float perFrame = 1.0f / static_cast<float>(rampFrames);
      const int32_t levelLeft = v.rampLeft / 256;
      const int32_t levelRight = v.rampRight / 256;
      v.rampStepLeft = 0;
      v.rampStepRight = 0;
      if (v.targetLeft != levelLeft) {
        v.rampStepLeft = static_cast<float>(v.targetLeft - levelLeft) * (1.0f / 255.0f) * perFrame;
        v.rampFramesLeft = rampFrames;
      }
      if (v.targetRight != levelRight) {
        v.rampStepRight = static_cast<float>(v.targetRight - levelRight) * (1.0f / 255.0f) * perFrame;
        v.rampFramesLeft = rampFrames;
      }
    }
    int64_t run = toBoundary < frames ? toBoundary : frames;
    const bool ramping = v.rampFramesLeft != 0;
    if (ramping && run > v.rampFramesLeft) run = v.rampFramesLeft;
    const bool atBoundary = run == toBoundary;
    const int32_t count = static_cast<int32_t>(run);

    if (ramping) {
      // Divided, not multiplied by a reciprocal: the two differ in the last
      // bit for about half the levels.
      float left = static_cast<float>(v.rampLeft) / (256.0f * 255.0f);
      float right = static_cast<float>(v.rampRight) / (256.0f * 255.0f);
      if (!out) {
        // Stepping only: the gains move through the same chain of additions.
        for (int32_t i = 0; i < count; ++i) {
          left += v.rampStepLeft;
          right += v.rampStepRight;
        }
      } else if (backward) {
        mixRamp<true>(sample->data, position, step, out, count, left, right, v.rampStepLeft, v.rampStepRight);
      } else {
        mixRamp<false>(sample->data, position, step, out, count, left, right, v.rampStepLeft, v.rampStepRight);
      }
      v.rampLeft = static_cast<int32_t>(std::lround(left * 255.0f * 256.0f));
      v.rampRight = static_cast<int32_t>(std::lround(right * 255.0f * 256.0f));
      v.rampFramesLeft -= count;
      if (v.rampFramesLeft == 0) {
        v.rampStepLeft = v.rampStepRight = 0;
        v.rampLeft = v.targetLeft * 256;
        v.rampRight = v.targetRight * 256;
      }
    } else if (out && (v.targetLeft != 0 || v.targetRight != 0)) {
      const float left = static_cast<float>(v.targetLeft) / 255.0f;
      const float right = static_cast<float>(v.targetRight) / 255.0f;
      if (backward) {
        mixConstant<true>(sample->data, position, step, out, count, left, right);
      } else {
        mixConstant<false>(sample->data, position, step, out, count, left, right);
      }
    }
    // A silent voice only moves on: adding zero would not change a frame.
    const uint64_t moved = static_cast<uint64_t>(run) * step;
    position = backward ? position - moved : position + moved;

    if (atBoundary && !passBoundary(v, *sample, position)) {
      stopVoice(v);
      return;
    }
    v.position = static_cast<uint32_t>(position >> 32);
    v.fraction = static_cast<uint32_t>(position);
    if (out) out += 2 * run;
    frames -= count;
  }
}

}  // namespace

void computeMixSizes(int32_t rate, int32_t& blockFrames, int32_t& ringFrames, int32_t& rampFrames) {
  blockFrames = (rate * 20 / 1000 + 3) & ~3;
  ringFrames = (ringMilliseconds / 20) * blockFrames * 2;
  rampFrames = static_cast<int32_t>(static_cast<int64_t>(rate) * 128 / 44100);
}

void mixVoices(float* destination, int32_t frameCount) {
  int32_t rampFrames = player.rampFrames;
  if (rampFrames <= 0) {
    int32_t block, ring;
    computeMixSizes(mixRate, block, ring, rampFrames);
  }
  for (Voice& voice : voices) {
    if (voice.sample) mixVoice(voice, destination, frameCount, rampFrames);
  }
}

// A null destination makes mixVoice step without mixing.
void stepVoices(int32_t frameCount) { mixVoices(nullptr, frameCount); }

void convertBlock(int16_t* destination, const float* source, int32_t frameCount) {
  // Adding and removing 1.5 x 2^23 leaves a float in [-32768, 32767] rounded
  // to the nearest integer, ties to even: the sum's last bit is worth one.
  constexpr float roundingShift = 12582912.0f;
  int32_t i = 0;
#if defined(__SSE2__)
  // Eight samples per pass with the same operations; the values are whole
  // numbers in range by the time they are truncated and packed.
  const __m128 high = _mm_set1_ps(32767.0f);
  const __m128 low = _mm_set1_ps(-32768.0f);
  const __m128 shift = _mm_set1_ps(roundingShift);
  for (; i + 7 < frameCount * 2; i += 8) {
    __m128 a = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(source + i), high), low);
    __m128 b = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(source + i + 4), high), low);
    a = _mm_sub_ps(_mm_add_ps(a, shift), shift);
    b = _mm_sub_ps(_mm_add_ps(b, shift), shift);
    const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
  }
#endif
  for (; i < frameCount * 2; ++i) {
    float value = source[i];
    value = value > 32767.0f ? 32767.0f : value;
    value = value < -32768.0f ? -32768.0f : value;
    destination[i] = static_cast<int16_t>((value + roundingShift) - roundingShift);
  }
}

namespace {
void releaseBuffers() {
  std::free(player.mixAllocation);
  player.mixAllocation = nullptr;
  player.mixBuffer = nullptr;
  std::free(player.ring);
  player.ring = nullptr;
}
}  // namespace

bool allocatePlaybackBuffers() {
  player.ring = static_cast<int16_t*>(std::calloc(static_cast<size_t>(player.ringFrames) * 2, sizeof(int16_t)));
  player.mixAllocation = std::calloc(static_cast<size_t>(player.ringFrames) * 2 * sizeof(float) + 256, 1);
  if (!player.ring || !player.mixAllocation) {
    releaseBuffers();
    return false;
  }
  const uintptr_t address = reinterpret_cast<uintptr_t>(player.mixAllocation);
  player.mixBuffer = reinterpret_cast<float*>((address + 15) & ~static_cast<uintptr_t>(15));
  player.fillIndex = 0;
  return true;
}

void makeSongCurrent(Song* song) {
  stopPlayback(song);
  resetPlayback(song);
  player.song = song;
  player.songBlock = 0;
  player.tickOrder = 0;
  player.tickRow = 0;
  player.tickNumber = 0;
}

void fillWholeRing() {
  do {
    fillBlock();
  } while (player.fillIndex != 0);
  player.blocksFilled.store(static_cast<uint32_t>(player.ringFrames / player.blockFrames));
}

bool startSong(Song* song) {
  if (!song) return false;
  makeSongCurrent(song);
  if (!allocatePlaybackBuffers()) {
    stopPlayback(song);
    return false;
  }
  return true;
}

int32_t blockFrameCount() {
  int32_t block, ring, ramp;
  computeMixSizes(mixRate, block, ring, ramp);
  return block;
}

namespace {

struct Marks {
  int32_t count = 0;
  int32_t offset[maxTickMarks];
  int32_t order[maxTickMarks];
  int32_t row[maxTickMarks];
  int32_t tick[maxTickMarks];
  void add(int32_t at) {
    // A tick that starts the block replaces the one carried into it.
    if (count > 0 && offset[count - 1] == at) --count;
    if (count == maxTickMarks) return;
    offset[count] = at;
    order[count] = player.tickOrder;
    row[count] = player.tickRow;
    tick[count] = player.tickNumber;
    ++count;
  }
};

// One block of the song: the engine at each tick boundary and the voices
// between them, mixed into `block`, or only stepped when it is null. With
// `marks` it notes where each tick starts.
void runBlock(Song* song, float* block, Marks* marks) {
  const int32_t blockFrames = player.blockFrames;
  if (marks) marks->add(0);
  int32_t framesLeft = song->framesLeftInTick;
  int32_t done = 0;
  while (done < blockFrames) {
    if (framesLeft <= 0) {
      const int32_t tick = song->tick;
      tickSong(song);
      player.tickOrder = song->order;
      player.tickRow = song->row;
      player.tickNumber = tick;
      if (marks) marks->add(done);
      framesLeft = song->framesPerTick;
    }
    const int32_t count = framesLeft < blockFrames - done ? framesLeft : blockFrames - done;
    if (block) {
      mixVoices(block + done * 2, count);
    } else {
      stepVoices(count);
    }
    done += count;
    framesLeft -= count;
  }
  song->framesLeftInTick = framesLeft;
  player.songBlock++;
}

void writeRecord(BlockRecord& record, uint32_t songBlock, const Marks& marks) {
  int32_t sounding = 0;
  for (const Voice& v : voices) {
    if (v.sample && (v.targetLeft | v.targetRight | v.rampLeft | v.rampRight) != 0) ++sounding;
  }
  const uint32_t version = record.version.load(std::memory_order_relaxed);
  // Odd while written. Each field is released, so a reader that sees a new
  // value also sees the odd version after it.
  record.version.store(version + 1, std::memory_order_relaxed);
  record.songBlock.store(songBlock, std::memory_order_release);
  record.markCount.store(marks.count, std::memory_order_release);
  record.voices.store(sounding, std::memory_order_release);
  for (int32_t i = 0; i < marks.count; ++i) {
    record.marks[i].offset.store(marks.offset[i], std::memory_order_release);
    record.marks[i].order.store(marks.order[i], std::memory_order_release);
    record.marks[i].row.store(marks.row[i], std::memory_order_release);
    record.marks[i].tick.store(marks.tick[i], std::memory_order_release);
  }
  record.version.store(version + 2, std::memory_order_release);
}

}  // namespace

BlockRecord blockRecords[maxRingBlocks];

const int16_t* fillBlock() {
  Song* song = player.song;
  if (!song || !player.ring || !player.mixBuffer) return nullptr;
  const int32_t blockFrames = player.blockFrames;
  const int32_t offset = player.fillIndex * blockFrames * 2;
  float* block = player.mixBuffer + offset;
  std::memset(block, 0, static_cast<size_t>(blockFrames) * 2 * sizeof(float));
  const uint32_t songBlock = player.songBlock;
  Marks marks;
  runBlock(song, block, &marks);
  int16_t* out = player.ring + offset;
  convertBlock(out, block, blockFrames);
  writeRecord(blockRecords[player.fillIndex], songBlock, marks);
  player.fillIndex++;
  if (player.fillIndex >= player.ringFrames / blockFrames) player.fillIndex = 0;
  return out;
}

void passBlocks(Song* song, uint32_t blocks) {
  for (uint32_t i = 0; i < blocks; ++i) runBlock(song, nullptr, nullptr);
}

bool stopPlayback(Song* song) {
  if (!song) return false;
  // A device plays the ring: the audio thread ends before the buffers go.
  if (player.closeOutput) player.closeOutput();
  releaseBuffers();
  player.song = nullptr;
  player.fillIndex = 0;
  return true;
}

int64_t measureSong(Song* song, int64_t maxFrames) {
  if (!song) return 0;
  // The engine may change finetunes (E5y); the measured pass leaves none behind.
  std::vector<int8_t> finetunes;
  for (int32_t i = 0; i < song->instrumentCount; ++i) {
    for (int32_t s = 0; s < song->instruments[i].sampleCount; ++s) {
      finetunes.push_back(song->instruments[i].samples[s]->finetune);
    }
  }
  resetPlayback(song);
  std::vector<std::vector<uint8_t>> visited(static_cast<size_t>(song->songLength));
  const int32_t played = song->channelCount < maxChannels ? song->channelCount : maxChannels;
  int64_t frames = 0;
  while (frames < maxFrames) {
    const bool rowStart = song->tick == 0;
    bool looping = false;
    for (int32_t c = 0; c < played; ++c) looping = looping || channels[c].loopCounter != 0;
    tickSong(song);
    if (rowStart) {
      std::vector<uint8_t>& rows = visited[static_cast<size_t>(song->order)];
      const Pattern& pattern = song->patterns[song->orderTable[song->order]];
      if (rows.empty()) rows.resize(static_cast<size_t>(pattern.rowCount));
      uint8_t& seen = rows[static_cast<size_t>(song->row)];
      if (seen && !looping) break;
      seen = 1;
    }
    frames += song->framesPerTick;
  }
  size_t k = 0;
  for (int32_t i = 0; i < song->instrumentCount; ++i) {
    for (int32_t s = 0; s < song->instruments[i].sampleCount; ++s) {
      song->instruments[i].samples[s]->finetune = finetunes[k++];
    }
  }
  resetPlayback(song);
  return frames < maxFrames ? frames : maxFrames;
}
