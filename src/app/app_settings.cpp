// app_settings.cpp -- the settings block's defaults and the settings file
// "tkw4.dat": object text read by compiling it in the world's script engine
// and written through a compound value by the notation writer.

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_local.h"

namespace app {

using core::Sjis;

namespace {

// The global the file's text becomes the initial value of.
constexpr const char* kSettingsGlobal = "__system_option_data__";

// Longest path the "#include" line carries, terminator included.
constexpr int kIncludePathBytes = 260;

// Names of "SCREEN.STEREO_TYPE" by value.
constexpr const char* kStereoNames[] = {"NONE", "3D_VISION", "3D_OSTRA_COL", "3D_OSTRA_LR", "OCULUS_VR"};
constexpr int kStereoNameCount = int(sizeof kStereoNames / sizeof kStereoNames[0]);

// The plain int32 members of "SHADER", in the order they are written.
struct IntField {
  const char* key;
  int32_t SettingsBlock::*field;
};
constexpr IntField kShaderFields[] = {
    {"SHADER.FLAG", &SettingsBlock::shaderFlag},
    {"SHADER.SHADOW", &SettingsBlock::shadow},
    {"SHADER.HIGHDEF", &SettingsBlock::highDef},
    {"SHADER.MULTI_LIGHT", &SettingsBlock::multiLight},
    {"SHADER.MIRROR", &SettingsBlock::mirror},
    {"SHADER.BUMP", &SettingsBlock::bump},
    {"SHADER.GLARE", &SettingsBlock::glare},
    {"SHADER.BLOOM", &SettingsBlock::bloom},
    {"SHADER.AERO_LIGHT", &SettingsBlock::aeroLight},
};
// The top-level int32 members after "VIEW_MODE", in the order they are written.
constexpr IntField kFrameAndVolumeFields[] = {
    {"FPS", &SettingsBlock::fps},
    {"DRAW_FPS", &SettingsBlock::drawFps},
    {"BGM_VOLUME", &SettingsBlock::bgmVolume},
    {"SE_VOLUME", &SettingsBlock::seVolume},
    {"VOICE_VOLUME", &SettingsBlock::voiceVolume},
};

// ASCII letters compared without case; other bytes as they are.
bool EqualsNoCase(const char* a, const char* b) {
  for (;; a++, b++) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
    if (!x) return true;
  }
}

// Copies a text member into its field. The file sets no limit on a text's
// length but the fields have fixed widths: a longer text is cut at the
// field, before the character that would not fit, so a two-byte character
// is never split and nothing is written past the field.
void CopyTextField(char* field, size_t size, const char* text) {
  size_t length = 0;
  if (text) {
    while (text[length]) {
      size_t piece = core::IsSjisLeadByte(static_cast<unsigned char>(text[length])) && text[length + 1] ? 2 : 1;
      if (length + piece > size - 1) break;
      length += piece;
    }
    std::memcpy(field, text, length);
  }
  // The rest of the field is cleared, so no stale bytes stay behind it.
  std::memset(field + length, 0, size - length);
}

// The part of a path after its last "/" or "\\" (the second byte of a
// two-byte character is no separator).
const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; p++) {
    if (core::IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
      p++;
    } else if (*p == '/' || *p == '\\') {
      name = p + 1;
    }
  }
  return name;
}

std::string Key(const char* format, int a) {
  char key[64];
  std::snprintf(key, sizeof key, format, a);
  return key;
}
std::string Key(const char* format, int a, int b) {
  char key[64];
  std::snprintf(key, sizeof key, format, a, b);
  return key;
}

// Reads every stored field of the block from the settings object, in the
// order of the block. Missing members read as 0 or the empty text.
void ReadSettingsObject(const script::CScriptArray* data, SettingsBlock* s) {
  using script::GetMemberInt;
  using script::GetMemberString;
  s->version = GetMemberInt(data, "VER");
  CopyTextField(s->startFile, sizeof s->startFile, GetMemberString(data, "RSP_FILE"));
  const char* mode = GetMemberString(data, "SCREEN.MODE");
  s->screenMode = mode && EqualsNoCase(mode, "FULLSCREEN") ? 1 : 0;
  s->adapter = int16_t(GetMemberInt(data, "SCREEN.ADAPTER"));
  s->width = int16_t(GetMemberInt(data, "SCREEN.WIDTH"));
  s->height = int16_t(GetMemberInt(data, "SCREEN.HEIGHT"));
  s->displayInch = int8_t(GetMemberInt(data, "SCREEN.DISPLAY_INCH"));
  const char* stereo = GetMemberString(data, "SCREEN.STEREO_TYPE");
  s->stereoType = kStereoNone;
  for (int i = 0; stereo && i < kStereoNameCount; i++)
    if (EqualsNoCase(stereo, kStereoNames[i])) s->stereoType = uint8_t(i);
  for (const IntField& f : kShaderFields) s->*f.field = GetMemberInt(data, f.key);
  s->textureMode = GetMemberInt(data, "TEXTURE_MODE");
  const char* view = GetMemberString(data, "VIEW_MODE");
  s->viewMode = view && EqualsNoCase(view, "BEHIND") ? 1 : 0;
  for (const IntField& f : kFrameAndVolumeFields) s->*f.field = GetMemberInt(data, f.key);
  for (int n = 0; n < kPadEntryCount; n++) {
    CopyTextField(s->padName[n], sizeof s->padName[n], GetMemberString(data, Key("PAD[%d].NAME", n).c_str()));
    for (int b = 0; b < kPadButtonCount; b++)
      s->padMap[n][b] = uint8_t(GetMemberInt(data, Key("PAD[%d].MAP[%d]", n, b).c_str()));
    for (int k = 0; k < kPadAxisCount; k++)
      s->padFree[n][k] = GetMemberInt(data, Key("PAD[%d].FREE[%d]", n, k).c_str());
  }
  s->networkFlag = GetMemberInt(data, "NETWORK.FLAG");
  for (int i = 0; i < kNetworkEntryCount; i++) {
    s->networkPort[i] = GetMemberInt(data, Key("NETWORK.PORT[%d]", i).c_str());
    CopyTextField(s->networkName[i], sizeof s->networkName[i],
                  GetMemberString(data, Key("NETWORK.NAME[%d]", i).c_str()));
    CopyTextField(s->networkUrl[i], sizeof s->networkUrl[i], GetMemberString(data, Key("NETWORK.URL[%d]", i).c_str()));
    CopyTextField(s->networkTeam[i], sizeof s->networkTeam[i],
                  GetMemberString(data, Key("NETWORK.TEAM[%d]", i).c_str()));
  }
  s->editorVRotRev = GetMemberInt(data, "EDITOR.V_ROT_REV");
  s->editorHRotRev = GetMemberInt(data, "EDITOR.H_ROT_REV");
}

// Sets every stored field as a member of `data`, in the file's order. Dotted
// paths make the nested objects and arrays as they are first used. Raises a
// ScriptError when the value pool runs out.
void BuildSettingsObject(script::ScriptPools& pools, script::CScriptArray* data, const SettingsBlock& s) {
  using script::SetMemberInt;
  using script::SetMemberString;
  SetMemberInt(pools, data, "VER", s.version);
  SetMemberString(pools, data, "RSP_FILE", s.startFile);
  SetMemberString(pools, data, "SCREEN.MODE", s.screenMode == 1 ? "FULLSCREEN" : "WINDOW");
  SetMemberInt(pools, data, "SCREEN.WIDTH", s.width);
  SetMemberInt(pools, data, "SCREEN.HEIGHT", s.height);
  SetMemberInt(pools, data, "SCREEN.ADAPTER", s.adapter);
  SetMemberInt(pools, data, "SCREEN.DISPLAY_INCH", s.displayInch);
  if (s.stereoType < kStereoNameCount) SetMemberString(pools, data, "SCREEN.STEREO_TYPE", kStereoNames[s.stereoType]);
  // "SHADER" is made first as a member holding its own empty object.
  script::CScriptValue* shader = script::AddObjectMember(pools, data, "SHADER", script::kValueCompound, 0);
  if (!shader->data.array) {
    script::CScriptArray* group = pools.AllocScriptArray(shader);
    if (!group) script::RaiseScriptError("%s", Sjis("割り当て可能なCScriptArrayインスタンスがなくなりました。"));
    script::AssignCompoundToVariable(pools, shader, group);
  }
  for (const IntField& f : kShaderFields) SetMemberInt(pools, data, f.key, s.*f.field);
  SetMemberInt(pools, data, "TEXTURE_MODE", s.textureMode);
  SetMemberString(pools, data, "VIEW_MODE", s.viewMode == 1 ? "BEHIND" : "COCKPIT");
  for (const IntField& f : kFrameAndVolumeFields) SetMemberInt(pools, data, f.key, s.*f.field);
  for (int n = 0; n < kPadEntryCount; n++) {
    // Unnamed entries are left out: the array keeps a hole there.
    if (!s.padName[n][0]) continue;
    SetMemberString(pools, data, Key("PAD[%d].NAME", n).c_str(), s.padName[n]);
    for (int b = 0; b < kPadButtonCount; b++)
      SetMemberInt(pools, data, Key("PAD[%d].MAP[%d]", n, b).c_str(), s.padMap[n][b]);
    for (int k = 0; k < kPadAxisCount; k++)
      SetMemberInt(pools, data, Key("PAD[%d].FREE[%d]", n, k).c_str(), s.padFree[n][k]);
  }
  SetMemberInt(pools, data, "NETWORK.FLAG", s.networkFlag);
  for (int i = 0; i < kNetworkEntryCount; i++) {
    SetMemberInt(pools, data, Key("NETWORK.PORT[%d]", i).c_str(), s.networkPort[i]);
    SetMemberString(pools, data, Key("NETWORK.NAME[%d]", i).c_str(), s.networkName[i]);
    SetMemberString(pools, data, Key("NETWORK.URL[%d]", i).c_str(), s.networkUrl[i]);
    SetMemberString(pools, data, Key("NETWORK.TEAM[%d]", i).c_str(), s.networkTeam[i]);
  }
  SetMemberInt(pools, data, "EDITOR.V_ROT_REV", s.editorVRotRev);
  SetMemberInt(pools, data, "EDITOR.H_ROT_REV", s.editorHRotRev);
}

// Whether the settings file is there to be read: only a regular file is. A
// FIFO or a device would block the read (or never end), so it counts as
// missing. Tested without opening it.
bool IsSettingsFile(const std::string& disk) {
  struct stat st;
  return ::stat(disk.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

int LoadSettings(Engine& engine, const char* path) {
  if (!path) path = kSettingsFileName;
  if (!IsSettingsFile(platform::ResolvePath(path))) return 0;
  script::ScriptEngine& se = engine.world.scriptEngine;

  // The file's text becomes the initial value of one extern object, so the
  // settings file is read like any other data file of the engine.
  char escaped[kIncludePathBytes];
  script::EscapeStringBounded(escaped, path, kIncludePathBytes);
  std::string source = std::string("extern object ") + kSettingsGlobal + "=\r\n#include\"" + escaped + "\"\r\n;\r\n";

  engine.log.WriteLog(Sjis("オプション設定ファイル解釈処理開始\n"), kLogInfo);
  // The memory text is named by the path's file name: its folder is then
  // the working folder, which the "#include" path is relative to.
  if (!se.LoadScriptMemory(source.c_str(), FileNameOf(path))) {
    platform::ShowMessageBox(se.GetErrorListText().c_str(), "CompileError", platform::kMbOk);
    se.WriteCompileResults();
    return 0;
  }
  engine.log.WriteLog(Sjis("オプション設定ファイル取込処理開始\n"), kLogInfo);
  // A global that holds no object (the file went on to redefine the name)
  // is no settings object either: its payload is not read as one.
  const script::CScriptValue* data = script::FollowRefer(engine.world.FindScriptGlobal(kSettingsGlobal));
  const script::CScriptArray* object = data && data->type == script::kValueCompound ? data->data.array : nullptr;
  if (!object) {
    platform::ShowMessageBox(Sjis("オプション設定データ[__system_option_data__]が存在しません。"), kEngineCaption,
                             platform::kMbOk | platform::kMbIconWarning);
    return 0;
  }
  ReadSettingsObject(object, &engine.settings);
  return 1;
}

int SaveSettings(Engine& engine, const char* path) {
  if (!path) path = kSettingsFileName;
  script::ScriptPools& pools = engine.world.scriptEngine.pools;

  script::CScriptArray* data = pools.AllocScriptArray(nullptr);
  if (!data) return 0;  // the pool has shown its exhaustion box
  std::string text;
  try {
    BuildSettingsObject(pools, data, engine.settings);
    text = script::WriteCompoundText(data, 1);
  } catch (const script::ScriptError& e) {
    // The pools ran out while the object was built: nothing is written, so
    // the file on disk keeps the last complete settings.
    engine.log.WriteLogf(kLogError, "%s\n", e.text.c_str());
    pools.ReleaseScriptArray(data);
    return 0;
  }
  pools.ReleaseScriptArray(data);

  // Written beside the old file and renamed over it only once complete: a
  // full disk or a failing write leaves the user's last settings whole. The
  // text goes out with its terminating zero byte.
  std::string disk = platform::ResolvePath(path);
  std::string why;
  if (!platform::WriteWholeFile(disk.c_str(), text.c_str(), text.size() + 1, &why)) {
    engine.log.WriteLogf(kLogError, Sjis("オプション設定ファイル\"%s\"が書き込めません(%s)\n"), path, why.c_str());
    platform::ShowMessageBox(Sjis("オプション設定ファイルの書き込みオープンに失敗しました。"), "", platform::kMbOk);
  }
  return 0;
}

}  // namespace app
