// Child processes for tests: RunInChild forks a piece of a test that ends the process; Program starts a built
// program, reads its output lines and drives its window with xdotool (under scripts/xvfb-run.sh).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// What a stream holds from its start.
inline std::string Contents(std::FILE* f) {
  std::string text;
  std::rewind(f);
  for (int c; (c = std::getc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

// Runs body in a forked child that reads `input` on standard input, and
// collects both output streams and how it ended.
inline ChildResult RunInChild(const std::function<void()>& body, const std::string& input = "") {
  std::FILE* streams[3] = {std::tmpfile(), std::tmpfile(), std::tmpfile()};  // the child's 0, 1 and 2
  std::fwrite(input.data(), 1, input.size(), streams[0]);
  std::rewind(streams[0]);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    for (int fd = 0; fd < 3; ++fd) dup2(fileno(streams[fd]), fd);
    body();
    std::fflush(nullptr);
    _exit(100);  // the body was expected to end the process itself
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ChildResult result{ExitStatus(status), Contents(streams[1]), Contents(streams[2])};
  for (std::FILE* f : streams) std::fclose(f);
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
// closed; its output goes to out.log and err.log there. Each env entry
// "NAME=value" sets a variable, a bare "NAME" removes one.
class Program {
 public:
  Program(const std::vector<std::string>& argv, const std::string& folder, const std::vector<std::string>& env = {})
      : folder_(folder) {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder.c_str()) != 0) _exit(127);
      dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
      dup2(open("out.log", O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
      dup2(open("err.log", O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      for (const std::string& e : env)
        e.find('=') == std::string::npos ? unsetenv(e.c_str()) : putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Program() {
    if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Everything the program printed so far, what it wrote on standard error, and both for a failure message.
  std::string Output() const { return ReadFile(folder_ + "/out.log"); }
  std::string Errors() const { return ReadFile(folder_ + "/err.log"); }
  std::string Saw() const { return "--- stdout\n" + Output() + "--- stderr\n" + Errors(); }
  // The printed lines from line `from` on.
  std::vector<std::string> Lines(size_t from = 0) const {
    std::vector<std::string> lines;
    const std::string text = Output();
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(text.substr(at, end - at));
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(from, lines.size())));
    return lines;
  }
  // Waits at most `seconds` until a line from line `from` on starts with
  // `prefix`; that line, or "" when none came.
  std::string WaitLine(const std::string& prefix, size_t from = 0, double seconds = 20) const {
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
  // Holds a key or the left mouse button long enough for a slow frame's update to see it, then waits as long.
  void Key(const std::string& key) { Xdotool("keydown " + key + " sleep 0.4 keyup " + key + " sleep 0.4"); }
  void Click(int x, int y) {
    Xdotool("mousemove --window " + Window() + " " + std::to_string(x) + " " + std::to_string(y) +
            " mousedown 1 sleep 0.4 mouseup 1 sleep 0.4");
  }
  // Waits at most `seconds` for the program to end: its status as in
  // ChildResult, or -3 when it is still running.
  int Wait(double seconds = 10) {
    for (double waited = 0; pid_ > 0 && waited < seconds; waited += 0.05) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return ExitStatus(status);
      }
      Pause(0.05);
    }
    return -3;
  }

 private:
  std::string folder_;
  pid_t pid_ = -1;
  std::string window_;
};
