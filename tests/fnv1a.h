// 64-bit FNV-1a, the hash the tests pin generated files and frames with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline uint64_t fnv1a(const void* data, size_t bytes, uint64_t hash = 14695981039346656037ull) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  return hash;
}

inline uint64_t fnv1a(const std::vector<uint8_t>& bytes) { return fnv1a(bytes.data(), bytes.size()); }
