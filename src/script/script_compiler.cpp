// script_compiler.cpp -- the compiler: turns the token list of a linked file
// into postfix words in one pass (statements, expressions by precedence
// climbing, declarations and function definitions), with the code-list
// helpers, labels, the loop-label stack and the scope path.
//
// Index:
//   [SECTION] Code list and labels
//   [SECTION] Word classification
//   [SECTION] Statements
//   [SECTION] Control statements
//   [SECTION] Expressions
//   [SECTION] Declarations
//   [SECTION] Function definitions
//   [SECTION] Entry points

#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ============================================================================
// [SECTION] Code list and labels
// ============================================================================

namespace {

// Links a new word in after the insertion cursor (at the front when the
// cursor is null), and moves the cursor to it.
void InsertWord(ScriptEngine& se, CScriptLiteral* w) {
  se.run.codeEpoch++;  // the virtual machine decodes the code anew
  if (se.codeCursor) {
    w->next = se.codeCursor->next;
    se.codeCursor->next = w;
  } else {
    w->next = se.codeHead;
    se.codeHead = w;
  }
  se.codeCursor = w;
}

CScriptLiteral* NewCodeWord(ScriptEngine& se) {
  if (CScriptLiteral* spare = se.compile.spareWords) {
    se.compile.spareWords = spare->next;
    ResetLiteralRecord(spare);  // its slot stays taken: it is a word again
    return spare;
  }
  CScriptLiteral* w = se.pools.AllocScriptLiteral();
  if (!w) {
    // Nothing more can be compiled: the file's compile stops.
    se.outOfWords = true;
    RaiseScriptError("%s", Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"));
  }
  return w;
}

}  // namespace

CScriptLiteral* EmitInstruction(ScriptEngine& se, std::string_view text, int kind, const SourcePosition& position) {
  CScriptLiteral* w = NewCodeWord(se);
  if (kind == kWordInt || kind == kWordFloat) {
    SetValueFromText(se.pools, w, std::string(text).c_str(), kind);
  } else {
    // A fresh word holds no compound: its text and kind are all it needs.
    w->payload = ScriptPayload{};
    w->text.assign(text.data(), text.size());
    w->kind = uint8_t(kind);
  }
  w->position = position;
  InsertWord(se, w);
  return w;
}

CScriptLiteral* EmitInt(ScriptEngine& se, int32_t value, const SourcePosition& position) {
  CScriptLiteral* w = NewCodeWord(se);
  SetIntValue(se.pools, w, value);
  w->position = position;
  InsertWord(se, w);
  return w;
}

namespace {

CScriptLiteral* EmitFloat(ScriptEngine& se, float value, const SourcePosition& position) {
  CScriptLiteral* w = NewCodeWord(se);
  SetFloatValue(se.pools, w, value);
  w->position = position;
  InsertWord(se, w);
  return w;
}

}  // namespace

void WordListTail(ScriptEngine& se, CScriptLiteral* word) {
  if (word) {
    se.codeCursor = word;
    return;
  }
  CScriptLiteral* w = se.codeCursor ? se.codeCursor : se.codeHead;
  while (w && w->next) w = w->next;
  se.codeCursor = w;
}

void DropWordsAfter(ScriptEngine& se, CScriptLiteral* word, CScriptLiteral* last) {
  se.run.codeEpoch++;
  CScriptLiteral* first = word ? word->next : se.codeHead;
  CScriptLiteral* rest = last ? last->next : nullptr;
  if (word) word->next = rest;
  else se.codeHead = rest;
  for (CScriptLiteral* w = first; w && w != rest;) {
    CScriptLiteral* next = w->next;
    se.pools.FreeScriptLiteral(w);
    w = next;
  }
  se.codeCursor = word;
}

std::string MakeLabel(ScriptEngine& se) {
  // "*L%04d", made by hand: a compile makes tens of thousands of them.
  char digits[16];
  uint32_t n = uint32_t(se.labelCounter < 0 ? 0 : se.labelCounter);
  int count = 0;
  do {
    digits[count++] = char('0' + n % 10);
    n /= 10;
  } while (n);
  std::string label = "*L";
  for (int pad = count; pad < 4; pad++) label += '0';
  while (count) label += digits[--count];
  se.labelCounter++;
  return label;
}

void PushLoopLabels(ScriptEngine& se, const std::string& breakLabel, const std::string& continueLabel) {
  se.loopLabels.breakLabels.push_back(breakLabel);
  se.loopLabels.continueLabels.push_back(continueLabel);
}

void PopLoopLabels(ScriptEngine& se) {
  if (se.loopLabels.breakLabels.empty()) return;
  se.loopLabels.breakLabels.pop_back();
  se.loopLabels.continueLabels.pop_back();
}

void EnterScope(std::string* path, const char* name) {
  const char* dot = std::strrchr(name, '.');
  const char* last = dot ? dot + 1 : name;
  if (!path->empty()) *path += '.';
  *path += last;
}

void LeaveScope(std::string* path) {
  size_t dot = path->rfind('.');
  path->erase(dot == std::string::npos ? 0 : dot);
}

CompileNesting::CompileNesting(ScriptEngine& engine) : se(engine) {
  if (se.compile.depth >= kMaxCompileDepth) RaiseScriptError("%s", Sjis("文または式の入れ子が深すぎます。"));
  se.compile.depth++;
}

CompileNesting::~CompileNesting() { se.compile.depth--; }

// ============================================================================
// [SECTION] Word classification
// ============================================================================

namespace {

struct Keyword {
  const char* text;
  int kind;
};

constexpr Keyword kKeywords[] = {
    {"if", kWordIf},           {"else", kWordElse},         {"while", kWordWhile},
    {"do", kWordDo},           {"for", kWordFor},           {"goto", kWordGoto},
    {"call", kWordCall},       {"return", kWordReturn},     {"__system_interrupt__", kWordSystemInterrupt},
    {"break", kWordBreak},     {"continue", kWordContinue}, {"int", kWordTypeInt},
    {"float", kWordTypeFloat}, {"string", kWordTypeString}, {"refer", kWordTypeRefer},
    {"variable", kWordTypeVariable}, {"function", kWordTypeFunction}, {"systemcall", kWordTypeSystemCall},
    {"array", kWordTypeArray}, {"object", kWordTypeObject}, {"static", kWordStatic},
    {"const", kWordConst},     {"extern", kWordExtern},     {"autorun", kWordAutorun},
};

int KeywordKind(const std::string& text) {
  // Keywords are 2 to 20 lower-case letters (and "_"): most names are
  // passed over on their length or first letter alone.
  size_t n = text.size();
  if (n < 2 || n > 20 || !((text[0] >= 'a' && text[0] <= 'w') || text[0] == '_')) return 0;
  for (const Keyword& k : kKeywords)
    if (text[0] == k.text[0] && std::char_traits<char>::length(k.text) == n && text == k.text) return k.kind;
  return 0;
}

// The text a type keyword is emitted with.
const char* TypeWordText(int kind) {
  const WordKindInfo* info = FindWordKind(kind);
  return info && info->codeText ? info->codeText : "";
}

bool IsDeclarationType(int kind) {
  return kind == kWordTypeInt || kind == kWordTypeFloat || kind == kWordTypeString || kind == kWordTypeVariable ||
         kind == kWordTypeFunction || kind == kWordTypeSystemCall || kind == kWordTypeArray || kind == kWordTypeObject;
}

bool IsParameterType(int kind) { return kind >= kWordTypeInt && kind <= kWordTypeObject; }

bool IsNameKind(int kind) { return kind == kWordName || kind == kWordFunctionName; }

// MakeQualifiedName for a name used in the function being compiled.
std::string QualifiedUse(ScriptEngine& se, int32_t link, const std::string& name) {
  CompileState& c = se.compile;
  if (c.prefixLink != link || c.prefixFunction != se.workString || c.prefix.empty()) {
    c.prefixFunction = se.workString;
    c.prefixLink = link;
    c.prefix = MakeQualifiedName(se.workString.c_str(), link, nullptr) + ".";
  }
  std::string out;
  out.reserve(c.prefix.size() + name.size());
  out += c.prefix;
  out += name;
  return out;
}

}  // namespace

int ClassifyToken(ScriptEngine& se, CScriptLiteral* token, std::string* text) {
  if (!token) {
    if (text) text->clear();
    return kWordEnd;
  }
  if (text) *text = WordPrintedText(*token);
  if (token->kind != kWordName) return token->kind;
  if (int keyword = KeywordKind(token->text)) return keyword;
  // Most names never named a function: no lookup for them.
  if (!se.pools.MayBeCallable(token->text)) return kWordName;
  std::string name = MakeQualifiedName(se.workString.c_str(), token->position.linkIndex, token->text.c_str());
  int type = LookupNameType(se, name.c_str());
  return type == kValueFunction || type == kValueSystemCall ? kWordFunctionName : kWordName;
}

// ============================================================================
// [SECTION] Statements
// ============================================================================

namespace {

// Restores what a statement changes on its way, when an error leaves it.
struct LoopLabelsScope {
  ScriptEngine& se;
  size_t depth;
  explicit LoopLabelsScope(ScriptEngine& engine) : se(engine), depth(engine.loopLabels.breakLabels.size()) {}
  ~LoopLabelsScope() {
    se.loopLabels.breakLabels.resize(depth);
    se.loopLabels.continueLabels.resize(depth);
  }
};

struct WorkStringScope {
  ScriptEngine& se;
  std::string saved;
  explicit WorkStringScope(ScriptEngine& engine) : se(engine), saved(engine.workString) {}
  ~WorkStringScope() { se.workString = saved; }
};

// Elements a declaration with dimensions may make at compile time.
constexpr int64_t kMaxDeclaredElements = 1 << 20;

// ----------------------------------------------------------------------------
// Skipping an abandoned statement
// ----------------------------------------------------------------------------

int TokenKeyword(const CScriptLiteral* t) { return t && t->kind == kWordName ? KeywordKind(t->text) : 0; }

// The token after the group that `open` opens ("(", "[" or "{"): after its
// matching closer, or null when the tokens end first.
CScriptLiteral* AfterGroup(CScriptLiteral* open) {
  int depth = 0;
  for (CScriptLiteral* t = open; t; t = t->next) {
    if (OpensGroup(t->kind)) depth++;
    else if (ClosesGroup(t->kind) && --depth == 0) return t->next;
  }
  return nullptr;
}

// The first token after the statement that starts at `t`, read by its
// shape alone: a block to its "}", a control statement with its condition
// and the statement(s) it governs, anything else to its ";" at bracket
// depth 0 (or through a function body: a "{" right after a ")"). An
// unmatched closer ends the statement before it, so the block around it
// still closes. An abandoned statement is passed over whole with this.
CScriptLiteral* StatementEnd(CScriptLiteral* t, int depth) {
  if (!t) return nullptr;
  if (depth < kMaxCompileDepth) {
    if (t->kind == kWordOpenBrace) return AfterGroup(t);
    if (t->kind == kWordLabel) return t->next;
    auto afterCondition = [](CScriptLiteral* u) {
      return u && u->kind == kWordOpenParen ? AfterGroup(u) : u;
    };
    switch (TokenKeyword(t)) {
      case kWordIf: {
        CScriptLiteral* u = StatementEnd(afterCondition(t->next), depth + 1);
        return TokenKeyword(u) == kWordElse ? StatementEnd(u->next, depth + 1) : u;
      }
      case kWordWhile:
      case kWordFor: return StatementEnd(afterCondition(t->next), depth + 1);
      case kWordElse: return StatementEnd(t->next, depth + 1);
      case kWordDo: {
        CScriptLiteral* u = StatementEnd(t->next, depth + 1);
        if (TokenKeyword(u) != kWordWhile) return u;
        u = afterCondition(u->next);
        return u && u->kind == kWordSemicolon ? u->next : u;
      }
      default: break;
    }
  }
  int level = 0;
  for (CScriptLiteral* u = t, *before = nullptr; u; before = u, u = u->next) {
    int k = u->kind;
    bool opener = OpensGroup(k), closer = ClosesGroup(k);
    if (level == 0) {
      if (k == kWordSemicolon) return u->next;
      if (closer) return u == t ? t->next : u;
      if (k == kWordOpenBrace && before && before->kind == kWordCloseParen) return AfterGroup(u);  // a body
    }
    if (opener) level++;
    else if (closer) level--;
  }
  return nullptr;
}

// One declared parameter.
struct Parameter {
  bool isConst = false;
  int type = kWordTypeVariable;
  std::string name;
};

class Compiler {
 public:
  explicit Compiler(ScriptEngine& se) : se_(se) {}

  // ClassifyToken, remembering the last answer: a statement, the expression
  // it starts and the declaration that expression may be classify the same
  // token in turn, with nothing compiled or defined in between.
  int Classify(CScriptLiteral* t, std::string* text) {
    if (text || !t || t != classified_ || se_.codeCursor != classifiedCursor_ ||
        se_.pools.values.Count() != classifiedValues_) {
      int kind = ClassifyToken(se_, t, text);
      classified_ = t;
      classifiedKind_ = kind;
      classifiedCursor_ = se_.codeCursor;
      classifiedValues_ = se_.pools.values.Count();
      return kind;
    }
    return classifiedKind_;
  }

  // Statements until the end of the tokens (a file) or a "}" (a block).
  // An error raised inside a statement is listed at the token being read,
  // the statement is abandoned and the next one is compiled. False when a
  // listed syntax error stopped it.
  //
  // `before` is the token list's token before `t` (null: `t` is its head).
  // The tokens of a statement are given back to the pool once the statement
  // after it is compiled too (the words it emits take their records), so a
  // compile holds the code and little more than one statement's tokens.
  // One statement is kept back: errors and the statements around a block
  // may still name its last tokens.
  bool StatementList(CScriptLiteral* t, CScriptLiteral* before, bool block, CScriptLiteral** next, int* count) {
    *count = 0;
    CScriptLiteral* last = nullptr;  // the first token of the statement before `t`
    for (;;) {
      if (last) ReleaseTokens(before, last);
      if (se_.outOfWords) {
        *next = nullptr;
        return false;
      }
      if (!t) {
        *next = nullptr;
        return true;
      }
      if (block && t->kind == kWordCloseBrace) {
        *next = t;
        return true;
      }
      CScriptLiteral* after = nullptr;
      bool ok;
      try {
        ok = Statement(t, &after);
      } catch (const ScriptError& e) {
        CScriptLiteral* at = se_.compile.token;
        AddCompileError(se_, e.text.c_str(), at ? &at->position : &t->position);
        // The cursor may stand inside the code of the broken statement.
        WordListTail(se_, nullptr);
        if (se_.outOfWords) {
          *next = nullptr;
          return false;
        }
        // The statement is abandoned whole and the next one is compiled.
        after = StatementEnd(t, 0);
        if (after == t) after = t->next;
        ok = true;
      }
      if (!ok) {
        *next = after;
        return false;
      }
      (*count)++;
      last = t;
      t = after;
    }
  }

  bool Statement(CScriptLiteral* t, CScriptLiteral** next) {
    CompileNesting nesting(se_);
    se_.compile.token = t;
    int kind = Classify(t, nullptr);
    *next = t->next;
    switch (kind) {
      case kWordLabel: {
        // Labels are not qualified: every label lives in the global
        // namespace, and a later one of the same name takes it over.
        CScriptLiteral* w = EmitInstruction(se_, t->text, kWordLabel, t->position);
        DefineFunctionVariable(se_, t->text.c_str(), w);
        return true;
      }
      case kWordOpenBrace: return Block(t, next);
      case kWordIf:
      case kWordWhile:
      case kWordDo:
      case kWordFor:
        if (se_.workString.empty()) RaiseScriptError(Sjis("関数の外では%s構文は使用できません。"), t->text.c_str());
        if (kind == kWordIf) return If(t, next);
        if (kind == kWordFor) return For(t, next);
        return kind == kWordWhile ? While(t, next) : Do(t, next);
      case kWordElse: RaiseScriptError("%s", Sjis("ifの無いelseです。"));
      case kWordGoto: {
        CScriptLiteral* after;
        if (!Expression(t->next, kWordSemicolon, &after, t)) return Stop(after, next);
        EmitInstruction(se_, "goto", kWordJump, t->position);
        return EndOfJump(after, next);
      }
      case kWordCall: {
        EmitInstruction(se_, "@", kWordCallMarker, t->position);
        CScriptLiteral* after;
        if (!Expression(t->next, kWordSemicolon, &after, t)) return Stop(after, next);
        EmitInstruction(se_, "call", kWordCallCode, t->position);
        return EndOfJump(after, next);
      }
      case kWordReturn: {
        CScriptLiteral* after;
        if (!Expression(t->next, kWordSemicolon, &after, t)) return Stop(after, next);
        EmitInstruction(se_, "return", kWordReturnCode, t->position);
        return EndOfJump(after, next);
      }
      case kWordBreak:
      case kWordContinue: {
        const std::vector<std::string>& labels =
            kind == kWordBreak ? se_.loopLabels.breakLabels : se_.loopLabels.continueLabels;
        EmitInstruction(se_, labels.empty() ? "null" : labels.back().c_str(), kWordString, t->position);
        EmitInstruction(se_, kind == kWordBreak ? "break" : "continue", kWordJump, t->position);
        return EndOfJump(t->next, next);
      }
      case kWordSemicolon: EmitInstruction(se_, ";", kWordSemicolon, t->position); return true;
      default: {
        CScriptLiteral* after;
        if (!Expression(t, kWordSemicolon, &after, t)) return Stop(after, next);
        if (after && after->kind == kWordSemicolon) {
          EmitInstruction(se_, ";", kWordSemicolon, after->position);
          *next = after->next;
        } else {
          *next = after;
        }
        return true;
      }
    }
  }

  // Declarations consumed their own ";"; the for statement's head needs to
  // know (set by Declaration, read right after an expression).
  bool declarationEnded_ = false;

  // Set when the tokens compiled are not the token list's own.
  bool keepTokens_ = false;

  // Gives back the tokens after `before` (from the head when null) up to
  // `keep`, which follows them.
  void ReleaseTokens(CScriptLiteral* before, CScriptLiteral* keep) {
    if (keepTokens_) return;
    CScriptLiteral*& link = before ? before->next : se_.tokenHead;
    CScriptLiteral* w = link;
    if (w == keep) return;
    link = keep;
    // The records are kept for the next words: handing them back to the
    // pool would leave holes below the live tokens that every later take
    // scans past.
    while (w && w != keep) {
      CScriptLiteral* following = w->next;
      w->next = se_.compile.spareWords;
      se_.compile.spareWords = w;
      w = following;
    }
    classified_ = nullptr;
  }

 private:

  bool Fail(CScriptLiteral* at, const char* message) {
    AddCompileError(se_, message, at ? &at->position : LastPosition());
    return false;
  }
  bool Stop(CScriptLiteral* at, CScriptLiteral** next) {
    *next = at;
    return false;
  }
  const SourcePosition* LastPosition() const {
    return se_.compile.token ? &se_.compile.token->position : nullptr;
  }

  // After goto, call, return, break and continue: ";" emits ";", "," ends
  // the statement without it.
  bool EndOfJump(CScriptLiteral* after, CScriptLiteral** next) {
    se_.compile.token = after ? after : se_.compile.token;
    if (after && after->kind == kWordSemicolon) {
      EmitInstruction(se_, ";", kWordSemicolon, after->position);
      *next = after->next;
      return true;
    }
    if (after && after->kind == kWordComma) {
      *next = after->next;
      return true;
    }
    *next = after;
    return Fail(after, Sjis("式の終端に「;」が足りません。"));
  }

  bool Block(CScriptLiteral* open, CScriptLiteral** next) {
    int count = 0;
    CScriptLiteral* close = nullptr;
    if (!StatementList(open->next, open, true, &close, &count)) return Stop(close, next);
    if (!close) {
      AddCompileError(se_, Sjis("文ブロック中にソースコード終端になりました。「}」が足りません。"), LastPosition());
      return Stop(nullptr, next);
    }
    if (count == 0) EmitInstruction(se_, ";", kWordSemicolon, close->position);
    lastClose_ = close;
    *next = close->next;
    return true;
  }

  // ==========================================================================
  // [SECTION] Control statements
  // ==========================================================================

  void DefineLabel(const std::string& label, const SourcePosition& position) {
    CScriptLiteral* w = EmitInstruction(se_, label, kWordLabel, position);
    DefineFunctionVariable(se_, label.c_str(), w);
  }
  void JumpTo(const std::string& label, const SourcePosition& position) {
    EmitInstruction(se_, label, kWordString, position);
    EmitInstruction(se_, "goto", kWordJump, position);
  }
  void JumpIfFalse(const std::string& label, const SourcePosition& position) {
    EmitInstruction(se_, label, kWordString, position);
    EmitInstruction(se_, "if_not_goto", kWordJumpIfFalse, position);
  }

  // "(" condition ")" with the statement's own messages; `*after` gets the
  // token after ")".
  bool Condition(CScriptLiteral* open, const char* noOpen, const char* noClose, CScriptLiteral** after) {
    se_.compile.token = open;
    if (!open || open->kind != kWordOpenParen) {
      *after = open;
      return Fail(open, noOpen);
    }
    CScriptLiteral* close;
    if (!Expression(open->next, kWordCloseParen, &close, open)) {
      *after = close;
      return false;
    }
    se_.compile.token = close;
    if (!close || close->kind != kWordCloseParen) {
      *after = close;
      return Fail(close, noClose);
    }
    *after = close->next;
    return true;
  }

  bool If(CScriptLiteral* t, CScriptLiteral** next) {
    CScriptLiteral* body;
    if (!Condition(t->next, Sjis("if構文に「(」が足りません。"), Sjis("if構文に「)」が足りません。"), &body))
      return Stop(body, next);
    std::string l1 = MakeLabel(se_);
    JumpIfFalse(l1, t->position);
    CScriptLiteral* after;
    if (!Body(body, &after)) return Stop(after, next);
    if (after && Classify(after, nullptr) == kWordElse) {
      std::string l2 = MakeLabel(se_);
      JumpTo(l2, after->position);
      DefineLabel(l1, after->position);
      CScriptLiteral* end;
      if (!Body(after->next, &end)) return Stop(end, next);
      DefineLabel(l2, after->position);
      *next = end;
      return true;
    }
    DefineLabel(l1, t->position);
    *next = after;
    return true;
  }

  bool While(CScriptLiteral* t, CScriptLiteral** next) {
    std::string l1 = MakeLabel(se_), l2 = MakeLabel(se_);
    DefineLabel(l1, t->position);
    CScriptLiteral* body;
    if (!Condition(t->next, Sjis("while構文に「(」が足りません。"), Sjis("while構文に「)」が足りません。"), &body))
      return Stop(body, next);
    JumpIfFalse(l2, t->position);
    LoopLabelsScope loop(se_);
    PushLoopLabels(se_, l2, l1);
    CScriptLiteral* after;
    if (!Body(body, &after)) return Stop(after, next);
    PopLoopLabels(se_);
    JumpTo(l1, t->position);
    DefineLabel(l2, t->position);
    *next = after;
    return true;
  }

  bool Do(CScriptLiteral* t, CScriptLiteral** next) {
    std::string l1 = MakeLabel(se_), l2 = MakeLabel(se_);
    DefineLabel(l1, t->position);
    LoopLabelsScope loop(se_);
    PushLoopLabels(se_, l2, l1);  // continue goes back to the top of the body
    CScriptLiteral* after;
    if (!Body(t->next, &after)) return Stop(after, next);
    PopLoopLabels(se_);
    se_.compile.token = after;
    if (!after || Classify(after, nullptr) != kWordWhile) {
      *next = after;
      return Fail(after, Sjis("do構文にwhileが足りません。"));
    }
    CScriptLiteral* end;
    if (!Condition(after->next, Sjis("while構文に「(」が足りません。"), Sjis("while構文に「)」が足りません。"), &end))
      return Stop(end, next);
    JumpIfFalse(l2, after->position);
    JumpTo(l1, after->position);
    DefineLabel(l2, after->position);
    *next = end;
    return true;
  }

  bool For(CScriptLiteral* t, CScriptLiteral** next) {
    CScriptLiteral* u = t->next;
    se_.compile.token = u;
    if (!u || u->kind != kWordOpenParen) {
      *next = u;
      return Fail(u, Sjis("for構文に「(」が足りません。"));
    }
    u = u->next;
    // The initialisation; a declaration there has taken its own ";".
    bool initEnded = false;
    if (u && u->kind != kWordSemicolon) {
      declarationEnded_ = false;
      if (!Expression(u, kWordSemicolon, &u, t)) return Stop(u, next);
      initEnded = declarationEnded_;
    }
    if (!initEnded) {
      if (!Expect(u, kWordSemicolon, Sjis("for構文に「;」が足りません。"), next)) return false;
      u = u->next;
    }
    std::string l1 = MakeLabel(se_), l2 = MakeLabel(se_), l3 = MakeLabel(se_), l4 = MakeLabel(se_);
    DefineLabel(l1, t->position);
    if (u && u->kind == kWordSemicolon) {
      EmitInt(se_, 1, u->position);  // no condition: always true
    } else if (!Expression(u, kWordSemicolon, &u, t)) {
      return Stop(u, next);
    }
    if (!Expect(u, kWordSemicolon, Sjis("for構文に「;」が足りません。"), next)) return false;
    u = u->next;
    JumpIfFalse(l2, t->position);
    JumpTo(l3, t->position);
    DefineLabel(l4, t->position);
    if (u && u->kind != kWordCloseParen) {
      CScriptLiteral* stepStart = u;
      if (!Expression(u, kWordCloseParen, &u, t)) return Stop(u, next);
      // The step's value is discarded like a statement's, so a loop whose
      // body runs no ";" leaves nothing behind on the data stack.
      EmitInstruction(se_, ";", kWordSemicolon, stepStart->position);
    }
    if (!Expect(u, kWordCloseParen, Sjis("for構文に「)」が足りません。"), next)) return false;
    JumpTo(l1, t->position);
    DefineLabel(l3, t->position);
    LoopLabelsScope loop(se_);
    PushLoopLabels(se_, l2, l4);
    CScriptLiteral* after;
    if (!Body(u->next, &after)) return Stop(after, next);
    JumpTo(l4, t->position);
    DefineLabel(l2, t->position);
    PopLoopLabels(se_);
    *next = after;
    return true;
  }

  bool Expect(CScriptLiteral* u, int kind, const char* message, CScriptLiteral** next) {
    se_.compile.token = u ? u : se_.compile.token;
    if (u && u->kind == kind) return true;
    *next = u;
    return Fail(u, message);
  }

  // The one statement a control statement governs.
  bool Body(CScriptLiteral* t, CScriptLiteral** next) {
    if (!t) {
      *next = nullptr;
      return Fail(nullptr, Sjis("文ブロック中にソースコード終端になりました。「}」が足りません。"));
    }
    return Statement(t, next);
  }

  // ==========================================================================
  // [SECTION] Expressions
  // ==========================================================================

 public:
  // One expression whose operators bind more tightly than the level of
  // `levelKind` (both 0 and the assignment level 1 admit every operator).
  // `from` is the token before, for the position of an error at the end.
  bool Expression(CScriptLiteral* t, int levelKind, CScriptLiteral** next, CScriptLiteral* from) {
    CompileNesting nesting(se_);
    int level = se_.precedence[size_t(levelKind & 127)];
    se_.compile.token = t ? t : from;
    *next = t;
    if (!t) {
      AddCompileError(se_, Sjis("式の中に不正な字句「」があります。"), from ? &from->position : nullptr);
      return false;
    }
    CScriptLiteral* start = se_.codeCursor;  // the word before this operand's code
    int kind = Classify(t, nullptr);
    bool inFunction = !se_.workString.empty();
    std::string calleeName;  // set while the operand is a bare name
    CScriptLiteral* u = t->next;
    switch (kind) {
      case kWordInt: EmitInt(se_, t->payload.i, t->position); break;
      case kWordFloat: EmitFloat(se_, t->payload.f, t->position); break;
      case kWordName:
      case kWordFunctionName:
        if (!inFunction) return Declaration(t, next);
        calleeName = QualifiedUse(se_, t->position.linkIndex, t->text);
        EmitInstruction(se_, calleeName, kind, t->position);
        break;
      case kWordString: EmitInstruction(se_, t->text, kWordString, t->position); break;
      case kWordAdd:
      case kWordSubtract:
      case kWordNot:
      case kWordBitNot:
      case kWordIncrement:
      case kWordDecrement: {
        int prefix = PrefixKind(kind);
        if (!Expression(u, prefix, &u, t)) return Stop(u, next);
        EmitInstruction(se_, TypeWordText(prefix), prefix, t->position);
        break;
      }
      case kWordOpenParen: {
        int castType = u ? Classify(u, nullptr) : 0;
        if (castType == kWordTypeInt || castType == kWordTypeFloat || castType == kWordTypeString ||
            castType == kWordTypeFunction) {
          CScriptLiteral* close = u->next;
          se_.compile.token = close ? close : u;
          if (!close || close->kind != kWordCloseParen) {
            *next = close;
            return Fail(close ? close : u, Sjis("明示的型キャストの終端に「)」が足りません。"));
          }
          u = close->next;
          if (!Expression(u, kWordTypeInt, &u, close)) return Stop(u, next);
          int cast = castType == kWordTypeInt     ? kWordCastInt
                     : castType == kWordTypeFloat ? kWordCastFloat
                     : castType == kWordTypeString ? kWordCastString
                                                   : kWordCastFunction;
          EmitInstruction(se_, TypeWordText(cast), cast, t->position);
          break;
        }
        CScriptLiteral* close;
        if (!Expression(u, kWordCloseParen, &close, t)) return Stop(close, next);
        se_.compile.token = close ? close : t;
        if (!close || close->kind != kWordCloseParen) {
          *next = close;
          return Fail(close ? close : t, Sjis("式の終端に「)」が足りません。"));
        }
        u = close->next;
        break;
      }
      case kWordOpenBrace:
      case kWordOpenBracket:
        if (!CompileCompoundLiteral(se_, t, &u)) return Stop(u, next);
        break;
      case kWordSystemInterrupt:
        if (!SystemInterrupt(t, &u)) return Stop(u, next);
        break;
      default:
        if (kind == kWordTypeRefer || !(IsDeclarationType(kind) || kind == kWordStatic || kind == kWordConst ||
                                        kind == kWordExtern))
          return Fail(t, Sjis("式の中に不正な字句「%s」があります。"), WordPrintedText(*t), next);
        return Declaration(t, next);
    }
    // Operators after the operand.
    for (;;) {
      CScriptLiteral* op = u;
      se_.compile.token = op ? op : se_.compile.token;
      *next = op;
      if (!op) return true;
      int opKind = op->kind == kWordName ? Classify(op, nullptr) : op->kind;
      int opLevel = se_.precedence[size_t(opKind & 127)];
      if (opKind >= 128) opLevel = opKind == kWordIf || opKind == kWordWhile || opKind == kWordFor ? -1 : 0;
      if (opLevel < 0) {
        AddCompileErrorf(se_, &op->position, Sjis("式の中に不正な演算子「%s」があります。"), WordPrintedText(*op));
        // The words that would have belonged to this expression are passed over.
        CScriptLiteral* skip = op->next;
        while (skip && se_.precedence[size_t(skip->kind & 127)] > level) skip = skip->next;
        *next = skip;
        return false;
      }
      if (!(opLevel > level || (opLevel == 1 && level == 1))) return true;
      if (opKind >= kWordTypeInt && opKind <= kWordAutorun) return true;  // keywords are no operators
      switch (opKind) {
        case kWordIncrement:
        case kWordDecrement:
          EmitInstruction(se_, op->text, opKind, op->position);
          u = op->next;
          break;
        case kWordOpenParen:
          if (!Call(op, start, calleeName, &u)) return Stop(u, next);
          break;
        case kWordOpenBracket: {
          CScriptLiteral* close;
          if (!Expression(op->next, kWordCloseBracket, &close, op)) return Stop(close, next);
          se_.compile.token = close ? close : op;
          if (!close || close->kind != kWordCloseBracket) {
            *next = close;
            return Fail(close ? close : op, Sjis("式の終端に「]」が足りません。"));
          }
          EmitInstruction(se_, "[]", kWordIndex, op->position);
          u = close->next;
          break;
        }
        default:
          if (!Expression(op->next, opKind, &u, op)) return Stop(u, next);
          EmitInstruction(se_, op->text, opKind, op->position);
          break;
      }
      calleeName.clear();
    }
  }

 private:
  bool Fail(CScriptLiteral* at, const char* format, const char* arg, CScriptLiteral** next) {
    AddCompileErrorf(se_, at ? &at->position : LastPosition(), format, arg);
    *next = at;
    return false;
  }

  static int PrefixKind(int kind) {
    switch (kind) {
      case kWordAdd: return kWordPrefixPlus;
      case kWordSubtract: return kWordPrefixMinus;
      case kWordNot: return kWordPrefixNot;
      case kWordBitNot: return kWordPrefixBitNot;
      case kWordIncrement: return kWordPrefixIncrement;
      default: return kWordPrefixDecrement;
    }
  }

  bool SystemInterrupt(CScriptLiteral* t, CScriptLiteral** next) {
    CScriptLiteral* u = t->next;
    se_.compile.token = u ? u : t;
    if (!u || u->kind != kWordOpenParen) {
      *next = u;
      return Fail(u ? u : t, Sjis("システム割り込み文に「(」が足りません。"));
    }
    u = u->next;
    if (u && u->kind == kWordCloseParen) {
      u = u->next;
    } else {
      for (;;) {
        CScriptLiteral* after;
        if (!Expression(u, kWordComma, &after, t)) {
          *next = after;
          return false;
        }
        se_.compile.token = after ? after : se_.compile.token;
        if (after && after->kind == kWordComma) {
          u = after->next;
          continue;
        }
        if (after && after->kind == kWordCloseParen) {
          u = after->next;
          break;
        }
        *next = after;
        return Fail(after, after ? Sjis("システム割り込み文に「,」が足りません。") : Sjis("システム割り込み文に「)」が足りません。"));
      }
    }
    EmitInstruction(se_, "__system_interrupt__", kWordInterruptCode, t->position);
    *next = u;
    return true;
  }

  // A call: "@" goes before the callee's first word, the arguments right
  // after it, "call" after the callee.
  bool Call(CScriptLiteral* open, CScriptLiteral* start, const std::string& calleeName, CScriptLiteral** next) {
    CScriptLiteral* calleeEnd = se_.codeCursor;
    se_.codeCursor = start;
    EmitInstruction(se_, "@", kWordCallMarker, open->position);
    int32_t arguments = 0;
    CScriptLiteral* u = open->next;
    se_.compile.token = u ? u : open;
    if (u && u->kind == kWordCloseParen) {
      u = u->next;
    } else {
      for (;;) {
        if (!u) {
          *next = nullptr;
          return Fail(nullptr, Sjis("関数呼び出し中にソースコード終端になりました。「);」が足りません。"));
        }
        CScriptLiteral* after;
        if (!Expression(u, kWordComma, &after, open)) {
          *next = after;
          return false;
        }
        arguments++;
        se_.compile.token = after ? after : se_.compile.token;
        if (!after) {
          *next = nullptr;
          return Fail(nullptr, Sjis("関数呼び出し中にソースコード終端になりました。「);」が足りません。"));
        }
        if (after->kind == kWordCloseParen) {
          u = after->next;
          break;
        }
        if (after->kind == kWordComma) {
          u = after->next;
          continue;
        }
        *next = after;
        if (after->kind == kWordSemicolon) return Fail(after, Sjis("関数呼び出し中に行終端になりました。「)」が足りません。"));
        return Fail(after, Sjis("引数の間に「,」が足りません。"));
      }
    }
    // The arguments went in before the callee; the callee's last word is
    // still the end of the expression.
    WordListTail(se_, calleeEnd);
    EmitInstruction(se_, "call", kWordCallCode, open->position);
    *next = u;
    if (calleeName.empty()) {
      AddCompileError(se_, Sjis("関数名の定義がありません。"), &open->position);
      return true;
    }
    CheckSignature(open, calleeName, arguments);
    return true;
  }

  void CheckSignature(CScriptLiteral* open, const std::string& calleeName, int32_t arguments) {
    CScriptValue* v = FollowRefer(LookupName(se_, calleeName.c_str()));
    if (!v || (v->type != kValueFunction && v->type != kValueSystemCall)) return;
    const char* plain = std::strrchr(calleeName.c_str(), '.');
    plain = plain ? plain + 1 : calleeName.c_str();
    FunctionSignature* signature = se_.signatures.Find(v);
    if (!signature) {
      // The first call of a function declared without parameter list fixes
      // its parameter count.
      signature = se_.signatures.Insert(v);
      if (!signature) return;
      signature->parameterCount = uint8_t(arguments > 16 ? 16 : arguments);
      signature->returnType = kWordTypeVariable;
    } else if (arguments > signature->parameterCount) {
      AddCompileErrorf(se_, &open->position, Sjis("関数[%s]の引数の数が多すぎます。"), plain);
    } else if (arguments < signature->parameterCount) {
      AddCompileErrorf(se_, &open->position, Sjis("関数[%s]の引数の数が足りません。"), plain);
    }
    int cast = 0;
    switch (signature->returnType) {
      case kWordTypeInt: cast = kWordCastInt; break;
      case kWordTypeFloat: cast = kWordCastFloat; break;
      case kWordTypeString: cast = kWordCastString; break;
      case kWordTypeFunction: cast = kWordCastFunction; break;
      default: break;
    }
    if (cast) EmitInstruction(se_, TypeWordText(cast), cast, open->position);
  }

  // ==========================================================================
  // [SECTION] Declarations
  // ==========================================================================

 public:
  bool Declaration(CScriptLiteral* t, CScriptLiteral** next) {
    CompileNesting nesting(se_);
    CScriptLiteral* mark = se_.codeCursor;
    int attributes = 0;
    int type = 0;
    CScriptLiteral* u = t;
    for (;;) {
      se_.compile.token = u;
      int kind = Classify(u, nullptr);
      if (kind == kWordStatic) attributes |= kAttrStatic;
      else if (kind == kWordExtern) attributes |= kAttrExtern;
      else if (kind == kWordConst) attributes |= kAttrConst;
      else if (IsDeclarationType(kind)) {
        type = kind;
        u = u->next;
        break;
      } else if (IsNameKind(kind)) {
        type = kWordTypeVariable;  // a name where the type stands: `variable`
        break;
      } else {
        se_.compile.token = u ? u : t;
        RaiseScriptError(Sjis("「%s」は型名ではありません。"), u ? WordPrintedText(*u) : "");
      }
      u = u->next;
    }
    if ((attributes & kAttrStatic) && (attributes & kAttrExtern)) {
      se_.compile.token = u ? u : t;
      RaiseScriptError("%s", Sjis("変数定義においてstaticとexternの併用は出来ません。"));
    }
    bool inFunction = !se_.workString.empty();
    bool local = inFunction && !(attributes & (kAttrStatic | kAttrExtern));
    bool callable = type == kWordTypeFunction || type == kWordTypeSystemCall;
    bool autorun = false;
    int returnType = 0;
    if (callable) {
      if (u && Classify(u, nullptr) == kWordAutorun) {
        autorun = true;
        u = u->next;
      }
      int kind = u ? Classify(u, nullptr) : 0;
      if (IsDeclarationType(kind)) {
        returnType = kind;
        u = u->next;
      }
    }
    for (;;) {
      Declarator d{type, attributes, autorun, returnType, local};
      CScriptLiteral* after;
      int result = OneDeclarator(u, mark, d, &after);
      if (result == kDeclaratorFailed) return Stop(after, next);
      if (result == kDeclaratorDefinition) {
        *next = after;
        return true;
      }
      u = after;
      se_.compile.token = u ? u : se_.compile.token;
      if (u && u->kind == kWordSemicolon) {
        declarationEnded_ = true;
        *next = u->next;
        return true;
      }
      if (u && u->kind == kWordComma) {
        u = u->next;
        continue;
      }
      *next = u;
      if (!u) return Fail(nullptr, Sjis("型定義中にソースコード終端になりました。「;」が足りません。"));
      RaiseScriptError("%s", Sjis("型定義の間に「,」が足りません。"));
    }
  }

 private:
  struct Declarator {
    int type;        // keyword kind 111 to 119
    int attributes;  // static, extern, const
    bool autorun;
    int returnType;  // keyword kind, 0 when none was given
    bool local;
  };

  enum { kDeclaratorFailed, kDeclaratorDone, kDeclaratorDefinition };


  // One declarator from its name; `*after` gets the token after it (its
  // separator), or after the body of a function definition.
  int OneDeclarator(CScriptLiteral* u, CScriptLiteral* mark, Declarator d, CScriptLiteral** after) {
    se_.compile.token = u ? u : se_.compile.token;
    int kind = Classify(u, nullptr);
    if (!IsNameKind(kind)) RaiseScriptError(Sjis("「%s」は変数名ではありません。"), u ? WordPrintedText(*u) : "");
    CScriptLiteral* nameToken = u;
    std::string plain = u->text;
    if (d.type == kWordTypeFunction && plain == "main") {
      d.attributes |= kAttrExtern;  // main is always extern and autorun
      d.autorun = true;
    }
    std::string name;
    if (d.attributes & kAttrExtern) name = plain;
    else name = MakeQualifiedName(se_.workString.c_str(), nameToken->position.linkIndex, plain.c_str());
    CScriptLiteral* declStart = se_.codeCursor;
    u = u->next;
    // Dimensions: code for a local, constant ints otherwise.
    int32_t dimensionCount = 0;
    std::vector<int32_t> sizes;
    bool sizesEnded = false;
    while (u && u->kind == kWordOpenBracket) {
      CScriptLiteral* close = nullptr;
      if (d.local) {
        if (!Expression(u->next, kWordCloseBracket, &close, u)) {
          *after = close;
          return kDeclaratorFailed;
        }
      } else {
        CScriptLiteral* size = EvaluateConstantExpression(se_, u->next, 0, &close);
        if (!size) {
          *after = close;
          return kDeclaratorFailed;
        }
        int32_t n = size->kind == kWordFloat ? TruncateToInt(size->payload.f)
                    : size->kind == kWordInt ? size->payload.i
                                              : ParseDecimalInt(size->text.c_str());
        se_.pools.FreeScriptLiteral(size);
        if (n <= 0 || sizes.size() >= 255) sizesEnded = true;
        if (!sizesEnded) sizes.push_back(n);
      }
      se_.compile.token = close ? close : u;
      if (!close || close->kind != kWordCloseBracket) {
        *after = close;
        AddCompileError(se_, Sjis("変数定義のインデックスに]が足りません。"), close ? &close->position : &u->position);
        return kDeclaratorFailed;
      }
      dimensionCount++;
      u = close->next;
    }
    // Parameters of a function or system call.
    bool hasParameters = false;
    std::vector<Parameter> parameters;
    if ((d.type == kWordTypeFunction || d.type == kWordTypeSystemCall) && u && u->kind == kWordOpenParen) {
      hasParameters = true;
      if (!ReadParameters(u, plain, &parameters, &u)) {
        *after = u;
        return kDeclaratorFailed;
      }
    }
    if (u && u->kind == kWordOpenBrace && (d.type == kWordTypeFunction || d.type == kWordTypeSystemCall)) {
      bool ok = Definition(nameToken, name, plain, d, dimensionCount > 0, parameters, mark, u, after);
      return ok ? kDeclaratorDefinition : kDeclaratorFailed;
    }
    if (d.local) return LocalDeclarator(nameToken, name, d, dimensionCount, declStart, u, after);
    return GlobalDeclarator(nameToken, name, d, sizes, hasParameters, parameters, u, after);
  }

  bool ReadParameters(CScriptLiteral* open, const std::string& function, std::vector<Parameter>* out,
                      CScriptLiteral** next) {
    CScriptLiteral* u = open->next;
    if (u && u->kind == kWordCloseParen) {
      *next = u->next;
      return true;
    }
    for (;;) {
      se_.compile.token = u ? u : se_.compile.token;
      Parameter p;
      int kind = u ? Classify(u, nullptr) : 0;
      if (kind == kWordConst) {
        p.isConst = true;
        u = u->next;
        kind = u ? Classify(u, nullptr) : 0;
      }
      if (IsParameterType(kind)) {
        p.type = kind;
        u = u->next;
        kind = u ? Classify(u, nullptr) : 0;
      }
      if (!IsNameKind(kind)) {
        *next = u;
        AddCompileErrorf(se_, u ? &u->position : LastPosition(),
                         Sjis("関数「%s」の引数定義に変数名が定義されていません。不正な字句があります。"), function.c_str());
        return false;
      }
      p.name = u->text.substr(0, 255);
      out->push_back(p);
      u = u->next;
      se_.compile.token = u ? u : se_.compile.token;
      if (u && u->kind == kWordCloseParen) {
        *next = u->next;
        return true;
      }
      if (u && u->kind == kWordComma) {
        if (out->size() >= 16) {
          *next = u;
          return Fail(u, Sjis("関数の引数が多すぎます。"));
        }
        u = u->next;
        continue;
      }
      *next = u;
      return Fail(u, Sjis("関数の引数定義に「,」が足りません。"));
    }
  }

  // A local declarator compiles to words the virtual machine carries out:
  // initial value, dimension sizes, dimension count, type, "static",
  // "const", return type, name. The initial value is compiled last but
  // inserted first.
  int LocalDeclarator(CScriptLiteral* nameToken, const std::string& name, const Declarator& d,
                      int32_t dimensionCount, CScriptLiteral* declStart, CScriptLiteral* u, CScriptLiteral** after) {
    const SourcePosition& at = nameToken->position;
    EmitInt(se_, dimensionCount, at);
    EmitInstruction(se_, TypeWordText(d.type), d.type, at);
    if (d.attributes & kAttrStatic) EmitInstruction(se_, "static", kWordStatic, at);
    if (d.attributes & kAttrConst) EmitInstruction(se_, "const", kWordConst, at);
    bool callable = d.type == kWordTypeFunction || d.type == kWordTypeSystemCall;
    if (callable && d.returnType) EmitInstruction(se_, TypeWordText(d.returnType), d.returnType, at);
    CScriptLiteral* nameWord = EmitInstruction(se_, name, callable ? kWordFunctionName : kWordName, at);
    se_.codeCursor = declStart;
    if (u && u->kind == kWordAssign) {
      if (!Expression(u->next, kWordComma, after, u)) return kDeclaratorFailed;
    } else {
      *after = u;
      switch (d.type) {
        case kWordTypeFloat: EmitFloat(se_, 0.0f, at); break;
        case kWordTypeString: EmitInstruction(se_, "", kWordString, at); break;
        case kWordTypeArray:
          EmitInt(se_, 0, at);
          EmitInstruction(se_, "{Array}", kWordBuildArray, at);
          break;
        case kWordTypeObject:
          EmitInt(se_, 0, at);
          EmitInstruction(se_, "{Object}", kWordBuildObject, at);
          break;
        case kWordTypeFunction: EmitInstruction(se_, "(null function)", kWordFunctionConstant, at); break;
        case kWordTypeSystemCall: EmitInstruction(se_, "(null syscall)", kWordFunctionConstant, at); break;
        default: EmitInt(se_, 0, at); break;  // int, variable
      }
    }
    WordListTail(se_, nameWord);
    return kDeclaratorDone;
  }

  // The variable a global declarator redefines: a static one by its exact
  // name, others through the lookup.
  CScriptValue* ExistingVariable(const std::string& name, int attributes) {
    if (attributes & kAttrStatic) return FindMember(se_.namespaces.global, name.c_str());
    return LookupName(se_, name.c_str());
  }

  // Gives a compound variable its empty compound; with dimensions, nested
  // arrays of the sizes whose innermost elements have the element type.
  void MakeCompound(CScriptValue* v, const std::vector<int32_t>& sizes, int elementType, int attributes) {
    if (v->type != kValueCompound) SetValueType(se_.pools, v, kValueCompound, v->attributes);
    if (!v->data.array) AssignCompoundToVariable(se_.pools, v, NewCompound(se_.pools, v));
    int64_t total = 1;
    for (int32_t n : sizes) {
      total *= n;
      if (total > kMaxDeclaredElements)
        RaiseScriptError(Sjis("配列[%s]の要素数が多すぎます。"), v->text.c_str());
    }
    if (!sizes.empty()) FillDimensions(v->data.array, sizes, 0, elementType, attributes);
  }

  void FillDimensions(CScriptArray* a, const std::vector<int32_t>& sizes, size_t level, int elementType,
                      int attributes) {
    bool innermost = level + 1 == sizes.size();
    for (int32_t i = 0; i < sizes[level]; i++) {
      int type = innermost ? elementType : kValueCompound;
      CScriptValue* e = AddArrayElement(se_.pools, a, i, type, innermost ? attributes : 0);
      if (type == kValueCompound && !e->data.array) e->data.array = NewCompound(se_.pools, e);
      if (!innermost) FillDimensions(e->data.array, sizes, level + 1, elementType, attributes);
    }
  }

  // Assigns a constant word to a global variable by its declared type.
  void AssignConstant(CScriptValue* v, CScriptLiteral* word) {
    ScriptPools& pools = se_.pools;
    switch (word->kind) {
      case kWordInt: AssignIntToVariable(pools, v, word->payload.i); break;
      case kWordFloat: AssignFloatToVariable(pools, v, word->payload.f); break;
      case kWordString: AssignStringToVariable(pools, v, word->text.c_str()); break;
      case kWordFunctionConstant: AssignCallTarget(pools, v, word->payload.word); break;
      case kWordCompound: {
        const CScriptValue* end = FollowRefer(v);
        if (end && end->type == kValueString && !(end->attributes & kAttrUntyped)) {
          AssignStringToVariable(pools, v, WriteCompoundText(word->payload.array, 0).c_str());
        } else {
          AssignCompoundToVariable(pools, v, word->payload.array);
          GiveUpCompound(word);
        }
        break;
      }
      default: break;
    }
  }

  // A global declarator is carried out now, in the global namespace.
  int GlobalDeclarator(CScriptLiteral* nameToken, const std::string& name, const Declarator& d,
                       const std::vector<int32_t>& sizes, bool hasParameters, const std::vector<Parameter>& parameters,
                       CScriptLiteral* u, CScriptLiteral** after) {
    *after = u;
    int valueType = ValueTypeOfKeyword(d.type);
    int attributes = d.attributes | (d.type == kWordTypeVariable ? kAttrUntyped : 0);
    CScriptValue* existing = ExistingVariable(name, d.attributes);
    if (u && u->kind == kWordAssign) {
      CScriptLiteral* value = EvaluateConstantExpression(se_, u->next, 0, after);
      if (!value) return kDeclaratorFailed;
      struct Holder {
        ScriptPools& pools;
        CScriptLiteral* w;
        ~Holder() { pools.FreeScriptLiteral(w); }
      } hold{se_.pools, value};
      if (existing && d.type != kWordTypeSystemCall)
        AddCompileErrorf(se_, &nameToken->position, Sjis("変数[%s]は二重定義されています。"), nameToken->text.c_str());
      CScriptValue* v = DefineVariable(se_, name.c_str(), valueType, attributes);
      AssignConstant(v, value);
      return kDeclaratorDone;
    }
    // Functions are static once defined: only extern tells their namespace.
    int space = d.type == kWordTypeFunction || d.type == kWordTypeSystemCall ? kAttrExtern : kAttrStatic | kAttrExtern;
    if (existing && (existing->attributes & space) != (d.attributes & space))
      AddCompileErrorf(se_, &nameToken->position, Sjis("変数[%s]は異なる名前空間で二重定義されています。"),
                       nameToken->text.c_str());
    // A prototype does not take the body away from a function defined before.
    bool keepBody = existing && d.type == kWordTypeFunction && existing->type == kValueFunction &&
                    existing->data.word && FindMember(se_.namespaces.global, name.c_str()) == existing;
    CScriptValue* v = keepBody ? existing : DefineVariable(se_, name.c_str(), valueType, attributes);
    if (!sizes.empty() || valueType == kValueCompound) {
      int elementType = valueType;
      MakeCompound(v, sizes, elementType, attributes & (kAttrConst | kAttrUntyped));
    }
    if (hasParameters) RecordSignature(nameToken, v, d, parameters);
    return kDeclaratorDone;
  }

  void RecordSignature(CScriptLiteral* at, CScriptValue* v, const Declarator& d, const std::vector<Parameter>& parameters) {
    FunctionSignature* signature = se_.signatures.Find(v);
    if (signature) {
      size_t common = parameters.size() < signature->parameterCount ? parameters.size() : signature->parameterCount;
      for (size_t i = 0; i < common; i++) {
        uint8_t recorded = signature->parameterTypes[i];
        if (recorded && recorded != parameters[i].type) {
          AddCompileErrorf(se_, &at->position, Sjis("関数「%s」の引数の型が宣言と異なります"), at->text.c_str());
          break;
        }
      }
    } else {
      signature = se_.signatures.Insert(v);
      if (!signature) return;
    }
    signature->returnType = uint8_t(d.returnType ? d.returnType : kWordTypeVariable);
    signature->parameterCount = uint8_t(parameters.size());
    for (size_t i = 0; i < parameters.size() && i < 16; i++) signature->parameterTypes[i] = uint8_t(parameters[i].type);
  }

  // ==========================================================================
  // [SECTION] Function definitions
  // ==========================================================================

  bool Definition(CScriptLiteral* nameToken, const std::string& name, const std::string& plain, Declarator d,
                  bool hasDimensions, const std::vector<Parameter>& parameters, CScriptLiteral* mark,
                  CScriptLiteral* open, CScriptLiteral** after) {
    const SourcePosition& at = nameToken->position;
    CScriptValue* existing = FindMember(se_.namespaces.global, name.c_str());
    if (d.type == kWordTypeSystemCall || (existing && existing->type == kValueSystemCall)) {
      *after = open;
      AddCompileErrorf(se_, &at, Sjis("システムコール「%s」の処理内容を再定義しようとしています。"), plain.c_str());
      return false;
    }
    if (existing && existing->type == kValueFunction && existing->data.word)
      AddCompileErrorf(se_, &at, Sjis("関数「%s」の処理内容を再定義しようとしています。"), plain.c_str());
    if (hasDimensions) AddCompileErrorf(se_, &at, Sjis("関数「%s」が配列になっています。"), plain.c_str());
    if (existing && (existing->attributes & kAttrExtern) != (d.attributes & kAttrExtern))
      AddCompileErrorf(se_, &at, Sjis("関数「%s」は異なる名前空間で二重定義されています。"), plain.c_str());
    // Whatever the declaration emitted so far goes; a function is global.
    DropWordsAfter(se_, mark, nullptr);
    d.attributes |= kAttrStatic | kAttrConst;
    CScriptValue* v = DefineVariable(se_, name.c_str(), kValueFunction, d.attributes);
    std::string over = MakeLabel(se_);
    JumpTo(over, at);
    CScriptLiteral* label = EmitInstruction(se_, name, kWordLabel, at);
    AssignCallTarget(se_.pools, v, label);
    // Parameters bind from the last, whose argument is on top of the stack.
    for (size_t i = parameters.size(); i-- > 0;) {
      const Parameter& p = parameters[i];
      EmitInstruction(se_, "pop_value", kWordPopValue, at);
      if (p.isConst) EmitInstruction(se_, "const", kWordConst, at);
      EmitInstruction(se_, TypeWordText(p.type), p.type, at);
      EmitInstruction(se_, p.name, kWordName, at);
    }
    // The signature first, so calls inside the body (recursion) see it.
    RecordSignature(nameToken, v, d, parameters);
    {
      WorkStringScope scope(se_);
      EnterScope(&se_.workString, name.c_str());
      lastClose_ = nullptr;
      if (!Statement(open, after)) return false;
    }
    if (d.autorun) se_.autorun.push_back(v);
    const SourcePosition& end = lastClose_ ? lastClose_->position : at;
    EmitInt(se_, 0, end);
    EmitInstruction(se_, "return", kWordReturnCode, end);
    DefineLabel(over, end);
    return true;
  }

  ScriptEngine& se_;
  CScriptLiteral* lastClose_ = nullptr;  // the "}" of the last block compiled
  CScriptLiteral* classified_ = nullptr;  // Classify's last token and answer
  int classifiedKind_ = 0;
  CScriptLiteral* classifiedCursor_ = nullptr;
  uint32_t classifiedValues_ = 0;
};

}  // namespace

// ============================================================================
// [SECTION] Entry points
// ============================================================================

namespace {

// Hands the compiler's spare word records back to the pool.
void ReleaseSpareWords(ScriptEngine& se) {
  while (CScriptLiteral* w = se.compile.spareWords) {
    se.compile.spareWords = w->next;
    se.pools.FreeScriptLiteral(w);
  }
}

}  // namespace

int CompileStatements(ScriptEngine& se, CScriptLiteral* first, int mode, CScriptLiteral** next) {
  Compiler compiler(se);
  // Spare records left at the end, or by an error thrown out, go back.
  struct SpareWords {
    ScriptEngine& se;
    ~SpareWords() { ReleaseSpareWords(se); }
  } spare{se};
  CScriptLiteral* after = nullptr;
  bool ok = true;
  if (mode == kModeFile) {
    // The file's tokens are the end of the token list; they go back to the
    // pool as the file is compiled, the last of them when it is done.
    CScriptLiteral* before = nullptr;
    if (first != se.tokenHead)
      for (before = se.tokenHead; before && before->next != first;) before = before->next;
    if (first && first != se.tokenHead && !before) compiler.keepTokens_ = true;  // not in the list
    int count = 0;
    ok = compiler.StatementList(first, before, false, &after, &count);
    if (!compiler.keepTokens_) {
      compiler.ReleaseTokens(before, nullptr);
      se.tokenTail = before;
      after = nullptr;
    }
  } else if (first) {
    compiler.keepTokens_ = true;
    int expected = mode == kModeIf ? kWordIf : mode == kModeWhile ? kWordWhile : mode == kModeFor ? kWordFor : 0;
    int kind = ClassifyToken(se, first, nullptr);
    if (expected && kind != expected && !(mode == kModeWhile && kind == kWordDo)) {
      const char* message = mode == kModeIf    ? Sjis("if構文先頭にifが存在しません。")
                            : mode == kModeFor ? Sjis("for構文先頭にforが存在しません。")
                                               : Sjis("while構文先頭にwhileまたはdoが存在しません。");
      AddCompileError(se, message, &first->position);
      ok = false;
      after = first;
    } else {
      ok = compiler.Statement(first, &after);
    }
  }
  if (next) *next = after;
  return ok ? 1 : 0;
}

int CompileExpression(ScriptEngine& se, CScriptLiteral* first, int levelKind, CScriptLiteral** next) {
  Compiler compiler(se);
  compiler.keepTokens_ = true;  // a part of a statement: its tokens are the statement's
  CScriptLiteral* after = nullptr;
  bool ok = compiler.Expression(first, levelKind, &after, first);
  if (next) *next = after;
  return ok ? 1 : 0;
}

int CompileDeclaration(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next) {
  Compiler compiler(se);
  compiler.keepTokens_ = true;
  CScriptLiteral* after = nullptr;
  bool ok = first && compiler.Declaration(first, &after);
  if (next) *next = after;
  return ok ? 1 : 0;
}

}  // namespace script
