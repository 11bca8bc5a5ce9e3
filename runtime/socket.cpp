#include "runtime/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/databuffer.h"
#include "runtime/error.h"

// POSIX sockets need no library start-up, so the constructors only set their
// fields. Every handle is made close-on-exec: a child process never inherits
// a connection it knows nothing about.

namespace {

// Longest host text that is looked up; longer ones leave the address at any.
constexpr int kMaxHostLength = 1023;

// An IPv4 address of family AF_INET, port and address zero.
sockaddr_in anyAddress() {
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  return addr;
}

// Address from host text and port: the first IPv4 address of the name (or of
// the dotted-decimal text), 0.0.0.0 when the text is empty, too long or does
// not resolve. getaddrinfo is thread-safe, and asking for AF_INET only keeps
// the answer an IPv4 address.
sockaddr_in resolve(const String& host, int port) {
  sockaddr_in addr = anyAddress();
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (host.Length() < 1 || host.Length() > kMaxHostLength) return addr;
  std::string name = host.ToNarrow();
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return addr;
  for (addrinfo* p = found; p; p = p->ai_next) {
    if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
      addr.sin_addr = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr;
      break;
    }
  }
  freeaddrinfo(found);
  return addr;
}

// True when [offset, offset + count) lies inside the buffer's bytes.
bool inBuffer(const VoDataBuffer* buf, int offset, int count) {
  return buf && buf->_data && offset >= 0 && count >= 0 && offset <= buf->Length() - count;
}

sockaddr* asSockaddr(sockaddr_in* addr) { return reinterpret_cast<sockaddr*>(addr); }

// Shared body of the two address queries: getsockname or getpeername.
int queryAddress(int sock, VoSocketAddress* addr, int (*query)(int, sockaddr*, socklen_t*)) {
  sockaddr_in found = anyAddress();
  int result = sock;
  if (sock >= 0) {
    socklen_t size = sizeof found;
    result = query(sock, asSockaddr(&found), &size);
    if (result != 0) found = anyAddress();
  }
  addr->Set(found);
  return result;
}

void closeHandle(int* handle) {
  if (*handle >= 0) ::close(*handle);
  *handle = -1;
}

}  // namespace

VoSocketAddress::VoSocketAddress() : _addr(anyAddress()), _valid(false), _port(0) {}

void VoSocketAddress::Set(String host, int port) { Set(resolve(host, port)); }

void VoSocketAddress::Set(VoSocketAddress* other) { Set(other->_addr); }

void VoSocketAddress::Set(const sockaddr_in& addr) {
  _addr = addr;
  _valid = false;
}

void VoSocketAddress::Validate() {
  if (_valid) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(&_addr.sin_addr);
  _host = String(int{bytes[0]}) + String(".") + String(int{bytes[1]}) + String(".") + String(int{bytes[2]}) +
          String(".") + String(int{bytes[3]});
  _port = ntohs(_addr.sin_port);
  _valid = true;
}

VoSocket::VoSocket() : _sock(-1), _proto(0), _accepted(-1) {}

VoSocket::VoSocket(int handle) : _sock(handle), _proto(0), _accepted(-1) {}

VoSocket::~VoSocket() { Close(); }

bool VoSocket::Open(int protocol) {
#ifdef __EMSCRIPTEN__
  // A browser page has no sockets of the system's kind, and Emscripten's
  // stand-in over WebSockets would leave a connect to an ordinary server
  // hanging: the program stops at once and says why.
  voError(String("Sockets are not available in the browser"));
#endif
  if (_sock >= 0 || protocol < 1) return false;
  int handle;
  if (protocol == 1 || protocol == 2) {
    handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (handle < 0) return false;
    int nodelay = 1;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);
  } else if (protocol == 3) {
    handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (handle < 0) return false;
  } else {
    return false;
  }
  _sock = handle;
  _proto = protocol;
  return true;
}

void VoSocket::Close() {
  closeHandle(&_sock);
  closeHandle(&_accepted);
}

bool VoSocket::Bind(String host, int port) {
  sockaddr_in addr = resolve(host, port);
  return ::bind(_sock, asSockaddr(&addr), sizeof addr) == 0;
}

bool VoSocket::Connect(String host, int port) {
  sockaddr_in addr = resolve(host, port);
  return ::connect(_sock, asSockaddr(&addr), sizeof addr) == 0;
}

bool VoSocket::Listen(int backlog) { return ::listen(_sock, backlog) == 0; }

bool VoSocket::Accept() {
  closeHandle(&_accepted);
  _accepted = ::accept4(_sock, nullptr, nullptr, SOCK_CLOEXEC);
  return _accepted >= 0;
}

VoSocket* VoSocket::Accepted() {
  if (_accepted < 0) return nullptr;
  auto* conn = new VoSocket(_accepted);
  conn->_proto = _proto;
  _accepted = -1;
  return conn;
}

int VoSocket::Send(VoDataBuffer* buf, int offset, int count) {
  if (!inBuffer(buf, offset, count)) return -1;
  return static_cast<int>(::send(_sock, buf->ReadPointer(offset), count, MSG_NOSIGNAL));
}

int VoSocket::Receive(VoDataBuffer* buf, int offset, int count) {
  if (!inBuffer(buf, offset, count)) return -1;
  return static_cast<int>(::recv(_sock, buf->WritePointer(offset), count, 0));
}

int VoSocket::SendTo(VoDataBuffer* buf, int offset, int count, VoSocketAddress* addr) {
  if (!inBuffer(buf, offset, count) || !addr) return -1;
  return static_cast<int>(
      ::sendto(_sock, buf->ReadPointer(offset), count, MSG_NOSIGNAL, asSockaddr(&addr->_addr), sizeof addr->_addr));
}

int VoSocket::ReceiveFrom(VoDataBuffer* buf, int offset, int count, VoSocketAddress* addr) {
  if (!inBuffer(buf, offset, count) || !addr) return -1;
  sockaddr_in from = anyAddress();
  socklen_t size = sizeof from;
  int n = static_cast<int>(::recvfrom(_sock, buf->WritePointer(offset), count, 0, asSockaddr(&from), &size));
  addr->Set(from);
  return n;
}

int VoSocket::GetLocalAddress(VoSocketAddress* addr) { return queryAddress(_sock, addr, ::getsockname); }

int VoSocket::GetRemoteAddress(VoSocketAddress* addr) { return queryAddress(_sock, addr, ::getpeername); }
