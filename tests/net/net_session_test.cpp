// net_session_test.cpp -- the lobby: login names, the wire table, a server
// and clients on loopback keeping their player tables in step, the table
// rounds, and payloads that try to break the table.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/net_endpoint.h"
#include "net/net_public.h"
#include "net_test_wait.h"

namespace {

using net::NetworkSession;
using net::PlayerRecord;

// Short waits so that no failing test lingers.
net::EndpointTimings FastTimings() { return nettest::FastTimings(2000, 10); }
using nettest::WaitFor;

// [SECTION] Login names

TEST(NetSession, ParseLoginNameSplitsNameTeamAndKey) {
  struct Case {
    const char* login;
    const char* name;
    const char* team;
    const char* key;
  };
  const Case cases[] = {
      {"Ann@Red#k1", "Ann", "Red", "k1"},
      {"Ann#k1@Red", "Ann", "Red", "k1"},   // key before team: same parts
      {"Ann", "Ann", "", ""},
      {"", "", "", ""},
      {"@Red", "", "Red", ""},
      {"Ann@", "Ann", "", ""},
      {"Ann@Red@Blue", "Ann", "RedBlue", ""},  // a repeated separator stores nothing
      {"Ann#a#b", "Ann", "", "ab"},
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNO", "", ""},   // 20 characters: 15 kept
      {"A@0123456789abcdefgh", "A", "0123456789abcde", ""},
  };
  for (const Case& c : cases) {
    char name[16], team[16], key[20];
    std::memset(name, 'x', sizeof name);
    std::memset(team, 'x', sizeof team);
    std::memset(key, 'x', sizeof key);
    net::ParseLoginName(c.login, name, 16, team, 16, key, 20);
    EXPECT_STREQ(name, c.name) << c.login;
    EXPECT_STREQ(team, c.team) << c.login;
    EXPECT_STREQ(key, c.key) << c.login;
  }
  // Null outputs are skipped; only 127 characters are read.
  char key[200];
  net::ParseLoginName("Ann#k", nullptr, 0, nullptr, 0, key, 200);
  EXPECT_STREQ(key, "k");
  std::string longLogin = "#" + std::string(300, 'k');
  net::ParseLoginName(longLogin.c_str(), nullptr, 0, nullptr, 0, key, 200);
  EXPECT_EQ(std::strlen(key), 126u);
}

// [SECTION] The wire table

TEST(NetSession, PlayerTableWireLayoutAndHostileRecords) {
  PlayerRecord table[net::kMaxPlayers];
  std::strcpy(table[0].name, "Ann");
  std::strcpy(table[0].team, "Red");
  table[0].number = 0x0102;
  table[0].id = 3;
  uint8_t wire[net::kPlayerTableLength];
  net::EncodePlayerTable(wire, table);
  EXPECT_EQ(std::memcmp(wire, "Ann\0", 4), 0);
  EXPECT_EQ(std::memcmp(wire + 16, "Red\0", 4), 0);
  EXPECT_EQ(wire[32], 0x02);
  EXPECT_EQ(wire[33], 0x01);
  EXPECT_EQ(wire[34] | wire[35], 0);
  EXPECT_EQ(wire[36], 3);
  EXPECT_EQ(wire[37] | wire[38] | wire[39], 0);
  EXPECT_EQ(wire[40 + 36] & wire[40 + 39], 0xFF);  // record 1 free: id -1

  PlayerRecord back[net::kMaxPlayers];
  net::DecodePlayerTable(wire, back);
  EXPECT_STREQ(back[0].name, "Ann");
  EXPECT_EQ(back[0].number, 0x0102);
  EXPECT_EQ(back[0].id, 3);
  EXPECT_EQ(back[1].id, -1);

  // Unterminated texts, ids and numbers out of range.
  std::memset(wire, 'z', sizeof wire);
  for (int i = 0; i < net::kMaxPlayers; i++) {
    uint8_t* r = wire + i * net::kPlayerRecordLength;
    int32_t id = i == 0 ? 5 : i == 1 ? 40 : i == 2 ? -7 : -1;
    std::memcpy(r + 36, &id, 4);
    int16_t number = 10000;
    std::memcpy(r + 32, &number, 2);
  }
  net::DecodePlayerTable(wire, back);
  EXPECT_EQ(back[0].id, 5);
  EXPECT_EQ(std::strlen(back[0].name), 15u);
  EXPECT_EQ(std::strlen(back[0].team), 15u);
  EXPECT_EQ(back[0].number, 0);
  EXPECT_EQ(back[1].id, -1);
  EXPECT_EQ(back[2].id, -1);
  EXPECT_STREQ(back[1].name, "");
}

// [SECTION] Server and clients on loopback

struct Lobby {
  std::unique_ptr<NetworkSession> server = std::make_unique<NetworkSession>(FastTimings());
  std::vector<std::unique_ptr<NetworkSession>> clients;
  int port = 0;

  explicit Lobby(const char* serverName = "Host@Blue") {
    EXPECT_EQ(server->OpenNetworkSession(nullptr, 0, net::kModeServer, serverName, ""), net::kOpenOk);
    port = server->endpoint().LocalPort();
  }
  NetworkSession& Add(const char* login) {
    clients.push_back(std::make_unique<NetworkSession>(FastTimings()));
    std::string address = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(clients.back()->OpenNetworkSession(address.c_str(), 1, net::kModeClient, login, ""),
              net::kOpenOk);
    return *clients.back();
  }
  // Frames of the main loop on every peer.
  void Frames(int n) {
    for (int k = 0; k < n; k++) {
      server->UpdateNetworkSession(0);
      for (auto& c : clients) c->UpdateNetworkSession(0);
    }
  }
};

std::string NameOf(NetworkSession& s, int id) { return s.GetPlayerName(id); }

TEST(NetSession, LoginIsSeenInBothTablesWithNameTeamAndNumber) {
  Lobby lobby;
  EXPECT_EQ(NameOf(*lobby.server, 0), "Host");
  EXPECT_STREQ(lobby.server->GetPlayerTeam(0), "Blue");
  // With the key list empty every player number is 0.
  NetworkSession& ann = lobby.Add("Ann@Red#k2");
  ASSERT_TRUE(WaitFor([&] { return NameOf(*lobby.server, 1) == "Ann"; }));
  EXPECT_EQ(lobby.server->CopyPlayerTable()[lobby.server->FindPlayerIndex(1)].number, 0);
  EXPECT_STREQ(lobby.server->GetPlayerTeam(1), "Red");

  // The client learns the table from the server's rounds.
  ASSERT_TRUE(WaitFor([&] {
    lobby.Frames(1);
    return NameOf(ann, 1) == "Ann" && NameOf(ann, 0) == "Host";
  }));
  EXPECT_STREQ(ann.GetPlayerTeam(-1), "Red");  // negative: the own id
  EXPECT_STREQ(ann.GetPlayerTeamOrName(0), "Blue");
  EXPECT_EQ(ann.FindPlayerIndex(7), -1);
  EXPECT_STREQ(ann.GetPlayerName(7), "");

  // Keys give numbers: the first free entry that matches, and none past an
  // empty entry.
  lobby.server->SetPlayerKey(1, "k1");
  lobby.server->SetPlayerKey(2, "k2");
  lobby.Add("Bob#k2");
  lobby.Add("Cid#zz");
  ASSERT_TRUE(WaitFor([&] { return NameOf(*lobby.server, 3) == "Cid"; }));
  auto table = lobby.server->CopyPlayerTable();
  EXPECT_EQ(table[lobby.server->FindPlayerIndex(2)].number, 2);
  EXPECT_EQ(table[lobby.server->FindPlayerIndex(3)].number, 0);
  EXPECT_STREQ(lobby.server->GetPlayerTeamOrName(2), "Bob");

  bool logged = false;
  for (const std::string& line : lobby.server->TakeLogLines())
    logged = logged || line.find("Bob [") == 0;
  EXPECT_TRUE(logged);
}

TEST(NetSession, ClosedSessionAnswersEmpty) {
  NetworkSession s(FastTimings());
  EXPECT_FALSE(s.IsOpen());
  EXPECT_STREQ(s.GetPlayerName(0), "");
  EXPECT_STREQ(s.GetPlayerTeamOrName(-1), "");
  EXPECT_EQ(s.FindPlayerIndex(-1), -1);
  s.UpdateNetworkSession(0);
  EXPECT_EQ(s.SendPlayerTable(0x8000), 0);
  int32_t counters[5];
  s.GetTrafficCounters(counters);
  for (int32_t c : counters) EXPECT_EQ(c, 0);
}

TEST(NetSession, TeamTextSpreadsAndLeavesArePruned) {
  Lobby lobby;
  NetworkSession& ann = lobby.Add("Ann@Red");
  NetworkSession& bob = lobby.Add("Bob");
  ASSERT_TRUE(WaitFor([&] {
    lobby.Frames(1);
    return NameOf(bob, 1) == "Ann" && NameOf(ann, 2) == "Bob";
  }));

  EXPECT_GT(ann.SendTeamText("Green"), 0);
  EXPECT_TRUE(WaitFor([&] { return std::string(bob.GetPlayerTeam(1)) == "Green"; }));
  EXPECT_STREQ(lobby.server->GetPlayerTeam(1), "Green");

  // Ann leaves: every peer drops her record at its next prune.
  EXPECT_EQ(ann.DisconnectPeer(-1), 1);
  EXPECT_EQ(ann.FindPlayerIndex(1), -1);
  EXPECT_TRUE(WaitFor([&] {
    lobby.Frames(1);
    return lobby.server->FindPlayerIndex(1) == -1 && bob.FindPlayerIndex(1) == -1;
  }));
  EXPECT_EQ(bob.FindPlayerIndex(2), bob.FindPlayerIndex(-1));
  EXPECT_GE(lobby.server->FindPlayerIndex(2), 0);

  // The server cuts Bob: his record goes at once and stays gone.
  EXPECT_EQ(lobby.server->DisconnectPeer(2), 1);
  EXPECT_EQ(lobby.server->FindPlayerIndex(2), -1);
  lobby.Frames(3);
  EXPECT_EQ(lobby.server->FindPlayerIndex(2), -1);
  EXPECT_EQ(lobby.server->DisconnectPeer(2), net::kNetNoSuchPeer);
}

// Each client counts the tables it gets, then hands them on to its session.
struct TableCounter {
  std::atomic<int> tables{0};
  void Attach(NetworkSession& s) {
    s.endpoint().SetHandler(net::kMsgPlayerTable,
                            [this, &s](net::NetworkEndpoint&, int, int, int from, int type,
                                       const uint8_t* payload, int length) {
                              tables++;
                              return s.HandleSessionMessage(from, type, payload, length);
                            });
  }
};

TEST(NetSession, TableRoundsGoOverTheIdsInUse) {
  TableCounter counters[3];  // outlives the sessions that call it
  Lobby lobby;
  for (int k = 0; k < 3; k++) counters[k].Attach(lobby.Add(k == 0 ? "A" : k == 1 ? "B" : "C"));
  ASSERT_TRUE(WaitFor([&] { return NameOf(*lobby.server, 3) == "C"; }));
  // Let the login traffic settle.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  auto round = [&](int frames, std::vector<int> which, int expected) {
    int before[3];
    for (int k = 0; k < 3; k++) before[k] = counters[k].tables;
    lobby.Frames(frames);
    for (int k : which)
      EXPECT_TRUE(WaitFor([&] { return counters[k].tables - before[k] >= expected; }))
          << "client " << k;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (int k : which) EXPECT_EQ(counters[k].tables - before[k], expected) << "client " << k;
  };
  // Three players, six rounds: two tables each.
  round(6 * net::kTableRoundFrames, {0, 1, 2}, 2);
  // The middle id goes: the round skips it rather than spend a turn on it.
  lobby.clients[1]->DisconnectPeer(-1);
  ASSERT_TRUE(WaitFor([&] {
    lobby.server->UpdateNetworkSession(0);
    return lobby.server->FindPlayerIndex(2) == -1;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int before0 = counters[0].tables, before2 = counters[2].tables;
  for (int k = 0; k < 4 * net::kTableRoundFrames; k++) lobby.server->UpdateNetworkSession(0);
  EXPECT_TRUE(WaitFor([&] {
    int a = counters[0].tables - before0, c = counters[2].tables - before2;
    return a + c >= 4;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int a = counters[0].tables - before0, c = counters[2].tables - before2;
  EXPECT_EQ(a + c, 4);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(c, 2);
}

// [SECTION] Hostile payloads

TEST(NetSession, HostilePayloadsAreRefused) {
  Lobby lobby;
  NetworkSession& ann = lobby.Add("Ann");
  NetworkSession& bob = lobby.Add("Bob");
  ASSERT_TRUE(WaitFor([&] {
    lobby.Frames(1);
    return NameOf(bob, 1) == "Ann" && NameOf(ann, 2) == "Bob";
  }));
  auto before = bob.CopyPlayerTable();
  auto same = [&](const std::vector<PlayerRecord>& t) {
    for (int i = 0; i < net::kMaxPlayers; i++)
      if (t[i].id != before[i].id || std::strcmp(t[i].name, before[i].name) != 0 ||
          std::strcmp(t[i].team, before[i].team) != 0)
        return false;
    return true;
  };

  // A table from another client (the server stamps the true sender).
  PlayerRecord forged[net::kMaxPlayers];
  std::strcpy(forged[0].name, "Mallory");
  forged[0].id = 2;
  uint8_t wire[net::kPlayerTableLength];
  net::EncodePlayerTable(wire, forged);
  EXPECT_GT(ann.endpoint().Send(2, net::kNoTeamFilter, net::kMsgPlayerTable, wire, sizeof wire, 0), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(same(bob.CopyPlayerTable()));

  // Short tables, even from the server's id; a type 5 record; a login on a client.
  EXPECT_EQ(bob.HandleSessionMessage(0, net::kMsgPlayerTable, wire, 100), 1);
  EXPECT_EQ(bob.HandleSessionMessage(0, net::kMsgPlayerTable, nullptr, 1600), 1);
  EXPECT_EQ(bob.HandleSessionMessage(0, net::kMsgPeerSlot, wire, sizeof wire), 1);
  EXPECT_EQ(bob.HandleSessionMessage(1, net::kMsgLogin, wire, sizeof wire), 1);
  EXPECT_TRUE(same(bob.CopyPlayerTable()));

  // Logins and table requests from ids outside the slots touch nothing.
  auto serverBefore = lobby.server->CopyPlayerTable();
  EXPECT_EQ(lobby.server->HandleSessionMessage(40, net::kMsgLogin, nullptr, 0), 1);
  EXPECT_EQ(lobby.server->HandleSessionMessage(-5, net::kMsgLogin, nullptr, 0), 1);
  EXPECT_EQ(lobby.server->HandleSessionMessage(0x7FFF, net::kMsgTableRequest, nullptr, 0), 1);
  EXPECT_EQ(lobby.server->HandleSessionMessage(0x7FFF, net::kMsgTeamText, wire, 16), 1);
  auto serverAfter = lobby.server->CopyPlayerTable();
  for (int i = 0; i < net::kMaxPlayers; i++) EXPECT_EQ(serverAfter[i].id, serverBefore[i].id);

  // A team text without a NUL keeps 15 characters; a console text 128.
  std::vector<uint8_t> junk(4000, 'q');
  EXPECT_GT(ann.endpoint().Send(0, net::kNoTeamFilter, net::kMsgTeamText, junk.data(), 3, 0), 0);
  EXPECT_TRUE(WaitFor([&] { return std::string(lobby.server->GetPlayerTeam(1)) == "qqq"; }));
  EXPECT_GT(ann.endpoint().Send(0, net::kNoTeamFilter, net::kMsgTeamText, junk.data(), 4000, 0), 0);
  EXPECT_TRUE(WaitFor([&] { return std::strlen(lobby.server->GetPlayerTeam(1)) == 15; }));
  (void)lobby.server->TakeLogLines();
  EXPECT_GT(ann.endpoint().Send(0, net::kNoTeamFilter, net::kMsgConsoleText, junk.data(), 4000, 0), 0);
  std::vector<std::string> lines;
  EXPECT_TRUE(WaitFor([&] {
    for (auto& l : lobby.server->TakeLogLines()) lines.push_back(l);
    return !lines.empty();
  }));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), std::string(128, 'q'));
  EXPECT_EQ(lobby.server->HandleSessionMessage(1, net::kMsgConsoleText, junk.data(), 5), 1);
  EXPECT_EQ(lobby.server->TakeLogLines().back(), "qqqqq");
}

}  // namespace
