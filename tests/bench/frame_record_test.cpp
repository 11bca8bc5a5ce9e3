// A recorded play frame survives the trip through its file: the floor must
// draw exactly what the driver sent, and a damaged file must be refused
// rather than drawn as garbage.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/frame_record.h"
#include "tests/support/test_host.h"

namespace {

class FrameRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = ::testing::TempDir() + "frame_record_test.bin";
    surface = new gxtkSurface();
    auto* pixels = static_cast<unsigned char*>(std::malloc(3 * 2 * 4));
    for (int i = 0; i < 24; ++i) pixels[i] = static_cast<unsigned char>(i * 10);
    surface->SetData(pixels, 3, 2, 4);
    // As if OpenGL had refused the odd size and the driver padded it to 4 x 2.
    surface->uscale = 1.0f / 4;

    RecordedBatch quads{surface, 0, 4, {}};
    for (int i = 0; i < 8; ++i) quads.vertices.push_back({float(i), float(i + 1), 0.25f * i, 0.5f, 0xff000000u + i});
    RecordedBatch polygons{nullptr, 1, 6, {}};
    for (int i = 0; i < 12; ++i) polygons.vertices.push_back({float(-i), 2, 0, 0, 0x80808080u});
    RecordedBatch again{surface, 0, 4, {quads.vertices.begin(), quads.vertices.begin() + 4}};
    batches = {quads, polygons, again};
  }
  void TearDown() override { std::remove(path.c_str()); }

  VoTestHost host;
  std::string path;
  gxtkSurface* surface = nullptr;
  std::vector<RecordedBatch> batches;
};

bool SameVertices(const std::vector<gxtkVertex>& a, const std::vector<gxtkVertex>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].u != b[i].u || a[i].v != b[i].v || a[i].color != b[i].color)
      return false;
  }
  return true;
}

TEST_F(FrameRecordTest, ReadsBackBatchesAndEachTextureOnce) {
  ASSERT_TRUE(WriteFrameRecord(path, 640, 480, batches));
  FrameRecord frame;
  ASSERT_TRUE(ReadFrameRecord(path, &frame));
  EXPECT_EQ(frame.width, 640);
  EXPECT_EQ(frame.height, 480);
  ASSERT_EQ(frame.textures.size(), 1u) << "two batches of one surface share its texture";
  const RecordedTexture& t = frame.textures[0];
  EXPECT_EQ(t.width, 3);
  EXPECT_EQ(t.height, 2);
  EXPECT_EQ(t.depth, 4);
  EXPECT_EQ(t.texW, 4) << "the padded texture size the coordinates refer to";
  EXPECT_EQ(t.texH, 2);
  ASSERT_EQ(t.pixels.size(), 24u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(t.pixels[i], surface->data[i]) << i;

  ASSERT_EQ(frame.batches.size(), 3u);
  const int textures[] = {0, -1, 0};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(frame.batches[i].texture, textures[i]);
    EXPECT_EQ(frame.batches[i].blend, batches[i].blend);
    EXPECT_EQ(frame.batches[i].type, batches[i].type);
    EXPECT_TRUE(SameVertices(frame.batches[i].vertices, batches[i].vertices)) << i;
  }
}

TEST_F(FrameRecordTest, RefusesMissingTruncatedOrForeignFiles) {
  FrameRecord frame;
  EXPECT_FALSE(ReadFrameRecord(path, &frame)) << "no file";

  ASSERT_TRUE(WriteFrameRecord(path, 640, 480, batches));
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<char>(c));
  std::fclose(f);

  auto rewrite = [&](const std::string& content) {
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), out);
    std::fclose(out);
  };
  rewrite(bytes.substr(0, bytes.size() - 1));
  EXPECT_FALSE(ReadFrameRecord(path, &frame)) << "last vertex cut short";
  rewrite("QFRX" + bytes.substr(4));
  EXPECT_FALSE(ReadFrameRecord(path, &frame)) << "wrong magic";
  std::string badTexture = bytes;
  const int ninetyNine = 99;
  // The first batch's texture index follows the header, the texture and the
  // batch count.
  const size_t at = 4 + 3 * 4 + 5 * 4 + 24 + 4;
  badTexture.replace(at, 4, reinterpret_cast<const char*>(&ninetyNine), 4);
  rewrite(badTexture);
  EXPECT_FALSE(ReadFrameRecord(path, &frame)) << "batch names a texture that is not there";
}

}  // namespace
