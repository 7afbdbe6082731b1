// app_settings_dump.h -- the fields of a settings block that the settings
// file stores, one line each, so that two blocks compare with a readable
// difference.
#pragma once

#include <string>

#include "app/app_public.h"

namespace apptest {

// Every field the file holds, as "KEY=value" lines. The maps and dead
// zones of a pad entry without a name are left out: the file does not hold
// them either.
inline std::string DumpStoredFields(const app::SettingsBlock& s) {
  std::string out;
  auto line = [&out](const std::string& key, const std::string& value) { out += key + "=" + value + "\n"; };
  auto text = [](const char* field, size_t size) { return "\"" + std::string(field, strnlen(field, size)) + "\""; };
  auto number = [](long long v) { return std::to_string(v); };
  line("VER", number(s.version));
  line("RSP_FILE", text(s.startFile, sizeof s.startFile));
  line("SCREEN.MODE", number(s.screenMode));
  line("SCREEN.ADAPTER", number(s.adapter));
  line("SCREEN.WIDTH", number(s.width));
  line("SCREEN.HEIGHT", number(s.height));
  line("SCREEN.DISPLAY_INCH", number(s.displayInch));
  line("SCREEN.STEREO_TYPE", number(s.stereoType));
  line("SHADER.FLAG", number(s.shaderFlag));
  line("SHADER.SHADOW", number(s.shadow));
  line("SHADER.HIGHDEF", number(s.highDef));
  line("SHADER.MULTI_LIGHT", number(s.multiLight));
  line("SHADER.MIRROR", number(s.mirror));
  line("SHADER.BUMP", number(s.bump));
  line("SHADER.GLARE", number(s.glare));
  line("SHADER.BLOOM", number(s.bloom));
  line("SHADER.AERO_LIGHT", number(s.aeroLight));
  line("TEXTURE_MODE", number(s.textureMode));
  line("VIEW_MODE", number(s.viewMode));
  line("FPS", number(s.fps));
  line("DRAW_FPS", number(s.drawFps));
  line("BGM_VOLUME", number(s.bgmVolume));
  line("SE_VOLUME", number(s.seVolume));
  line("VOICE_VOLUME", number(s.voiceVolume));
  for (int n = 0; n < app::kPadEntryCount; n++) {
    std::string pad = "PAD[" + std::to_string(n) + "]";
    line(pad + ".NAME", text(s.padName[n], sizeof s.padName[n]));
    if (!s.padName[n][0]) continue;
    std::string map, freeZones;
    for (int b = 0; b < app::kPadButtonCount; b++) map += (b ? "," : "") + number(s.padMap[n][b]);
    for (int k = 0; k < app::kPadAxisCount; k++) freeZones += (k ? "," : "") + number(s.padFree[n][k]);
    line(pad + ".MAP", map);
    line(pad + ".FREE", freeZones);
  }
  line("NETWORK.FLAG", number(s.networkFlag));
  for (int i = 0; i < app::kNetworkEntryCount; i++) {
    std::string index = "[" + std::to_string(i) + "]";
    line("NETWORK.PORT" + index, number(s.networkPort[i]));
    line("NETWORK.NAME" + index, text(s.networkName[i], sizeof s.networkName[i]));
    line("NETWORK.URL" + index, text(s.networkUrl[i], sizeof s.networkUrl[i]));
    line("NETWORK.TEAM" + index, text(s.networkTeam[i], sizeof s.networkTeam[i]));
  }
  line("EDITOR.V_ROT_REV", number(s.editorVRotRev));
  line("EDITOR.H_ROT_REV", number(s.editorHRotRev));
  return out;
}

}  // namespace apptest
