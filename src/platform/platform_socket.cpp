// platform_socket.cpp -- IPv4 TCP and UDP sockets over POSIX sockets, and
// the poll-based wait with its self-pipe wake-up.

#include "platform/platform_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// strerror_r comes in two shapes (GNU returns the text, XSI fills the
// buffer); these pick the text from either.
[[maybe_unused]] const char* PickErrorText(int result, const char* buffer) {
  return result == 0 ? buffer : "unknown error";
}
[[maybe_unused]] const char* PickErrorText(const char* result, const char*) { return result; }

// The system's reason for `err`, thread-safe (strerror is not).
std::string ReasonOf(int err) {
  char buffer[256] = {};
  return PickErrorText(strerror_r(err, buffer, sizeof buffer), buffer);
}

// "step: reason", so a log line says what was being done.
std::string Failure(const char* step, int err) { return std::string(step) + ": " + ReasonOf(err); }

sockaddr_in ToSystem(const SocketAddress& address) {
  sockaddr_in out = {};
  out.sin_family = AF_INET;
  out.sin_addr.s_addr = htonl(address.host);
  out.sin_port = htons(address.port);
  return out;
}

SocketAddress FromSystem(const sockaddr_in& address) {
  return SocketAddress{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

SocketResult Failed(std::string error) {
  SocketResult result;
  result.status = IoStatus::Error;
  result.error = std::move(error);
  return result;
}

IoResult IoFailed(IoStatus status, int err) {
  IoResult result;
  result.status = status;
  result.error = ReasonOf(err);
  return result;
}

IoResult IoDone(size_t bytes) {
  IoResult result;
  result.status = IoStatus::Done;
  result.bytes = bytes;
  return result;
}

IoResult IoWouldBlock() {
  IoResult result;
  result.status = IoStatus::WouldBlock;
  return result;
}

bool WouldBlockError(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

// A connection the peer has gone from, seen by a send or a receive.
bool ConnectionGone(int err) { return err == EPIPE || err == ECONNRESET; }

// A socket of the given type, non-blocking and closed on exec; -1 with errno.
int NewSocket(int type) { return socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

// Milliseconds left of a time-out that started at `start` (-1 stays -1: no
// limit), never below 0.
int RemainingMs(int timeoutMs, std::chrono::steady_clock::time_point start) {
  if (timeoutMs < 0) return -1;
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
  return spent >= timeoutMs ? 0 : int(timeoutMs - spent);
}

// poll that a signal does not cut short: it goes on with the time left.
// Returns poll's result; -1 with errno on a real failure.
int PollFully(pollfd* fds, nfds_t count, int timeoutMs) {
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    int n = poll(fds, count, RemainingMs(timeoutMs, start));
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Binds a fresh socket of `type` to `local`; -1 with the reason in `error`.
int BoundSocket(int type, const SocketAddress& local, bool reuseAddress, std::string* error) {
  int fd = NewSocket(type);
  if (fd < 0) {
    *error = Failure("socket", errno);
    return -1;
  }
  // A server that closes and opens again must get its port back at once,
  // though connections it closed first still linger on it for a while.
  int on = 1;
  if (reuseAddress && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    *error = Failure("setsockopt", errno);
    close(fd);
    return -1;
  }
  sockaddr_in address = ToSystem(local);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = Failure(("bind " + AddressText(local)).c_str(), errno);
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

// ----------------------------------------------------------------------------
// Addresses
// ----------------------------------------------------------------------------

std::string HostText(const SocketAddress& address) {
  in_addr host = {};
  host.s_addr = htonl(address.host);
  char text[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, &host, text, sizeof text)) return "";
  return text;
}

std::string AddressText(const SocketAddress& address) {
  return HostText(address) + ":" + std::to_string(address.port);
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;  // the last byte is never written, so a name cut short stays terminated
}

bool ResolveHost(const char* host, uint16_t port, SocketAddress* out, std::string* error) {
  if (!host || !*host) {
    if (error) *error = "no host name";
    return false;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int code = getaddrinfo(host, nullptr, &hints, &found);
  if (code != 0 || !found) {
    if (error) {
      *error = std::string(host) + ": " +
               (code == EAI_SYSTEM ? ReasonOf(errno) : std::string(gai_strerror(code)));
    }
    if (found) freeaddrinfo(found);
    return false;
  }
  // The hints ask for IPv4 only, so the first answer is an IPv4 address.
  sockaddr_in address = {};
  std::memcpy(&address, found->ai_addr, sizeof address);
  freeaddrinfo(found);
  *out = FromSystem(address);
  out->port = port;
  return true;
}

// ----------------------------------------------------------------------------
// Making and ending sockets
// ----------------------------------------------------------------------------

SocketResult ListenTcp(const SocketAddress& local, int backlog) {
  std::string error;
  int fd = BoundSocket(SOCK_STREAM, local, true, &error);
  if (fd < 0) return Failed(std::move(error));
  if (listen(fd, backlog) != 0) {
    error = Failure("listen", errno);
    close(fd);
    return Failed(std::move(error));
  }
  SocketResult result;
  result.status = IoStatus::Done;
  result.socket.handle = fd;
  return result;
}

SocketResult AcceptTcp(Socket listener) {
  for (;;) {
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    int fd = accept4(listener.handle, reinterpret_cast<sockaddr*>(&address), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      SocketResult result;
      result.status = IoStatus::Done;
      result.socket.handle = fd;
      result.peer = FromSystem(address);
      return result;
    }
    int err = errno;
    if (WouldBlockError(err)) {
      SocketResult result;
      result.status = IoStatus::WouldBlock;
      return result;
    }
    // A caller that gave up before being taken, or a network error pending
    // on the new connection, costs that one caller only: take the next.
    if (err == EINTR || err == ECONNABORTED || err == EPROTO || err == ENETDOWN ||
        err == ENETUNREACH || err == EHOSTDOWN || err == EHOSTUNREACH || err == ENONET ||
        err == ENOPROTOOPT || err == EOPNOTSUPP) {
      continue;
    }
    return Failed(Failure("accept", err));
  }
}

SocketResult ConnectTcp(const SocketAddress& remote, int timeoutMs) {
  std::string where = "connect " + AddressText(remote);
  int fd = NewSocket(SOCK_STREAM);
  if (fd < 0) return Failed(Failure("socket", errno));

  // The socket is non-blocking, so the connection is started here and
  // finished (or not) within the time-out by the wait below.
  sockaddr_in address = ToSystem(remote);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int err = errno;
    // An interrupted connect goes on in the background, as a started one does.
    if (err != EINPROGRESS && err != EINTR) {
      close(fd);
      return Failed(Failure(where.c_str(), err));
    }
    pollfd wait = {fd, POLLOUT, 0};
    int n = PollFully(&wait, 1, timeoutMs);
    if (n < 0) {
      err = errno;
      close(fd);
      return Failed(Failure(where.c_str(), err));
    }
    if (n == 0) {
      close(fd);
      return Failed(where + ": no answer within " + std::to_string(timeoutMs) + " ms");
    }
    int outcome = 0;
    socklen_t length = sizeof outcome;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &outcome, &length) != 0) outcome = errno;
    if (outcome != 0) {
      close(fd);
      return Failed(Failure(where.c_str(), outcome));
    }
  }
  SocketResult result;
  result.status = IoStatus::Done;
  result.socket.handle = fd;
  result.peer = remote;
  return result;
}

SocketResult OpenUdp(const SocketAddress& local) {
  std::string error;
  // No address sharing for datagrams: two sockets on one port would split
  // the peers' datagrams between them.
  int fd = BoundSocket(SOCK_DGRAM, local, false, &error);
  if (fd < 0) return Failed(std::move(error));
  // A server takes every peer's datagrams on this one socket: room for a
  // burst of them (the system caps the size; a smaller buffer still works).
  int room = 4 << 20;
  (void)setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
  SocketResult result;
  result.status = IoStatus::Done;
  result.socket.handle = fd;
  return result;
}

SocketAddress LocalAddressOf(Socket socket) {
  sockaddr_in address = {};
  socklen_t length = sizeof address;
  if (getsockname(socket.handle, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.sin_family != AF_INET) {
    return SocketAddress{};
  }
  return FromSystem(address);
}

bool ShutdownSocket(Socket socket, std::string* error) {
  if (shutdown(socket.handle, SHUT_RDWR) == 0) return true;
  if (error) *error = Failure("shutdown", errno);
  return false;
}

void CloseSocket(Socket& socket) {
  if (!socket.Valid()) return;
  // Not retried on EINTR: Linux frees the descriptor whatever close reports,
  // and a retry could close a descriptor another thread has just been given.
  close(socket.handle);
  socket.handle = -1;
}

// ----------------------------------------------------------------------------
// Streams
// ----------------------------------------------------------------------------

IoResult Send(Socket socket, const void* data, size_t size) {
  if (size == 0) return IoDone(0);
  for (;;) {
    // MSG_NOSIGNAL: a peer that has gone is a result here, not a SIGPIPE
    // that ends the process.
    ssize_t n = send(socket.handle, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return IoDone(size_t(n));
    int err = errno;
    if (err == EINTR) continue;
    if (WouldBlockError(err)) return IoWouldBlock();
    return IoFailed(ConnectionGone(err) ? IoStatus::Closed : IoStatus::Error, err);
  }
}

IoResult Receive(Socket socket, void* buffer, size_t capacity) {
  // recv of 0 bytes returns 0, which would read as the peer closing.
  if (capacity == 0) return IoDone(0);
  for (;;) {
    ssize_t n = recv(socket.handle, buffer, capacity, MSG_DONTWAIT);
    if (n > 0) return IoDone(size_t(n));
    if (n == 0) {
      IoResult closed;
      closed.status = IoStatus::Closed;
      return closed;
    }
    int err = errno;
    if (err == EINTR) continue;
    if (WouldBlockError(err)) return IoWouldBlock();
    return IoFailed(ConnectionGone(err) ? IoStatus::Closed : IoStatus::Error, err);
  }
}

// ----------------------------------------------------------------------------
// Datagrams
// ----------------------------------------------------------------------------

IoResult SendTo(Socket socket, const void* data, size_t size, const SocketAddress& to) {
  sockaddr_in address = ToSystem(to);
  for (;;) {
    ssize_t n = sendto(socket.handle, data, size, MSG_NOSIGNAL | MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (n >= 0) return IoDone(size_t(n));
    int err = errno;
    if (err == EINTR) continue;
    if (WouldBlockError(err)) return IoWouldBlock();
    return IoFailed(IoStatus::Error, err);
  }
}

IoResult ReceiveFrom(Socket socket, void* buffer, size_t capacity, SocketAddress* from) {
  for (;;) {
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    // MSG_TRUNC makes the result the datagram's whole size, so a datagram
    // cut to the buffer is told apart from one that fitted.
    ssize_t n = recvfrom(socket.handle, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                         reinterpret_cast<sockaddr*>(&address), &length);
    if (n >= 0) {
      if (from) *from = FromSystem(address);
      if (size_t(n) > capacity) {
        IoResult cut;
        cut.status = IoStatus::Truncated;
        cut.bytes = capacity;
        return cut;
      }
      return IoDone(size_t(n));
    }
    int err = errno;
    if (err == EINTR) continue;
    if (WouldBlockError(err)) return IoWouldBlock();
    return IoFailed(IoStatus::Error, err);
  }
}

// ----------------------------------------------------------------------------
// Waiting
// ----------------------------------------------------------------------------

SocketWaker::SocketWaker() {
  // A self-pipe: Wake writes a byte, the wait watches the reading end with
  // the sockets. Both ends non-blocking, so a full pipe never stalls Wake
  // (a wake is pending then anyway) and draining stops when it is empty.
  int ends[2];
  if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
    error_ = Failure("pipe", errno);
    return;
  }
  readHandle_ = ends[0];
  writeHandle_ = ends[1];
}

SocketWaker::~SocketWaker() {
  if (readHandle_ >= 0) close(readHandle_);
  if (writeHandle_ >= 0) close(writeHandle_);
}

void SocketWaker::Wake() {
  if (writeHandle_ < 0) return;
  const char byte = 1;
  while (write(writeHandle_, &byte, 1) < 0 && errno == EINTR) {
  }
}

WaitResult WaitReadable(SocketWait* sockets, size_t count, int timeoutMs, SocketWaker* waker) {
  // The receive thread waits every pass; the endpoint's table (its slots,
  // the listener, the datagram socket and the waker) fits the array on the
  // stack, so only a larger set allocates.
  constexpr size_t kOnStack = 64;
  pollfd local[kOnStack];
  std::vector<pollfd> large;
  bool withWaker = waker && waker->Ok();
  size_t total = count + (withWaker ? 1 : 0);
  pollfd* fds = local;
  if (total > kOnStack) {
    large.resize(total);
    fds = large.data();
  }

  // Negative descriptors are skipped by poll, which is what "no socket" is.
  for (size_t i = 0; i < count; ++i) {
    sockets[i].ready = false;
    fds[i] = pollfd{sockets[i].socket.handle, POLLIN, 0};
  }
  if (withWaker) fds[count] = pollfd{waker->readHandle_, POLLIN, 0};

  WaitResult result;
  if (PollFully(fds, nfds_t(total), timeoutMs) < 0) {
    result.error = Failure("poll", errno);
    return result;
  }
  // Any event counts as ready: data, a hang-up, an error or a descriptor that
  // is no socket (POLLNVAL) all show themselves to the next receive.
  for (size_t i = 0; i < count; ++i) {
    if (fds[i].revents != 0) {
      sockets[i].ready = true;
      ++result.ready;
    }
  }
  if (withWaker && fds[count].revents != 0) {
    result.woken = true;
    char drain[64];
    for (;;) {
      ssize_t n = read(waker->readHandle_, drain, sizeof drain);
      if (n > 0 || (n < 0 && errno == EINTR)) continue;
      break;  // empty (EAGAIN): every wake so far is used up
    }
  }
  return result;
}

IoResult WaitWritable(Socket socket, int timeoutMs) {
  pollfd wait = {socket.handle, POLLOUT, 0};
  int n = PollFully(&wait, 1, timeoutMs);
  if (n < 0) return IoFailed(IoStatus::Error, errno);
  if (n == 0) return IoWouldBlock();
  return IoDone(0);
}

}  // namespace platform
