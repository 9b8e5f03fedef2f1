#include "tests/assets/test_files.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<int> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  dir_ =
      fs::temp_directory_path() / ("demo_assets_" + std::to_string(stamp) + "_" + std::to_string(serial.fetch_add(1)));
  fs::create_directories(dir_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string ScratchDir::path(const std::string& name) const { return (dir_ / name).generic_string(); }

std::string ScratchDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string full = path(name);
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream out(full, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return full;
}

void putInt16(std::vector<uint8_t>& out, int32_t value) {
  const uint16_t bits = uint16_t(int16_t(value));
  out.push_back(uint8_t(bits & 0xFF));
  out.push_back(uint8_t(bits >> 8));
}

void putFloat(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

void putName(std::vector<uint8_t>& out, const std::string& name) {
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
}
