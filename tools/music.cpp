#include "tools/assets.h"

void generate_music(const std::string&) {}
