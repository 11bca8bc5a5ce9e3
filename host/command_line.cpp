// Options, help text and the working-folder choice of the program.
#include "host/command_line.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Exit status for a command line the program does not understand.
constexpr int kUsageError = 2;

const char* const kUsage = "usage: quillet [--help] [--version]\n";

const char* const kHelp =
    "Quillet: a small 2D game that doubles as a controller and drawing test.\n"
    "\n"
    "  -h, --help     show this text and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Controls (keyboard, mouse, up to four joysticks and an iCade cabinet act alike):\n"
    "  Up Left Right Down, W A D S    choose a game mode, move through menus\n"
    "  Z J Space Enter                start a game, press the selected button\n"
    "  X K Ctrl, C L Shift, V I, B U, N O   actions 2 to 6 (also start a game)\n"
    "  Escape Delete Backspace        pause and resume, close the credits box\n"
    "  mouse, touch                   press the on-screen buttons\n"
    "  F9                             controller panel: devices, mappings, axes, buttons\n"
    "  F10                            frame rate and scale in the corner\n"
    "  closing the window ends the game\n"
    "\n"
    "In the controller panel (F9):\n"
    "  F1 to F4   mapping wizard for the device on port 1 to 4: press or move each\n"
    "             control it names; F5 skips one, F6 goes back one, F9 leaves\n"
    "             without writing. The finished line goes into ./gamecontrollerdb.txt\n"
    "             (replacing the device's old line), applies at once, is printed\n"
    "             and put on the clipboard.\n"
    "  F7         measure the sticks' circularity afresh: the mean of |r - 1| over\n"
    "             36 sectors of 10 degrees, r the largest radius reached in each;\n"
    "             0% is a perfect circle, a square gate reads about 16.6%.\n"
    "  Drift is a stick's distance from the centre after half a second untouched.\n"
    "\n"
    "Files, in the folder the program runs from (the working folder when it\n"
    "holds data/, else the program's own folder; the installed launcher uses\n"
    "${XDG_DATA_HOME:-~/.local/share}/quillet):\n"
    "  data/                  pictures and sounds (read)\n"
    "  .dovelstate            settings, badges and scores (read and written)\n"
    "  gamecontrollerdb.txt   extra gamepad mappings (read when present, the first\n"
    "                         4 MiB; the panel's wizard writes its lines here)\n"
    "The environment variable SDL_GAMECONTROLLERCONFIG adds gamepad mappings,\n"
    "one per line. A line whose GUID carries SDL 2.26's CRC of the name in hex\n"
    "digits 5 to 8 (0300b7e6...) also applies to the device GLFW reports with\n"
    "those digits zeroed (03000000...); a line giving the zeroed GUID wins.\n";

bool IsFolder(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// Every path the program reads and writes is relative to the folder holding
// data/, so a start from elsewhere moves there first; otherwise the window
// would stay empty without a word.
void ChooseWorkingFolder() {
  if (IsFolder("data")) return;
  std::error_code error;
  std::filesystem::path here = std::filesystem::current_path(error);
  std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  if (!own.empty() && IsFolder(own / "data")) {
    std::filesystem::current_path(own, error);
    if (!error) return;
  }
  std::string looked = own.empty() || own == here ? here.string() : here.string() + " or " + own.string();
  std::fprintf(stderr,
               "quillet: no data folder in %s; start the program from the folder that holds data/ "
               "(\"make run\" from the source folder) or run the installed launcher \"quillet\"\n",
               looked.c_str());
}

}  // namespace

int VoCommandLine(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (option[0] != '-') continue;
    if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (!std::strcmp(option, "--version") || !std::strcmp(option, "-V")) {
      std::printf("quillet %s\n", QUILLET_VERSION);
      return 0;
    }
    std::fprintf(stderr, "quillet: unknown option '%s'\n", option);
    std::fputs(kUsage, stderr);
    return kUsageError;
  }
  ChooseWorkingFolder();
  return kVoKeepRunning;
}
