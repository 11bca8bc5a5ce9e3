// Resource paths, whole-file reads, the state file (atomic replacement and its
// failure codes) and opening a link, each test in a fresh working folder.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/test_host.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillet-host-XXXXXX";
    dir = mkdtemp(tmpl);
    chmod(dir.c_str(), 0755);
    fs::current_path(dir);
  }
  void TearDown() override {
    chmod(dir.c_str(), 0755);
    fs::current_path("/");
    fs::remove_all(dir);
  }
  // Names in the working folder: the state file alone once a save is over.
  static int Entries() {
    return static_cast<int>(std::distance(fs::directory_iterator("."), fs::directory_iterator()));
  }
  // Saves `text` from a child, under a limit or else without the power to
  // override file permissions; SaveState's result.
  int SaveInChild(const char* text, const std::function<void()>& limit = nullptr) {
    ChildResult r = RunInChild([&] {
      if (limit)
        limit();
      else if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        _exit(3);
      std::printf("%d", host.SaveState(String(text)));
    });
    return r.out.empty() ? 99 : std::stoi(r.out);
  }
  VoTestHost host;
  std::string dir;
};

TEST_F(Files, PathsAndWholeFileReads) {
  const std::pair<const char*, const char*> fixed[] = {{"menu", "dovel://data/menu"},
                                                       {"./menu", "./menu"},
                                                       {"/menu", "/menu"},
                                                       {"c:/menu", "c:/menu"},
                                                       {"a/b:/c", "dovel://data/a/b:/c"}};
  for (auto [in, out] : fixed) EXPECT_EQ(vo_data_FixDataPath(String(in)).ToUtf8(), out);
  const std::pair<const char*, const char*> files[] = {{"dovel://data/sfx/1.wav", "./data/sfx/1.wav"},
                                                       {"dovel://internal/a", "./internal/a"},
                                                       {"dovel://external/b", "./external/b"},
                                                       {"dovel://cache/x", ""}};
  for (auto [in, out] : files) EXPECT_EQ(host.PathToFilePath(String(in)).ToUtf8(), out);
  fs::create_directories("data/folder");
  for (int size : {0, 4095, 4096, 10000}) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(i * 7 + size);
    std::ofstream("data/blob", std::ios::binary) << bytes;
    int length = -1;
    unsigned char* data = host.LoadData(String("dovel://data/blob"), &length);
    ASSERT_NE(data, nullptr) << size;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), static_cast<size_t>(length)), bytes);
    std::free(data);
  }
  int untouched = 42;
  EXPECT_EQ(host.LoadData(String("dovel://data/folder"), &untouched), nullptr) << "a folder is not an empty file";
  EXPECT_EQ(untouched, 42);
  std::ofstream("data/caf\xC3\xA9.txt") << "x\xC3\xA9";
  String text = host.LoadString(String("dovel://data/caf") + String::FromChar(0xE9) + String(".txt"));
  EXPECT_EQ(text, String("x") + String::FromChar(0xE9));
}

TEST_F(Files, StateIsReplacedWholeOrNotAtAll) {
  EXPECT_EQ(host.LoadState(), String());
  const Char text[] = {'s', 0xE9, 0x4E2D, '\n', 'z'};
  EXPECT_EQ(host.SaveState(String(text, 5)), 0);
  EXPECT_EQ(ReadFile(".dovelstate"), "s\xC3\xA9\xE4\xB8\xAD\nz") << "UTF-8 without a byte-order mark";
  EXPECT_EQ(host.LoadState(), String(text, 5));
  std::ofstream(".dovelstate.tmp." + std::to_string(getpid())) << "half a save";
  ASSERT_EQ(host.SaveState(String("old")), 0);
  EXPECT_EQ(Entries(), 1) << "a leftover temporary file does not block saving";
  chmod(".", 0555);
  EXPECT_EQ(SaveInChild("new"), -1) << "read-only folder";
  chmod(".", 0777);
  chmod(".dovelstate", 0444);
  EXPECT_EQ(SaveInChild("new"), -1) << "read-only state file";
  chmod(".dovelstate", 0644);
  // Files may not grow past 16 bytes: the write fails part way, as on a full disk.
  EXPECT_EQ(SaveInChild("a text much longer than sixteen bytes",
                        [] {
                          std::signal(SIGXFSZ, SIG_IGN);
                          rlimit limit{16, 16};
                          setrlimit(RLIMIT_FSIZE, &limit);
                        }),
            -2);
  EXPECT_EQ(ReadFile(".dovelstate"), "old");
  EXPECT_EQ(Entries(), 1);
}

TEST_F(Files, OpenUrlPassesTheLinkAsOneArgumentWithoutAShell) {
  fs::create_directory("bin");
  std::ofstream("bin/xdg-open") << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > " << dir << "/args.tmp\nmv "
                                << dir << "/args.tmp " << dir << "/args\n";
  chmod("bin/xdg-open", 0755);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (dir + "/bin:" + path).c_str(), 1);
  host.OpenUrl(String("http://x/?a='1' b;touch pwned \"q\""));
  setenv("PATH", path.c_str(), 1);
  for (int i = 0; i < 500 && !fs::exists("args"); ++i) usleep(10000);
  EXPECT_EQ(ReadFile("args"), "[http://x/?a='1' b;touch pwned \"q\"]\n");
  EXPECT_FALSE(fs::exists("pwned"));
}

}  // namespace
