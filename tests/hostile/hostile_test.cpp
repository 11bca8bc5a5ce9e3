// The real program in broken and hostile surroundings under Xvfb (CTest wraps
// the test in scripts/xvfb-run.sh), each case from a fresh copy of the program
// and its data: it must carry on, or, for a picture whose frames do not fit,
// end as a fatal error must. Random, huge and re-encoded state files are the
// state fuzzer's job.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/support/process.h"

namespace fs = std::filesystem;

namespace {

class Hostile : public ::testing::Test {
 protected:
  // A fresh copy of the program and its data for one case.
  std::string Fresh() {
    char tmpl[] = "/tmp/quillet-hostile-XXXXXX";
    dir = mkdtemp(tmpl);
    fs::copy(QUILLET_PATH, dir + "/quillet");
    fs::copy(DATA_DIR, dir + "/data", fs::copy_options::recursive);
    Sh("chmod -R a+rwX " + dir);
    return dir;
  }
  void TearDown() override { Sh("chmod -R u+w " + dir + "; rm -rf " + dir); }
  // The program still runs after `seconds` and printed no runtime error.
  static void RunsFor(Program& p, double seconds) {
    Pause(seconds);
    EXPECT_EQ(p.Wait(0), -3) << "ended early:\n" << p.Output() << p.Errors();
    EXPECT_EQ(p.Output().find("Dovel Runtime Error"), std::string::npos) << p.Output();
  }
  void Wm(const std::string& args) { Sh(std::string(X_WINDOW_STATE_PATH) + " " + args); }
  std::string dir;
};

TEST_F(Hostile, NoSoundDeviceRunsSilently) {
  Program game({Fresh() + "/quillet"}, dir, {"ALSOFT_DRIVERS=no-such-driver"});
  RunsFor(game, 4);
  EXPECT_NE(game.Output().find("OpenAl error: alcOpenDevice failed\n"), std::string::npos) << game.Output();
}

// Losing the focus saves. In a read-only folder the save fails and the game
// goes on with the old file; in a writable one the file is replaced (a new
// inode). The program runs unprivileged, for whom the folder's modes count.
TEST_F(Hostile, SavingOnSuspendInWritableAndReadOnlyFolders) {
  for (bool writable : {true, false}) {
    Fresh();
    fs::copy(SEED_STATE, dir + "/.dovelstate");
    Sh("chown -R 65534:65534 " + dir);
    if (!writable) Sh("chmod 444 " + dir + "/.dovelstate; chmod 555 " + dir);
    struct stat before;
    stat((dir + "/.dovelstate").c_str(), &before);
    Program game({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", dir + "/quillet"}, dir,
                 {"ALSOFT_DRIVERS=null"});
    const std::string wid = game.Window();
    ASSERT_NE(wid, "");
    Pause(1.5);
    for (const std::string& step :
         std::vector<std::string>{"focus " + wid, "unfocus", "iconify " + wid, "restore " + wid, "focus " + wid}) {
      Wm(step);
      Pause(0.5);
    }
    RunsFor(game, 1);
    EXPECT_NE(game.Output().find("Settings Loaded"), std::string::npos);
    struct stat after;
    stat((dir + "/.dovelstate").c_str(), &after);
    EXPECT_EQ(after.st_ino != before.st_ino, writable)
        << (writable ? "the game did not save" : "the file was replaced");
    std::ifstream seed(SEED_STATE), now(dir + "/.dovelstate");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(seed), {}),
              std::string(std::istreambuf_iterator<char>(now), {}));
    Sh("chmod 755 " + dir);
    for (const auto& e : fs::directory_iterator(dir))
      EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << "a temporary file was left";
    TearDown();
  }
}

TEST_F(Hostile, PictureWhoseFramesDoNotFitIsFatal) {
  for (const auto& logo : fs::directory_iterator(Fresh() + "/data/common"))
    if (logo.path().filename().string().rfind("BrevoLogo", 0) == 0)
      Sh("convert -size 16x16 xc:red png32:'" + logo.path().string() + "'");
  Program game({dir + "/quillet"}, dir, {"ALSOFT_DRIVERS=null"});
  EXPECT_EQ(game.Wait(10), -1);
  EXPECT_NE(game.Output().find("Dovel Runtime Error : Image frame outside surface\n"), std::string::npos);
  EXPECT_EQ(game.Errors().rfind("{{~~", 0), 0u) << "the debug protocol's position line: " << game.Errors();
}

TEST_F(Hostile, WindowResizedMinimisedAndRestoredWhileKeysArePressed) {
  Program game({Fresh() + "/quillet"}, dir, {"ALSOFT_DRIVERS=null"});
  const std::string wid = game.Window();
  ASSERT_NE(wid, "");
  for (const char* size : {"1 1", "4000 3000", "1 1", "640 480"}) {
    game.Xdotool("windowsize " + wid + " " + size);
    game.Xdotool("key --window " + wid + " Return Down Up");
    Pause(0.7);
  }
  Wm("iconify " + wid);
  Pause(0.7);
  Wm("restore " + wid);
  Wm("focus " + wid);
  RunsFor(game, 1);
}

}  // namespace
