// Writes the modules the benchmarks and player comparisons play:
//   make_test_modules DIRECTORY
// writes channels32.xm, effects.xm and amiga.xm there.
#include <cstdio>
#include <string>

#include "tools/make_test_modules/test_modules.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_modules DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::pair<const char*, xm::Module> modules[] = {
      {"channels32.xm", xm::channels32Module()}, {"effects.xm", xm::effectsModule()}, {"amiga.xm", xm::amigaModule()}};
  for (const auto& [name, module] : modules) {
    if (!xm::writeFile(module, dir + "/" + name)) {
      std::fprintf(stderr, "make_test_modules: cannot write %s/%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
