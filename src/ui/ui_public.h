// ui_public.h -- the flight HUD and the script-driven message windows.
#pragma once

namespace ui {

// The one window object: skins and the scripts' message windows.
class WindowManager {};

}  // namespace ui
