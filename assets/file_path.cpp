#include "assets/file_path.h"

#include <iostream>

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
  file.open(nativePath(path), std::ios::in | std::ios::binary);
  if (file.is_open()) return true;
  std::cout << "error opening file : " << (path ? path : "") << std::endl;
  return false;
}
