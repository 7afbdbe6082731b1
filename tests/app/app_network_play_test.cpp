// app_network_play_test.cpp -- the sample game played over the network by
// two engine processes, headless on loopback: the server places the scene,
// the client its own Falcon, and each reports the other's plane as it
// moves down the runway.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app_games_folder.h"
#include "test_support.h"

namespace {

using apptest::GamesFolder;

// A work folder of one engine: the sample game, the system scripts it
// includes, the settings with the network on, and the input file.
void MakePeerFolder(const std::string& folder, int flag, int port, const char* name) {
  std::filesystem::create_directories(folder + "/zadazorad/script");
  std::filesystem::create_directory_symlink(GamesFolder() / "Demo", folder + "/Demo");
  for (const char* inc : {"system.inc", "mission.inc"})
    std::filesystem::create_symlink(GamesFolder() / "ZadAzorad" / "Script" / inc,
                                    folder + "/zadazorad/script/" + inc);
  std::string settings = "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:160,HEIGHT:120},FPS:0,NETWORK:{FLAG:" +
                         std::to_string(flag) + ",PORT:[" + std::to_string(port) + "],NAME:[\"" + name +
                         "\"],URL:[\"127.0.0.1\"],TEAM:[\"\"]}}";
  test::WriteFile(folder + "/tkw4.dat", settings);
  // C opens the throttle: the Falcon rolls down the runway.
  test::WriteFile(folder + "/drive.txt", "keyboard\nat 20 0 key 46 down\nat 1300 close\n");
}

struct Sighting {
  int step, x, y, z;
};

// The lines in which the sample game reports peer `peer`'s plane.
std::vector<Sighting> Sightings(const std::string& out, int peer) {
  std::vector<Sighting> seen;
  std::regex line("Demo: network: step (\\d+): peer " + std::to_string(peer) +
                  "'s plane is at \\((-?\\d+), (-?\\d+), (-?\\d+)\\)");
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
    seen.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3]), std::stoi((*it)[4])});
  return seen;
}

TEST(NetworkPlay, TwoEngineProcessesPlayTheSampleGameAndEachSeesTheOtherPlaneMove) {
  test::ScopedWorkFolder work;
  // A port of this run's own, away from the default and the ephemeral range.
  int port = 20000 + int(getpid() % 20000);
  MakePeerFolder("server", 2, port, "Ace");
  MakePeerFolder("client", 1, port, "Bee");
  std::string engine = test::BuildFolder() + "/tkw4";
  auto run = [&](const char* folder) {
    return std::string("(cd ") + folder + " && TKW4_INPUT_SCRIPT=drive.txt timeout 300 " + engine +
           " demo.rsp > out.txt 2>&1; echo $? > rc.txt)";
  };
  // The server first; the client joins once the server's world loads (its
  // network is open by then), or after a minute at most.
  std::string serverUp =
      "for i in $(seq 600); do grep -q '@Load' server/system.log 2>/dev/null && break; sleep 0.1; done";
  test::RunCommand(run("server") + " & " + serverUp + "; " + run("client") + "; wait");

  std::string serverOut = test::ReadFile("server/out.txt");
  std::string clientOut = test::ReadFile("client/out.txt");
  EXPECT_EQ(test::ReadFile("server/rc.txt"), "0\n") << serverOut;
  EXPECT_EQ(test::ReadFile("client/rc.txt"), "0\n") << clientOut;
  EXPECT_NE(serverOut.find("Demo: network: joined the network game as peer 0 (Ace"), std::string::npos) << serverOut;
  EXPECT_NE(clientOut.find("Demo: network: joined the network game as peer 1 (Bee"), std::string::npos) << clientOut;

  // Each sees the other's plane, and sees it move.
  for (auto [out, peer] : {std::pair{&serverOut, 1}, std::pair{&clientOut, 0}}) {
    std::vector<Sighting> seen = Sightings(*out, peer);
    ASSERT_GE(seen.size(), 2u) << *out;
    bool moved = false;
    for (const Sighting& s : seen) moved |= s.z != seen[0].z || s.x != seen[0].x;
    EXPECT_TRUE(moved) << *out;
  }
  // The client's Falcon stands 40 units beside the runway.
  EXPECT_EQ(Sightings(serverOut, 1)[0].x, 40);
}

}  // namespace
