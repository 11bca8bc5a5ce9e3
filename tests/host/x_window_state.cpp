// Plays the window manager for the Xvfb window test, which runs without one:
//   iconify <window>  marks the window iconic (ICCCM WM_STATE)
//   restore <window>  marks it normal again
//   unfocus           takes the input focus away from every window
//   focus <window>    gives the window the input focus
//   close <window>    asks the window to close (WM_DELETE_WINDOW), as its close button does
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void SetWmState(Display* d, Window w, long state) {
  Atom wmState = XInternAtom(d, "WM_STATE", False);
  long data[2] = {state, None};
  XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<unsigned char*>(data), 2);
}

void SendDelete(Display* d, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 2;
  const char* command = argv[1];
  Window w = argc > 2 ? static_cast<Window>(std::strtoul(argv[2], nullptr, 0)) : None;
  if (!std::strcmp(command, "iconify")) {
    SetWmState(d, w, IconicState);
  } else if (!std::strcmp(command, "restore")) {
    SetWmState(d, w, NormalState);
  } else if (!std::strcmp(command, "unfocus")) {
    XSetInputFocus(d, None, RevertToNone, CurrentTime);
  } else if (!std::strcmp(command, "focus")) {
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
  } else if (!std::strcmp(command, "close")) {
    SendDelete(d, w);
  } else {
    return 2;
  }
  XSync(d, False);
  XCloseDisplay(d);
  return 0;
}
