// api_windows_test.cpp -- the window calls run from game scripts: handles
// 1 to 15 taken lowest first, every call with bad handles, texts, fonts,
// cursor and status, sprites, the bounded text result, handles that outlive
// a world reset, and a run-time error shown in its window while the units
// go on stepping.

#include <gtest/gtest.h>

#include <string>

#include "api_fixture.h"
#include "ui/ui_public.h"
#include "units/units_public.h"

namespace {

// A registered world whose window calls act on a window manager, stepped
// and hidden by the world as the engine wires it.
struct WindowWorld : apitest::WorldFixture {
  ui::WindowManager windows;

  WindowWorld() {
    world.windows = &windows;
    world.host.user = this;
    world.host.registerSystemCalls = [](void* user) {
      api::RegisterSystemCalls(static_cast<WindowWorld*>(user)->world, nullptr);
    };
    world.host.stepWindows = [](void* user, const int32_t* held, const int32_t* trigger, const int32_t* repeat) {
      static_cast<WindowWorld*>(user)->windows.StepWindows(held, trigger, repeat);
    };
    world.host.closeAllWindows = [](void* user) { static_cast<WindowWorld*>(user)->windows.CloseWindows(-1); };
    world.host.showErrorWindow = [](void* user, const char* text) {
      ui::WindowManager::ShowErrorWindow(&static_cast<WindowWorld*>(user)->windows, text);
    };
    world.host.unitReleased = [](void* user, render::DisplayObject* object) {
      static_cast<WindowWorld*>(user)->windows.ForgetWindowSprite(object);
    };
    world.scriptEngine.errorWindow = {ui::WindowManager::ShowErrorWindow, &windows};
  }

  // A unit type with hit points the tests put units of.
  units::UnitType* AddPlaneType() {
    auto plane = std::make_unique<units::UnitType>();
    plane->key = plane->name = "plane";
    plane->defense = 100;
    units::UnitType* raw = plane.get();
    world.unitDatabase->types.push_back(std::move(plane));
    return raw;
  }

  // The window a script handle names, through the order of creation.
  ui::MessageWindow* Opened(int n) { return windows.Window(n); }
};

const char* kOpen = "object at = {x:-100, y:-50, z:0};\r\n";

TEST(WindowCalls, HandlesAreTakenLowestFirstAndFifteenAtMost) {
  WindowWorld f;
  f.Run(std::string(kOpen) +
            "string got = \"\";\r\n"
            "function main() {\r\n"
            "  for (int i = 0; i < 16; i++) got += create_plane_window(0, at, 100, 50) + \",\";\r\n"
            "  close_window(7);\r\n"
            "  got += create_select_window(1, at, 120, \"a\\\\nb\") + \",\";\r\n"
            "  got += create_plane_window(0, at, 10, 10) + \",\";\r\n"
            "}\r\n",
        2);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Text("got"), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,-1,7,-1,");
  // The closed window runs its closing animation; the new one is a menu.
  EXPECT_EQ(f.windows.CountOpen(), 16);
  EXPECT_EQ(f.Opened(6)->state, ui::kWindowShrinking);
  ui::MessageWindow* menu = f.Opened(15);
  EXPECT_EQ(menu->kind, ui::kSelectWindow);
  EXPECT_EQ(menu->width, 120);
  EXPECT_EQ(menu->lineCount, 2);
  EXPECT_EQ(menu->GetObjectPosition().x, -100.0f);
}

// The two creation calls need a position object; nothing opens without one.
TEST(WindowCalls, CreationWithoutAPositionObjectRaisesItsError) {
  struct Case {
    const char* call;
    const char* text;
  } cases[] = {
      {"create_plane_window(0, 5, 10, 10)", "create_plane_window関数の第2引数がオブジェクトではありません。"},
      {"create_select_window(0, \"x\", 10, \"a\")", "create_select_window関数の引数が不正です。"},
  };
  for (const Case& c : cases) {
    WindowWorld f;
    f.Run(std::string("function main() {\r\n  ") + c.call + ";\r\n}\r\n", 2);
    EXPECT_NE(f.RuntimeError().find(test::Sjis(c.text)), std::string::npos) << c.call << "\n" << f.RuntimeError();
    // Only the error window itself is open.
    EXPECT_EQ(f.windows.CountOpen(), 1) << c.call;
    EXPECT_EQ(f.windows.Window(0)->width, 1024) << c.call;
  }
}

// Every call that takes a handle: -1 and 16 give int 0, 0 and an empty
// entry give the preset 1, and nothing happens.
TEST(WindowCalls, BadHandlesAnswerWithoutActing) {
  const char* calls[] = {
      "close_window(H)",          "add_window_sprite(H, 1)",      "delete_window_sprite(H, 1)",
      "get_window_cursor(H)",     "get_window_cursor_string(H)",  "get_window_status(H)",
      "get_window_text(H)",       "set_window_active(H, 0)",      "set_window_cursor(H, 3)",
      "set_window_font(H, 30, \"Arial\")", "set_window_sub_font(H, 30, \"Arial\")",
      "set_window_sub_text(H, \"s\", 1)",   "set_window_text(H, \"t\", 1)",
  };
  std::string body = "string got = \"\";\r\nfunction main() {\r\n  create_plane_window(0, {x:0, y:0, z:0}, 10, 10);\r\n";
  for (const char* call : calls) {
    for (const char* handle : {"-1", "16", "0", "5", "-2147483647"}) {
      std::string c = call;
      c.replace(c.find('H'), 1, handle);
      body += "  got += " + c + " + \",\";\r\n";
    }
    body += "  got += \"|\";\r\n";
  }
  body += "}\r\n";
  WindowWorld f;
  f.Run(body, 2);
  ASSERT_EQ(f.RuntimeError(), "");
  std::string expect;
  for (size_t i = 0; i < sizeof calls / sizeof calls[0]; i++) expect += "0,0,1,1,0,|";
  EXPECT_EQ(f.Text("got"), expect);
  // Handle 1's window was not touched.
  ui::MessageWindow* w = f.Opened(0);
  EXPECT_EQ(w->text, "");
  EXPECT_EQ(w->fontSize, 20);
  EXPECT_EQ(w->SetWindowActive(1), 1);
  EXPECT_EQ(f.windows.CountOpen(), 1);
}

TEST(WindowCalls, TextsFontsCursorAndStatus) {
  WindowWorld f;
  f.Run(std::string(kOpen) +
            "int p; int m; string plain; string typed; string line; string none; int cursor; int status;\r\n"
            "function main() {\r\n"
            "  p = create_plane_window(0, at, 300, 100);\r\n"
            "  set_window_text(p, \"one\\\\ntwo\", 0);\r\n"
            "  plain = get_window_text(p);\r\n"
            "  set_window_text(p, \"one\\\\ntwo\", 1);\r\n"
            "  typed = get_window_text(p);\r\n"
            "  set_window_sub_text(p, \"sub\", 1);\r\n"
            "  set_window_font(p, 24, \"\");\r\n"
            "  set_window_sub_font(p, 18, \"Arial\");\r\n"
            "  m = create_select_window(0, at, 200, \"red\\\\ngreen\\\\nblue\");\r\n"
            "  set_window_cursor(m, 2);\r\n"
            "  line = get_window_cursor_string(m);\r\n"
            "  set_window_cursor(m, 7);\r\n"
            "  none = get_window_cursor_string(m);\r\n"
            "  cursor = get_window_cursor(m);\r\n"
            "  status = get_window_status(m);\r\n"
            "}\r\n",
        2);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Text("plain"), "one\\ntwo");
  EXPECT_EQ(f.Text("typed"), "one\ntwo");
  EXPECT_EQ(f.Text("line"), "blue");
  EXPECT_EQ(f.Text("none"), "");
  EXPECT_EQ(f.Number("cursor"), 7.0f);
  EXPECT_EQ(f.Number("status"), 0.0f);
  ui::MessageWindow* p = f.Opened(0);
  EXPECT_STREQ(p->subText, "sub");
  EXPECT_EQ(p->fontSize, 24);
  EXPECT_STREQ(p->fontFace, ui::DefaultWindowFace());  // an empty face keeps it
  EXPECT_EQ(p->subFontSize, 18);
  EXPECT_STREQ(p->subFontFace, "Arial");

}

TEST(WindowCalls, StatusBitsAreReadTogetherAndClearedOnce) {
  WindowWorld f;
  f.Run(std::string(kOpen) +
            "int m; int a = -1; int b = -1; int c = -1;\r\n"
            "function main() {\r\n"
            "  m = create_select_window(0, at, 200, \"x\\\\ny\");\r\n"
            "  __system_interrupt__(1, \"wait\");\r\n"
            "  a = get_window_status(m); b = get_window_status(m);\r\n"
            "  set_window_active(m, 0);\r\n"
            "  c = get_window_status(m);\r\n"
            "}\r\n",
        2);
  ASSERT_EQ(f.RuntimeError(), "");
  ui::MessageWindow* m = f.Opened(0);
  m->windowFlags |= ui::kWindowDecided | ui::kWindowMoved | ui::kWindowCancelled;
  f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(f.Number("a"), 2.0f + 4.0f + 8.0f);
  EXPECT_EQ(f.Number("b"), 0.0f);
  m->windowFlags |= ui::kWindowDecided;
  EXPECT_EQ(f.Number("c"), 0.0f);
  EXPECT_EQ(m->IsWindowInputActive(), 0);
}

// The text result is bounded by the 65,536-byte scratch buffer.
TEST(WindowCalls, AWindowTextLongerThanTheScratchBufferIsCut) {
  WindowWorld f;
  f.Run(std::string(kOpen) +
            "int w; int n = -1;\r\n"
            "function main() {\r\n"
            "  w = create_plane_window(0, at, 300, 100);\r\n"
            "  __system_interrupt__(1, \"wait\");\r\n"
            "  n = string_length(get_window_text(w));\r\n"
            "}\r\n",
        2);
  ASSERT_EQ(f.RuntimeError(), "");
  f.Opened(0)->SetWindowTextsPlain(nullptr, std::string(100000, 'k').c_str());
  f.world.RunWorldFrame(nullptr);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("n"), 65535.0f);
}

TEST(WindowCalls, SpritesAreUnitsDisplayObjects) {
  WindowWorld f;
  units::UnitType* planeType = f.AddPlaneType();
  f.Run(std::string(kOpen) +
            "int w; string got = \"\";\r\n"
            "function main() {\r\n"
            "  w = create_plane_window(0, at, 300, 100);\r\n"
            "  __system_interrupt__(1, \"wait\");\r\n"
            "  got += add_window_sprite(w, 1) + \",\" + add_window_sprite(w, 99) + \",\";\r\n"
            "  __system_interrupt__(1, \"wait\");\r\n"
            "  got += delete_window_sprite(w, 1) + \",\";\r\n"
            "}\r\n",
        1);
  f.world.freezeCountdown = 1000;
  units::Unit* a = world::PutUnit(f.world, "red", planeType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  ASSERT_NE(a, nullptr);
  f.world.RunWorldFrame(nullptr);
  f.world.RunWorldFrame(nullptr);
  ui::MessageWindow* w = f.Opened(0);
  ASSERT_EQ(w->sprites.size(), 4u);
  EXPECT_EQ(w->sprites[0], static_cast<render::DisplayObject*>(a));
  EXPECT_EQ(w->sprites[1], nullptr);
  f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(w->sprites[0], nullptr);
  EXPECT_EQ(f.Text("got"), "1,1,1,");
}

// A unit released while its object is a window's sprite leaves the
// window: the record goes on to the next unit of its slot, which is never
// drawn inside the window (nor hidden from the scene by it).
TEST(WindowCalls, AReleasedUnitLeavesTheWindowsItWasShownIn) {
  WindowWorld f;
  units::UnitType* planeType = f.AddPlaneType();
  f.Run(std::string(kOpen) +
            "int w;\r\n"
            "function main() {\r\n"
            "  w = create_plane_window(0, at, 300, 100);\r\n"
            "  __system_interrupt__(1, \"wait\");\r\n"
            "  add_window_sprite(w, 1);\r\n"
            "}\r\n",
        1);
  f.world.freezeCountdown = 1000;
  units::Unit* a = world::PutUnit(f.world, "red", planeType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  ASSERT_NE(a, nullptr);
  f.world.RunWorldFrame(nullptr);
  f.world.RunWorldFrame(nullptr);
  ui::MessageWindow* w = f.Opened(0);
  ASSERT_FALSE(w->sprites.empty());
  ASSERT_EQ(w->sprites[0], static_cast<render::DisplayObject*>(a));
  world::ReleaseUnit(f.world, a);
  EXPECT_EQ(w->sprites[0], nullptr);
  // The same through the slot's reset.
  units::Unit* b = world::PutUnit(f.world, "red", planeType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  ASSERT_NE(b, nullptr);
  w->AddWindowSprite(b);
  world::ResetUnitSlot(f.world, b->unitId);
  for (render::DisplayObject* sprite : w->sprites) EXPECT_NE(sprite, static_cast<render::DisplayObject*>(b));
}

// A world reset hides every window; a handle kept from before names
// nothing, even when its window has been opened again for someone else.
TEST(WindowCalls, HandlesOfHiddenWindowsAreHarmless) {
  WindowWorld f;
  f.Run(std::string(kOpen) +
            "int w; int after = -5; int again = -5;\r\n"
            "function main() {\r\n"
            "  w = create_plane_window(0, at, 300, 100);\r\n"
            "  set_window_text(w, \"mine\", 1);\r\n"
            "  __system_interrupt__(1, \"wait\");\r\n"
            "  set_window_text(w, \"changed\", 1);\r\n"
            "  close_window(w);\r\n"
            "  after = get_window_cursor(w);\r\n"
            "  again = create_plane_window(0, at, 10, 10);\r\n"
            "}\r\n",
        2);
  ASSERT_EQ(f.RuntimeError(), "");
  // Every window hidden behind the script's back (as a reset does), and
  // the same window opened again by the engine for its own text.
  f.windows.CloseWindows(-1);
  ui::WindowManager::ShowErrorWindow(&f.windows, "engine text");
  ASSERT_EQ(f.Opened(0)->text, "engine text");
  f.world.RunWorldFrame(nullptr);
  ASSERT_EQ(f.RuntimeError(), "");
  ASSERT_EQ(f.Number("again"), 1.0f);
  EXPECT_EQ(f.Opened(0)->text, "engine text");  // untouched by the old handle
  EXPECT_NE(f.Opened(0)->state, ui::kWindowShrinking);  // and not closed by it
  EXPECT_EQ(f.Number("after"), 1.0f);  // an empty entry: the preset
  EXPECT_EQ(f.Number("again"), 1.0f);  // the stale entry is free again
  EXPECT_EQ(f.Opened(1)->width, 10);
}

// A run-time error in the game's script: the error window over the whole
// layer with the hint to go back with F12 (a test run from the editor),
// and the units go on stepping.
TEST(WindowCalls, ARunTimeErrorShowsItsWindowAndTheUnitsGoOn) {
  WindowWorld f;
  int editing = 1;
  f.world.scriptEngine.editorMode = &editing;
  units::UnitType* planeType = f.AddPlaneType();
  f.Run("function main() {\r\n"
        "  __system_interrupt__(1, \"wait\");\r\n"
        "  __system_interrupt__(1, \"wait\");\r\n"
        "  finish(\"no such file.rsp\", \"\");\r\n"
        "}\r\n",
        1);
  units::Unit* a = world::PutUnit(f.world, "red", planeType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  ASSERT_NE(a, nullptr);
  a->lifeTimer = 10000;
  render::TextureHolder nothing;  // a unit with nothing to show would end
  a->surface = &nothing;
  for (int i = 0; i < 5; i++) f.world.RunWorldFrame(nullptr);
  ASSERT_NE(f.RuntimeError(), "");
  ASSERT_EQ(f.windows.CountOpen(), 1);
  ui::MessageWindow* w = f.Opened(0);
  EXPECT_NE(w->text.find(test::Sjis("F12")), std::string::npos) << w->text;
  EXPECT_NE(w->text.find(test::Sjis("no such file.rsp")), std::string::npos) << w->text;
  EXPECT_EQ(w->width, 1024);
  EXPECT_EQ(w->height, 768);
  int32_t lifeBefore = a->lifeTimer;
  for (int i = 0; i < 30; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(a->lifeTimer, lifeBefore - 30);
  EXPECT_EQ(w->state, ui::kWindowShown);
  EXPECT_EQ(f.windows.CountOpen(), 1);
}

}  // namespace
