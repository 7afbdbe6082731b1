// api_network_test.cpp -- the network calls: what they answer without a
// session, the own id, name, team and peer count of an open one, the data
// table and the network-game switch, and the labels given to the players'
// units by player name, team or creator id.

#include <string>

#include "api_fixture.h"
#include "net/net_public.h"

namespace {

const char* kQueries =
    "int id = 99; int num = 99; string name = \"x\"; string team = \"x\"; int data = 99; int net = 99;\r\n"
    "int sent = 99; int old = 99; int after = 99;\r\n"
    "function main() {\r\n"
    "  id = get_network_id(); num = get_network_num(); name = get_network_name(); team = get_network_team();\r\n"
    "  net = set_network_world(1); old = set_network_data(2, 9); after = get_network_data(id, 2);\r\n"
    "  data = get_network_data(40, 0) + get_network_data(0, 8) + get_network_data(-1, 0);\r\n"
    "  sent = send_network_message(-1, \"hello\");\r\n"
    "}\r\n";

// A world whose network is an open server session, the player "Ace" of
// team "RED" (id 0), with a plane type for placing.
struct ServerWorld : apitest::PlacingWorld {
  net::NetworkSession session;
  units::UnitType* plane = AddType("PLANE", 10, 0);
  ServerWorld() {
    EXPECT_EQ(session.OpenNetworkSession(nullptr, 0, net::kModeServer, "Ace@RED", ""), net::kOpenOk);
    world.network = &session;
  }
  ~ServerWorld() { world.network = nullptr; }
};

TEST(NetworkCalls, WithoutASessionTheyAnswerAsAClosedSessionDoes) {
  apitest::WorldFixture f;
  f.Run(kQueries);
  EXPECT_EQ(f.Number("id"), -1);
  EXPECT_EQ(f.Number("num"), 0);
  EXPECT_EQ(f.Text("name"), "");
  EXPECT_EQ(f.Text("team"), "");
  EXPECT_EQ(f.Number("net"), -1);
  EXPECT_EQ(f.Number("data"), 0);
  EXPECT_EQ(f.Number("sent"), 1);
  EXPECT_EQ(f.world.networkGame, 0);
}

TEST(NetworkCalls, AnOpenSessionGivesTheOwnIdNameTeamAndData) {
  ServerWorld f;
  f.Run(kQueries);
  EXPECT_EQ(f.Number("id"), 0);
  EXPECT_EQ(f.Number("num"), 1);
  EXPECT_EQ(f.Text("name"), "Ace@RED");
  EXPECT_EQ(f.Text("team"), "RED");
  EXPECT_EQ(f.Number("net"), 0);
  EXPECT_EQ(f.world.networkGame, 1);
  EXPECT_EQ(f.Number("old"), 0);
  EXPECT_EQ(f.Number("after"), 9);
  EXPECT_EQ(f.Number("data"), 0);
  EXPECT_EQ(f.Number("sent"), 1);
}

TEST(NetworkCalls, OnlineLabelsGoToThePlayersUnitsOfTheNamedPlayerTeamOrId) {
  ServerWorld f;
  units::UnitType* plane = f.plane;
  f.Start(
      "function main() {\r\n"
      "  set_label_online(\"Ace\", \"byName\");\r\n"
      "  set_label_online(\"nobody\", \"never\");\r\n"
      "  set_label_online_id(7, \"byId7\");\r\n"
      "  set_label_online_id(5, \"never\");\r\n"
      "}\r\n");
  units::Unit* ace = f.Place(plane, "a");
  units::Unit* aceTank = f.Place(plane, "b");     // not a PLAYER unit
  units::Unit* peer7 = f.Place(plane, "c");
  units::Unit* otherScene = f.Place(plane, "d");  // made in another event mode
  for (units::Unit* u : {ace, peer7, otherScene}) u->flags |= units::kUnitPlayer;
  ace->networkId = aceTank->networkId = otherScene->networkId = 0x000012;
  peer7->networkId = 0x07000001;
  otherScene->sceneNumber = 1;
  f.Finish();
  EXPECT_STREQ(ace->label.Get(), "byName");
  EXPECT_STREQ(aceTank->label.Get(), "b");
  EXPECT_STREQ(peer7->label.Get(), "byId7");
  EXPECT_STREQ(otherScene->label.Get(), "d");
}

// The team text counts when the player name does not match.
TEST(NetworkCalls, AnOnlineLabelFallsBackToTheCreatorsTeam) {
  ServerWorld f;
  units::UnitType* plane = f.plane;
  f.Start("function main() {\r\n  set_label_online(\"RED\", \"byTeam\");\r\n}\r\n");
  units::Unit* ace = f.Place(plane, "a");
  ace->flags |= units::kUnitPlayer;
  ace->networkId = 3;
  f.Finish();
  EXPECT_STREQ(ace->label.Get(), "byTeam");
}

}  // namespace
