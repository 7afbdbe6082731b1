// api_local.h -- the system-call handlers' files, registered together by
// api_registry.cpp.
#pragma once

#include "script/script_public.h"

namespace api {

// The data-loading calls: the unit and map masters, terrain and placement
// data, and the groups of placed units.
void RegisterSceneCalls(script::ScriptEngine& se);

}  // namespace api
