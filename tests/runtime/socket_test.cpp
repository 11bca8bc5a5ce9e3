// Sockets over the loopback interface only: TCP echo through an accepted
// connection, UDP datagrams, addresses, and the handle ownership of accepted
// connections. Built for ThreadSanitizer as well (one echo runs on a worker).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/databuffer.h"
#include "runtime/socket.h"
#include "runtime/thread.h"

namespace {

VoDataBuffer* buffer_with(const std::string& text, int capacity = 256) {
  auto* buf = new VoDataBuffer();
  EXPECT_TRUE(buf->_New(capacity));
  std::memcpy(buf->WritePointer(0), text.data(), text.size());
  return buf;
}

std::string text_of(const VoDataBuffer* buf, int offset, int count) {
  return std::string(reinterpret_cast<const char*>(buf->ReadPointer(offset)), count);
}

// The port the system gave a socket bound to port 0.
int local_port(VoSocket* s) {
  auto* addr = new VoSocketAddress();
  EXPECT_EQ(s->GetLocalAddress(addr), 0);
  addr->Validate();
  return addr->_port;
}

// A TCP socket listening on an ephemeral loopback port.
VoSocket* listener() {
  auto* s = new VoSocket();
  EXPECT_TRUE(s->Open(1));
  EXPECT_TRUE(s->Bind(String("127.0.0.1"), 0));
  EXPECT_TRUE(s->Listen(4));
  return s;
}

VoSocket* connect_to(VoSocket* server) {
  auto* c = new VoSocket();
  EXPECT_TRUE(c->Open(2));
  EXPECT_TRUE(c->Connect(String("127.0.0.1"), local_port(server)));
  return c;
}

// A listening server, a client connected to it and the server's accepted
// connection (null when accepting failed).
struct Link {
  VoSocket* server;
  VoSocket* client;
  VoSocket* conn;
};

Link open_link() {
  Link l;
  l.server = listener();
  l.client = connect_to(l.server);
  EXPECT_TRUE(l.server->Accept());
  l.conn = l.server->Accepted();
  return l;
}

// Receives exactly count bytes at offset (a stream may deliver them in parts).
bool receive_all(VoSocket* s, VoDataBuffer* buf, int offset, int count) {
  while (count > 0) {
    int n = s->Receive(buf, offset, count);
    if (n <= 0) return false;
    offset += n;
    count -= n;
  }
  return true;
}

int socket_option(int handle, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  EXPECT_EQ(getsockopt(handle, level, name, &value, &size), 0);
  return value;
}

bool handle_open(int handle) { return fcntl(handle, F_GETFD) != -1; }

// Echoes everything it receives on its connection until the peer closes it.
class EchoThread : public VoThread {
 public:
  EchoThread(VoSocket* conn, VoDataBuffer* buf) : conn_(conn), buf_(buf) {}

  void Run__UNSAFE__() override {
    int n;
    while ((n = conn_->Receive(buf_, 0, buf_->Length())) > 0) {
      if (conn_->Send(buf_, 0, n) != n) return;
    }
  }

 private:
  VoSocket* conn_;
  VoDataBuffer* buf_;
};

TEST(Socket, TcpEchoThroughAnAcceptedConnection) {
  auto [server, client, conn] = open_link();
  ASSERT_NE(conn, nullptr);

  // The accepted side sees the client's own address as its peer.
  auto* peer = new VoSocketAddress();
  EXPECT_EQ(conn->GetRemoteAddress(peer), 0);
  peer->Validate();
  EXPECT_TRUE(peer->_host == String("127.0.0.1"));
  EXPECT_EQ(peer->_port, local_port(client));

  VoDataBuffer* out = buffer_with("..hello, quillet");
  EXPECT_EQ(client->Send(out, 2, 14), 14);
  VoDataBuffer* in = buffer_with("");
  ASSERT_TRUE(receive_all(conn, in, 10, 14));
  EXPECT_EQ(text_of(in, 10, 14), "hello, quillet");
  EXPECT_EQ(conn->Send(in, 10, 14), 14);
  VoDataBuffer* back = buffer_with("");
  ASSERT_TRUE(receive_all(client, back, 0, 14));
  EXPECT_EQ(text_of(back, 0, 14), "hello, quillet");

  // Nagle's delay is off on both sides of a stream connection.
  EXPECT_EQ(socket_option(client->_sock, IPPROTO_TCP, TCP_NODELAY), 1);

  // An orderly close reads as 0 bytes on the other side.
  client->Close();
  EXPECT_EQ(conn->Receive(in, 0, 16), 0);
}

TEST(Socket, EchoServedFromAWorkerThread) {
  auto [server, client, conn] = open_link();
  ASSERT_NE(conn, nullptr);
  auto* echo = new EchoThread(conn, buffer_with("", 64));
  echo->Start();

  VoDataBuffer* buf = buffer_with("", 64);
  for (int round = 0; round < 50; ++round) {
    for (int i = 0; i < 32; ++i) buf->PokeByte(i, round * 7 + i);
    ASSERT_EQ(client->Send(buf, 0, 32), 32);
    ASSERT_TRUE(receive_all(client, buf, 32, 32));
    for (int i = 0; i < 32; ++i) ASSERT_EQ(buf->PeekByte(32 + i), buf->PeekByte(i));
  }
  client->Close();
  echo->Wait();
  EXPECT_FALSE(echo->IsRunning());
}

TEST(Socket, UdpRoundTripFillsTheSendersAddress) {
  auto* a = new VoSocket();
  auto* b = new VoSocket();
  ASSERT_TRUE(a->Open(3));
  ASSERT_TRUE(b->Open(3));
  EXPECT_EQ(socket_option(a->_sock, SOL_SOCKET, SO_TYPE), SOCK_DGRAM);
  ASSERT_TRUE(a->Bind(String("127.0.0.1"), 0));
  ASSERT_TRUE(b->Bind(String("localhost"), 0));

  auto* to = new VoSocketAddress();
  to->Set(String("127.0.0.1"), local_port(b));
  VoDataBuffer* out = buffer_with("datagram");
  EXPECT_EQ(a->SendTo(out, 0, 8, to), 8);

  VoDataBuffer* in = buffer_with("");
  auto* from = new VoSocketAddress();
  from->Set(String("10.1.2.3"), 9);
  from->Validate();
  EXPECT_EQ(b->ReceiveFrom(in, 4, 100, from), 8);
  EXPECT_EQ(text_of(in, 4, 8), "datagram");
  EXPECT_FALSE(from->_valid);
  from->Validate();
  EXPECT_TRUE(from->_host == String("127.0.0.1"));
  EXPECT_EQ(from->_port, local_port(a));

  // Answering to the filled-in address reaches the sender.
  EXPECT_EQ(b->SendTo(in, 4, 4, from), 4);
  EXPECT_EQ(a->ReceiveFrom(out, 0, 100, from), 4);
  EXPECT_EQ(text_of(out, 0, 4), "data");
}

TEST(Socket, ValidateFormatsHostAndPortOnlyWhenOutOfDate) {
  auto* addr = new VoSocketAddress();
  addr->Validate();
  EXPECT_TRUE(addr->_host == String("0.0.0.0"));
  EXPECT_EQ(addr->_port, 0);

  addr->Set(String("127.0.0.1"), 8080);
  EXPECT_FALSE(addr->_valid);
  addr->Validate();
  EXPECT_TRUE(addr->_valid);
  EXPECT_TRUE(addr->_host == String("127.0.0.1"));
  EXPECT_EQ(addr->_port, 8080);

  // Only the low 16 bits of the port count.
  addr->Set(String("192.168.10.200"), 65536 + 443);
  addr->Validate();
  EXPECT_TRUE(addr->_host == String("192.168.10.200"));
  EXPECT_EQ(addr->_port, 443);

  auto* copy = new VoSocketAddress();
  copy->Set(addr);
  EXPECT_FALSE(copy->_valid);
  copy->Validate();
  EXPECT_TRUE(copy->_host == String("192.168.10.200"));
  EXPECT_EQ(copy->_port, 443);
}

TEST(Socket, HostTextsThatGiveTheAnyAddress) {
  auto* addr = new VoSocketAddress();
  for (const String& host : {String("no-such-host.invalid"), String(""), String(std::string(1024, '1').c_str())}) {
    addr->Set(String("127.0.0.1"), 1);
    addr->Set(host, 80);
    addr->Validate();
    EXPECT_TRUE(addr->_host == String("0.0.0.0")) << host.ToUtf8().substr(0, 30);
    EXPECT_EQ(addr->_port, 80);
  }
}

TEST(Socket, OpenTakesProtocolsOneToThreeOnce) {
  auto* s = new VoSocket();
  EXPECT_FALSE(s->Open(0));
  EXPECT_FALSE(s->Open(4));
  EXPECT_FALSE(s->Open(-1));
  EXPECT_EQ(s->_sock, -1);
  ASSERT_TRUE(s->Open(1));
  EXPECT_EQ(s->_proto, 1);
  EXPECT_EQ(socket_option(s->_sock, SOL_SOCKET, SO_TYPE), SOCK_STREAM);
  int handle = s->_sock;
  EXPECT_FALSE(s->Open(3));
  EXPECT_EQ(s->_sock, handle);
  EXPECT_EQ(s->_proto, 1);
  s->Close();
  EXPECT_EQ(s->_sock, -1);
  EXPECT_FALSE(handle_open(handle));
  EXPECT_TRUE(s->Open(3));
  EXPECT_EQ(s->_proto, 3);
}

TEST(Socket, ConnectFailsOnAClosedPortAndToTheAnyAddress) {
  // A port that was just free: bind it, note it, let it go.
  auto* probe = new VoSocket();
  ASSERT_TRUE(probe->Open(1));
  ASSERT_TRUE(probe->Bind(String("127.0.0.1"), 0));
  int port = local_port(probe);
  probe->Close();

  auto* c = new VoSocket();
  ASSERT_TRUE(c->Open(1));
  EXPECT_FALSE(c->Connect(String("127.0.0.1"), port));
  auto* d = new VoSocket();
  ASSERT_TRUE(d->Open(1));
  EXPECT_FALSE(d->Connect(String("no-such-host.invalid"), port));
  // Operations on a socket that was never opened fail without a crash.
  auto* closed = new VoSocket();
  EXPECT_FALSE(closed->Connect(String("127.0.0.1"), port));
  EXPECT_FALSE(closed->Listen(1));
  EXPECT_FALSE(closed->Accept());
  EXPECT_EQ(closed->Accepted(), nullptr);
}

TEST(Socket, AddressOfAClosedSocketIsTheNegativeHandleAndZeros) {
  auto* s = new VoSocket();
  auto* addr = new VoSocketAddress();
  addr->Set(String("127.0.0.1"), 99);
  EXPECT_EQ(s->GetLocalAddress(addr), -1);
  EXPECT_EQ(addr->_addr.sin_family, AF_INET);
  addr->Validate();
  EXPECT_TRUE(addr->_host == String("0.0.0.0"));
  EXPECT_EQ(addr->_port, 0);
  EXPECT_EQ(s->GetRemoteAddress(addr), -1);
}

TEST(Socket, AnAcceptedHandleHasExactlyOneOwner) {
  auto [server, client, conn] = open_link();
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(conn->_proto, 1);
  // A second call does not wrap the same handle a second time.
  EXPECT_EQ(server->Accepted(), nullptr);

  // Once the owner closed it, the system may give the number to another
  // socket; closing the listener must leave that socket alone.
  int number = conn->_sock;
  conn->Close();
  int unrelated = socket(AF_INET, SOCK_DGRAM, 0);
  if (unrelated != number) {
    ASSERT_EQ(dup2(unrelated, number), number);
    close(unrelated);
  }
  server->Close();
  client->Close();
  EXPECT_TRUE(handle_open(number));
  close(number);
}

TEST(Socket, AnUnclaimedAcceptedConnectionIsClosedByTheNextAccept) {
  VoSocket* server = listener();
  VoSocket* first = connect_to(server);
  VoSocket* second = connect_to(server);
  ASSERT_TRUE(server->Accept());
  ASSERT_TRUE(server->Accept());
  VoSocket* conn = server->Accepted();
  ASSERT_NE(conn, nullptr);
  // The first connection was never claimed: its peer sees the close ...
  VoDataBuffer* buf = buffer_with("ping");
  EXPECT_EQ(first->Receive(buf, 0, 4), 0);
  // ... while the second one works.
  EXPECT_EQ(second->Send(buf, 0, 4), 4);
  EXPECT_TRUE(receive_all(conn, buf, 8, 4));
  EXPECT_EQ(text_of(buf, 8, 4), "ping");
}

TEST(Socket, SendingToAClosedPeerFailsWithoutASignal) {
  auto [server, client, conn] = open_link();
  ASSERT_NE(conn, nullptr);
  conn->Close();
  VoDataBuffer* buf = buffer_with("", 1024);
  // The first sends may still be taken by the system; a later one reports the
  // broken connection as -1 (and must not raise SIGPIPE, which ends the process).
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = client->Send(buf, 0, 1024);
  EXPECT_EQ(result, -1);
}

TEST(Socket, TransfersOutsideTheBufferFail) {
  auto [server, client, conn] = open_link();
  ASSERT_NE(conn, nullptr);
  VoDataBuffer* buf = buffer_with("", 16);
  EXPECT_EQ(client->Send(buf, 8, 9), -1);
  EXPECT_EQ(client->Send(buf, -1, 4), -1);
  EXPECT_EQ(client->Send(nullptr, 0, 0), -1);
  EXPECT_EQ(conn->Receive(buf, 12, 5), -1);
  EXPECT_EQ(conn->Receive(buf, 0, -1), -1);
  auto* addr = new VoSocketAddress();
  EXPECT_EQ(conn->ReceiveFrom(buf, 16, 1, addr), -1);
  // The edge of the buffer is still inside it.
  EXPECT_EQ(client->Send(buf, 8, 8), 8);
  EXPECT_EQ(conn->Receive(buf, 0, 16), 8);
}

}  // namespace
