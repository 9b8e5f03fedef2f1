// Mixing throughput: seconds of audio rendered per second of CPU, through
// fillBlock (engine and mixer), for the generated test modules; the time a
// start one minute into a song takes; the cost of reading the heard position.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "music/audio_headless.h"
#include "music/music.h"
#include "tools/make_music/make_music.h"
#include "tools/make_test_modules/test_modules.h"

namespace {

std::vector<uint8_t> moduleBytes;
struct Served {
  int32_t position;
};
void* openBytes(const char*) { return new Served{0}; }
void closeBytes(void* f) { delete static_cast<Served*>(f); }
void readBytes(void* destination, int32_t count, void* f) {
  Served* s = static_cast<Served*>(f);
  int32_t size = static_cast<int32_t>(moduleBytes.size());
  if (s->position + count > size) count = size - s->position;
  if (count <= 0) return;
  std::memcpy(destination, moduleBytes.data() + s->position, static_cast<size_t>(count));
  s->position += count;
}
void seekBytes(void* f, int32_t offset, int32_t origin) {
  Served* s = static_cast<Served*>(f);
  int32_t size = static_cast<int32_t>(moduleBytes.size());
  int32_t p = origin == 0 ? offset : origin == 1 ? s->position + offset : size + offset;
  s->position = p < 0 ? 0 : p > size ? size : p;
}
int32_t tellBytes(void* f) { return static_cast<Served*>(f)->position; }

void renderModule(benchmark::State& state, const xm::Module& module) {
  moduleBytes = xm::write(module);
  setFileCallbacks(openBytes, closeBytes, readBytes, seekBytes, tellBytes);
  Song* song = loadSong("bench.xm");
  if (!song || !startSong(song)) {
    state.SkipWithError("module did not load");
    return;
  }
  const int32_t blockFrames = blockFrameCount();
  int64_t frames = 0;
  for (auto _ : state) {
    // One second of audio per iteration.
    for (int i = 0; i < 50; ++i) benchmark::DoNotOptimize(fillBlock());
    frames += 50 * blockFrames;
  }
  state.counters["audio_s_per_cpu_s"] =
      benchmark::Counter(static_cast<double>(frames) / mixRate, benchmark::Counter::kIsRate);
  freeSong(song);
}

void BM_Mix32Channels(benchmark::State& state) { renderModule(state, xm::channels32Module()); }
void BM_MixEffects(benchmark::State& state) { renderModule(state, xm::effectsModule()); }
void BM_MixAmiga(benchmark::State& state) { renderModule(state, xm::amigaModule()); }

BENCHMARK(BM_Mix32Channels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixEffects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixAmiga)->Unit(benchmark::kMillisecond);

// A start 60 s into a song: startSongAt passes the blocks before it through
// the engine and the voices' steps, then the first block is mixed. The
// target is 50 ms at most.
void seekModule(benchmark::State& state, const xm::Module& module) {
  moduleBytes = xm::write(module);
  setFileCallbacks(openBytes, closeBytes, readBytes, seekBytes, tellBytes);
  Song* song = loadSong("bench.xm");
  if (!song) {
    state.SkipWithError("module did not load");
    return;
  }
  for (auto _ : state) {
    startSongAt(song, int64_t{60} * mixRate);
    benchmark::DoNotOptimize(fillBlock());
  }
  freeSong(song);
}

void BM_Seek60sQuenvar2(benchmark::State& state) { seekModule(state, music_gen::makeModule()); }
void BM_Seek60sEffects(benchmark::State& state) { seekModule(state, xm::effectsModule()); }
void BM_Seek60s32Channels(benchmark::State& state) { seekModule(state, xm::channels32Module()); }

BENCHMARK(BM_Seek60sQuenvar2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seek60sEffects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seek60s32Channels)->Unit(benchmark::kMillisecond);

// What heardPosition costs the main thread while the audio thread runs
// (headless device, played from here a frame at a time).
void BM_HeardPosition(benchmark::State& state) {
  moduleBytes = xm::write(xm::effectsModule());
  setFileCallbacks(openBytes, closeBytes, readBytes, seekBytes, tellBytes);
  Song* song = loadSong("bench.xm");
  if (!song || !playSong(song)) {
    state.SkipWithError("module did not play");
    return;
  }
  SongPosition position;
  for (auto _ : state) {
    headlessAudioPlay(1, nullptr);
    benchmark::DoNotOptimize(heardPosition(position));
  }
  freeSong(song);
}
BENCHMARK(BM_HeardPosition)->Unit(benchmark::kNanosecond);

}  // namespace
