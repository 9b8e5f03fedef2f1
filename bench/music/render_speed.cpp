// render_speed PLAYER MODULE SECONDS
// Renders SECONDS of MODULE at 44100 Hz, 16-bit stereo, linear interpolation,
// with PLAYER (ours, libxmp or libopenmpt) and prints the CPU seconds the
// rendering took and the audio seconds rendered. A comparison harness only:
// the peers are never part of the demo.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "music/music.h"

#ifdef HAVE_LIBXMP
#include <xmp.h>
#endif
#ifdef HAVE_LIBOPENMPT
#include <libopenmpt/libopenmpt.h>
#endif

namespace {

constexpr int chunkFrames = 884;

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::vector<char> readAll(const char* path) {
  std::vector<char> bytes;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

// Each renderer returns the CPU seconds spent rendering, or a negative value.
double renderOurs(const char* path, int64_t frames, int64_t& checksum) {
  setFileCallbacks(memoryFileOpen, memoryFileClose, memoryFileRead, memoryFileSeek, memoryFileTell);
  Song* song = loadSong(path);
  if (!song || !startSong(song)) return -1;
  const double start = cpuSeconds();
  for (int64_t done = 0; done < frames; done += blockFrameCount()) {
    const int16_t* block = fillBlock();
    checksum += block[0];
  }
  const double used = cpuSeconds() - start;
  freeSong(song);
  return used;
}

#ifdef HAVE_LIBXMP
double renderXmp(const char* path, int64_t frames, int64_t& checksum) {
  std::vector<char> bytes = readAll(path);
  xmp_context ctx = xmp_create_context();
  if (xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())) != 0) return -1;
  xmp_start_player(ctx, 44100, 0);
  xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
  std::vector<int16_t> buffer(chunkFrames * 2);
  const double start = cpuSeconds();
  for (int64_t done = 0; done < frames; done += chunkFrames) {
    xmp_play_buffer(ctx, buffer.data(), chunkFrames * 4, 0);
    checksum += buffer[0];
  }
  const double used = cpuSeconds() - start;
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
  return used;
}
#endif

#ifdef HAVE_LIBOPENMPT
double renderOpenmpt(const char* path, int64_t frames, int64_t& checksum) {
  std::vector<char> bytes = readAll(path);
  openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr);
  if (!mod) return -1;
  openmpt_module_set_repeat_count(mod, -1);
  openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);
  std::vector<int16_t> buffer(chunkFrames * 2);
  const double start = cpuSeconds();
  for (int64_t done = 0; done < frames; done += chunkFrames) {
    openmpt_module_read_interleaved_stereo(mod, 44100, chunkFrames, buffer.data());
    checksum += buffer[0];
  }
  const double used = cpuSeconds() - start;
  openmpt_module_destroy(mod);
  return used;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_speed ours|libxmp|libopenmpt MODULE SECONDS\n");
    return 2;
  }
  const std::string player = argv[1];
  const double seconds = std::atof(argv[3]);
  const int64_t frames = static_cast<int64_t>(seconds * 44100);
  int64_t checksum = 0;
  double used = -2;
  if (player == "ours") used = renderOurs(argv[2], frames, checksum);
#ifdef HAVE_LIBXMP
  if (player == "libxmp") used = renderXmp(argv[2], frames, checksum);
#endif
#ifdef HAVE_LIBOPENMPT
  if (player == "libopenmpt") used = renderOpenmpt(argv[2], frames, checksum);
#endif
  if (used == -2) {
    std::fprintf(stderr, "render_speed: %s is not available in this build\n", player.c_str());
    return 1;
  }
  if (used < 0) {
    std::fprintf(stderr, "render_speed: %s could not load %s\n", player.c_str(), argv[2]);
    return 1;
  }
  std::printf("%.4f %.2f %lld\n", used, seconds, static_cast<long long>(checksum));
  return 0;
}
