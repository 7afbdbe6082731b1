// api_registry.cpp -- registration of the engine's system calls with the
// world's script engine, and the dispatch by name that every handler uses.

#include "api/api_args.h"
#include "api/api_local.h"
#include "api/api_public.h"
#include "world/world_public.h"

namespace api {

// [SECTION] Dispatch

CallIndex::CallIndex(const CallEntry* entries, size_t count) {
  byName_.reserve(count);
  for (size_t i = 0; i < count; i++) byName_.emplace(entries[i].name, &entries[i]);
}

const CallEntry* CallIndex::Find(std::string_view name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

script::SystemCallResult* DispatchCall(const CallIndex& index, const script::SystemCallResult& preset,
                                       script::SystemCallResult* result, const script::SystemCallContext& context,
                                       script::SystemCallArgument* args, char* scratch) {
  *result = preset;
  const char* name = context.callName ? context.callName : "";
  const CallEntry* entry = index.Find(name);
  if (!entry) return result;
  if (!entry->function) RaiseNotAvailable(name);
  Call call;
  call.result = result;
  call.context = &context;
  call.args = args;
  call.scratch = scratch;
  call.world = context.engine ? static_cast<world::GameWorld*>(context.engine->host) : nullptr;
  call.name = name;
  entry->function(call);
  return result;
}

// [SECTION] The nine handlers

const CallTable* SystemCallTables(size_t* count) {
  static const CallTable kTables[] = {
      {"HandleGeneralSystemCall", HandleGeneralSystemCall, kGeneralCalls, kGeneralCallCount},
      {"HandleFileSystemCall", HandleFileSystemCall, kFileCalls, kFileCallCount},
      {"HandleGetterSystemCall", HandleGetterSystemCall, kGetterCalls, kGetterCallCount},
      {"HandleNetworkSystemCall", HandleNetworkSystemCall, kNetworkCalls, kNetworkCallCount},
      {"HandleSetterSystemCall", HandleSetterSystemCall, kSetterCalls, kSetterCallCount},
      {"HandleSaveSystemOption", HandleSaveSystemOption, kSaveOptionCalls, kSaveOptionCallCount},
      {"HandleWindowSystemCall", HandleWindowSystemCall, kWindowCalls, kWindowCallCount},
      {"HandleVrSystemCall", HandleVrSystemCall, kVrCalls, kVrCallCount},
      {"HandleVectorSystemCall", HandleVectorSystemCall, kVectorCalls, kVectorCallCount},
  };
  if (count) *count = sizeof kTables / sizeof kTables[0];
  return kTables;
}

// [SECTION] Registration

void RegisterSystemCalls(world::GameWorld& world, platform::Window* window) {
  // 1. Everything the engine held goes: code, threads, names, registry.
  world.scriptEngine.ClearScriptEngine();
  // 2. The built-ins; a null window keeps the one stored before.
  world.scriptEngine.ResetScriptEngine(window, nullptr);
  // 3. The engine's own calls, each name once, each with its handler.
  size_t tables = 0;
  const CallTable* table = SystemCallTables(&tables);
  for (size_t t = 0; t < tables; t++)
    for (size_t i = 0; i < table[t].count; i++)
      world.scriptEngine.RegisterSystemCall(table[t].entries[i].name, table[t].handler);
}

}  // namespace api
