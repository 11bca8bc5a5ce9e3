// The application host: the process-wide game object, its delegate interface,
// the desktop window, the fixed-rate loop, files and the saved state.
//
// Class tree: VoGame (platform-neutral state flags, fenced delegate calls,
// files, state, dates) <- VoGlfwGame (window, clock, joysticks and the loop,
// over a VoPlatform) <- VoDovelGame (adds only the static entry Main). There
// is one instance per process, reachable as VoGame::_game.
//
// Only host/ talks to GLFW or Emscripten. Everything the host needs from the
// system it runs on (window, context, swap, sizes, events, clock, focus and
// visibility, joysticks, the state file's storage) goes through the one
// VoPlatform interface: the desktop implements it over GLFW
// (glfw_window.cpp), the browser over Emscripten's HTML5 calls
// (web_platform.cpp), and a test replaces it with a fake clock and window (see
// tests/support/test_host.h) to run the whole stack headless.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "runtime/dovel.h"

struct VoJoystickInfo;

// Game event codes: the `event` argument of the four event operations.
struct VoGameEvent {
  static constexpr int KeyDown = 1;
  static constexpr int KeyUp = 2;
  static constexpr int KeyChar = 3;
  static constexpr int MouseDown = 4;
  static constexpr int MouseUp = 5;
  static constexpr int MouseMove = 6;
  static constexpr int TouchDown = 7;
  static constexpr int TouchUp = 8;
  static constexpr int TouchMove = 9;
  static constexpr int MotionAccel = 10;
};

// Runtime key codes with a host meaning: both end the application.
constexpr int KEY_BACK = 416;
constexpr int KEY_CLOSE = 432;

// Receiver of every lifecycle and input call of the host; the framework's
// c_GameDelegate implements it. Each operation does nothing here.
class VoGameDelegate : public Object {
 public:
  virtual void StartGame() {}
  virtual void SuspendGame() {}
  virtual void ResumeGame() {}
  virtual void UpdateGame() {}
  virtual void RenderGame() {}
  virtual void KeyEvent(int, int) {}
  virtual void MouseEvent(int, int, float, float) {}
  virtual void TouchEvent(int, int, float, float) {}
  virtual void MotionEvent(int, int, float, float, float) {}
  virtual void DiscardGraphics() {}
};

class VoGame {
 public:
  VoGame();
  virtual ~VoGame();

  virtual void SetDelegate(VoGameDelegate* delegate);
  virtual VoGameDelegate* Delegate();
  virtual void SetKeyboardEnabled(bool enabled);
  virtual bool KeyboardEnabled();
  virtual void SetUpdateRate(int hertz);
  virtual int UpdateRate();
  virtual bool Started();
  virtual bool Suspended();
  // Milliseconds since start-up as a 32-bit counter: after 2^31 ms (24.8
  // days) it wraps to INT_MIN and counts on, so readings are compared only by
  // their difference.
  virtual int Millisecs();
  // The 32-bit counter value of a millisecond count: ms modulo 2^32 as a
  // signed int.
  static int WrapMillisecs(long long ms);
  virtual void GetDate(Array<int> date);
  // 0 saved, -1 state file not opened, -2 write incomplete; the old state
  // file is left untouched on failure.
  virtual int SaveState(String state);
  virtual String LoadState();
  virtual String LoadString(String path);
  // Writes `line`, a mapping line made in the controller panel, into
  // ./gamecontrollerdb.txt in place of any line for its GUID (every other
  // line stays as it was), hands it to the window system at once and puts it
  // on the clipboard. False when the file could not be written.
  virtual bool SaveGamepadMapping(const std::string& line);
  virtual bool PollJoystick(int port, Array<float> joyx, Array<float> joyy, Array<float> joyz, Array<bool> buttons);
  // What the window system tells about the device at `port` (0-3), for the
  // controller panel; false when no device is there. Changes nothing.
  virtual bool DescribeJoystick(int port, VoJoystickInfo* info);
  virtual void OpenUrl(String url);
  virtual void SetMouseVisible(bool visible);
  virtual String PathToFilePath(String path);
  virtual FILE* OpenFile(String path, String mode);
  // Whole file as a malloc'd block (caller frees); null when it cannot be opened.
  virtual unsigned char* LoadData(String path, int* length);
  [[noreturn]] virtual void Die(ThrowableObject* ex);
  // Marks the delegate as a root, then runs one collector step.
  virtual void gc_collect();

  // Fenced delegate calls: skipped in the wrong state, an escaping
  // ThrowableObject* goes to Die, one collector step follows each call.
  virtual void StartGame();
  virtual void SuspendGame();
  virtual void ResumeGame();
  virtual void UpdateGame();
  virtual void RenderGame();
  virtual void KeyEvent(int event, int data);
  virtual void MouseEvent(int event, int data, float x, float y);
  virtual void TouchEvent(int event, int data, float x, float y);
  virtual void MotionEvent(int event, int data, float x, float y, float z);
  virtual void DiscardGraphics();

  static VoGame* _game;

  VoGameDelegate* _delegate = nullptr;
  bool _keyboardEnabled = false;
  int _updateRate = 0;
  bool _started = false;
  bool _suspended = false;
};

// Device state of one joystick as the window system reports it. `gamepad`
// tells that the device has a known gamepad mapping; then padAxes/padButtons
// hold the standard layout (GLFW gamepad order), otherwise axes/buttons hold
// the raw device report.
struct VoJoystickState {
  bool gamepad = false;
  int axisCount = 0;
  float axes[6] = {};
  int buttonCount = 0;
  bool buttons[32] = {};
  float padAxes[6] = {};
  bool padButtons[15] = {};
};

// Everything the controller panel shows of the device at one joystick port:
// its identity, whether a gamepad mapping was found for it, its raw report
// (hats apart from the buttons), and the state the game reads from it.
struct VoJoystickInfo {
  static constexpr int MaxAxes = 16;
  static constexpr int MaxButtons = 32;
  static constexpr int MaxHats = 4;
  std::string name;
  std::string guid;
  // The gamepad mapping's name; empty when the device has no mapping.
  std::string mapping;
  // Where the mapping line that applies came from: "built in",
  // "gamecontrollerdb.txt line N", "SDL_GAMECONTROLLERCONFIG line N" or
  // "made in the panel"; empty without a mapping.
  std::string mappingOrigin;
  // False where the platform maps devices itself (a browser): there GUIDs
  // and SDL mapping lines mean nothing, and the panel offers neither.
  bool mappingLinesApply = true;
  int axisCount = 0;
  float axes[MaxAxes] = {};
  int buttonCount = 0;
  bool buttons[MaxButtons] = {};
  // How far each button is pressed, 0 to 1: analog where the device reports
  // it (a browser's triggers), else 0 or 1 as `buttons`.
  float buttonValues[MaxButtons] = {};
  int hatCount = 0;
  // Direction bits of each hat: 1 up, 2 right, 4 down, 8 left.
  int hats[MaxHats] = {};
  VoJoystickState state;
};

// The game's joystick button number that gamepad button `padButton` (GLFW
// gamepad order, 0-14) drives; -1 for none.
int VoGamepadButtonToGame(int padButton);

// Hat bits in the order the window system also reports them as buttons,
// after the device's own buttons: up, right, down, left.
constexpr int VoHatBits[4] = {1, 2, 4, 8};

// One line of SDL's game controller mapping format:
//   GUID,name,element:binding,...[,platform:Linux],
enum class VoMappingCheck { Valid, OtherPlatform, Bad };
struct VoGamepadMapping {
  std::string guid;
  std::string name;
};
// Checks one mapping line as the window system will read it; on Valid fills
// `mapping`, on Bad says why in `error`. OtherPlatform lines are meant for
// another system and are left out without a word.
VoMappingCheck VoCheckGamepadMapping(const std::string& line, VoGamepadMapping* mapping, std::string* error);
// A GUID as the window system reports it on Linux: hex digits 5 to 8, where
// SDL 2.26 and later put a CRC of the device's name, zeroed.
std::string VoZeroedGuid(const std::string& guid);

// Replaces the file at `path` with `bytes` so that a crash or a failed write
// at any point leaves either the old file or the new one, never a mixture.
// The replacement keeps the old file's permission bits, and a symbolic link
// at `path` keeps pointing at the replaced file. Where no temporary file can
// be made (a folder the player may not write to) a writable file is
// rewritten in place instead; any other failure to make one (a full disk)
// leaves the old file alone. Returns 0, -1 when the file cannot be created
// or replaced, -2 when the bytes could not be written completely.
int VoSaveFileAtomically(const std::string& path, const std::string& bytes);
// Removes the temporary files that writes of `path` (beside the file a
// symbolic link leads to) left behind when their process died mid-write.
void VoRemoveDeadSaves(const std::string& path);

// Fills the four joystick arrays of the input device from one device state:
// sticks -1..1 with up and right positive, [0] left stick, [1] right stick,
// joyz[0]/joyz[1] the triggers; gamepad buttons A 0, B 1, X 2, Y 3, LB 4,
// RB 5, BACK 6, START 7, LEFT 8, UP 9, RIGHT 10, DOWN 11.
void VoMapJoystick(const VoJoystickState& state, Array<float> joyx, Array<float> joyy, Array<float> joyz,
                   Array<bool> buttons);

// When the loop wants its next pass: at once, after `seconds`, once at least
// one event has arrived, or never (the window is no longer open).
struct VoNextPass {
  enum Kind { Now, After, OnEvent, Stop };
  Kind kind = Now;
  double seconds = 0;
};

// One display mode: pixel size and bits per colour channel.
struct VoDisplayMode {
  int width = 0;
  int height = 0;
  int red = 0;
  int green = 0;
  int blue = 0;
};

// The system the host runs on: the desktop's window system (GLFW), a browser
// page, or a test's fake. The host reaches it only through these calls.
class VoPlatform {
 public:
  virtual ~VoPlatform();

  // Opens the one window (closing an earlier one) with its drawing context
  // made current; false when that failed. Keys held in an earlier window are
  // released first, as KeyUp events to the host.
  virtual bool OpenWindow(int width, int height, int red, int green, int blue, int alpha, int depth, int stencil,
                          bool fullscreen) = 0;
  // False before the window opened and once it is gone for good.
  virtual bool WindowOpen() = 0;
  // A drawing context is current, so OpenGL calls reach a real one.
  virtual bool HasContext() = 0;
  // Presents the frame just drawn.
  virtual void SwapBuffers() = 0;
  // The drawing size in pixels; 0 x 0 without a window.
  virtual void FramebufferSize(int* width, int* height) = 0;
  virtual void SetCursorVisible(bool visible) = 0;
  virtual VoDisplayMode DesktopMode() = 0;
  virtual std::vector<VoDisplayMode> DisplayModes() = 0;

  // Seconds since the platform started.
  virtual double Time() = 0;
  // Runs the callbacks of every pending event (they reach the host's fenced
  // event calls); input arrives only here.
  virtual void PollEvents() = 0;
  // Waits as the loop's pass asked: sleeps, or blocks until an event
  // arrives and runs its callbacks. Never called with Stop.
  virtual void Wait(const VoNextPass& next) = 0;

  // The window cannot be seen (iconified; a hidden page).
  virtual bool Iconified() = 0;
  // The window has the input focus.
  virtual bool Active() = 0;
  // False when no joystick is present at the port (0-3).
  virtual bool ReadJoystick(int port, VoJoystickState* state) = 0;
  // The panel's view of the port, the game's state included; false when no
  // joystick is present, also when it goes away while being read.
  virtual bool DescribeJoystick(int port, VoJoystickInfo* info) = 0;
  // Adds checked mapping lines (newline separated) to the window system's
  // gamepad mappings; a mapping for a GUID already known replaces it.
  virtual bool AddGamepadMappings(const std::string& lines) = 0;

  // Keeps the state text whole (0), or says why not: -1 not stored, -2
  // written incompletely. The earlier state stays when storing fails.
  virtual int SaveState(String state) = 0;
  // The state text kept last; empty when there is none.
  virtual String LoadState() = 0;
  // Opens a link with the system's handler for it.
  virtual void OpenUrl(String url) = 0;
  // Sound can be heard now (a browser page allows it only after the
  // player's first key, click or touch).
  virtual bool SoundAllowed() = 0;
  // Puts text on the system's clipboard (the panel's new mapping line).
  virtual void SetClipboard(const std::string& text) = 0;
};

// The desktop's state file "./.dovelstate" and links, shared by the desktop
// platform and the test host: the replacement of the state file (see
// VoGame::SaveState), its reading, and the hand-over of a link to xdg-open.
int VoSaveStateFile(String state);
String VoLoadStateFile();
void VoOpenUrlOnDesktop(String url);

// The platform VoGlfwGame starts on: the desktop's or the browser's, by build.
VoPlatform* VoDefaultPlatform();

// One display mode as the language sees it.
class VoGlfwVideoMode : public Object {
 public:
  // User-provided so that `new VoGlfwVideoMode()` does not zero the header
  // the collector wrote before the constructor runs.
  VoGlfwVideoMode() {}
  int width = 0;
  int height = 0;
  int red = 0;
  int green = 0;
  int blue = 0;
};

class VoGlfwGame : public VoGame {
 public:
  VoGlfwGame();
  ~VoGlfwGame() override;

  void SetUpdateRate(int hertz) override;
  int Millisecs() override;
  bool PollJoystick(int port, Array<float> joyx, Array<float> joyy, Array<float> joyz, Array<bool> buttons) override;
  bool DescribeJoystick(int port, VoJoystickInfo* info) override;
  void OpenUrl(String url) override;
  void SetMouseVisible(bool visible) override;
  String PathToFilePath(String path) override;
  int SaveState(String state) override;
  String LoadState() override;

  // Also collects after an update that ends a run of picture loads; see
  // ReleaseReplacedPictures.
  void UpdateGame() override;

  // Decoded image pixels (rows top first, depth 1-4 bytes per pixel), malloc'd.
  virtual unsigned char* LoadImageData(String path, int* width, int* height, int* depth);
  // Decoded PCM samples, malloc'd; format is bytes per sample.
  virtual unsigned char* LoadAudioData(String path, int* length, int* channels, int* format, int* hertz);
  virtual void SetGlfwWindow(int width, int height, int red, int green, int blue, int alpha, int depth, int stencil,
                             bool fullscreen);
  // Opens the window and runs the loop until the window is no longer open.
  virtual void Run();
  // Reads gamepad mappings from ./gamecontrollerdb.txt, then from the
  // SDL_GAMECONTROLLERCONFIG environment variable (which wins for a GUID in
  // both). The first few bad lines of each are reported, the rest counted.
  void LoadGamepadMappings();
  // Checks the mapping lines of `text` and hands the good ones to the window
  // system; `source` names the text in the messages and, with the line's
  // number when `numbered`, the mapping's origin. Returns the number added.
  int AddGamepadMappings(const std::string& text, const std::string& source, bool numbered = true);
  bool SaveGamepadMapping(const std::string& line) override;

  // Graphics driver services: whether GL calls reach a real context (a
  // window has been opened and the platform has its context current);
  // present the back buffer; framebuffer size in pixels.
  bool HasContext();
  virtual void SwapBuffers();
  // Audio driver service: sound can be heard now.
  bool SoundAllowed();
  virtual void GetWindowSize(int* width, int* height);

  // Window callbacks in runtime terms (GLFW key codes in, game events out).
  static void OnKey(int key, int action);
  static void OnChar(int chr, int action);
  static void OnMouseButton(int button, int action);
  static void OnMousePos(int x, int y);
  static int OnWindowClose();

  // GLFW key code -> runtime key code (0: ignored).
  static int TransKey(int key);
  // Runtime key code -> character it types (0: none).
  static int KeyToChar(int key);

  VoGlfwVideoMode* GetGlfwDesktopMode();
  Array<VoGlfwVideoMode*> GetGlfwVideoModes();

  static VoGlfwGame* _glfwGame;

  bool _iconified = false;
  double _nextUpdate = 0;
  double _updatePeriod = 0;
  // How early (seconds) a pass may run an update that is not yet due. 0 on
  // the desktop, which sleeps to the moment. A browser runs passes only once
  // an animation frame: an update due before the middle of the next frame
  // is nearer its time now than then, and waiting would leave the frame
  // undrawn and crowd two updates into the next.
  double _earlyUpdate = 0;
  // Everything the host needs from the system it runs on.
  VoPlatform* _platform;
  // Pictures decoded since the last ReleaseReplacedPictures.
  int _pictureLoads = 0;
  // Where the mapping handed to the window system for each GUID came from,
  // and whether its line gave the GUID in SDL's newer form.
  struct MappingOrigin {
    std::string origin;
    bool converted = false;
  };
  std::map<std::string, MappingOrigin> _mappingOrigins;

  // Run's parts: open the window, start and draw the first frame; then
  // passes of the loop. A pass never blocks: it says when it wants the next
  // one. The desktop waits that long in Step; a browser page runs a pass
  // every animation frame instead.
  void BeginRun();
  VoNextPass RunPass();
  // One pass and the platform's wait it asks for; false once the window is
  // no longer open.
  bool Step();

 protected:
  // Destroys every object that is garbage now, the replaced pictures with
  // their pixels and textures among them.
  void ReleaseReplacedPictures();
};

class VoDovelGame : public VoGlfwGame {
 public:
  static int Main(int argc, const char** argv);
};

// Incremented whenever the host opens a window (and with it a GL context).
extern int glfwGraphicsSeq;
extern int argc;
extern const char** argv;

// The translated program's initialiser and entry (defined by the game); the
// language start-up that calls them is in host/start.h.
int voInit();
int voMain();

// Resource URL for a language path: "menu" -> "dovel://data/menu".
String vo_data_FixDataPath(String path);
