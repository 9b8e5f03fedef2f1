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

// Collects everything written to std::cout while it lives.
class CoutCapture {
 public:
  CoutCapture() : old_(std::cout.rdbuf(text_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(old_); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

// Little-endian writers for building files byte by byte.
void putInt16(std::vector<uint8_t>& out, int32_t value);
void putFloat(std::vector<uint8_t>& out, float value);
void putName(std::vector<uint8_t>& out, const std::string& name);
