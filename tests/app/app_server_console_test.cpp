// app_server_console_test.cpp -- the server window's network side: the
// network's log lines time-stamped from any thread, the list kept to its
// last 1000 lines, and the player rows rebuilt from the lobby's table.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_local.h"
#include "test_support.h"

namespace {

TEST(ServerConsole, LinesAreStampedKeptToTheLastThousandAndRowsNameThePlayers) {
  test::ScopedWorkFolder work;
  app::Engine engine;
  ASSERT_EQ(engine.network.OpenNetworkSession(nullptr, 0, net::kModeServer, "Ace@RED", ""), net::kOpenOk);
  ASSERT_EQ(app::OpenServerDialog(engine), 1);
  app::ServerStep(engine);

  app::ServerConsole& console = engine.serverConsole;
  ASSERT_FALSE(console.lines.empty());
  EXPECT_TRUE(std::regex_match(console.lines.front(), std::regex(R"(20\d\d-\d\d-\d\dT\d\d:\d\d:\d\d  .*)")))
      << console.lines.front();
  EXPECT_EQ(console.lines.back().substr(21), core::Sjis("ここにメッセージが出力されます。"));

  ASSERT_EQ(console.rows.size(), 40u);
  EXPECT_TRUE(console.rows[0].rfind("00:Ace@RED   (", 0) == 0) << console.rows[0];
  EXPECT_EQ(console.rows[39], "39:---");

  // Lines posted from other threads arrive in order; the list keeps 1000.
  std::thread poster([&] {
    for (int i = 0; i < 1200; i++) app::LogNetworkMessage(console, ("line " + std::to_string(i)).c_str());
  });
  poster.join();
  app::ServerStep(engine);
  ASSERT_EQ(console.lines.size(), app::kServerLogLines);
  EXPECT_EQ(console.lines.back().substr(21), "line 1199");
  EXPECT_EQ(console.lines.front().substr(21), "line 200");
}

}  // namespace
