// net_load_test.cpp -- sessions under game traffic on loopback: a server and
// one client exchanging every kind of message both ways, then a full house
// of forty peers sending unit-state batches by UDP and messages by TCP at
// 60 frames a second, every message checked where it lands.
//
// Each payload is a pure function of (sender id, type, sequence number), so
// a receiver rebuilds what was sent and compares byte for byte: a payload
// cut short, merged with another, shifted or altered shows up at once, as
// does a message that comes twice or, on TCP, late or not at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net_endpoint.h"
#include "net/net_public.h"
#include "net_test_wait.h"

namespace {

using net::NetworkSession;
using nettest::WaitFor;
using Bytes = std::vector<uint8_t>;

constexpr int kBatchType = 31;       // unit states: by UDP, to everybody
constexpr int kBroadcastType = 120;  // by TCP, to everybody
constexpr int kDirectType = 121;     // by TCP, to one peer
constexpr int kRecordLength = 92;    // one unit-state record
constexpr int kRecordsPerBatch = 44;  // 4048 bytes: the most a batch holds
constexpr int kPayloadHead = 12;     // sender id, type, sequence, length

// A small engine-free generator for payload bytes (never the C library's).
struct Mix {
  uint32_t s;
  explicit Mix(uint32_t seed) : s(seed * 2654435761u + 0x9E3779B9u) {}
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

// The payload `sender` sends as message `sequence` of `type`.
// - Batches: mostly 44 records, every fourth one 1..43 records; a record
//   holds a few non-zero words among zeros, as unit states do, so the frame
//   is zero-run coded; every seventh batch is noise and goes plain (a
//   4076-byte datagram).
// - TCP messages: 12..400 bytes, every tenth up to 1600; some noise, some
//   runs of zeros.
Bytes MakePayload(int sender, int type, uint32_t sequence) {
  Mix mix(static_cast<uint32_t>(sender) * 7919u + static_cast<uint32_t>(type) * 104729u + sequence);
  size_t length;
  bool noise;
  if (type == kBatchType) {
    int records = sequence % 4 == 3 ? 1 + static_cast<int>(mix.Next() % 43) : kRecordsPerBatch;
    length = static_cast<size_t>(records) * kRecordLength;
    noise = sequence % 7 == 5;
  } else {
    // Mostly short, as hits, losses and shots are; now and then a long one.
    length = kPayloadHead + mix.Next() % (sequence % 10 == 0 ? 1589 : 389);
    noise = sequence % 3 == 0;
  }
  Bytes p(length, 0);
  p[0] = static_cast<uint8_t>(sender);
  p[1] = static_cast<uint8_t>(sender >> 8);
  p[2] = static_cast<uint8_t>(type);
  p[3] = static_cast<uint8_t>(type >> 8);
  for (int k = 0; k < 4; k++) p[4 + k] = static_cast<uint8_t>(sequence >> (8 * k));
  for (int k = 0; k < 4; k++) p[8 + k] = static_cast<uint8_t>(length >> (8 * k));
  for (size_t i = kPayloadHead; i < length; i++) {
    bool set = noise || (i % kRecordLength) < 24 || (i % 97) == 0;
    if (set) p[i] = static_cast<uint8_t>(mix.Next());
  }
  return p;
}

uint32_t SequenceOf(const uint8_t* p, int length) {
  if (length < kPayloadHead) return 0xFFFFFFFFu;
  return uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
}

// Empty when the payload is exactly what `from` sent as a message of
// `type`; else what is wrong with it.
std::string CheckPayload(int from, int type, const uint8_t* p, int length) {
  if (length < kPayloadHead) return "payload of " + std::to_string(length) + " bytes";
  int sender = p[0] | p[1] << 8;
  if (sender != from) return "from " + std::to_string(from) + " carries sender " + std::to_string(sender);
  Bytes expected = MakePayload(from, type, SequenceOf(p, length));
  if (static_cast<int>(expected.size()) != length)
    return "length " + std::to_string(length) + ", sent " + std::to_string(expected.size());
  if (std::memcmp(expected.data(), p, expected.size()) != 0) return "payload bytes differ";
  return "";
}

// What one peer has received: TCP messages in order per sender, batches at
// most once each. Written by the endpoint's handlers (receive thread) and by
// the test's main thread draining the queue.
struct Inbox {
  std::mutex lock;
  uint32_t nextBroadcast[net::kMaxPeers] = {};
  uint32_t nextDirect[net::kMaxPeers] = {};
  std::vector<std::vector<bool>> batchSeen = std::vector<std::vector<bool>>(net::kMaxPeers);
  int batches = 0;
  std::vector<std::string> errors;

  void Error(const std::string& e) {
    if (errors.size() < 20) errors.push_back(e);
  }
  // A TCP message: it must be the next one of its sender.
  void Tcp(int from, int type, const uint8_t* p, int length) {
    std::lock_guard<std::mutex> g(lock);
    std::string e = CheckPayload(from, type, p, length);
    if (!e.empty()) return Error("tcp " + std::to_string(type) + ": " + e);
    if (from < 0 || from >= net::kMaxPeers) return Error("tcp from id " + std::to_string(from));
    uint32_t& next = type == kBroadcastType ? nextBroadcast[from] : nextDirect[from];
    uint32_t sequence = SequenceOf(p, length);
    if (sequence != next)
      return Error("tcp " + std::to_string(type) + " from " + std::to_string(from) + ": got " +
                   std::to_string(sequence) + ", expected " + std::to_string(next));
    next++;
  }
  // A batch: whole, intact and new.
  void Batch(int from, const uint8_t* p, int length) {
    std::lock_guard<std::mutex> g(lock);
    std::string e = CheckPayload(from, kBatchType, p, length);
    if (!e.empty()) return Error("batch: " + e);
    if (from < 0 || from >= net::kMaxPeers) return Error("batch from id " + std::to_string(from));
    uint32_t sequence = SequenceOf(p, length);
    std::vector<bool>& seen = batchSeen[from];
    if (seen.size() <= sequence) seen.resize(sequence + 1);
    if (seen[sequence]) return Error("batch " + std::to_string(sequence) + " from " + std::to_string(from) + " twice");
    seen[sequence] = true;
    batches++;
  }
};

// A peer: its session and what it received. The handlers that fill the
// inbox are set before the session opens and removed by the session's end.
struct Peer {
  Inbox inbox;  // outlives the session, whose handlers write it
  std::unique_ptr<NetworkSession> session;
  int id = -1;

  Peer() : session(std::make_unique<NetworkSession>(nettest::FastTimings(5000, 30))) {
    for (int type : {kBroadcastType, kDirectType})
      (void)session->endpoint().SetHandler(
          type, [this](net::NetworkEndpoint&, int, int, int from, int t, const uint8_t* p, int n) {
            inbox.Tcp(from, t, p, n);
            return 1;
          });
  }
  ~Peer() { session.reset(); }

  // Takes every queued message; batches go to the inbox.
  void Drain() {
    static thread_local uint8_t buffer[net::kMaxPayloadLength];
    for (;;) {
      int from = 0, type = 0, length = 0;
      if (session->endpoint().PeekMessage(nullptr, nullptr, &from, &type, &length) <= 0) break;
      (void)session->endpoint().PopMessage(buffer, sizeof buffer);
      if (type == kBatchType) inbox.Batch(from, buffer, length);
    }
  }
};

// A server and `clients` clients, all logged in.
struct House {
  std::vector<std::unique_ptr<Peer>> peers;  // [0] the server

  explicit House(int clients) {
    peers.push_back(std::make_unique<Peer>());
    EXPECT_EQ(peers[0]->session->OpenNetworkSession(nullptr, 0, net::kModeServer, "Host", ""), net::kOpenOk);
    peers[0]->id = peers[0]->session->endpoint().GetOwnId();
    std::string address = "127.0.0.1:" + std::to_string(peers[0]->session->endpoint().LocalPort());
    for (int k = 1; k <= clients; k++) {
      peers.push_back(std::make_unique<Peer>());
      char login[32];
      std::snprintf(login, sizeof login, "P%02d@T%d", k, k % 4);
      EXPECT_EQ(peers[k]->session->OpenNetworkSession(address.c_str(), 1, net::kModeClient, login, ""),
                net::kOpenOk)
          << login;
      peers[k]->id = peers[k]->session->endpoint().GetOwnId();
    }
  }
  ~House() {
    // Clients first, so the server sees ordinary leaves.
    for (size_t k = peers.size(); k-- > 0;) peers[k].reset();
  }
  NetworkSession& Session(size_t k) { return *peers[k]->session; }
};

// Runs `frames` frames of game traffic: each frame every peer sends one
// batch by UDP to everybody, one message by TCP to everybody and, every
// third frame, one by TCP to the next peer; then every peer drains its
// queue and updates its session. Paced at 60 Hz when the machine keeps up;
// a slow machine only makes the frames longer. Returns the TCP sends that
// failed.
int RunFrames(House& house, int frames) {
  using Clock = std::chrono::steady_clock;
  const auto tick = std::chrono::microseconds(16667);
  auto next = Clock::now();
  int failedSends = 0;
  size_t n = house.peers.size();
  for (int f = 0; f < frames; f++) {
    uint32_t sequence = static_cast<uint32_t>(f);
    for (size_t k = 0; k < n; k++) {
      Peer& p = *house.peers[k];
      net::NetworkEndpoint& e = p.session->endpoint();
      Bytes batch = MakePayload(p.id, kBatchType, sequence);
      (void)e.Send(-1, net::kNoTeamFilter, kBatchType, batch.data(), static_cast<int>(batch.size()),
                   net::kFrameFlagUdp);
      Bytes message = MakePayload(p.id, kBroadcastType, sequence);
      if (e.Send(-1, net::kNoTeamFilter, kBroadcastType, message.data(), static_cast<int>(message.size()), 0) <= 0)
        failedSends++;
      if (f % 3 == 0) {
        Bytes direct = MakePayload(p.id, kDirectType, sequence / 3);
        int to = house.peers[(k + 1) % n]->id;
        if (e.Send(to, net::kNoTeamFilter, kDirectType, direct.data(), static_cast<int>(direct.size()), 0) <= 0)
          failedSends++;
      }
    }
    for (size_t k = 0; k < n; k++) {
      house.peers[k]->Drain();
      house.peers[k]->session->UpdateNetworkSession(0);
    }
    next += tick;
    auto now = Clock::now();
    if (next > now) std::this_thread::sleep_for(next - now);
    else next = now;
  }
  return failedSends;
}

// True once every peer holds every TCP message that was sent: all of each
// sender's broadcasts (its own come back to it locally), and every third
// frame's message from the peer before it.
bool AllTcpArrived(House& house, int frames) {
  size_t n = house.peers.size();
  uint32_t directs = static_cast<uint32_t>((frames + 2) / 3);
  for (size_t k = 0; k < n; k++) {
    Inbox& in = house.peers[k]->inbox;
    std::lock_guard<std::mutex> g(in.lock);
    if (!in.errors.empty()) return true;  // no use waiting: report them
    for (size_t s = 0; s < n; s++)
      if (in.nextBroadcast[house.peers[s]->id] != static_cast<uint32_t>(frames)) return false;
    if (in.nextDirect[house.peers[(k + n - 1) % n]->id] != directs) return false;
  }
  return true;
}

void ExpectClean(House& house, int frames) {
  size_t n = house.peers.size();
  uint32_t directs = static_cast<uint32_t>((frames + 2) / 3);
  for (size_t k = 0; k < n; k++) {
    Peer& p = *house.peers[k];
    std::lock_guard<std::mutex> g(p.inbox.lock);
    for (const std::string& e : p.inbox.errors) ADD_FAILURE() << "peer " << p.id << ": " << e;
    for (size_t s = 0; s < n; s++)
      EXPECT_EQ(p.inbox.nextBroadcast[house.peers[s]->id], static_cast<uint32_t>(frames))
          << "broadcasts from " << house.peers[s]->id << " at " << p.id;
    EXPECT_EQ(p.inbox.nextDirect[house.peers[(k + n - 1) % n]->id], directs) << "at " << p.id;
    // Batches may be lost, never damaged; some always come.
    EXPECT_GT(p.inbox.batches, 0) << "at " << p.id;
    net::NetStatistics stats = p.session->endpoint().GetStatistics();
    EXPECT_EQ(stats.bad, 0u) << "at " << p.id;
    EXPECT_EQ(p.session->endpoint().GetOwnId(), p.id);
  }
}

// [SECTION] Two sessions

TEST(NetLoad, TwoSessionsExchangeEveryKindOfMessage) {
  House house(1);
  ASSERT_EQ(house.peers.size(), 2u);
  const int frames = 30;
  EXPECT_EQ(RunFrames(house, frames), 0);
  ASSERT_TRUE(WaitFor([&] {
    for (auto& p : house.peers) p->Drain();
    return AllTcpArrived(house, frames);
  }, 10000));
  // Batches are UDP: keep sending a last one until it has been seen both
  // ways, so that both directions are shown to work.
  for (size_t k = 0; k < 2; k++) {
    Peer& from = *house.peers[k];
    Peer& to = *house.peers[1 - k];
    uint32_t sequence = 1000;
    EXPECT_TRUE(WaitFor([&] {
      Bytes batch = MakePayload(from.id, kBatchType, sequence++);
      (void)from.session->endpoint().Send(-1, net::kNoTeamFilter, kBatchType, batch.data(),
                                         static_cast<int>(batch.size()), net::kFrameFlagUdp);
      to.Drain();
      from.Drain();
      std::lock_guard<std::mutex> g(to.inbox.lock);
      return to.inbox.batchSeen[from.id].size() > 1000;
    }, 5000)) << "batch " << from.id << " -> " << to.id;
  }
  // Both sides keep to exactly one copy of each batch.
  for (auto& p : house.peers) p->Drain();
  ExpectClean(house, frames);
  EXPECT_STREQ(house.Session(0).GetPlayerName(house.peers[1]->id), "P01");
  EXPECT_STREQ(house.Session(0).GetPlayerTeam(house.peers[1]->id), "T1");
}

// [SECTION] A full house

TEST(NetLoad, FortyPeersAtSixtyHertzLoseNoStreamMessageAndDamageNoBatch) {
  House house(net::kMaxPeers - 1);
  ASSERT_EQ(house.Session(0).endpoint().PeerCount(), net::kMaxPeers);
  // One second of game traffic.
  const int frames = 60;
  EXPECT_EQ(RunFrames(house, frames), 0);
  // TCP must bring everything: wait (bounded) for the stragglers, draining
  // the queues meanwhile as the game would.
  EXPECT_TRUE(WaitFor([&] {
    for (auto& p : house.peers) p->Drain();
    return AllTcpArrived(house, frames);
  }, 60000));
  for (auto& p : house.peers) p->Drain();
  ExpectClean(house, frames);

  // Everybody is still there, in every peer's view and in the lobby.
  EXPECT_EQ(house.Session(0).endpoint().PeerCount(), net::kMaxPeers);
  auto table = house.Session(0).CopyPlayerTable();
  int players = 0;
  for (const net::PlayerRecord& r : table) players += r.id >= 0;
  EXPECT_EQ(players, net::kMaxPeers);
  for (size_t k = 1; k < house.peers.size(); k++) {
    EXPECT_EQ(house.Session(k).endpoint().GetMode(), net::kModeClient);
    EXPECT_EQ(house.Session(k).endpoint().PeerCount(), net::kMaxPeers) << "at " << house.peers[k]->id;
    char name[24];
    std::snprintf(name, sizeof name, "P%02zu", k);
    EXPECT_STREQ(house.Session(0).GetPlayerName(house.peers[k]->id), name);
  }
}

}  // namespace
