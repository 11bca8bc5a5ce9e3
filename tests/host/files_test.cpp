// Resource paths, file reads, the state file, gamepad mappings and links, each in a fresh folder. Saves run in a
// child as an unprivileged user (a root run drops to nobody), for whom file modes count.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/test_host.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

// Writes "old" to `path` with the permission bits `mode`.
void Arrange(const std::string& path, mode_t mode) {
  std::ofstream(path, std::ios::binary) << "old";
  chmod(path.c_str(), mode);
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
    fs::current_path("/");
    Sh("chmod -R u+w " + dir + " && rm -rf " + dir);
  }
  VoTestHost host;
  std::string dir;
};

TEST_F(Files, PathsAndWholeFileReads) {
  // A path as the game names it, as a resource path, and the file that then opens.
  const char* const paths[][3] = {{"menu", "dovel://data/menu", "./data/menu"},
                                  {"./menu", "./menu", "./menu"},
                                  {"/menu", "/menu", "/menu"},
                                  {"c:/menu", "c:/menu", "c:/menu"},
                                  {"a/b:/c", "dovel://data/a/b:/c", "./data/a/b:/c"},
                                  {"dovel://internal/a", "dovel://internal/a", "./internal/a"},
                                  {"dovel://cache/x", "dovel://cache/x", ""}};
  for (auto [name, path, file] : paths) {
    EXPECT_EQ(vo_data_FixDataPath(String(name)).ToUtf8(), path);
    EXPECT_EQ(host.PathToFilePath(String(path)).ToUtf8(), file);
  }
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
  EXPECT_EQ(host.LoadState(), String());
  const Char state[] = {'s', 0xE9, 0x4E2D, '\n', 'z'};
  EXPECT_EQ(host.SaveState(String(state, 5)), 0);
  EXPECT_EQ(ReadFile(".dovelstate"), "s\xC3\xA9\xE4\xB8\xAD\nz") << "UTF-8 without a byte-order mark";
  EXPECT_EQ(host.LoadState(), String(state, 5));
}

struct SaveCase {
  const char* name;
  std::function<void()> arrange;  // runs as the player in the save's working folder
  int result;                     // what SaveState returns
  const char* lands;              // the file that then holds `text`
  const char* text;
  mode_t mode;  // its permission bits afterwards
  bool link;    // whether ./.dovelstate is still a symbolic link
};

TEST_F(Files, SavesReplaceThePlayersFileWholeOrNotAtAll) {
  const char* const kNew = "a new state longer than sixteen bytes";
  const SaveCase cases[] = {
      {"no file yet", [] {}, 0, ".dovelstate", kNew, 0644, false},
      {"symbolic link",
       [] {
         mkdir("real", 0755);
         Arrange("real/state", 0640);
         symlink("real/state", ".dovelstate");
       },
       0, "real/state", kNew, 0640, true},
      {"group-writable file", [] { Arrange(".dovelstate", 0660); }, 0, ".dovelstate", kNew, 0660, false},
      {"read-only folder: rewritten in place",
       [] {
         Arrange(".dovelstate", 0666);
         chmod(".", 0555);
       },
       0, ".dovelstate", kNew, 0666, false},
      {"read-only state file", [] { Arrange(".dovelstate", 0444); }, -1, ".dovelstate", "old", 0444, false},
      {"a dead save's temporary file",
       [] { std::ofstream(".dovelstate.tmp." + std::to_string(getpid())) << "half a save"; }, 0, ".dovelstate", kNew,
       0644, false},
      // Files may not grow past 16 bytes: the write fails part way, as on a full disk.
      {"full disk",
       [] {
         Arrange(".dovelstate", 0644);
         std::signal(SIGXFSZ, SIG_IGN);
         rlimit limit{16, 16};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       -2, ".dovelstate", "old", 0644, false},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir + "/" + std::to_string(&c - cases);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_TRUE(geteuid() != 0 || chown(folder.c_str(), kNobody, kNobody) == 0);
    ChildResult r = RunInChild([&] {
      if ((geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) || chdir(folder.c_str()) != 0) _exit(3);
      umask(022);
      c.arrange();
      std::printf("%d", host.SaveState(String(kNew)));
    });
    EXPECT_EQ(r.out, std::to_string(c.result));
    EXPECT_EQ(ReadFile(folder + "/" + c.lands), c.text);
    EXPECT_EQ(static_cast<mode_t>(fs::status(folder + "/" + c.lands).permissions()), c.mode);
    EXPECT_EQ(fs::is_symlink(folder + "/.dovelstate"), c.link);
    for (const auto& entry : fs::directory_iterator(folder))
      EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << "left behind: " << entry.path();
  }
}

TEST_F(Files, OpenUrlPassesTheLinkAsOneArgumentWithoutAShell) {
  fs::create_directory("bin");
  std::ofstream("bin/xdg-open") << "#!/bin/sh\nprintf '[%s]\\n' \"$@\" >args.tmp && mv args.tmp args\n";
  chmod("bin/xdg-open", 0755);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (dir + "/bin:" + path).c_str(), 1);
  host.OpenUrl(String("http://x/?a='1' b;touch pwned \"q\""));
  setenv("PATH", path.c_str(), 1);
  for (int i = 0; i < 500 && !fs::exists("args"); ++i) usleep(10000);
  EXPECT_EQ(ReadFile("args"), "[http://x/?a='1' b;touch pwned \"q\"]\n");
  EXPECT_FALSE(fs::exists("pwned"));
}

// A mapping file that the player may write but not read stays as it is: the panel's line would otherwise replace
// every other line in it.
TEST_F(Files, AnUnreadableMappingFileIsNotReplaced) {
  ASSERT_TRUE(geteuid() != 0 || chown(dir.c_str(), kNobody, kNobody) == 0);
  ChildResult r = RunInChild([&] {
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(3);
    Arrange("gamecontrollerdb.txt", 0200);
    std::printf("%d", host.SaveGamepadMapping("030000004c050000c405000011810000,P,a:b0,platform:Linux,"));
  });
  EXPECT_EQ(r.out, "0");
  EXPECT_EQ(ReadFile("gamecontrollerdb.txt"), "old");
}

// Good lines reach the platform, the file's before the variable's so the variable wins; a bad line is named with
// its line number and what is wrong with it, and skipped, the first five of a source one by one and the rest in one
// count. Other platforms' lines (SDL's xinput GUID too), comments and blank lines pass without a word, and elements
// the window system does not know are no fault. The Linux xinput line is named as one GLFW cannot use.
TEST_F(Files, GamepadMappingsSkipBadLinesWithAMessage) {
  const std::string guid = "030000005e0400008e02000014010000";
  const std::string good = guid + ",Env Pad,a:b0,b:b1,leftx:a0,lefty:a1~,dpup:h0.1,lefttrigger:+a2,platform:Linux,";
  const std::string newer = "03000000aaaa0000bbbb000001000000,Newer Elements,misc1:b5,paddle1:b6,a:b0";
  const std::string config[] = {good,
                                "xyz,Short GUID,a:b0,",  // line 2: bad, as are the lines up to 8
                                guid,
                                guid + ",,a:b0,",
                                guid + ",Pad,a:q0,",
                                guid + ",Pad,dpup:h0,",
                                guid + ",Pad,a b0,",
                                guid + ",Pad," + std::string(1020, 'x'),
                                guid + ",Pad,a:b0,platform:Windows,",
                                "xinput,XInput Controller,a:b0,platform:Windows,",
                                "# a comment",
                                "",
                                "  " + newer};
  std::string text;
  for (const std::string& line : config) text += line + "\r\n";
  std::ofstream("gamecontrollerdb.txt") << guid << ",File Pad,a:b0,\nxinput,XInput,a:b0,platform:Linux,\n";
  setenv("SDL_GAMECONTROLLERCONFIG", text.c_str(), 1);
  testing::internal::CaptureStdout();
  host.LoadGamepadMappings();
  std::istringstream out(testing::internal::GetCapturedStdout());
  unsetenv("SDL_GAMECONTROLLERCONFIG");
  EXPECT_EQ(host.mappingLines, (std::vector<std::string>{guid + ",File Pad,a:b0,", good, newer}));
  const std::string skipped = ": gamepad mapping skipped: ";
  std::string seen;
  for (std::string line; std::getline(out, line);) {
    const size_t at = line.find(skipped);
    seen += at == std::string::npos ? line + ", " : line.substr(0, at) + ", ";
    EXPECT_TRUE(at == std::string::npos || line.size() > at + skipped.size()) << line;
    const bool xinput = line.rfind("gamecontrollerdb.txt line 2: ", 0) == 0;
    EXPECT_TRUE(!xinput || line.find("GLFW cannot match") != std::string::npos) << line;
  }
  std::string want = "gamecontrollerdb.txt line 2, ";
  for (int line = 2; line <= 6; ++line) want += "SDL_GAMECONTROLLERCONFIG line " + std::to_string(line) + ", ";
  EXPECT_EQ(seen, want + "SDL_GAMECONTROLLERCONFIG: 2 more bad gamepad mapping lines skipped, ");

  // A file that is not mapping text is read up to 4 MiB: 2,097,152 lines "x" fill that exactly, and the 1,000
  // after them are never read. Five are named, 2,097,147 counted.
  std::string junk;
  for (int i = 0; i < 2097152 + 1000; ++i) junk += "x\n";
  std::ofstream("gamecontrollerdb.txt", std::ios::binary) << junk;
  testing::internal::CaptureStdout();
  host.LoadGamepadMappings();
  std::istringstream lines(testing::internal::GetCapturedStdout());
  std::vector<std::string> printed;
  for (std::string line; std::getline(lines, line);) printed.push_back(line);
  ASSERT_EQ(printed.size(), 7u);
  EXPECT_EQ(printed[0], "gamecontrollerdb.txt: only its first 4194304 bytes are read as gamepad mappings");
  EXPECT_EQ(printed[1].rfind("gamecontrollerdb.txt line 1: gamepad mapping skipped: ", 0), 0u) << printed[1];
  EXPECT_EQ(printed[6], "gamecontrollerdb.txt: 2097147 more bad gamepad mapping lines skipped");
}

}  // namespace
