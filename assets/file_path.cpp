#include "assets/file_path.h"

#include <filesystem>
#include <iostream>
#include <system_error>

std::string nativePath(const char* path) {
  std::string result = path ? path : "";
#ifndef _WIN32
  for (char& c : result) {
    if (c == '\\') c = '/';
  }
#endif
  return result;
}

bool openDataFile(std::ifstream& file, const char* path) {
  const std::string native = nativePath(path);
  // POSIX lets a directory be opened for reading and only fails the reads,
  // which would pass for an empty file; Windows refuses it. Refuse it here too.
  std::error_code error;
  if (!std::filesystem::is_directory(native, error)) {
    file.open(native, std::ios::in | std::ios::binary);
    if (file.is_open()) return true;
  }
  std::cout << "error opening file : " << (path ? path : "") << std::endl;
  return false;
}
