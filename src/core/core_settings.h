// core_settings.h -- the settings record read from and written to
// "tkw4.dat", and the engine's fixed names and limits that go with it. Every
// subsystem reads the record; the shell (app/) owns, loads and saves it.
#pragma once

#include <cstdint>

namespace core {


// The engine's name and version as its windows and boxes show them.
inline constexpr const char* kEngineCaption = "Tarnwick4.22";
inline constexpr const char* kSettingsFileName = "tkw4.dat";
inline constexpr const char* kLogFileName = "system.log";
inline constexpr const char* kSystemPackageName = "ZadAzorad.pac";

// The settings are valid only with exactly this version word.
inline constexpr int32_t kSettingsVersion = 20130331;
inline constexpr int32_t kDefaultNetworkPort = 17328;
// The default server address: the loopback address, this machine itself,
// without asking the resolver for the machine's own name.
inline constexpr const char* kLoopbackHostName = "127.0.0.1";

inline constexpr int kPadEntryCount = 8;
inline constexpr int kPadButtonCount = 128;
inline constexpr int kPadAxisCount = 6;
inline constexpr int kNetworkEntryCount = 10;

// Stereo types ("SCREEN.STEREO_TYPE").
enum : uint8_t {
  kStereoNone = 0,
  kStereo3dVision = 1,
  kStereoOstraColour = 2,
  kStereoOstraSideBySide = 3,
  kStereoOculusVr = 4,
};

// Network modes ("NETWORK.FLAG").
enum : int32_t { kNetworkOff = 0, kNetworkClient = 1, kNetworkServer = 2 };

// The user settings, read from and written to "tkw4.dat". Every subsystem
// reads it; the start-up sequence, the start-up dialog, the pad assignment
// and the scripts' option calls write it. Text fields are Shift-JIS with a
// terminating zero and have the widths the settings file has always had.
struct SettingsBlock {
  int32_t version;                 // "VER"
  char startFile[260];             // "RSP_FILE": the start script, no folder
  char StartFolder[260];           // the chosen game's folder (not stored)
  char StartPackage[260];          // the chosen game's package (not stored)
  int32_t screenMode;              // "SCREEN.MODE": 1 full screen, 0 window
  int16_t adapter;                 // "SCREEN.ADAPTER"
  int16_t width;                   // "SCREEN.WIDTH"
  int16_t height;                  // "SCREEN.HEIGHT"
  int8_t displayInch;              // "SCREEN.DISPLAY_INCH"
  uint8_t stereoType;              // "SCREEN.STEREO_TYPE"
  int32_t shaderFlag;              // "SHADER.FLAG"
  int32_t shadow;                  // "SHADER.SHADOW"
  int32_t highDef;                 // "SHADER.HIGHDEF"
  int32_t multiLight;              // "SHADER.MULTI_LIGHT"
  int32_t mirror;                  // "SHADER.MIRROR"
  int32_t bump;                    // "SHADER.BUMP"
  int32_t glare;                   // "SHADER.GLARE"
  int32_t bloom;                   // "SHADER.BLOOM"
  int32_t aeroLight;               // "SHADER.AERO_LIGHT"
  int32_t textureMode;             // "TEXTURE_MODE"
  int32_t viewMode;                // "VIEW_MODE": 1 behind, 0 cockpit
  int32_t fps;                     // "FPS": 0..3 for 60, 30, 20, 15
  int32_t drawFps;                 // "DRAW_FPS": non-zero shows the overlay
  int32_t bgmVolume;               // "BGM_VOLUME", 1/100 dB
  int32_t seVolume;                // "SE_VOLUME", 1/100 dB
  int32_t voiceVolume;             // "VOICE_VOLUME", 1/100 dB
  int32_t padFree[kPadEntryCount][kPadAxisCount];      // "PAD[%d].FREE[%d]"
  char padName[kPadEntryCount][128];                   // "PAD[%d].NAME"
  uint8_t padMap[kPadEntryCount][kPadButtonCount];     // "PAD[%d].MAP[%d]", 255 unmapped
  int32_t networkFlag;                                 // "NETWORK.FLAG"
  int32_t networkPort[kNetworkEntryCount];             // "NETWORK.PORT[%d]"
  char networkName[kNetworkEntryCount][20];            // "NETWORK.NAME[%d]"
  char networkUrl[kNetworkEntryCount][100];            // "NETWORK.URL[%d]"
  char networkTeam[kNetworkEntryCount][20];            // "NETWORK.TEAM[%d]"
  int32_t editorVRotRev;                               // "EDITOR.V_ROT_REV"
  int32_t editorHRotRev;                               // "EDITOR.H_ROT_REV"
};

// Zeroes the block and sets the defaults of a fresh installation.
void ResetSettings(SettingsBlock* settings);

}  // namespace core
