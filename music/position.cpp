// Seeking and the song's facts: starts inside a song that sound exactly as
// the same blocks of a render from the beginning, and walks of the engine
// alone that find a song's length, loop and orders.
#include <cstring>
#include <vector>

#include "music/player.h"

namespace {

// Runs the engine alone from the song's start, tick by tick, calling
// visit(frame at the tick's start, whether the tick starts a row) after each
// tick until it returns true or `limit` frames have passed. The engine may
// change finetunes (E5y); the walk leaves none behind, and it leaves the
// song's playback state at its start.
template <class Visit>
void walkTicks(Song* song, int64_t limit, Visit visit) {
  std::vector<int8_t> finetunes;
  for (int32_t i = 0; i < song->instrumentCount; ++i) {
    for (int32_t s = 0; s < song->instruments[i].sampleCount; ++s) {
      finetunes.push_back(song->instruments[i].samples[s]->finetune);
    }
  }
  resetPlayback(song);
  int64_t frames = 0;
  while (frames < limit) {
    const bool rowStart = song->tick == 0;
    tickSong(song);
    if (visit(frames, rowStart)) break;
    frames += song->framesPerTick;
  }
  size_t k = 0;
  for (int32_t i = 0; i < song->instrumentCount; ++i) {
    for (int32_t s = 0; s < song->instruments[i].sampleCount; ++s) {
      song->instruments[i].samples[s]->finetune = finetunes[k++];
    }
  }
  resetPlayback(song);
}

// The walks reset the engine's shared voices and channels: never while any
// song is current.
bool mayWalk(const Song* song) { return song && !player.song; }

}  // namespace

bool songFacts(Song* song, SongFacts& facts) {
  if (!mayWalk(song)) return false;
  std::memset(&facts, 0, sizeof facts);
  std::memcpy(facts.title, song->title, sizeof facts.title);
  facts.title[sizeof facts.title - 1] = 0;
  facts.channels = song->channelCount;
  facts.orders = song->songLength;
  facts.patterns = song->patternSlots;
  facts.instruments = song->instrumentCount;
  for (int32_t i = 0; i < song->instrumentCount; ++i) facts.samples += song->instruments[i].sampleCount;

  const int64_t length = measureSong(song, longestSongFrames);
  if (length >= longestSongFrames) {
    facts.lengthFrames = facts.loopStartFrame = -1;
    facts.lengthSeconds = -1;
    return true;
  }
  // The row the song comes back to, then where it was first played.
  int32_t order = 0;
  int32_t row = 0;
  walkTicks(song, length + 1, [&](int64_t frame, bool) {
    if (frame < length) return false;
    order = song->order;
    row = song->row;
    return true;
  });
  int64_t loopStart = 0;
  walkTicks(song, length, [&](int64_t frame, bool rowStart) {
    if (!rowStart || song->order != order || song->row != row) return false;
    loopStart = frame;
    return true;
  });
  facts.lengthFrames = length;
  facts.loopStartFrame = loopStart;
  facts.lengthSeconds = static_cast<double>(length) / mixRate;
  return true;
}

int64_t orderStartFrame(Song* song, int32_t order) {
  if (!mayWalk(song) || order < 0 || order >= song->songLength) return -1;
  const int64_t length = measureSong(song, longestSongFrames);
  int64_t found = -1;
  walkTicks(song, length, [&](int64_t frame, bool rowStart) {
    if (!rowStart || song->order != order) return false;
    found = frame;
    return true;
  });
  return found;
}

bool startSongAt(Song* song, int64_t frame) {
  if (!song || frame < 0) return false;
  if (!startSong(song)) return false;
  passBlocks(song, static_cast<uint32_t>(frame / player.blockFrames));
  return true;
}
