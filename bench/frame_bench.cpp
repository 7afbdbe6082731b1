// frame_bench.cpp -- the displayed frame of the sample game: the Demo's scene
// at 1024x768 on an offscreen window, drawn by world::RenderFrame and
// presented, once per settings variant (the fixed pipeline; the effect with
// every switch off; each switch alone; every switch on). Prints per variant
// the wall time of a frame (mean and 95th percentile, ms), the GL draw calls
// and state changes per frame from the device's counters, and the draw calls
// per drawn object: the figures that show whether anything is drawn a
// triangle or a vertex at a time.
//
// Each variant runs in a child process of its own (this program started
// again with --variant N), so that a device made for one variant leaves
// nothing behind for the next and a variant that fails is named in the
// table instead of ending the run. Per variant: start-up as the program
// does it (start script, window, device, world), warm-up frames until the
// scene is loaded and faded in, the camera put behind the focus unit, then
// the timed frames. Between two timed frames the world takes one step
// (units, effects, camera), untimed.
//
// The focus is the tank by default: it drives on the ground near the map
// objects, so the frame holds some of them beside the unit, where the
// game's own focus, the aircraft at 500 m, shows little but itself and the
// ground.
//
//   tkw4-bench-frame [--frames N] [--warm STEPS] [--focus LABEL] [--variant N]
//
// --focus "" keeps the game's own camera focus.
//
// Runs headless (SDL's offscreen driver) unless a display is chosen; the
// speed figures are llvmpipe's on this machine, not a target.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "bench_support.h"
#include "world/world_local.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

// One settings variant: the shader switches it sets (everything else at
// the defaults of a fresh installation, all switches off).
struct Variant {
  const char* name;
  int flag, shadow, mirror, bump, glare, bloom, multiLight;
};

const Variant kVariants[] = {
    {"fixed pipeline (FLAG 0)", 0, 0, 0, 0, 0, 0, 0},
    {"effect, all off", 1, 0, 0, 0, 0, 0, 0},
    {"SHADOW 1", 1, 1, 0, 0, 0, 0, 0},
    {"SHADOW 2", 1, 2, 0, 0, 0, 0, 0},
    {"SHADOW 3", 1, 3, 0, 0, 0, 0, 0},
    {"MIRROR", 1, 0, 1, 0, 0, 0, 0},
    {"BUMP", 1, 0, 0, 1, 0, 0, 0},
    {"GLARE", 1, 0, 0, 0, 1, 0, 0},
    {"BLOOM", 1, 0, 0, 0, 0, 1, 0},
    {"MULTI_LIGHT", 1, 0, 0, 0, 0, 0, 1},
    {"all on (SHADOW 3)", 1, 3, 1, 1, 1, 1, 1},
};
constexpr int kVariantCount = int(sizeof kVariants / sizeof kVariants[0]);

// What a child reports: one line, the fields in this order.
struct Figures {
  double meanMs = 0, p95Ms = 0, cpuMs = 0;
  double draws = 0, states = 0, objects = 0, primitives = 0;
  double programs = 0, textures = 0, renderStates = 0, uniforms = 0, framebuffers = 0, vertexArrays = 0;
  uint32_t maxDrawsPerObject = 0, singlePrimitiveDraws = 0;
};

std::filesystem::path GamesFolder() {
  const char* source = std::getenv("TKW4_SOURCE_DIR");
  return std::filesystem::path(source ? source : TKW4_SOURCE_ROOT) / "games";
}

// A fresh working folder with the sample game and the system includes its
// path-point scripts compile against, as an installation has them.
std::string MakeWorkFolder() {
  char pattern[] = "/tmp/tkw4-frame-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::fprintf(stderr, "cannot make a working folder\n");
    std::exit(1);
  }
  std::filesystem::path work = pattern;
  std::filesystem::create_directory_symlink(GamesFolder() / "Demo", work / "Demo");
  std::filesystem::create_directories(work / "zadazorad" / "script");
  for (const char* inc : {"system.inc", "mission.inc"})
    std::filesystem::create_symlink(GamesFolder() / "ZadAzorad" / "Script" / inc, work / "zadazorad" / "script" / inc);
  return work.string();
}

// Start-up as the program runs it for the Demo chosen in the dialog, with
// the variant's settings in place of a settings file. False (and a message)
// when a step fails.
bool StartDemo(app::Engine& e, const Variant& v) {
  core::SettingsBlock& s = e.settings;
  core::ResetSettings(&s);
  s.screenMode = 0;
  s.width = kWidth;
  s.height = kHeight;
  s.stereoType = 0;
  s.shaderFlag = v.flag;
  s.shadow = v.shadow;
  s.mirror = v.mirror;
  s.bump = v.bump;
  s.glare = v.glare;
  s.bloom = v.bloom;
  s.multiLight = v.multiLight;
  s.highDef = 0;
  s.drawFps = 0;
  s.networkFlag = 0;
  std::snprintf(s.startFile, sizeof s.startFile, "demo.rsp");
  std::snprintf(s.StartFolder, sizeof s.StartFolder, "Demo");

  api::RegisterSystemCalls(e.world, nullptr);
  if (!e.graphics.CreateDirect3D()) {
    std::fprintf(stderr, "no display system\n");
    return false;
  }
  e.packages.LoadFilePackage(core::kSystemPackageName);
  script::ScriptEngine& se = e.world.scriptEngine;
  if (!se.LoadScript("Demo\\demo.rsp") || !se.RunScriptStep()) {
    std::fprintf(stderr, "the start script failed:\n%s\n", se.GetErrorListText().c_str());
    return false;
  }
  script::CScriptValue* scale = e.world.FindScriptGlobal("__system_scale");
  e.world.SetSystemScale(scale ? script::ScriptEngine::ValueToFloat(scale) : 1.0f);
  platform::Window* window = e.graphics.CreateMainWindow(core::kEngineCaption, false, 0, 0, kWidth, kHeight);
  if (!window) {
    std::fprintf(stderr, "no window\n");
    return false;
  }
  api::RegisterSystemCalls(e.world, window);
  if (!e.graphics.InitDevice(s.shaderFlag)) {
    std::fprintf(stderr, "no device\n");
    return false;
  }
  e.graphics.PresentFrame();  // fonts are made once the device has presented
  e.graphics.SetFont(core::Sjis("ＭＳ ゴシック"), 16, 0xFFFF8080, 1);
  e.input.InitDirectInput(window);
  e.sound.InitDirectSound(window);
  e.world.LoadWorld();
  return true;
}

// One frame of the program's loop without its pacer.
void RunProgramFrame(app::Engine& e) {
  e.input.UpdateInput(0);
  e.sound.UpdateSoundFades();
  e.world.RunWorldFrame(e.graphics.MainWindow());
  e.graphics.PresentFrame();
}

int RunVariant(int index, int frames, int warmSteps, const std::string& focus) {
  const Variant& v = kVariants[index];
  std::string work = MakeWorkFolder();
  if (chdir(work.c_str()) != 0) return 1;
  Figures f;
  bool started = false;
  {
    app::Engine e;
    if (StartDemo(e, v)) {
      started = true;
      // Warm-up: the start state, the scene's load, the fade; four steps a
      // frame (the pacer's 15 frames a second) to get there sooner.
      e.app.pacer.frameRate = 15;
      for (int step = 0; step < warmSteps; step += 4) RunProgramFrame(e);
      e.app.pacer.frameRate = 60;
      // The camera behind the focus unit; the frames until it has settled.
      if (!focus.empty()) {
        units::Unit* found = nullptr;
        for (int slot = 1; slot < world::CountUnitSlots(e.world) && !found; slot++) {
          units::Unit* u = world::GetUnitAt(e.world, slot);
          if (u && focus == u->label.Get()) found = u;
        }
        if (!found) {
          std::fprintf(stderr, "no unit labelled %s\n", focus.c_str());
          return 1;
        }
        world::SetCameraFocus(e.world, found, nullptr);
      }
      for (int i = 0; i < 30; i++) RunProgramFrame(e);

      const platform::GfxApi& api = e.graphics.Gfx();
      platform::GfxDevice* dev = e.graphics.GetDevice();
      std::vector<double> ms;
      platform::GfxFrameStats sum{};
      for (int i = 0; i < frames; i++) {
        e.world.StepWorld();
        api.ResetFrameStats(dev);
        double cpu0 = bench::CpuSeconds();
        Clock::time_point t0 = Clock::now();
        world::RenderFrame(e.world);
        e.graphics.PresentFrame();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        f.cpuMs += (bench::CpuSeconds() - cpu0) * 1e3 / double(frames);
        platform::GfxFrameStats st = api.GetFrameStats(dev);
        sum.drawCalls += st.drawCalls;
        sum.primitives += st.primitives;
        sum.objects += st.objects;
        sum.programBinds += st.programBinds;
        sum.textureBinds += st.textureBinds;
        sum.renderStates += st.renderStates + st.samplerStates + st.viewports;
        sum.uniformUploads += st.uniformUploads;
        sum.framebufferChanges += st.framebufferChanges;
        sum.vertexArrayBinds += st.vertexArrayBinds;
        f.states += st.StateChanges();
        f.maxDrawsPerObject = std::max(f.maxDrawsPerObject, st.maxDrawsPerObject);
        f.singlePrimitiveDraws = std::max(f.singlePrimitiveDraws, st.singlePrimitiveDraws);
      }
      double n = double(frames);
      for (double t : ms) f.meanMs += t / n;
      std::sort(ms.begin(), ms.end());
      f.p95Ms = ms[std::min(ms.size() - 1, size_t(double(ms.size()) * 0.95))];
      f.draws = sum.drawCalls / n;
      f.primitives = sum.primitives / n;
      f.objects = sum.objects / n;
      f.programs = sum.programBinds / n;
      f.textures = sum.textureBinds / n;
      f.renderStates = sum.renderStates / n;
      f.uniforms = sum.uniformUploads / n;
      f.framebuffers = sum.framebufferChanges / n;
      f.vertexArrays = sum.vertexArrayBinds / n;
      f.states /= n;
    }
  }
  std::filesystem::remove_all(work);
  if (!started) return 1;
  std::printf("RESULT %.3f %.3f %.3f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %u %u\n", f.meanMs, f.p95Ms,
              f.cpuMs, f.draws, f.states, f.objects, f.primitives, f.programs, f.textures, f.renderStates, f.uniforms,
              f.framebuffers, f.vertexArrays, f.maxDrawsPerObject, f.singlePrimitiveDraws);
  return 0;
}

// Runs a variant in a child process; false when it failed.
bool RunChild(const char* self, int index, int frames, int warmSteps, const std::string& focus, Figures* f) {
  std::string command = std::string("'") + self + "' --variant " + std::to_string(index) + " --frames " +
                        std::to_string(frames) + " --warm " + std::to_string(warmSteps) + " --focus '" + focus +
                        "' 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return false;
  char line[512];
  bool got = false;
  while (std::fgets(line, sizeof line, p)) {
    if (std::strncmp(line, "RESULT ", 7) != 0) continue;
    got = std::sscanf(line + 7, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %u %u", &f->meanMs, &f->p95Ms,
                      &f->cpuMs, &f->draws, &f->states, &f->objects, &f->primitives, &f->programs, &f->textures,
                      &f->renderStates, &f->uniforms, &f->framebuffers, &f->vertexArrays, &f->maxDrawsPerObject,
                      &f->singlePrimitiveDraws) == 15;
  }
  return pclose(p) == 0 && got;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("TKW4_MSGBOX", "1", 0);
  int frames = 60, warmSteps = 240, variant = -1;
  std::string focus = "Tank1";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--frames")) frames = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--warm")) warmSteps = std::max(0, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--variant")) variant = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--focus")) focus = argv[i + 1];
  }
  if (variant >= 0) return variant < kVariantCount ? RunVariant(variant, frames, warmSteps, focus) : 1;

  std::printf("the Demo at %dx%d, camera behind %s, %d frames per variant after %d warm-up steps; per frame:\n",
              kWidth, kHeight, focus.empty() ? "the game's own focus" : focus.c_str(), frames, warmSteps);
  std::printf("%-24s %8s %8s %8s %7s %7s %7s %9s %7s %7s %7s %7s %7s %7s %7s %6s\n", "variant", "mean ms", "p95 ms",
              "cpu ms", "draws", "states", "objects", "draws/obj", "max/obj", "1-prim", "progs", "texs", "rstate",
              "unifs", "fbos", "vaos");
  // The child is this program: its own path, as the shell would not know it.
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) std::snprintf(self, sizeof self, "%s", argv[0]);
  bool failed = false;
  double cpu0 = bench::CpuSeconds(RUSAGE_CHILDREN);
  for (int i = 0; i < kVariantCount; i++) {
    Figures f;
    if (!RunChild(self, i, frames, warmSteps, focus, &f)) {
      std::printf("%-24s failed (run it alone: --variant %d)\n", kVariants[i].name, i);
      failed = true;
      continue;
    }
    std::printf("%-24s %8.2f %8.2f %8.2f %7.0f %7.0f %7.0f %9.2f %7u %7u %7.0f %7.0f %7.0f %7.0f %7.0f %6.0f\n",
                kVariants[i].name, f.meanMs, f.p95Ms, f.cpuMs, f.draws, f.states, f.objects,
                f.objects > 0 ? f.draws / f.objects : 0.0, f.maxDrawsPerObject, f.singlePrimitiveDraws, f.programs,
                f.textures, f.renderStates, f.uniforms, f.framebuffers, f.vertexArrays);
    std::fflush(stdout);
  }
  std::printf("mean and p95: wall time of RenderFrame and PresentFrame; cpu: of every thread of the process\n"
              "(llvmpipe's rasterising threads included), less moved by other work on the machine.\n");
  std::printf("states: every state change sent to GL, of it progs (program binds), texs (texture binds),\n"
              "rstate (render and sampler states, viewports), unifs (uniform uploads), fbos (framebuffer\n"
              "changes) and vaos (vertex-array binds). An object is a run of draws under one transform and\n"
              "vertex buffer; max/obj the longest such run; 1-prim the most draws of a single triangle, line\n"
              "or point in any frame. %.1f s of CPU in the children.\n",
              bench::CpuSeconds(RUSAGE_CHILDREN) - cpu0);
  return failed ? 1 : 0;
}
