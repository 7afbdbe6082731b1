// net_endpoint_test.cpp -- server and clients on loopback: login and ids,
// routing through the queue, datagrams, the login time-out, leaves, and
// peers that lie about who they are.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net_endpoint.h"
#include "net/net_frame.h"
#include "platform/platform_socket.h"
#include "test_support.h"
#include "net_test_wait.h"

namespace {

using net::NetworkEndpoint;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kCode = net::kApplicationCheckCode;

// Short waits so that no failing test lingers.
net::EndpointTimings FastTimings() { return nettest::FastTimings(400, 3); }
using nettest::WaitFor;

std::string Address(NetworkEndpoint& server) {
  return "127.0.0.1:" + std::to_string(server.LocalPort());
}

struct Message {
  int to = 0, filter = 0, from = 0, type = 0;
  Bytes payload;
};

// Pops queued messages until one of `type` comes (others are dropped).
bool PopType(NetworkEndpoint& e, int type, Message* out, int ms = 3000) {
  return WaitFor(
      [&] {
        while (e.QueuedCount() > 0) {
          Message m;
          int length = 0;
          (void)e.PeekMessage(&m.to, &m.filter, &m.from, &m.type, &length);
          m.payload.resize(length);
          (void)e.PopMessage(m.payload.data(), length);
          if (m.type == type) {
            *out = m;
            return true;
          }
        }
        return false;
      },
      ms);
}

// A server on a free port and helpers to add clients.
struct Net {
  std::unique_ptr<NetworkEndpoint> server = std::make_unique<NetworkEndpoint>(FastTimings());
  std::vector<std::unique_ptr<NetworkEndpoint>> clients;

  Net() { EXPECT_EQ(server->OpenAndWait(nullptr, 0, net::kModeServer, "Host", "A", kCode), 1); }

  NetworkEndpoint& AddClient(const char* name, const char* team = "") {
    clients.push_back(std::make_unique<NetworkEndpoint>(FastTimings()));
    EXPECT_EQ(clients.back()->OpenAndWait(Address(*server).c_str(), 1, net::kModeClient, name,
                                          team, kCode),
              1);
    return *clients.back();
  }
};

// A hand-driven peer on a plain TCP socket: it sends whatever frames a test
// wants, true or not.
struct RawPeer {
  platform::Socket socket;
  explicit RawPeer(uint16_t port) {
    platform::SocketResult r = platform::ConnectTcp({platform::kLoopbackHost, port}, 1000);
    EXPECT_TRUE(r.Ok()) << r.error;
    socket = r.socket;
  }
  ~RawPeer() { platform::CloseSocket(socket); }

  void SendFrame(uint16_t type, const Bytes& payload, uint16_t from = net::kIdNotKnown,
                 uint16_t to = net::kIdEverybody) {
    uint8_t frame[net::kMaxFrameLength];
    net::FrameRequest request;
    request.ownId = from == net::kIdNotKnown ? -1 : static_cast<int16_t>(from);
    request.to = to;
    request.from = from;
    request.type = type;
    request.payload = payload.data();
    request.payloadLength = static_cast<int32_t>(payload.size());
    int total = net::BuildFrame(frame, request, kCode);
    ASSERT_GT(total, 0);
    SendBytes(frame, total);
  }
  void SendBytes(const uint8_t* bytes, size_t n) {
    size_t done = 0;
    while (done < n) {
      platform::IoResult r = platform::Send(socket, bytes + done, n - done);
      ASSERT_NE(r.status, platform::IoStatus::Error) << r.error;
      ASSERT_NE(r.status, platform::IoStatus::Closed);
      done += r.bytes;
      if (r.status == platform::IoStatus::WouldBlock) (void)platform::WaitWritable(socket, 100);
    }
  }
  void Login(const char* name) {
    Bytes login(256, 0);
    std::memcpy(login.data(), name, std::strlen(name));
    SendFrame(net::kMsgLogin, login, net::kIdNotKnown, 0);
  }
};

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text) + 1); }

// [SECTION] Opening, login and ids

TEST(NetEndpoint, ClientLogsInAndFramesReachBothQueues) {
  Net n;
  NetworkEndpoint& client = n.AddClient("Alice", "B");
  EXPECT_EQ(client.GetMode(), net::kModeClient);
  EXPECT_EQ(client.GetOwnId(), 1);
  EXPECT_EQ(n.server->GetOwnId(), 0);
  EXPECT_TRUE(WaitFor([&] { return n.server->PeerCount() == 2 && client.PeerCount() == 2; }));

  char text[256];
  EXPECT_EQ(n.server->GetPeerName(text, 1), 1);
  EXPECT_STREQ(text, "Alice");
  EXPECT_EQ(n.server->GetPeerTeam(text, 1), 1);
  EXPECT_STREQ(text, "B");
  EXPECT_TRUE(WaitFor([&] { return client.GetPeerName(text, 0) == 1 && std::string(text) == "Host"; }));
  EXPECT_EQ(client.GetPeerName(text, 7), net::kNetNoSuchPeer);
  EXPECT_STREQ(text, "");
  int ids[net::kMaxPeers + 1];
  EXPECT_EQ(n.server->ListPeerIds(ids), 2);
  EXPECT_EQ(ids[0], 0);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], -1);

  // Client to everybody reaches the server's queue; server to the client
  // reaches the client's.
  Bytes zeros(300, 0);  // zero-run coded on the wire, delivered plain
  ASSERT_GT(client.Send(-1, -1, 40, zeros.data(), 300, 0), 0);
  Message m;
  ASSERT_TRUE(PopType(*n.server, 40, &m));
  EXPECT_EQ(m.from, 1);
  EXPECT_EQ(m.payload, zeros);
  ASSERT_GT(n.server->Send(1, -1, 41, Text("hi").data(), 3, 0), 0);
  ASSERT_TRUE(PopType(client, 41, &m));
  EXPECT_EQ(m.from, 0);
  EXPECT_EQ(m.to, 1);
  EXPECT_STREQ(reinterpret_cast<char*>(m.payload.data()), "hi");

  // A second open while open is refused.
  EXPECT_EQ(client.OpenAndWait("127.0.0.1", 1, net::kModeClient, "x", "", kCode),
            net::kOpenAlreadyConnected);
}

TEST(NetEndpoint, ClientToClientGoesThroughTheServer) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");
  NetworkEndpoint& b = n.AddClient("B");
  ASSERT_EQ(b.GetOwnId(), 2);
  ASSERT_GT(a.Send(2, -1, 50, Text("to b").data(), 5, 0), 0);
  Message m;
  ASSERT_TRUE(PopType(b, 50, &m));
  EXPECT_EQ(m.from, 1);
  // A broadcast without echo is not sent back to its sender.
  ASSERT_GT(a.Send(-1, -1, 51, Text("all").data(), 4, 0), 0);
  ASSERT_TRUE(PopType(b, 51, &m));
  ASSERT_TRUE(PopType(*n.server, 51, &m));
  Message self;
  EXPECT_TRUE(PopType(a, 51, &self, 300));  // the local copy
  EXPECT_FALSE(PopType(a, 51, &self, 300));  // and no second one from the server
}

TEST(NetEndpoint, NewClientTakesTheLowestFreeId) {
  Net n;
  n.AddClient("A");
  n.AddClient("B");
  n.AddClient("C");
  EXPECT_EQ(n.server->Close(2), 1);
  EXPECT_EQ(n.server->FindPeerSlot(2), -1);
  NetworkEndpoint& d = n.AddClient("D");
  EXPECT_EQ(d.GetOwnId(), 2);
  EXPECT_EQ(n.server->Close(0), net::kNetNoSuchPeer);  // never the server's own slot
  EXPECT_EQ(n.server->Close(33), net::kNetNoSuchPeer);
}

TEST(NetEndpoint, TeamNumbersFollowTheLowestEqualSlot) {
  Net n;  // server team "A"
  n.AddClient("one", "B");
  n.AddClient("two", "A");
  EXPECT_TRUE(WaitFor([&] { return n.server->GetPeerSlot(2).id == 2; }));
  EXPECT_EQ(n.server->GetPeerSlot(0).teamNumber, 0);
  EXPECT_EQ(n.server->GetPeerSlot(1).teamNumber, 1);
  EXPECT_EQ(n.server->GetPeerSlot(2).teamNumber, 0);
  EXPECT_EQ(n.server->GetPeerSlot(5).teamNumber, n.server->GetPeerSlot(3).teamNumber);

  // A broadcast filtered by team "A" (id 0) reaches client two, not one.
  Message m;
  ASSERT_GE(n.server->Send(-1, 0, 60, Text("A").data(), 2, 0), 0);
  EXPECT_TRUE(PopType(*n.clients[1], 60, &m));
  EXPECT_FALSE(PopType(*n.clients[0], 60, &m, 300));
}

TEST(NetEndpoint, ServerRefusesAClientOfAnotherApplication) {
  NetworkEndpoint server(FastTimings());
  ASSERT_EQ(server.OpenAndWait(nullptr, 0, net::kModeServer, "Host", "", kCode + 1), 1);
  NetworkEndpoint client(FastTimings());
  EXPECT_EQ(client.OpenAndWait(Address(server).c_str(), 1, net::kModeClient, "A", "", kCode),
            net::kOpenNoAnswer);
  EXPECT_EQ(client.GetMode(), 0);
  EXPECT_EQ(client.GetOwnId(), -1);
}

TEST(NetEndpoint, ConnectFailuresAreReported) {
  NetworkEndpoint client(FastTimings());
  // A port nobody listens on: take one and let it go.
  platform::SocketResult l = platform::ListenTcp({platform::kLoopbackHost, 0}, 1);
  ASSERT_TRUE(l.Ok());
  uint16_t port = platform::LocalAddressOf(l.socket).port;
  platform::CloseSocket(l.socket);
  std::string address = "127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(client.OpenAndWait(address.c_str(), 1, net::kModeClient, "A", "", kCode),
            net::kOpenTcpConnectFailed);
  EXPECT_EQ(client.OpenAndWait("", 1, net::kModeClient, "A", "", kCode), net::kOpenHostNotResolved);
  EXPECT_EQ(client.GetMode(), 0);
}

TEST(NetEndpoint, NameChangesSpreadAndOnlyForOneself) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");
  NetworkEndpoint& b = n.AddClient("B");
  auto rename = [&](NetworkEndpoint& who, int id, const char* name) {
    net::PeerSlot record;
    record.id = static_cast<int16_t>(id);
    std::snprintf(record.name, sizeof record.name, "%s", name);
    uint8_t wire[net::kPeerSlotWireLength];
    net::EncodePeerSlot(wire, record);
    ASSERT_GT(who.Send(0, -1, net::kMsgNameChange, wire, sizeof wire, 0), 0);
  };
  char text[256];
  auto nameOf = [&](NetworkEndpoint& e, int id) {
    (void)e.GetPeerName(text, id);
    return std::string(text);
  };
  rename(a, 1, "Ann");
  EXPECT_TRUE(WaitFor([&] { return nameOf(*n.server, 1) == "Ann" && nameOf(b, 1) == "Ann"; }));
  Message m;
  ASSERT_TRUE(PopType(b, net::kMsgNameChange, &m));
  EXPECT_EQ(m.from, 1);
  EXPECT_STREQ(reinterpret_cast<char*>(m.payload.data()), "Ann");
  ASSERT_TRUE(PopType(*n.server, net::kMsgNameChange, &m));
  // Client 1 may not rename client 2.
  rename(a, 2, "Bob?");
  EXPECT_FALSE(PopType(*n.server, net::kMsgNameChange, &m, 300));
  EXPECT_EQ(nameOf(*n.server, 2), "B");
  // Traffic was counted on both sides.
  net::NetStatistics ss = n.server->GetStatistics();
  net::NetStatistics cs = a.GetStatistics();
  EXPECT_GT(cs.sent, 0u);
  EXPECT_GT(ss.received, 0u);
  EXPECT_GE(ss.received, ss.good + ss.bad);
}

// [SECTION] Peers that lie

TEST(NetEndpoint, ServerStampsTheSenderOfStreamFrames) {
  Net n;
  n.AddClient("A");  // id 1
  RawPeer raw(n.server->LocalPort());
  raw.Login("Mallory");
  ASSERT_TRUE(WaitFor([&] { return n.server->FindPeerSlot(2) == 2; }));
  Message m;
  // Claims to be the server, then client 1.
  raw.SendFrame(70, Text("x"), 0, 0);
  ASSERT_TRUE(PopType(*n.server, 70, &m));
  EXPECT_EQ(m.from, 2);
  raw.SendFrame(71, Text("y"), 1, net::kIdEverybody);
  ASSERT_TRUE(PopType(*n.clients[0], 71, &m));
  EXPECT_EQ(m.from, 2);
}

TEST(NetEndpoint, OnlyTheServerHandsOutSlotRecords) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");  // id 1
  RawPeer raw(n.server->LocalPort());
  raw.Login("Mallory");  // id 2
  ASSERT_TRUE(WaitFor([&] { return a.FindPeerSlot(2) == 2; }));
  net::PeerSlot ghost;
  ghost.index = 5;
  ghost.id = 9;
  std::snprintf(ghost.name, sizeof ghost.name, "Ghost");
  Bytes wire(net::kPeerSlotWireLength);
  net::EncodePeerSlot(wire.data(), ghost);
  raw.SendFrame(net::kMsgPeerSlot, wire, 2, 1);
  ghost.id = 1;  // and "you are id 1 in slot 5"
  net::EncodePeerSlot(wire.data(), ghost);
  raw.SendFrame(net::kMsgOwnSlot, wire, 2, 1);
  raw.SendFrame(130, Text("marker"), 2, 1);
  Message m;
  ASSERT_TRUE(PopType(a, 130, &m));  // everything before it has been routed
  EXPECT_EQ(a.FindPeerSlot(9), -1);
  EXPECT_EQ(a.GetPeerSlot(5).id, -1);
  EXPECT_EQ(a.GetOwnId(), 1);
}

TEST(NetEndpoint, LeaveFreesOnlyTheSendersSlot) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");  // id 1
  RawPeer raw(n.server->LocalPort());
  raw.Login("Mallory");  // id 2
  ASSERT_TRUE(WaitFor([&] { return n.server->FindPeerSlot(2) == 2; }));
  // A leave claiming the server's id, then one addressed as client 1.
  raw.SendFrame(net::kMsgLeave, Bytes(256, 0), 0, net::kIdEverybody);
  ASSERT_TRUE(WaitFor([&] { return n.server->FindPeerSlot(2) == -1; }));
  EXPECT_EQ(n.server->FindPeerSlot(0), 0);
  EXPECT_EQ(n.server->FindPeerSlot(1), 1);
  EXPECT_EQ(a.GetOwnId(), 1);
  // Its socket is closed: the raw peer sees the end of the stream.
  uint8_t buffer[8192];
  EXPECT_TRUE(WaitFor([&] {
    platform::IoResult r = platform::Receive(raw.socket, buffer, sizeof buffer);
    return r.status == platform::IoStatus::Closed || r.status == platform::IoStatus::Error;
  }));
}

TEST(NetEndpoint, SilentConnectionIsCut) {
  Net n;
  std::mutex linesLock;
  std::vector<std::string> lines;
  n.server->SetLogCallback([&](const char* t) {
    std::lock_guard<std::mutex> g(linesLock);
    lines.push_back(t);
  });
  RawPeer raw(n.server->LocalPort());
  ASSERT_TRUE(WaitFor([&] { return n.server->PeerCount() == 2; }));
  ASSERT_TRUE(WaitFor([&] { return n.server->PeerCount() == 1; }, 3000));
  std::lock_guard<std::mutex> g(linesLock);
  bool cutLogged = false;
  // "[address] does not answer; the line is cut."
  const std::string cut = test::Sjis("からの応答がありません。通信を切断します。");
  for (const std::string& l : lines) cutLogged = cutLogged || l.find(cut) != std::string::npos;
  EXPECT_TRUE(cutLogged);
}

TEST(NetEndpoint, GarbageOnAStreamCountsBadBytesAndEndsNothing) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");
  RawPeer raw(n.server->LocalPort());
  raw.Login("R");
  ASSERT_TRUE(WaitFor([&] { return n.server->FindPeerSlot(2) == 2; }));
  uint8_t junk[100];
  for (int i = 0; i < 100; i++) junk[i] = static_cast<uint8_t>(i * 37 + 1);
  raw.SendBytes(junk, sizeof junk);
  raw.SendFrame(80, Text("after"), 2, 0);
  Message m;
  ASSERT_TRUE(PopType(*n.server, 80, &m));
  EXPECT_GE(n.server->GetStatistics().bad, 100u);
  // A hostile peer going away leaves everyone else working.
  platform::CloseSocket(raw.socket);
  ASSERT_TRUE(WaitFor([&] { return n.server->FindPeerSlot(2) == -1; }));
  ASSERT_GT(a.Send(0, -1, 81, Text("still").data(), 6, 0), 0);
  EXPECT_TRUE(PopType(*n.server, 81, &m));
}

// [SECTION] Handlers and the queue

TEST(NetEndpoint, HandlerTypesAreRangeChecked) {
  Net n;
  auto handler = [](NetworkEndpoint&, int, int, int, int, const uint8_t*, int) { return 1; };
  EXPECT_EQ(n.server->SetHandler(0, handler), 0);
  EXPECT_EQ(n.server->SetHandler(255, handler), 0);
  EXPECT_EQ(n.server->SetHandler(256, handler), 0);
  EXPECT_EQ(n.server->SetHandler(-1, handler), 0);
  EXPECT_EQ(n.server->SetHandler(254, handler), 1);
  // Types at and beyond 255 are queued, never handled.
  for (int type : {255, 300, 0xFFFF}) {
    (void)n.server->Send(0, -1, type, Text("t").data(), 2, 0);
    Message m;
    EXPECT_TRUE(PopType(*n.server, type, &m, 500)) << type;
  }
}

TEST(NetEndpoint, FullQueueKeepsSystemMessagesAndHandlers) {
  Net n;
  Message login;
  ASSERT_TRUE(PopType(*n.server, net::kMsgLogin, &login));  // the server's own login
  for (int i = 0; i < 130; i++) (void)n.server->Send(0, -1, 90, Text("m").data(), 2, 0);
  EXPECT_EQ(n.server->QueuedCount(), 127);
  int handled = 0;
  ASSERT_EQ(n.server->SetHandler(91, [&](NetworkEndpoint&, int, int, int, int, const uint8_t*, int) {
    handled++;
    return 1;
  }), 1);
  (void)n.server->Send(0, -1, 91, Text("h").data(), 2, 0);
  EXPECT_EQ(handled, 1);
  // A client logging in now still shows up in the queue.
  n.AddClient("late");
  EXPECT_TRUE(WaitFor([&] { return n.server->QueuedCount() > 127; }));
  EXPECT_TRUE(PopType(*n.server, net::kMsgLogin, &login));
  EXPECT_EQ(n.server->PopMessage(nullptr, 0) >= 0 || n.server->QueuedCount() == 0, true);
}

// [SECTION] Datagrams

TEST(NetEndpoint, DatagramsTravelBothWays) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");
  NetworkEndpoint& b = n.AddClient("B");
  // The Hello of each client taught the server its UDP address.
  Bytes big(4096);
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<uint8_t>(i * 7 + 1);
  Message m;
  ASSERT_TRUE(WaitFor([&] {
    (void)a.Send(-1, -1, 100, big.data(), 4096, net::kFrameFlagUdp);
    return PopType(b, 100, &m, 100);
  }));
  EXPECT_EQ(m.from, 1);
  EXPECT_EQ(m.payload, big);  // a full 4124-byte datagram
  ASSERT_TRUE(WaitFor([&] {
    (void)n.server->Send(1, -1, 101, Text("u").data(), 2, net::kFrameFlagUdp);
    return PopType(a, 101, &m, 100);
  }));
  EXPECT_GT(n.server->GetStatistics().good, 4124u);
}

TEST(NetEndpoint, DatagramsFromStrangersAreIgnored) {
  Net n;
  n.AddClient("A");
  Message m;
  // A datagram from another loopback host that claims to be client 1, and
  // one that is larger than any frame.
  platform::SocketResult stranger = platform::OpenUdp({0x7F000002, 0});
  ASSERT_TRUE(stranger.Ok()) << stranger.error;
  uint8_t frame[net::kMaxFrameLength];
  net::FrameRequest request;
  request.ownId = 1;
  request.to = 0;
  request.from = 1;
  request.type = 110;
  request.flags = net::kFrameFlagUdp;
  int total = net::BuildFrame(frame, request, kCode);
  ASSERT_GT(total, 0);
  platform::SocketAddress server{platform::kLoopbackHost, n.server->LocalPort()};
  ASSERT_TRUE(platform::SendTo(stranger.socket, frame, total, server).Ok());
  Bytes huge(5000, 1);
  ASSERT_TRUE(platform::SendTo(stranger.socket, huge.data(), huge.size(), server).Ok());
  EXPECT_TRUE(WaitFor([&] { return n.server->GetStatistics().bad >= 4125u; }));
  EXPECT_FALSE(PopType(*n.server, 110, &m, 300));
  platform::CloseSocket(stranger.socket);

  // Once client 1's datagrams have come in, another port on its very host
  // cannot take its place.
  ASSERT_TRUE(WaitFor([&] {
    (void)n.clients[0]->Send(0, -1, 111, Text("me").data(), 3, net::kFrameFlagUdp);
    return PopType(*n.server, 111, &m, 100);
  }));
  platform::SocketResult impostor = platform::OpenUdp({platform::kLoopbackHost, 0});
  ASSERT_TRUE(impostor.Ok());
  ASSERT_TRUE(platform::SendTo(impostor.socket, frame, total, server).Ok());
  EXPECT_FALSE(PopType(*n.server, 110, &m, 300));
  platform::CloseSocket(impostor.socket);
}

// [SECTION] Streams under pressure

TEST(NetEndpoint, PartialSendsAreCompletedInOrder) {
  Net n;
  RawPeer raw(n.server->LocalPort());
  raw.Login("slow");
  ASSERT_TRUE(WaitFor([&] { return n.server->FindPeerSlot(1) == 1; }));
  // Far more than the system buffers hold while the peer does not read.
  // Sends until the stream is full, then some more behind it.
  int kFrames = 0;
  int extra = 50;
  Bytes payload(4000);
  for (int i = 0; i < 3000 && extra > 0; i++, kFrames++) {
    if (n.server->GetStatistics().blocked > 0) extra--;
    for (size_t k = 0; k < payload.size(); k++) payload[k] = static_cast<uint8_t>(k * 13 + i + 1);
    payload[0] = static_cast<uint8_t>(i);
    payload[1] = 0xA5;
    ASSERT_GT(n.server->Send(1, -1, 120, payload.data(), 4000, 0), 0);
  }
  // Now read everything back and find every frame, whole and in order.
  net::FrameStreamReader reader(kCode);
  auto frame = std::make_unique<net::ReceivedFrame>();
  int next = 0;
  uint8_t buffer[65536];
  bool done = WaitFor(
      [&] {
        platform::IoResult r = platform::Receive(raw.socket, buffer, sizeof buffer);
        if (!r.Ok()) return false;
        size_t off = 0;
        while (off < r.bytes) {
          off += reader.Append(buffer + off, r.bytes - off);
          for (;;) {
            net::FrameRead read = reader.Next(frame.get());
            if (read.kind != net::FrameReadKind::kFrame) break;
            if (frame->header.type == 120) {
              EXPECT_EQ(frame->payload[0], static_cast<uint8_t>(next));
              next++;
            }
          }
        }
        return next == kFrames;
      },
      5000);
  EXPECT_TRUE(done) << next;
  EXPECT_EQ(reader.BadBytes(), 0u);
  EXPECT_GT(n.server->GetStatistics().blocked, 0u);
}

TEST(NetEndpoint, FullServerTurnsTheFortiethAway) {
  Net n;
  std::vector<std::unique_ptr<RawPeer>> peers;
  for (int i = 0; i < 39; i++) {
    peers.push_back(std::make_unique<RawPeer>(n.server->LocalPort()));
    peers.back()->Login("p");
  }
  ASSERT_TRUE(WaitFor([&] { return n.server->PeerCount() == 40; }));
  RawPeer extra(n.server->LocalPort());
  uint8_t buffer[16];
  EXPECT_TRUE(WaitFor([&] {
    platform::IoResult r = platform::Receive(extra.socket, buffer, sizeof buffer);
    return r.status == platform::IoStatus::Closed || r.status == platform::IoStatus::Error;
  }));
  EXPECT_EQ(n.server->PeerCount(), 40);
}

TEST(NetEndpoint, CloseAllLetsTheEndpointOpenAgain) {
  Net n;
  NetworkEndpoint& a = n.AddClient("A");
  EXPECT_EQ(n.server->Close(-1), 1);
  EXPECT_EQ(n.server->GetMode(), 0);
  EXPECT_EQ(n.server->PeerCount(), 0);
  EXPECT_TRUE(WaitFor([&] { return a.GetMode() == 0; }));  // the client saw the line go
  ASSERT_EQ(n.server->OpenAndWait(nullptr, 0, net::kModeServer, "Again", "", kCode), 1);
  EXPECT_EQ(a.OpenAndWait(Address(*n.server).c_str(), 1, net::kModeClient, "A", "", kCode), 1);
  EXPECT_EQ(a.GetOwnId(), 1);
}

}  // namespace
