// The asset generator writes every file the program reads into one data folder.
// Each family of assets has its own source; all output is deterministic.
#pragma once
#include <string>

// Pictures: fonts, icons, buttons, title art, badges (PNG).
void generate_pictures(const std::string& dataDir);
// Sound effects (16-bit PCM WAV).
void generate_sounds(const std::string& dataDir);
// Tune sheets (PNG) and instrument samples (WAV) for the music player.
void generate_music(const std::string& dataDir);
// The desktop icon (PNG, 256 x 256) written to path; false on failure.
bool generate_icon(const std::string& path);
