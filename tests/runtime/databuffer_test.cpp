// Byte buffers: typed peek and poke, allocation and loading through the host.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "host/game.h"
#include "runtime/databuffer.h"
#include "runtime/thread.h"
#include "tests/runtime/address_limit.h"

namespace {

VoDataBuffer* make_buffer(int length) {
  auto* buf = new VoDataBuffer();
  EXPECT_TRUE(buf->_New(length));
  return buf;
}

TEST(DataBuffer, BytesAndShortsReadBackSignExtended) {
  VoDataBuffer* buf = make_buffer(8);
  buf->PokeByte(0, 255);
  EXPECT_EQ(buf->PeekByte(0), -1);
  buf->PokeByte(1, 0x17F);  // only the low 8 bits are stored
  EXPECT_EQ(buf->PeekByte(1), 127);
  buf->PokeByte(2, -128);
  EXPECT_EQ(buf->PeekByte(2), -128);
  buf->PokeShort(3, 65535);
  EXPECT_EQ(buf->PeekShort(3), -1);
  buf->PokeShort(5, 0x18000);
  EXPECT_EQ(buf->PeekShort(5), -32768);
  buf->PokeShort(6, 0x7FFF);
  EXPECT_EQ(buf->PeekShort(6), 32767);
  // The short at 5 lost its high byte to the one poked at 6.
  EXPECT_EQ(buf->PeekByte(5), 0);
}

TEST(DataBuffer, IntsAndFloatsRoundTripAtAnyOffset) {
  VoDataBuffer* buf = make_buffer(16);
  for (int offset = 0; offset <= 12; ++offset) {
    for (int v : {0, 1, -1, INT_MAX, INT_MIN, 0x12345678}) {
      buf->PokeInt(offset, v);
      EXPECT_EQ(buf->PeekInt(offset), v) << offset;
    }
    for (float v : {0.5f, -0.0f, FLT_MAX, FLT_MIN, FLT_TRUE_MIN, -3.14159274f, INFINITY}) {
      buf->PokeFloat(offset, v);
      float back = buf->PeekFloat(offset);
      EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << offset << " " << v;
    }
  }
  buf->PokeFloat(1, NAN);
  EXPECT_TRUE(std::isnan(buf->PeekFloat(1)));
}

TEST(DataBuffer, ValuesAreStoredLittleEndian) {
  VoDataBuffer* buf = make_buffer(7);
  buf->PokeInt(1, 0x04030201);
  buf->PokeShort(5, 0x0605);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(buf->PeekByte(i), i);
  buf->PokeFloat(0, 1.0f);  // 0x3F800000
  EXPECT_EQ(buf->PeekInt(0), 0x3F800000);
  EXPECT_EQ(buf->ReadPointer(3)[0], 0x3F);
}

TEST(DataBuffer, NewRefusesToReplaceData) {
  VoDataBuffer* buf = make_buffer(4);
  buf->PokeInt(0, 77);
  unsigned char* data = buf->ReadPointer(0);
  EXPECT_FALSE(buf->_New(100));
  EXPECT_EQ(buf->Length(), 4);
  EXPECT_EQ(buf->ReadPointer(0), data);
  EXPECT_EQ(buf->PeekInt(0), 77);

  buf->Discard();
  EXPECT_EQ(buf->Length(), 0);
  EXPECT_EQ(buf->_data, nullptr);
  buf->Discard();
  EXPECT_TRUE(buf->_New(100));
  EXPECT_EQ(buf->Length(), 100);
}

TEST(DataBuffer, NewRejectsANegativeLengthAndAcceptsZero) {
  auto* buf = new VoDataBuffer();
  EXPECT_FALSE(buf->_New(-1));
  EXPECT_EQ(buf->_data, nullptr);
  EXPECT_EQ(buf->Length(), 0);
  EXPECT_TRUE(buf->_New(0));
  EXPECT_EQ(buf->Length(), 0);
  // An empty buffer that was made still holds "data": no second _New.
  EXPECT_FALSE(buf->_New(8));
}

#ifdef QUILLET_CAN_LIMIT_ADDRESS_SPACE
// A failed allocation is reported, not kept as a null block with a length.
// Runs in a child process, which exits 0 when the failure was reported.
[[noreturn]] void allocate_beyond_the_limit() {
  limit_address_space();
  auto* buf = new VoDataBuffer();
  bool made = buf->_New(1 << 30);
  std::exit(!made && buf->_data == nullptr && buf->Length() == 0 ? 0 : 1);
}

TEST(DataBufferDeathTest, FailedAllocationReturnsFalseAndKeepsTheBufferEmpty) {
  EXPECT_EXIT(allocate_beyond_the_limit(), ::testing::ExitedWithCode(0), "");
}
#endif

#ifndef NDEBUG
TEST(DataBufferDeathTest, DebugBuildsStopOnAccessOutsideTheBuffer) {
  VoDataBuffer* buf = make_buffer(8);
  EXPECT_DEATH(buf->PeekInt(5), "outside the buffer");
  EXPECT_DEATH(buf->PokeShort(-1, 0), "outside the buffer");
  EXPECT_DEATH(buf->PokeFloat(INT_MAX - 1, 0.0f), "outside the buffer");
  auto* empty = new VoDataBuffer();
  EXPECT_DEATH(empty->PeekByte(0), "empty buffer");
  // The last bytes are still inside.
  buf->PokeInt(4, 9);
  EXPECT_EQ(buf->PeekInt(4), 9);
}
#endif

// Loads go through the host's file services, so a host object must exist.
class DataBufferLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quillet-buffer-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = name;
  }
  void TearDown() override { std::remove(path_.c_str()); }

  void write_file(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }

  VoGame host_;
  std::string path_;
};

TEST_F(DataBufferLoad, LoadFillsTheBufferWithTheFile) {
  std::string bytes;
  for (int i = 0; i < 9000; ++i) bytes += static_cast<char>(i * 31);
  write_file(bytes);
  auto* buf = new VoDataBuffer();
  ASSERT_TRUE(buf->_Load(String(path_.c_str())));
  ASSERT_EQ(buf->Length(), 9000);
  EXPECT_EQ(std::memcmp(buf->ReadPointer(0), bytes.data(), bytes.size()), 0);
  // A second load does not replace the data.
  EXPECT_FALSE(buf->_Load(String(path_.c_str())));
  EXPECT_EQ(buf->Length(), 9000);
}

TEST_F(DataBufferLoad, AMissingFileLeavesTheBufferEmpty) {
  auto* buf = new VoDataBuffer();
  EXPECT_FALSE(buf->_Load(String("/nonexistent/quillet/none.bin")));
  EXPECT_EQ(buf->_data, nullptr);
  EXPECT_EQ(buf->Length(), 0);
  EXPECT_TRUE(buf->_New(4));
}

TEST_F(DataBufferLoad, LoadAsyncLoadsAtOnceAndReportsThroughTheThread) {
  write_file("abc");
  auto* thread = new VoThread();
  auto* missing = new VoDataBuffer();
  EXPECT_FALSE(missing->_LoadAsync(String("/nonexistent/quillet/none.bin"), thread));
  EXPECT_EQ(thread->Result(), nullptr);

  auto* buf = new VoDataBuffer();
  ASSERT_TRUE(buf->_LoadAsync(String(path_.c_str()), thread));
  EXPECT_EQ(thread->Result(), buf);
  EXPECT_FALSE(thread->IsRunning());
  ASSERT_EQ(buf->Length(), 3);
  EXPECT_EQ(buf->PeekByte(2), 'c');
}

TEST(DataBufferNoHost, LoadWithoutAHostFails) {
  ASSERT_EQ(VoGame::_game, nullptr);
  auto* buf = new VoDataBuffer();
  EXPECT_FALSE(buf->_Load(String("/etc/hostname")));
  EXPECT_EQ(buf->Length(), 0);
}

}  // namespace
