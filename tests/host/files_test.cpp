// Resource paths, whole-file reads, the state file (atomic replacement and
// its failure codes), the date and opening a link. Each test works in a
// fresh temporary working folder.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/host/child.h"
#include "tests/support/test_host.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Number of names in the working folder other than . and ..
int EntryCount() {
  int n = 0;
  DIR* d = opendir(".");
  while (dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
  closedir(d);
  return n;
}

// Saves `text` from a child process that has no power to override file
// permissions (a root test run drops to the unprivileged user); prints and
// returns SaveState's result.
int SaveWithoutPrivileges(VoGame& host, const char* text) {
  ChildResult result = RunInChild([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    std::printf("%d", host.SaveState(String(text)));
  });
  return result.out.empty() ? 99 : std::atoi(result.out.c_str());
}

class FilesTest : public ::testing::Test {
 protected:
  VoTestHost host;
  std::string oldDir;
  std::string dir;

  void SetUp() override {
    char buffer[4096];
    oldDir = getcwd(buffer, sizeof buffer);
    char tmpl[] = "/tmp/quillet-host-XXXXXX";
    dir = mkdtemp(tmpl);
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(chdir(dir.c_str()), 0);
  }
  void TearDown() override {
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(chdir(oldDir.c_str()), 0);
    std::string rm = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(rm.c_str()), 0);
  }
};

TEST(FixDataPath, PrefixesOnlyPlainLanguagePaths) {
  EXPECT_EQ(vo_data_FixDataPath(String("menu")), String("dovel://data/menu"));
  EXPECT_EQ(vo_data_FixDataPath(String("./menu")), String("./menu"));
  EXPECT_EQ(vo_data_FixDataPath(String("/menu")), String("/menu"));
  EXPECT_EQ(vo_data_FixDataPath(String("dovel://data/menu")), String("dovel://data/menu"));
  EXPECT_EQ(vo_data_FixDataPath(String("c:/menu")), String("c:/menu"));
  EXPECT_EQ(vo_data_FixDataPath(String("a/b:/c")), String("dovel://data/a/b:/c"));
}

TEST(PathToFilePath, MapsTheThreeRootsAndRefusesOthers) {
  VoTestHost host;
  EXPECT_EQ(host.PathToFilePath(String("dovel://data/sfx/1.wav")), String("./data/sfx/1.wav"));
  EXPECT_EQ(host.PathToFilePath(String("dovel://internal/a")), String("./internal/a"));
  EXPECT_EQ(host.PathToFilePath(String("dovel://external/b")), String("./external/b"));
  EXPECT_EQ(host.PathToFilePath(String("dovel://cache/x")), String());
  EXPECT_EQ(host.PathToFilePath(String("data/x")), String("data/x"));
  EXPECT_EQ(host.OpenFile(String("dovel://cache/x"), String("rb")), nullptr);
  EXPECT_EQ(host.LoadString(String("dovel://cache/x")), String());
}

TEST_F(FilesTest, LoadDataReadsWholeFilesAcrossChunkBoundaries) {
  ASSERT_EQ(mkdir("data", 0755), 0);
  for (int size : {0, 1, 4095, 4096, 8192, 10000}) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(i * 7 + size);
    WriteFile("data/blob", bytes);
    int length = -1;
    unsigned char* data = host.LoadData(String("dovel://data/blob"), &length);
    ASSERT_NE(data, nullptr) << size;
    EXPECT_EQ(length, size);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), static_cast<size_t>(length)), bytes);
    std::free(data);
  }
  int untouched = 42;
  EXPECT_EQ(host.LoadData(String("dovel://data/missing"), &untouched), nullptr);
  // A folder opens but cannot be read: not an empty file.
  ASSERT_EQ(mkdir("data/folder", 0755), 0);
  EXPECT_EQ(host.LoadData(String("dovel://data/folder"), &untouched), nullptr);
  EXPECT_EQ(untouched, 42);
}

TEST_F(FilesTest, OpenFileTakesUtf8Paths) {
  ASSERT_EQ(mkdir("data", 0755), 0);
  WriteFile("data/caf\xC3\xA9.txt", "x\xC3\xA9");
  const Char name[] = {'d', 'o', 'v', 'e', 'l', ':',  '/', '/', 'd', 'a', 't',
                       'a', '/', 'c', 'a', 'f', 0xE9, '.', 't', 'x', 't'};
  String text = host.LoadString(String(name, 21));
  ASSERT_EQ(text.Length(), 2);
  EXPECT_EQ(text[1], 0xE9);
}

TEST_F(FilesTest, StateRoundTripsAsUtf8WithoutByteOrderMark) {
  EXPECT_EQ(host.LoadState(), String());
  const Char text[] = {'s', 0xE9, 0x4E2D, '\n', 'z'};
  EXPECT_EQ(host.SaveState(String(text, 5)), 0);
  EXPECT_EQ(ReadFile(".dovelstate"), "s\xC3\xA9\xE4\xB8\xAD\nz");
  EXPECT_EQ(host.LoadState(), String(text, 5));
  EXPECT_EQ(host.SaveState(String()), 0);
  EXPECT_TRUE(Exists(".dovelstate"));
  EXPECT_EQ(ReadFile(".dovelstate"), "");
  EXPECT_EQ(EntryCount(), 1) << "no temporary file is left behind";
}

TEST_F(FilesTest, ReadOnlyStateFileIsNotReplaced) {
  ASSERT_EQ(host.SaveState(String("old")), 0);
  ASSERT_EQ(chmod(".dovelstate", 0444), 0);
  ASSERT_EQ(chmod(".", 0777), 0);
  EXPECT_EQ(SaveWithoutPrivileges(host, "new"), -1);
  EXPECT_EQ(ReadFile(".dovelstate"), "old");
  EXPECT_EQ(EntryCount(), 1);
}

TEST_F(FilesTest, ShortWriteKeepsTheOldStateAndReportsIt) {
  ASSERT_EQ(host.SaveState(String("old")), 0);
  // A child whose files may not grow past 16 bytes: the write of the new
  // text fails part way, as on a full disk.
  ChildResult result = RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::printf("%d", host.SaveState(String("a text much longer than sixteen bytes")));
  });
  EXPECT_EQ(result.out, "-2");
  EXPECT_EQ(ReadFile(".dovelstate"), "old");
  EXPECT_EQ(EntryCount(), 1);
}

TEST_F(FilesTest, LeftoverTemporaryFileDoesNotBlockSaving) {
  std::string leftover = ".dovelstate.tmp." + std::to_string(getpid());
  WriteFile(leftover, "half a save");
  EXPECT_EQ(host.SaveState(String("new")), 0);
  EXPECT_EQ(ReadFile(".dovelstate"), "new");
  EXPECT_FALSE(Exists(leftover));
}

TEST(GetDate, FillsOnlyTheEntriesTheArrayHas) {
  VoTestHost host;
  Array<int> date(3);
  host.GetDate(date);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(date[0], local.tm_year + 1900);
  EXPECT_EQ(date[1], local.tm_mon + 1);
  EXPECT_GE(date[2], 1);
  EXPECT_LE(date[2], 31);
  Array<int> full(9);
  full[8] = 77;
  host.GetDate(full);
  EXPECT_EQ(full[6], 0);
  EXPECT_EQ(full[8], 77);
  EXPECT_GE(full[3], 0);
  EXPECT_LE(full[3], 23);
  Array<int> none;
  host.GetDate(none);
}

TEST_F(FilesTest, OpenUrlPassesTheLinkAsOneArgumentWithoutAShell) {
  // A stand-in xdg-open that records its arguments, one per line.
  ASSERT_EQ(mkdir("bin", 0755), 0);
  WriteFile("bin/xdg-open", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > " + dir + "/args.tmp\nmv " + dir +
                                "/args.tmp " + dir + "/args\n");
  ASSERT_EQ(chmod("bin/xdg-open", 0755), 0);
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (dir + "/bin:" + path).c_str(), 1);
  host.OpenUrl(String("http://x/?a='1' b;touch pwned \"q\""));
  setenv("PATH", path.c_str(), 1);
  for (int i = 0; i < 500 && !Exists("args"); ++i) usleep(10000);
  EXPECT_EQ(ReadFile("args"), "[http://x/?a='1' b;touch pwned \"q\"]\n");
  EXPECT_FALSE(Exists("pwned"));
}

}  // namespace
