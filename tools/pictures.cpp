#include "tools/assets.h"

void generate_pictures(const std::string&) {}
