// The picture generator is deterministic: a second run writes byte-identical
// files to the ones the build wrote into the data folder, and a contact sheet
// beside them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/assets.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

TEST(PictureGenerator, SecondRunWritesTheSameFiles) {
  char tmpl[] = "/tmp/quillet-pictures-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path root = tmpl;
  generate_pictures((root / "data").string());
  int compared = 0;
  for (const auto& e : fs::recursive_directory_iterator(root / "data")) {
    if (!e.is_regular_file()) continue;
    const fs::path rel = fs::relative(e.path(), root / "data");
    const fs::path built = fs::path(QUILLET_RUN_DIR) / "data" / rel;
    ASSERT_TRUE(fs::exists(built)) << rel;
    EXPECT_TRUE(Bytes(e.path()) == Bytes(built)) << rel << " differs";
    ++compared;
  }
  // Eleven game pictures at three resolutions and the default font.
  EXPECT_EQ(compared, 11 * 3 + 1);
  EXPECT_TRUE(fs::exists(root / "pictures.png"));
  fs::remove_all(root);
}

}  // namespace
