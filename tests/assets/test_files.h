// Scratch files for the asset tests: a fresh directory per test and a way to
// see what the loaders print.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Full path of `name` inside the directory, with '/' separators.
  std::string path(const std::string& name) const;
  // Writes `bytes` to `name` and returns its full path.
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path dir_;
};

// Collects everything written to the standard output or error (by the
// descriptor, so stdio and streams alike) from construction until the first
// call of text().
template <void (*Begin)(), std::string (*End)()>
class StandardCapture {
 public:
  StandardCapture() { Begin(); }
  ~StandardCapture() { text(); }
  StandardCapture(const StandardCapture&) = delete;
  StandardCapture& operator=(const StandardCapture&) = delete;
  const std::string& text() {
    if (!ended_) {
      text_ = End();
      ended_ = true;
    }
    return text_;
  }

 private:
  bool ended_ = false;
  std::string text_;
};

// Standard output: the mesh names and the "error opening file : " lines.
using StdoutCapture = StandardCapture<testing::internal::CaptureStdout, testing::internal::GetCapturedStdout>;
// Standard error: the loaders' other diagnostics.
using StderrCapture = StandardCapture<testing::internal::CaptureStderr, testing::internal::GetCapturedStderr>;

// Little-endian writers for building files byte by byte.
void putInt16(std::vector<uint8_t>& out, int32_t value);
void putFloat(std::vector<uint8_t>& out, float value);
void putName(std::vector<uint8_t>& out, const std::string& name);
