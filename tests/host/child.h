// Runs a piece of a test in a forked child and collects what it printed on
// standard output and how it ended, for code paths that end the process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

struct ChildResult {
  int status = -1;  // exit status 0-255, or -1 when killed by a signal
  std::string out;
};

inline ChildResult RunInChild(const std::function<void()>& body) {
  std::fflush(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::abort();
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[1]);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  close(pipeFds[1]);
  ChildResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
