// script_constexpr.cpp -- constant expressions evaluated at compile time: the
// initial values of global and static variables and every value of a data
// file. Operators follow the run-time rules; errors are listed, not raised.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Token groups
// ----------------------------------------------------------------------------

int SkipTokenGroup(CScriptLiteral* first, int a, int b, CScriptLiteral** stop) {
  int depth = 0;
  for (CScriptLiteral* t = first; t; t = t->next) {
    int k = t->kind;
    if (depth == 0 && (k == a || k == b || k == kWordSemicolon)) {
      *stop = t;
      return k;
    }
    if (OpensGroup(k)) {
      depth++;
    } else if (ClosesGroup(k)) {
      if (depth == 0) {  // a closer of an enclosing group ends this one too
        *stop = t;
        return k;
      }
      depth--;
    }
  }
  *stop = nullptr;
  return 0;
}

int ReadTokenAfterGroup(CScriptLiteral* first, int a, int b, CScriptLiteral** next) {
  CScriptLiteral* stop = nullptr;
  int kind = SkipTokenGroup(first, a, b, &stop);
  *next = stop && stop->next ? stop->next : stop;
  return stop && stop->next ? stop->next->kind : kind;
}

// ----------------------------------------------------------------------------
// Operators on constant words
// ----------------------------------------------------------------------------

namespace {

bool IsNumber(const CScriptLiteral* w) { return w->kind == kWordInt || w->kind == kWordFloat; }
bool IsIntWord(const CScriptLiteral* w) { return w->kind == kWordInt; }
float FloatOf(const CScriptLiteral* w) { return w->kind == kWordFloat ? w->payload.f : float(w->payload.i); }
int32_t IntOf(const CScriptLiteral* w) { return w->kind == kWordFloat ? TruncateToInt(w->payload.f) : w->payload.i; }

// The text of a word joined to a string: "%d", "%f", the string, or a
// compound's compact text form.
std::string JoinText(const CScriptLiteral* w) {
  char text[kFloatTextBytes];
  switch (w->kind) {
    case kWordInt: std::snprintf(text, sizeof text, "%d", w->payload.i); return text;
    case kWordFloat: std::snprintf(text, sizeof text, "%f", double(w->payload.f)); return text;
    case kWordCompound: return WriteCompoundText(w->payload.array, 0);
    default: return w->text;
  }
}

// The name of an operator in the messages: ">=" is named "=>" there.
const char* MessageName(int op, const char* text) {
  switch (op) {
    case kWordGreaterEqual: return "=>";
    case kWordLessEqual: return "<=";
    case kWordNotEqual: return "!=";
    default: return text;
  }
}

// The constant value of a variable (after refer links) into `word`. False
// for a type that has none here.
bool ValueIntoWord(ScriptEngine& se, const CScriptValue* v, CScriptLiteral* word) {
  ScriptPools& pools = se.pools;
  switch (v->type) {
    case kValueInt: SetIntValue(pools, word, v->data.i); return true;
    case kValueFloat: SetFloatValue(pools, word, v->data.f); return true;
    case kValueString: SetValueFromText(pools, word, v->stringValue.c_str(), kWordString); return true;
    case kValueFunction:
    case kValueSystemCall:
      if (!v->data.word) return false;
      SetHandleValue(pools, word, v->data.word);
      word->text = v->data.word->text;
      return true;
    case kValueCompound:
      SetObjectValue(pools, word, v->data.array ? CopyCompound(pools, v->data.array) : NewCompound(pools, nullptr));
      return true;
    default: return false;
  }
}

class Operators {
 public:
  Operators(ScriptEngine& se, const SourcePosition& where) : se_(se), pools_(se.pools), where_(where) {}

  bool failed = false;  // an error was listed

  void Apply(CScriptLiteral* l, CScriptLiteral* r, int op, const char* text) {
    if (OperatorLevel(op) < 0) {
      Fail(l, Sjis("式に不正な演算子[%s]があります。"), text);
      return;
    }
    bool numbers = IsNumber(l) && IsNumber(r);
    bool ints = IsIntWord(l) && IsIntWord(r);
    switch (op) {
      case kWordAdd: return Add(l, r, numbers, ints);
      case kWordSubtract:
        if (numbers) return ints ? SetIntValue(pools_, l, WrapSub(l->payload.i, r->payload.i))
                                 : SetFloatValue(pools_, l, FloatOf(l) - FloatOf(r));
        if (l->kind == kWordCompound && r->kind == kWordCompound) {
          CScriptArray* result = CopyCompound(pools_, l->payload.array);
          CScriptArray* negated = ApplyElementwiseOp(pools_, r->payload.array, kOpNegate, 0);
          AddCompoundsOrFree(result, negated);
          pools_.ReleaseScriptArray(negated);
          return SetObjectValue(pools_, l, result);
        }
        return Fail(l, Sjis("数値以外では-演算子は使用できません。"));
      case kWordMultiply:
        if (numbers) return ints ? SetIntValue(pools_, l, WrapMul(l->payload.i, r->payload.i))
                                 : SetFloatValue(pools_, l, FloatOf(l) * FloatOf(r));
        if (l->kind == kWordCompound && IsNumber(r)) return Elementwise(l, l->payload.array, r, kWordMultiply);
        if (IsNumber(l) && r->kind == kWordCompound) return Elementwise(l, r->payload.array, l, kWordMultiply);
        return Fail(l, Sjis("数値以外では*演算子は使用できません。"));
      case kWordDivide:
      case kWordModulo:
        if (IsNumber(r) && IntOf(r) == 0 && FloatOf(r) == 0.0f) return Fail(l, Sjis("ゼロによる除算。"));
        if (op == kWordDivide) {
          if (numbers) return ints ? SetIntValue(pools_, l, IntDivide(l->payload.i, r->payload.i))
                                   : SetFloatValue(pools_, l, FloatOf(l) / FloatOf(r));
          if (l->kind == kWordCompound && IsNumber(r)) return Elementwise(l, l->payload.array, r, kWordDivide);
          return Fail(l, Sjis("数値以外では/演算子は使用できません。"));
        }
        if (numbers) {
          if (ints) return SetIntValue(pools_, l, IntModulo(l->payload.i, r->payload.i));
          float x = FloatOf(l), y = FloatOf(r);
          return SetFloatValue(pools_, l, x - std::trunc(x / y) * y);
        }
        return Fail(l, Sjis("数値以外では%演算子は使用できません。"));
      case kWordGreater:
      case kWordLess:
      case kWordGreaterEqual:
      case kWordLessEqual:
      case kWordEqual:
      case kWordNotEqual: return Compare(l, r, op, text);
      case kWordXor:
      case kWordBitAnd:
      case kWordBitOr:
      case kWordShiftLeft:
      case kWordShiftRight:
      case kWordLogicalAnd:
      case kWordLogicalOr: {
        if (!numbers) return Fail(l, Sjis("数値以外では%s演算子は使用できません。"), text);
        int32_t x = IntOf(l), y = IntOf(r);
        int32_t v = 0;
        switch (op) {
          case kWordXor: v = x ^ y; break;
          case kWordBitAnd: v = x & y; break;
          case kWordBitOr: v = x | y; break;
          case kWordShiftLeft: v = ShiftLeft(x, y); break;
          case kWordShiftRight: v = ShiftRight(x, y); break;
          case kWordLogicalAnd: v = x != 0 && y != 0; break;
          default: v = x != 0 || y != 0; break;
        }
        return SetIntValue(pools_, l, v);
      }
      case kWordMember: return Member(l, r);
      case kWordOpenBracket: return Index(l, r);
      default: return Fail(l, Sjis("式に不正な演算子[%s]があります。"), text);
    }
  }

 private:
  template <typename... Args>
  void Fail(CScriptLiteral* l, const char* format, Args... args) {
    failed = true;
    AddCompileErrorf(se_, &where_, format, args...);
    SetIntValue(pools_, l, 0);
  }
  void Fail(CScriptLiteral* l, const char* message) {
    failed = true;
    AddCompileErrorf(se_, &where_, "%s", message);
    SetIntValue(pools_, l, 0);
  }

  void AddCompoundsOrFree(CScriptArray* target, CScriptArray* source) {
    try {
      AddCompounds(pools_, target, source);
    } catch (...) {
      pools_.ReleaseScriptArray(target);
      pools_.ReleaseScriptArray(source);
      throw;
    }
  }

  void Add(CScriptLiteral* l, CScriptLiteral* r, bool numbers, bool ints) {
    if (numbers) {
      if (ints) return SetIntValue(pools_, l, WrapAdd(l->payload.i, r->payload.i));
      return SetFloatValue(pools_, l, FloatOf(l) + FloatOf(r));
    }
    bool lText = l->kind == kWordString, rText = r->kind == kWordString;
    bool lJoin = lText || IsNumber(l) || l->kind == kWordCompound;
    bool rJoin = rText || IsNumber(r) || r->kind == kWordCompound;
    if ((lText && rJoin) || (rText && lJoin)) {
      std::string joined = JoinText(l) + JoinText(r);
      return SetValueFromText(pools_, l, joined.c_str(), kWordString);
    }
    if (l->kind == kWordCompound && r->kind == kWordCompound) {
      CScriptArray* result = CopyCompound(pools_, l->payload.array);
      AddCompoundsOrFree(result, r->payload.array);
      return SetObjectValue(pools_, l, result);
    }
    Fail(l, Sjis("数値または文字列以外では+演算子は使用できません。"));
  }

  void Elementwise(CScriptLiteral* l, const CScriptArray* array, const CScriptLiteral* by, int op) {
    CScriptArray* result = IsIntWord(by) ? ApplyElementwiseOp(pools_, array, op, by->payload.i)
                                         : CompoundBinaryOp(pools_, array, op, by->payload.f);
    SetObjectValue(pools_, l, result);
  }

  void Compare(CScriptLiteral* l, CScriptLiteral* r, int op, const char* text) {
    int order;  // -1, 0, 1, or 2 for unordered (NaN)
    if (IsNumber(l) && IsNumber(r)) {
      if (IsIntWord(l) && IsIntWord(r)) {
        order = l->payload.i < r->payload.i ? -1 : l->payload.i > r->payload.i ? 1 : 0;
      } else {
        float x = FloatOf(l), y = FloatOf(r);
        order = x < y ? -1 : x > y ? 1 : x == y ? 0 : 2;
      }
    } else if (l->kind == kWordString && r->kind == kWordString) {
      int c = std::strcmp(l->text.c_str(), r->text.c_str());  // unsigned bytes
      order = c < 0 ? -1 : c > 0 ? 1 : 0;
    } else {
      return Fail(l, Sjis("数値と文字列以外では%s演算子は使用できません。"), MessageName(op, text));
    }
    bool result = OrderSatisfies(op, order);
    SetIntValue(pools_, l, result ? 1 : 0);
  }

  // Selects a member (r is its name) or an element (r an index) of l.
  void Member(CScriptLiteral* l, CScriptLiteral* r) {
    if (l->kind != kWordCompound || !l->payload.array || l->payload.array->kind != kCompoundObject)
      return Fail(l, Sjis("オブジェクトではないのに.演算子が使用されています。"));
    const CScriptValue* v = FindMember(l->payload.array, r->text.c_str());
    if (!v) return Fail(l, Sjis("オブジェクト内に[%s]はありません。"), r->text.c_str());
    Select(l, v);
  }

  void Index(CScriptLiteral* l, CScriptLiteral* r) {
    if (l->kind != kWordCompound || !l->payload.array || l->payload.array->kind != kCompoundArray)
      return Fail(l, Sjis("配列ではないのに配列演算子が使用されています。"));
    int32_t index = IsNumber(r) ? IntOf(r) : ParseDecimalInt(r->text.c_str());
    const CScriptValue* v = GetElement(l->payload.array, index);
    if (!v) return Fail(l, Sjis("配列[%d]はありません。"), index);
    Select(l, v);
  }

  // The word becomes the selected value; the compound it held goes back.
  void Select(CScriptLiteral* l, const CScriptValue* selected) {
    CScriptArray* held = l->payload.array;
    GiveUpCompound(l);  // kept alive until the value is read
    const CScriptValue* v = FollowRefer(selected);
    bool ok = v && ValueIntoWord(se_, v, l);
    pools_.ReleaseScriptArray(held);
    if (!ok) Fail(l, Sjis("配列の中に数値以外が指定されています。"));
  }

  ScriptEngine& se_;
  ScriptPools& pools_;
  const SourcePosition& where_;
};

}  // namespace

bool ApplyBinaryOperator(ScriptEngine& se, CScriptLiteral* left, CScriptLiteral* right, int op, const char* opText,
                         const SourcePosition& position) {
  Operators operators(se, position);
  operators.Apply(left, right, op, opText ? opText : "");
  return !operators.failed;
}

// ----------------------------------------------------------------------------
// Constant-expression evaluator
// ----------------------------------------------------------------------------

namespace {

// A constant word owned by the evaluator until it is handed out.
class Constant {
 public:
  explicit Constant(ScriptEngine& se) : se_(se) {}
  ~Constant() { se_.pools.FreeScriptLiteral(word_); }
  Constant(const Constant&) = delete;
  Constant& operator=(const Constant&) = delete;

  CScriptLiteral* Make() {
    se_.pools.FreeScriptLiteral(word_);
    word_ = se_.pools.AllocScriptLiteral();
    if (!word_) RaiseScriptError("%s", Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"));
    return word_;
  }
  void Adopt(CScriptLiteral* word) {
    se_.pools.FreeScriptLiteral(word_);
    word_ = word;
  }
  CScriptLiteral* get() const { return word_; }
  CScriptLiteral* Release() {
    CScriptLiteral* w = word_;
    word_ = nullptr;
    return w;
  }

 private:
  ScriptEngine& se_;
  CScriptLiteral* word_ = nullptr;
};

bool IsCastKeyword(const CScriptLiteral* t) {
  return t && t->kind == kWordName &&
         (t->text == "int" || t->text == "float" || t->text == "string" || t->text == "function");
}

class Evaluator {
 public:
  explicit Evaluator(ScriptEngine& se) : se_(se), pools_(se.pools) {}

  // The value of the expression at `t` with operators above `stopLevel`;
  // null after a listed error. `*next` is where reading stopped.
  CScriptLiteral* Expression(CScriptLiteral* t, int stopLevel, CScriptLiteral** next) {
    CompileNesting nesting(se_);
    Constant value(se_);
    value.Adopt(Operand(t, next));
    if (!value.get()) return nullptr;
    for (;;) {
      CScriptLiteral* op = *next;
      se_.compile.token = op;
      if (!op) break;
      int level = se_.precedence[op->kind & 127];
      if (op->kind == kWordOpenParen)
        return Error(op, Sjis("静的変数の初期値計算に関数コール使用できません。"));
      if (level < 0) return Error(op, Sjis("式の中に不正な演算子「%s」があります。"), op->text.c_str());
      if (level <= stopLevel) break;
      if (level == 1) return Error(op, Sjis("%s演算子は静的変数の初期値には使用できません。"), op->text.c_str());
      if (op->kind == kWordOpenBracket) {
        Constant index(se_);
        index.Adopt(Expression(op->next, 0, next));
        if (!index.get()) return nullptr;
        CScriptLiteral* close = *next;
        if (!close || close->kind != kWordCloseBracket)
          return Error(close ? close : op, Sjis("式の終端に「]」が足りません。"));
        *next = close->next;
        CScriptLiteral* i = index.get();
        if (i->kind == kWordString && !IsDecimalText(i->text.c_str()))
          return Error(op, Sjis("配列の添え字に数値以外の文字列[%s]が指定されています。"), i->text.c_str());
        ApplyBinaryOperator(se_, value.get(), i, kWordOpenBracket, "[", op->position);
        continue;
      }
      if (op->kind == kWordMember) {
        CScriptLiteral* name = op->next;
        if (!name || (name->kind != kWordName && name->kind != kWordFunctionName))
          return Error(name ? name : op, Sjis("式の中に不正な字句「%s」があります。"), name ? WordPrintedText(*name) : "");
        *next = name->next;
        ApplyBinaryOperator(se_, value.get(), name, kWordMember, ".", op->position);
        continue;
      }
      if (level >= 12) return Error(op, Sjis("式の中に不正な演算子「%s」があります。"), op->text.c_str());
      Constant right(se_);
      right.Adopt(Expression(op->next, level, next));
      if (!right.get()) return nullptr;
      // An operator that fails lists its message and yields int 0: the
      // expression, and the declaration it gives a value to, go on.
      ApplyBinaryOperator(se_, value.get(), right.get(), op->kind, op->text.c_str(), op->position);
    }
    return value.Release();
  }

 private:
  template <typename... Args>
  CScriptLiteral* Error(CScriptLiteral* at, const char* format, Args... args) {
    AddCompileErrorf(se_, &at->position, format, args...);
    return nullptr;
  }
  CScriptLiteral* Error(CScriptLiteral* at, const char* message) {
    AddCompileErrorf(se_, &at->position, "%s", message);
    return nullptr;
  }

  static bool IsDecimalText(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    if (*s == '-' || *s == '+') s++;
    return *s >= '0' && *s <= '9';
  }

  CScriptLiteral* Operand(CScriptLiteral* t, CScriptLiteral** next) {
    se_.compile.token = t;
    *next = t;
    if (!t) {
      AddCompileError(se_, Sjis("演算子の次に値がありません。"), nullptr);
      return nullptr;
    }
    *next = t->next;
    Constant value(se_);
    switch (t->kind) {
      case kWordInt: SetIntValue(pools_, value.Make(), t->payload.i); return value.Release();
      case kWordFloat: SetFloatValue(pools_, value.Make(), t->payload.f); return value.Release();
      case kWordString: SetValueFromText(pools_, value.Make(), t->text.c_str(), kWordString); return value.Release();
      case kWordName:
      case kWordFunctionName: return Variable(t);
      case kWordOpenBrace:
      case kWordOpenBracket: {
        CScriptArray* a = ParseCompoundLiteral(se_, t, next);
        if (!a) return nullptr;
        SetObjectValue(pools_, value.Make(), a);
        return value.Release();
      }
      case kWordOpenParen:
        if (IsCastKeyword(t->next)) return Cast(t->next, next);
        value.Adopt(Expression(t->next, 0, next));
        if (!value.get()) return nullptr;
        if (!*next || (*next)->kind != kWordCloseParen)
          return Error(*next ? *next : t, Sjis("式の終端に「)」が足りません。"));
        *next = (*next)->next;
        return value.Release();
      case kWordAdd:
      case kWordSubtract:
      case kWordNot:
      case kWordBitNot: return Prefix(t, next);
      default: return Error(t, Sjis("式の中に不正な字句「%s」があります。"), WordPrintedText(*t));
    }
  }

  CScriptLiteral* Variable(CScriptLiteral* t) {
    std::string name = MakeQualifiedName(se_.workString.c_str(), t->position.linkIndex, t->text.c_str());
    const CScriptValue* v = FollowRefer(LookupName(se_, name.c_str()));
    if (!v) return Error(t, Sjis("変数「%s」が定義されていません。"), t->text.c_str());
    Constant value(se_);
    if ((v->type == kValueFunction || v->type == kValueSystemCall) && !v->data.word)
      return Error(t, Sjis("変数「%s」のジャンプ先が定義されていません。"), t->text.c_str());
    if (!ValueIntoWord(se_, v, value.Make())) return Error(t, Sjis("変数「%s」の内容が即値変換できません。"), t->text.c_str());
    return value.Release();
  }

  // "(" type ")" operand: only numbers and strings are cast.
  CScriptLiteral* Cast(CScriptLiteral* type, CScriptLiteral** next) {
    CScriptLiteral* close = type->next;
    if (!close || close->kind != kWordCloseParen) return Error(close ? close : type, Sjis("明示的型キャストの終端に「)」が足りません。"));
    Constant value(se_);
    value.Adopt(Expression(close->next, OperatorLevel(kWordTypeInt), next));
    CScriptLiteral* w = value.get();
    if (!w) return nullptr;
    if (type->text == "function") {
      if (w->kind == kWordFunctionConstant) return value.Release();
      if (w->kind == kWordString) {
        const CScriptValue* f = FollowRefer(LookupName(se_, w->text.c_str()));
        if (f && (f->type == kValueFunction || f->type == kValueSystemCall) && f->data.word) {
          std::string name = w->text;
          SetHandleValue(pools_, w, f->data.word);
          w->text = name;
          return value.Release();
        }
      }
      return Error(type, Sjis("数値または文字列以外は型キャストできません。"));
    }
    if (!IsNumber(w) && w->kind != kWordString) return Error(type, Sjis("数値または文字列以外は型キャストできません。"));
    if (type->text == "int") {
      int32_t i = w->kind == kWordString ? ParseDecimalInt(w->text.c_str()) : IntOf(w);
      SetIntValue(pools_, w, i);
    } else if (type->text == "float") {
      float f = w->kind == kWordString ? ParseFloat(w->text.c_str()) : FloatOf(w);
      SetFloatValue(pools_, w, f);
    } else if (w->kind != kWordString) {
      std::string text = JoinText(w);
      SetValueFromText(pools_, w, text.c_str(), kWordString);
    }
    return value.Release();
  }

  CScriptLiteral* Prefix(CScriptLiteral* t, CScriptLiteral** next) {
    Constant value(se_);
    value.Adopt(Expression(t->next, OperatorLevel(kWordPrefixPlus), next));
    CScriptLiteral* w = value.get();
    if (!w) return nullptr;
    switch (t->kind) {
      case kWordAdd:
        if (!IsNumber(w) && w->kind != kWordCompound)
          return Error(t, Sjis("数値またはJSONオブジェクト以外は+演算子が使用できません。"));
        return value.Release();  // a compound here is already a copy of its own
      case kWordSubtract:
        if (w->kind == kWordInt) SetIntValue(pools_, w, WrapSub(0, w->payload.i));
        else if (w->kind == kWordFloat) SetFloatValue(pools_, w, -w->payload.f);
        else if (w->kind == kWordCompound) SetObjectValue(pools_, w, ApplyElementwiseOp(pools_, w->payload.array, kOpNegate, 0));
        else return Error(t, Sjis("数値またはJSONオブジェクト以外は-演算子が使用できません。"));
        return value.Release();
      case kWordNot:
        if (!IsNumber(w)) return Error(t, Sjis("数値以外は!演算子が使用できません。"));
        SetIntValue(pools_, w, (w->kind == kWordInt ? w->payload.i == 0 : w->payload.f == 0.0f) ? 1 : 0);
        return value.Release();
      default:
        if (!IsNumber(w)) return Error(t, Sjis("数値以外は~演算子が使用できません。"));
        SetIntValue(pools_, w, ~IntOf(w));
        return value.Release();
    }
  }

  ScriptEngine& se_;
  ScriptPools& pools_;
};

}  // namespace

CScriptLiteral* EvaluateConstantExpression(ScriptEngine& se, CScriptLiteral* first, int stopLevel,
                                           CScriptLiteral** next) {
  CScriptLiteral* after = first;
  CScriptLiteral* value = Evaluator(se).Expression(first, stopLevel, &after);
  if (next) *next = after;
  return value;
}

}  // namespace script
