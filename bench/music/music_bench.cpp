// Mixing throughput: seconds of audio rendered per second of CPU, through
// fillBlock (engine and mixer), for the generated test modules.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "music/music.h"
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

}  // namespace
