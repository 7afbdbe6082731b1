// net_hostile_test.cpp -- a peer that speaks the wire format by hand against
// a server session: it logs in as a real client would, reads the lobby, and
// then sends frames that are broken, forged or oversized, by TCP and UDP,
// while a well-behaved client keeps talking to the server.
//
// For each bad frame: the server stays up, refuses it (its bad-byte count
// rises by exactly what was refused, or the frame is dropped without
// effect), reads on past it, and the well-behaved client keeps its slot and
// its exchange.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/net_endpoint.h"
#include "net/net_frame.h"
#include "net/net_public.h"
#include "platform/platform_socket.h"
#include "net_test_wait.h"

namespace {

using net::NetworkSession;
using nettest::WaitFor;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kCode = net::kApplicationCheckCode;

constexpr int kMarkerType = 200;  // "everything before this has been read"
constexpr int kAnnType = 201;     // the well-behaved client's exchange
constexpr int kProbeType = 205;   // forged frames that must not arrive as sent

net::EndpointTimings Timings() { return nettest::FastTimings(3000, 30); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void PutLe32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; k++) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

// A frame laid out field by field, true or not: `total` and
// `payloadLength` as given, the check word code + total unless told, the
// trailer equal to the check word unless told.
struct RawFrame {
  std::optional<int32_t> total;          // default: payload size + 28
  std::optional<int32_t> payloadLength;  // default: payload size
  uint16_t to = 0, teamFilter = net::kNoTeamFilter, from = 0, type = kProbeType, flags = 0;
  Bytes payload;
  int64_t check = -1;    // -1: code + total
  int64_t trailer = -1;  // -1: the check word

  Bytes Build() const {
    net::NetMessageHeader h;
    h.totalLength = total.value_or(static_cast<int32_t>(payload.size()) + 28);
    h.payloadLength = payloadLength.value_or(static_cast<int32_t>(payload.size()));
    h.check = check >= 0 ? static_cast<uint32_t>(check) : net::FrameCheckWord(kCode, h.totalLength);
    h.to = to;
    h.teamFilter = teamFilter;
    h.from = from;
    h.type = type;
    h.flags = flags;
    Bytes out(24 + payload.size() + 4);
    net::WriteFrameHeader(out.data(), h);
    std::memcpy(out.data() + 24, payload.data(), payload.size());
    PutLe32(out.data() + 24 + payload.size(), trailer >= 0 ? static_cast<uint32_t>(trailer) : h.check);
    return out;
  }
};

// A coded payload of `n` runs of 256 zero bytes.
Bytes ZeroRuns(int n) {
  Bytes coded;
  for (int k = 0; k < n; k++) coded.insert(coded.end(), {0x00, 0xFF});
  return coded;
}

// A frame as a well-behaved sender builds it (payload coded when that pays).
Bytes GoodFrame(int type, int from, int to, const Bytes& payload, uint16_t flags = 0) {
  uint8_t frame[net::kMaxFrameLength];
  net::FrameRequest r;
  r.ownId = from == net::kIdNotKnown ? -1 : static_cast<int16_t>(from);
  r.from = static_cast<uint16_t>(from);
  r.to = static_cast<uint16_t>(to);
  r.type = static_cast<uint16_t>(type);
  r.flags = flags;
  r.payload = payload.data();
  r.payloadLength = static_cast<int32_t>(payload.size());
  int total = net::BuildFrame(frame, r, kCode);
  EXPECT_GT(total, 0);
  return Bytes(frame, frame + std::max(total, 0));
}

struct Got {
  net::NetMessageHeader header;
  Bytes payload;
};

// The hand-driven client: a TCP connection it reads with a frame reader of
// its own, and a UDP socket on the loopback host.
struct RawClient {
  platform::Socket tcp;
  platform::Socket udp;
  platform::SocketAddress server;
  net::FrameStreamReader reader{kCode};
  std::vector<Got> got;
  int id = -1;

  explicit RawClient(uint16_t port) : server{platform::kLoopbackHost, port} {
    platform::SocketResult r = platform::ConnectTcp(server, 2000);
    EXPECT_TRUE(r.Ok()) << r.error;
    tcp = r.socket;
    platform::SocketResult u = platform::OpenUdp({platform::kLoopbackHost, 0});
    EXPECT_TRUE(u.Ok()) << u.error;
    udp = u.socket;
  }
  ~RawClient() {
    platform::CloseSocket(tcp);
    platform::CloseSocket(udp);
  }

  void Send(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      platform::IoResult r = platform::Send(tcp, bytes.data() + done, bytes.size() - done);
      ASSERT_TRUE(r.status == platform::IoStatus::Done || r.status == platform::IoStatus::WouldBlock)
          << r.error;
      done += r.bytes;
      if (r.status == platform::IoStatus::WouldBlock) (void)platform::WaitWritable(tcp, 100);
    }
  }
  void SendUdp(const Bytes& bytes) { (void)platform::SendTo(udp, bytes.data(), bytes.size(), server); }

  // Reads whatever the server has sent so far.
  void Pump() {
    uint8_t buffer[8192];
    auto frame = std::make_unique<net::ReceivedFrame>();
    for (;;) {
      platform::IoResult r = platform::Receive(tcp, buffer, sizeof buffer);
      if (!r.Ok()) return;
      size_t offset = 0;
      while (offset < r.bytes) {
        offset += reader.Append(buffer + offset, r.bytes - offset);
        for (;;) {
          net::FrameRead read = reader.Next(frame.get());
          if (read.kind == net::FrameReadKind::kWaitForMore) break;
          if (read.kind != net::FrameReadKind::kFrame) continue;
          got.push_back({frame->header, Bytes(frame->payload, frame->payload + frame->header.payloadLength)});
        }
      }
    }
  }
  // The first frame of `type` received (pumping until it comes), or null.
  const Got* WaitType(int type, int ms = 3000) {
    const Got* found = nullptr;
    (void)WaitFor([&] {
      Pump();
      for (const Got& g : got)
        if (g.header.type == type) found = &g;
      return found != nullptr;
    }, ms);
    return found;
  }
  bool Closed() {
    uint8_t buffer[8192];
    for (;;) {
      platform::IoResult r = platform::Receive(tcp, buffer, sizeof buffer);
      if (r.status == platform::IoStatus::Closed || r.status == platform::IoStatus::Error) return true;
      if (!r.Ok()) return false;
    }
  }
};

// What the server's handlers saw of the test types.
struct Seen {
  std::mutex lock;
  std::vector<Got> frames;

  void Attach(NetworkSession& s, int type) {
    (void)s.endpoint().SetHandler(type, [this](net::NetworkEndpoint&, int to, int, int from, int t,
                                               const uint8_t* p, int n) {
      std::lock_guard<std::mutex> g(lock);
      Got got;
      got.header.to = static_cast<uint16_t>(to);
      got.header.from = static_cast<uint16_t>(from);
      got.header.type = static_cast<uint16_t>(t);
      got.header.payloadLength = n;
      got.payload.assign(p, p + n);
      frames.push_back(std::move(got));
      return 1;
    });
  }
  bool Has(int type, const Bytes& payload, int* from = nullptr) {
    std::lock_guard<std::mutex> g(lock);
    for (const Got& f : frames)
      if (f.header.type == type && f.payload == payload) {
        if (from) *from = static_cast<int16_t>(f.header.from);
        return true;
      }
    return false;
  }
  int Count(int type) {
    std::lock_guard<std::mutex> g(lock);
    int n = 0;
    for (const Got& f : frames) n += f.header.type == type;
    return n;
  }
};

// The lobby: server, Ann (a real client session), and the raw client,
// logged in as Mallory and seeing the lobby table.
struct Lobby {
  Seen serverSeen;  // outlive the sessions whose handlers write them
  Seen annSeen;
  std::unique_ptr<NetworkSession> server = std::make_unique<NetworkSession>(Timings());
  std::unique_ptr<NetworkSession> ann = std::make_unique<NetworkSession>(Timings());
  std::unique_ptr<RawClient> raw;
  int annRound = 0;

  Lobby() {
    for (int type : {kMarkerType, kAnnType, kProbeType}) serverSeen.Attach(*server, type);
    annSeen.Attach(*ann, kAnnType);
    annSeen.Attach(*ann, kProbeType);
    EXPECT_EQ(server->OpenNetworkSession(nullptr, 0, net::kModeServer, "Host@Blue", ""), net::kOpenOk);
    uint16_t port = server->endpoint().LocalPort();
    std::string address = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(ann->OpenNetworkSession(address.c_str(), 1, net::kModeClient, "Ann@Red", ""), net::kOpenOk);
    EXPECT_EQ(ann->endpoint().GetOwnId(), 1);
    raw = std::make_unique<RawClient>(port);
  }
  ~Lobby() {
    raw.reset();
    ann.reset();
    server.reset();
  }

  void Frames(int n) {
    for (int k = 0; k < n; k++) {
      server->UpdateNetworkSession(0);
      ann->UpdateNetworkSession(0);
    }
  }

  // Ann and the server still talk both ways, and Ann keeps slot 1.
  void ExpectAnnUnharmed(const std::string& after) {
    SCOPED_TRACE("after " + after);
    EXPECT_EQ(server->endpoint().GetMode(), net::kModeServer);
    EXPECT_EQ(ann->endpoint().GetOwnId(), 1);
    EXPECT_EQ(server->endpoint().FindPeerSlot(1), 1);
    EXPECT_EQ(ann->endpoint().FindPeerSlot(1), 1);
    EXPECT_EQ(ann->endpoint().FindPeerSlot(0), 0);
    Bytes up = Text("ann up " + std::to_string(annRound));
    Bytes down = Text("ann down " + std::to_string(annRound));
    annRound++;
    EXPECT_GT(ann->endpoint().Send(0, net::kNoTeamFilter, kAnnType, up.data(), static_cast<int>(up.size()), 0), 0);
    EXPECT_GT(server->endpoint().Send(1, net::kNoTeamFilter, kAnnType, down.data(), static_cast<int>(down.size()), 0), 0);
    int from = -1;
    EXPECT_TRUE(WaitFor([&] { return serverSeen.Has(kAnnType, up, &from); }));
    EXPECT_EQ(from, 1);
    EXPECT_TRUE(WaitFor([&] { return annSeen.Has(kAnnType, down); }));
    Frames(1);
    EXPECT_GE(server->FindPlayerIndex(1), 0);
    EXPECT_STREQ(server->GetPlayerName(1), "Ann");
  }

  // Logs the raw client in the way a client does: login by TCP from the
  // not-yet-known id, its slot (type 4) back, then Hello by UDP, answered.
  void LogInRaw() {
    Bytes login(256, 0);
    std::memcpy(login.data(), "Mallory@Evil", 12);
    raw->Send(GoodFrame(net::kMsgLogin, net::kIdNotKnown, 0, login));
    const Got* own = raw->WaitType(net::kMsgOwnSlot);
    ASSERT_NE(own, nullptr);
    ASSERT_EQ(own->payload.size(), static_cast<size_t>(net::kPeerSlotWireLength));
    net::PeerSlot slot = net::DecodePeerSlot(own->payload.data());
    EXPECT_EQ(slot.index, 2);
    EXPECT_STREQ(slot.name, "Mallory@Evil");
    raw->id = slot.id;
    ASSERT_EQ(raw->id, 2);

    // Hello by UDP teaches the server this socket's address; the answer
    // comes back by UDP with the same payload.
    Bytes hello = {'H', 'e', 'l', 'l', 'o', 0};
    bool answered = WaitFor([&] {
      raw->SendUdp(GoodFrame(net::kMsgHello, raw->id, 0, hello, net::kFrameFlagUdp));
      uint8_t buffer[net::kMaxFrameLength + 1];
      auto frame = std::make_unique<net::ReceivedFrame>();
      for (int k = 0; k < 20; k++) {
        platform::IoResult r = platform::ReceiveFrom(raw->udp, buffer, sizeof buffer, nullptr);
        if (!r.Ok()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
        net::FrameRead read = net::ReadDatagramFrame(buffer, r.bytes, kCode, frame.get());
        if (read.kind == net::FrameReadKind::kFrame && frame->header.type == net::kMsgAnswer)
          return Bytes(frame->payload, frame->payload + frame->header.payloadLength) == hello;
      }
      return false;
    });
    EXPECT_TRUE(answered);
  }

  // Sends `bytes` on the raw stream followed by a marker, waits for the
  // marker and returns how far the server's bad-byte count rose meanwhile.
  uint32_t StreamThenMarker(const Bytes& bytes, const std::string& name) {
    uint32_t before = server->endpoint().GetStatistics().bad;
    Bytes marker = Text("marker " + name);
    Bytes all = bytes;
    Bytes m = GoodFrame(kMarkerType, raw->id, 0, marker);
    all.insert(all.end(), m.begin(), m.end());
    raw->Send(all);
    int from = -1;
    EXPECT_TRUE(WaitFor([&] { return serverSeen.Has(kMarkerType, marker, &from); })) << name;
    EXPECT_EQ(from, raw->id) << name;
    raw->Pump();  // keep the server's stream to it flowing
    return server->endpoint().GetStatistics().bad - before;
  }

  // Sends `datagram` from the raw UDP socket, then markers by UDP until one
  // arrives; returns how far the bad-byte count rose.
  uint32_t DatagramThenMarker(const Bytes& datagram, const std::string& name) {
    uint32_t before = server->endpoint().GetStatistics().bad;
    raw->SendUdp(datagram);
    int n = 0;
    bool arrived = WaitFor([&] {
      Bytes marker = Text("udp marker " + name + " " + std::to_string(n++));
      raw->SendUdp(GoodFrame(kMarkerType, raw->id, 0, marker, net::kFrameFlagUdp));
      return WaitFor([&] { return serverSeen.Has(kMarkerType, marker); }, 50);
    });
    EXPECT_TRUE(arrived) << name;
    return server->endpoint().GetStatistics().bad - before;
  }
};

// [SECTION] Logging in by hand

TEST(NetHostile, RawClientLogsInAndSeesTheLobby) {
  Lobby lobby;
  ASSERT_NO_FATAL_FAILURE(lobby.LogInRaw());
  // The slot records of the others, and Ann's view of the newcomer.
  const Got* peer = lobby.raw->WaitType(net::kMsgPeerSlot);
  ASSERT_NE(peer, nullptr);
  EXPECT_TRUE(WaitFor([&] { return lobby.ann->endpoint().FindPeerSlot(2) == 2; }));
  // The table comes round every few frames: Host, Ann and Mallory in it.
  const Got* table = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    lobby.Frames(1);
    lobby.raw->Pump();
    for (const Got& g : lobby.raw->got)
      if (g.header.type == net::kMsgPlayerTable) table = &g;
    return table != nullptr;
  }));
  ASSERT_EQ(table->payload.size(), static_cast<size_t>(net::kPlayerTableLength));
  EXPECT_EQ(static_cast<int16_t>(table->header.from), 0);
  net::PlayerRecord records[net::kMaxPlayers];
  net::DecodePlayerTable(table->payload.data(), records);
  std::string names[3];
  for (const net::PlayerRecord& r : records)
    if (r.id >= 0 && r.id < 3) names[r.id] = std::string(r.name) + "/" + r.team;
  EXPECT_EQ(names[0], "Host/Blue");
  EXPECT_EQ(names[1], "Ann/Red");
  EXPECT_EQ(names[2], "Mallory/Evil");
  lobby.ExpectAnnUnharmed("the raw login");
}

// [SECTION] Broken frames on the stream

TEST(NetHostile, BrokenStreamFramesAreSkippedAndTheStreamGoesOn) {
  Lobby lobby;
  ASSERT_NO_FATAL_FAILURE(lobby.LogInRaw());
  const uint16_t me = static_cast<uint16_t>(lobby.raw->id);

  auto frame = [&](auto edit) {
    RawFrame f;
    f.from = me;
    f.payload = Text("probe!");
    edit(f);
    return f.Build();
  };
  const Bytes runs34 = ZeroRuns(17);  // 4352 bytes once expanded
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"check word wrong", frame([](RawFrame& f) { f.check = kCode + 34 + 1; })},
      {"check word of another application", frame([](RawFrame& f) { f.check = 0x20150101u + 34; })},
      {"total 0", frame([](RawFrame& f) { f.total = 0, f.payloadLength = 0, f.payload.clear(); })},
      {"total 8", frame([](RawFrame& f) { f.total = 8, f.payloadLength = -20, f.payload.clear(); })},
      {"total 27", frame([](RawFrame& f) { f.total = 27, f.payloadLength = -1, f.payload.clear(); })},
      {"total -28", frame([](RawFrame& f) { f.total = -28, f.payloadLength = -56, f.payload.clear(); })},
      {"total 4125", frame([](RawFrame& f) { f.payload.assign(4097, 'A'); })},
      {"payload length one short", frame([](RawFrame& f) { f.payloadLength = 5; })},
      {"payload length one long", frame([](RawFrame& f) { f.payloadLength = 7; })},
      {"trailer wrong", frame([](RawFrame& f) { f.trailer = kCode + 34 - 1; })},
      {"coded payload ends in a lone 0x00",
       frame([](RawFrame& f) { f.flags = net::kFrameFlagZeroRuns, f.payload = {'a', 'b', 0x00}; })},
      {"coded payload expands past 4096",
       frame([&](RawFrame& f) { f.flags = net::kFrameFlagZeroRuns, f.payload = runs34; })},
      {"a frame cut short by the next", [&] {
         // 48 bytes claimed, 30 sent: the marker's bytes fail its trailer.
         Bytes b = frame([](RawFrame& f) { f.payload.assign(20, 'c'); });
         b.resize(30);
         return b;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Every byte of a refused frame counts as bad, no more and no less; a
    // frame cut short is skipped as far as where the marker begins.
    EXPECT_EQ(lobby.StreamThenMarker(c.bytes, c.name), c.bytes.size());
    EXPECT_EQ(lobby.serverSeen.Count(kProbeType), 0);
    EXPECT_EQ(lobby.annSeen.Count(kProbeType), 0);
  }
  lobby.ExpectAnnUnharmed("broken stream frames");

  // A coded payload of exactly 4096 bytes is the largest there is: taken.
  const Bytes runs32 = ZeroRuns(16);
  Bytes largest = frame([&](RawFrame& f) { f.flags = net::kFrameFlagZeroRuns, f.payload = runs32; });
  EXPECT_EQ(lobby.StreamThenMarker(largest, "4096 zeros"), 0u);
  EXPECT_TRUE(lobby.serverSeen.Has(kProbeType, Bytes(4096, 0)));

  // Through all this Mallory kept her slot; the stream is still in step.
  EXPECT_EQ(lobby.server->endpoint().FindPeerSlot(2), 2);
}

// [SECTION] Forged and hostile payloads

TEST(NetHostile, ForgedSendersAndHostileLobbyPayloadsChangeNothingOfOthers) {
  Lobby lobby;
  ASSERT_NO_FATAL_FAILURE(lobby.LogInRaw());
  const int me = lobby.raw->id;
  ASSERT_TRUE(WaitFor([&] {
    lobby.Frames(1);
    return std::string(lobby.ann->GetPlayerName(2)) == "Mallory";
  }));
  auto annTable = lobby.ann->CopyPlayerTable();

  // Speaking as Ann, and as the server: the server names the true sender.
  int from = -1;
  Bytes asAnn = Text("I am Ann");
  lobby.raw->Send(GoodFrame(kProbeType, 1, 0, asAnn));
  ASSERT_TRUE(WaitFor([&] { return lobby.serverSeen.Has(kProbeType, asAnn, &from); }));
  EXPECT_EQ(from, me);
  Bytes asServer = Text("I am the server");
  lobby.raw->Send(GoodFrame(kProbeType, 0, 1, asServer));
  ASSERT_TRUE(WaitFor([&] { return lobby.annSeen.Has(kProbeType, asServer, &from); }));
  EXPECT_EQ(from, me);

  // A table with ids out of range and texts without an end, to Ann and to
  // everybody; only the server's tables count.
  Bytes table(net::kPlayerTableLength, 'z');
  for (int i = 0; i < net::kMaxPlayers; i++) {
    int32_t ids[] = {1, 40, -7, 1000, 0x7FFFFFFF, 2};
    PutLe32(table.data() + i * 40 + 36, static_cast<uint32_t>(ids[i % 6]));
  }
  lobby.raw->Send(GoodFrame(net::kMsgPlayerTable, me, 1, table));
  lobby.raw->Send(GoodFrame(net::kMsgPlayerTable, 0, net::kIdEverybody, table));
  // Slot records with indexes out of range, for others' ids and its own.
  for (int index : {-1, 40, 30000, 1}) {
    net::PeerSlot slot;
    slot.index = static_cast<int16_t>(index);
    slot.id = static_cast<int16_t>(index == 1 ? 1 : index == 30000 ? me : 9);
    std::memset(slot.name, 'n', sizeof slot.name);
    Bytes wire(net::kPeerSlotWireLength);
    net::EncodePeerSlot(wire.data(), slot);
    std::memset(wire.data() + 6, 'n', 128 + 128 + 256);  // no ends to any text
    for (int type : {net::kMsgOwnSlot, net::kMsgPeerSlot, net::kMsgNameChange, net::kMsgTeamChange})
      lobby.raw->Send(GoodFrame(type, me, net::kIdEverybody, wire));
    lobby.raw->Send(GoodFrame(net::kMsgNameChange, me, 1, wire));
  }
  // Short slot records and an empty login.
  lobby.raw->Send(GoodFrame(net::kMsgNameChange, me, 0, Bytes(10, 'x')));
  lobby.raw->Send(GoodFrame(net::kMsgPeerSlot, me, 1, Bytes(10, 'x')));
  // Texts without an end: team (to the server), console, a second login.
  lobby.raw->Send(GoodFrame(net::kMsgTeamText, me, 0, Bytes(4000, 'q')));
  lobby.raw->Send(GoodFrame(net::kMsgConsoleText, me, 0, Bytes(4096, 'c')));
  lobby.raw->Send(GoodFrame(net::kMsgLogin, me, 0, Bytes(4096, 'M')));
  // Types the handler table has no room for, and a filter naming nobody.
  lobby.raw->Send(GoodFrame(0xFFFF, me, 0, Text("t")));
  lobby.raw->Send(GoodFrame(255, me, net::kIdEverybody, Text("t")));
  RawFrame filtered;
  filtered.from = static_cast<uint16_t>(me);
  filtered.to = net::kIdEverybody;
  filtered.teamFilter = 77;
  filtered.payload = Text("filtered");
  lobby.raw->Send(filtered.Build());
  EXPECT_EQ(lobby.StreamThenMarker({}, "after the payloads"), 0u);

  // Mallory's own record took the cut texts; nobody else's changed.
  ASSERT_TRUE(WaitFor([&] { return std::string(lobby.server->GetPlayerName(2)) == "MMMMMMMMMMMMMMM"; }));
  char name[128];
  EXPECT_EQ(lobby.server->endpoint().GetPeerName(name, 2), 1);
  EXPECT_EQ(std::strlen(name), 127u);
  EXPECT_EQ(lobby.server->endpoint().FindPeerSlot(9), -1);
  EXPECT_EQ(lobby.ann->endpoint().FindPeerSlot(9), -1);
  EXPECT_EQ(lobby.server->endpoint().GetPeerName(name, 1), 1);
  EXPECT_STREQ(name, "Ann@Red");
  EXPECT_EQ(lobby.ann->endpoint().GetPeerName(name, 1), 1);
  EXPECT_STREQ(name, "Ann@Red");
  EXPECT_EQ(lobby.server->endpoint().GetPeerSlot(1).index, 1);
  EXPECT_EQ(lobby.ann->endpoint().GetPeerSlot(1).id, 1);
  EXPECT_FALSE(lobby.annSeen.Has(kProbeType, Text("filtered")));
  EXPECT_FALSE(lobby.serverSeen.Has(kProbeType, Text("filtered")));
  bool console = false;
  for (const std::string& line : lobby.server->TakeLogLines()) console = console || line == std::string(128, 'c');
  EXPECT_TRUE(console);
  auto after = lobby.ann->CopyPlayerTable();
  for (int i = 0; i < net::kMaxPlayers; i++) {
    if (annTable[i].id == 2) continue;  // Mallory's own, renamed by the server
    EXPECT_EQ(after[i].id, annTable[i].id) << i;
    EXPECT_STREQ(after[i].name, annTable[i].name) << i;
  }
  lobby.ExpectAnnUnharmed("hostile payloads");
  EXPECT_EQ(lobby.server->endpoint().FindPeerSlot(2), 2);
}

// [SECTION] Datagrams

TEST(NetHostile, BadAndForeignDatagramsAreRefused) {
  Lobby lobby;
  ASSERT_NO_FATAL_FAILURE(lobby.LogInRaw());
  const uint16_t me = static_cast<uint16_t>(lobby.raw->id);
  // Ann's datagrams reach the server before and after the attack.
  auto annUdp = [&](const std::string& tag) {
    int n = 0;
    return WaitFor([&] {
      Bytes p = Text("ann udp " + tag + std::to_string(n++));
      (void)lobby.ann->endpoint().Send(0, net::kNoTeamFilter, kAnnType, p.data(), static_cast<int>(p.size()),
                                      net::kFrameFlagUdp);
      return WaitFor([&] { return lobby.serverSeen.Has(kAnnType, p); }, 50);
    });
  };
  ASSERT_TRUE(annUdp("before"));

  auto udpFrame = [&](auto edit) {
    RawFrame f;
    f.from = me;
    f.flags = net::kFrameFlagUdp;
    f.payload = Text("probe!");
    edit(f);
    return f.Build();
  };
  const Bytes runs34 = ZeroRuns(17);  // 4352 bytes once expanded
  Bytes valid = udpFrame([](RawFrame&) {});
  Bytes merged = valid;
  merged.insert(merged.end(), valid.begin(), valid.end());
  struct Case {
    const char* name;
    Bytes bytes;
    uint32_t bad;  // bytes the server counts as bad
  };
  const Case cases[] = {
      {"27 bytes: ignored", Bytes(valid.begin(), valid.begin() + 27), 0},
      {"check word wrong", udpFrame([](RawFrame& f) { f.check = 1; }), 34},
      {"total 4125", udpFrame([](RawFrame& f) { f.payload.assign(4097, 'A'); }), 4125},
      {"oversize datagram", Bytes(6000, 'A'), 4125},  // the kept head of it
      {"frame longer than its datagram", Bytes(valid.begin(), valid.end() - 1), 33},
      {"payload length mismatch", udpFrame([](RawFrame& f) { f.payloadLength = 5; }), 34},
      {"trailer wrong", udpFrame([](RawFrame& f) { f.trailer = 0; }), 34},
      {"coded payload ends in a lone 0x00",
       udpFrame([](RawFrame& f) { f.flags |= net::kFrameFlagZeroRuns, f.payload = {'a', 0x00}; }), 30},
      {"coded payload expands past 4096",
       udpFrame([&](RawFrame& f) { f.flags |= net::kFrameFlagZeroRuns, f.payload = runs34; }), 62},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(lobby.DatagramThenMarker(c.bytes, c.name), c.bad);
    EXPECT_EQ(lobby.serverSeen.Count(kProbeType), 0);
  }

  // Forged senders by UDP are dropped whole: Ann's id from Mallory's
  // socket, Mallory's id from another loopback host.
  Bytes asAnn = udpFrame([](RawFrame& f) { f.from = 1, f.payload = Text("udp as Ann"); });
  EXPECT_EQ(lobby.DatagramThenMarker(asAnn, "as Ann"), 0u);
  platform::SocketResult other = platform::OpenUdp({0x7F000002, 0});
  ASSERT_TRUE(other.Ok()) << other.error;
  Bytes fromElsewhere = udpFrame([](RawFrame& f) { f.payload = Text("udp from elsewhere"); });
  (void)platform::SendTo(other.socket, fromElsewhere.data(), fromElsewhere.size(), lobby.raw->server);
  platform::CloseSocket(other.socket);
  EXPECT_EQ(lobby.DatagramThenMarker({}, "from elsewhere"), 0u);
  EXPECT_EQ(lobby.serverSeen.Count(kProbeType), 0);

  // Two frames in one datagram: the first is taken, the rest ignored.
  EXPECT_EQ(lobby.DatagramThenMarker(merged, "merged"), 0u);
  EXPECT_EQ(lobby.serverSeen.Count(kProbeType), 1);

  ASSERT_TRUE(annUdp("after"));
  lobby.ExpectAnnUnharmed("bad datagrams");
}

// [SECTION] Forged leaves

TEST(NetHostile, ForgedLeaveEndsOnlyTheSenderEverywhere) {
  struct Case {
    const char* name;
    uint16_t to;
  };
  // However it is addressed, a leave speaks for its sender alone, and every
  // peer learns of it.
  const Case cases[] = {{"to the server", 0}, {"to the victim", 1}, {"to everybody", net::kIdEverybody}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lobby lobby;
    ASSERT_NO_FATAL_FAILURE(lobby.LogInRaw());
    ASSERT_TRUE(WaitFor([&] { return lobby.ann->endpoint().FindPeerSlot(2) == 2; }));
    lobby.raw->Send(GoodFrame(net::kMsgLeave, 1, c.to, Bytes(256, 0)));
    EXPECT_TRUE(WaitFor([&] { return lobby.server->endpoint().FindPeerSlot(2) == -1; }));
    EXPECT_TRUE(WaitFor([&] { return lobby.ann->endpoint().FindPeerSlot(2) == -1; }));
    EXPECT_TRUE(WaitFor([&] { return lobby.raw->Closed(); }));
    EXPECT_TRUE(WaitFor([&] {
      lobby.Frames(1);
      return lobby.server->FindPlayerIndex(2) == -1 && lobby.ann->FindPlayerIndex(2) == -1;
    }));
    lobby.ExpectAnnUnharmed(c.name);
    EXPECT_EQ(lobby.server->endpoint().PeerCount(), 2);
    EXPECT_EQ(lobby.ann->endpoint().PeerCount(), 2);
  }
}

}  // namespace
