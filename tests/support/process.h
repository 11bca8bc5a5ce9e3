// Child processes for tests: RunInChild forks a piece of a test that ends the process; Program starts a built
// program, reads its output lines and drives its window with xdotool (under scripts/xvfb-run.sh).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

struct ChildResult {
  int status = -2;  // exit status as a signed byte (255 reads -1); -2 when a signal ended it
  std::string out;
  std::string err;
};

// A wait status as ChildResult's status.
inline int ExitStatus(int status) { return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -2; }

// Runs body in a forked child that reads `input` on standard input, and
// collects both output streams and how it ended.
inline ChildResult RunInChild(const std::function<void()>& body, const std::string& input = "") {
  std::fflush(nullptr);
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) std::abort();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    body();
    std::fflush(nullptr);
    _exit(100);  // the body was expected to end the process itself
  }
  for (int fd : {in[0], out[1], err[1]}) close(fd);
  // A child that ends before reading its input must fail the write, not raise SIGPIPE here.
  void (*old)(int) = std::signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] ssize_t written = write(in[1], input.data(), input.size());
  std::signal(SIGPIPE, old);
  close(in[1]);
  ChildResult result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&result.out, &result.err};
  for (int open = 2; open > 0;) {
    poll(fds, 2, -1);
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      char chunk[4096];
      ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        into[i]->append(chunk, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = ExitStatus(status);
  return result;
}

// Runs a shell command; its exit status.
inline int Sh(const std::string& command) { return std::system(command.c_str()); }

// The first line a shell command prints, without its newline.
inline std::string FirstLine(const std::string& command) {
  char line[256] = "";
  FILE* p = popen(command.c_str(), "r");
  if (!std::fgets(line, sizeof line, p)) line[0] = 0;
  pclose(p);
  std::string text = line;
  return text.substr(0, text.find('\n'));
}

inline void Pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// A program (argv[0] its path) started in a folder with standard input
// closed; standard error goes to err.log in that folder. Each env entry
// "NAME=value" sets a variable, a bare "NAME" removes one.
class Program {
 public:
  Program(const std::vector<std::string>& argv, const std::string& folder = ".",
          const std::vector<std::string>& env = {})
      : folder_(folder) {
    int out[2];
    if (pipe(out)) std::abort();
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder.c_str()) != 0) _exit(127);
      dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(open("err.log", O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      close(out[0]);
      for (const std::string& e : env)
        e.find('=') == std::string::npos ? unsetenv(e.c_str()) : putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
  }
  ~Program() {
    if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    close(out_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Everything the program printed so far.
  const std::string& Output() {
    char chunk[4096];
    for (ssize_t n; (n = read(out_, chunk, sizeof chunk)) > 0;) text_.append(chunk, static_cast<size_t>(n));
    return text_;
  }
  // The printed lines from line `from` on.
  std::vector<std::string> Lines(size_t from = 0) {
    std::vector<std::string> lines;
    const std::string& text = Output();
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(text.substr(at, end - at));
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(from, lines.size())));
    return lines;
  }
  // Waits at most `seconds` until a line from line `from` on starts with
  // `prefix`; that line, or "" when none came.
  std::string WaitLine(const std::string& prefix, size_t from = 0, double seconds = 20) {
    for (double waited = 0; waited < seconds; waited += 0.05) {
      for (const std::string& line : Lines(from))
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
      Pause(0.05);
    }
    return "";
  }
  // The program's window titled Quillet, given the focus; "" when none showed within 20 s.
  std::string Window() {
    if (window_.empty()) {
      window_ = FirstLine("timeout 20 xdotool search --sync --onlyvisible --pid " + std::to_string(pid_) +
                          " --name '^Quillet$' 2>/dev/null");
      if (!window_.empty()) Sh("xdotool windowfocus --sync " + window_ + " 2>/dev/null");
    }
    return window_;
  }
  void Xdotool(const std::string& args) { Sh("xdotool " + args); }
  // Holds a key or mouse button long enough for a slow frame's update to see it.
  void Key(const std::string& key, double hold = 0.4) { Hold("keydown " + key, "keyup " + key, hold); }
  void Click(int x, int y, double hold = 0.4) {
    Xdotool("mousemove --window " + Window() + " " + std::to_string(x) + " " + std::to_string(y));
    Hold("mousedown 1", "mouseup 1", hold);
  }
  // Waits at most `seconds` for the program to end: its status as in
  // ChildResult, or -3 when it is still running.
  int Wait(double seconds = 10) {
    for (double waited = 0; pid_ > 0 && waited < seconds; waited += 0.05) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        Output();
        return ExitStatus(status);
      }
      Pause(0.05);
    }
    return -3;
  }
  pid_t pid() const { return pid_; }
  // What the program wrote on standard error.
  std::string Errors() const {
    std::ifstream err(folder_ + "/err.log");
    return std::string(std::istreambuf_iterator<char>(err), {});
  }

 private:
  void Hold(const std::string& down, const std::string& up, double hold) {
    for (const std::string& action : {down, up}) Xdotool(action), Pause(hold);
  }
  std::string folder_;
  pid_t pid_ = -1;
  int out_ = -1;
  std::string text_;
  std::string window_;
};
