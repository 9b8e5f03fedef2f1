// The audio thread runs at the highest priority and must never wait on the
// heap: everything it uses is allocated by playSong. This program replaces
// glibc's allocation entry points (and so operator new, which uses them) with
// ones that count the calls made by any thread but the test's own. Built
// against the headless device and, on Linux, against SDL's.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <thread>

#ifndef AUDIO_DEVICE_SDL
#include "music/audio_headless.h"
#endif
#include "tests/music/test_support.h"
#include "tools/make_test_modules/test_modules.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<long> foreignAllocations{0};
pthread_t testThread;

void note() {
  if (counting.load(std::memory_order_relaxed) && !pthread_equal(pthread_self(), testThread)) {
    foreignAllocations.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
  note();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  note();
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  note();
  return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
  note();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  note();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  note();
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}

TEST(AudioAllocation, TheCounterSeesAnotherThreadsAllocation) {
  testThread = pthread_self();
  foreignAllocations = 0;
  counting = true;
  std::thread([] {
    int* volatile p = new int(3);  // volatile: the new-expression may not be elided
    delete p;
  }).join();
  counting = false;
  // The std::thread's own state is allocated here, on the test's thread.
  EXPECT_EQ(foreignAllocations.load(), 1);
}

#ifndef AUDIO_DEVICE_SDL
TEST(AudioAllocation, TheAudioThreadAllocatesNothing) {
  Song* song = testing_music::loadModule(xm::effectsModule());
  ASSERT_NE(song, nullptr);
  testThread = pthread_self();
  foreignAllocations = 0;
  counting = true;
  ASSERT_TRUE(playSong(song));
  // Two rings and a half, in steps of a little more than a block.
  for (uint32_t played = 0; played < 221000; played += 900) {
    headlessAudioPlay(900, nullptr);
    const uint32_t fills = 100 + (played + 900) / 884;
    while (player.blocksFilled.load() < fills) std::this_thread::yield();
  }
  EXPECT_TRUE(stopPlayback(song));
  counting = false;
  EXPECT_EQ(foreignAllocations.load(), 0);
  freeSong(song);
}
#else
// SDL's dummy driver consumes the sound in real time on SDL's own thread,
// through the callback that copies from the ring. Counted once both threads
// are under way (SDL allocates while it starts its thread): from then on
// neither the callback nor the audio thread may allocate.
TEST(AudioAllocation, NeitherTheCallbackNorTheAudioThreadAllocates) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  Song* song = testing_music::loadModule(xm::effectsModule());
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(playSong(song));
  // Under way: the callback has played a block and the thread refilled it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto waitForFills = [&](uint32_t count) {
    while (player.blocksFilled.load() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  waitForFills(102);
  testThread = pthread_self();
  foreignAllocations = 0;
  counting = true;
  // A whole ring refilled: more than two seconds of sound played.
  waitForFills(207);
  counting = false;
  EXPECT_GE(player.blocksFilled.load(), 207u);
  EXPECT_EQ(foreignAllocations.load(), 0);
  EXPECT_TRUE(freeSong(song));
}
#endif
