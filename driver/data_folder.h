// Finding the folder that holds the demo's data files, so that the Linux
// programs run the same from anywhere: started in that folder, or by their
// path from somewhere else (the build puts them beside their data).
#pragma once

#include <string>
#include <vector>

// The data files by the names the demo opens them with.
extern const char* const dataFileNames[9];

// True when `folder` holds any of the data files (a broken one counts: the
// demo reports it).
bool holdsDataFiles(const std::string& folder);

// The folder of the running program; empty when it cannot be told.
std::string programFolder(const char* argv0);

// Makes the data folder the current folder: the current folder when it holds
// any data file, else the program's folder when that does. False when neither
// does; the current folder is then kept and `looked` names the folders
// searched.
bool enterDataFolder(const char* argv0, std::vector<std::string>& looked);
