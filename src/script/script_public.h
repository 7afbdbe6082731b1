// script_public.h -- the script engine as the rest of the engine sees it:
// the `ScriptEngine` record with its host operations (load and compile a
// script, run its threads, report errors) and the script records.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/platform_math.h"
#include "script/script_records.h"

namespace core {
class LogSystem;
class FilePackageTable;
}  // namespace core

namespace script {

// ----------------------------------------------------------------------------
// Errors raised as one text
//
// Compile-time and run-time errors that are not simply listed travel as one
// Shift-JIS message text. The compiler catches them per statement and lists
// them; the virtual machine's frame step catches them and ends the threads.
// ----------------------------------------------------------------------------

struct ScriptError {
  std::string text;
};

// Throws a ScriptError with the printf-formatted (Shift-JIS) text.
[[noreturn]] void RaiseScriptError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ----------------------------------------------------------------------------
// Threads
//
// A cooperative thread: two word stacks and where it stands in the code.
// The virtual machine runs them; the compiler starts the autorun functions
// as threads, and error reports read their call state.
// ----------------------------------------------------------------------------

// A stack of reusable words, at most kCapacity deep. Entries are records of
// the word pool taken the first time a depth is reached and kept: a push
// overwrites the record at the end, a pop leaves the popped record readable
// until the next push. The entry table grows with the deepest depth reached
// (a thread that never goes deep costs little), so a push allocates only at
// a new depth. A stack word of kind 14 owns its compound: overwriting the
// record gives it back to the pool.
struct WordStack {
  static constexpr int32_t kCapacity = 65536;
  std::vector<CScriptLiteral*> entries;  // records of every depth reached so far
  int32_t end = 0;                       // the first free entry
};

// One cooperative thread. Records are made on first use of a table slot and
// never freed while the engine lives; an ended thread's slot is reused, and
// its stacks are given back (EndThread) or reset (creation) first.
struct ScriptThread {
  WordStack data;                        // operands and results
  CScriptLiteral* currentWord = nullptr; // the next word to run; null: ended (free slot)
  WordStack calls;                       // return words; bottom: an int 0 (root marker)
  int32_t wait = 0;                      // >0 skip that many steps, <0 end at the next slice
  int32_t orderKey = 0;                  // smaller keys run first in a step
  int32_t runWhilePaused = 0;            // non-zero: also runs while the world is paused
};

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
  int32_t lastLine = 0;  // its line index: lookups mostly move forward a line at a time
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

// Break and continue labels of the open loops, innermost last. Room for 64
// pairs is made at reset; deeper nesting grows it, so every loop keeps its
// own targets however deep it stands.
struct LoopLabelStack {
  static constexpr int kDepth = 64;
  std::vector<std::string> breakLabels;
  std::vector<std::string> continueLabels;
};

// Where the compiler stands: the token being read (errors raised inside a
// statement are listed at its position and the compile goes on from it),
// and the nesting of statements and expressions, bounded so that runaway
// input ends in an error rather than a stack overflow.
struct CompileState {
  CScriptLiteral* token = nullptr;
  int32_t depth = 0;
  // Records of tokens already compiled, linked by `next`: the compiler
  // takes its new words from them before the pool.
  CScriptLiteral* spareWords = nullptr;
  // "function.link." of the names being qualified, for the function and
  // link it was made for (remade when either changes).
  std::string prefix;
  std::string prefixFunction;
  int32_t prefixLink = -1;
};

// One frame of a run-time error's call list.
struct CallListEntry {
  std::string functionName;
  bool hasPosition = false;  // false for a thread's root frame
  SourcePosition position;
};

// The first run-time error since the last reset (SetRunErrorOnce). Its
// position points at the engine's interned file name and memory text, which
// live until the engine is cleared; the error goes with them.
struct RunError {
  bool stored = false;
  std::string text;
  bool hasPosition = false;  // false when no word was executing
  SourcePosition position;   // of the word that was executing
};

// The virtual machine's state beside the threads (script_vm.cpp).
struct RunState {
  // Instructions one slice may run before the endless-loop error.
  static constexpr int32_t kInstructionLimit = 100000000;
  int32_t instructionLimit = kInstructionLimit;  // tests and fuzzing lower it
  // Checks every cached name or label link against a fresh lookup and
  // aborts on a difference (tests and fuzzing switch it on).
  bool verifyLinks = false;
  // Runs of words execute as one step, functions' entry words keep the
  // namespaces of returned calls, and small objects given back during a
  // frame are kept for its next copies and literals (ScriptPools::
  // spareObjects). Tests switch them off to compare with plain word-by-word
  // runs, which must give the same results.
  bool runSteps = true;
  bool reuseNamespaces = true;
  bool keepObjects = true;
  // What `exit_application` calls; null: the runtime's exit (exit handlers
  // run). Fuzzing replaces it.
  void (*exitApplication)(int code) = nullptr;
  // Longest text the string operators build; a longer one is an error
  // rather than a runaway allocation.
  size_t maxTextBytes = size_t(1) << 26;
  // Thread table entries creation may grow to; past it creation fails as
  // when no record can be had. Fuzzing lowers it.
  int32_t threadLimit = INT32_MAX;

  RunError error;

  // The code list's version: it grows whenever a word is linked into or
  // dropped from the code list, and every decoded word and step of an older
  // version is decoded again when it next runs. `steps` holds the steps of
  // version `stepsEpoch` (a deque: a step never moves while it is kept).
  uint64_t codeEpoch = 1;
  uint64_t stepsEpoch = 0;
  std::deque<CodeStep> steps;

  // Buffers of one frame step, freed when it ends: the system calls'
  // conversion buffers (one per argument position) and scratch buffer, the
  // string operators' text, and the folder handed to a handler.
  std::array<std::string, kSystemCallArguments> conversion;
  std::vector<char> scratch;
  std::string text;
  std::string callFolder;

  // Within a step: the file of the previous word (forgotten at each step's
  // start), the word being executed (errors are placed at it) and the
  // thread whose slice runs (-1 between slices).
  const char* lastFile = nullptr;
  const CScriptLiteral* executing = nullptr;
  int32_t runningThread = -1;
};

// The world's way to name the path point whose generated event script a
// source tag is: true and the point's label when found. The first label an
// error text is traced to goes to `errorLabel` (the world's, which the
// editor reads) while that is still empty.
struct PathPointLookup {
  bool (*find)(void* user, const char* script, std::string* label) = nullptr;
  void* user = nullptr;
  std::string* errorLabel = nullptr;
};

// Where the run-time error window opens: the message windows live above the
// script engine, so the engine record hands it this callback. `show` gets
// the whole text (the error and the hint); a null `show` opens nothing.
struct ErrorWindowOpener {
  void (*show)(void* user, const char* text) = nullptr;
  void* user = nullptr;
};

// Where the engine's warnings also go (the log always has them): a tool
// without a log prints them. A null `show` sends them nowhere else.
struct WarningSink {
  void (*show)(void* user, const char* text) = nullptr;
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
  core::LogSystem* log = nullptr;
  core::FilePackageTable* files = nullptr;  // scripts and includes are read
                                            // through it (null: the disk only)
  ErrorWindowOpener errorWindow;           // where the run-time error window
                                            // opens (wired by the engine record)
  const int* editorMode = nullptr;          // the program's `EditorMode` (null: 0)
  PathPointLookup pathPoints;               // wired by the world
  WarningSink warnings;                     // wired by tools without a log
  // Source files already warned about (once a file per clear).
  std::set<std::string> warnedFiles;
  void* host = nullptr;                     // the record that embeds the engine
                                            // (the world), for system calls

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
  // -1 when none was, 0 after a run-time error (then "RuntimeError.txt",
  // "CompiledCode.txt" and "CompiledValue.txt" are written).
  int RunScriptStep();

  // --- Virtual machine (script_vm.cpp) --------------------------------------

  // One step of every thread: each thread runs one slice, in ascending order
  // key, until it waits or ends; threads created during the step run in it.
  // With `paused` non-zero only threads flagged to run while paused run.
  // Returns the number of live threads picked, or -1 after a run-time error:
  // the first error is stored with its position, the failing thread's call
  // list is recorded and every thread ends.
  int RunScriptFrame(int paused);
  // Stores an error text and its position unless one is stored already.
  void SetRunErrorOnce(const char* text, const SourcePosition* position);

  // --- System calls (script_syscall.cpp) ------------------------------------

  // Registers a handler under a name (case-sensitive); a name registered
  // again takes the new handler. Returns 1. The registry is emptied by
  // ClearScriptEngine and ResetScriptEngine.
  int RegisterSystemCall(const char* name, SystemCallHandler handler);
  // The registry node of a name, or null.
  NameTreeNode* FindSystemCall(const char* name);
  // The handler registered under a name, or null.
  SystemCallHandler FindSystemCallHandler(const char* name);

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
  // Writes the global namespace to `path` in the indented object text form
  // followed by two zero bytes: "CompiledValue.txt", and "RuntimeValue.txt"
  // that the world's frame writes after a run-time error.
  void WriteVariableTableFile(const char* path);
  // The text of that file.
  std::string VariableTableText();
  // Writes "RuntimeError.txt" (the call-list text) and opens the error
  // window over the whole 2D layer with the text and a hint: in edit mode
  // how to return to the editor, otherwise whom to send the file to. No
  // window opens when none is free (or none is wired). Returns the length of
  // the call-list text. Without a stored run-time error it writes and shows
  // nothing and returns 0: a clean run leaves no error file or window.
  int WriteRuntimeError();
  // Writes the compiled code's listing to `path` ("CompiledCode.txt" that
  // the world writes at its reset and after a run-time error).
  void WriteCodeListingFile(const char* path);

  // Empties the engine: threads, registry, link list, defines, namespaces,
  // every pool record, the error list and the source table. Returns 1.
  int ClearScriptEngine();
  // Readies the emptied engine for a compile and registers the built-in
  // calls (maths, strings and console, message box, files). Non-null host
  // values (the dialogs' owner window, the program instance) replace the
  // stored ones.
  void ResetScriptEngine(void* ownerWindow, void* programInstance);

  // A global variable of the compiled scripts, or null.
  CScriptValue* FindGlobal(const char* name);
  // Gives back a global that FindGlobal fetched: it leaves the global
  // namespace and its value goes back to the pools, so a later compile may
  // declare the name again. 1, or 0 when it was not a global.
  int ReleaseGlobal(CScriptValue* value);
  // The value read as a float after refer links (0 for null and for values
  // that are not numbers or strings).
  static float ValueToFloat(const CScriptValue* value);
  // Starts a function value (a global function) as a new thread with one int
  // argument, as `create_thread` does; the thread runs from the next slice.
  // Returns its index; raises a ScriptError text when no thread can be made
  // or the value is no function.
  int32_t StartThread(CScriptValue* function, int32_t argument);

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
  std::vector<CallListEntry> callList; // of the first run-time error
  RunState run;                        // the virtual machine's other state
  void* ownerWindow = nullptr;         // owner of the file and folder dialogs
  void* programInstance = nullptr;
  // Numbers the globals `load_object` compiles its files into; grows by one
  // with every file read and is never reset.
  int32_t loadObjectCounter = 0;
  LoopLabelStack loopLabels;

  CompileState compile;         // compile-time only

  // Preprocessor nesting, to stop runaway includes and expansions.
  int32_t includeDepth = 0;
  int32_t preprocessDepth = 0;
  bool outOfWords = false;  // the word pool is exhausted: reading stops

  // The records of scripts: words, values and compounds.
  ScriptPools pools;
  // Memory kept back for reporting that memory ran out: given up at the
  // first out-of-memory error, so the error text and its files can still
  // be made.
  std::unique_ptr<char[]> memoryReserve;
  void ReleaseMemoryReserve() { memoryReserve.reset(); }
};

// Copies `text` into `buffer` as the inside of a string literal, for the
// "#include" line that reads a data file: a backslash goes before every
// control character 7 to 13, double quote, single quote and backslash (the
// character itself follows unchanged). Two-byte characters are copied whole,
// so a second byte that happens to be a backslash is not escaped and no
// character is split. Stops before the first piece that would not fit with
// the terminator into `size` bytes; a size below 2 gives the empty text.
// Returns the length of the copy.
int EscapeStringBounded(char* buffer, const char* text, int size);

// A script path as the engine opens it: "/x" from the working folder, a
// relative path from `baseFolder` (the working folder when empty), "\\" and
// "/" both separating.
std::string ResolveScriptPath(std::string_view path, std::string_view baseFolder);

// ----------------------------------------------------------------------------
// Values and variables (script_values.cpp)
//
// Typed assignment: a variable keeps its declared type and converts what it
// is given; an untyped (`variable`) one takes the given type. Refer chains
// are followed first. Errors are raised as ScriptError texts.
// ----------------------------------------------------------------------------

// The end of a value's refer chain. Raises an error for a chain that loops.
CScriptValue* FollowRefer(CScriptValue* value);
const CScriptValue* FollowRefer(const CScriptValue* value);

// Sets type and attributes and gives the value its type's empty value (a
// compound it held goes back to the pool).
void SetValueType(ScriptPools& pools, CScriptValue* value, int type, int attributes);

void AssignIntToVariable(ScriptPools& pools, CScriptValue* variable, int32_t value);
void AssignFloatToVariable(ScriptPools& pools, CScriptValue* variable, float value);
void AssignStringToVariable(ScriptPools& pools, CScriptValue* variable, const char* text);
void AssignReference(ScriptPools& pools, CScriptValue* variable, CScriptValue* target);
// Takes the compound over: its owner becomes the variable.
void AssignCompoundToVariable(ScriptPools& pools, CScriptValue* variable, CScriptArray* array);
void AssignCallTarget(ScriptPools& pools, CScriptValue* variable, CScriptLiteral* target);

// ----------------------------------------------------------------------------
// Compound values (script_compound.cpp, script_notation.cpp)
//
// A `CScriptArray` is an array (elements by index) or an object (members by
// name). Host code reads and writes data trees by dotted member paths:
// "A.B", "A[3].B", "A.3.B", "[2]", "A[3][4]". Reading never creates.
// ----------------------------------------------------------------------------

// Largest array index an element may have. Larger ones raise an error
// rather than ask for a table of that size.
constexpr int32_t kMaxArrayIndex = (1 << 24) - 1;

// The element at `index` (negative: the first empty index), created with the
// type and attributes when missing. Raises an error on an object.
CScriptValue* AddArrayElement(ScriptPools& pools, CScriptArray* array, int32_t index, int type, int attributes);
// Elements 0 to count-1 of a compound without element slots, as
// AddArrayElement makes them one by one, in one pass.
void AddArrayElements(ScriptPools& pools, CScriptArray* array, int32_t count, int type, int attributes);
// The member `name`, created when missing. Raises an error on an array.
// `nameBit`, when not 0, is NameFilterBit of the name, known to the caller.
CScriptValue* AddObjectMember(ScriptPools& pools, CScriptArray* array, const char* name, int type, int attributes,
                              uint64_t nameBit = 0);
// The element in slot `index`, or null outside 0 to count-1.
CScriptValue* GetElement(const CScriptArray* array, int32_t index);
// The direct member `name`, or null.
CScriptValue* FindMember(const CScriptArray* array, const char* name);
// The value at a dotted path, or null. With `create`, every missing step is
// made (and a value on the way that holds no compound gets an empty one).
CScriptValue* ResolveMemberPath(ScriptPools& pools, CScriptArray* array, const char* path, bool create);
CScriptValue* FindMemberPath(const CScriptArray* array, const char* path);

// The value at the path, created with every missing step, then assigned.
CScriptValue* SetMemberString(ScriptPools& pools, CScriptArray* array, const char* path, const char* value);
CScriptValue* SetMemberInt(ScriptPools& pools, CScriptArray* array, const char* path, int32_t value);
CScriptValue* SetMemberFloat(ScriptPools& pools, CScriptArray* array, const char* path, float value);

// Typed reads after refer links: 0, 0.0 or "" when there is no element; for
// an element of another type 0, 0.0 or null. Ints read floats truncated,
// floats read ints converted.
int32_t GetElementInt(const CScriptArray* array, int32_t index);
float GetElementFloat(const CScriptArray* array, int32_t index);
const char* GetElementString(const CScriptArray* array, int32_t index);
int32_t GetMemberInt(const CScriptArray* array, const char* path);
float GetMemberFloat(const CScriptArray* array, const char* path);
const char* GetMemberString(const CScriptArray* array, const char* path);
CScriptArray* GetElementCompound(const CScriptArray* array, int32_t index);
CScriptArray* GetMemberCompound(const CScriptArray* array, const char* path);
// A member's name or an element's "[%d]" name; null outside the range.
const char* GetElementName(const CScriptArray* array, int32_t index);
// The number of element slots, empty ones included.
int32_t GetElementCount(const CScriptArray* array);

// Removes `value` from this compound or, when it is not found here, from the
// nested ones. 1 when removed.
int RemoveMember(ScriptPools& pools, CScriptArray* array, CScriptValue* value);
// Every element back to the pool; the compound becomes empty (kind 0) with
// no owner.
void ClearScriptArray(ScriptPools& pools, CScriptArray* array);

// The object text form: depth 0 compact, 1 or more indented at that level
// (CR LF and tabs). A null or empty compound writes nothing.
std::string WriteCompoundText(const CScriptArray* array, int depth);
// The same into `buffer` (null: only measure); returns the length plus one.
int WriteCompoundText(const CScriptArray* array, char* buffer, int depth);
// The float to write for value / unit so that its text, read back and
// multiplied by `unit`, is `value` exactly, or else the nearest value that
// can be read back. The choice depends only on the value read back, so a
// file read and written again keeps its bytes (angles kept in radians and
// written in degrees do not creep a rounding step at every save).
float QuotientToWrite(float value, float unit);

// Reads one object of a data file by member paths: a missing key gives ""
// or the caller's fallback. `path` holds the text Format made last.
struct MemberReader {
  const CScriptArray* object;
  char path[96];

  const char* Format(const char* format, int a = 0, int b = 0);
  bool Has(const char* p) const { return FindMemberPath(object, p) != nullptr; }
  std::string Text(const char* p) const;
  int32_t Int(const char* p, int32_t fallback) const { return Has(p) ? GetMemberInt(object, p) : fallback; }
  float Float(const char* p, float fallback) const { return Has(p) ? GetMemberFloat(object, p) : fallback; }
  // "<base>.x", ".y", ".z" times the scale, each component taking its
  // fallback (unscaled) when missing.
  platform::Vec3 Vector(const char* base, platform::Vec3 fallback, float scale = 1.0f) const;
};

// target += source, element by element (arrays by index, objects by name).
void AddCompounds(ScriptPools& pools, CScriptArray* target, const CScriptArray* source);
// Element-wise copies: opcode 90 copy, 91 negate, 22 multiply, 23 divide by
// the operand; the int form keeps int elements int, the float form makes
// them float.
CScriptArray* ApplyElementwiseOp(ScriptPools& pools, const CScriptArray* array, int opcode, int32_t operand);
CScriptArray* CompoundBinaryOp(ScriptPools& pools, const CScriptArray* array, int opcode, float operand);
// A deep copy (ApplyElementwiseOp with 90).
CScriptArray* CopyCompound(ScriptPools& pools, const CScriptArray* array);

}  // namespace script
