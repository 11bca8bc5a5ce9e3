// Byte buffers, loopback sockets and worker threads; also run under ThreadSanitizer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "host/game.h"
#include "runtime/databuffer.h"
#include "runtime/socket.h"
#include "runtime/thread.h"
#include "tests/runtime/address_limit.h"

namespace {

VoDataBuffer* buffer(int length, const std::string& text = "") {
  auto* buf = new VoDataBuffer();
  EXPECT_TRUE(buf->_New(length));
  std::memcpy(buf->WritePointer(0), text.data(), text.size());
  return buf;
}

std::string text(const VoDataBuffer* buf, int offset, int count) {
  return std::string(reinterpret_cast<const char*>(buf->ReadPointer(offset)), static_cast<size_t>(count));
}

TEST(DataBuffer, PeekAndPokeAreLittleEndianAndSignExtended) {
  VoDataBuffer* buf = buffer(16);
  buf->PokeByte(0, 255);
  buf->PokeByte(1, 0x17F);
  buf->PokeShort(2, 0x18000);
  EXPECT_EQ(buf->PeekByte(0) * 1000 + buf->PeekByte(1), -1000 + 127);
  EXPECT_EQ(buf->PeekShort(2), -32768);
  buf->PokeInt(9, 0x04030201);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(buf->PeekByte(8 + i), i);
  buf->PokeFloat(0, 1.0f);
  EXPECT_EQ(buf->PeekInt(0), 0x3F800000);
  for (int offset : {3, 12}) {
    buf->PokeInt(offset, INT_MIN);
    EXPECT_EQ(buf->PeekInt(offset), INT_MIN) << offset;
    for (float v : {-0.0f, FLT_TRUE_MIN, INFINITY}) {
      buf->PokeFloat(offset, v);
      float back = buf->PeekFloat(offset);
      EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << offset << " " << v;
    }
  }
}

TEST(DataBuffer, NewLoadAndDiscard) {
  VoGame host;
  auto* buf = new VoDataBuffer();
  EXPECT_FALSE(buf->_New(-1));
  EXPECT_TRUE(buf->_New(0));
  EXPECT_FALSE(buf->_New(8)) << "an empty buffer that was made still holds data";
  buf->Discard();
  EXPECT_TRUE(buf->_New(4));
  char name[] = "/tmp/quillet-buffer-XXXXXX";
  close(mkstemp(name));
  std::string bytes;
  for (int i = 0; i < 9000; ++i) bytes += static_cast<char>(i * 31);
  std::ofstream(name, std::ios::binary) << bytes;
  auto* loaded = new VoDataBuffer();
  ASSERT_TRUE(loaded->_Load(String(name)));
  EXPECT_EQ(text(loaded, 0, loaded->Length()), bytes);
  EXPECT_FALSE(loaded->_Load(String(name))) << "a second load does not replace the data";
  auto* missing = new VoDataBuffer();
  EXPECT_FALSE(missing->_Load(String("/nonexistent/none.bin")));
  EXPECT_EQ(missing->_data, nullptr);
  auto* thread = new VoThread();
  auto* async = new VoDataBuffer();
  ASSERT_TRUE(async->_LoadAsync(String(name), thread));
  EXPECT_EQ(thread->Result(), async);
  EXPECT_EQ(async->Length(), 9000);
  std::remove(name);
#ifdef QUILLET_CAN_LIMIT_ADDRESS_SPACE
  EXPECT_EXIT(
      {
        limit_address_space();
        auto* big = new VoDataBuffer();
        std::exit(!big->_New(1 << 30) && big->_data == nullptr && big->Length() == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

// The port of a socket's local address, or of `addr` once validated.
int port(VoSocket* s, VoSocketAddress* addr = new VoSocketAddress()) {
  EXPECT_TRUE(!s || s->GetLocalAddress(addr) == 0);
  addr->Validate();
  return addr->_port;
}

// Echoes everything it receives on its connection until the peer closes it.
class EchoThread : public VoThread {
 public:
  explicit EchoThread(VoSocket* conn) : conn_(conn) {}
  void Run__UNSAFE__() override {
    for (int n; (n = conn_->Receive(buf_, 0, buf_->Length())) > 0;)
      if (conn_->Send(buf_, 0, n) != n) return;
  }

 private:
  VoSocket* conn_;
  VoDataBuffer* buf_ = buffer(64);
};

// Echo through a worker; then the accepted handle's number is reused: a broken
// connection fails without SIGPIPE, closing the listener leaves the number alone,
// and the next Accept closes a connection nobody claimed.
TEST(Socket, TcpEchoBrokenConnectionsAndHandleOwnership) {
  auto *server = new VoSocket(), *client = new VoSocket();
  ASSERT_TRUE(server->Open(1) && server->Bind(String("127.0.0.1"), 0) && server->Listen(4));
  ASSERT_TRUE(client->Open(2) && client->Connect(String("127.0.0.1"), port(server)));
  ASSERT_TRUE(server->Accept());
  VoSocket* conn = server->Accepted();
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(server->Accepted(), nullptr) << "a handle is wrapped once";
  auto* peer = new VoSocketAddress();
  EXPECT_EQ(conn->GetRemoteAddress(peer), 0);
  EXPECT_EQ(port(nullptr, peer), port(client));
  EXPECT_TRUE(peer->_host == String("127.0.0.1"));
  int value = 0;
  socklen_t size = sizeof value;
  getsockopt(client->_sock, IPPROTO_TCP, TCP_NODELAY, &value, &size);
  EXPECT_EQ(value, 1);
  auto* echo = new EchoThread(conn);
  echo->Start();
  VoDataBuffer* buf = buffer(1024);
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 32; ++i) buf->PokeByte(i, round * 7 + i);
    ASSERT_EQ(client->Send(buf, 0, 32), 32);
    for (int got = 0, n; got < 32; got += n) ASSERT_GT(n = client->Receive(buf, 32 + got, 32 - got), 0);
    ASSERT_EQ(text(buf, 0, 32), text(buf, 32, 32));
  }
  EXPECT_EQ(client->Send(buf, 1020, 5), -1) << "outside the buffer";
  EXPECT_EQ(client->Receive(buf, 0, -1), -1);
  client->Close();
  echo->Wait();
  EXPECT_FALSE(echo->IsRunning());

  const int number = conn->_sock;
  conn->Close();
  ASSERT_EQ(dup2(socket(AF_INET, SOCK_DGRAM, 0), number), number);
  auto *first = new VoSocket(), *second = new VoSocket();
  ASSERT_TRUE(first->Open(1) && first->Connect(String("127.0.0.1"), port(server)));
  ASSERT_TRUE(second->Open(1) && second->Connect(String("127.0.0.1"), port(server)));
  ASSERT_TRUE(server->Accept() && server->Accept());
  ASSERT_NE(server->Accepted(), nullptr);
  const timeval wait{2, 0};  // a connection left open fails the receive instead of blocking it
  setsockopt(first->_sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  EXPECT_EQ(first->Receive(buf, 0, 4), 0) << "the unclaimed connection was closed";
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = first->Send(buf, 0, 1024);
  EXPECT_EQ(result, -1) << "a broken connection fails without SIGPIPE";
  EXPECT_EQ(second->Send(buf, 0, 4), 4);
  server->Close();
  EXPECT_NE(fcntl(number, F_GETFD), -1);
  close(number);
  auto* closed = new VoSocket();
  EXPECT_FALSE(closed->Open(4) || closed->Open(0) || closed->Listen(1));
  EXPECT_EQ(closed->GetLocalAddress(new VoSocketAddress()), -1);
}

TEST(Socket, UdpAndAddresses) {
  auto *a = new VoSocket(), *b = new VoSocket();
  ASSERT_TRUE(a->Open(3) && a->Bind(String("127.0.0.1"), 0));
  ASSERT_TRUE(b->Open(3) && b->Bind(String("localhost"), 0));
  EXPECT_FALSE(a->Open(1)) << "a socket opens once";
  auto* to = new VoSocketAddress();
  to->Set(String("127.0.0.1"), port(b));
  VoDataBuffer* out = buffer(256, "datagram");
  EXPECT_EQ(a->SendTo(out, 0, 8, to), 8);
  VoDataBuffer* in = buffer(256);
  auto* from = new VoSocketAddress();
  EXPECT_EQ(b->ReceiveFrom(in, 4, 100, from), 8);
  EXPECT_EQ(text(in, 4, 8), "datagram");
  EXPECT_EQ(b->SendTo(in, 4, 4, from), 4) << "answering the filled-in address reaches the sender";
  EXPECT_EQ(a->ReceiveFrom(out, 0, 100, from), 4);
  EXPECT_EQ(port(nullptr, from), port(b));
  auto* addr = new VoSocketAddress();
  addr->Set(String("192.168.10.200"), 65536 + 443);
  auto* copy = new VoSocketAddress();
  copy->Set(addr);
  EXPECT_EQ(port(nullptr, copy), 443) << "only the low 16 bits of the port count";
  EXPECT_TRUE(copy->_host == String("192.168.10.200"));
  addr->Set(String("no-such-host.invalid"), 80);
  addr->Validate();
  EXPECT_TRUE(addr->_host == String("0.0.0.0"));
}

// Blocks inside its work until the test opens the gate; the squares are not atomic.
class GatedThread : public VoThread {
 public:
  void Run__UNSAFE__() override {
    ++entered;
    while (!open) std::this_thread::yield();
    for (int i = 0; i < 1024; ++i) squares->PokeInt(i * 4, i * i);
    SetResult(squares);
  }
  VoDataBuffer* squares = buffer(4096);
  std::atomic<int> entered{0};
  std::atomic<bool> open{false};
};

TEST(Thread, RunningStateStartAndRestart) {
  auto* t = new GatedThread();
  t->Wait();
  EXPECT_FALSE(t->IsRunning());
  t->Start();
  while (!t->entered) std::this_thread::yield();
  t->Start();  // ignored while running
  EXPECT_TRUE(t->IsRunning());
  t->open = true;
  while (t->IsRunning()) std::this_thread::yield();
  // Once IsRunning reads false, everything the worker wrote is visible.
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(t->squares->PeekInt(i * 4), i * i);
  EXPECT_EQ(t->Result(), t->squares);
  EXPECT_EQ(t->entered, 1);
  t->Start();  // finished but not joined: runs again
  t->Wait();
  EXPECT_EQ(t->entered, 2);
}

}  // namespace
