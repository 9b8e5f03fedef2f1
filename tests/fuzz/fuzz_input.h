// Shared by the asset fuzz targets: the loaders take paths, so every input is
// written to a file of this process's own (in memory where /dev/shm exists)
// before the loader reads it. The loaders' lines on the standard output are
// swallowed: printing them for millions of inputs would cost more than the
// loading. Their diagnostics on the standard error go with libFuzzer's own
// report unless the run closes it (-close_fd_mask=2, as run_fuzz.sh does).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzz {

// The path every input of this process is written to; removed at exit.
inline const std::string& inputPath() {
  static const std::string path = [] {
    std::error_code error;
    std::filesystem::path dir = "/dev/shm";
    if (!std::filesystem::is_directory(dir, error)) dir = std::filesystem::temp_directory_path();
    std::string p = (dir / ("demo_fuzz_" + std::to_string(getpid()) + ".bin")).string();
    static std::string removeAtExit;
    removeAtExit = p;
    std::atexit([] { std::remove(removeAtExit.c_str()); });
    return p;
  }();
  return path;
}

// Writes the input to inputPath(); a failure here is the harness's, not the
// loader's, so it stops the run.
inline const char* writeInput(const uint8_t* data, size_t size) {
  const std::string& path = inputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
    std::fprintf(stderr, "fuzz harness: cannot write %s\n", path.c_str());
    std::abort();
  }
  return path.c_str();
}

// A broken expectation: say which and stop, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void silenceStandardOutput() {
  if (!std::freopen("/dev/null", "w", stdout)) fail("cannot send the standard output to /dev/null");
}

inline int32_t int16At(const uint8_t* b) { return int16_t(uint16_t(b[0] | b[1] << 8)); }

inline uint32_t uint32At(const uint8_t* b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

inline uint32_t floatBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

}  // namespace fuzz
