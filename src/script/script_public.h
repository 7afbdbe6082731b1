// script_public.h -- the script engine as the rest of the engine sees it:
// the `ScriptEngine` record with its host operations (load and compile a
// script, run its threads, report errors) and the script records.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "script/script_records.h"

namespace app {
class LogSystem;
}
namespace core {
class FilePackageTable;
}

namespace script {

struct ScriptThread;  // a cooperative thread of the virtual machine

// ----------------------------------------------------------------------------
// Engine record groups
// ----------------------------------------------------------------------------

// One registered text of the source table.
struct SourceText {
  const char* fileName = nullptr;        // interned (see SourceTable::names)
  std::vector<const char*> lineStarts;   // first character of every line, then
                                         // the text's terminating zero; empty
                                         // once the text's lines are forgotten
  int32_t lineCount = 0;
  const char* sourceTag = nullptr;       // memory text, null for a file
};

// Every text handed to the tokeniser since the engine was last cleared, so a
// pointer into it maps back to a file and line.
struct SourceTable {
  std::vector<SourceText> entries;
  // One copy of every file name in use; positions point at these, so equal
  // names are equal pointers. Node-based: the strings never move.
  std::unordered_set<std::string> names;
  size_t lastFound = 0;  // entry of the last lookup, tried first
};

// One compile error: the message and a copy of its position (whose file name
// points at this slot's own copy).
struct CompileError {
  std::string message;
  std::string fileName;
  SourcePosition position;
};

// The compile-error list: at most 128 errors; later ones are dropped.
struct ScriptErrorList {
  static constexpr int kMaxErrors = 128;
  std::array<CompileError, kMaxErrors> slots;  // [0, count) in use
  int count = 0;
};

// One "#define": slots are filled in order and freed only all together. An
// "#undef" empties the name but keeps the slot in use.
struct DefineSlot {
  std::string name;
  std::string text;
  bool expanding = false;  // being replaced right now (stops self-reference)
};

struct DefineTable {
  static constexpr int kMaxDefines = 1024;
  std::vector<DefineSlot> slots;  // the slots in use, in definition order
  // The slots of each name in slot order; the first is the one found.
  std::unordered_map<std::string, std::vector<int32_t>> byName;
};

// The files of one compile, in order; "#link" appends more.
struct LinkEntry {
  std::string path;        // resolved path (or the name of a memory text)
  bool inMemory = false;
  std::string text;        // the memory text; words' source tags point into it
};

struct LinkList {
  std::deque<LinkEntry> entries;  // a deque: entries never move
  int32_t current = 0;            // index of the file being compiled
};

// Global and per-thread namespaces.
struct ScriptNamespaces {
  CScriptArray* global = nullptr;        // made on first use
  std::vector<CScriptArray*> threadTop;  // innermost local namespace per thread index
  int32_t currentLink = 0;               // linked file whose file-level names resolve
  int32_t currentThread = -1;            // -1: global only
};

// Break and continue labels of the open loops (64 pairs; "" = free).
struct LoopLabelStack {
  static constexpr int kDepth = 64;
  char breakLabels[kDepth][16] = {};
  char continueLabels[kDepth][16] = {};
};

// One frame of a run-time error's call list.
struct CallListEntry {
  std::string functionName;
  bool hasPosition = false;  // false for a thread's root frame
  SourcePosition position;
};

// The world's way to name the path point whose generated event script a
// source tag is: true and the point's label when found.
struct PathPointLookup {
  bool (*find)(void* user, const char* script, std::string* label) = nullptr;
  void* user = nullptr;
};

// ----------------------------------------------------------------------------
// ScriptEngine
//
// The compiler and virtual machine in one record, embedded in the world. It
// is cleared (ClearScriptEngine) and reset (ResetScriptEngine) before every
// load of a start script; a load adds the file to the link list and compiles
// it. Main thread only.
// ----------------------------------------------------------------------------

class ScriptEngine {
 public:
  ScriptEngine();
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Wired by the engine record.
  app::LogSystem* log = nullptr;
  core::FilePackageTable* files = nullptr;  // scripts and includes are read
                                            // through it (null: the disk only)
  PathPointLookup pathPoints;               // wired by the world

  // --- Host operations ------------------------------------------------------

  // Loads and compiles a script file and the files it links. 1 when the
  // compile-error list is empty, else 0.
  int LoadScript(const char* path);
  // The same for a text held in memory; `name` gives messages their file
  // name and relative "#include" paths their folder.
  int LoadScriptMemory(const char* text, const char* name);
  // Adds a file (null text) or a memory text to the link list, resolved
  // against the current script folder; a file already listed (names compared
  // without case) is not added again. Returns the stored path.
  const char* AddLinkedScript(const char* text, const char* name);
  const char* AddLinkedFileDefault(const char* name) { return AddLinkedScript(nullptr, name); }

  // Runs one slice of every live thread. 1 when a live thread was found,
  // -1 when none was, 0 after a run-time error.
  int RunScriptStep();

  // The compile errors as text: per error its frame text, the message and
  // CR LF ("" when there are none).
  std::string GetErrorListText() const;
  // The run-time error with its call list as text ("" when there is none).
  std::string GetCallListText() const;
  // One position as "name(%d行目)-"; "[Called as a thread.]-" for null; ""
  // for a position without a file name.
  std::string FormatCallFrame(const SourcePosition* position) const;

  // Writes "CompileError.txt" (and, when there are errors, the listing
  // "CompiledCode.txt" and "CompiledValue.txt"). Returns the length of the
  // error text, 0 on success.
  int WriteCompileResults();
  // Writes "RuntimeError.txt" and shows the error. Without a stored run-time
  // error it writes and shows nothing and returns 0.
  int WriteRuntimeError();

  // Empties the engine: threads, registry, link list, defines, namespaces,
  // every pool record, the error list and the source table. Returns 1.
  int ClearScriptEngine();
  // Readies the emptied engine for a compile. Non-null host values (the
  // dialogs' owner window, the program instance) replace the stored ones.
  void ResetScriptEngine(void* ownerWindow, void* programInstance);

  // A global variable of the compiled scripts, or null.
  CScriptValue* FindGlobal(const char* name);
  // The value read as a float after refer links (0 for null and for values
  // that are not numbers or strings).
  static float ValueToFloat(const CScriptValue* value);

  // --- The record's groups, in order ----------------------------------------

  SourceTable sources;          // every tokenised text (script_source.cpp)
  ScriptErrorList errors;       // the compile errors

  CScriptLiteral* tokenHead = nullptr;  // the preprocessor's output
  CScriptLiteral* tokenTail = nullptr;
  CScriptLiteral* codeHead = nullptr;   // the compiled code list
  CScriptLiteral* codeCursor = nullptr; // where the next code word goes
  int32_t labelCounter = 0;             // for "*L%04d" labels; 0 at every reset

  // The folder relative paths are resolved against: the working folder at
  // reset, the folder of the file being read while it is read.
  std::string currentFolder;

  std::array<int32_t, 128> precedence{};  // OperatorLevel by kind, filled at reset

  ScriptNamespaces namespaces;
  int32_t resetWord = 0;        // cleared at reset
  std::string workString;       // dotted name of the function being compiled
  DefineTable defines;          // freed after each linked file
  LinkList links;
  std::vector<CScriptValue*> autorun;  // `autorun` functions in declaration order
  NameTree registry;            // system-call names and their handlers
  SignatureTree signatures;
  std::vector<ScriptThread*> threads;  // the thread table
  std::vector<CallListEntry> callList; // of the last run-time error
  void* ownerWindow = nullptr;         // owner of the file and folder dialogs
  void* programInstance = nullptr;
  LoopLabelStack loopLabels;

  // Preprocessor nesting, to stop runaway includes and expansions.
  int32_t includeDepth = 0;
  int32_t preprocessDepth = 0;
  bool outOfWords = false;  // the word pool is exhausted: reading stops

  // The records of scripts: words, values and compounds.
  ScriptPools pools;
};

}  // namespace script
