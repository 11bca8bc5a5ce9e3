// Plays the window manager for tests under Xvfb, which runs without one:
//   iconify <window>  marks the window iconic (ICCCM WM_STATE)
//   restore <window>  marks it normal again
//   unfocus           takes the input focus away from every window
//   focus <window>    gives the window the input focus
//   close <window>    asks the window to close (WM_DELETE_WINDOW), as its close button does
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  Display* d = XOpenDisplay(nullptr);
  if (argc < 2 || !d) return 2;
  const std::string command = argv[1];
  Window w = argc > 2 ? static_cast<Window>(std::strtoul(argv[2], nullptr, 0)) : None;
  if (command == "iconify" || command == "restore") {
    Atom wmState = XInternAtom(d, "WM_STATE", False);
    long data[2] = {command == "iconify" ? IconicState : NormalState, None};
    XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<unsigned char*>(data), 2);
  } else if (command == "unfocus" || command == "focus") {
    XSetInputFocus(d, command == "focus" ? w : None, command == "focus" ? RevertToParent : RevertToNone, CurrentTime);
  } else if (command == "close") {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
  } else {
    return 2;
  }
  XSync(d, False);
  XCloseDisplay(d);
  return 0;
}
