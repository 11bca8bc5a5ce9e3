// VoGlfwGame's window, context, cursor, display-mode, link and state-file
// services: each goes to the platform the host runs on (VoPlatform).
#include "host/game.h"

int glfwGraphicsSeq = 0;

VoPlatform::~VoPlatform() = default;

VoGlfwGame* VoGlfwGame::_glfwGame = nullptr;

VoGlfwGame::VoGlfwGame() : _platform(VoDefaultPlatform()) { _glfwGame = this; }

VoGlfwGame::~VoGlfwGame() {
  if (_glfwGame == this) _glfwGame = nullptr;
}

// A new window brings a new context: the sequence tells the graphics driver
// that its textures are stale, also when the open failed.
void VoGlfwGame::SetGlfwWindow(int width, int height, int red, int green, int blue, int alpha, int depth, int stencil,
                               bool fullscreen) {
  _platform->OpenWindow(width, height, red, green, blue, alpha, depth, stencil, fullscreen);
  ++glfwGraphicsSeq;
}

bool VoGlfwGame::HasContext() { return glfwGraphicsSeq != 0 && _platform->HasContext(); }

void VoGlfwGame::SwapBuffers() { _platform->SwapBuffers(); }

bool VoGlfwGame::SoundAllowed() { return _platform->SoundAllowed(); }

void VoGlfwGame::GetWindowSize(int* width, int* height) { _platform->FramebufferSize(width, height); }

void VoGlfwGame::SetMouseVisible(bool visible) { _platform->SetCursorVisible(visible); }

void VoGlfwGame::OpenUrl(String url) { _platform->OpenUrl(url); }

int VoGlfwGame::SaveState(String state) { return _platform->SaveState(state); }

String VoGlfwGame::LoadState() { return _platform->LoadState(); }

namespace {

VoGlfwVideoMode* makeMode(const VoDisplayMode& m) {
  auto* mode = new VoGlfwVideoMode();
  mode->width = m.width;
  mode->height = m.height;
  mode->red = m.red;
  mode->green = m.green;
  mode->blue = m.blue;
  return mode;
}

}  // namespace

VoGlfwVideoMode* VoGlfwGame::GetGlfwDesktopMode() { return makeMode(_platform->DesktopMode()); }

Array<VoGlfwVideoMode*> VoGlfwGame::GetGlfwVideoModes() {
  constexpr size_t kMaxModes = 1024;
  std::vector<VoDisplayMode> modes = _platform->DisplayModes();
  if (modes.size() > kMaxModes) modes.resize(kMaxModes);
  Array<VoGlfwVideoMode*> result(static_cast<int>(modes.size()));
  for (size_t i = 0; i < modes.size(); ++i) gc_assign(result[static_cast<int>(i)], makeMode(modes[i]));
  return result;
}
