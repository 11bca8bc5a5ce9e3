// VoSocket and VoSocketAddress: a thin layer over the system's IPv4 stream
// (TCP) and datagram (UDP) sockets.
//
// Sockets block: Connect, Accept, Receive and ReceiveFrom wait until the system
// answers. Failures show only in the results (false, -1 or a null object);
// nothing is printed. Sending on a connection the peer has closed returns -1
// instead of raising SIGPIPE.
//
// Handle ownership: every system handle has exactly one owner that closes it.
// A handle taken by Accept belongs to the listening socket until Accepted()
// hands it to the one socket object it returns; later calls return null until
// the next Accept. Two objects therefore never close the same handle, which
// could otherwise close an unrelated socket or file that the system had
// meanwhile given the same number. A handle that Accept took and nobody
// claimed is closed by the next Accept, by Close and by the destructor.
#pragma once

#include <netinet/in.h>

#include "runtime/gc.h"
#include "runtime/string.h"

class VoDataBuffer;

class VoSocketAddress : public Object {
 public:
  VoSocketAddress();

  // The address of a host name or dotted-decimal text and a port; a name that
  // does not resolve (or is empty, or 1024 characters or longer) gives 0.0.0.0.
  void Set(String host, int port);
  void Set(VoSocketAddress* other);
  void Set(const sockaddr_in& addr);
  // Fills _host and _port from the address when they are out of date.
  void Validate();

  sockaddr_in _addr;
  bool _valid;
  String _host;
  int _port;
};

class VoSocket : public Object {
 public:
  VoSocket();
  // Wraps a handle that the new object then owns.
  explicit VoSocket(int handle);
  ~VoSocket() override;

  // Protocol 1 or 2: TCP stream without Nagle's delay; 3: UDP datagram.
  bool Open(int protocol);
  void Close();
  bool Bind(String host, int port);
  bool Connect(String host, int port);
  bool Listen(int backlog);
  // Takes one pending connection; Accepted() then hands it out once.
  bool Accept();
  VoSocket* Accepted();
  // Bytes sent or received, 0 at an orderly close (Receive), -1 on an error
  // or when offset and count do not lie within the buffer.
  int Send(VoDataBuffer* buf, int offset, int count);
  int Receive(VoDataBuffer* buf, int offset, int count);
  int SendTo(VoDataBuffer* buf, int offset, int count, VoSocketAddress* addr);
  // The sender's address goes into addr.
  int ReceiveFrom(VoDataBuffer* buf, int offset, int count, VoSocketAddress* addr);
  // The socket's own or its peer's address into addr; the system's result, or
  // the negative handle of a closed socket (addr then holds 0.0.0.0:0).
  int GetLocalAddress(VoSocketAddress* addr);
  int GetRemoteAddress(VoSocketAddress* addr);

  int _sock;
  int _proto;
  int _accepted;
};
