// script_records.h -- the script language's records: source positions, the
// word-kind table, words, values and compounds, their pools, and the two
// balanced trees (included through script_public.h).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace core {
class LogSystem;
}

namespace script {

struct CScriptLiteral;
struct CScriptValue;
struct CScriptArray;

// ----------------------------------------------------------------------------
// Source positions
// ----------------------------------------------------------------------------

// Where a word or an error came from. Copied into every word and every
// error. `fileName` points at the engine's one interned copy of that name,
// so two positions are in the same file exactly when the pointers are equal
// (the listing and the virtual machine's current folder rely on it).
struct SourcePosition {
  const char* fileName = nullptr;   // interned; null for a position without file
  int32_t line = 0;                 // from 1; 0 for a position without a line
  int32_t linkIndex = 0;            // index of the linked file being compiled
  const char* sourceTag = nullptr;  // the memory text of a script compiled from
                                    // memory, null for a file
};

// ----------------------------------------------------------------------------
// Word kinds
//
// The kind byte of every word. The tokeniser produces the token kinds, the
// compiler emits the code kinds and the virtual machine executes them.
// Notes:
// - 46, 47 and 48 keep the spelling they were written with (">=" or "=>",
//   "<=" or "=<", "!=", "<>" or "><"); the code text below is the usual one.
// - 105 and 106 are the keywords goto and call; 202 and 203 are the jump and
//   call instructions the compiler makes of them.
// - 28 and 29 are only prefix operators; the compiler turns them into 92/93.
// ----------------------------------------------------------------------------

enum ScriptWordKind : uint8_t {
  kWordEnd = 0,                // end of text; as code: end of thread
  kWordStart = 1,              // "[Start]", first word of the code list
  kWordInt = 4,                // int literal
  kWordFloat = 7,              // float literal
  kWordName = 8,               // variable, member or parameter name
  kWordString = 9,             // string literal; as code also a label operand
  kWordLabel = 10,             // label definition ("name:")
  kWordFunctionName = 11,      // name of a function or system call (by lookup)
  kWordDirective = 12,         // "#" and a name
  kWordFunctionConstant = 13,  // "(null function)", "(null syscall)"
  kWordCompound = 14,          // run-time stack word holding a CScriptArray
  kWordReference = 15,         // run-time stack word holding a CScriptValue
  kWordAdd = 20,
  kWordSubtract = 21,
  kWordMultiply = 22,
  kWordDivide = 23,
  kWordModulo = 24,
  kWordAssign = 25,
  kWordGreater = 26,
  kWordLess = 27,
  kWordNot = 28,     // prefix only
  kWordBitNot = 29,  // prefix only
  kWordXor = 30,
  kWordBitAnd = 31,
  kWordBitOr = 32,
  kWordShiftLeft = 33,
  kWordShiftRight = 34,
  kWordAddAssign = 40,
  kWordSubtractAssign = 41,
  kWordMultiplyAssign = 42,
  kWordDivideAssign = 43,
  kWordModuloAssign = 44,
  kWordEqual = 45,
  kWordGreaterEqual = 46,
  kWordLessEqual = 47,
  kWordNotEqual = 48,
  kWordBitAndAssign = 49,
  kWordBitOrAssign = 50,
  kWordXorAssign = 52,
  kWordIncrement = 60,  // after an operand
  kWordDecrement = 61,  // after an operand
  kWordLogicalAnd = 62,
  kWordLogicalOr = 63,
  kWordSemicolon = 70,  // end of statement: discard the value
  kWordComma = 71,
  kWordMember = 72,
  kWordColon = 73,
  kWordOpenParen = 80,
  kWordCloseParen = 81,
  kWordOpenBracket = 82,
  kWordCloseBracket = 83,
  kWordOpenBrace = 84,
  kWordCloseBrace = 85,
  kWordPrefixPlus = 90,
  kWordPrefixMinus = 91,
  kWordPrefixNot = 92,
  kWordPrefixBitNot = 93,
  kWordPrefixIncrement = 94,
  kWordPrefixDecrement = 95,
  kWordIf = 100,
  kWordElse = 101,
  kWordWhile = 102,
  kWordDo = 103,
  kWordFor = 104,
  kWordGoto = 105,
  kWordCall = 106,
  kWordReturn = 107,
  kWordSystemInterrupt = 108,
  kWordBreak = 109,
  kWordContinue = 110,
  kWordTypeInt = 111,
  kWordTypeFloat = 112,
  kWordTypeString = 113,
  kWordTypeRefer = 114,
  kWordTypeVariable = 115,
  kWordTypeFunction = 116,
  kWordTypeSystemCall = 117,
  kWordTypeArray = 118,
  kWordTypeObject = 119,
  kWordStatic = 120,
  kWordConst = 121,
  kWordExtern = 122,
  kWordAutorun = 123,
  kWordJumpIfFalse = 200,   // jump when the popped condition is false
  kWordJumpIfTrue = 201,    // never emitted by the compiler
  kWordJump = 202,          // "goto"; "break" or "continue" for those statements
  kWordCallCode = 203,      // call
  kWordReturnCode = 204,    // return
  kWordInterruptCode = 205, // system interrupt
  kWordIndex = 206,         // "[]"
  kWordCallMarker = 207,    // "@": start of an argument list
  kWordPopValue = 208,      // take the next argument into a parameter
  kWordCastInt = 210,
  kWordCastFloat = 211,
  kWordCastString = 212,
  kWordCastFunction = 213,
  kWordBuildArray = 220,
  kWordBuildObject = 221,
};

// One row of the word-kind table.
struct WordKindInfo {
  uint8_t kind;
  bool token;              // the tokeniser produces it
  const char* sourceText;  // keyword or operator spelling; null when none
  const char* codeText;    // text of the emitted code word; null when the
                           // word's own text (or none) is used
};

// The row of a kind, or null for a number that is no kind.
const WordKindInfo* FindWordKind(int kind);

// The binding level of a word kind after an operand, as expressions are read:
// -1 cannot follow an operand (an illegal operator), 0 ends the expression,
// 1 the assignments (right to left), 2 to 11 the binary operators (left to
// right; 11 is also the level prefix operands are read at), 12 postfix ++ and
// --, 13 the operand level of a cast, 14 call, index and member access.
constexpr int OperatorLevel(int kind) {
  switch (kind) {
    case 0: case 1: case 4: case 7: case 8: case 9: case 10:
    case 100: case 102: case 104:
      return -1;
    case 25: case 40: case 41: case 42: case 43: case 44: case 49: case 50: case 52:
      return 1;
    case 63: return 2;
    case 62: return 3;
    case 32: return 4;
    case 30: return 5;
    case 31: return 6;
    case 45: case 48: return 7;
    case 26: case 27: case 46: case 47: return 8;
    case 33: case 34: return 9;
    case 20: case 21: return 10;
    case 22: case 23: case 24:
    case 90: case 91: case 92: case 93: case 94: case 95:
      return 11;
    case 60: case 61: return 12;
    case 111: case 112: case 113: case 115: case 116: case 118: case 119:
      return 13;
    case 80: case 82: case 72: return 14;
    default: return 0;
  }
}

// ----------------------------------------------------------------------------
// Words, values and compounds
// ----------------------------------------------------------------------------

// The payload of a word or a value. Pointer members are pointer-sized, so a
// word can hold any record on a 64-bit build.
union ScriptPayload {
  // First, so that `ScriptPayload{}` clears the whole pointer-sized payload:
  // a word that held an int must not keep the high half of an old pointer.
  uintptr_t bits = 0;
  int32_t i;
  float f;
  CScriptArray* array;    // compound word (14), compound value (type 7)
  CScriptValue* value;    // reference word (15), refer value (type 4)
  CScriptLiteral* word;   // function constant (13), function value (type 5)
};

// What the virtual machine keeps on a word (script_vm_links.cpp).
// - On a code word that names something (a name, or a jump whose label
//   comes from a string literal): the variable it resolved to, valid while
//   the thread's innermost local namespace and the global namespace still
//   carry the stamps recorded with it (CScriptArray::stamp). A name's
//   `origin` is unused; a jump's is the string literal it was resolved for.
//   When the stamps have moved on, the word's LinkHints find the variable
//   again.
// - On a member access ".": the member found in `compound`, valid while the
//   compound keeps the stamp in `localStamp` and the member's name comes
//   from the same name word (`origin`).
// - On a stack word: `origin` is the code word it is a copy of (a string
//   literal or a name), null for any other value.
// Every push clears a stack word's origin; releasing the record clears all.
struct RunLink {
  CScriptValue* value = nullptr;
  const CScriptLiteral* origin = nullptr;
  const CScriptArray* compound = nullptr;
  uint64_t localStamp = 0;
  uint64_t globalStamp = 0;
};

// When a name's link no longer holds because a call runs the same words
// under a new local namespace, these find the variable again without a
// search where they can: the slot where the name stood in the last local
// namespace it was found in, the name's bit in the namespaces' name filters
// (CScriptArray::nameBits), and what the global part of the lookup found
// while the global namespace keeps its stamp. `lastLength` is 0 until they
// are set up. A function's entry word keeps only its name's bit here.
struct LinkHints {
  CScriptValue* globalValue = nullptr;  // the global part's result (null: none)
  uint64_t globalValueStamp = 0;        // the global stamp it holds for; 0: none
  uint64_t nameBit = 0;                 // the last name part's filter bit
  int32_t slot = -1;                    // slot of the last local find, -1: none
  uint32_t lastOffset = 0;              // where the last name part starts
  uint32_t lastLength = 0;              // and its length
  // The local namespace shape (CScriptArray::shape) `slot` holds for: the
  // name stands in that slot of any namespace of the shape, or (slot -1)
  // in none, when the global part's result stands. 0: none.
  uint32_t shape = 0;
  // The stamps of the namespaces the last lookup found no such name in; 0
  // and 0: none. A call's namespace comes back to the stamps of the last
  // call, where a name the call makes is missing again.
  uint64_t missingLocalStamp = 0;
  uint64_t missingGlobalStamp = 0;
};

// What the virtual machine keeps on a code word beyond its link, made the
// first time it needs it (RunOf). It lives apart from the word because most
// words (every token, most code) never need it, and the compiler's speed
// follows the size of a word.
struct WordRun {
  LinkHints hints;
  // On a function's entry word: the holders of local namespaces of calls
  // that have returned, emptied and kept for the next calls of the function
  // (script_thread.cpp), so a call takes no records from the pools.
  std::vector<CScriptValue*> spareNamespaces;
};

// One word of source or of compiled code. Pooled: a record never moves and is
// never freed; a released record keeps its slot for the next taker.
struct CScriptLiteral {
  uint32_t poolSlot = 0;    // index in its pool, set when the record is made
  uint8_t kind = 0;         // ScriptWordKind
  uint8_t stepOp = 0;       // Opcode, valid with stepEpoch (below)
  std::string text;         // the word's text; its capacity only grows. An int
                            // or float word has no text of its own: see
                            // WordName and WordPrintedText
  ScriptPayload payload{};  // int, float bits, or a record (see ScriptPayload)
  SourcePosition position;  // where the word came from
  CScriptLiteral* next = nullptr;  // the following word of its list
  RunLink link;             // the virtual machine's cache (see RunLink)
  // The virtual machine's decoding of a code word (script_vm_steps.cpp): the
  // opcode it runs as (stepOp), valid while the code list is as it was when
  // decoded (RunState::codeEpoch). A word that starts a run of words
  // executed as one step has that step's opcode and the step (kept in
  // RunState::steps).
  uint64_t stepEpoch = 0;          // 0: never decoded
  struct CodeStep* step = nullptr; // for a step's opcode
  std::unique_ptr<WordRun> run;    // null until the machine needs it
};

// The word's WordRun, made on first use.
inline WordRun& RunOf(CScriptLiteral* word) {
  if (!word->run) word->run = std::make_unique<WordRun>();
  return *word->run;
}

// A run of code words that the virtual machine executes as one step
// (script_vm_steps.cpp): the words of the step, decoded once, so a step reads its
// operands without walking the list. Every word still counts as one
// instruction, and a step whose operands are not as it expects runs its
// words one by one instead.
struct CodeStep {
  uint8_t length = 0;       // words of the step without its tail jump
  uint8_t operation = 0;    // the operator word's kind
  bool statement = false;   // ends with ";"
  uint8_t compareMask = 0;  // a comparison's outcomes that hold (script_vm_steps.cpp)
  uint8_t op = 0;           // the step's Opcode
  int32_t link = 0;         // the link index of its words
  CScriptLiteral* first = nullptr;   // the step's first word
  CScriptLiteral* a = nullptr;       // operand words: names or int literals
  CScriptLiteral* b = nullptr;
  CScriptLiteral* c = nullptr;
  CScriptLiteral* label = nullptr;   // the conditional jump's label literal
  CScriptLiteral* jump = nullptr;    // and its jump word (its link keeps the label)
  CScriptLiteral* tailLabel = nullptr;  // a "label" goto that follows the step
  CScriptLiteral* tailJump = nullptr;   // (null: none)
  CScriptLiteral* last = nullptr;    // the step's last word without the tail
  CScriptLiteral* after = nullptr;   // the word after it
  // The variables the names a, b and c are linked to (null for an int
  // literal), valid while the two namespaces keep the stamps they were found
  // under, as the names' own links are (RunLink); none yet at first (a
  // global stamp no namespace ever has).
  // The labels of the two jumps are found the same way, as the jump words
  // would find them (null: no such variable).
  uint64_t localStamp = 0;
  uint64_t globalStamp = ~uint64_t(0);
  CScriptValue* va = nullptr;
  CScriptValue* vb = nullptr;
  CScriptValue* vc = nullptr;
  CScriptValue* vLabel = nullptr;
  CScriptValue* vTail = nullptr;
  // The definition word each jump last found through its label variable and
  // the word after it, which the code list keeps while the step lives: the
  // next word is then known without waiting for a read through the label.
  const CScriptLiteral* labelWord = nullptr;
  CScriptLiteral* labelNext = nullptr;
  const CScriptLiteral* tailWord = nullptr;
  CScriptLiteral* tailNext = nullptr;
  // The element table and index of the last element access, for fetching
  // ahead along a stride (a cache hint only; never read through).
  const void* lastTable = nullptr;
  int32_t lastIndex = 0;
  // A member step's member: where the last part of its name word's text
  // starts, and the slot of the object it was last found in (-1: none).
  uint32_t memberOffset = 0;
  int32_t memberSlot = -1;
  // The stamps under which the member step's holder name had a variable and
  // its member name had none, so that the member name was made there (0 and
  // 0: none yet). A call makes it at the same stamps every time.
  uint64_t makeLocalStamp = 0;
  uint64_t makeGlobalStamp = 0;
  // The step that starts where each way out leads (after the step, at the
  // conditional jump's label, at the tail jump's label) when it may follow
  // this one directly; kNoStep when none may, null until first needed. The
  // jumps' entries go with the label words kept above.
  CodeStep* afterStep = nullptr;
  CodeStep* labelStep = nullptr;
  CodeStep* tailStep = nullptr;
  // (Last: read only when the stamps have moved on.)
  // The same variables by where a lookup finds them, for any local
  // namespace of the shape `shape` (CScriptArray::shape; 0: none kept) while
  // the global namespace keeps `shapeGlobalStamp`: a slot of the local
  // namespace, or -1 and the global variable (or null) in `shapeGlobals`.
  // In order a, b, c, the label and the tail label. A call's namespace has
  // the same shape at every depth of a recursion, where stamps never repeat.
  uint32_t shape = 0;
  uint8_t shapeUsed = 0;  // entries up to the last one that is not null
  int8_t shapeSlots[5] = {-1, -1, -1, -1, -1};
  uint64_t shapeGlobalStamp = 0;
  CScriptValue* shapeGlobals[5] = {};
};

// The most words a step covers, its tail jump included.
constexpr int kMostStepWords = 8;

// Value types (`ScriptValueType`).
enum ScriptValueType : uint16_t {
  kValueUndefined = 0,
  kValueString = 1,
  kValueInt = 2,
  kValueFloat = 3,
  kValueRefer = 4,       // payload: another CScriptValue; readers follow the chain
  kValueFunction = 5,    // payload: the function's label word
  kValueSystemCall = 6,  // a system-call declaration
  kValueCompound = 7,    // payload: a CScriptArray
};

// Attribute bits (`ScriptAttribute`).
enum ScriptAttribute : uint16_t {
  kAttrStatic = 0x01,
  kAttrExtern = 0x02,
  kAttrConst = 0x04,
  kAttrUntyped = 0x10,     // declared `variable`: takes the type of what is assigned
  kAttrRawString = 0x100,  // written in back quotes by the object text writer
};

// The text of a string value, held apart from the value's record so that a
// record stays one cache line: most values never hold a text. Made on first
// use; clearing keeps it, and its capacity, for the record's next use.
class ValueText {
 public:
  ValueText() = default;
  ValueText(const ValueText& other) { *this = other; }
  ValueText& operator=(const ValueText& other) {
    if (this != &other) assign(other.str());
    return *this;
  }
  ValueText& operator=(const std::string& text) {
    assign(text);
    return *this;
  }

  const std::string& str() const { return text_ ? *text_ : Empty(); }
  operator const std::string&() const { return str(); }
  const char* c_str() const { return str().c_str(); }
  size_t size() const { return text_ ? text_->size() : 0; }

  // The text itself, for changing it in place.
  std::string& Own() {
    if (!text_) text_ = std::make_unique<std::string>();
    return *text_;
  }
  void assign(const char* text) { Own().assign(text); }
  void assign(const std::string& text) { Own().assign(text); }
  void clear() {
    if (text_) text_->clear();
  }
  ValueText& operator+=(const std::string& text) {
    Own() += text;
    return *this;
  }

  friend bool operator==(const ValueText& a, const char* b) { return a.str() == b; }

 private:
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }
  std::unique_ptr<std::string> text_;
};

// One variable, member or array element. Its `text` is its name (an element
// is named "[%d]") and its kind is 8, as a name word's. Pooled like words,
// but a record of its own: a value carries no source position, next word or
// run link, so an array's elements stay small and close together: a record
// is one 64-byte cache line, and the fields an element access reads (type,
// attributes, payload) are its first 16 bytes.
struct CScriptValue {
  uint32_t poolSlot = 0;            // index in its pool, set when the record is made
  uint8_t type = kValueUndefined;   // ScriptValueType
  uint8_t kind = kWordName;         // always 8 (ScriptWordKind of a name)
  uint16_t attributes = 0;          // ScriptAttribute bits
  ScriptPayload data{};             // int, float bits, refer target, label word
                                    // or compound, by `type`
  CScriptArray* owner = nullptr;    // the compound holding it as member or
                                    // element; null for a namespace variable
  std::string text;                 // the name; capacity only grows
  ValueText stringValue;            // the value of a string; capacity only grows
};
static_assert(sizeof(CScriptValue) <= 64, "a value record is one cache line");

// Compound kinds (`ScriptCompoundKind`).
enum ScriptCompoundKind : int32_t {
  kCompoundEmpty = 0,
  kCompoundObject = 1,
  kCompoundArray = 2,
};

// A node of a compound's member tree: an AVL tree over the members' names,
// linked by node index (-1 none), so the node array may grow freely.
struct MemberNode {
  CScriptValue* value = nullptr;
  int32_t left = -1;
  int32_t right = -1;
  int32_t height = 0;
};

// Member names to members, searched by any text without copying it.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
};
// The members of the global namespace by name. The compiler's own labels
// ("*L0000", numbered in order) are kept in a table by number, everything
// else in a hash map.
struct MemberIndex {
  // The entry of a name (its value null when the name was not there; the
  // caller fills it). Valid until the next change of the index.
  CScriptValue** Reserve(std::string_view name);
  CScriptValue* Find(std::string_view name) const;
  void Erase(std::string_view name);
  void Clear();

  std::unordered_map<std::string, CScriptValue*, NameHash, std::equal_to<>> names;
  std::vector<CScriptValue*> labels;
};

// One array or object. Pooled.
// Invariants: an empty compound becomes an object at its first member and an
// array at its first element; every element is owned by the compound.
struct CScriptArray {
  uint32_t poolSlot = 0;
  std::vector<CScriptValue*> elements;  // element slots (null = empty); size() is the count
  std::vector<MemberNode> memberNodes;  // the member tree's nodes
  int32_t memberRoot = -1;              // root node index, -1 when empty
  int32_t kind = kCompoundEmpty;        // ScriptCompoundKind
  CScriptValue* owner = nullptr;        // the value holding it; its name is used in messages
  int32_t freeSlot = 0;                 // no empty element slot lies below it
  int32_t freeNode = -1;                // first member node given back, chained by `left`
  // A local namespace made for a call of a function: the function's entry
  // word, which takes it back at the return, and the code list version it
  // was made in (it is kept only while the code is unchanged). Null for any
  // other compound.
  CScriptLiteral* spareOf = nullptr;
  uint64_t spareEpoch = 0;
  // The member records such a namespace had when its call returned, cleared
  // as the pool clears a released record but for their names, and kept in
  // use for the members of its next call (EmptyKeptNamespace), so a call's
  // parameters and locals take no records from the pool, and mostly find
  // their names written already. Released with the compound.
  std::vector<CScriptValue*> keptValues;
  // Made for an object parameter: when its call returns while a frame runs,
  // it is kept whole for the next such copy (ScriptPools::argumentCopies).
  bool argumentCopy = false;
  // The shape of a call's namespace: which names stand in which slots. Two
  // namespaces of one shape hold members of the same names in slots 0 to
  // shapeSize - 1, in the same order, and nothing else, so a lookup finds
  // the same slot (or no member) in both. Valid only while the stamp is
  // still `shapeStamp`: a change that keeps no shape changes the stamp. 0:
  // no shape known (any compound but a call's namespace).
  uint32_t shape = 0;
  uint32_t shapeSize = 0;
  uint64_t shapeStamp = 0;
  // A call's namespace whose kept records are in slot order: the top of
  // keptValues is the record that last stood in slot shapeSize, the next
  // one in the slot after, and so on. While that holds the namespace takes
  // the same record into the same slot at every call, so its stamp can be
  // told by this epoch and its shape alone (ScriptPools::ShapedStamp), and
  // the name links of one call still hold in the next. 0: the order is not
  // known; the next call starts a new epoch.
  uint64_t slotEpoch = 0;
  // A hash index of the members in place of the tree, kept only for the
  // global namespace, which every name lookup of the compiler searches.
  std::unique_ptr<MemberIndex> memberIndex;
  // A bit per member name ever added to the member tree since the compound
  // was last emptied (NameFilterBit): a name whose bit is clear is no member.
  uint64_t nameBits = 0;
  // Changes whenever a member or element is added or removed, and when the
  // record is taken from the pool. Stamps come from one counter of the pools
  // that is never reset, so two equal stamps mean the same compound with the
  // same member records: the virtual machine's name links rely on it. A
  // call's namespace that keeps its shape and slot order has the stamp of
  // its epoch and shape, the same at each call, with the same records.
  uint64_t stamp = 0;
};

// The bit of a member name in a compound's name filter (nameBits).
constexpr uint64_t NameFilterBit(const char* name, size_t length) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < length; i++) h = (h ^ uint8_t(name[i])) * 16777619u;
  return uint64_t(1) << ((h ^ (h >> 7) ^ (h >> 19)) & 63);
}

// The name accessor of a word: its text, or the empty text for an int or
// float word (whose text is only its printed form).
const char* WordName(const CScriptLiteral& word);

// The printed form of a word: "%d" of an int word, "%f" of a float word
// (made in the word's own text buffer), else its text.
const char* WordPrintedText(CScriptLiteral& word);

// Longest "%f" text of a 32-bit float with its terminating zero: a sign, 39
// integer digits (FLT_MAX is 3.4e38), the point and six decimals.
constexpr size_t kFloatTextBytes = 1 + 39 + 1 + 6 + 1;

// Word setters. Each first gives back a compound the word held (kind 14) to
// the array pool; they need the pools for that and take them explicitly.
class ScriptPools;
void SetIntValue(ScriptPools& pools, CScriptLiteral* word, int32_t value);
void SetFloatValue(ScriptPools& pools, CScriptLiteral* word, float value);
// Kind 4: the text read as a decimal int (clamped to 32 bits); kind 7: read
// as a float; any other kind except 13 (which needs the compiler's lookup):
// the text copied into the word.
void SetValueFromText(ScriptPools& pools, CScriptLiteral* word, const char* text, int kind);
// Frees the word's text buffer.
void FreeValueText(CScriptLiteral* word);
// Frees the text, clears the payload and sets kind 0.
void ClearScriptLiteral(ScriptPools& pools, CScriptLiteral* word);

// The value of a decimal text as the engine reads numbers: leading blanks, a
// sign and digits, clamped to the 32-bit range as a 32-bit strtol did; 0 when
// there are no digits. Always in the "C" locale.
int32_t ParseDecimalInt(const char* text);
// The same for hex digits (no "0x" prefix): "7FFFFFFF" and beyond clamp to
// 2147483647.
int32_t ParseHexInt(const char* text);
// A float text in the "C" locale (strtod rules), 0 when there is none.
float ParseFloat(const char* text);

// Whether `text` is the `length` bytes at `name`. For the short names of
// variables and namespaces, where a loop beats a call.
inline bool SameName(const std::string& text, const char* name, size_t length) {
  if (text.size() != length) return false;
  const char* own = text.data();
  size_t i = 0;
  while (i < length && own[i] == name[i]) i++;
  return i == length;
}

// ----------------------------------------------------------------------------
// Pools
//
// Three pools of fixed-size records. Slots are handed out lowest-free first;
// a record is made the first time its slot is used and then kept for the
// program's life, in chunks that never move, so words, references and owners
// may point at records freely. The capacity doubles when every slot is in
// use.
//
// Chunks start small and double up to kChunkBytes: the first touch of fresh
// memory costs far more than the work of a small script, so a script that
// uses a few thousand records pays for tens of kilobytes, not megabytes.
// ----------------------------------------------------------------------------

// Memory for a chunk of records: `bytes` on large pages where they fit
// (platform::AllocateLargePages), small chunks on ordinary pages. Null when
// there is no memory.
void* TakeChunkMemory(size_t bytes);
void GiveChunkMemory(void* memory, size_t bytes);
constexpr size_t kFirstChunkBytes = size_t(32) << 10;
constexpr size_t kChunkBytes = size_t(4) << 20;

template <typename T>
class RecordPool {
 public:
  // Powers of two, so finding a slot's chunk is a few shifts, not a division.
  static constexpr uint32_t kChunkRecords = uint32_t(std::bit_floor(kChunkBytes / sizeof(T)));
  static constexpr uint32_t kFirstChunkRecords =
      uint32_t(std::bit_floor(std::max<size_t>(kFirstChunkBytes / sizeof(T), 1)));
  // Chunks 0 to kGrowingChunks - 1 hold kFirstChunkRecords << k records;
  // every later one kChunkRecords. kGrowingSlots: the slots of the first.
  static constexpr uint32_t kGrowingChunks = uint32_t(std::countr_zero(kChunkRecords / kFirstChunkRecords));
  static constexpr uint32_t kGrowingSlots = kFirstChunkRecords * ((1u << kGrowingChunks) - 1);
  static constexpr uint32_t kPrefetchAhead = 16;

  explicit RecordPool(uint32_t firstCapacity) : firstCapacity_(firstCapacity) {}
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;

  // The lowest free slot's record, marked in use; null when the capacity
  // cannot grow (memory exhausted or `capacityLimit` reached).
  T* Take() {
    if (capacity_ == 0 && !Resize(firstCapacity_)) return nullptr;
    // Slots past the made chunks are free: `occupied_` covers only those.
    while (cursor_ < occupied_.size() && occupied_[cursor_]) cursor_++;
    if (cursor_ >= capacity_ && !Resize(capacity_ * 2)) return nullptr;
    uint32_t slot = cursor_;
    T* record = RecordAt(slot, true);
    if (!record) return nullptr;
    cursor_++;
    occupied_[slot] = 1;
    inUse_++;
    // Slots are mostly handed out in order: bring a later record in early.
    // (In the same chunk it is this record's neighbour, found without a
    // lookup; chunks hold a power of two records, at least 16 apart.)
    if (slot + kPrefetchAhead < occupied_.size()) {
      if (slot + kPrefetchAhead - hotStart_ < hotSize_) __builtin_prefetch(record + kPrefetchAhead, 1);
      else if (T* ahead = FindRecord(slot + kPrefetchAhead)) __builtin_prefetch(ahead, 1);
    }
    record->poolSlot = slot;
    return record;
  }

  // Marks a record's slot free. False (and nothing done) for a record that
  // is not this pool's, is already free, or when nothing is in use.
  bool Release(const T* record) {
    if (!record || inUse_ == 0 || record->poolSlot >= occupied_.size()) return false;
    uint32_t slot = record->poolSlot;
    if (!occupied_[slot] || RecordAt(slot, false) != record) return false;
    occupied_[slot] = 0;
    inUse_--;
    if (slot < cursor_) cursor_ = slot;
    return true;
  }

  // Calls `clear` on every record in use, then frees every slot.
  template <typename F>
  void ClearAll(F clear) {
    for (uint32_t slot = 0; slot < occupied_.size() && inUse_ > 0; slot++) {
      if (!occupied_[slot]) continue;
      clear(RecordAt(slot, false));
      occupied_[slot] = 0;
      inUse_--;
    }
    inUse_ = 0;
    cursor_ = 0;
  }

  bool InUse(uint32_t slot) const { return slot < occupied_.size() && occupied_[slot]; }
  // The record of a slot once made, else null.
  T* At(uint32_t slot) { return slot < capacity_ ? RecordAt(slot, false) : nullptr; }

  uint32_t Capacity() const { return capacity_; }
  uint32_t Count() const { return inUse_; }
  uint32_t Cursor() const { return cursor_; }
  uint32_t FirstCapacity() const { return firstCapacity_; }

  // The largest capacity growth may reach; tests lower it to reach the
  // exhaustion path without exhausting memory.
  uint32_t capacityLimit = 1u << 30;

 private:
  struct ChunkDeleter {
    uint32_t count = 0;
    void operator()(T* records) const {
      for (uint32_t i = 0; i < count; i++) records[i].~T();
      GiveChunkMemory(records, size_t(count) * sizeof(T));
    }
  };

  static constexpr uint32_t ChunkOf(uint32_t slot) {
    if (slot < kGrowingSlots) return uint32_t(std::bit_width(slot / kFirstChunkRecords + 1)) - 1;
    return kGrowingChunks + (slot - kGrowingSlots) / kChunkRecords;
  }
  static constexpr uint32_t ChunkStart(uint32_t chunk) {
    if (chunk < kGrowingChunks) return kFirstChunkRecords * ((1u << chunk) - 1);
    return kGrowingSlots + (chunk - kGrowingChunks) * kChunkRecords;
  }
  static constexpr uint32_t ChunkSize(uint32_t chunk) {
    return chunk < kGrowingChunks ? kFirstChunkRecords << chunk : kChunkRecords;
  }

  bool Resize(uint32_t capacity) {
    if (capacity == 0 || capacity > capacityLimit || capacity < capacity_) return false;
    try {
      chunks_.resize(ChunkOf(capacity - 1) + 1);
    } catch (const std::bad_alloc&) {
      return false;
    }
    capacity_ = capacity;
    return true;
  }

  // Most lookups fall in the chunk of the last one (the hot chunk), found
  // without working out a chunk from the slot. Chunks never move, so the
  // hot chunk stays valid for the pool's life.
  [[gnu::always_inline]] T* RecordAt(uint32_t slot, bool make) {
    uint32_t offset = slot - hotStart_;
    if (__builtin_expect(offset < hotSize_, 1)) return hotBase_ + offset;
    return RecordAtSlow(slot, make);
  }

  [[gnu::noinline]] T* RecordAtSlow(uint32_t slot, bool make) {
    uint32_t index = ChunkOf(slot);
    T* records = chunks_[index].get();
    if (__builtin_expect(!records, 0)) {
      if (!make || !(records = MakeChunk(index))) return nullptr;
    }
    hotBase_ = records;
    hotStart_ = ChunkStart(index);
    hotSize_ = ChunkSize(index);
    return records + (slot - hotStart_);
  }

  // A made record without moving the hot chunk (null: not made yet).
  T* FindRecord(uint32_t slot) const {
    uint32_t index = ChunkOf(slot);
    T* records = index < chunks_.size() ? chunks_[index].get() : nullptr;
    return records ? records + (slot - ChunkStart(index)) : nullptr;
  }

  // Chunks are made in order, as slots are handed out lowest first.
  [[gnu::noinline]] T* MakeChunk(uint32_t index) {
    uint32_t count = ChunkSize(index);
    uint32_t end = ChunkStart(index) + count;
    void* memory = TakeChunkMemory(size_t(count) * sizeof(T));
    if (!memory) return nullptr;
    try {
      if (occupied_.size() < end) occupied_.resize(end, 0);
    } catch (const std::bad_alloc&) {
      GiveChunkMemory(memory, size_t(count) * sizeof(T));
      return nullptr;
    }
    T* records = static_cast<T*>(memory);
    for (uint32_t i = 0; i < count; i++) new (records + i) T();
    chunks_[index] = std::unique_ptr<T, ChunkDeleter>(records, ChunkDeleter{count});
    return records;
  }

  uint32_t firstCapacity_;
  T* hotBase_ = nullptr;   // the hot chunk's records (see RecordAt)
  uint32_t hotStart_ = 0;  // its first slot
  uint32_t hotSize_ = 0;   // and its record count; 0: none yet
  uint32_t capacity_ = 0;  // 0 until first use
  uint32_t cursor_ = 0;    // the lowest slot that may be free
  uint32_t inUse_ = 0;
  std::vector<uint8_t> occupied_;  // one byte per slot of the made chunks
  std::vector<std::unique_ptr<T, ChunkDeleter>> chunks_;  // records, made a chunk at a time
};

// The engine's three pools (`ScriptLiteralPool`, `ScriptValuePool`,
// `ScriptArrayPool`). They live as long as the engine; clearing the engine
// frees every slot but keeps the records.
class ScriptPools {
 public:
  static constexpr uint32_t kFirstLiteralCapacity = 262144;
  static constexpr uint32_t kFirstValueCapacity = 262144;
  static constexpr uint32_t kFirstArrayCapacity = 65536;

  core::LogSystem* log = nullptr;  // where exhaustion is also written

  // The last name part of every value given a function or system-call
  // type since the last clear-all: a name that is not here names no function
  // and needs no lookup (the compiler classifies every name token).
  std::unordered_set<std::string> callableNames;
  // A bit per hash of those names, tested before the set: most names miss.
  std::vector<uint64_t> callableBits = std::vector<uint64_t>(1024, 0);
  void AddCallableName(std::string_view name);
  bool MayBeCallable(std::string_view name) const;

  // ReleaseScriptArray's work list, kept to save an allocation per release.
  std::vector<CScriptArray*> releasePending;

  // Small objects given back while a script frame runs (keepSpareObjects
  // set), kept whole for the next copies and literals (TakeSpareObject):
  // scripts make and drop objects of a few members over and over, and a
  // kept one is ready without a record taken from or given to the pools. A
  // kept object is empty, with its slot table of kScannedMemberSlots empty
  // slots; its member records are cleared but for their names and wait in
  // its keptValues. They stay in use in the pools until ReleaseSpareObjects
  // gives them back, which the end of every frame does, so outside a frame
  // the pools count what they always did.
  // A refer value may outlive the member it leads to and read its record
  // after the record's next taker wrote it: once a refer is made, records
  // go back to the pools in the order they always did, and no object is
  // kept until the pools are cleared.
  static constexpr size_t kMostSpareObjects = 8;
  bool keepSpareObjects = false;
  bool refersMade = false;
  std::vector<CScriptArray*> spareObjects;
  // Objects made for object parameters (CScriptArray::argumentCopy) whose
  // calls returned while a frame runs, kept whole, member records and
  // values as they stood (EmptyKeptNamespace): the next argument of the
  // same names in the same slots is copied into one in place
  // (TakeKeptObjectCopy). They go back with the spare objects, and under
  // the same rules.
  static constexpr size_t kMostArgumentCopies = 8;
  std::vector<CScriptArray*> argumentCopies;
  void NoteRefer() {
    if (refersMade) return;
    refersMade = true;
    ReleaseSpareObjects();
  }
  // A kept object, empty and of kind empty, owned by `owner` with a new
  // stamp as AllocScriptArray gives one; null when none is kept.
  CScriptArray* TakeSpareObject(CScriptValue* owner) {
    if (spareObjects.empty()) return nullptr;
    CScriptArray* array = spareObjects.back();
    spareObjects.pop_back();
    array->owner = owner;
    array->stamp = NewStamp();
    return array;
  }
  // Gives every kept object (argument copies too) and its member records
  // back to the pools.
  void ReleaseSpareObjects();
  // ReleaseScriptArray's keeping of a compound that is such an object,
  // true when kept (its compound members go to releasePending).
  bool KeepSpareObject(CScriptArray* array);
  // The keeping of an argument copy as it is, when its call's namespace is
  // emptied; true when kept.
  bool KeepArgumentCopy(CScriptArray* array);
  // Whether kept objects may come from `array`: a small object (no tree, no
  // index) that is no call's namespace and holds no kept records, the pool's
  // record in use, while no refer can lead into its records.
  bool MayKeep(const CScriptArray* array);

  // Namespace shapes (CScriptArray::shape): the shape a name added to a
  // shape makes, by the name and its parent's id; and each shape's parent
  // and last name, for the link check. kEmptyShape has no members.
  static constexpr uint32_t kEmptyShape = 1;
  static constexpr size_t kMostShapes = 65536;
  std::unordered_map<std::string, uint32_t> shapeChildren;
  std::vector<std::pair<uint32_t, std::string>> shapeParents = {{0, ""}, {0, ""}};
  std::string shapeKey;  // the lookup's key buffer
  // The last shapes made, by a hash of the parent and the name: calls make
  // the same few over and over.
  struct ShapeMemo {
    uint32_t from = 0;
    uint32_t to = 0;
    std::string name;
  };
  std::vector<ShapeMemo> shapeMemo = std::vector<ShapeMemo>(64);
  // The shape after adding `name` to `shape`; 0 when no more are kept.
  uint32_t ShapeAfter(uint32_t shape, const std::string& name) {
    size_t length = name.size();
    ShapeMemo& memo = shapeMemo[(shape * 2654435761u ^ uint32_t(length) * 31u ^ uint8_t(name[0])) & 63u];
    if (memo.from == shape && memo.to && SameName(memo.name, name.data(), length)) return memo.to;
    return ShapeAfterSlow(memo, shape, name);
  }
  uint32_t ShapeAfterSlow(ShapeMemo& memo, uint32_t shape, const std::string& name);  // and keeps it
  uint32_t FindShapeAfter(uint32_t shape, const std::string& name);  // without the memo

  // The source of CScriptArray stamps; only grows.
  uint64_t stampCounter = 0;
  uint64_t NewStamp() { return ++stampCounter; }
  // The stamp of a call's namespace of this slot epoch and shape: apart
  // from every counted stamp by the top bit, and from each other.
  static uint64_t ShapedStamp(uint64_t epoch, uint32_t shape) {
    static_assert(kMostShapes <= (uint64_t(1) << 17), "a shape fits below the epoch");
    return (uint64_t(1) << 63) | (epoch << 17) | shape;
  }

  RecordPool<CScriptLiteral> literals{kFirstLiteralCapacity};
  RecordPool<CScriptValue> values{kFirstValueCapacity};
  RecordPool<CScriptArray> arrays{kFirstArrayCapacity};

  // A free record with no next word (a value: the empty undefined value named
  // "" of kind 8; a compound: empty, owned by `owner`). Null after the
  // exhaustion message box.
  CScriptLiteral* AllocScriptLiteral();
  CScriptValue* AllocScriptValue();
  CScriptArray* AllocScriptArray(CScriptValue* owner);

  // Clear a record (giving back the compound it holds) and free its slot.
  // Records that are not the pool's, or already free, are left alone.
  void FreeScriptLiteral(CScriptLiteral* word);
  void FreeScriptValue(CScriptValue* value);
  void ReleaseScriptArray(CScriptArray* array);

  // Clears every record in use of all three pools and empties them.
  void ClearAll();

  // A variable that stands for one given back: undefined, without a name,
  // and cleared again each time it is handed out. Words left on a stack
  // that named a variable of a namespace gone name it instead
  // (script_thread.cpp), so they never read a record's next use.
  CScriptValue* DeadValue();
  CScriptValue deadValue;
};

// A kept member record of a compound (CScriptArray::keptValues), cleared
// but for its name; null when none is kept.
CScriptValue* TakeKeptValue(CScriptArray* array);
// Gives a compound's kept member records back to the pool.
void ReleaseKeptValues(ScriptPools& pools, CScriptArray* array);

// Record clearing shared by release and clear-all (script_pools.cpp).
void ResetLiteralRecord(CScriptLiteral* word);
void ResetValueRecord(CScriptValue* value);
// The same but for the name, which stays: a value given back to the pool,
// or kept for reuse, keeps its name until its next taker (AllocScriptValue
// clears it), so a word still naming it reads the same name either way.
void ResetValueKeepingName(CScriptValue* value);
void ResetArrayRecord(CScriptArray* array);

// ----------------------------------------------------------------------------
// Trees
//
// Balanced (AVL) trees whose nodes live in one array, linked by index (-1:
// none), so growing the array never breaks a link. Nodes are handed out in
// array order and freed only all together. A node pointer returned by an
// insert or a lookup is valid until the next insert.
// ----------------------------------------------------------------------------

// A string-keyed tree, ordered by plain byte-wise comparison (case-sensitive,
// unsigned bytes). The system-call registry is one.
struct NameTreeNode {
  std::string name;       // the node's own copy of its name
  void* value = nullptr;  // for the system-call registry: the handler
  int32_t left = -1;
  int32_t right = -1;
  int32_t height = 0;     // a leaf is 1
};

class NameTree {
 public:
  static constexpr int32_t kGrowNodes = 256;

  // The existing node of a known name (unchanged), else a new node with a
  // copy of the name and a null value.
  NameTreeNode* Insert(const char* name);
  // The node of a name, or null.
  NameTreeNode* Find(const char* name);
  // Frees every name and leaves 256 free nodes with an empty root.
  void Reset();

  int32_t Count() const { return used_; }
  int32_t Capacity() const { return int32_t(nodes_.size()); }
  int32_t Root() const { return root_; }
  int32_t Height() const { return root_ < 0 ? 0 : nodes_[size_t(root_)].height; }
  const NameTreeNode& Node(int32_t index) const { return nodes_[size_t(index)]; }

 private:
  std::vector<NameTreeNode> nodes_;
  int32_t used_ = 0;  // nodes [0, used_) are in use
  int32_t root_ = -1;
};

// The signature of a function or system call, keyed by its value.
struct FunctionSignature {
  const CScriptValue* key = nullptr;  // null = free node
  uint8_t returnType = 0;             // keyword code 111 to 119 once recorded
                                      // (115 when none is declared)
  uint8_t parameterCount = 0;
  uint8_t parameterTypes[34] = {};    // keyword codes 111 to 119; 16 used at most
  int32_t left = -1;
  int32_t right = -1;
  int32_t height = 0;
};

class SignatureTree {
 public:
  static constexpr int32_t kGrowNodes = 256;

  // The node of a function value, or a new zeroed one for it.
  FunctionSignature* Insert(const CScriptValue* key);
  FunctionSignature* Find(const CScriptValue* key);
  void Reset();

  int32_t Count() const { return used_; }
  int32_t Capacity() const { return int32_t(nodes_.size()); }
  int32_t Height() const { return root_ < 0 ? 0 : nodes_[size_t(root_)].height; }

 private:
  std::vector<FunctionSignature> nodes_;
  int32_t used_ = 0;
  int32_t root_ = -1;
};

// ----------------------------------------------------------------------------
// System-call records
//
// What crosses the boundary between a script and a native handler. A
// script declares each system call with its parameter types; the call
// instruction converts the arguments by them into 16 `SystemCallArgument`s,
// calls the handler registered under the call's name, writes `refer`
// parameters back and pushes the `SystemCallResult`.
// ----------------------------------------------------------------------------

class ScriptEngine;

// Types of an argument or result.
enum SystemCallType : int32_t {
  kCallInt = 0,
  kCallFloat = 1,
  kCallString = 2,
  kCallArray = 3,
  kCallObject = 4,
};

// One argument. Entries past the call's arguments, and arguments that do
// not fit their declared type, are all zero (type 0, int 0, no compound).
struct SystemCallArgument {
  int32_t type = kCallInt;          // SystemCallType
  const char* text = nullptr;       // type 2: the text, valid until the handler returns
  int32_t intValue = 0;
  float floatValue = 0.0f;
  CScriptArray* compound = nullptr; // types 3 and 4: the argument's own compound
};

// The result has the argument's five fields. The handler sets the type and
// the field of that type: a text may point into the scratch buffer or into
// storage that outlives the call (the caller copies it); a compound is one
// built for the result, which the pushed word takes over (null pushes 0).
// A type outside 0 to 4 pushes nothing.
using SystemCallResult = SystemCallArgument;

// The call as the handler sees it, passed by value.
struct SystemCallContext {
  const char* callName = nullptr;   // the name called (after the callee's last ".")
  ScriptEngine* engine = nullptr;   // the calling engine
  const char* folder = nullptr;     // the folder of the script file holding the call
  const char* file = nullptr;       // source file of the call word
  int32_t line = 0;                 // its line
  int32_t reserved = 0;             // carries nothing
  const char* sourceTag = nullptr;  // the memory text of a script compiled from
                                    // memory, null for code from a file
};

// A native handler: fills `result` and returns it. It may raise a
// ScriptError, which ends every thread as a run-time error at the call's
// position. `scratch` holds at least kSystemCallScratchBytes bytes.
using SystemCallHandler = SystemCallResult* (*)(SystemCallResult* result, SystemCallContext context,
                                                SystemCallArgument* arguments, char* scratch);

constexpr int kSystemCallArguments = 16;
constexpr size_t kSystemCallScratchBytes = 65536;

}  // namespace script
