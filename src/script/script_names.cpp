// script_names.cpp -- names at compile time and run time: qualified names,
// defining and looking up variables in the thread and global namespaces,
// jump targets, the autorun threads and the call list of an error report.

#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Qualified names
//
// A name declared inside a function is "function.link.name" (main.0.x), a
// file-level name without extern is "link.name" (1.count, private to its
// linked file), an extern name is plain. Lookups fall back from the most
// qualified form to the plain one, so code sees its function's statics,
// its file's names and the extern names, in that order.
// ----------------------------------------------------------------------------

std::string MakeQualifiedName(const char* function, int32_t link, const char* name) {
  std::string out;
  if (function && *function) out = function;
  if (link >= 0) {
    if (!out.empty()) out += '.';
    char digits[16];
    int count = 0;
    uint32_t n = uint32_t(link);
    do {
      digits[count++] = char('0' + n % 10);
      n /= 10;
    } while (n);
    while (count) out += digits[--count];
  }
  if (name && *name) {
    if (!out.empty()) out += '.';
    out += name;
  }
  return out;
}

namespace {

const char* LastComponent(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot ? dot + 1 : name;
}

bool StartsWithDigitComponent(const char* s) {
  if (!(*s >= '0' && *s <= '9')) return false;
  while (*s >= '0' && *s <= '9') s++;
  return *s == '.' || *s == '\0';
}

// The current thread's innermost local namespace, or null.
CScriptArray* ThreadNamespace(ScriptEngine& se) {
  int32_t t = se.namespaces.currentThread;
  if (t < 0 || size_t(t) >= se.namespaces.threadTop.size()) return nullptr;
  return se.namespaces.threadTop[size_t(t)];
}

}  // namespace

CScriptArray* GlobalNamespace(ScriptEngine& se) {
  if (!se.namespaces.global) {
    se.namespaces.global = NewCompound(se.pools, nullptr);
    se.namespaces.global->kind = kCompoundObject;
    se.namespaces.global->memberIndex = std::make_unique<MemberIndex>();
    // Room for the labels and names of a large script without rehashing.
    se.namespaces.global->memberIndex->names.reserve(1 << 12);
  }
  return se.namespaces.global;
}

// ----------------------------------------------------------------------------
// Defining and looking up
// ----------------------------------------------------------------------------

CScriptValue* DefineVariable(ScriptEngine& se, const char* name, int type, int attributes, uint64_t nameBit) {
  CScriptArray* global = GlobalNamespace(se);
  CScriptArray* local = ThreadNamespace(se);
  CScriptArray* space = local ? local : global;
  const char* key = local ? LastComponent(name) : name;
  // One search: a new member changes the namespace's stamp, an existing one
  // is returned as it is and takes the type here.
  uint64_t before = space->stamp;
  CScriptValue* v = AddObjectMember(se.pools, space, key, type, attributes, local ? nameBit : 0);
  if (space->stamp == before) SetValueType(se.pools, v, type, attributes);
  return v;
}

CScriptValue* LookupName(ScriptEngine& se, const char* name) {
  if (!name) return nullptr;
  if (CScriptArray* local = ThreadNamespace(se))
    if (CScriptValue* v = FindMember(local, LastComponent(name))) return v;
  return LookupGlobalName(se, name);
}

CScriptValue* LookupGlobalName(ScriptEngine& se, const char* name) {
  CScriptArray* global = se.namespaces.global;
  if (!global) return nullptr;
  if (CScriptValue* v = FindMember(global, name)) return v;
  // Without the leading function part: from the link index on (0.x).
  for (const char* dot = std::strchr(name, '.'); dot; dot = std::strchr(dot + 1, '.')) {
    if (!StartsWithDigitComponent(dot + 1)) continue;
    if (CScriptValue* v = FindMember(global, dot + 1)) return v;
    break;
  }
  const char* last = LastComponent(name);
  return last != name ? FindMember(global, last) : nullptr;
}

int LookupNameType(ScriptEngine& se, const char* name) {
  const CScriptValue* v = FollowRefer(LookupName(se, name));
  return v ? v->type : -1;
}

CScriptValue* FindGlobalVariable(ScriptEngine& se, const char* path) {
  if (!path || !*path) return nullptr;
  if (CScriptArray* local = ThreadNamespace(se))
    if (CScriptValue* v = FindMemberPath(local, path)) return v;
  CScriptArray* global = se.namespaces.global;
  if (!global) return nullptr;
  // The file-level form: the first step carries the link index ("0.x"),
  // the rest of the path walks from there.
  size_t first = std::strcspn(path + 1, ".[") + 1;
  std::string fileLevel = std::to_string(se.namespaces.currentLink) + "." + std::string(path, first);
  if (CScriptValue* v = FindMember(global, fileLevel.c_str())) {
    if (!path[first]) return v;
    const CScriptValue* holder = FollowRefer(v);
    if (holder && holder->type == kValueCompound && holder->data.array) {
      // "x.y" walks on at "y", "x[2]" at "[2]".
      const char* rest = path + first + (path[first] == '.' ? 1 : 0);
      if (CScriptValue* found = FindMemberPath(holder->data.array, rest)) return found;
    }
  }
  return FindMemberPath(global, path);
}

int DeleteGlobalVariable(ScriptEngine& se, CScriptValue* value) {
  if (!se.namespaces.global) return 0;
  return RemoveMember(se.pools, se.namespaces.global, value);
}

CScriptValue* DefineFunctionVariable(ScriptEngine& se, const char* name, CScriptLiteral* target) {
  CScriptArray* local = ThreadNamespace(se);
  CScriptArray* space = local ? local : GlobalNamespace(se);
  const char* key = local ? LastComponent(name) : name;
  CScriptValue* v = AddObjectMember(se.pools, space, key, kValueFunction, 0);  // or the one there
  AssignCallTarget(se.pools, v, target);
  return v;
}

void MarkVariableType6(ScriptEngine& se, CScriptValue* value) {
  CScriptValue* v = FollowRefer(value);
  if (v && v->type == kValueUndefined) SetValueType(se.pools, v, kValueSystemCall, v->attributes);
}

CScriptValue* DeclareType6Variable(ScriptEngine& se, const char* name) {
  CScriptValue* v = LookupName(se, name);
  if (!v) v = DefineVariable(se, name, kValueUndefined, 0);
  MarkVariableType6(se, v);
  return v;
}

CScriptValue* ScriptEngine::FindGlobal(const char* name) {
  int32_t savedThread = namespaces.currentThread;
  namespaces.currentThread = -1;
  CScriptValue* v = FindGlobalVariable(*this, name);
  namespaces.currentThread = savedThread;
  return v;
}

int ScriptEngine::ReleaseGlobal(CScriptValue* value) { return value ? DeleteGlobalVariable(*this, value) : 0; }

// ----------------------------------------------------------------------------
// Jump targets
// ----------------------------------------------------------------------------

namespace {

ScriptThread* ThreadAt(ScriptEngine& se, int32_t thread) {
  if (thread < 0 || size_t(thread) >= se.threads.size()) return nullptr;
  return se.threads[size_t(thread)];
}

}  // namespace

void ResolveFunctionTarget(ScriptEngine& se, CScriptValue* function, int32_t thread) {
  const CScriptValue* v = FollowRefer(function);
  const char* name = function ? function->text.c_str() : "";
  if (!v || (v->type != kValueFunction && v->type != kValueSystemCall))
    RaiseScriptError(Sjis("関数名ではない字句[%s]にジャンプしようとしています。"), name);
  if (!v->data.word) RaiseScriptError(Sjis("関数[%s]の実体が見つかりません。"), name);
  if (ScriptThread* t = ThreadAt(se, thread)) t->currentWord = v->data.word->next;
}

void ResolveLabelTarget(ScriptEngine& se, const char* label, int32_t thread) {
  const CScriptValue* v = FollowRefer(LookupName(se, label));
  if (!v) RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が存在しません。"), label);
  if (v->type != kValueFunction && v->type != kValueSystemCall)
    RaiseScriptError(Sjis("ラベル名ではない字句[%s]にジャンプしようとしています。"), label);
  if (!v->data.word) RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が存在しません。"), label);
  if (ScriptThread* t = ThreadAt(se, thread)) t->currentWord = v->data.word->next;
}

// ----------------------------------------------------------------------------
// Autorun threads and the call list
// ----------------------------------------------------------------------------

int StartAutorunThreads(ScriptEngine& se) {
  int started = 0;
  for (CScriptValue*& function : se.autorun) {
    if (!function) continue;
    CScriptValue* f = function;
    function = nullptr;
    CreateScriptThread(se, f, 0);
    started++;
  }
  se.autorun.clear();
  return started;
}

void BuildCallList(ScriptEngine& se, int32_t thread) {
  ScriptThread* t = ThreadAt(se, thread);
  if (!t) return;
  int32_t savedThread = se.namespaces.currentThread;
  se.namespaces.currentThread = thread;
  try {
    while (t->calls.end > 0) {
      std::string name = PopLocalNamespace(se);
      // "[n]" of a thread's root namespace, then the part after the last ".".
      if (!name.empty() && name[0] == '[') {
        size_t close = name.find(']');
        if (close != std::string::npos) name.erase(0, close + 1);
      }
      size_t dot = name.rfind('.');
      if (dot != std::string::npos) name.erase(0, dot + 1);
      CScriptLiteral* word = StackPop(t->calls);
      CallListEntry entry;
      entry.functionName = name;
      if (word->kind == kWordFunctionConstant && word->payload.word) {
        entry.hasPosition = true;
        entry.position = word->payload.word->position;
      }
      se.callList.push_back(entry);
    }
  } catch (const ScriptError&) {
    // A namespace stack that runs out first ends the list.
  }
  se.namespaces.currentThread = savedThread;
}

const CallListEntry* GetCallListEntry(const ScriptEngine& se, int32_t index) {
  if (index < 0 || size_t(index) >= se.callList.size()) return nullptr;
  return &se.callList[size_t(index)];
}

}  // namespace script
