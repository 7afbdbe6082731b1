// platform_public.h -- the engine's only way to the operating system, the
// window system, graphics and audio. Nothing outside platform/ includes SDL,
// OpenGL or other system headers of that kind.
#pragma once

#include "platform/platform_audio.h"
#include "platform/platform_dialogs.h"
#include "platform/platform_gfx.h"
#include "platform/platform_headset.h"
#include "platform/platform_input.h"
#include "platform/platform_library.h"
#include "platform/platform_math.h"
#include "platform/platform_socket.h"
#include "platform/platform_system.h"
#include "platform/platform_window.h"
#include "platform/platform_xfile.h"
