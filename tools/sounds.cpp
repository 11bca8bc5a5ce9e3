#include "tools/assets.h"

void generate_sounds(const std::string&) {}
