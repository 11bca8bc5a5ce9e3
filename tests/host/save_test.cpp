// Saving over a state file the player arranged: a symbolic link, private
// permission bits, a folder the player may not write to. Each case sets up
// and saves in a child running as an unprivileged user (a root test run
// drops to nobody), since root may write where the player may not.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/test_host.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kNoUnprivilegedUser = 3;

std::string Contents(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// Writes "old" to `path` with the permission bits `mode`.
void Arrange(const std::string& path, mode_t mode) {
  std::ofstream(path, std::ios::binary) << "old";
  chmod(path.c_str(), mode);
}

struct SaveCase {
  const char* name;
  std::function<void()> arrange;  // runs in the save's working folder
  const char* lands;              // the file that must hold the new text
  mode_t mode;                    // its permission bits, before and after
  bool link;                      // whether ./.dovelstate stays a symbolic link
};

TEST(SaveState, RespectsThePlayersFile) {
  VoTestHost host;
  const SaveCase cases[] = {
      {"symbolic link",
       [] {
         mkdir("real", 0755);
         Arrange("real/state", 0640);
         symlink("real/state", ".dovelstate");
       },
       "real/state", 0640, true},
      {"private file", [] { Arrange(".dovelstate", 0600); }, ".dovelstate", 0600, false},
      {"folder the player cannot write to",
       [] {
         Arrange(".dovelstate", 0666);
         chmod(".", 0555);
       },
       ".dovelstate", 0666, false},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    char tmpl[] = "/tmp/quillet-save-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    chmod(dir.c_str(), 0755);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(dir.c_str(), kNobody, kNobody), 0);
    }
    ChildResult result = RunInChild([&] {
      if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(kNoUnprivilegedUser);
      if (chdir(dir.c_str()) != 0) _exit(1);
      c.arrange();
      std::printf("%d", host.SaveState(String("new")));
    });
    if (result.status == kNoUnprivilegedUser) GTEST_SKIP() << "cannot drop to an unprivileged user";
    std::string lands = dir + "/" + c.lands;
    struct stat st {};
    EXPECT_EQ(result.out, "0");
    EXPECT_EQ(Contents(lands), "new");
    EXPECT_EQ(stat(lands.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(lstat((dir + "/.dovelstate").c_str(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), c.link);
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
  }
}

}  // namespace
