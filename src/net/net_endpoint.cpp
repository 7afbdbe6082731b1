// net_endpoint.cpp -- sockets, peer slots, routing and the worker threads of
// the network endpoint.

#include "net/net_endpoint.h"

#include "core/core_public.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace net {

namespace {

using platform::IoStatus;
using platform::Socket;
using platform::SocketAddress;

void PutLe16(uint8_t* p, int16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

int16_t GetLe16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

// Copies at most size - 1 characters and always ends the text.
void CopyBounded(char* out, size_t size, const char* in) {
  size_t n = in ? strnlen(in, size - 1) : 0;
  if (n) std::memcpy(out, in, n);
  out[n] = '\0';
}

// The 256-byte login payload: name, NUL, team.
void LoginPayload(uint8_t out[256], const char* name, const char* team) {
  std::memset(out, 0, 256);
  size_t n = strnlen(name, 127);
  std::memcpy(out, name, n);
  size_t t = strnlen(team, 127);
  if (n + 1 + t > 255) t = 254 - n;
  std::memcpy(out + n + 1, team, t);
}

// Reads name and team back from a login payload of `length` bytes.
void ParseLogin(const uint8_t* payload, int length, char name[128], char team[128]) {
  name[0] = team[0] = '\0';
  if (length <= 0) return;
  size_t n = strnlen(reinterpret_cast<const char*>(payload), std::min<size_t>(length, 127));
  std::memcpy(name, payload, n);
  name[n] = '\0';
  if (static_cast<int>(n) + 1 >= length) return;
  const char* t = reinterpret_cast<const char*>(payload + n + 1);
  size_t tn = strnlen(t, std::min<size_t>(length - n - 1, 127));
  std::memcpy(team, t, tn);
  team[tn] = '\0';
}

bool IsSystemType(int type) { return type >= 0 && type < kFirstGameType; }

}  // namespace

void EncodePeerSlot(uint8_t* out, const PeerSlot& slot) {
  PutLe16(out, slot.index);
  PutLe16(out + 2, slot.id);
  PutLe16(out + 4, slot.teamNumber);
  std::memcpy(out + 6, slot.name, 128);
  std::memcpy(out + 134, slot.team, 128);
  std::memcpy(out + 262, slot.address, 256);
}

PeerSlot DecodePeerSlot(const uint8_t* in) {
  PeerSlot slot;
  slot.index = GetLe16(in);
  slot.id = GetLe16(in + 2);
  slot.teamNumber = GetLe16(in + 4);
  std::memcpy(slot.name, in + 6, 128);
  std::memcpy(slot.team, in + 134, 128);
  std::memcpy(slot.address, in + 262, 256);
  // A peer's texts are ended here, whatever it sent.
  slot.name[127] = slot.team[127] = slot.address[255] = '\0';
  return slot;
}

// [SECTION] Construction and threads

NetworkEndpoint::NetworkEndpoint(EndpointTimings timings) : timings_(timings) {
  for (int i = 0; i < kMaxPeers; i++) slots_[i].index = static_cast<int16_t>(i);
  connectThread_ = std::thread([this] { ConnectThread(); });
  receiveThread_ = std::thread([this] { ReceiveThread(); });
  acceptThread_ = std::thread([this] { AcceptThread(); });
}

NetworkEndpoint::~NetworkEndpoint() {
  {
    std::lock_guard<std::mutex> g(wakeLock_);
    stop_ = true;
  }
  wake_.notify_all();
  receiveWaker_.Wake();
  acceptWaker_.Wake();
  connectThread_.join();
  receiveThread_.join();
  acceptThread_.join();
  std::lock_guard<EndpointLock> g(lock_);
  CloseAllLocked();
}

uint64_t NetworkEndpoint::NowMs() const {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count()) + 1;
}

void NetworkEndpoint::Log(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::lock_guard<EndpointLock> g(lock_);
  if (log_) log_(text);
}

void NetworkEndpoint::ConnectThread() {
  while (!stop_) {
    {
      std::unique_lock<std::mutex> g(wakeLock_);
      wake_.wait_for(g, std::chrono::milliseconds(200), [this] { return stop_ || start_; });
    }
    if (stop_) break;
    if (!start_.exchange(false)) continue;

    int status = 1;
    if (mode_ == kModeClient) {
      std::string host;
      uint16_t port;
      {
        std::lock_guard<EndpointLock> g(lock_);
        host = host_;
        port = address_.port;
      }
      SocketAddress server;
      platform::SocketResult connected;
      if (!platform::ResolveHost(host.c_str(), port, &server)) {
        Log("%s", core::Sjis("ホスト名のアドレス変換に失敗しました"));
        status = kOpenHostNotResolved;
      } else if (!(connected = platform::ConnectTcp(server, timings_.connectTimeoutMs)).Ok()) {
        Log("%s", core::Sjis("TCP-Socketの接続に失敗しました"));
        status = kOpenTcpConnectFailed;
      } else {
        std::unique_lock<EndpointLock> g(lock_);
        if (mode_ != kModeClient) {
          // Closed while we were connecting.
          platform::CloseSocket(connected.socket);
          status = kOpenTcpConnectFailed;
        } else {
          io_[0].tcp = connected.socket;
          io_[0].tcpPeer = connected.peer;
          io_[0].udp = connected.peer;  // the server's UDP port is its TCP port
          uint8_t login[256];
          LoginPayload(login, ownName_, ownTeam_);
          (void)SendFrom(0, kNoTeamFilter, kIdNotKnown, kMsgLogin, login, 256, 0);
        }
        g.unlock();
        receiveWaker_.Wake();
        bool haveId = status != 1;
        for (int step = 0; step < timings_.idWaitSteps && !stop_ && !haveId; step++) {
          for (int ms = 0; ms < timings_.idWaitStepMs && !stop_; ms += 10) {
            if (GetOwnId() >= 0) {
              haveId = true;
              break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }
        if (status == 1 && !haveId) {
          Log("%s", core::Sjis("サーバから応答がありません。アプリケーションのバージョンが異なる可能性があります。"));
          status = kOpenNoAnswer;
        } else if (status == 1) {
          static const uint8_t hello[6] = {'H', 'e', 'l', 'l', 'o', 0};
          (void)SendFrom(0, kNoTeamFilter, kIdEverybody, kMsgHello, hello, 6, kFrameFlagUdp);
        }
      }
    }
    std::lock_guard<EndpointLock> g(lock_);
    if (status != 1) CloseAllLocked();
    if (status_) status_->store(status);
    status_ = nullptr;
  }
}

void NetworkEndpoint::AcceptThread() {
  while (!stop_) {
    Socket listener;
    {
      std::lock_guard<EndpointLock> g(lock_);
      listener = listener_;
    }
    if (!listener.Valid()) {
      std::unique_lock<std::mutex> g(wakeLock_);
      wake_.wait_for(g, std::chrono::milliseconds(100), [this] { return stop_.load(); });
      continue;
    }
    platform::SocketWait wait{listener, false};
    platform::WaitResult waited = platform::WaitReadable(&wait, 1, 100, &acceptWaker_);
    if (waited.ready == 0) continue;
    std::lock_guard<EndpointLock> g(lock_);
    if (!(listener_ == listener)) continue;  // closed meanwhile
    platform::SocketResult accepted = platform::AcceptTcp(listener_);
    if (!accepted.Ok()) continue;
    int slot = -1;
    for (int i = 1; i < kMaxPeers && slot < 0; i++)
      if (!io_[i].tcp.Valid()) slot = i;
    if (slot < 0) {
      // Every slot is taken: the caller is turned away at once. A failing
      // shutdown only ends this connection.
      (void)platform::ShutdownSocket(accepted.socket);
      platform::CloseSocket(accepted.socket);
      continue;
    }
    SlotIo& io = io_[slot];
    io.tcp = accepted.socket;
    io.tcpPeer = accepted.peer;
    io.udp = {};
    io.loginTimerMs = NowMs();
    io.reader.reset();
    io.sendQueue.clear();
    PeerSlot& s = slots_[slot];
    s = PeerSlot{};
    s.index = static_cast<int16_t>(slot);
    s.id = static_cast<int16_t>(LowestFreeId());
    std::snprintf(s.address, sizeof s.address, "%s", platform::AddressText(accepted.peer).c_str());
    RecomputeTeamNumbers();
    Log(core::Sjis("接続要求：[%s]"), s.address);
    receiveWaker_.Wake();
  }
}

int NetworkEndpoint::LowestFreeId() {
  for (int id = 1; id < kMaxPeers; id++) {
    bool used = false;
    for (int i = 0; i < kMaxPeers && !used; i++) used = slots_[i].id == id;
    if (!used) return id;
  }
  return -1;  // cannot happen: at most 39 clients
}

void NetworkEndpoint::ReceiveThread() {
  while (!stop_) ReceivePass();
}

void NetworkEndpoint::ReceivePass() {
  platform::SocketWait waits[kMaxPeers + 1];
  bool pendingSends = false;
  {
    std::lock_guard<EndpointLock> g(lock_);
    // 1. Accepted peers that never logged in are cut.
    uint64_t now = NowMs();
    for (int i = 1; i < kMaxPeers; i++) {
      if (io_[i].tcp.Valid() && io_[i].loginTimerMs != 0 &&
          now - io_[i].loginTimerMs > static_cast<uint64_t>(timings_.loginTimeoutMs)) {
        Log(core::Sjis("[%s]からの応答がありません。通信を切断します。"), slots_[i].address);
        (void)Close(slots_[i].id);
      }
    }
    // 2. Server: one slot's record to everybody per interval.
    if (mode_ == kModeServer && now - lastRosterMs_ >= static_cast<uint64_t>(timings_.rosterIntervalMs)) {
      lastRosterMs_ = now;
      for (int k = 0; k < kMaxPeers; k++) {
        rosterPosition_ = (rosterPosition_ + 1) % kMaxPeers;
        if (slots_[rosterPosition_].id >= 0) {
          (void)SendPeerRecord(-1, rosterPosition_);
          break;
        }
      }
    }
    FlushSendQueues();
    for (int i = 0; i < kMaxPeers; i++) {
      waits[i].socket = io_[i].tcp;
      pendingSends = pendingSends || !io_[i].sendQueue.empty();
    }
    waits[kMaxPeers].socket = udp_;
  }
  platform::WaitResult waited =
      platform::WaitReadable(waits, kMaxPeers + 1, pendingSends ? 10 : 100, &receiveWaker_);
  if (waited.ready == 0) return;
  // The lock is taken afresh for each datagram and each stream read, and
  // the threads waiting for it go first in between.
  if (waits[kMaxPeers].ready) HandleDatagrams(waits[kMaxPeers].socket);
  for (int i = 0; i < kMaxPeers; i++) {
    if (!waits[i].ready) continue;
    LetWaitersIn();
    std::lock_guard<EndpointLock> g(lock_);
    // A socket closed and replaced while we waited is skipped this pass.
    if (io_[i].tcp.Valid() && waits[i].socket == io_[i].tcp) HandleStreamData(i);
  }
}

void NetworkEndpoint::LetWaitersIn() {
  // Called without the lock: a thread blocked on it has been woken by our
  // last unlock and takes it before we do again. Bounded, in case a waiter
  // is slow to be scheduled.
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
  while (lock_.Waiting() > 0 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
}

// [SECTION] Opening and closing

int NetworkEndpoint::Open(const char* address, int port, int mode, const char* name,
                          const char* team, uint32_t checkCode, std::atomic<int>* status) {
  std::lock_guard<EndpointLock> g(lock_);
  if (mode_ != 0) {
    if (status) status->store(kOpenAlreadyConnected);
    return kOpenAlreadyConnected;
  }
  if (mode != kModeServer && mode != kModeClient) return kOpenTcpSocketFailed;
  CopyBounded(ownName_, sizeof ownName_, name);
  CopyBounded(ownTeam_, sizeof ownTeam_, team);
  checkCode_ = checkCode;
  stats_ = {};
  {
    std::lock_guard<std::mutex> q(queueLock_);
    queue_.clear();
  }
  std::string text = address ? address : "";
  size_t colon = text.find(':');
  host_ = text.substr(0, colon);
  if (colon != std::string::npos) {
    long p = std::strtol(text.c_str() + colon + 1, nullptr, 10);
    if (p > 0 && p <= 65535) port = static_cast<int>(p);
  }
  address_ = {mode == kModeServer ? platform::kAnyHost : 0, static_cast<uint16_t>(port)};
  CopyBounded(slots_[0].address, sizeof slots_[0].address, host_.c_str());

  if (mode == kModeServer) {
    platform::SocketResult listener = platform::ListenTcp(address_, kMaxPeers);
    if (!listener.Ok()) {
      Log("%s %s", core::Sjis("TCP-Socketの初期化に失敗しました"), listener.error.c_str());
      return kOpenTcpSocketFailed;
    }
    // Port 0 asks for any free port; the UDP socket takes the same one.
    SocketAddress bound = platform::LocalAddressOf(listener.socket);
    platform::SocketResult udp = platform::OpenUdp({platform::kAnyHost, bound.port});
    if (!udp.Ok()) {
      Socket s = listener.socket;
      platform::CloseSocket(s);
      Log("%s %s", core::Sjis("UDP-Socketの初期化に失敗しました"), udp.error.c_str());
      return kOpenUdpSocketFailed;
    }
    listener_ = listener.socket;
    udp_ = udp.socket;
    address_.port = bound.port;
    mode_ = kModeServer;
    PeerSlot& s0 = slots_[0];
    s0.id = 0;
    CopyBounded(s0.name, sizeof s0.name, ownName_);
    CopyBounded(s0.team, sizeof s0.team, ownTeam_);
    std::string hostName = platform::LocalHostName();
    CopyBounded(s0.address, sizeof s0.address, hostName.c_str());
    ownId_ = 0;
    RecomputeTeamNumbers();
    uint8_t login[256];
    LoginPayload(login, ownName_[0] ? ownName_ : "Server", ownTeam_);
    (void)SendFrom(0, kNoTeamFilter, 0, kMsgLogin, login, 256, 0);
  } else {
    platform::SocketResult udp = platform::OpenUdp({platform::kAnyHost, 0});
    if (!udp.Ok()) {
      Log("%s %s", core::Sjis("UDP-Socketの初期化に失敗しました"), udp.error.c_str());
      return kOpenUdpSocketFailed;
    }
    udp_ = udp.socket;
    mode_ = kModeClient;
  }
  status_ = status;
  {
    std::lock_guard<std::mutex> w(wakeLock_);
    start_ = true;
  }
  wake_.notify_all();
  acceptWaker_.Wake();
  receiveWaker_.Wake();
  return 1;
}

int NetworkEndpoint::OpenAndWait(const char* address, int port, int mode, const char* name,
                                 const char* team, uint32_t checkCode) {
  std::atomic<int> status{0};
  int result = Open(address, port, mode, name, team, checkCode, &status);
  if (result != 1) return result;
  while (status.load() == 0) {
    if (stop_) {
      // The connect thread is gone; nobody writes the status any more.
      std::lock_guard<EndpointLock> g(lock_);
      if (status_ == &status) status_ = nullptr;
      return kOpenNoAnswer;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status.load();
}

void NetworkEndpoint::FreeSlotLocked(int slot, bool shutdown, bool* shutdownFailed) {
  SlotIo& io = io_[slot];
  if (io.tcp.Valid()) {
    if (shutdown && !platform::ShutdownSocket(io.tcp) && shutdownFailed) *shutdownFailed = true;
    platform::CloseSocket(io.tcp);
  }
  io.tcpPeer = {};
  io.udp = {};
  io.loginTimerMs = 0;
  io.reader.reset();
  io.sendQueue.clear();
  slots_[slot] = PeerSlot{};
  slots_[slot].index = static_cast<int16_t>(slot);
}

void NetworkEndpoint::CloseAllLocked() {
  for (int i = 0; i < kMaxPeers; i++) FreeSlotLocked(i, true, nullptr);
  platform::CloseSocket(listener_);
  platform::CloseSocket(udp_);
  mode_ = 0;
  ownId_ = -1;
  RecomputeTeamNumbers();
  acceptWaker_.Wake();
  receiveWaker_.Wake();
}

int NetworkEndpoint::Close(int id) {
  std::lock_guard<EndpointLock> g(lock_);
  if (id == -1) {
    CloseAllLocked();
    return 1;
  }
  if (mode_ != kModeServer) return kNetNoSuchPeer;
  int slot = FindPeerSlot(id);
  // The server's own slot is never closed this way.
  if (slot <= 0 || !io_[slot].tcp.Valid()) return kNetNoSuchPeer;
  if (io_[slot].loginTimerMs == 0) {
    uint8_t leave[256];
    LoginPayload(leave, slots_[slot].name, slots_[slot].team);
    // Delivered here first, which frees the slot; then sent to the others.
    (void)SendFrom(kIdEverybody, kNoTeamFilter, slots_[slot].id, kMsgLeave, leave, 256, 0);
  }
  bool failed = false;
  if (io_[slot].tcp.Valid() || slots_[slot].id >= 0) FreeSlotLocked(slot, true, &failed);
  RecomputeTeamNumbers();
  receiveWaker_.Wake();
  return failed ? 0 : 1;
}

// [SECTION] Sending and routing

int NetworkEndpoint::Send(int to, int teamFilter, int type, const uint8_t* payload, int length,
                          int flags) {
  std::lock_guard<EndpointLock> g(lock_);
  return SendFrom(to, teamFilter, ownId_, type, payload, length, flags);
}

int NetworkEndpoint::SendFrom(int to, int teamFilter, int from, int type, const uint8_t* payload,
                              int length, int flags) {
  std::lock_guard<EndpointLock> g(lock_);
  if (type < 0 || type > 0xFFFF) return kFrameBadHeader;
  uint8_t frame[kMaxFrameLength];
  FrameRequest request;
  request.ownId = ownId_;
  request.to = static_cast<uint16_t>(to);
  request.teamFilter = static_cast<uint16_t>(teamFilter);
  request.from = static_cast<uint16_t>(from);
  request.type = static_cast<uint16_t>(type);
  // Callers pass plain payloads; the coding is the frame's business.
  request.flags = static_cast<uint16_t>(flags & ~(kFrameFlagZeroRuns | kFrameFlagHeaderRoom));
  request.payload = payload;
  request.payloadLength = length;
  int total = BuildFrame(frame, request, checkCode_);
  if (total < 0) return total;
  NetMessageHeader h = ReadFrameHeader(frame);
  return Route(frame, total, h, payload, length);
}

bool NetworkEndpoint::TeamMatched(int slot, int teamFilter) {
  if (teamFilter & kIdBit15) return true;
  int filterSlot = FindPeerSlot(teamFilter);
  return filterSlot >= 0 && slots_[filterSlot].teamNumber == slots_[slot].teamNumber;
}

int NetworkEndpoint::Route(const uint8_t* frame, int total, const NetMessageHeader& h,
                           const uint8_t* payload, int length) {
  bool toAll = (h.to & kIdBit15) != 0;
  bool udp = (h.flags & kFrameFlagUdp) != 0;
  int result = 0;
  if (mode_ == kModeServer) {
    if ((toAll || h.to == ownId_) && TeamMatched(0, h.teamFilter))
      (void)Deliver(h.to, h.teamFilter, h.from, h.type, payload, length, h.flags & ~kFrameFlagZeroRuns);
    if (toAll) {
      for (int i = 1; i < kMaxPeers; i++) {
        if (!io_[i].tcp.Valid() || !TeamMatched(i, h.teamFilter)) continue;
        if (slots_[i].id == h.from && !(h.flags & kFrameFlagEcho)) continue;
        result = SendRaw(i, frame, total, udp);
      }
    } else if (h.to != ownId_) {
      int slot = FindPeerSlot(h.to);
      if (slot > 0 && io_[slot].tcp.Valid() && TeamMatched(slot, h.teamFilter))
        result = SendRaw(slot, frame, total, udp);
    }
  } else if (mode_ == kModeClient && io_[0].tcp.Valid()) {
    if (h.flags & kFrameFlagEcho) return SendRaw(0, frame, total, udp);
    if (h.to != ownId_ || ownId_ < 0) result = SendRaw(0, frame, total, udp);
    if (ownId_ >= 0 && (h.to == ownId_ || toAll))
      (void)Deliver(h.to, h.teamFilter, h.from, h.type, payload, length, h.flags & ~kFrameFlagZeroRuns);
  }
  return result;
}

int NetworkEndpoint::SendRaw(int slot, const uint8_t* frame, int length, bool udp) {
  std::lock_guard<EndpointLock> g(lock_);
  if (slot < 0 || slot >= kMaxPeers || !io_[slot].tcp.Valid()) return kNetNoSuchPeer;
  SlotIo& io = io_[slot];
  stats_.sent += static_cast<uint32_t>(length);
  if (udp) {
    if (io.udp.port == 0 || !udp_.Valid()) return 0;
    platform::IoResult r = platform::SendTo(udp_, frame, length, io.udp);
    return r.Ok() ? static_cast<int>(r.bytes) : 0;
  }
  size_t taken = 0;
  if (io.sendQueue.empty()) {
    platform::IoResult r = platform::Send(io.tcp, frame, length);
    if (r.status == IoStatus::Done) {
      taken = r.bytes;
    } else if (r.status != IoStatus::WouldBlock) {
      // The receive side notices the loss and ends this connection.
      return 0;
    }
  }
  if (taken < static_cast<size_t>(length)) {
    if (io.sendQueue.size() + length - taken > kMaxSendQueueBytes) {
      Log("[%s] does not take its data; the connection is cut", slots_[slot].address);
      if (mode_ == kModeServer && slot > 0) {
        (void)Close(slots_[slot].id);
      } else {
        CloseAllLocked();
      }
      return 0;
    }
    stats_.blocked += static_cast<uint32_t>(length - taken);
    io.sendQueue.insert(io.sendQueue.end(), frame + taken, frame + length);
    receiveWaker_.Wake();
  }
  return length;
}

void NetworkEndpoint::FlushSendQueues() {
  for (int i = 0; i < kMaxPeers; i++) {
    SlotIo& io = io_[i];
    if (io.sendQueue.empty() || !io.tcp.Valid()) continue;
    platform::IoResult r = platform::Send(io.tcp, io.sendQueue.data(), io.sendQueue.size());
    if (r.status == IoStatus::Done) {
      io.sendQueue.erase(io.sendQueue.begin(), io.sendQueue.begin() + static_cast<long>(r.bytes));
    } else if (r.status != IoStatus::WouldBlock) {
      io.sendQueue.clear();
    }
  }
}

// [SECTION] Receiving

void NetworkEndpoint::HandleDatagrams(platform::Socket socket) {
  // One byte beyond the largest frame, so an oversized datagram shows up as
  // truncated rather than as a frame.
  uint8_t buffer[kMaxFrameLength + 1];
  auto frame = std::make_unique_for_overwrite<ReceivedFrame>();  // 4 KB: not zeroed on every pass
  for (int n = 0; n < 64; n++) {
    LetWaitersIn();
    std::lock_guard<EndpointLock> g(lock_);
    // Closed, or closed and opened again, while we stepped aside.
    if (!udp_.Valid() || !(udp_ == socket)) break;
    SocketAddress from;
    platform::IoResult r = platform::ReceiveFrom(udp_, buffer, sizeof buffer, &from);
    if (r.status == IoStatus::Truncated) {
      stats_.received += static_cast<uint32_t>(r.bytes);
      stats_.bad += static_cast<uint32_t>(r.bytes);
      continue;
    }
    if (!r.Ok()) break;
    FrameRead read = ReadDatagramFrame(buffer, r.bytes, checkCode_, frame.get());
    if (read.kind != FrameReadKind::kFrame) {
      stats_.received += static_cast<uint32_t>(r.bytes);
      stats_.bad += static_cast<uint32_t>(read.badBytes);
      continue;
    }
    // The sender must be a connected peer, speaking from its TCP host; the
    // first datagram fixes its UDP address for good.
    int slot = -1;
    if (mode_ == kModeServer) {
      slot = FindPeerSlot(frame->header.from);
      if (slot <= 0 || !io_[slot].tcp.Valid() || io_[slot].loginTimerMs != 0 ||
          from.host != io_[slot].tcpPeer.host)
        continue;
      if (io_[slot].udp.port == 0) io_[slot].udp = from;
      if (!(io_[slot].udp == from)) continue;
    } else {
      if (!io_[0].tcp.Valid() || !(from == io_[0].udp)) continue;
      slot = 0;
    }
    stats_.received += static_cast<uint32_t>(r.bytes);
    stats_.good += static_cast<uint32_t>(read.code);
    RouteReceived(slot, *frame, true);
  }
}

void NetworkEndpoint::HandleStreamData(int slot) {
  SlotIo& io = io_[slot];
  if (!io.reader) io.reader = std::make_unique<FrameStreamReader>(checkCode_);
  uint8_t buffer[kMaxFrameLength];
  platform::IoResult r = platform::Receive(io.tcp, buffer, sizeof buffer);
  if (r.status == IoStatus::WouldBlock) return;
  if (!r.Ok() || r.bytes == 0) {
    // A lost or failed connection ends only that connection.
    if (mode_ == kModeServer && slot > 0) {
      Log(core::Sjis("[%s]が回線を切断しました。"), slots_[slot].name[0] ? slots_[slot].name : slots_[slot].address);
      (void)Close(slots_[slot].id);
    } else {
      Log("The connection to the server was lost");
      CloseAllLocked();
    }
    return;
  }
  stats_.received += static_cast<uint32_t>(r.bytes);
  auto frame = std::make_unique_for_overwrite<ReceivedFrame>();  // 4 KB: not zeroed on every pass
  size_t offset = 0;
  Socket socket = io.tcp;
  while (offset < r.bytes) {
    offset += io.reader->Append(buffer + offset, r.bytes - offset);
    for (;;) {
      // Routing may close this very slot (a leave, a full send queue).
      if (!(io.tcp == socket) || !io.reader) return;
      FrameRead read = io.reader->Next(frame.get());
      if (read.kind == FrameReadKind::kWaitForMore) break;
      if (read.kind == FrameReadKind::kSkip) {
        stats_.bad += static_cast<uint32_t>(read.badBytes);
        continue;
      }
      stats_.good += static_cast<uint32_t>(read.code);
      RouteReceived(slot, *frame, false);
    }
  }
}

void NetworkEndpoint::RouteReceived(int slot, ReceivedFrame& frame, bool viaUdp) {
  NetMessageHeader& h = frame.header;
  // No client speaks for another: the server names the sender by its slot.
  if (mode_ == kModeServer && slot > 0) h.from = static_cast<uint16_t>(slots_[slot].id);
  if (!viaUdp) h.flags = static_cast<uint16_t>(h.flags & ~kFrameFlagUdp);
  // Slot records come from the server alone; a client's would rewrite the
  // other peers' tables.
  if (mode_ == kModeServer && slot > 0 && (h.type == kMsgOwnSlot || h.type == kMsgPeerSlot)) return;
  // A client's leave ends that client for everybody, however it was
  // addressed: sent to the server alone it would leave a ghost of the
  // client in every other peer's table, and sent to one peer it would drop
  // a client that is still connected from that peer's view.
  if (mode_ == kModeServer && slot > 0 && h.type == kMsgLeave) {
    (void)Close(slots_[slot].id);
    return;
  }
  bool toAll = (h.to & kIdBit15) != 0;
  if (ownId_ >= 0 && !toAll && h.to != ownId_) {
    // A frame for one other peer: the server passes it on (built afresh from
    // the checked, decoded payload); a client has no business with it.
    if (mode_ == kModeServer)
      (void)SendFrom(h.to, h.teamFilter, h.from, h.type, frame.payload, h.payloadLength, h.flags);
    return;
  }
  if (mode_ == kModeServer && toAll) {
    (void)SendFrom(kIdEverybody, h.teamFilter, h.from, h.type, frame.payload, h.payloadLength, h.flags);
    return;
  }
  (void)Deliver(h.to, h.teamFilter, h.from, h.type, frame.payload, h.payloadLength,
                h.flags | (viaUdp ? kFrameFlagUdp : 0));
}

// [SECTION] Local delivery

void NetworkEndpoint::Enqueue(const NetMessageHeader& h, const uint8_t* payload, int length) {
  std::lock_guard<std::mutex> q(queueLock_);
  int count = static_cast<int>(queue_.size());
  bool system = IsSystemType(h.type);
  // Game messages wait for room; system messages are kept beyond it.
  if (!system && count >= kQueueCapacity - 1) return;
  if (count >= kMaxQueuedSystem) return;
  QueuedMessage m;
  m.header = h;
  m.payload.assign(payload, payload + length);
  queue_.push_back(std::move(m));
}

int NetworkEndpoint::Deliver(int to, int teamFilter, int from, int type, const uint8_t* payload,
                             int length, int flags) {
  std::lock_guard<EndpointLock> g(lock_);
  if (to & kIdBit15) to = ownId_;
  if (from & kIdBit15) from = ownId_;
  if (length > kMaxPayloadLength || length < 0) return kFramePayloadTooLong;
  int handlerType = type;  // the handler called, when set
  uint8_t scratch[kMaxPayloadLength];
  const uint8_t* out = payload;
  int outLength = length;
  int outFrom = from;
  int senderSlot = FindPeerSlot(from);

  switch (type) {
    case kMsgHello:
      (void)SendFrom(from, kNoTeamFilter, ownId_, kMsgAnswer, payload, length, flags & kFrameFlagUdp);
      return length;
    case kMsgAnswer:
      return length;
    case kMsgLogin:
      if (mode_ == kModeServer && senderSlot > 0 && io_[senderSlot].tcp.Valid()) {
        PeerSlot& s = slots_[senderSlot];
        io_[senderSlot].loginTimerMs = 0;
        ParseLogin(payload, length, s.name, s.team);
        if (!s.name[0]) std::snprintf(s.name, sizeof s.name, "Client%02d", senderSlot);
        RecomputeTeamNumbers();
        Log(core::Sjis("ログイン要求：[%s][%s]"), s.name, s.address);
        uint8_t record[kPeerSlotWireLength];
        EncodePeerSlot(record, s);
        (void)SendFrom(s.id, kNoTeamFilter, 0, kMsgOwnSlot, record, kPeerSlotWireLength, 0);
        for (int i = 0; i < kMaxPeers; i++)
          if (i != senderSlot && slots_[i].id >= 0) (void)SendPeerRecord(s.id, i);
        (void)SendPeerRecord(-1, senderSlot);
        uint8_t login[256];
        LoginPayload(login, s.name, s.team);
        for (int i = 1; i < kMaxPeers; i++)
          if (slots_[i].id > 0 && io_[i].tcp.Valid())
            (void)SendFrom(slots_[i].id, kNoTeamFilter, s.id, kMsgLogin, login, 256, 0);
      }
      break;
    case kMsgLeave:
      // Only the sender's own slot goes, and never the server's.
      if (senderSlot > 0) {
        if (mode_ == kModeServer) {
          FreeSlotLocked(senderSlot, true, nullptr);
        } else {
          slots_[senderSlot] = PeerSlot{};
          slots_[senderSlot].index = static_cast<int16_t>(senderSlot);
        }
        RecomputeTeamNumbers();
        receiveWaker_.Wake();
      }
      break;
    case kMsgOwnSlot:
      if (mode_ == kModeClient && from == 0 && length >= kPeerSlotWireLength) {
        PeerSlot record = DecodePeerSlot(payload);
        if (StorePeerRecord(record) == 1 && record.id > 0) ownId_ = record.id;
      }
      PutLe16(scratch, ownId_);
      out = scratch;
      outLength = 2;
      break;
    case kMsgPeerSlot: {
      if (length < kPeerSlotWireLength) return length;
      PeerSlot record = DecodePeerSlot(payload);
      // On a client every frame comes through the server, which names the
      // slot's own id as the sender.
      if (mode_ == kModeClient) (void)StorePeerRecord(record);
      int slot = FindPeerSlot(from);
      if (slot < 0) return length;
      LoginPayload(scratch, slots_[slot].name, slots_[slot].team);
      out = scratch;
      outLength = 256;
      handlerType = kMsgLogin;
      break;
    }
    case kMsgNameChange:
    case kMsgTeamChange: {
      if (length < kPeerSlotWireLength) return length;
      if (mode_ == kModeClient && from != 0) return length;
      PeerSlot record = DecodePeerSlot(payload);
      // On the server a client may rename only itself.
      if (mode_ == kModeServer && senderSlot > 0 && record.id != slots_[senderSlot].id) return length;
      int slot = FindPeerSlot(record.id);
      if (slot < 0) return length;
      if (type == kMsgNameChange) {
        CopyBounded(slots_[slot].name, 128, record.name);
      } else {
        CopyBounded(slots_[slot].team, 128, record.team);
        RecomputeTeamNumbers();
      }
      if (mode_ == kModeServer) {
        uint8_t wire[kPeerSlotWireLength];
        EncodePeerSlot(wire, slots_[slot]);
        for (int i = 1; i < kMaxPeers; i++)
          if (slots_[i].id > 0 && io_[i].tcp.Valid())
            (void)SendFrom(slots_[i].id, kNoTeamFilter, 0, type, wire, kPeerSlotWireLength, 0);
      }
      outFrom = record.id;
      std::memcpy(scratch, type == kMsgNameChange ? slots_[slot].name : slots_[slot].team, 128);
      out = scratch;
      outLength = 128;
      break;
    }
    default:
      break;
  }

  NetMessageHeader h;
  h.to = static_cast<uint16_t>(to);
  h.teamFilter = static_cast<uint16_t>(teamFilter);
  h.from = static_cast<uint16_t>(outFrom);
  h.type = static_cast<uint16_t>(type);
  h.flags = static_cast<uint16_t>(flags & ~(kFrameFlagZeroRuns | kFrameFlagHeaderRoom));
  h.payloadLength = outLength;
  h.totalLength = outLength + kFrameOverhead;
  // Type 255 and anything above never reach a handler: they are queued.
  if (handlerType >= 1 && handlerType < 255 && handlers_[handlerType]) {
    handlers_[handlerType](*this, to, teamFilter, outFrom, type, out, outLength);
  } else {
    Enqueue(h, out, outLength);
  }
  return length;
}

// [SECTION] Handlers and the queue

int NetworkEndpoint::SetHandler(int type, NetHandler handler) {
  if (type < 1 || type > 254) return 0;
  std::lock_guard<EndpointLock> g(lock_);
  handlers_[type] = std::move(handler);
  return 1;
}

void NetworkEndpoint::SetLogCallback(NetLogCallback callback) {
  std::lock_guard<EndpointLock> g(lock_);
  log_ = std::move(callback);
}

int NetworkEndpoint::PeekMessage(int* to, int* teamFilter, int* from, int* type, int* length) {
  std::lock_guard<std::mutex> q(queueLock_);
  if (queue_.empty()) return 0;
  const NetMessageHeader& h = queue_.front().header;
  if (to) *to = static_cast<int16_t>(h.to);
  if (teamFilter) *teamFilter = static_cast<int16_t>(h.teamFilter);
  if (from) *from = static_cast<int16_t>(h.from);
  if (type) *type = h.type;
  if (length) *length = h.payloadLength;
  return static_cast<int>(queue_.size());
}

int NetworkEndpoint::PopMessage(uint8_t* buffer, int size) {
  std::lock_guard<std::mutex> q(queueLock_);
  if (queue_.empty()) return kNetQueueEmpty;
  const std::vector<uint8_t>& p = queue_.front().payload;
  if (buffer && size > 0) std::memcpy(buffer, p.data(), std::min<size_t>(p.size(), size));
  queue_.erase(queue_.begin());
  return static_cast<int>(queue_.size());
}

int NetworkEndpoint::QueuedCount() {
  std::lock_guard<std::mutex> q(queueLock_);
  return static_cast<int>(queue_.size());
}

// [SECTION] Peer table

int NetworkEndpoint::GetMode() { return mode_; }

int NetworkEndpoint::GetOwnId() {
  std::lock_guard<EndpointLock> g(lock_);
  return ownId_;
}

int NetworkEndpoint::FindPeerSlot(int id) {
  std::lock_guard<EndpointLock> g(lock_);
  int16_t want = static_cast<int16_t>(id);
  if (want < 0) return -1;
  for (int i = 0; i < kMaxPeers; i++)
    if (slots_[i].id == want) return i;
  return -1;
}

int NetworkEndpoint::CopyText(char* out, int id, int which) {
  std::lock_guard<EndpointLock> g(lock_);
  if (which == 0 && id < 0) id = ownId_;
  int slot = FindPeerSlot(id);
  if (slot < 0) {
    out[0] = '\0';
    return kNetNoSuchPeer;
  }
  const PeerSlot& s = slots_[slot];
  if (which == 0) CopyBounded(out, 128, s.name);
  if (which == 1) CopyBounded(out, 128, s.team);
  if (which == 2) CopyBounded(out, 256, s.address);
  return 1;
}

int NetworkEndpoint::GetPeerName(char* out, int id) { return CopyText(out, id, 0); }
int NetworkEndpoint::GetPeerTeam(char* out, int id) { return CopyText(out, id, 1); }
int NetworkEndpoint::GetPeerAddress(char* out, int id) { return CopyText(out, id, 2); }

int NetworkEndpoint::ListPeerIds(int* out) {
  std::lock_guard<EndpointLock> g(lock_);
  int n = 0;
  for (int i = 0; i < kMaxPeers; i++)
    if (slots_[i].id >= 0) {
      if (out) out[n] = slots_[i].id;
      n++;
    }
  if (out) out[n] = -1;
  return n;
}

int NetworkEndpoint::PeerCount() { return ListPeerIds(nullptr); }

NetStatistics NetworkEndpoint::GetStatistics() {
  std::lock_guard<EndpointLock> g(lock_);
  return stats_;
}

PeerSlot NetworkEndpoint::GetPeerSlot(int index) {
  std::lock_guard<EndpointLock> g(lock_);
  if (index < 0 || index >= kMaxPeers) return {};
  return slots_[index];
}

uint16_t NetworkEndpoint::LocalPort() {
  std::lock_guard<EndpointLock> g(lock_);
  return platform::LocalAddressOf(udp_).port;
}

int NetworkEndpoint::SendPeerRecord(int to, int slotIndex) {
  std::lock_guard<EndpointLock> g(lock_);
  if (mode_ != kModeServer || slotIndex < 0 || slotIndex >= kMaxPeers) return 0;
  uint8_t wire[kPeerSlotWireLength];
  EncodePeerSlot(wire, slots_[slotIndex]);
  int from = slots_[slotIndex].id >= 0 ? slots_[slotIndex].id : 0;
  if (to & kIdBit15) {
    for (int i = 1; i < kMaxPeers; i++)
      if (slots_[i].id > 0 && io_[i].tcp.Valid() && io_[i].loginTimerMs == 0)
        (void)SendFrom(slots_[i].id, kNoTeamFilter, from, kMsgPeerSlot, wire, kPeerSlotWireLength, 0);
  } else {
    (void)SendFrom(to, kNoTeamFilter, from, kMsgPeerSlot, wire, kPeerSlotWireLength, 0);
  }
  return 1;
}

int NetworkEndpoint::StorePeerRecord(const PeerSlot& slot) {
  std::lock_guard<EndpointLock> g(lock_);
  if (mode_ != kModeClient || slot.index < 0 || slot.index >= kMaxPeers) return 0;
  // The connection to the server lives in slot 0: a record never frees it.
  if (slot.index == 0 && slot.id != 0) return 0;
  slots_[slot.index] = slot;
  return 1;
}

void NetworkEndpoint::RecomputeTeamNumbers() {
  std::lock_guard<EndpointLock> g(lock_);
  for (int i = 0; i < kMaxPeers; i++) {
    int n = i;
    for (int j = 0; j < i; j++)
      if (std::memcmp(slots_[j].team, slots_[i].team, sizeof slots_[i].team) == 0) {
        n = j;
        break;
      }
    slots_[i].teamNumber = static_cast<int16_t>(n);
  }
}

}  // namespace net
