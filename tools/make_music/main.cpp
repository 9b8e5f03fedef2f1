// make_music OUTPUT_DIR: writes the demo's music, "quenvar2.xm", into OUTPUT_DIR.
#include <cstdio>
#include <exception>
#include <string>

#include "tools/make_music/make_music.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_music OUTPUT_DIR\n");
    return 2;
  }
  try {
    const std::string path = std::string(argv[1]) + "/quenvar2.xm";
    if (!xm::writeFile(music_gen::makeModule(), path)) {
      std::fprintf(stderr, "make_music: cannot write %s\n", path.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_music: %s\n", e.what());
    return 1;
  }
  return 0;
}
