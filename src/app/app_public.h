// app_public.h -- what the application shell offers: the log and the
// settings record live in core/ (every floor uses them); the shell's own
// code takes their names into its namespace.
#pragma once

#include "core/core_public.h"

namespace app {

using core::LogSystem;
using core::SettingsBlock;
using core::ResetSettings;
using core::kLogInfo;
using core::kLogMilestone;
using core::kLogError;
using core::kEngineCaption;
using core::kSettingsFileName;
using core::kLogFileName;
using core::kSystemPackageName;
using core::kSettingsVersion;
using core::kDefaultNetworkPort;
using core::kLoopbackHostName;
using core::kPadEntryCount;
using core::kPadButtonCount;
using core::kPadAxisCount;
using core::kNetworkEntryCount;
using core::kStereoNone;
using core::kStereo3dVision;
using core::kStereoOstraColour;
using core::kStereoOstraSideBySide;
using core::kStereoOculusVr;
using core::kNetworkOff;
using core::kNetworkClient;
using core::kNetworkServer;

}  // namespace app
