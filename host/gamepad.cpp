// Gamepad mappings and the controller panel's view of the joystick ports.
//
// Mappings come in SDL's game controller format, the one gamepad users already
// keep in gamecontrollerdb.txt and SDL_GAMECONTROLLERCONFIG, one a line:
//   03000000de280000ff11000001000000,Steam Virtual Gamepad,a:b0,b:b1,...,platform:Linux,
// The window system reads the same format but drops a line it cannot read
// without a word, so every line is checked here first: a bad one is named and
// skipped, and only the good ones reach the window system. Nothing here calls
// GLFW; the platform does.
#include <cctype>
#include <cstdlib>

#include "host/game.h"

namespace {

constexpr size_t kGuidLength = 32;
// The window system keeps at most 127 bytes of a name and ignores longer lines
// than 1023 bytes altogether.
constexpr size_t kMaxNameLength = 127;
constexpr size_t kMaxLineLength = 1023;
// The platform name that mappings for this system carry.
const char kPlatform[] = "Linux";

// The gamepad elements whose binding the window system reads; other keys are
// passed over, as SDL's newer elements (paddles, touchpad) are.
const char* const kElements[] = {
    "a",         "b",          "x",     "y",       "back",   "start",  "guide",       "leftshoulder", "rightshoulder",
    "leftstick", "rightstick", "dpup",  "dpright", "dpdown", "dpleft", "lefttrigger", "righttrigger", "leftx",
    "lefty",     "rightx",     "righty"};

bool IsElement(const std::string& key) {
  for (const char* element : kElements)
    if (key == element) return true;
  return false;
}

bool IsDigits(const std::string& s, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

// A binding: an optional + or - (half an axis), then a<n> (axis), b<n>
// (button) or h<n>.<bit> (hat direction), then an optional ~ (inverted).
bool IsBinding(const std::string& v) {
  size_t from = v[0] == '+' || v[0] == '-' ? 1 : 0;
  size_t to = !v.empty() && v.back() == '~' ? v.size() - 1 : v.size();
  if (from >= to) return false;
  char kind = v[from];
  if (kind == 'a' || kind == 'b') return IsDigits(v, from + 1, to);
  if (kind != 'h') return false;
  size_t dot = v.find('.', from);
  return dot < to && IsDigits(v, from + 1, dot) && IsDigits(v, dot + 1, to);
}

// One log line from UTF-8 text (names and environment values may be any text).
void PrintLine(const std::string& text) {
  voPrint(String::Load(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size())));
}

}  // namespace

VoMappingCheck VoCheckGamepadMapping(const std::string& line, VoGamepadMapping* mapping, std::string* error) {
  if (line.size() > kMaxLineLength) {
    *error = "longer than " + std::to_string(kMaxLineLength) + " characters";
    return VoMappingCheck::Bad;
  }
  size_t comma = line.find(',');
  std::string guid = line.substr(0, comma);
  bool hex = guid.size() == kGuidLength;
  for (char c : guid) hex = hex && std::isxdigit(static_cast<unsigned char>(c));
  if (!hex || comma == std::string::npos) {
    *error = "the GUID must be 32 hexadecimal digits followed by a comma";
    return VoMappingCheck::Bad;
  }
  size_t nameEnd = line.find(',', comma + 1);
  std::string name = line.substr(comma + 1, nameEnd == std::string::npos ? std::string::npos : nameEnd - comma - 1);
  if (nameEnd == std::string::npos || name.empty() || name.size() > kMaxNameLength) {
    *error = "the name must be 1 to " + std::to_string(kMaxNameLength) + " characters followed by a comma";
    return VoMappingCheck::Bad;
  }
  for (size_t start = nameEnd + 1; start < line.size();) {
    size_t end = line.find(',', start);
    if (end == std::string::npos) end = line.size();
    std::string field = line.substr(start, end - start);
    start = end + 1;
    if (field.empty()) continue;
    size_t colon = field.find(':');
    if (colon == std::string::npos) {
      *error = "\"" + field + "\" is not of the form element:binding";
      return VoMappingCheck::Bad;
    }
    std::string key = field.substr(0, colon);
    std::string value = field.substr(colon + 1);
    if (key == "platform") {
      if (value.compare(0, sizeof kPlatform - 1, kPlatform) != 0) return VoMappingCheck::OtherPlatform;
    } else if (IsElement(key) && !IsBinding(value)) {
      *error = "\"" + value + "\" is not a binding (a0, b1, h0.4, +a2, a3~) for " + key;
      return VoMappingCheck::Bad;
    }
  }
  mapping->guid = guid;
  mapping->name = name;
  return VoMappingCheck::Valid;
}

void VoGlfwGame::LoadGamepadMappings() {
  AddGamepadMappings(LoadString(String("./gamecontrollerdb.txt")).ToUtf8(), "gamecontrollerdb.txt");
  if (const char* config = std::getenv("SDL_GAMECONTROLLERCONFIG"))
    AddGamepadMappings(config, "SDL_GAMECONTROLLERCONFIG");
}

int VoGlfwGame::AddGamepadMappings(const std::string& text, const std::string& source) {
  std::string good;
  int added = 0;
  int lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    // A CR LF pair ends one line, not two.
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    ++lineNumber;
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    line.erase(0, first);
    VoGamepadMapping mapping;
    std::string error;
    switch (VoCheckGamepadMapping(line, &mapping, &error)) {
      case VoMappingCheck::Bad:
        PrintLine(source + " line " + std::to_string(lineNumber) + ": gamepad mapping skipped: " + error);
        break;
      case VoMappingCheck::OtherPlatform:
        break;
      case VoMappingCheck::Valid:
        good += line + "\n";
        ++added;
        break;
    }
  }
  if (added == 0) return 0;
  if (!_platform->AddGamepadMappings(good)) {
    PrintLine("The gamepad mappings of " + source + " were refused");
    return 0;
  }
  return added;
}

bool VoGame::DescribeJoystick(int, VoJoystickInfo*) { return false; }

bool VoGlfwGame::DescribeJoystick(int port, VoJoystickInfo* info) {
  if (port < 0 || port > 3) return false;
  return _platform->DescribeJoystick(port, info);
}
