// Gamepad mappings from ./gamecontrollerdb.txt and SDL_GAMECONTROLLERCONFIG:
// good lines reach the platform, file first so the variable wins; a bad line
// is named with its line number and skipped, and the rest still load.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_host.h"

namespace {

const std::string kGuid = "030000005e0400008e02000014010000";

enum Outcome { Added, Reported, Silent };
struct Line {
  std::string text;
  Outcome outcome;
};

TEST(GamepadMappings, GoodLinesReachThePlatformAndBadOnesAreNamedAndSkipped) {
  const Line config[] = {
      {kGuid + ",Env Pad,a:b0,b:b1,leftx:a0,lefty:a1~,dpup:h0.1,lefttrigger:+a2,platform:Linux,", Added},
      {"xyz,Short GUID,a:b0,", Reported},
      {kGuid, Reported},
      {kGuid + ",,a:b0,", Reported},
      {kGuid + ",Pad,a:q0,", Reported},
      {kGuid + ",Pad,dpup:h0,", Reported},
      {kGuid + ",Pad,a b0,", Reported},
      {kGuid + ",Pad," + std::string(1020, 'x'), Reported},
      {kGuid + ",Pad,a:b0,platform:Windows,", Silent},
      {"# a comment", Silent},
      {"", Silent},
      {"  03000000aaaa0000bbbb000001000000,Newer Elements,misc1:b5,paddle1:b6,a:b0", Added},
  };
  std::string text;
  for (const Line& line : config) text += line.text + "\r\n";

  char folder[] = "/tmp/quillet-mappings-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  char* previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(folder), 0);
  const std::string fileLine = kGuid + ",File Pad,a:b0,";
  FILE* db = std::fopen("gamecontrollerdb.txt", "w");
  std::fputs((fileLine + "\nnot a mapping\n").c_str(), db);
  std::fclose(db);
  setenv("SDL_GAMECONTROLLERCONFIG", text.c_str(), 1);

  VoTestHost host;
  testing::internal::CaptureStdout();
  host.LoadGamepadMappings();
  std::string out = testing::internal::GetCapturedStdout();
  unsetenv("SDL_GAMECONTROLLERCONFIG");
  std::remove("gamecontrollerdb.txt");
  EXPECT_EQ(chdir(previous), 0);
  std::free(previous);
  rmdir(folder);

  std::vector<std::string> expectedLines = {fileLine};
  std::vector<std::string> expectedOut = {"gamecontrollerdb.txt line 2: gamepad mapping skipped: "};
  for (size_t i = 0; i < sizeof config / sizeof config[0]; ++i) {
    if (config[i].outcome == Added) expectedLines.push_back(config[i].text.substr(config[i].text.find('0')));
    if (config[i].outcome == Reported)
      expectedOut.push_back("SDL_GAMECONTROLLERCONFIG line " + std::to_string(i + 1) + ": gamepad mapping skipped: ");
  }
  EXPECT_EQ(host.mappingLines, expectedLines);
  std::istringstream printed(out);
  std::string line;
  for (const std::string& prefix : expectedOut) {
    ASSERT_TRUE(std::getline(printed, line)) << "missing: " << prefix;
    EXPECT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    EXPECT_GT(line.size(), prefix.size()) << "the message says what is wrong";
  }
  EXPECT_FALSE(std::getline(printed, line)) << "nothing else is printed: " << line;
}

}  // namespace
