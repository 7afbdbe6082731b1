// api_windows.cpp -- the window handler (script message and menu windows)
// and the head-tracking handler.

#include <array>
#include <string>

#include "api/api_args.h"
#include "api/api_local.h"
#include "render/render_public.h"
#include "ui/ui_public.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

// [SECTION] The script window table

namespace {

// A script window handle is an index 1 to 15 into the manager's handle
// table; entry 0 is never used. An entry remembers the opening it was made
// for, so a window hidden since (a world reset, the end of a scene) and
// maybe opened again for someone else is never reached through it.

ui::WindowManager* Windows(const Call& call) { return call.world ? call.world->windows : nullptr; }

// The entry's window while it is still the opening the entry was made for;
// a stale entry is emptied.
ui::MessageWindow* LiveWindow(ui::ScriptWindowHandle& entry) {
  if (entry.window && (entry.window->IsFree() || entry.window->serial != entry.serial)) entry = {};
  return entry.window;
}

// The window of the handle in argument `index`, or null: a handle outside
// 0..15 makes the result int 0, an empty entry leaves the preset.
ui::MessageWindow* WindowArg(Call& call, int index = 0) {
  int32_t handle = ArgInt(call, index);
  if (handle < 0 || handle >= ui::WindowManager::kScriptHandles) {
    SetInt(call, 0);
    return nullptr;
  }
  ui::WindowManager* windows = Windows(call);
  if (handle == 0 || !windows) return nullptr;
  return LiveWindow(windows->scriptHandles[size_t(handle)]);
}

// The lowest empty entry 1..15, or -1.
int FreeEntry(ui::WindowManager& windows) {
  for (int i = 1; i < ui::WindowManager::kScriptHandles; i++)
    if (!LiveWindow(windows.scriptHandles[size_t(i)])) return i;
  return -1;
}

int Keep(ui::WindowManager& windows, int entry, ui::MessageWindow* window) {
  if (!window) return -1;
  windows.scriptHandles[size_t(entry)] = {window, window->serial};
  return entry;
}

// [SECTION] Window calls

void CallCreatePlaneWindow(Call& call) {
  int32_t skin = ArgInt(call, 0);
  Vec3 at = ArgVector(call, 1);
  int32_t width = ArgInt(call, 2), height = ArgInt(call, 3);
  ui::WindowManager* windows = Windows(call);
  int entry = windows ? FreeEntry(*windows) : -1;
  if (entry < 0) {
    SetInt(call, -1);
    return;
  }
  SetInt(call, Keep(*windows, entry, windows->CreatePlaneWindow(skin, at.x, at.y, at.z, width, height, -1)));
}

void CallCreateSelectWindow(Call& call) {
  if (!ArgCompound(call, 1)) script::RaiseScriptError(core::Sjis("%s関数の引数が不正です。"), call.name);
  int32_t skin = ArgInt(call, 0);
  Vec3 at = ArgVector(call, 1);
  int32_t selection = ArgInt(call, 2);
  std::string items = ArgText(call, 3);
  ui::WindowManager* windows = Windows(call);
  int entry = windows ? FreeEntry(*windows) : -1;
  if (entry < 0) {
    SetInt(call, -1);
    return;
  }
  SetInt(call, Keep(*windows, entry, windows->CreateSelectWindow(skin, at.x, at.y, at.z, selection, items.c_str(), 0)));
}

void CallCloseWindow(Call& call) {
  if (ui::MessageWindow* w = WindowArg(call)) {
    w->CloseWindow();
    Windows(call)->scriptHandles[size_t(ArgInt(call, 0))] = {};
  }
}

void CallAddWindowSprite(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 1)))
    w->AddWindowSprite(static_cast<render::DisplayObject*>(unit));
}

void CallDeleteWindowSprite(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 1)))
    w->DeleteWindowSprite(static_cast<render::DisplayObject*>(unit));
}

void CallGetWindowCursor(Call& call) {
  if (ui::MessageWindow* w = WindowArg(call)) SetInt(call, w->GetWindowStatus(1));
}

void CallGetWindowStatus(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  int32_t bits = 0;
  for (int mode : {2, 4, 8, 16, 32})
    if (w->GetWindowStatus(mode)) bits |= mode;
  SetInt(call, bits);
}

void CallGetWindowCursorString(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  const char* line = w->GetWindowCursorString(call.scratch, script::kSystemCallScratchBytes);
  SetText(call, line ? line : "");
}

void CallGetWindowText(Call& call) {
  // The text may be longer than the scratch buffer: it is cut to fit.
  if (ui::MessageWindow* w = WindowArg(call)) SetText(call, w->text.c_str());
}

void CallSetWindowActive(Call& call) {
  if (ui::MessageWindow* w = WindowArg(call)) w->SetWindowActive(ArgInt(call, 1));
}

void CallSetWindowCursor(Call& call) {
  if (ui::MessageWindow* w = WindowArg(call)) w->SetWindowCursor(ArgInt(call, 1));
}

void CallSetWindowFont(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  w->SetWindowFont(ArgInt(call, 1), -1, -1.0f, -1.0f, -1.0f, -1.0f);
  const char* face = ArgText(call, 2);
  if (face[0]) w->SetWindowFontName(face);
}

void CallSetWindowSubFont(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  w->SetWindowSubFont(ArgInt(call, 1));
  const char* face = ArgText(call, 2);
  if (face[0]) w->SetWindowSubFontName(face);
}

void CallSetWindowText(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  if (ArgInt(call, 2)) w->SetWindowText(nullptr, ArgText(call, 1));
  else w->SetWindowTextsPlain(nullptr, ArgText(call, 1));
}

void CallSetWindowSubText(Call& call) {
  ui::MessageWindow* w = WindowArg(call);
  if (!w) return;
  if (ArgInt(call, 2)) w->SetWindowText(ArgText(call, 1), nullptr);
  else w->SetWindowTextsPlain(ArgText(call, 1), nullptr);
}

}  // namespace

const CallEntry kWindowCalls[] = {
    {"add_window_sprite", CallAddWindowSprite},
    {"close_window", CallCloseWindow},
    {"create_plane_window", CallCreatePlaneWindow},
    {"create_select_window", CallCreateSelectWindow},
    {"delete_window_sprite", CallDeleteWindowSprite},
    {"get_window_cursor", CallGetWindowCursor},
    {"get_window_cursor_string", CallGetWindowCursorString},
    {"get_window_status", CallGetWindowStatus},
    {"get_window_text", CallGetWindowText},
    {"set_window_active", CallSetWindowActive},
    {"set_window_cursor", CallSetWindowCursor},
    {"set_window_font", CallSetWindowFont},
    {"set_window_sub_font", CallSetWindowSubFont},
    {"set_window_sub_text", CallSetWindowSubText},
    {"set_window_text", CallSetWindowText},
};
const size_t kWindowCallCount = sizeof kWindowCalls / sizeof kWindowCalls[0];

const script::SystemCallHandler HandleWindowSystemCall = TableHandler<kWindowCalls, kWindowCallCount>;

// [SECTION] Head tracking

namespace {

// ovr_get_rot(): the head's orientation as a rotation vector (its axis
// scaled by the angle, radians: x pitch, y yaw, z roll); {0, 0, 0} without a
// head-mounted display or while its orientation is not tracked.
void CallOvrGetRot(Call& call) {
  render::GraphicsSystem* graphics = call.world ? call.world->graphics : nullptr;
  SetRotationRadians(call, graphics ? graphics->GetHeadRotationVector() : Vec3{0.0f, 0.0f, 0.0f});
}

// ovr_reset(): the current head orientation becomes straight ahead (nothing
// without a display).
void CallOvrReset(Call& call) {
  if (call.world && call.world->graphics) call.world->graphics->RecenterVR();
}

}  // namespace

const CallEntry kVrCalls[] = {
    {"ovr_get_rot", CallOvrGetRot},
    {"ovr_reset", CallOvrReset},
};
const size_t kVrCallCount = sizeof kVrCalls / sizeof kVrCalls[0];

// Its preset is int 0: no head-mounted display answers nothing.
const script::SystemCallHandler HandleVrSystemCall = TableHandler<kVrCalls, kVrCallCount, script::kCallInt, 0>;

}  // namespace api
