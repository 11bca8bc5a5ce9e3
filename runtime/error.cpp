#include "runtime/error.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/gc.h"

const char* dbg_info;

namespace {

// The exit status of every fatal end (-1 as the shell sees it).
constexpr int kFatalStatus = 255;
// The longest protocol line, newline included.
constexpr size_t kLineBytes = 255;

// Set once a fatal report has begun; a fault after that ends the process at
// once instead of reporting inside a report. The report ends the process with
// _exit, because it also runs inside signal handlers, where the C library's
// exit machinery may deadlock.
volatile std::sig_atomic_t reporting = 0;

// Writes n bytes to fd with write(2): no heap and no stdio, so it works
// inside a signal handler even when a fault struck malloc or stdio.
void write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t done = write(fd, p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    p += done;
    n -= static_cast<size_t>(done);
  }
}

// Writes the 8-bit text s as it stands.
void write_text(int fd, const char* s) { write_all(fd, s, std::strlen(s)); }

// Writes the 8-bit text s encoded as UTF-8, the encoding of voPrint, through
// a buffer on the stack.
void write_utf8(int fd, const char* s) {
  char buf[256];
  size_t n = 0;
  for (; *s; ++s) {
    if (n + 2 > sizeof buf) {
      write_all(fd, buf, n);
      n = 0;
    }
    const unsigned char c = static_cast<unsigned char>(*s);
    if (c < 0x80) {
      buf[n++] = static_cast<char>(c);
    } else {
      buf[n++] = static_cast<char>(0xC0 | (c >> 6));
      buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  write_all(fd, buf, n);
}

// Reads one protocol line from standard input with read(2), without its
// newline. False at the end of input, on an error, and for a line that has
// no newline within kLineBytes.
bool read_line(char (&line)[kLineBytes + 1]) {
  size_t n = 0;
  while (n < kLineBytes) {
    char c;
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    if (c == '\n') {
      line[n] = '\0';
      return true;
    }
    line[n++] = c;
  }
  return false;
}

// The fatal report, safe inside a signal handler: the error line and the
// position line on standard output, then the debug protocol, for as long as
// a debugger resumes.
[[noreturn]] void report(const char* msg) {
  reporting = 1;
  for (;;) {
    write_text(STDOUT_FILENO, "Dovel Runtime Error : ");
    write_utf8(STDOUT_FILENO, msg);
    write_text(STDOUT_FILENO, "\n");
    if (dbg_info && *dbg_info) {
      write_utf8(STDOUT_FILENO, dbg_info);
      write_text(STDOUT_FILENO, "\n");
    }
    write_text(STDOUT_FILENO, "\n");
    dbg_stop();
  }
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
  // The report writes past stdio, so what stdio still holds goes out first.
  std::fflush(stdout);
  report(msg);
}

void sighandler(int sig) {
  if (reporting) _exit(kFatalStatus);
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
  report(msg);
}

// A browser raises no signals: a fault there is a WebAssembly trap, which the
// page reports as a fatal error of its own (host/web/index.html).
void voInstallSignalHandlers() {
#ifndef __EMSCRIPTEN__
  // Room for the signal handler, apart from the stack that may have overflowed.
  constexpr size_t kSignalStackBytes = 64 * 1024;
  // Static, so that installing takes no heap and the stack is there even
  // when the heap is broken by the time of the fault.
  static char stack[kSignalStackBytes];
  stack_t alternate{};
  alternate.ss_sp = stack;
  alternate.ss_size = sizeof stack;
  sigaltstack(&alternate, nullptr);
  struct sigaction action {};
  action.sa_handler = sighandler;
  sigemptyset(&action.sa_mask);
  // SA_NODEFER lets a fault inside the handler reach it again (and end the
  // process with the fatal status) instead of killing the process silently.
  action.sa_flags = SA_ONSTACK | SA_NODEFER;
  for (int sig : {SIGSEGV, SIGILL, SIGFPE}) sigaction(sig, &action, nullptr);
#endif
}

void dbg_print(String s) {
  static char* buf;
  static size_t cap;
  size_t len = static_cast<size_t>(s.Length());
  if (len + 99 >= cap) {
    cap = len + 100;
    buf = static_cast<char*>(std::realloc(buf, cap));
    if (!buf) _exit(kFatalStatus);
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
  write_text(STDERR_FILENO, "{{~~");
  write_text(STDERR_FILENO, dbg_info ? dbg_info : "(null)");
  write_text(STDERR_FILENO, "~~}}\n\n");

  for (;;) {
    char line[kLineBytes + 1];
    if (!read_line(line)) _exit(kFatalStatus);

    switch (line[0]) {
      case '?':
        continue;
      case '@': {
        // Only a debugger asks for this; the object's text takes the heap.
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
        _exit(0);
      default:
        write_text(STDOUT_FILENO, "????? ");
        write_text(STDOUT_FILENO, line);
        write_text(STDOUT_FILENO, " ?????\n");
        _exit(kFatalStatus);
    }
  }
}
