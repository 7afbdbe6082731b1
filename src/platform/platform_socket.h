// platform_socket.h -- IPv4 TCP and UDP sockets for the network endpoint:
// listening, accepting, connecting, datagrams, and a wait on many sockets
// that another thread can cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ----------------------------------------------------------------------------
// Conventions
//
// - Every socket this layer makes is non-blocking from the start, closed on
//   exec, and never raises SIGPIPE: a send to a peer that has gone reports
//   Closed instead of killing the process.
// - Nothing here blocks except ConnectTcp (at most its time-out), the waits
//   (at most theirs) and ResolveHost (as long as the system's resolver takes).
// - Failures carry the system's reason as text, for the log; the caller
//   decides what a failure means. Nothing here logs.
// - A Socket is a plain handle, copied freely; exactly one copy is given to
//   CloseSocket. Any thread may use a socket, but closing one while another
//   thread sends, receives or waits on it is the caller's race to prevent
//   (the endpoint does both under its lock or on one thread).
// ----------------------------------------------------------------------------

// A socket handle; the default one is "no socket".
struct Socket {
  int handle = -1;

  bool Valid() const { return handle >= 0; }
  friend bool operator==(const Socket&, const Socket&) = default;
};

constexpr uint32_t kAnyHost = 0;                // bind: every local address
constexpr uint32_t kLoopbackHost = 0x7F000001;  // 127.0.0.1

// An IPv4 address and port, in host byte order (127.0.0.1 is 0x7F000001).
// Two addresses are equal when host and port are: the endpoint matches a
// datagram's source against the addresses it has learned this way.
struct SocketAddress {
  uint32_t host = kAnyHost;
  uint16_t port = 0;  // 0: any port when binding; "none learned" elsewhere

  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// The dotted host text, e.g. "192.168.0.5".
std::string HostText(const SocketAddress& address);
// The dotted host and the port, "192.168.0.5:17328".
std::string AddressText(const SocketAddress& address);

// The local machine's host name ("" when the system will not tell).
std::string LocalHostName();

// Turns a host name or dotted address into an IPv4 address with the given
// port, through the system's resolver (the first IPv4 address it gives).
// False, with the resolver's reason in `error` when given, when there is
// none; an empty or null name is refused.
[[nodiscard]] bool ResolveHost(const char* host, uint16_t port, SocketAddress* out,
                               std::string* error = nullptr);

// ----------------------------------------------------------------------------
// Results
// ----------------------------------------------------------------------------

enum class IoStatus {
  Done,        // the operation happened; `bytes` says how much of it
  WouldBlock,  // nothing to read, no room to write, no caller waiting yet, or a time-out
  Closed,      // the peer closed or reset the connection (receive, send)
  Truncated,   // a datagram larger than the buffer: `bytes` of it were kept, the rest is lost
  Error,       // anything else; `error` holds the system's reason
};

struct [[nodiscard]] IoResult {
  IoStatus status = IoStatus::Error;
  size_t bytes = 0;   // Done, Truncated: bytes sent or received; else 0
  std::string error;  // Error, and Closed by a reset: the system's reason

  bool Ok() const { return status == IoStatus::Done; }
};

struct [[nodiscard]] SocketResult {
  IoStatus status = IoStatus::Error;  // Done, WouldBlock (AcceptTcp only) or Error
  Socket socket;                      // valid exactly when Done; the caller closes it
  SocketAddress peer;                 // AcceptTcp: the caller; ConnectTcp: the server
  std::string error;                  // the system's reason when Error

  bool Ok() const { return status == IoStatus::Done; }
};

// ----------------------------------------------------------------------------
// Making and ending sockets
// ----------------------------------------------------------------------------

// A TCP socket bound to `local` (host kAnyHost: every address; port 0: a free
// port, see LocalAddressOf) and listening with the given backlog. The address
// may be taken again at once after a previous listener on it closed, even
// while its old connections linger; a port another socket listens on fails.
SocketResult ListenTcp(const SocketAddress& local, int backlog);

// Takes the oldest waiting connection of a listener: Done with the new
// connection and the caller's address, WouldBlock when none waits (wait for
// the listener to be readable), Error otherwise.
SocketResult AcceptTcp(Socket listener);

// Connects by TCP, waiting at most `timeoutMs` for the server to answer
// (negative: as long as the system allows). Error with the reason when it
// refuses, cannot be reached or does not answer in time.
SocketResult ConnectTcp(const SocketAddress& remote, int timeoutMs);

// A UDP socket bound to `local` (kAnyHost and port 0 as for ListenTcp; a
// client that only sends binds to port 0).
SocketResult OpenUdp(const SocketAddress& local);

// The address a socket is bound to (port 0 and host kAnyHost when it cannot
// be read): how a test learns the port that port 0 gave.
SocketAddress LocalAddressOf(Socket socket);

// Shuts both directions of a connection down, so that the peer sees it
// closed and a wait of this side on it wakes. False, with the reason in
// `error`, when the system refuses (e.g. a socket never connected).
[[nodiscard]] bool ShutdownSocket(Socket socket, std::string* error = nullptr);

// Closes the socket and makes the handle "no socket"; no socket is ignored.
void CloseSocket(Socket& socket);

// ----------------------------------------------------------------------------
// Streams
//
// Send may take fewer bytes than given when the system's buffer fills; the
// rest is the caller's to send (after WaitWritable) before anything else, or
// the stream is cut mid-message.
// ----------------------------------------------------------------------------

// Done with the bytes taken (at least 1 when `size` > 0), WouldBlock when
// none fit, Closed when the peer has gone, Error otherwise. A size of 0 sends
// nothing and is Done.
IoResult Send(Socket socket, const void* data, size_t size);

// Done with the bytes read (at least 1), WouldBlock when none are waiting,
// Closed when the peer closed (or reset) the connection, Error otherwise. A
// capacity of 0 reads nothing and is Done with 0, never Closed.
IoResult Receive(Socket socket, void* buffer, size_t capacity);

// ----------------------------------------------------------------------------
// Datagrams
// ----------------------------------------------------------------------------

// Sends one datagram whole: Done with its size, WouldBlock when the system's
// buffer is full, Error otherwise (a datagram too large included).
IoResult SendTo(Socket socket, const void* data, size_t size, const SocketAddress& to);

// Takes the oldest datagram: Done with its size and its sender in `from`
// (may be null), WouldBlock when none waits, Truncated when it was larger
// than `capacity` (its head kept, the datagram consumed), Error otherwise.
IoResult ReceiveFrom(Socket socket, void* buffer, size_t capacity, SocketAddress* from);

// ----------------------------------------------------------------------------
// Waiting
// ----------------------------------------------------------------------------

struct SocketWait;
struct WaitResult;

// A wake-up for a waiting thread. Wake may be called from any thread, any
// number of times: the current wait on this waker, or the next one when none
// is running, returns woken once; wakes before that collapse into one.
class SocketWaker {
 public:
  SocketWaker();  // check Ok(): the system may refuse the pipe
  ~SocketWaker();
  SocketWaker(const SocketWaker&) = delete;
  SocketWaker& operator=(const SocketWaker&) = delete;

  bool Ok() const { return readHandle_ >= 0; }
  const std::string& Error() const { return error_; }
  void Wake();

 private:
  friend WaitResult WaitReadable(SocketWait* sockets, size_t count, int timeoutMs,
                                 SocketWaker* waker);
  int readHandle_ = -1;
  int writeHandle_ = -1;
  std::string error_;
};

// One socket to watch. `ready` is written by the wait: the socket has data,
// a waiting connection (a listener), or has been closed or failed; the next
// receive or accept tells which. "No socket" entries are skipped and never
// ready, so a table with free slots can be passed as it is.
struct SocketWait {
  Socket socket;
  bool ready = false;
};

struct [[nodiscard]] WaitResult {
  int ready = 0;       // entries marked ready; 0 after a time-out or a bare wake
  bool woken = false;  // the waker was woken (its wake is used up)
  std::string error;   // non-empty when the wait itself failed; nothing is ready then
};

// Waits until at least one socket is ready, the waker (may be null) is woken,
// or `timeoutMs` passes (0: just look; negative: no limit). Signals that
// interrupt the wait do not shorten it.
WaitResult WaitReadable(SocketWait* sockets, size_t count, int timeoutMs, SocketWaker* waker);

// Waits until a stream can take more bytes: Done when it can (or has failed
// or closed: the next Send tells), WouldBlock after `timeoutMs`, Error when
// the wait fails. For completing a partial Send.
IoResult WaitWritable(Socket socket, int timeoutMs);

}  // namespace platform
