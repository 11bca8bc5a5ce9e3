// quillet-assets DATA_DIR: writes every asset the program reads into DATA_DIR.
#include "tools/assets.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  generate_pictures(dir);
  generate_sounds(dir);
  generate_music(dir);
  return 0;
}
