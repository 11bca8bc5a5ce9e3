// Byte buffers, loopback sockets and worker threads; also run under ThreadSanitizer.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "host/game.h"
#include "runtime/databuffer.h"
#include "runtime/socket.h"
#include "runtime/thread.h"

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
  buf->PokeFloat(12, -0.5f);  // the last four bytes
  EXPECT_EQ(buf->PeekFloat(12), -0.5f);
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
  const std::string bytes("\0bytes\xFF", 7);
  std::ofstream(name, std::ios::binary) << bytes;
  auto* loaded = new VoDataBuffer();
  ASSERT_TRUE(loaded->_Load(String(name)));
  EXPECT_EQ(text(loaded, 0, loaded->Length()), bytes);
  EXPECT_FALSE(loaded->_Load(String(name))) << "a second load does not replace the data";
  auto* missing = new VoDataBuffer();
  EXPECT_FALSE(missing->_Load(String("/nonexistent/none.bin")));
  auto* thread = new VoThread();
  auto* async = new VoDataBuffer();
  ASSERT_TRUE(async->_LoadAsync(String(name), thread));
  EXPECT_EQ(thread->Result(), async);
  EXPECT_EQ(async->Length(), 7);
  std::remove(name);
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
  explicit EchoThread(VoSocket* conn) : conn(conn) {}
  void Run__UNSAFE__() override {
    for (int n; (n = conn->Receive(buf, 0, buf->Length())) > 0;)
      if (conn->Send(buf, 0, n) != n) return;
  }
  VoSocket* conn;
  VoDataBuffer* buf = buffer(64);
};

// Echo through a worker; a handle is handed out once, Accept and Close close a
// connection nobody claimed, and a broken connection fails without SIGPIPE.
TEST(Socket, TcpEchoAndUnclaimedConnections) {
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

  auto *first = new VoSocket(), *second = new VoSocket();
  ASSERT_TRUE(first->Open(1) && first->Connect(String("127.0.0.1"), port(server)));
  ASSERT_TRUE(second->Open(1) && second->Connect(String("127.0.0.1"), port(server)));
  ASSERT_TRUE(server->Accept() && server->Accept());
  server->Close();
  const timeval wait{2, 0};  // a connection left open fails the receive instead of blocking it
  for (VoSocket* s : {first, second}) {
    setsockopt(s->_sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    EXPECT_EQ(s->Receive(buf, 0, 4), 0) << "the unclaimed connection was closed";
  }
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = first->Send(buf, 0, 1024);
  EXPECT_EQ(result, -1) << "a broken connection fails without SIGPIPE";
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
  EXPECT_EQ(port(nullptr, from), port(a)) << "the sender's address is filled in";
  to->Set(String("192.168.10.200"), 65536 + 443);
  from->Set(to);
  EXPECT_EQ(port(nullptr, from), 443) << "only the low 16 bits of the port count";
  EXPECT_TRUE(from->_host == String("192.168.10.200"));
  to->Set(String("no-such-host.invalid"), 80);
  to->Validate();
  EXPECT_TRUE(to->_host == String("0.0.0.0"));
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
  t->Start();
  while (!t->entered) std::this_thread::yield();
  t->Start();  // ignored while running
  EXPECT_TRUE(t->IsRunning());
  t->open = true;
  while (t->IsRunning()) std::this_thread::yield();
  // Once IsRunning reads false, everything the worker wrote is visible.
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(t->squares->PeekInt(i * 4), i * i);
  EXPECT_EQ(t->Result(), t->squares);
  t->Start();  // finished but not joined: runs again
  t->Wait();
  EXPECT_EQ(t->entered, 2);
}

}  // namespace
