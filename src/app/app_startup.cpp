// app_startup.cpp -- the program's start-up sequence, from the settings to
// the first frame, and the command line.

#include <cstdio>
#include <cstring>

#include "app/app_local.h"

namespace app {

using core::Sjis;

namespace {

// The failure box of start-up: caption "Tarnwick4.22", warning icon.
void WarningBox(Engine& e, const char* text, platform::Window* owner) {
  platform::ShowMessageBox(text, kEngineCaption, platform::kMbOk | platform::kMbIconWarning, owner);
  (void)e;
}

// A failure that ends start-up: the box, and the same text in the log.
int FailStartup(Engine& e, const char* text, platform::Window* owner) {
  WarningBox(e, text, owner);
  e.log.WriteLogf(kLogError, "%s\n", text);
  return -1;
}

const char* NetworkErrorText(int result) {
  switch (result) {
    case net::kOpenAlreadyConnected: return Sjis("既にネットワークに接続済みです。");
    case net::kOpenTcpSocketFailed: return Sjis("TCP-Socketの初期化に失敗しました。");
    case net::kOpenUdpSocketFailed: return Sjis("UDP-Socketの初期化に失敗しました。");
    case net::kOpenHostNotResolved: return Sjis("ホスト名のアドレス変換に失敗しました。");
    case net::kOpenTcpConnectFailed: return Sjis("TCP-Socketの接続に失敗しました。");
    case net::kOpenUdpFailed: return Sjis("UDP-Socketの通信が確立できません。");
    case net::kOpenNoAnswer:
      return Sjis("サーバから応答がありません。アプリケーションのバージョンが異なる可能性があります。");
    default: return Sjis("不明なネットワークエラーです。");
  }
}

// Compiles the start script and runs its threads once. On failure the
// errors are shown and written; returns whether the script ran.
bool RunStartScript(Engine& e, const std::string& startPath) {
  script::ScriptEngine& se = e.world.scriptEngine;
  bool ok = se.LoadScript(startPath.c_str()) != 0 && se.RunScriptStep() != 0;
  if (!ok) {
    std::string errors = se.GetErrorListText();
    if (!errors.empty())
      platform::ShowMessageBox(errors.c_str(), "Please refer \"CompileError.txt\"", platform::kMbOk);
  }
  se.WriteCompileResults();
  // A run-time error file and window only when there was a run-time error:
  // a script that ran cleanly leaves no "RuntimeError.txt" behind.
  std::string runtime = se.GetCallListText();
  if (!runtime.empty()) {
    if (!ok) platform::ShowMessageBox(runtime.c_str(), "Please refer \"RuntimeError.txt\"", platform::kMbOk);
    se.WriteRuntimeError();
  }
  return ok;
}

void CopyText(char* field, size_t size, const std::string& text) {
  std::snprintf(field, size, "%s", text.c_str());
}

}  // namespace

std::string StartFileFromArguments(int argc, char** argv) {
  std::string rest;
  for (int i = 1; i < argc; i++) {
    if (i > 1) rest += ' ';
    rest += argv[i] ? argv[i] : "";
  }
  if (rest.empty()) return rest;
  size_t cut = rest.find_last_of("\\/:");
  std::string name = cut == std::string::npos ? rest : rest.substr(cut + 1);
  if (!name.empty() && name.back() == '"') name.pop_back();
  return name;
}

int WinMain(Engine& e, int argc, char** argv) {
  SettingsBlock& s = e.settings;

  // 1-4: the settings, or the defaults when they are missing or outdated.
  e.log.WriteLogf(kLogError, Sjis("設定ファイル\"%s\"を読み込みます。\n"), kSettingsFileName);
  bool reset = false;
  if (!LoadSettings(e, nullptr)) {
    e.log.WriteLogf(kLogError, Sjis("設定ファイル\"%s\"が読み込みオープンできません。\n"), kSettingsFileName);
    reset = true;
  }
  api::RegisterSystemCalls(e.world, nullptr);
  if (s.version != kSettingsVersion) reset = true;
  if (reset) ResetSettings(&s);

  // 5-6: the command line's start file; the network defaults.
  std::string startFile = StartFileFromArguments(argc, argv);
  if (!startFile.empty()) CopyText(s.startFile, sizeof s.startFile, startFile);
  if (s.networkPort[0] == 0) s.networkPort[0] = kDefaultNetworkPort;
  if (!s.networkUrl[0][0]) CopyText(s.networkUrl[0], sizeof s.networkUrl[0], kLoopbackHostName);

  // 7-10: the display system, the game list and the start-up dialog.
  if (!e.graphics.CreateDirect3D()) return FailStartup(e, Sjis("DirectXの初期化に失敗"), nullptr);
  SaveSettings(e, nullptr);
  BuildGameList(&e.app.GameList, ".");
  if (!RunStartupDialog(e)) return -1;

  // 11-12: the packages and the start script.
  e.packages.LoadFilePackage(kSystemPackageName);
  std::string startPath;
  if (s.StartPackage[0]) {
    e.packages.LoadFilePackage(s.StartPackage);
    std::string package = s.StartPackage;
    startPath = package.substr(0, package.size() >= 4 ? package.size() - 4 : 0) + "\\" + s.startFile;
  } else if (s.StartFolder[0]) {
    startPath = std::string(s.StartFolder) + "\\" + s.startFile;
  } else {
    startPath = s.startFile;
  }
  if (!RunStartScript(e, startPath)) return 0;

  // 13-14: edit mode or play; the world's scale.
  if (e.world.FindScriptGlobal("__system_editmode")) {
    e.app.EditorMode = 1;
    s.networkFlag = kNetworkOff;
  } else if (!e.world.GetStartFileName()[0]) {
    return 1;
  } else {
    e.app.EditorMode = 0;
  }
  script::CScriptValue* scale = e.world.FindScriptGlobal("__system_scale");
  e.world.SetSystemScale(scale ? script::ScriptEngine::ValueToFloat(scale) : 1.0f);

  // 15: the head-mounted display's runtime.
  if (s.stereoType == kStereoOculusVr && !e.graphics.StartVRRuntime()) {
    WarningBox(e,
               Sjis("OculusVRの初期化に失敗。ランタイムライブラリをインストールしていない場合は、"
                    "OcurusVRのWebサイトからランタイムライブラリを入手してください。"),
               nullptr);
    e.log.WriteLog(Sjis("OculusVRの初期化に失敗。\nランタイムライブラリをインストールしていない場合は、"
                        "OcurusVRのWebサイトからランタイムライブラリを入手してください。\n"),
                   kLogError);
    s.stereoType = kStereoNone;
  }

  // 16-18: the main window.
  if (e.app.EditorMode == 1 && s.screenMode == 1) {
    WarningBox(e, Sjis("エディタはウィンドウモードで起動してください。"), nullptr);
    return -1;
  }
  platform::Window* window = e.graphics.CreateMainWindow(kEngineCaption, e.app.EditorMode == 1,
                                                         s.screenMode, s.adapter, s.width, s.height);
  if (!window) return FailStartup(e, Sjis("ウィンドウの作成に失敗"), nullptr);
  api::RegisterSystemCalls(e.world, window);
  e.graphics.InitStereo(s.stereoType == kStereo3dVision ? 1 : 0);

  // 19: the network, when asked for; a failure is shown and play goes on.
  if (s.networkFlag != kNetworkOff) {
    std::string player = s.networkName[0];
    if (s.networkTeam[0][0]) player += std::string("@") + s.networkTeam[0];
    int result = s.networkFlag == kNetworkServer
                     ? e.network.OpenNetworkSession(nullptr, s.networkPort[0], net::kModeServer, player.c_str(), "")
                     : e.network.OpenNetworkSession(s.networkUrl[0], s.networkPort[0], net::kModeClient,
                                                    player.c_str(), "");
    if (result != net::kOpenOk) {
      WarningBox(e, NetworkErrorText(result), window);
      s.networkFlag = kNetworkOff;
    }
  }

  // 20-21: the device, the head-mounted display, the default font.
  if (!e.graphics.InitDevice(s.shaderFlag)) return FailStartup(e, Sjis("DirectXの初期化に失敗"), window);
  if (s.stereoType == kStereoOculusVr) e.graphics.StartVR();
  e.graphics.PresentFrame();
  e.graphics.SetFont(Sjis("ＭＳ ゴシック"), 16, 0xFFFF8080, 1);
  e.graphics.PresentFrame();

  // 22: input, with the saved pad assignments matched to the devices.
  e.input.InitDirectInput(window);
  const char* names[kPadEntryCount];
  for (int slot = 0; slot < kPadEntryCount; slot++) names[slot] = e.input.GetDeviceName(slot);
  MatchPadEntries(&s, names);
  ApplyPadEntries(s, e.input);

  // 23: sound, the built-in effects and the group volumes.
  e.sound.InitDirectSound(window);
  LoadBuiltInSounds(e.sound);
  auto volume = [](int32_t v) { return v <= -3000 ? -30000 : v; };
  e.sound.SetSoundGroupVolume(sound::kMusicSlot, volume(s.bgmVolume));
  e.sound.SetSoundGroupVolume(0, volume(s.seVolume));
  e.sound.SetSoundGroupVolume(sound::kVoiceSlot, volume(s.voiceVolume));

  // 24-26: the settings again, the world, the editor and the tool windows.
  SaveSettings(e, nullptr);
  e.world.LoadWorld();
  e.hud.BuildHudSprites();  // the HUD's images and sprites, once the world has its pools
  if (e.app.EditorMode == 1) editor::InitEditor(e.world);
  if (e.app.EditorMode == 1) {
    if (!editor::OpenEditDialog(e.world)) return -1;
    e.app.editDialogOpen = true;
  }
  if (s.networkFlag == kNetworkServer) {
    if (!OpenServerDialog(e)) return -1;
    e.app.serverDialogOpen = true;
  }

  // 27: the game loop.
  e.log.WriteLog(Sjis("ゲームループ開始。\n"), kLogMilestone);
  return RunMainLoop(e);
}

}  // namespace app
