// app_gamelist_test.cpp -- the games found in the working folder.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/app_local.h"
#include "core/package_fixture.h"
#include "test_support.h"

namespace {

std::vector<std::string> Describe(const std::vector<app::GameListEntry>& games) {
  std::vector<std::string> out;
  for (const auto& g : games) out.push_back(g.startFile + "|" + g.folder + "|" + g.package);
  return out;
}

TEST(GameList, FoldersLooseFilesAndOrder) {
  test::ScopedWorkFolder work;
  test::WriteFile("Zeta/zeta.rsp", "x");
  test::WriteFile("Alpha/b.rsp", "x");
  test::WriteFile("Alpha/A.RSP", "x");
  test::WriteFile("Alpha/notes.txt", "x");
  test::WriteFile("Alpha/sub.rsp/inner.rsp", "x");  // a folder named *.rsp is no game
  test::WriteFile("Empty/readme.txt", "x");
  test::WriteFile("loose.rsp", "x");
  test::WriteFile("LOOSE2.Rsp", "x");
  test::WriteFile("other.txt", "x");
  test::WriteFile("system.log", "x");

  std::vector<app::GameListEntry> games;
  app::BuildGameList(&games, ".");
  EXPECT_EQ(Describe(games), (std::vector<std::string>{
                                 "A.RSP|Alpha|", "b.rsp|Alpha|", "loose.rsp||", "LOOSE2.Rsp||",
                                 "zeta.rsp|Zeta|"}));

  // Building again empties the list first.
  app::BuildGameList(&games, ".");
  EXPECT_EQ(games.size(), 5u);
}

TEST(GameList, StopsAtTwoHundredFiftySixGames) {
  test::ScopedWorkFolder work;
  for (int i = 0; i < 300; i++) {
    char name[32];
    std::snprintf(name, sizeof name, "game%03d.rsp", i);
    test::WriteFile(name, "x");
  }
  for (int i = 0; i < 10; i++) test::WriteFile("Folder/f" + std::to_string(i) + ".rsp", "x");
  std::vector<app::GameListEntry> games;
  app::BuildGameList(&games, ".");
  ASSERT_EQ(games.size(), 256u);
  // Sorted: "Folder" comes first with its ten games, then game000 on.
  EXPECT_EQ(games[0].folder, "Folder");
  EXPECT_EQ(games[10].startFile, "game000.rsp");
  EXPECT_EQ(games[255].startFile, "game245.rsp");
}

TEST(GameList, EmptyOrMissingFolder) {
  test::ScopedWorkFolder work;
  std::vector<app::GameListEntry> games{{"stale", "", ""}};
  app::BuildGameList(&games, ".");
  EXPECT_TRUE(games.empty());
  app::BuildGameList(&games, "missing");
  EXPECT_TRUE(games.empty());
}

TEST(GameList, PackagesHoldingStartFiles) {
  test::ScopedWorkFolder work;
  using pactest::Entry;
  test::WriteFile("Campaign.PAC", pactest::BuildPackage({
                                      {"campaign\\Mission1.RSP", "start", 4},
                                      {"campaign\\empty.rsp", ""},  // size 0: no game
                                      {"campaign\\data.txt", "x"},
                                      {"a.rsp", "top", 0, true},
                                  }));
  test::WriteFile("broken.pac", "not a package");
  test::WriteFile("Beta/b.rsp", "x");
  std::vector<app::GameListEntry> games;
  app::BuildGameList(&games, ".");
  EXPECT_EQ(Describe(games), (std::vector<std::string>{"b.rsp|Beta|", "a.rsp|Campaign|Campaign.PAC",
                                                       "Mission1.RSP|Campaign|Campaign.PAC"}));
}

TEST(GameList, PackagesRespectTheCap) {
  test::ScopedWorkFolder work;
  std::vector<pactest::Entry> entries;
  for (int i = 0; i < 300; i++) entries.push_back({"g" + std::to_string(1000 + i) + ".rsp", "x"});
  test::WriteFile("many.pac", pactest::BuildPackage(entries));
  test::WriteFile("z.rsp", "x");
  std::vector<app::GameListEntry> games;
  app::BuildGameList(&games, ".");
  ASSERT_EQ(games.size(), 256u);
  EXPECT_EQ(games[0].startFile, "g1000.rsp");
  EXPECT_EQ(games[255].startFile, "g1255.rsp");
  EXPECT_EQ(games[255].package, "many.pac");
}

}  // namespace
