// net_bench.cpp -- the network transport with a full house on loopback: one
// server session and 39 client sessions in this process, each sending its
// unit states at 60 frames a second as a network game does (type 31
// batches of up to 44 records of 92 bytes by UDP to everybody, then its
// player data, type 45, 36 bytes by UDP), and one small TCP message to
// everybody every 10 frames (a hit or a loss).
//
// One main thread plays the main thread of every peer in turn: each frame
// it sends every peer's traffic, then drains every peer's queue and updates
// its session, then sleeps to the next 1/60 s. Prints:
// - messages per second, sent (by the game) and taken from the queues;
// - bytes per peer per second, sent and received, from the endpoints'
//   counters (the server apart: it relays everything);
// - the share of UDP batches that arrived;
// - the main thread's cost per frame, for the server (the host) and for
//   each client apart: draining the queue (peek and pop of every queued
//   message), sending the frame's traffic, and the session update; mean,
//   99th percentile and max, in microseconds; and one bare query that
//   takes the endpoint's lock, which shows how long the receive thread
//   keeps the main thread waiting for it;
// - CPU seconds of the whole process (all peers' threads) per second.
//
//   tkw4-bench-net [--seconds S] [--peers N] [--units U]
//
// Defaults: 5 seconds, 40 peers, 60 units per peer (two batches a frame).
// All peers share this machine's cores: the figures are those of 40 peers
// on one machine, not of one peer on its own machine. The server's relaying
// (every batch to every other client) is what saturates first.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "net/net_endpoint.h"
#include "net/net_public.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kUnitStateType = 31;
constexpr int kHitType = 40;
constexpr int kPlayerDataType = 45;
constexpr int kRecordLength = 92;
constexpr int kRecordsPerBatch = 44;
constexpr int kPlayerDataLength = 36;

struct Options {
  double seconds = 5.0;
  int peers = net::kMaxPeers;
  int units = 60;
};

// A small generator for the records' changing fields (never rand()).
struct Mix {
  uint32_t s;
  explicit Mix(uint32_t seed) : s(seed * 2654435761u + 1) {}
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// One unit's state record as a moving unit fills it: ids, a position and
// velocity that change every frame, a short team text, zeros elsewhere.
void FillRecord(uint8_t* r, int peerId, int unit, int frame, Mix& mix) {
  std::memset(r, 0, kRecordLength);
  Put32(r + 0, static_cast<uint32_t>(peerId) << 24 | static_cast<uint32_t>(unit + 1));
  if (unit % 3 == 0) Put32(r + 4, static_cast<uint32_t>((peerId + 1) % 40) << 24 | 1u);
  Put16(r + 12, static_cast<uint16_t>(frame));
  Put16(r + 14, static_cast<uint16_t>(unit % 4));
  Put32(r + 16, 1u);
  Put32(r + 20, static_cast<uint32_t>(unit % 12));
  for (int k = 0; k < 3; k++) {
    float position = 100.0f * static_cast<float>(unit) + 0.5f * static_cast<float>(frame) +
                     static_cast<float>(mix.Next() % 1000) * 0.001f;
    std::memcpy(r + 24 + 4 * k, &position, 4);
    Put16(r + 36 + 2 * k, static_cast<uint16_t>(mix.Next() % 62832));
    Put16(r + 80 + 2 * k, static_cast<uint16_t>(mix.Next() % 4000));
  }
  std::memcpy(r + 48, "Red", 3);
  r[89] = static_cast<uint8_t>(mix.Next() % 100);
}

struct Timing {
  std::vector<double> us;
  void Add(Clock::duration d) { us.push_back(std::chrono::duration<double, std::micro>(d).count()); }
  void Print(const char* what) {
    if (us.empty()) return;
    std::vector<double> sorted = us;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double v : sorted) sum += v;
    std::printf("  %-34s mean %8.1f   p99 %8.1f   max %8.1f\n", what, sum / sorted.size(),
                sorted[sorted.size() * 99 / 100], sorted.back());
  }
};

struct Peer {
  std::unique_ptr<net::NetworkSession> session = std::make_unique<net::NetworkSession>();
  int id = -1;
  net::NetStatistics start;
};

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (i + 1 >= argc) return false;
    if (a == "--seconds") o->seconds = std::atof(argv[++i]);
    else if (a == "--peers") o->peers = std::atoi(argv[++i]);
    else if (a == "--units") o->units = std::atoi(argv[++i]);
    else return false;
  }
  return o->seconds > 0 && o->peers >= 2 && o->peers <= net::kMaxPeers && o->units >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    std::fprintf(stderr, "usage: tkw4-bench-net [--seconds S] [--peers 2..40] [--units U]\n");
    return 2;
  }

  // The house: a server on a free port and its clients, all logged in.
  std::vector<std::unique_ptr<Peer>> peers;
  auto setupStart = Clock::now();
  peers.push_back(std::make_unique<Peer>());
  if (peers[0]->session->OpenNetworkSession(nullptr, 0, net::kModeServer, "Host", "") != net::kOpenOk) {
    std::fprintf(stderr, "the server did not open\n");
    return 1;
  }
  std::string address = "127.0.0.1:" + std::to_string(peers[0]->session->endpoint().LocalPort());
  for (int k = 1; k < o.peers; k++) {
    peers.push_back(std::make_unique<Peer>());
    char login[32];
    std::snprintf(login, sizeof login, "P%02d@T%d", k, k % 4);
    int r = peers[k]->session->OpenNetworkSession(address.c_str(), 1, net::kModeClient, login, "");
    if (r != net::kOpenOk) {
      std::fprintf(stderr, "client %d did not log in (%d)\n", k, r);
      return 1;
    }
  }
  for (auto& p : peers) p->id = p->session->endpoint().GetOwnId();
  double setupMs = std::chrono::duration<double, std::milli>(Clock::now() - setupStart).count();
  // Let the logins' slot records and tables settle.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (auto& p : peers) {
    while (p->session->endpoint().PopMessage(nullptr, 0) > 0) {
    }
    (void)p->session->endpoint().PopMessage(nullptr, 0);
    p->start = p->session->endpoint().GetStatistics();
  }

  const int frames = static_cast<int>(o.seconds * 60.0);
  const int batchesPerFrame = (o.units + kRecordsPerBatch - 1) / kRecordsPerBatch;
  // [0] the server (the host's main thread), [1] the clients.
  Timing drain[2], send[2], update[2], lockWait[2];
  Timing frameTime;
  long long sentMessages = 0, drained = 0, batchesReceived = 0;
  std::vector<uint8_t> batch(kRecordsPerBatch * kRecordLength);
  std::vector<uint8_t> buffer(net::kMaxPayloadLength);
  double cpuStart = bench::CpuSeconds();
  auto runStart = Clock::now();
  auto next = runStart;
  const auto tick = std::chrono::microseconds(16667);
  int lateFrames = 0;

  for (int f = 0; f < frames; f++) {
    auto frameStart = Clock::now();
    for (auto& pp : peers) {
      Peer& p = *pp;
      net::NetworkSession& e = *p.session;
      Mix mix(static_cast<uint32_t>(p.id * 100003 + f));
      auto t0 = Clock::now();
      // Unit states: full batches of 44, the rest at the end.
      for (int first = 0; first < o.units; first += kRecordsPerBatch) {
        int records = std::min(kRecordsPerBatch, o.units - first);
        for (int u = 0; u < records; u++)
          FillRecord(batch.data() + u * kRecordLength, p.id, first + u, f, mix);
        (void)e.Send(-1, net::kNoTeamFilter, kUnitStateType, batch.data(), records * kRecordLength,
                     net::kSendByUdp);
        sentMessages++;
      }
      uint8_t data[kPlayerDataLength] = {};
      Put32(data, static_cast<uint32_t>(p.id));
      Put32(data + 4, static_cast<uint32_t>(mix.Next() % 5000));
      (void)e.Send(-1, net::kNoTeamFilter, kPlayerDataType, data, kPlayerDataLength, net::kSendByUdp);
      sentMessages++;
      if ((f + p.id) % 10 == 0) {
        uint8_t hit[12] = {};
        Put32(hit, static_cast<uint32_t>((p.id + 1) % o.peers) << 24 | 1u);
        Put32(hit + 4, static_cast<uint32_t>(p.id) << 24 | 1u);
        Put16(hit + 8, 25);
        Put16(hit + 10, 29);
        (void)e.Send(-1, net::kNoTeamFilter, kHitType, hit, sizeof hit, 0);
        sentMessages++;
      }
      send[p.id != 0].Add(Clock::now() - t0);
    }
    for (auto& pp : peers) {
      net::NetworkSession& e = *pp->session;
      const int side = pp->id != 0;
      // The world step's drain: every queued message, peeked then popped,
      // through the session calls the game uses.
      auto t0 = Clock::now();
      for (;;) {
        int type = 0, length = 0;
        if (e.PeekMessage(&type, &length) <= 0) break;
        (void)e.PopMessage(buffer.data(), static_cast<int>(buffer.size()));
        drained++;
        batchesReceived += type == kUnitStateType;
      }
      drain[side].Add(Clock::now() - t0);
      t0 = Clock::now();
      pp->session->UpdateNetworkSession(0);
      update[side].Add(Clock::now() - t0);
      // A query that does nothing but take the endpoint's lock: how long
      // the main thread waits for the receive thread to let go of it.
      t0 = Clock::now();
      (void)e.GetOwnId();
      lockWait[side].Add(Clock::now() - t0);
    }
    frameTime.Add(Clock::now() - frameStart);
    next += tick;
    auto now = Clock::now();
    if (next > now) {
      std::this_thread::sleep_for(next - now);
    } else {
      lateFrames++;
      next = now;
    }
  }
  double wall = std::chrono::duration<double>(Clock::now() - runStart).count();
  double cpu = bench::CpuSeconds() - cpuStart;

  // Traffic from the endpoints' counters (32-bit, differences wrap right).
  double clientSent = 0, clientReceived = 0, clientBad = 0;
  net::NetStatistics server = peers[0]->session->endpoint().GetStatistics();
  double serverSent = static_cast<uint32_t>(server.sent - peers[0]->start.sent);
  double serverReceived = static_cast<uint32_t>(server.received - peers[0]->start.received);
  double bad = static_cast<uint32_t>(server.bad - peers[0]->start.bad);
  int stillIn = peers[0]->session->endpoint().PeerCount();
  for (size_t k = 1; k < peers.size(); k++) {
    net::NetStatistics s = peers[k]->session->endpoint().GetStatistics();
    clientSent += static_cast<uint32_t>(s.sent - peers[k]->start.sent);
    clientReceived += static_cast<uint32_t>(s.received - peers[k]->start.received);
    clientBad += static_cast<uint32_t>(s.bad - peers[k]->start.bad);
  }
  double clients = static_cast<double>(peers.size() - 1);
  // Every batch goes to every peer, its sender included (delivered locally).
  double batchesExpected = double(frames) * double(batchesPerFrame) * double(peers.size()) * double(peers.size());

  std::printf("network transport, %zu peers on loopback, %d units each (%d batch%s + player data per frame)\n",
              peers.size(), o.units, batchesPerFrame, batchesPerFrame == 1 ? "" : "es");
  std::printf("  set-up (open and log in every peer)  %.0f ms\n", setupMs);
  std::printf("  frames %d in %.2f s (%d late)   process CPU %.2f s per s\n", frames, wall, lateFrames, cpu / wall);
  std::printf("  messages sent by the game          %10.0f /s\n", double(sentMessages) / wall);
  std::printf("  messages taken from the queues     %10.0f /s\n", double(drained) / wall);
  std::printf("  unit-state batches arrived         %10.1f %%\n", 100.0 * double(batchesReceived) / batchesExpected);
  std::printf("  server   sent %10.0f B/s   received %10.0f B/s\n", serverSent / wall, serverReceived / wall);
  std::printf("  client   sent %10.0f B/s   received %10.0f B/s   (mean per client)\n", clientSent / clients / wall,
              clientReceived / clients / wall);
  std::printf("  bad bytes: server %.0f, clients %.0f; peers still logged in: %d\n", bad, clientBad, stillIn);
  for (int side = 0; side < 2; side++) {
    std::printf("main thread per frame, %s, microseconds:\n", side == 0 ? "the server" : "each client");
    drain[side].Print("drain the queue (peek + pop all)");
    send[side].Print("send the frame's messages");
    update[side].Print("UpdateNetworkSession");
    lockWait[side].Print("one GetOwnId (the endpoint lock)");
  }
  std::printf("main thread per frame, all peers together, microseconds:\n");
  frameTime.Print("send + drain + update");
  std::printf("  messages drained per peer and frame: %.1f\n", double(drained) / double(frames) / double(peers.size()));

  // Clients first, so the server sees ordinary leaves.
  for (size_t k = peers.size(); k-- > 1;) peers[k].reset();
  return 0;
}
