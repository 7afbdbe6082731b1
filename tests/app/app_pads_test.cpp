// app_pads_test.cpp -- saved pad assignments matched to the devices found.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_local.h"
#include "test_support.h"

namespace {

// Opens the input system on the devices an input script declares.
void OpenScriptedDevices(input::InputSystem& input, const std::string& script) {
  test::WriteFile("devices.txt", script);
  setenv("TKW4_INPUT_SCRIPT", "devices.txt", 1);
  ASSERT_EQ(input.InitDirectInput(nullptr), 0);
  unsetenv("TKW4_INPUT_SCRIPT");
}

class PadMatching : public ::testing::Test {
 protected:
  void SetUp() override {
    app::ResetSettings(&settings);
    for (auto& name : names) name = "";
  }

  // A saved entry with a recognisable map and dead zones.
  void Save(int n, const char* name, int mark) {
    std::snprintf(settings.padName[n], sizeof settings.padName[n], "%s", name);
    std::memset(settings.padMap[n], mark, sizeof settings.padMap[n]);
    for (int k = 0; k < app::kPadAxisCount; k++) settings.padFree[n][k] = mark;
  }

  void Match() { app::MatchPadEntries(&settings, names); }

  std::string Name(int n) const { return settings.padName[n]; }

  app::SettingsBlock settings;
  const char* names[app::kPadEntryCount];
};

TEST_F(PadMatching, NewKeyboardGetsTheDefaultMap) {
  names[0] = "Keyboard";
  Match();
  EXPECT_EQ(Name(0), "Keyboard");
  const int expected[][2] = {{0, 200}, {1, 208}, {2, 203}, {3, 205}, {8, 44},   {9, 45},
                             {12, 30}, {13, 31}, {65, 57}, {66, 157}, {67, 29}, {68, 59},
                             {80, 205}, {81, 203}, {82, 208}, {83, 200}, {84, 47}, {85, 46}};
  int mapped = 0;
  for (int b = 0; b < app::kPadButtonCount; b++)
    if (settings.padMap[0][b] != 255) mapped++;
  EXPECT_EQ(mapped, int(std::size(expected)));
  for (const auto& e : expected) EXPECT_EQ(settings.padMap[0][e[0]], e[1]) << e[0];
  const int32_t deadZones[] = {2, 2, 0, 2, 2, 2};
  for (int k = 0; k < app::kPadAxisCount; k++) EXPECT_EQ(settings.padFree[0][k], deadZones[k]);

  test::ScopedWorkFolder work;
  input::InputSystem input;
  OpenScriptedDevices(input, "keyboard\n");
  app::ApplyPadEntries(settings, input);
  EXPECT_EQ(input.GetButtonMap(0, 0), 200);
  EXPECT_EQ(input.GetButtonMap(0, 14), 255);
  for (int k = 0; k < app::kPadAxisCount; k++) EXPECT_EQ(input.GetDeadZone(0, k), deadZones[k] * 100);
}

TEST_F(PadMatching, NewControllerGetsThePadMap) {
  names[0] = "Keyboard";
  names[1] = "Joy Pad";
  Match();
  EXPECT_EQ(Name(1), "Joy Pad");
  const int expected[][2] = {{0, 67},  {1, 66},  {2, 65},  {3, 64},  {8, 0},   {9, 1},
                             {12, 2},  {13, 3},  {14, 11}, {65, 9},  {66, 8},  {68, 10},
                             {80, 64}, {81, 65}, {82, 66}, {83, 67}, {84, 5},  {85, 4},
                             {88, 72}, {89, 73}, {90, 74}, {91, 75}, {92, 76}, {93, 77}};
  for (const auto& e : expected) EXPECT_EQ(settings.padMap[1][e[0]], e[1]) << e[0];
  EXPECT_EQ(settings.padMap[1][67], 255);  // left Ctrl has no pad button
}

TEST_F(PadMatching, SavedEntryMovesDownToItsDeviceWithItsDeadZones) {
  Save(0, "Keyboard", 10);
  Save(1, "Old Pad", 11);
  Save(2, "Flight Stick", 12);
  names[0] = "Keyboard";
  names[1] = "Flight Stick";
  Match();
  EXPECT_EQ(Name(0), "Keyboard");
  EXPECT_EQ(Name(1), "Flight Stick");
  EXPECT_EQ(settings.padMap[1][5], 12);
  EXPECT_EQ(settings.padFree[1][3], 12);
  EXPECT_EQ(Name(2), "Old Pad");  // moved up one place
  EXPECT_EQ(settings.padFree[2][0], 11);
}

TEST_F(PadMatching, NewDevicePushesTheLastEntryOut) {
  for (int n = 0; n < app::kPadEntryCount; n++) Save(n, ("Pad " + std::to_string(n)).c_str(), n + 1);
  names[0] = "Pad 0";
  names[1] = "Brand New";
  Match();
  EXPECT_EQ(Name(0), "Pad 0");
  EXPECT_EQ(Name(1), "Brand New");
  for (int n = 2; n < app::kPadEntryCount; n++) EXPECT_EQ(Name(n), "Pad " + std::to_string(n - 1));
  // "Pad 7" is gone.
  for (int n = 0; n < app::kPadEntryCount; n++) EXPECT_NE(Name(n), "Pad 7");
}

TEST_F(PadMatching, TwoPadsOfOneNameKeepTheirOwnMaps) {
  Save(0, "Twin Pad", 21);
  Save(1, "Twin Pad", 22);
  Save(2, "Twin Pad", 23);  // a third saved entry with no device now
  names[0] = "Twin Pad";
  names[1] = "Twin Pad";
  Match();
  test::ScopedWorkFolder work;
  input::InputSystem input;
  OpenScriptedDevices(input, "pad \"Twin Pad\"\npad \"Twin Pad\"\n");
  app::ApplyPadEntries(settings, input);
  EXPECT_EQ(input.GetButtonMap(0, 8), 21);
  EXPECT_EQ(input.GetButtonMap(1, 8), 22);
  EXPECT_EQ(input.GetButtonMap(2, 8), 255);  // no device: no map
  // Dead zones follow position, device or not.
  EXPECT_EQ(input.GetDeadZone(0, 0), 2100);
  EXPECT_EQ(input.GetDeadZone(1, 0), 2200);
  EXPECT_EQ(input.GetDeadZone(2, 0), 2300);
  EXPECT_EQ(input.GetDeadZone(7, 5), 0);
}

TEST_F(PadMatching, EmptySlotsLeaveEntriesAlone) {
  Save(3, "Keyboard", 5);
  Match();  // no devices at all
  EXPECT_EQ(Name(3), "Keyboard");
  EXPECT_EQ(Name(0), "");
}

}  // namespace
