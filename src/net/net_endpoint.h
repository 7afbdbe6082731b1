// net_endpoint.h -- the connection layer: a TCP and UDP server or client for
// up to 40 peers, its peer table, the system message types 0-7, routing,
// and the queue that hands game messages to the main thread.
//
// Slot 0 is the server (on a client: the connection to it); slots 1-39 are
// the server's clients. The endpoint runs three worker threads from its
// construction to its destruction (connect, receive, accept); opening and
// closing only change what they work on.
//
// Notes:
// - One re-entrant lock guards the peer table, the sockets, the send queues
//   and routing. Handlers run with it held, on the receive thread for remote
//   frames and on the sending thread for local ones; a handler may send.
//   The receive thread takes it afresh for each datagram and each stream
//   read, and lets threads that wait for it go first in between.
// - The server, not the client, says who spoke: every frame that arrives on
//   a client's stream carries that slot's id as its sender, whatever the
//   header said, and a datagram is taken only from the host of the slot's
//   TCP connection (the first such datagram fixes the UDP address). A
//   client's leave, however addressed, closes that client as the server's
//   own close does, announced to every peer.
// - A TCP send that the system takes only in part keeps the rest in the
//   slot's send queue, flushed before anything else goes on that stream, so
//   a stream is never cut mid-frame. A peer that lets more than
//   kMaxSendQueueBytes pile up is disconnected.
// - The queue holds at most 127 game messages; a further one of a type
//   without a handler is dropped. System messages (types 0-7) are queued
//   beyond that (up to kMaxQueuedSystem in all), so a flood of game traffic
//   never hides a login or a leave from the main thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net_frame.h"
#include "net/net_public.h"
#include "platform/platform_socket.h"

namespace net {

constexpr int kMaxPeers = 40;
constexpr int kQueueCapacity = 128;  // ring entries: at most 127 game messages queued
constexpr int kMaxQueuedSystem = 1024;  // hard bound on queue length, system types included
constexpr size_t kMaxSendQueueBytes = 1 << 20;
constexpr uint16_t kDefaultPort = 17328;

// System message types.
enum : uint16_t {
  kMsgHello = 0,
  kMsgAnswer = 1,
  kMsgLogin = 2,
  kMsgLeave = 3,
  kMsgOwnSlot = 4,
  kMsgPeerSlot = 5,
  kMsgNameChange = 6,
  kMsgTeamChange = 7,
  kFirstGameType = 8,
};

// Results beyond the frame codes and open codes of net_public.h.
enum : int {
  kNetNoSuchPeer = -50,
  kNetQueueEmpty = -60,
};

// One peer slot. Also the payload of types 4-7 (518 bytes, little-endian,
// written by EncodePeerSlot).
struct PeerSlot {
  int16_t index = 0;
  int16_t id = -1;          // -1: free
  int16_t teamNumber = 0;   // lowest slot index whose team text equals this one's
  char name[128] = {};
  char team[128] = {};
  char address[256] = {};   // "host:port"; the server's own slot: the local host name
};
constexpr int kPeerSlotWireLength = 518;
void EncodePeerSlot(uint8_t* out, const PeerSlot& slot);
PeerSlot DecodePeerSlot(const uint8_t* in);

// The five traffic counters, in bytes: received, of accepted frames, bad,
// sent, and sent late (queued because the stream was full).
struct NetStatistics {
  uint32_t received = 0;
  uint32_t good = 0;
  uint32_t bad = 0;
  uint32_t sent = 0;
  uint32_t blocked = 0;
};

// Waits the endpoint makes; tests shorten them.
struct EndpointTimings {
  int loginTimeoutMs = 10000;   // an accepted peer that sends no login is cut after this
  int idWaitSteps = 10;         // a client waits this many steps for its id
  int idWaitStepMs = 1000;
  int connectTimeoutMs = 10000;
  int rosterIntervalMs = 100;   // server: one slot record broadcast per interval
};

// The endpoint's one re-entrant lock. It also counts the threads blocked
// on it, so that the receive thread, which takes it once per datagram or
// stream read, can step aside between two of them: relaying a burst of
// datagrams to every peer would otherwise hold the main thread off for the
// whole burst (tens of milliseconds with a full house).
class EndpointLock {
 public:
  void lock() {
    if (mutex_.try_lock()) return;
    waiting_.fetch_add(1);
    mutex_.lock();
    waiting_.fetch_sub(1);
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }
  // Threads blocked in lock() right now.
  int Waiting() const { return waiting_.load(); }

 private:
  std::recursive_mutex mutex_;
  std::atomic<int> waiting_{0};
};

class NetworkEndpoint;
// A handler of one message type: (endpoint, to, team filter, from, type,
// payload, length) -> int. Called with the endpoint's lock held.
using NetHandler = std::function<int(NetworkEndpoint&, int, int, int, int, const uint8_t*, int)>;
using NetLogCallback = std::function<void(const char*)>;

class NetworkEndpoint {
 public:
  // Starts the three threads; nothing is opened.
  explicit NetworkEndpoint(EndpointTimings timings = {});
  // Closes everything, stops and joins the threads.
  ~NetworkEndpoint();
  NetworkEndpoint(const NetworkEndpoint&) = delete;
  NetworkEndpoint& operator=(const NetworkEndpoint&) = delete;

  // Opens as server (mode 2) or client (mode 3). `address` is "host" or
  // "host:port" (a non-zero port there replaces `port`; the server ignores
  // the host). 1 when the connect thread will write the outcome into
  // `status` (1, -130, -140 or -160); -100 already open; -110/-120 sockets.
  int Open(const char* address, int port, int mode, const char* name, const char* team,
           uint32_t checkCode, std::atomic<int>* status);
  // Open, then waits (bounded by the timings) for the outcome.
  int OpenAndWait(const char* address, int port, int mode, const char* name, const char* team,
                  uint32_t checkCode);
  // -1: closes everything. An id (server): announces its leave and frees
  // its slot; -50 when no slot 1-39 with a socket has it; 0 when the shutdown
  // failed (the slot is still freed); 1 otherwise.
  int Close(int id);

  int Send(int to, int teamFilter, int type, const uint8_t* payload, int length, int flags);
  // Frames and routes. The last send's result (bytes), 0 when nothing went
  // out, kFrameNoOwnId, kFramePayloadTooLong.
  int SendFrom(int to, int teamFilter, int from, int type, const uint8_t* payload, int length,
               int flags);

  // 1; 0 for a type outside 1..254 (255 and above are never handled).
  int SetHandler(int type, NetHandler handler);
  void SetLogCallback(NetLogCallback callback);

  // Queue, read by one thread (the main thread).
  int PeekMessage(int* to, int* teamFilter, int* from, int* type, int* length);
  int PopMessage(uint8_t* buffer, int size);
  int QueuedCount();

  int GetMode();
  int GetOwnId();
  int GetPeerName(char* out, int id);
  int GetPeerTeam(char* out, int id);
  int GetPeerAddress(char* out, int id);
  int FindPeerSlot(int id);
  int ListPeerIds(int* out);
  int PeerCount();
  NetStatistics GetStatistics();
  PeerSlot GetPeerSlot(int index);
  // The UDP port the endpoint is bound to (server: the listening port).
  uint16_t LocalPort();

  int SendPeerRecord(int to, int slotIndex);
  int StorePeerRecord(const PeerSlot& slot);
  void RecomputeTeamNumbers();

 private:
  struct QueuedMessage {
    NetMessageHeader header;
    std::vector<uint8_t> payload;
  };
  struct SlotIo {
    platform::Socket tcp;
    platform::SocketAddress tcpPeer;     // host of the TCP connection
    platform::SocketAddress udp;         // learned UDP address (port 0: none)
    uint64_t loginTimerMs = 0;           // accept time; 0 free or logged in
    std::unique_ptr<FrameStreamReader> reader;
    std::vector<uint8_t> sendQueue;      // bytes of a stream not yet taken
  };

  void ConnectThread();
  void AcceptThread();
  void ReceiveThread();
  void ReceivePass();

  void Log(const char* format, ...);
  uint64_t NowMs() const;
  void CloseAllLocked();
  void FreeSlotLocked(int slot, bool shutdown, bool* shutdownFailed);
  bool TeamMatched(int slot, int teamFilter);
  int SendRaw(int slot, const uint8_t* frame, int length, bool udp);
  void FlushSendQueues();
  int Route(const uint8_t* frame, int total, const NetMessageHeader& h, const uint8_t* payload,
            int length);
  int Deliver(int to, int teamFilter, int from, int type, const uint8_t* payload, int length,
              int flags);
  void RouteReceived(int slot, ReceivedFrame& frame, bool viaUdp);
  void HandleStreamData(int slot);
  void HandleDatagrams(platform::Socket socket);
  void LetWaitersIn();
  void Enqueue(const NetMessageHeader& h, const uint8_t* payload, int length);
  int LowestFreeId();
  int CopyText(char* out, int id, int which);

  EndpointTimings timings_;
  EndpointLock lock_;
  std::mutex queueLock_;
  std::vector<QueuedMessage> queue_;  // oldest first

  int16_t ownId_ = -1;
  char ownName_[128] = {};
  char ownTeam_[128] = {};
  uint32_t checkCode_ = kApplicationCheckCode;
  std::atomic<int> mode_{0};
  PeerSlot slots_[kMaxPeers];
  SlotIo io_[kMaxPeers];
  platform::Socket listener_;
  platform::Socket udp_;
  platform::SocketAddress address_;
  std::string host_;
  std::atomic<int>* status_ = nullptr;
  NetStatistics stats_;
  NetHandler handlers_[256];
  NetLogCallback log_;
  int rosterPosition_ = 0;
  uint64_t lastRosterMs_ = 0;

  std::atomic<bool> start_{false};
  std::atomic<bool> stop_{false};
  std::mutex wakeLock_;
  std::condition_variable wake_;
  platform::SocketWaker receiveWaker_;
  platform::SocketWaker acceptWaker_;
  std::thread connectThread_;
  std::thread receiveThread_;
  std::thread acceptThread_;
};

}  // namespace net
