#include "runtime/error.h"

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/gc.h"

const char* dbg_info;

namespace {

// Ends the process after a fatal report. _exit, because this also runs inside
// signal handlers, where the C library's exit machinery may deadlock.
[[noreturn]] void die_now(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

// The live collected object at address p, or null when p is not one: the
// address comes from the debugger's input and is only trusted once it is
// found among the objects the collector holds.
Object* liveObject(const void* p) {
  for (gc_object* list : {&gc_unmarked_list, &gc_queued_list, &gc_marked_list}) {
    for (gc_object* q = list->succ; q != list; q = q->succ) {
      if (q == p) return dynamic_cast<Object*>(q);
    }
  }
  return nullptr;
}

}  // namespace

void voPrint(String s) {
  static std::vector<unsigned char> buf;
  buf.clear();
  s.Save(buf);
  buf.push_back('\n');
  std::fwrite(buf.data(), 1, buf.size(), stdout);
  std::fflush(stdout);
}

void voDebugLog(String s) { voPrint(s); }

void voError(String msg) {
  if (msg.Length() == 0) {
    std::fflush(stdout);
    std::exit(0);
  }
  dbg_error(msg.ToNarrow().c_str());
}

void dbg_error(const char* msg) {
  for (;;) {
    voPrint(String("Dovel Runtime Error : ") + String(msg));
    voPrint(dbg_stacktrace());
    dbg_stop();
  }
}

void sighandler(int sig) {
  const char* msg = "Unknown signal";
  switch (sig) {
    case SIGSEGV:
      msg = "Memory access violation";
      break;
    case SIGILL:
      msg = "Illegal instruction";
      break;
    case SIGFPE:
      msg = "Floating point exception";
      break;
  }
  dbg_error(msg);
}

void dbg_print(String s) {
  static char* buf;
  static size_t cap;
  size_t len = static_cast<size_t>(s.Length());
  if (len + 99 >= cap) {
    cap = len + 100;
    buf = static_cast<char*>(std::realloc(buf, cap));
    if (!buf) die_now(-1);
  }
  for (size_t i = 0; i < len; ++i) buf[i] = static_cast<char>(s[static_cast<int>(i)] & 0xff);
  buf[len] = '\n';
  std::fwrite(buf, 1, len + 1, stderr);
  std::fflush(stderr);
}

String dbg_stacktrace() {
  if (!dbg_info || !*dbg_info) return String();
  return String(dbg_info) + String("\n");
}

void dbg_stop() {
  // With no position set the position text is shown as "(null)".
  std::fprintf(stderr, "{{~~%s~~}}\n", dbg_info ? dbg_info : "(null)");
  dbg_print(String());

  for (;;) {
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) die_now(-1);
    size_t n = std::strlen(line);
    if (n == 0 || line[n - 1] != '\n') die_now(-1);
    line[n - 1] = 0;

    switch (line[0]) {
      case '?':
        continue;
      case '@': {
        void* p = nullptr;
        Object* obj = std::sscanf(line + 1, "%p", &p) == 1 ? liveObject(p) : nullptr;
        if (obj) {
          dbg_print(obj->debug());
        } else {
          dbg_print(String());
        }
        continue;
      }
      case 'e':
      case 'l':
      case 'r':
      case 's':
        return;
      case 'q':
        std::fflush(stdout);
        _exit(0);
      default:
        std::printf("????? %s ?????\n", line);
        die_now(-1);
    }
  }
}
