// Opening the demo's data files by the paths the program quotes.
#pragma once

#include <fstream>
#include <string>

// The paths are written Windows-style (".\mask.raw"); elsewhere a backslash
// is taken as the directory separator it stands for.
std::string nativePath(const char* path);

// Opens `path` for binary reading; false when it did not open (a directory
// does not count as opened), after writing "error opening file : " and the
// path, exactly as given, on the standard output.
bool openDataFile(std::ifstream& file, const char* path);
