// script_local.h -- internals shared by the script engine's files: source
// table and error list, tokeniser, preprocessor and its expression
// evaluator, and the front end of the compile loop.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "script/script_opcodes.h"
#include "script/script_public.h"

namespace script {

// ----------------------------------------------------------------------------
// script_records.cpp
// ----------------------------------------------------------------------------

// The whole word-kind table, in kind order.
extern const WordKindInfo kWordKinds[];
extern const size_t kWordKindCount;

// ----------------------------------------------------------------------------
// script_source.cpp
//
// Every text that is tokenised is first registered here so that a pointer
// into it maps back to a file and line. Lines end only at CR LF.
// ----------------------------------------------------------------------------

// The engine's one copy of a file name (see SourceTable::names).
const char* InternFileName(ScriptEngine& se, std::string_view name);

// Registers `text` under the position's file name and tag and builds its
// line table; the entry's index goes to `*entry` when given. With a null
// text, forgets the lines of every entry of that file name. Returns 1.
int AddSourceText(ScriptEngine& se, const char* text, const SourcePosition& position,
                  size_t* entry = nullptr);
// Forgets the lines of one entry (the entry and its name stay).
void ForgetSourceText(ScriptEngine& se, size_t entry);
// Fills the file name, line and tag of a pointer into a registered text (the
// link index is left as it is). False when no registered text holds it.
bool FindSourcePosition(ScriptEngine& se, const char* pointer, SourcePosition* position);
// The position of a pointer, or `fallback` (zeros when null) when no
// registered text holds it: macro texts and rebuilt lines are not registered
// and report at the place they were used.
SourcePosition PositionAt(ScriptEngine& se, const char* pointer, const SourcePosition* fallback);

// Stores a message (Shift-JIS) with a copy of the position (zeros when null)
// in the first free slot. Returns the slot, or 128 when the list is full and
// the message is dropped.
int AddCompileError(ScriptEngine& se, const char* message, const SourcePosition* position);
// printf-style AddCompileError; the format is Shift-JIS.
int AddCompileErrorf(ScriptEngine& se, const SourcePosition* position, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// A printf-style text from a format and its arguments, whatever its length.
std::string FormatArgs(const char* format, va_list args);
// The message of error i: null at the first free slot and for i of 128 or more.
const char* GetScriptErrorText(const ScriptEngine& se, int i);
const SourcePosition* GetScriptErrorPosition(const ScriptEngine& se, int i);
// Empties the source table and the error list.
void InitScriptErrors(ScriptEngine& se);
// Frees the source table's names and line tables and every error.
void DestroyScriptEngine(ScriptEngine& se);

// Returns `buffer` when its heap size is at least `length`, else a zero-filled
// block of length + 16 bytes (the old bytes kept). Heap blocks of core.
void* EnsureZeroedBuffer(void* buffer, size_t length);

// A byte that starts a two-byte Shift-JIS character as the tokeniser, the
// escape routine and the object text writer read texts: 0x80..0x9F and
// 0xE0..0xFE (wider at the bottom and narrower at the top than the text
// drawing's test).
constexpr bool IsScriptLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE); }

// The text with tab, LF, VT, CR, double quote, single quote and backslash
// written as \t \n \v \r \" \' \\, two-byte characters copied whole, so the
// result reads back through the tokeniser as the text it was. A lead byte at
// the very end of the text is copied alone.
std::string EscapeStringAlloc(const char* text);

// ----------------------------------------------------------------------------
// script_token.cpp
// ----------------------------------------------------------------------------

// The first character at or after `text` that is neither white space (tab,
// LF, CR, space) nor inside a comment.
const char* SkipBlanks(const char* text);

// Reads the token that starts exactly at `start` (blanks already skipped).
// Its text goes to `*text` (replaced), the character after it to `*end`
// (blanks not skipped). Returns its kind, 0 at the end of the text and after
// an illegal character (`*end` is then the text's end). Problems are added to
// the error list at the position of the byte concerned (or `fallback`).
int ScanToken(ScriptEngine& se, const char* start, std::string* text, const char** end,
              const SourcePosition* fallback);

// Reads one token: its text into `buffer` (at most size - 1 bytes and a zero),
// its full length to `*length`, and to `*next` the first character after it
// with blanks and comments skipped. Returns its kind (0 at the end).
int ReadToken(ScriptEngine& se, const char* text, char* buffer, int size, int* length,
              const char** next, const SourcePosition* fallback = nullptr);
// The same with a text that grows to fit: tokens have no length limit.
int ReadTokenAlloc(ScriptEngine& se, const char* text, std::string* buffer, const char** next,
                   const SourcePosition* fallback = nullptr);

// ----------------------------------------------------------------------------
// script_preproc.cpp
// ----------------------------------------------------------------------------

// Limits that stop runaway input with a compile error rather than a crash:
// nested "#include"s, and all nesting of the preprocessor together (includes,
// conditionals and macro replacements).
constexpr int32_t kMaxIncludeDepth = 32;
constexpr int32_t kMaxPreprocessDepth = 512;

// Registers the text, preprocesses it at depth 0 into the token list, then
// forgets its lines again (the tokens keep their positions). Returns 1.
int TokeniseText(ScriptEngine& se, const char* text, const SourcePosition& position);
// Resolves the position's file name against the current script folder,
// stores the full path back into it, reads the file whole through the file
// layer and tokenises it with the file's folder as the current folder.
// 0 (and an error) when the file cannot be read.
int TokeniseFile(ScriptEngine& se, SourcePosition* position);
// Tokenises a memory text with the folder of the position's name as the
// current folder.
int TokeniseMemoryText(ScriptEngine& se, const char* text, const SourcePosition& position);

// Reads tokens, carries out directives, replaces macros and appends the rest
// to the token list. At depth 1 or more a directive that ends a branch ends
// the reading too. Returns where it stopped (at that directive, or at the
// end of the text).
const char* PreprocessScript(ScriptEngine& se, const char* text, int depth,
                             const SourcePosition& position);
// Drops the tokens of a branch; returns the "#else", "#elif..." or "#endif"
// that ends it (nested conditionals skipped whole), or the end of the text.
const char* SkipConditional(ScriptEngine& se, const char* text, const SourcePosition& position);
// The rest of the line at `text` with macros replaced, tokens joined by
// single blanks (strings back in double quotes, labels with their colon).
// `*end` gets the line's end (its CR or LF, or the text's end).
std::string ExpandDefinesInLine(ScriptEngine& se, const char* text, const char** end,
                                const SourcePosition& position);

// A full path: a drive path or one that already begins with the working
// folder stays; a leading "/" or "\" starts at the working folder; anything
// else is appended to `baseFolder`. Separators become "/", "." and ".."
// segments are folded (never past the start).
std::string ResolveScriptPath(std::string_view path, std::string_view baseFolder);
// The folder part of a path (before its last "/" or "\"), "" when none.
std::string FolderOfPath(std::string_view path);
// 1 when the path, resolved against the current script folder, opens
// through the file layer.
int ScriptFileExists(ScriptEngine& se, const char* path);

// The slot found for a macro name (the first slot of that name), or -1.
int32_t FindDefine(const ScriptEngine& se, const std::string& name);
// Frees every definition (after each linked file).
void FreeDefineTable(ScriptEngine& se);

// Appends a word to the token list: numbers as their values, everything else
// with its text.
CScriptLiteral* EmitToken(ScriptEngine& se, const std::string& text, int kind,
                          const SourcePosition& position);
// Gives every word of a list back to the pool.
void ReleaseWordList(ScriptEngine& se, CScriptLiteral* head);

// ----------------------------------------------------------------------------
// script_ppexpr.cpp
// ----------------------------------------------------------------------------

// The value of a constant "#if" expression.
struct PreprocessorValue {
  enum Type { kInt, kFloat, kString } type = kInt;
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};

// Nesting of parentheses and prefix operators an "#if" expression may have.
constexpr int kMaxExpressionDepth = 256;

// Evaluates the expression of an (already expanded) "#if" line. Errors go to
// the error list at `position`; a faulty expression is 0.
PreprocessorValue EvaluatePreprocessorExpression(ScriptEngine& se, const char* text,
                                                 const SourcePosition& position);
// An int other than 0, a float other than 0.0 or a string that is not empty.
bool IsTrue(const PreprocessorValue& value);

// ----------------------------------------------------------------------------
// Numbers
//
// Script ints are 32 bits and wrap around; floats are 32 bits. The helpers
// keep every operation defined in C++ (no signed overflow, no trap).
// ----------------------------------------------------------------------------

// A float truncated toward zero as the processor does it: out of range (and
// NaN) gives the 0x80000000 pattern.
constexpr int32_t TruncateToInt(float f) {
  if (!(f >= -2147483648.0f && f < 2147483648.0f)) return INT32_MIN;
  return int32_t(f);
}
// The value type a declaration keyword gives; "variable" gives an int 0
// that takes any type.
constexpr int ValueTypeOfKeyword(int keyword) {
  switch (keyword) {
    case kWordTypeInt: return kValueInt;
    case kWordTypeFloat: return kValueFloat;
    case kWordTypeString: return kValueString;
    case kWordTypeFunction: return kValueFunction;
    case kWordTypeSystemCall: return kValueSystemCall;
    case kWordTypeArray:
    case kWordTypeObject: return kValueCompound;
    default: return kValueInt;
  }
}

// Whether a comparison operator holds for an order of its operands: -1, 0,
// 1, or 2 for unordered (a NaN), where only "!=" holds.
constexpr bool OrderSatisfies(int op, int order) {
  switch (op) {
    case kWordGreater: return order == 1;
    case kWordLess: return order == -1;
    case kWordGreaterEqual: return order == 1 || order == 0;
    case kWordLessEqual: return order == -1 || order == 0;
    case kWordEqual: return order == 0;
    default: return order != 0;  // "!="
  }
}
constexpr int32_t WrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
constexpr int32_t WrapSub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
constexpr int32_t WrapMul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }
// Quotient and remainder of a non-zero divisor; the one quotient that does
// not fit (INT32_MIN / -1) wraps.
constexpr int32_t IntDivide(int32_t a, int32_t b) { return b == -1 ? WrapSub(0, a) : a / b; }
constexpr int32_t IntModulo(int32_t a, int32_t b) { return b == -1 ? 0 : a % b; }
constexpr int32_t ShiftLeft(int32_t a, int32_t b) { return int32_t(uint32_t(a) << (uint32_t(b) & 31)); }
constexpr int32_t ShiftRight(int32_t a, int32_t b) { return a >> (uint32_t(b) & 31); }

// The element-wise opcodes besides * (22) and / (23).
constexpr int kOpCopy = 90;
constexpr int kOpNegate = 91;

// Nesting of compounds the copies, the adding and the text writer follow;
// deeper nesting is an error (or, for the writer, is not written).
constexpr int kMaxCompoundDepth = 1024;
// Nesting of statements, expressions and literals the compiler reads.
constexpr int32_t kMaxCompileDepth = 400;

// ----------------------------------------------------------------------------
// script_values.cpp
// ----------------------------------------------------------------------------

// Word setters beyond those of script_records.h. Each first gives back a
// compound the word held.
void SetObjectValue(ScriptPools& pools, CScriptLiteral* word, CScriptArray* array);  // kind 14; null: int 0
void SetHandleValue(ScriptPools& pools, CScriptLiteral* word, CScriptLiteral* target);  // kind 13
void SetCallValue(ScriptPools& pools, CScriptLiteral* word, CScriptValue* variable);    // kind 15
// The word's compound now belongs elsewhere: the word becomes int 0 without
// releasing it.
void GiveUpCompound(CScriptLiteral* word);

// Operand classes of LookupStackVariable.
enum OperandClass {
  kOperandNone = -2,
  kOperandInt = 4,
  kOperandFloat = 7,
  kOperandString = 9,
  kOperandFunction = 11,
  kOperandCompound = 14,
};

struct StackOperand {
  int32_t i = 0;
  float f = 0.0f;
  const char* text = nullptr;           // string operands; function: the target's name
  const char* name = nullptr;           // the variable's name for references
  CScriptArray* array = nullptr;        // compound operands
  CScriptLiteral* target = nullptr;     // function operands: the label word
  CScriptValue* variable = nullptr;     // the referenced variable (before refer links)
};

// Reduces a stack word to its operand class and values (see OperandClass).
int LookupStackVariable(CScriptLiteral* word, StackOperand* out);

// ----------------------------------------------------------------------------
// script_compound.cpp
// ----------------------------------------------------------------------------

// A new empty compound owned by `owner`, or the exhaustion error.
CScriptArray* NewCompound(ScriptPools& pools, CScriptValue* owner);
// Puts a value in as a new member where AddObjectMember would (the name
// must be no member yet; no member index). The stamp is left as it was.
void InsertMember(CScriptArray* array, CScriptValue* value, uint64_t nameBit = 0);
// Takes a direct member out as RemoveMember does, without freeing it (its
// owner becomes null). False when it is no direct member.
bool DetachMember(ScriptPools& pools, CScriptArray* array, CScriptValue* value);
// The most element slots an object has while it finds its members by a
// scan of the slots rather than by its member tree (FindMember).
constexpr size_t kScannedMemberSlots = 16;
// AddObjectMember for a new member of a call's namespace that keeps its
// shape, `nameBit` being the name's filter bit, when a kept record is there
// to take and the name's bit is not in the filter; else null, and nothing
// done (AddObjectMember then does the work).
CScriptValue* AppendShapedMember(ScriptPools& pools, CScriptArray* array, const char* name, size_t length,
                                 uint64_t nameBit, int type, int attributes);
// The element slots that may hold members: while a call's namespace keeps
// its shape, only the shape's first slots do.
inline size_t MemberSlotsInUse(const CScriptArray* a) {
  bool shaped = a->shape && a->shapeStamp == a->stamp && a->shapeSize <= a->elements.size();
  return shaped ? a->shapeSize : a->elements.size();
}
// The element slots a scan of a compound's elements must look at: past the
// lowest free slot most compounds hold nothing, which one pass without
// branches shows.
inline size_t SlotsToScan(const CScriptArray* a) {
  size_t count = a->elements.size();
  size_t from = size_t(a->freeSlot);
  if (from >= count) return count;
  uintptr_t any = 0;
  const CScriptValue* const* slots = a->elements.data();
  for (size_t i = from; i < count; i++) any |= reinterpret_cast<uintptr_t>(slots[i]);
  return any ? count : from;
}
// Gives every element back to the pool and leaves the compound with no
// element slots and no members, as a compound fresh from the pool; its
// kind and owner stay.
void EmptyCompound(ScriptPools& pools, CScriptArray* array);
// The same for a kept call namespace: the members' records (but those
// holding a compound) are cleared but for their names and kept on the
// compound for the members of its next call (CScriptArray::keptValues), and
// one growth step of element slots may stay, all empty.
void EmptyKeptNamespace(ScriptPools& pools, CScriptArray* array);
// A copy of the object `src` made in one of the argument copies the frame
// kept (ScriptPools::argumentCopies), when one has the same member names in
// the same slots and `src` holds no compound and no refer: what
// CopyCompound would make, without a record taken from the pools. Null when
// none fits.
CScriptArray* TakeKeptObjectCopy(ScriptPools& pools, const CScriptArray* src);

// ----------------------------------------------------------------------------
// script_notation.cpp
// ----------------------------------------------------------------------------

// Reads an object or array literal at `first` ("{" or "[") now, at compile
// time. Syntax errors are listed; after one the object read so far is
// returned, an array not at all (null). `*next` gets the token after it.
CScriptArray* ParseCompoundLiteral(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next);
// Compiles an object or array literal into words that build it at run time.
// 1, or 0 after a listed error.
int CompileCompoundLiteral(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next);
// Builds the compound of a "{Object}" (kind 1) or "{Array}" (kind 2) word
// from the count and values on a thread's data stack.
CScriptArray* BuildCompoundFromStack(ScriptEngine& se, WordStack& stack, int kind);

// ----------------------------------------------------------------------------
// script_constexpr.cpp
// ----------------------------------------------------------------------------

// Combines two constant words with an operator; the result goes into `left`.
// Errors are listed at `position` and give the int 0 (and false).
bool ApplyBinaryOperator(ScriptEngine& se, CScriptLiteral* left, CScriptLiteral* right, int op, const char* opText,
                         const SourcePosition& position);
// Evaluates a constant expression from `first` whose operators bind more
// tightly than `stopLevel`. A new word (int, float, string, function
// constant or compound) that the caller frees, or null after a listed
// error. `*next` gets the first token after the expression.
CScriptLiteral* EvaluateConstantExpression(ScriptEngine& se, CScriptLiteral* first, int stopLevel,
                                           CScriptLiteral** next);
// A "(", "[" or "{" token kind; a ")", "]" or "}" one.
inline bool OpensGroup(int kind) {
  return kind == kWordOpenParen || kind == kWordOpenBracket || kind == kWordOpenBrace;
}
inline bool ClosesGroup(int kind) {
  return kind == kWordCloseParen || kind == kWordCloseBracket || kind == kWordCloseBrace;
}
// Reads tokens until one of kind `a` or `b` at bracket depth 0, or ";" or
// the end at depth 0. Returns the stop token's kind (0 at the end) and the
// stop token through `*stop`.
int SkipTokenGroup(CScriptLiteral* first, int a, int b, CScriptLiteral** stop);
// The same, then the token after the stop token.
int ReadTokenAfterGroup(CScriptLiteral* first, int a, int b, CScriptLiteral** next);

// ----------------------------------------------------------------------------
// script_compiler.cpp
// ----------------------------------------------------------------------------

// Statement modes of CompileStatements.
enum CompileMode { kModeFile = 0, kModeStatement = 1, kModeIf = 3, kModeWhile = 4, kModeFor = 5 };

int CompileStatements(ScriptEngine& se, CScriptLiteral* first, int mode, CScriptLiteral** next);
int CompileExpression(ScriptEngine& se, CScriptLiteral* first, int levelKind, CScriptLiteral** next);
int CompileDeclaration(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next);
// The token's kind with keywords and function names looked up, and its text.
int ClassifyToken(ScriptEngine& se, CScriptLiteral* token, std::string* text);
// Appends a word after the insertion cursor, which moves to it.
CScriptLiteral* EmitInstruction(ScriptEngine& se, std::string_view text, int kind, const SourcePosition& position);
CScriptLiteral* EmitInt(ScriptEngine& se, int32_t value, const SourcePosition& position);
// Moves the insertion cursor to `word`, or (null) to the end of the list.
void WordListTail(ScriptEngine& se, CScriptLiteral* word);
// Releases the words after `word` up to `last` (to the end when null); the
// cursor moves back to `word`.
void DropWordsAfter(ScriptEngine& se, CScriptLiteral* word, CScriptLiteral* last);
// "*L%04d" from the label counter, which then grows.
std::string MakeLabel(ScriptEngine& se);
// The loop-label stack.
void PushLoopLabels(ScriptEngine& se, const std::string& breakLabel, const std::string& continueLabel);
void PopLoopLabels(ScriptEngine& se);
// Scope path: entering appends "." and the last "."-part of a name; leaving
// cuts at the last ".".
void EnterScope(std::string* path, const char* name);
void LeaveScope(std::string* path);
// Counts one level of compile nesting; raises an error past the limit.
struct CompileNesting {
  explicit CompileNesting(ScriptEngine& se);
  ~CompileNesting();
  ScriptEngine& se;
};

// ----------------------------------------------------------------------------
// script_names.cpp
// ----------------------------------------------------------------------------

// The filter bit of a name word's last name part, kept with the hints that
// go with it (LinkHints; set up once).
inline uint64_t LinkNameBit(LinkHints& link, const std::string& name) {
  if (!link.nameBit) {
    size_t dot = name.rfind('.');
    link.lastOffset = dot == std::string::npos ? 0 : uint32_t(dot + 1);
    link.lastLength = uint32_t(name.size() - link.lastOffset);
    link.nameBit = NameFilterBit(name.data() + link.lastOffset, link.lastLength);
    link.slot = -1;
  }
  return link.nameBit;
}

// The name of a declaration or use: function name, link index and name
// joined by ".", each part only when given (function "" / link -1 = absent).
std::string MakeQualifiedName(const char* function, int32_t link, const char* name);
// Finds or creates a variable: in the current thread namespace under the
// last component, else in the global namespace under the full name. An
// existing one takes the type and attributes (and so its empty value).
CScriptValue* DefineVariable(ScriptEngine& se, const char* name, int type, int attributes, uint64_t nameBit = 0);
// DefineVariable for a name word whose hints hold its last name part and
// its filter bit (LinkNameBit): a call's namespace that keeps its shape
// takes the new member in its next slot without a search.
CScriptValue* DefineWordVariable(ScriptEngine& se, const CScriptLiteral* w, int type, int attributes, uint64_t bit);
// The variable a (qualified) name stands for, or null.
CScriptValue* LookupName(ScriptEngine& se, const char* name);
// The part of LookupName after the thread namespace: the global namespace
// under the whole name, the name from its link index on, and its last part.
CScriptValue* LookupGlobalName(ScriptEngine& se, const char* name);
// The type of LookupName's variable, or -1.
int LookupNameType(ScriptEngine& se, const char* name);
// The variable at a dotted path, looked up from the current thread
// namespace, then the global namespace in the file-level form, then whole.
CScriptValue* FindGlobalVariable(ScriptEngine& se, const char* path);
// Removes a variable from the global namespace. 0 when there is none.
int DeleteGlobalVariable(ScriptEngine& se, CScriptValue* value);
// Finds or creates a function variable and sets its call target.
CScriptValue* DefineFunctionVariable(ScriptEngine& se, const char* name, CScriptLiteral* target);
// Turns an undefined variable (after refer links) into a system-call
// declaration.
void MarkVariableType6(ScriptEngine& se, CScriptValue* value);
CScriptValue* DeclareType6Variable(ScriptEngine& se, const char* name);
// The global namespace, made on first use.
CScriptArray* GlobalNamespace(ScriptEngine& se);
// Jump targets: the thread's next word becomes the word after the
// function's (label's) definition word. Errors are raised.
void ResolveFunctionTarget(ScriptEngine& se, CScriptValue* function, int32_t thread);
void ResolveLabelTarget(ScriptEngine& se, const char* label, int32_t thread);
// Starts one thread per autorun function; returns the number started.
int StartAutorunThreads(ScriptEngine& se);
// Gathers the thread's pending calls (name and position) into the engine's
// call list; consumes the thread's call state.
void BuildCallList(ScriptEngine& se, int32_t thread);
const CallListEntry* GetCallListEntry(const ScriptEngine& se, int32_t index);

// ----------------------------------------------------------------------------
// script_thread.cpp
// ----------------------------------------------------------------------------

// Word stack operations. A push past the capacity and a pop of an empty
// stack raise the stack errors.
//
// The record a push writes: the one kept at the end entry (the common
// case, inline), else the slow path that grows the table, takes a record
// from the pool or raises the overflow error. The record's text is cleared
// and it is no copy of a code word any more.
CScriptLiteral* StackSlotSlow(ScriptEngine& se, WordStack& stack);
inline CScriptLiteral* StackPushSlot(ScriptEngine& se, WordStack& stack) {
  size_t end = size_t(stack.end);
  CScriptLiteral* slot = end < stack.entries.size() ? stack.entries[end] : nullptr;
  if (!slot) slot = StackSlotSlow(se, stack);
  stack.end++;
  slot->text.clear();
  slot->link.origin = nullptr;
  return slot;
}
// A pushed int, handle or reference: the setter's work, inline where the
// record holds no compound to give back.
inline CScriptLiteral* StackPushInt(ScriptEngine& se, WordStack& stack, int32_t value) {
  CScriptLiteral* w = StackPushSlot(se, stack);
  if (w->kind == kWordCompound) {
    SetIntValue(se.pools, w, value);
    return w;
  }
  w->payload = ScriptPayload{};
  w->payload.i = value;
  w->kind = kWordInt;
  return w;
}
inline CScriptLiteral* StackPushFloat(ScriptEngine& se, WordStack& stack, float value) {
  CScriptLiteral* w = StackPushSlot(se, stack);
  SetFloatValue(se.pools, w, value);
  return w;
}
CScriptLiteral* StackPushText(ScriptEngine& se, WordStack& stack, const char* text, int kind);
inline CScriptLiteral* StackPushHandle(ScriptEngine& se, WordStack& stack, CScriptLiteral* target) {
  CScriptLiteral* w = StackPushSlot(se, stack);
  if (w->kind == kWordCompound) {
    SetHandleValue(se.pools, w, target);
    return w;
  }
  w->payload = ScriptPayload{};
  w->payload.word = target;
  w->kind = kWordFunctionConstant;
  return w;
}
CScriptLiteral* StackPushCompound(ScriptEngine& se, WordStack& stack, CScriptArray* array);
inline CScriptLiteral* StackPushReference(ScriptEngine& se, WordStack& stack, CScriptValue* variable) {
  CScriptLiteral* w = StackPushSlot(se, stack);
  if (w->kind == kWordCompound) {
    SetCallValue(se.pools, w, variable);
    return w;
  }
  w->payload = ScriptPayload{};
  w->payload.value = variable;
  w->kind = kWordReference;
  return w;
}
[[noreturn]] void RaiseStackUnderflow();
inline CScriptLiteral* StackPop(WordStack& stack) {
  if (stack.end <= 0) RaiseStackUnderflow();
  return stack.entries[size_t(--stack.end)];
}
// A popped operand word with its value.
struct Operand {
  CScriptLiteral* word;
  StackOperand value;
  int kind;  // OperandClass
};
inline Operand PopOperand(WordStack& stack) {
  Operand o;
  o.word = StackPop(stack);
  o.kind = LookupStackVariable(o.word, &o.value);
  return o;
}
// Removes entries down to (not including) the topmost call marker "@".
// Where the stack ends once trimmed to its topmost call marker (the marker
// kept), 0 when it holds none.
inline int32_t MarkerEnd(const WordStack& stack) {
  int32_t end = stack.end;
  CScriptLiteral* const* entries = stack.entries.data();
  while (end > 0 && entries[end - 1]->kind != kWordCallMarker) end--;
  return end;
}
// ";": the stack down to its topmost call marker.
inline void StackTrimToMarker(WordStack& stack) { stack.end = MarkerEnd(stack); }
void FreeWordStack(ScriptEngine& se, WordStack& stack);

// Pushes a text; `text` may point into the record the push overwrites.
CScriptLiteral* StackPushTextSafe(ScriptEngine& se, WordStack& stack, const char* text, int kind);

// Creates a thread that runs `function` with one argument word, resolved to
// its value (an int arrives as a float, a float as an int). Returns its
// index.
int32_t CreateThreadFromValue(ScriptEngine& se, CScriptValue* function, CScriptLiteral* argument);
int32_t CreateScriptThread(ScriptEngine& se, CScriptValue* function, int32_t argument);
// Ends one thread, or every thread for an index below 0.
void EndThread(ScriptEngine& se, int32_t thread);
// The return instruction of the thread: back to the caller with the value,
// or, from the thread's root function, the end of the thread (of every
// thread when that function is "main").
void ReturnFromCall(ScriptEngine& se, int32_t thread);
// Its end for an int value, once the value and everything above the call's
// marker are off the stack and the marker too: the int goes on the stack,
// the callee's namespace goes and the thread goes on after the call.
void ReturnIntToCaller(ScriptEngine& se, ScriptThread* t, int32_t value);
// Local namespaces of the current thread.
void PushLocalNamespace(ScriptEngine& se, const char* functionName);
// The same for a call of the function whose entry word is `entry`: a
// namespace kept from one of its earlier calls is used when there is one.
void PushCallNamespace(ScriptEngine& se, CScriptLiteral* entry);
std::string PopLocalNamespace(ScriptEngine& se);
void DropLocalNamespaces(ScriptEngine& se, int32_t thread);

// Whether `array` is the stack word's own compound (kind 14), which a
// receiver takes from it rather than copies.
inline bool OwnsCompound(const CScriptLiteral* word, const CScriptArray* array) {
  return array && word && word->kind == kWordCompound && word->payload.array == array;
}
// A compound the receiver may keep: a stack word's own compound is taken
// from it, a variable's compound is copied. Null for none.
CScriptArray* TakeOrCopyCompound(ScriptPools& pools, CScriptLiteral* word, CScriptArray* array);
// Assigns a compound the caller owns; on an error it goes back to the pool.
void AssignOwnedCompound(ScriptPools& pools, CScriptValue* variable, CScriptArray* array);

// ----------------------------------------------------------------------------
// script_vm_links.cpp (the VM's own shared internals are in script_vm.h)
// ----------------------------------------------------------------------------

// The variable a name word stands for at run time (LookupName, else a new
// untyped variable in the current namespace), through the word's link.
CScriptValue* LinkName(ScriptEngine& se, CScriptLiteral* word);

// ----------------------------------------------------------------------------
// script_operators.cpp
//
// The instructions that work on values, each on the current thread's data
// stack. Errors are raised as texts.
// ----------------------------------------------------------------------------

// Two operands, one value: Add to LogicalOr except Assign.
void ExecuteBinary(ScriptEngine& se, WordStack& data, Opcode op);
// L = R.
void ExecuteAssign(ScriptEngine& se, WordStack& data);
// AddAssign to XorAssign.
void ExecuteCompoundAssign(ScriptEngine& se, WordStack& data, Opcode op);
// PostIncrement, PostDecrement, PreIncrement, PreDecrement.
void ExecuteIncrement(ScriptEngine& se, WordStack& data, Opcode op);
// Not, BitNot, Plus, Negate.
void ExecuteUnary(ScriptEngine& se, WordStack& data, Opcode op);
// CastInt to CastFunction.
void ExecuteCast(ScriptEngine& se, WordStack& data, Opcode op);
// The member access word `word` keeps the member it found (RunLink).
void ExecuteMember(ScriptEngine& se, WordStack& data, CScriptLiteral* word);
void ExecuteIndex(ScriptEngine& se, WordStack& data);
// A local declaration by its type word; reads its modifiers and name from
// the words after it (the thread's current word moves past them).
void ExecuteDeclare(ScriptEngine& se, ScriptThread* thread, const CScriptLiteral* typeWord);
// "pop_value": binds the top argument to the parameter described by the
// next words.
void ExecuteBindParameter(ScriptEngine& se, ScriptThread* thread);
// The truth of a condition: int 0, float 0.0 and "" are false. False as
// well (and `*valid` false) for a word of no number or text.
bool ConditionIsTrue(CScriptLiteral* word, bool* valid);

// ----------------------------------------------------------------------------
// script_syscall.cpp
// ----------------------------------------------------------------------------

// The system-call branch of the call instruction: `callee` is the resolved
// system-call declaration, `callWord` the call word (for the context).
void CallSystemFunction(ScriptEngine& se, WordStack& data, CScriptValue* callee, const CScriptLiteral* callWord);

// ----------------------------------------------------------------------------
// script_builtins.cpp
// ----------------------------------------------------------------------------

// Registers the engine's own 29 calls (maths, strings and console, message
// box, files) in their order; ResetScriptEngine does it.
void RegisterBuiltInCalls(ScriptEngine& se);

// ----------------------------------------------------------------------------
// script_host.cpp
// ----------------------------------------------------------------------------

// Tokenises every linked file not yet read. 1 when all went through, 0 when
// a file cannot be read.
int CompileLinkedScripts(ScriptEngine& se);
// The listing of the compiled code ("CompiledCode.txt").
std::string WriteCompiledCodeListing(ScriptEngine& se);
// Creates or replaces a file with the bytes; nothing when it cannot be made.
void WriteTextFile(const char* path, std::string_view bytes);
// Writes the text `text()` gives to `path`; when memory runs out making it,
// the file is left out and the log says so.
void WriteFileOrLog(core::LogSystem* log, const char* path, const std::function<std::string()>& text);

// The error of a compile or run that ran out of memory (UTF-8).
inline constexpr const char* kOutOfMemoryText = "メモリが不足しています。";
// The memory an engine keeps back to report that memory ran out.
inline constexpr size_t kMemoryReserveBytes = size_t(1) << 20;
// Logs the out-of-memory error and lists it at `position` (may be null).
void ReportOutOfMemory(ScriptEngine& se, const SourcePosition* position);

}  // namespace script
