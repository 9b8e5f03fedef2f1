// make_assets OUTPUT_DIR: writes the demo's data files into OUTPUT_DIR.
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/make_assets/make_assets.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_assets OUTPUT_DIR\n";
    return 2;
  }
  try {
    for (const AssetFile& file : makeAssetFiles()) {
      const std::string path = std::string(argv[1]) + "/" + file.name;
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(file.bytes.data()), std::streamsize(file.bytes.size()));
      out.close();
      if (!out) {
        std::cerr << "make_assets: cannot write " << path << "\n";
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "make_assets: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
