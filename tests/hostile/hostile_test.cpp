// The real program under Xvfb with no sound device reports it and carries on silently.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"

namespace fs = std::filesystem;

TEST(Hostile, NoSoundDeviceRunsSilently) {
  char tmpl[] = "/tmp/quillet-hostile-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  fs::copy(QUILLET_PATH, dir + "/quillet");
  fs::copy(DATA_DIR, dir + "/data", fs::copy_options::recursive);
  {
    Program game({dir + "/quillet"}, dir, {"ALSOFT_DRIVERS=no-such-driver"});
    Pause(4);
    EXPECT_EQ(game.Wait(0), -3) << "ended early:\n" << game.Output() << game.Errors();
    EXPECT_EQ(game.Output().find("Dovel Runtime Error"), std::string::npos) << game.Output();
    EXPECT_NE(game.Output().find("OpenAl error: alcOpenDevice failed\n"), std::string::npos) << game.Output();
  }
  fs::remove_all(dir);
}
