// Scratch files for the asset tests: a fresh directory per test and a way to
// see what the loaders print.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <sstream>
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

// Collects everything written to a standard stream while it lives.
class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream) : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}
  ~StreamCapture() { stream_.rdbuf(old_); }
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::ostream& stream_;
  std::streambuf* old_;
};

// Standard output: the mesh names and the "error opening file : " lines.
class CoutCapture : public StreamCapture {
 public:
  CoutCapture() : StreamCapture(std::cout) {}
};

// Standard error: the loaders' other diagnostics.
class CerrCapture : public StreamCapture {
 public:
  CerrCapture() : StreamCapture(std::cerr) {}
};

// Little-endian writers for building files byte by byte.
void putInt16(std::vector<uint8_t>& out, int32_t value);
void putFloat(std::vector<uint8_t>& out, float value);
void putName(std::vector<uint8_t>& out, const std::string& name);
