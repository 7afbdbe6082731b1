// app_loop.cpp -- the main loop, the frame pacer and the main window's
// event handling.

#include <cstdio>

#include "app/app_local.h"

namespace app {

namespace {

int LowerRate(int rate) {
  switch (rate) {
    case 60: return 30;
    case 30: return 20;
    default: return 15;
  }
}

}  // namespace

FrameDecision PaceFrame(FramePacer* p, uint32_t now, int fpsSetting) {
  switch (fpsSetting) {
    case 0: p->frameRate = 60; break;
    case 1: p->frameRate = 30; break;
    case 2: p->frameRate = 20; break;
    case 3: p->frameRate = 15; break;
    default: break;  // keeps the rate in use
  }
  FrameDecision d;
  d.fadeStepCount = 60 / p->frameRate;

  // Whole frame periods since an arbitrary origin, in unsigned 32-bit
  // arithmetic: the product wraps before the division, and a count that
  // went backwards reads as a huge difference, that is as a late frame.
  uint32_t rate = uint32_t(p->frameRate);
  uint32_t kNow = rate * now / 1000u;
  uint32_t kPrev = rate * p->frameClock / 1000u;
  if (kNow - kPrev >= 2u) {
    // Late: this frame runs at the next lower rate, so the world covers the
    // lost time with more fixed steps; the next call sets the rate again.
    p->frameRate = LowerRate(p->frameRate);
    d.run = true;
  } else {
    d.run = kNow != kPrev;
  }
  p->frameClock = now;
  return d;
}

int RunFrame(Engine& e) {
  FramePacer& p = e.app.pacer;
  uint32_t now = e.clock.NowMs();
  FrameDecision d = PaceFrame(&p, now, e.settings.fps);
  e.sound.SetFadeStepCount(d.fadeStepCount);
  if (!d.run) {
    platform::YieldProcessor();
    return 0;
  }

  e.input.UpdateInput(0);
  e.sound.UpdateSoundFades();
  e.network.UpdateNetworkSession(now);
  int result = e.world.RunWorldFrame(e.graphics.MainWindow());
  if (e.settings.networkFlag == kNetworkServer) ServerStep(e);
  if (e.settings.drawFps) {
    char text[64];
    std::snprintf(text, sizeof text, "%3dfps %3d%%", e.graphics.GetMeasuredFps(), p.frameLoadPercent);
    e.graphics.SetFont(core::Sjis("ＭＳ ゴシック"), 16, 0xFFFF8080, 1);
    e.graphics.DrawText(-512.0f, -384.0f, text, 0);
  }
  uint32_t end = e.clock.NowMs();
  e.graphics.PresentFrame();
  // The present is not counted; the wrap-safe difference is taken signed.
  p.frameLoadPercent = int32_t(end - now) * p.frameRate / 10;
  return result;
}

void DestroyMainWindow(Engine& e) {
  if (!e.graphics.MainWindow()) return;
  // What the window's destruction does: every sound stops (effects, then
  // music and voice) and the loop is asked to end.
  e.sound.StopSoundSlot(-1, -1);
  e.sound.StopSoundSlot(sound::kMusicSlot, -1);
  e.sound.StopSoundSlot(sound::kVoiceSlot, -1);
  e.app.QuitRequested = 1;
  e.app.lastMessageParam = 0;
  e.graphics.DestroyMainWindow();
}

void MainWndProc(Engine& e, const platform::Event& ev) {
  switch (ev.kind) {
    case platform::EventKind::KeyDown:
    case platform::EventKind::KeyUp: {
      // Shift's held state, for the screenshot that leaves the HUD out: the
      // Shift key's own down and up, and every other key's Shift flag (the
      // key may have gone down or up while another window had the focus).
      bool down = ev.kind == platform::EventKind::KeyDown;
      e.world.shiftHeld = (ev.key == platform::kVkShift ? down : ev.shift) ? 1 : 0;
      if (down && ev.key == 'P' && ev.ctrl) e.world.screenshotRequest = 1;
      break;
    }
    case platform::EventKind::Resize:
      // The renderer follows the client area; a new size other than a
      // minimised window's has the world make its targets again for it.
      if (e.graphics.ResizeClient(ev.x, ev.y)) e.world.renderRebuild = 1;
      break;
    case platform::EventKind::Focus:
      // Keyboards follow the window's focus.
      e.input.SetDeviceEnabled(input::kGroupKeyboards, ev.active ? 1 : 0);
      break;
    case platform::EventKind::Close:
    case platform::EventKind::Quit:
      DestroyMainWindow(e);
      break;
    default:
      break;
  }
}

int RunMainLoop(Engine& e) {
  while (!e.app.QuitRequested) {
    platform::Event ev;
    if (platform::PollEvent(&ev)) {
      e.app.lastMessageParam = int(ev.code);
      MainWndProc(e, ev);
      continue;
    }
    if (RunFrame(e) != 0) {
      // The game has ended: release the device, then the window.
      e.graphics.ReleaseDirect3D();
      DestroyMainWindow(e);
      break;
    }
    platform::YieldProcessor();
  }
  return e.app.lastMessageParam;
}

}  // namespace app
