// input_backend_test.cpp -- the device layer under the input system: the
// input script's checks, SDL's controllers (through virtual ones) and the
// keyboard's scan codes.

#include <cstring>

#include "input_fixture.h"

namespace {

using inputtest::InputTest;
using inputtest::ScopedEnv;

// The error of opening the device system on `script`, "" when it opens.
std::string ScriptError(const std::string& script) {
  test::WriteFile("input.txt", script);
  ScopedEnv env("TKW4_INPUT_SCRIPT", "input.txt");
  std::string error;
  platform::InputBackend* b = platform::OpenInputBackend(nullptr, &error);
  if (b) {
    platform::CloseInputBackend(b);
    return "";
  }
  return error;
}

TEST(InputScript, BadScriptsAreRefusedWithTheirLine) {
  test::ScopedWorkFolder work;
  struct Case {
    const char* script;
    const char* error;  // after `input script "input.txt" `
  };
  const Case cases[] = {
      {"keyboard\npad \"A\"\n# fine so far\nat 1 0 key 44 down\n", ""},
      {"keyboard \"K\" type 3 id 5\npad \"P\" type 5 fail format\nat 0 1 hat -1 x 1000 button 127 up\n", ""},
      {"mouse\n", "line 1: unknown statement \"mouse\""},
      {"pad\n", "line 1: a pad needs a name in double quotes"},
      {"pad \"A\n", "line 1: unclosed double quote"},
      {"pad \"A\" type 16\n", "line 1: type must be 0..15"},
      {"pad \"A\" id\n", "line 1: \"id\" needs a value"},
      {"pad \"A\" id x\n", "line 1: id must be a number"},
      {"pad \"A\" fail always\n", "line 1: fail takes create, format or cooperative"},
      {"pad \"A\" colour red\n", "line 1: unknown option \"colour\""},
      {"keyboard\n\nat 1 1 key 44 down\n", "line 3: \"1\" is not a device declared above"},
      {"keyboard\nat -1 0 key 44 down\n", "line 2: at needs a frame number 0 or more"},
      {"keyboard\nat 1 0\n", "line 2: nothing to change"},
      {"keyboard\nat 1 0 key 256 down\n", "line 2: key needs a scan code 0..255"},
      {"keyboard\nat 1 0 key 44 pressed\n", "line 2: key needs down or up"},
      {"keyboard\nat 1 0 x 5\n", "line 2: device 0 is a keyboard"},
      {"pad \"A\"\nat 1 0 key 1 down\n", "line 2: device 0 is not a keyboard"},
      {"pad \"A\"\nat 1 0 x 1001\n", "line 2: x needs a value -1000..1000"},
      {"pad \"A\"\nat 1 0 hat 36000\n", "line 2: hat needs 0..35999 or -1"},
      {"pad \"A\"\nat 1 0 button 128 down\n", "line 2: button needs a number 0..127"},
      {"pad \"A\"\nat 1 0 wobble 3\n", "line 2: unknown change \"wobble\""},
      {"at 1 close please\n", "line 1: close takes nothing more"},
  };
  for (const Case& c : cases) {
    std::string expected = *c.error ? std::string("input script \"input.txt\" ") + c.error : "";
    EXPECT_EQ(ScriptError(c.script), expected) << c.script;
  }
  std::string tooMany;
  for (int i = 0; i < 65; i++) tooMany += "pad \"P\"\n";
  EXPECT_EQ(ScriptError(tooMany), "input script \"input.txt\" line 65: more than 64 devices");
  EXPECT_EQ(ScriptError(std::string("keyboard\n\0\n", 11)), "input script \"input.txt\": not a text file");
  ScopedEnv env("TKW4_INPUT_SCRIPT", "missing.txt");
  std::string error;
  EXPECT_EQ(platform::OpenInputBackend(nullptr, &error), nullptr);
  EXPECT_EQ(error, "input script \"missing.txt\": cannot be opened");
}

TEST_F(InputTest, ScriptNamesAreUtf8InTheFileAndShiftJisInTheEngine) {
  ASSERT_EQ(Open("pad \"操縦桿\"\n"), 0);
  EXPECT_EQ(std::string(input.GetDeviceName(0)), test::Sjis("操縦桿"));
}

TEST_F(InputTest, EventsOfOneFrameApplyInFileOrderWhateverTheirPlaceInTheFile) {
  ASSERT_EQ(Open("keyboard\nat 3 0 key 44 up\nat 1 0 key 44 up\nat 2 0 key 44 down\nat 3 0 key 45 down\n"), 0);
  Frames(2);
  EXPECT_EQ(Raw(0, 44), 1000);
  Frames(1);
  EXPECT_EQ(Raw(0, 44), 0);
  EXPECT_EQ(Raw(0, 45), 1000);
}

// SDL's own backend, with virtual controllers in its joystick list.
class SdlControllers : public InputTest {
 protected:
  ~SdlControllers() override {
    input.DestroyInputSystem();
    for (int h : handles)
      if (h >= 0) platform::DetachVirtualController(h);
  }
  int Attach(const char* name) {
    int h = platform::AttachVirtualController(name, 8, 32, 1);
    handles.push_back(h);
    return h;
  }
  ScopedEnv noScript{"TKW4_INPUT_SCRIPT", nullptr};
  std::vector<int> handles;
};

TEST_F(SdlControllers, ControllersAreListedAfterTheKeyboardAndRead) {
  int pad = Attach("Virtual Pad");
  ASSERT_GE(pad, 0);
  int twin = Attach("Virtual Pad");
  ASSERT_GE(twin, 0);
  ASSERT_EQ(input.InitDirectInput(nullptr), 0);
  EXPECT_STREQ(input.GetDeviceName(0), "Keyboard");
  EXPECT_STREQ(input.GetDeviceName(1), "Virtual Pad");
  EXPECT_STREQ(input.GetDeviceName(2), "Virtual Pad");  // two of one model: two slots
  EXPECT_EQ(input.GetDeviceKind(1), input::kKindPad);
  // A game controller is set up as "other device".
  EXPECT_EQ(input.GetButtonMap(1, 8), 0);
  EXPECT_EQ(input.GetButtonMap(1, 0), input::kUnmapped);
  EXPECT_NE(Log().find("DeviceType [5]"), std::string::npos);

  Frames(1);  // everything at rest
  platform::SetVirtualControllerAxis(pad, 0, 32767);
  platform::SetVirtualControllerAxis(pad, 1, -32768);
  platform::SetVirtualControllerAxis(pad, 7, -32768);
  platform::SetVirtualControllerButton(pad, 3, true);
  platform::SetVirtualControllerHat(pad, 0, 4500);
  Frames(1);
  EXPECT_EQ(Raw(1, 64), 1000);
  EXPECT_EQ(Raw(1, 67), 1000);
  EXPECT_EQ(Raw(1, 83), 1000);  // slider 2 negative
  EXPECT_EQ(Raw(1, 3), 1000);
  EXPECT_EQ(Raw(1, input::kRawHatUp), 707);
  EXPECT_EQ(Raw(1, input::kRawHatRight), 707);
  EXPECT_EQ(Raw(2, 64), 0);  // the twin did not move
  platform::SetVirtualControllerButton(twin, 5, true);
  EXPECT_EQ(input.GetPadNow(1, 0), 1);  // pad mode: the hat drives up

  // Unplugged: zeros, one log line, and the pad keeps its slot.
  platform::DetachVirtualController(pad);
  handles[0] = -1;
  Frames(3);
  EXPECT_EQ(Raw(1, 64), 0);
  EXPECT_STREQ(input.GetDeviceName(1), "Virtual Pad");
  // The twin now stands first among its kind, but stays with its own slot
  // and is never taken for the lost one.
  EXPECT_EQ(Raw(1, 5), 0);
  EXPECT_EQ(Raw(2, 5), 1000);
  std::string lost = test::Sjis("ゲームコントローラが入力フォーカスを失いました。復帰を試みます。");
  size_t first = Log().find(lost);
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(Log().find(lost, first + 1), std::string::npos);
}

TEST_F(SdlControllers, AControllerPluggedInAgainIsAcquiredAgain) {
  int pad = Attach("Returning Pad");
  ASSERT_GE(pad, 0);
  ASSERT_EQ(input.InitDirectInput(nullptr), 0);
  Frames(1);
  platform::DetachVirtualController(pad);
  handles[0] = -1;
  Frames(2);
  // Back on the same port (for a path-less virtual device: the same place
  // among its kind), under the same instance id.
  int again = Attach("Returning Pad");
  ASSERT_GE(again, 0);
  platform::SetVirtualControllerButton(again, 0, true);
  Frames(3);
  EXPECT_EQ(Raw(1, 0), 1000);
}

TEST(ScanCodes, SdlKeysReadAsTheEngineKeyNumbers) {
  // SDL scancodes are USB usage numbers.
  const int pairs[][2] = {
      {4, 30},    // A
      {29, 44},   // Z
      {40, 28},   // Enter
      {41, 1},    // Esc
      {42, 14},   // Backspace
      {44, 57},   // Space
      {76, 211},  // Delete
      {79, 205},  // right
      {80, 203},  // left
      {81, 208},  // down
      {82, 200},  // up
      {224, 29},  // left Ctrl
      {228, 157}, // right Ctrl
      {226, 56},  // left Alt
      {230, 184}, // right Alt
      {88, 156},  // keypad Enter
      {137, 125}, // yen
      {0, 0},     // unknown
      {-1, 0},
      {100000, 0},
  };
  for (const auto& p : pairs) EXPECT_EQ(platform::ScanCodeOfSdlScancode(p[0]), p[1]) << p[0];
  // Every key the keyboard reports has a display name.
  test::ScopedWorkFolder work;
  input::InputSystem input;
  ScopedEnv noScript("TKW4_INPUT_SCRIPT", nullptr);
  ASSERT_EQ(input.InitDirectInput(nullptr), 0);
  ASSERT_EQ(input.GetDeviceKind(0), input::kKindKeyboard);
  for (int sc = 0; sc < 512; sc++) {
    int code = platform::ScanCodeOfSdlScancode(sc);
    if (code) {
      EXPECT_STRNE(input.GetRawCodeName(0, code), "") << sc << " -> " << code;
    }
  }
}

}  // namespace
