// app_demo_screenshot_test.cpp -- the sample game drawn headless: Ctrl+P
// typed into the main window saves the frame in the cockpit view, in the
// view from behind (the camera key switches) and in the replay's fly-by
// view; each file is a 24-bit BMP of four times the client size showing a
// scene, not an empty frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cmath>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "test_support.h"
#include "app_games_folder.h"

#include "render/render_local.h"  // DecodeImage: the file as the image loader reads it

namespace {

using test::SteadyClock;

constexpr int kClientWidth = 160;
constexpr int kClientHeight = 120;

using apptest::GamesFolder;

// The screenshots in the working folder now, by name (the stamp orders them).
std::set<std::string> Screenshots() {
  static const std::regex kName("screenshot[0-9]{17}\\.bmp");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("."))
    if (std::regex_match(entry.path().filename().string(), kName)) names.insert(entry.path().filename().string());
  return names;
}

struct RunResult {
  int cameraMode;  // the camera mode the world ended in
  int playback;
};

// Runs the program once on a start file with the input file given.
RunResult RunDemo(const char* startFile, const std::string& drive) {
  test::WriteFile("drive.txt", drive);
  test::ScopedEnv input("TKW4_INPUT_SCRIPT", "drive.txt");
  app::Engine engine;
  SteadyClock clock;
  engine.clock.source = SteadyClock::Read;
  engine.clock.user = &clock;
  std::string arg = startFile;
  char* argv[] = {const_cast<char*>("tkw4"), arg.data()};
  app::WinMain(engine, 2, argv);
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
  return {engine.world.camera.mode, engine.world.playback};
}

// Checks one saved frame: a 24-bit BMP the image loader opens, four times
// the client size, with a picture in it: the pixels vary, and the top of
// the frame (sky) is not the colour of its bottom (ground or sea).
void CheckScreenshot(const std::string& name, const char* view) {
  SCOPED_TRACE(std::string(view) + ": " + name);
  std::string bytes = test::ReadFile(name.c_str());
  ASSERT_GE(bytes.size(), 54u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8, 24);  // bits per pixel
  render::Image image;
  std::string error;
  ASSERT_TRUE(render::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image, &error))
      << error;
  const int w = image.width, h = image.height;
  // Red, green, blue of pixel i.
  auto channel = [&](size_t i, int k) { return double((image.pixels[i] >> (16 - 8 * k)) & 0xFF); };
  ASSERT_EQ(w, 4 * kClientWidth);
  ASSERT_EQ(h, 4 * kClientHeight);

  // Luminance variance over the frame.
  double sum = 0, squares = 0;
  const size_t n = size_t(w) * size_t(h);
  for (size_t i = 0; i < n; i++) {
    double y = 0.299 * channel(i, 0) + 0.587 * channel(i, 1) + 0.114 * channel(i, 2);
    sum += y;
    squares += y * y;
  }
  double mean = sum / double(n);
  double variance = squares / double(n) - mean * mean;
  EXPECT_GT(variance, 20.0) << "mean " << mean;

  // The mean colour of the top and the bottom eighth.
  auto bandMean = [&](int y0, int y1) {
    double c[3] = {};
    for (int y = y0; y < y1; y++)
      for (int x = 0; x < w; x++)
        for (int k = 0; k < 3; k++) c[k] += channel(size_t(y) * size_t(w) + size_t(x), k);
    double count = double(y1 - y0) * double(w);
    return std::array<double, 3>{c[0] / count, c[1] / count, c[2] / count};
  };
  std::array<double, 3> top = bandMean(0, h / 8), bottom = bandMean(h - h / 8, h);
  double difference = std::fabs(top[0] - bottom[0]) + std::fabs(top[1] - bottom[1]) + std::fabs(top[2] - bottom[2]);
  EXPECT_GT(difference, 6.0) << "top " << top[0] << "," << top[1] << "," << top[2] << " bottom " << bottom[0] << ","
                             << bottom[1] << "," << bottom[2];
}

// The live game's opening chase shot gives way to the cockpit (the
// settings' view 0) after five seconds; the camera key (F1, the keyboard's logical button 68) switches to the view from
// behind. A replay ("*") starts in the fly-by view. The screen has faded in
// after two seconds; each screenshot comes a few frames apart from the next
// so that their stamps differ.
TEST(DemoScreenshots, CockpitBehindAndFlyByViewsAreSavedAtFourTimesTheClientSize) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  test::WriteFile("tkw4.dat", "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:160,HEIGHT:120},FPS:0,VIEW_MODE:\"COCKPIT\"}");
  std::filesystem::create_directory_symlink(GamesFolder() / "Demo", "Demo");
  std::filesystem::create_directories("zadazorad/script");
  for (const char* inc : {"system.inc", "mission.inc"})
    std::filesystem::create_symlink(GamesFolder() / "ZadAzorad" / "Script" / inc, std::string("zadazorad/script/") + inc);
  // The replay's start script: the Demo's world, played back.
  test::WriteFile("Replay/replay.rsp",
                  "systemcall finish(string next, string replay);\r\n"
                  "function main() { finish(\"/Demo/world.script\", \"*\"); }\r\n");

  testing::internal::CaptureStdout();
  RunResult live = RunDemo("demo.rsp",
                         "keyboard\n"
                         "at 400 window p down ctrl\n"
                         "at 401 window p up\n"
                         "at 410 0 key 59 down\n"
                         "at 412 0 key 59 up\n"
                         "at 425 window p down ctrl\n"
                         "at 426 window p up\n"
                         "at 435 close\n");
  std::set<std::string> liveShots = Screenshots();
  RunResult replay = RunDemo("replay.rsp",
                           "keyboard\n"
                           "at 150 window p down ctrl\n"
                           "at 151 window p up\n"
                           "at 160 close\n");
  std::string out = testing::internal::GetCapturedStdout();
  for (const test::RecordedBox& box : boxes.Boxes()) ADD_FAILURE() << box.caption << ": " << box.text;
  EXPECT_NE(out.find("Demo: loaded the terrain (Map/demo.map)."), std::string::npos) << out;
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));
  EXPECT_EQ(live.cameraMode, 1);  // the camera key went from the cockpit to behind
  EXPECT_EQ(live.playback, 0);
  // The replay's fly-by hands the camera to its director's shots.
  EXPECT_EQ(replay.playback, 1);
  EXPECT_TRUE(replay.cameraMode != 0 && replay.cameraMode != 1) << replay.cameraMode;

  std::set<std::string> all = Screenshots();
  std::vector<std::string> replayShots;
  std::set_difference(all.begin(), all.end(), liveShots.begin(), liveShots.end(), std::back_inserter(replayShots));
  ASSERT_EQ(liveShots.size(), 2u);
  ASSERT_EQ(replayShots.size(), 1u);
  CheckScreenshot(*liveShots.begin(), "cockpit");
  CheckScreenshot(*liveShots.rbegin(), "behind");
  CheckScreenshot(replayShots[0], "fly-by");
}

}  // namespace
