// platform_local.h -- internals shared by the platform layer's files.
#pragma once

#include <iconv.h>

#include <mutex>

#include "platform/platform_public.h"

namespace platform {

// The platform layer stands for process-wide services (SDL itself is one
// per process), so its little mutable state lives here, in one record that
// only platform/ sees. Everything else of the engine lives in its owners.
// One text converter per direction, opened on first use. iconv_t carries
// shift state, so each conversion resets it and conversions are serialised.
struct TextConverter {
  TextConverter(const char* toCode, const char* fromCode) : to(toCode), from(fromCode) {}
  const char* to;
  const char* from;
  iconv_t cd = iconv_t(-1);
  std::mutex mutex;
};

// A box shown on the desktop: the buttons' ids and labels, texts in UTF-8.
// Returns the id of the button pressed, -1 when the box was closed without
// one, kDesktopBoxRefused when the desktop would not show it.
constexpr int kDesktopBoxRefused = -2;
using DesktopBox = int (*)(const char* text, const char* caption, unsigned flags, const int* ids,
                           const char* const* labels, int count, Window* owner);

struct PlatformState {
  std::mutex mutex;                    // guards the fields below
  // Set by the window file when the program has it: a program that makes
  // no window (the script runner) loads no SDL, and its boxes go unshown.
  DesktopBox desktopBox = nullptr;
  MessageBoxHook boxHook = nullptr;
  void* boxHookUser = nullptr;
  DiagnosticSink sink = nullptr;
  void* sinkUser = nullptr;
  int answersUsed = 0;                 // answers of TKW4_MSGBOX_ANSWERS taken
  TextConverter toUtf8{"UTF-8", "CP932"};
  TextConverter toCp932{"CP932", "UTF-8"};
};

PlatformState& State();

// platform_window.cpp
struct SDL_Window* SdlWindowOf(Window* window);
// Initialises SDL's video subsystem once; false when no video driver works.
bool EnsureVideo();
}  // namespace platform
