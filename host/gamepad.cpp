// Gamepad mappings and the controller panel's view of the joystick ports.
//
// Mappings come in SDL's game controller format, the one gamepad users already
// keep in gamecontrollerdb.txt and SDL_GAMECONTROLLERCONFIG, one a line:
//   03000000de280000ff11000001000000,Steam Virtual Gamepad,a:b0,b:b1,...,platform:Linux,
// The window system reads the same format but drops a line it cannot read
// without a word, so every line is checked here first: a bad one is named and
// skipped, and only the good ones reach the window system. Nothing here calls
// GLFW; the platform does.
#include <unistd.h>

#include <cctype>
#include <cstdio>
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
// SDL's GUID for any XInput device, which only SDL on Windows can match.
const char kXinputGuid[] = "xinput";
// Hex digits 5 to 8 of a GUID: bytes 2 and 3, where SDL 2.26 and later put a
// CRC of the device's name and the window system reports zeros.
constexpr size_t kCrcDigitsFrom = 4;
constexpr size_t kCrcDigits = 4;
// Mapping text is read up to this size: the community's whole database is
// about 0.4 MB, and a file that is not mapping text must not cost more than a
// moment to pass over.
constexpr size_t kMaxMappingBytes = 4 * 1024 * 1024;
// Bad lines named one by one in each source; the rest are counted in one line.
constexpr int kReportedBadLines = 5;
const char kMappingFile[] = "./gamecontrollerdb.txt";
const char kMappingFileName[] = "gamecontrollerdb.txt";
const char kPanelOrigin[] = "made in the panel";

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

// The value of the line's platform field; empty when it has none.
std::string PlatformOf(const std::string& line) {
  const std::string key = ",platform:";
  size_t at = line.find(key);
  if (at == std::string::npos) return "";
  size_t from = at + key.size();
  return line.substr(from, line.find(',', from) - from);
}

// Up to kMaxMappingBytes of the file; empty when it cannot be read.
std::string ReadMappingFile() {
  FILE* f = std::fopen(kMappingFile, "rb");
  if (!f) return "";
  std::string text(kMaxMappingBytes + 1, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), f));
  std::fclose(f);
  if (text.size() > kMaxMappingBytes) {
    PrintLine(std::string(kMappingFileName) + ": only its first " + std::to_string(kMaxMappingBytes) +
              " bytes are read as gamepad mappings");
    text.resize(kMaxMappingBytes);
  }
  return text;
}

// Whether a line of the mapping file maps the device with the GUID `zeroed`
// on this system, in either GUID form.
bool MapsDevice(const std::string& line, const std::string& zeroed) {
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  std::string guid = line.substr(first, line.find(',', first) - first);
  std::string platform = PlatformOf(line);
  return guid.size() == kGuidLength && VoZeroedGuid(guid) == zeroed &&
         (platform.empty() || platform.compare(0, sizeof kPlatform - 1, kPlatform) == 0);
}

}  // namespace

std::string VoZeroedGuid(const std::string& guid) {
  std::string zeroed = guid;
  if (zeroed.size() == kGuidLength) zeroed.replace(kCrcDigitsFrom, kCrcDigits, kCrcDigits, '0');
  return zeroed;
}

VoMappingCheck VoCheckGamepadMapping(const std::string& line, VoGamepadMapping* mapping, std::string* error) {
  // A line for another system is none of ours, whatever else it holds.
  std::string platform = PlatformOf(line);
  if (!platform.empty() && platform.compare(0, sizeof kPlatform - 1, kPlatform) != 0)
    return VoMappingCheck::OtherPlatform;
  if (line.compare(0, sizeof kXinputGuid, std::string(kXinputGuid) + ",") == 0) {
    *error = "\"xinput\" stands for any XInput device in SDL on Windows, which GLFW cannot match";
    return VoMappingCheck::Bad;
  }
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
    if (IsElement(key) && !IsBinding(value)) {
      *error = "\"" + value + "\" is not a binding (a0, b1, h0.4, +a2, a3~) for " + key;
      return VoMappingCheck::Bad;
    }
  }
  mapping->guid = guid;
  mapping->name = name;
  return VoMappingCheck::Valid;
}

// The mapping file is read once at start-up, which is also when the
// temporary files of the panel's writes killed in an earlier run go.
void VoGlfwGame::LoadGamepadMappings() {
  VoRemoveDeadSaves(kMappingFile);
  AddGamepadMappings(ReadMappingFile(), kMappingFileName);
  if (const char* config = std::getenv("SDL_GAMECONTROLLERCONFIG"))
    AddGamepadMappings(config, "SDL_GAMECONTROLLERCONFIG");
}

int VoGlfwGame::AddGamepadMappings(const std::string& text, const std::string& source, bool numbered) {
  std::string good;
  int added = 0;
  int lineNumber = 0;
  int bad = 0;
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
    VoMappingCheck check = VoCheckGamepadMapping(line, &mapping, &error);
    if (check == VoMappingCheck::Bad && ++bad <= kReportedBadLines)
      PrintLine(source + " line " + std::to_string(lineNumber) + ": gamepad mapping skipped: " + error);
    if (check != VoMappingCheck::Valid) continue;
    // A line in SDL's newer GUID form reaches the window system with the CRC
    // digits zeroed, as it reports the device; a line that gives that GUID
    // itself wins over a converted one, whichever comes first.
    std::string guid = VoZeroedGuid(mapping.guid);
    bool converted = guid != mapping.guid;
    auto known = _mappingOrigins.find(guid);
    if (converted && known != _mappingOrigins.end() && !known->second.converted) continue;
    _mappingOrigins[guid] = {numbered ? source + " line " + std::to_string(lineNumber) : source, converted};
    good += guid + line.substr(kGuidLength) + "\n";
    ++added;
  }
  if (bad > kReportedBadLines)
    PrintLine(source + ": " + std::to_string(bad - kReportedBadLines) + " more bad gamepad mapping lines skipped");
  if (added == 0) return 0;
  if (!_platform->AddGamepadMappings(good)) {
    PrintLine("The gamepad mappings of " + source + " were refused");
    return 0;
  }
  return added;
}

bool VoGame::SaveGamepadMapping(const std::string&) { return false; }

// The file is read whole, so that every other line, however long the file,
// is written back as it was; a file that is there but cannot be read is left
// alone rather than replaced by the one line.
bool VoGlfwGame::SaveGamepadMapping(const std::string& line) {
  _platform->SetClipboard(line);
  AddGamepadMappings(line, kPanelOrigin, false);
  const std::string guid = VoZeroedGuid(line.substr(0, line.find(',')));
  int length = 0;
  unsigned char* data = LoadData(String(kMappingFile), &length);
  if (!data && access(kMappingFile, F_OK) == 0) return false;
  std::string old = data ? std::string(reinterpret_cast<char*>(data), static_cast<size_t>(length)) : "";
  std::free(data);
  std::string text;
  bool placed = false;
  for (size_t start = 0; start < old.size();) {
    size_t end = old.find('\n', start);
    end = end == std::string::npos ? old.size() : end + 1;
    std::string each = old.substr(start, end - start);
    start = end;
    if (!MapsDevice(each, guid)) {
      text += each;
      continue;
    }
    // The new line takes the place of the first old one for the device.
    if (!placed) text += line + "\n";
    placed = true;
  }
  if (!placed) text += (text.empty() || text.back() == '\n' ? "" : "\n") + line + "\n";
  return VoSaveFileAtomically(kMappingFile, text) == 0;
}

bool VoGame::DescribeJoystick(int, VoJoystickInfo*) { return false; }

bool VoGlfwGame::DescribeJoystick(int port, VoJoystickInfo* info) {
  if (port < 0 || port > 3) return false;
  if (!_platform->DescribeJoystick(port, info)) return false;
  if (!info->mapping.empty()) {
    auto known = _mappingOrigins.find(info->guid);
    info->mappingOrigin = known == _mappingOrigins.end() ? "built in" : known->second.origin;
  }
  return true;
}
