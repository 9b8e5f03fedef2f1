#include "driver/data_folder.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

const char* const dataFileNames[9] = {"lu09.df",    "fernoth.df", "model.hax", "mask.raw",   "part.raw",
                                      "bolinde.df", "wex.df",     "talmek.df", "quenvar2.xm"};

bool holdsDataFiles(const std::string& folder) {
  for (const char* name : dataFileNames) {
    std::error_code error;
    if (fs::exists(fs::path(folder) / name, error)) return true;
  }
  return false;
}

std::string programFolder(const char* argv0) {
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error || program.empty()) {
    // Without /proc, a path in argv[0] still tells (a bare name came from
    // PATH, which says nothing reliable).
    const std::string given = argv0 ? argv0 : "";
#ifdef _WIN32
    if (given.find_first_of("/\\") == std::string::npos) return "";
#else
    if (given.find('/') == std::string::npos) return "";
#endif
    program = fs::absolute(given, error);
    if (error) return "";
  }
  return program.parent_path().string();
}

bool enterDataFolder(const char* argv0, std::vector<std::string>& looked) {
  std::error_code error;
  const std::string current = fs::current_path(error).string();
  looked.assign(1, error ? std::string(".") : current);
  if (holdsDataFiles(".")) return true;
  const std::string beside = programFolder(argv0);
  if (beside.empty() || beside == current) return false;
  looked.push_back(beside);
  if (!holdsDataFiles(beside)) return false;
  fs::current_path(beside, error);
  return !error;
}
