// Opening the demo's data files by the paths the program quotes.
#pragma once

#include <cstdio>

// Opens `path` for binary reading. The paths are written Windows-style
// (".\mask.raw"); elsewhere a backslash is taken as the directory separator
// it stands for. Null when it did not open (a directory does not count as
// opened), after writing "error opening file : " and the path, exactly as
// given, on the standard output. The caller closes the file.
std::FILE* openDataFile(const char* path);

// Closes the file openDataFile gave when it goes out of scope.
struct DataFile {
  explicit DataFile(const char* path) : file(openDataFile(path)) {}
  ~DataFile() {
    if (file) std::fclose(file);
  }
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;
  std::FILE* file;
};
