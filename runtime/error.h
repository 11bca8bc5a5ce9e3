// Log lines, fatal runtime errors, the fatal-signal handler and the small
// line-based debug protocol that a fatal error hands control to.
#pragma once

#include "runtime/string.h"

// The current source position for the debug protocol; never set here.
extern const char* dbg_info;

// Writes s as UTF-8 and a newline to standard output and flushes.
void voPrint(String s);
void voDebugLog(String s);
// An empty message ends the process with status 0; anything else is fatal.
[[noreturn]] void voError(String msg);
[[noreturn]] void dbg_error(const char* msg);
// Reports a fatal signal and ends the process; takes no heap and no stdio.
void sighandler(int sig);
// Installs sighandler for SIGSEGV, SIGILL and SIGFPE on a stack of its own,
// so that a stack overflow is reported too.
void voInstallSignalHandlers();
// Talks to a debugger on standard input/error; returns when told to resume.
void dbg_stop();
void dbg_print(String s);
String dbg_stacktrace();
