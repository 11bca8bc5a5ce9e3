// quillet-assets DATA_DIR: writes every asset the program reads into DATA_DIR.
// quillet-assets --icon FILE: writes the desktop icon to FILE.
#include "tools/assets.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--icon") return generate_icon(argv[2]) ? 0 : 1;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR | --icon FILE\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  generate_pictures(dir);
  generate_sounds(dir);
  generate_music(dir);
  return 0;
}
