#include "assets/file_path.h"

#include <cstring>
#include <vector>

std::FILE* openDataFile(const char* path) {
  if (!path) path = "";
  std::vector<char> native(path, path + std::strlen(path) + 1);
#ifndef _WIN32
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
#endif
  std::FILE* file = std::fopen(native.data(), "rb");
  if (file) {
    // POSIX lets a directory be opened for reading and only fails the reads,
    // which would pass for an empty file; Windows refuses it. Refuse it here
    // too: a directory's first read is an error where a file's is a byte or
    // the end.
    const int first = std::fgetc(file);
    if (first != EOF || !std::ferror(file)) {
      if (first != EOF) std::ungetc(first, file);
      return file;
    }
    std::fclose(file);
  }
  std::printf("error opening file : %s\n", path);
  std::fflush(stdout);
  return nullptr;
}
