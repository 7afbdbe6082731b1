// script_operators.cpp -- the instructions that work on values: two-operand
// operators with their type rules, assignments and compound assignments,
// increments, unary operators, casts, member access and indexing, local
// declarations and parameter binding.
//
// Every instruction pops its operands (the right one first), reads them,
// and only then pushes its result, which lands in the record of the last
// operand popped: results are computed into locals or the engine's text
// buffer before the push.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"
#include "script/script_vm.h"

namespace script {

using core::Sjis;

namespace {

// Elements a local declaration with dimensions may make.
constexpr int64_t kMaxDeclaredElements = 1 << 20;

// A popped word that must be a variable reference; null when it is not.
CScriptValue* PopVariable(WordStack& data, CScriptLiteral** word) {
  CScriptLiteral* w = StackPop(data);
  if (word) *word = w;
  return w->kind == kWordReference ? w->payload.value : nullptr;
}

bool IsNumber(int kind) { return kind == kOperandInt || kind == kOperandFloat; }
bool BothInt(const Operand& l, const Operand& r) { return l.kind == kOperandInt && r.kind == kOperandInt; }

const char* TextOf(const Operand& o) { return o.value.text ? o.value.text : ""; }

// Appends the piece of an operand joined to a text: "%d", "%f", the text,
// or a compound's text form without line breaks. A text past the engine's
// limit is an error: a script doubling a text in a loop stops there.
void AppendPiece(const ScriptEngine& se, std::string* out, const Operand& o) {
  char number[kFloatTextBytes];
  switch (o.kind) {
    case kOperandInt: std::snprintf(number, sizeof number, "%d", o.value.i); *out += number; break;
    case kOperandFloat: std::snprintf(number, sizeof number, "%f", double(o.value.f)); *out += number; break;
    case kOperandString: *out += TextOf(o); break;
    case kOperandCompound: *out += WriteCompoundText(o.value.array, 0); break;
    default: break;
  }
  if (out->size() > se.run.maxTextBytes) RaiseScriptError("%s", Sjis("文字列が長すぎます。"));
}

[[noreturn]] void TypeError(const char* message) { RaiseScriptError("%s", message); }

void CheckConst(const CScriptValue* variable) {
  if (variable->attributes & kAttrConst)
    RaiseScriptError(Sjis("変数[%s]はconst属性のため代入できません"), variable->text.c_str());
}

// The remainder of two floats: L - trunc(L / R) x R.
float FloatRemainder(float l, float r) { return l - std::trunc(l / r) * r; }

// A compound result of L op R for compounds (Add, Subtract) or a compound
// and a number (Multiply, Divide); null (no compound) when the operands do
// not fit.
bool CompoundResult(ScriptPools& pools, Opcode op, const Operand& l, const Operand& r, CScriptArray** result) {
  switch (op) {
    case Opcode::Add:
    case Opcode::AddAssign:
    case Opcode::Subtract:
    case Opcode::SubtractAssign: {
      if (l.kind != kOperandCompound || r.kind != kOperandCompound) return false;
      bool subtract = op == Opcode::Subtract || op == Opcode::SubtractAssign;
      CScriptArray* sum = l.value.array ? CopyCompound(pools, l.value.array) : NewCompound(pools, nullptr);
      CScriptArray* added = subtract ? ApplyElementwiseOp(pools, r.value.array, kOpNegate, 0) : nullptr;
      try {
        AddCompounds(pools, sum, subtract ? added : r.value.array);
      } catch (...) {
        pools.ReleaseScriptArray(sum);
        if (added) pools.ReleaseScriptArray(added);
        throw;
      }
      if (added) pools.ReleaseScriptArray(added);
      *result = sum;
      return true;
    }
    case Opcode::Multiply:
    case Opcode::MultiplyAssign:
    case Opcode::Divide:
    case Opcode::DivideAssign: {
      bool multiply = op == Opcode::Multiply || op == Opcode::MultiplyAssign;
      const Operand* compound = nullptr;
      const Operand* number = nullptr;
      if (l.kind == kOperandCompound && IsNumber(r.kind)) {
        compound = &l;
        number = &r;
      } else if (multiply && IsNumber(l.kind) && r.kind == kOperandCompound) {
        compound = &r;
        number = &l;
      } else {
        return false;
      }
      int code = multiply ? kWordMultiply : kWordDivide;
      *result = number->kind == kOperandInt ? ApplyElementwiseOp(pools, compound->value.array, code, number->value.i)
                                            : CompoundBinaryOp(pools, compound->value.array, code, number->value.f);
      return true;
    }
    default: return false;
  }
}

// A division of any kind by an R whose int value is 0 and float value 0.0.
void CheckDivisor(const Operand& r) {
  if (r.value.i == 0 && r.value.f == 0.0f) RaiseScriptError("%s", Sjis("ゼロによる除算"));
}

[[noreturn]] void CompareTypeError(Opcode op) {
  switch (op) {
    case Opcode::Greater: TypeError(Sjis("数値と文字列以外では>演算子は使用できません"));
    case Opcode::Less: TypeError(Sjis("数値と文字列以外では<演算子は使用できません"));
    case Opcode::GreaterEqual: TypeError(Sjis("数値と文字列以外では=>演算子は使用できません"));
    case Opcode::LessEqual: TypeError(Sjis("数値と文字列以外では<=演算子は使用できません"));
    case Opcode::Equal: TypeError(Sjis("数値と文字列以外では==演算子は使用できません"));
    default: TypeError(Sjis("数値と文字列以外では!=演算子は使用できません"));
  }
}

// The comparisons: numbers (as floats when mixed) or texts byte by byte.
int Compare(Opcode op, const Operand& l, const Operand& r) {
  int order;  // <0, 0, >0
  if (IsNumber(l.kind) && IsNumber(r.kind)) {
    if (BothInt(l, r)) {
      order = l.value.i < r.value.i ? -1 : l.value.i > r.value.i ? 1 : 0;
    } else {
      float a = l.value.f, b = r.value.f;
      // NaN compares unequal and neither greater nor less.
      if (a < b) order = -1;
      else if (a > b) order = 1;
      else if (a == b) order = 0;
      else return op == Opcode::NotEqual ? 1 : 0;
    }
  } else if (l.kind == kOperandString && r.kind == kOperandString) {
    order = std::strcmp(TextOf(l), TextOf(r));  // unsigned bytes
  } else {
    CompareTypeError(op);
  }
  switch (op) {
    case Opcode::Greater: return order > 0;
    case Opcode::Less: return order < 0;
    case Opcode::GreaterEqual: return order >= 0;
    case Opcode::LessEqual: return order <= 0;
    case Opcode::Equal: return order == 0;
    default: return order != 0;  // NotEqual
  }
}

}  // namespace

// ----------------------------------------------------------------------------
// Two-operand operators
// ----------------------------------------------------------------------------

// Numbers mix as ints when both are ints and as floats otherwise; texts
// join with numbers and compounds only through "+"; compounds combine
// element by element. The error texts are the operators' own (without the
// closing period the compile-time ones carry).
void ExecuteBinary(ScriptEngine& se, WordStack& data, Opcode op) {
  // The remainder of two ints read straight from the words or the
  // variables they name, into the left operand's record, where its push
  // would go; a zero divisor takes the general path and its error.
  if (op == Opcode::Modulo && data.end >= 2) {
    CScriptLiteral* lw = data.entries[size_t(data.end - 2)];
    StackNumber x{}, y{};
    if (ReadStackNumber(lw, &x) && ReadStackNumber(data.entries[size_t(data.end - 1)], &y) && x.isInt && y.isInt &&
        y.i != 0) {
      data.end--;
      ReplaceStackInt(lw, IntModulo(x.i, y.i));
      lw->kind = kWordInt;
      return;
    }
  }
  Operand r = PopOperand(data);
  Operand l = PopOperand(data);
  bool numbers = IsNumber(l.kind) && IsNumber(r.kind);
  bool ints = BothInt(l, r);
  int32_t li = l.value.i, ri = r.value.i;
  float lf = l.value.f, rf = r.value.f;
  CScriptArray* compound = nullptr;
  switch (op) {
    case Opcode::Add:
      if (numbers) {
        if (ints) StackPushInt(se, data, WrapAdd(li, ri));
        else StackPushFloat(se, data, lf + rf);
        return;
      }
      if ((l.kind == kOperandString && (IsNumber(r.kind) || r.kind == kOperandString || r.kind == kOperandCompound)) ||
          (r.kind == kOperandString && (IsNumber(l.kind) || l.kind == kOperandCompound))) {
        std::string& text = se.run.text;
        text.clear();
        AppendPiece(se, &text, l);
        AppendPiece(se, &text, r);
        StackPushText(se, data, text.c_str(), kWordString);
        return;
      }
      if (CompoundResult(se.pools, op, l, r, &compound)) {
        StackPushCompound(se, data, compound);
        return;
      }
      TypeError(Sjis("数値または文字列以外では+演算子は使用できません"));
    case Opcode::Subtract:
      if (numbers) {
        if (ints) StackPushInt(se, data, WrapSub(li, ri));
        else StackPushFloat(se, data, lf - rf);
        return;
      }
      if (CompoundResult(se.pools, op, l, r, &compound)) {
        StackPushCompound(se, data, compound);
        return;
      }
      TypeError(Sjis("数値以外では-演算子は使用できません"));
    case Opcode::Multiply:
      if (numbers) {
        if (ints) StackPushInt(se, data, WrapMul(li, ri));
        else StackPushFloat(se, data, lf * rf);
        return;
      }
      if (CompoundResult(se.pools, op, l, r, &compound)) {
        StackPushCompound(se, data, compound);
        return;
      }
      TypeError(Sjis("数値以外では*演算子は使用できません"));
    case Opcode::Divide:
      CheckDivisor(r);
      if (numbers) {
        if (ints) StackPushInt(se, data, IntDivide(li, ri));
        else StackPushFloat(se, data, lf / rf);
        return;
      }
      if (CompoundResult(se.pools, op, l, r, &compound)) {
        StackPushCompound(se, data, compound);
        return;
      }
      TypeError(Sjis("数値以外では/演算子は使用できません"));
    case Opcode::Modulo:
      if (!numbers) TypeError(Sjis("数値以外では%演算子は使用できません"));
      if (ints) {
        if (ri == 0) RaiseScriptError("%s", Sjis("ゼロによる除算"));
        StackPushInt(se, data, IntModulo(li, ri));
      } else {
        StackPushFloat(se, data, FloatRemainder(lf, rf));
      }
      return;
    case Opcode::Greater:
    case Opcode::Less:
    case Opcode::GreaterEqual:
    case Opcode::LessEqual:
    case Opcode::Equal:
    case Opcode::NotEqual: StackPushInt(se, data, Compare(op, l, r)); return;
    case Opcode::Xor:
      if (!numbers) TypeError(Sjis("数値以外では^演算子は使用できません"));
      StackPushInt(se, data, li ^ ri);
      return;
    case Opcode::BitAnd:
      if (!numbers) TypeError(Sjis("数値以外では&演算子は使用できません"));
      StackPushInt(se, data, li & ri);
      return;
    case Opcode::BitOr:
      if (!numbers) TypeError(Sjis("数値以外では|演算子は使用できません"));
      StackPushInt(se, data, li | ri);
      return;
    case Opcode::ShiftLeft:
      if (!numbers) TypeError(Sjis("数値以外では<<演算子は使用できません"));
      StackPushInt(se, data, ShiftLeft(li, ri));
      return;
    case Opcode::ShiftRight:
      if (!numbers) TypeError(Sjis("数値以外では>>演算子は使用できません"));
      StackPushInt(se, data, ShiftRight(li, ri));
      return;
    case Opcode::LogicalAnd:
      if (!numbers) TypeError(Sjis("数値以外では&&演算子は使用できません"));
      StackPushInt(se, data, li != 0 && ri != 0);
      return;
    case Opcode::LogicalOr:
      if (!numbers) TypeError(Sjis("数値以外では||演算子は使用できません"));
      StackPushInt(se, data, li != 0 || ri != 0);
      return;
    default: return;
  }
}

// ----------------------------------------------------------------------------
// Assignments
// ----------------------------------------------------------------------------

// L must be a variable (a reference word) that is not const; R is stored
// through the typed assignment of L's type. A compound from a variable is
// copied, a temporary one taken. The reference to L is the result, so
// assignments chain (a = b = c) and work inside expressions.
void ExecuteAssign(ScriptEngine& se, WordStack& data) {
  CScriptLiteral* rightWord = StackPop(data);
  CScriptValue* variable = PopVariable(data, nullptr);
  if (!variable) TypeError(Sjis("変数以外には代入できません"));
  CheckConst(variable);
  ScriptPools& pools = se.pools;
  // A number read straight from its word or variable, the commonest right
  // side, as the switch below assigns it.
  StackNumber number{};
  if (ReadStackNumber(rightWord, &number)) {
    if (number.isInt) AssignIntToVariable(pools, variable, number.i);
    else AssignFloatToVariable(pools, variable, number.f);
    StackPushReference(se, data, variable);
    return;
  }
  StackOperand r;
  switch (LookupStackVariable(rightWord, &r)) {
    case kOperandInt: AssignIntToVariable(pools, variable, r.i); break;
    case kOperandFloat: AssignFloatToVariable(pools, variable, r.f); break;
    case kOperandString: AssignStringToVariable(pools, variable, r.text); break;
    case kOperandFunction: AssignCallTarget(pools, variable, r.target); break;
    case kOperandCompound:
      // A named variable's compound is copied; a temporary one is taken.
      AssignOwnedCompound(pools, variable, TakeOrCopyCompound(pools, rightWord, r.array));
      break;
    default: TypeError(Sjis("数値または文字列以外では=演算子は使用できません"));
  }
  StackPushReference(se, data, variable);
}

namespace {

struct CompoundAssignTexts {
  const char* noVariable;
  const char* typeError;
};

CompoundAssignTexts TextsOf(Opcode op) {
  switch (op) {
    case Opcode::AddAssign:
      return {Sjis("変数以外には+=演算子を使って代入できません"), Sjis("数値と文字列以外では+=演算子は使用できません")};
    case Opcode::SubtractAssign:
      return {Sjis("変数以外には-=演算子を使って代入できません"), Sjis("数値以外では-=演算子を使って代入できません")};
    case Opcode::MultiplyAssign:
      return {Sjis("変数以外には*=演算子を使って代入できません"), Sjis("数値以外では*=演算子は使用できません")};
    case Opcode::DivideAssign:
      return {Sjis("変数以外には/=演算子を使って代入できません"), Sjis("数値以外では/=演算子は使用できません")};
    case Opcode::ModuloAssign:
      return {Sjis("変数以外には%=演算子を使って代入できません"), Sjis("数値以外では%=演算子は使用できません")};
    case Opcode::BitAndAssign:
      return {Sjis("変数以外には&=演算子を使って代入できません"), Sjis("数値以外では&=演算子は使用できません")};
    case Opcode::BitOrAssign:
      return {Sjis("変数以外には|=演算子を使って代入できません"), Sjis("数値以外では|=演算子は使用できません")};
    default:
      return {Sjis("変数以外には^=演算子を使って代入できません"), Sjis("数値以外では^=演算子は使用できません")};
  }
}

}  // namespace

// L op= R: L must be a variable, not const; the result of L op R (by the
// two-operand rules, with "+=" joining only text to text) is assigned back
// through L's typed assignment, so an int variable stays an int.
void ExecuteCompoundAssign(ScriptEngine& se, WordStack& data, Opcode op) {
  // "+=", "-=" and "*=" on an int or float variable that is not const, by
  // a number read straight from its word or variable: the general path's
  // number cases without its operand records.
  if ((op == Opcode::AddAssign || op == Opcode::SubtractAssign || op == Opcode::MultiplyAssign) && data.end >= 2) {
    const CScriptLiteral* lw = data.entries[size_t(data.end - 2)];
    CScriptValue* variable = lw->kind == kWordReference ? lw->payload.value : nullptr;
    StackNumber x{}, y{};
    if (variable && (variable->type == kValueInt || variable->type == kValueFloat) &&
        !(variable->attributes & kAttrConst) && ReadStackNumber(lw, &x) &&
        ReadStackNumber(data.entries[size_t(data.end - 1)], &y)) {
      data.end -= 2;
      ScriptPools& pools = se.pools;
      if (x.isInt && y.isInt) {
        int32_t result = op == Opcode::AddAssign        ? WrapAdd(x.i, y.i)
                         : op == Opcode::SubtractAssign ? WrapSub(x.i, y.i)
                                                        : WrapMul(x.i, y.i);
        AssignIntToVariable(pools, variable, result);
      } else {
        float result = op == Opcode::AddAssign ? x.f + y.f : op == Opcode::SubtractAssign ? x.f - y.f : x.f * y.f;
        AssignFloatToVariable(pools, variable, result);
      }
      StackPushReference(se, data, variable);
      return;
    }
  }
  Operand r = PopOperand(data);
  CScriptLiteral* leftWord;
  CScriptValue* variable = PopVariable(data, &leftWord);
  if (!variable) TypeError(TextsOf(op).noVariable);
  CheckConst(variable);
  if (op == Opcode::DivideAssign) CheckDivisor(r);
  Operand l;
  l.word = leftWord;
  l.kind = LookupStackVariable(leftWord, &l.value);
  ScriptPools& pools = se.pools;
  bool numbers = IsNumber(l.kind) && IsNumber(r.kind);
  bool ints = BothInt(l, r);
  int32_t li = l.value.i, ri = r.value.i;
  float lf = l.value.f, rf = r.value.f;
  if (numbers) {
    switch (op) {
      case Opcode::AddAssign:
        if (ints) AssignIntToVariable(pools, variable, WrapAdd(li, ri));
        else AssignFloatToVariable(pools, variable, lf + rf);
        break;
      case Opcode::SubtractAssign:
        if (ints) AssignIntToVariable(pools, variable, WrapSub(li, ri));
        else AssignFloatToVariable(pools, variable, lf - rf);
        break;
      case Opcode::MultiplyAssign:
        if (ints) AssignIntToVariable(pools, variable, WrapMul(li, ri));
        else AssignFloatToVariable(pools, variable, lf * rf);
        break;
      case Opcode::DivideAssign:
        if (ints) AssignIntToVariable(pools, variable, IntDivide(li, ri));
        else AssignFloatToVariable(pools, variable, lf / rf);
        break;
      case Opcode::ModuloAssign:
        if (ints) {
          if (ri == 0) RaiseScriptError("%s", Sjis("ゼロによる除算"));
          AssignIntToVariable(pools, variable, IntModulo(li, ri));
        } else {
          AssignFloatToVariable(pools, variable, FloatRemainder(lf, rf));
        }
        break;
      case Opcode::BitAndAssign: AssignIntToVariable(pools, variable, li & ri); break;
      case Opcode::BitOrAssign: AssignIntToVariable(pools, variable, li | ri); break;
      default: AssignIntToVariable(pools, variable, li ^ ri); break;  // XorAssign
    }
  } else if (op == Opcode::AddAssign && l.kind == kOperandString && r.kind == kOperandString) {
    std::string& text = se.run.text;
    text.clear();
    AppendPiece(se, &text, l);
    AppendPiece(se, &text, r);
    AssignStringToVariable(pools, variable, text.c_str());
  } else {
    CScriptArray* result = nullptr;
    bool compoundOp = op == Opcode::AddAssign || op == Opcode::SubtractAssign || op == Opcode::MultiplyAssign ||
                      op == Opcode::DivideAssign;
    if (!compoundOp || l.kind != kOperandCompound || !CompoundResult(pools, op, l, r, &result))
      TypeError(TextsOf(op).typeError);
    AssignOwnedCompound(pools, variable, result);
  }
  StackPushReference(se, data, variable);
}

// ----------------------------------------------------------------------------
// Increments and unary operators
// ----------------------------------------------------------------------------

// x++ and x-- give the old value, ++x and --x the variable; ints wrap.
void ExecuteIncrement(ScriptEngine& se, WordStack& data, Opcode op) {
  bool up = op == Opcode::PostIncrement || op == Opcode::PreIncrement;
  bool post = op == Opcode::PostIncrement || op == Opcode::PostDecrement;
  CScriptLiteral* word;
  CScriptValue* variable = PopVariable(data, &word);
  if (!variable) TypeError(up ? Sjis("変数以外には++演算子は使用できません") : Sjis("変数以外には--演算子は使用できません"));
  CheckConst(variable);
  StackOperand v;
  int kind = LookupStackVariable(word, &v);
  ScriptPools& pools = se.pools;
  if (kind == kOperandInt) {
    AssignIntToVariable(pools, variable, up ? WrapAdd(v.i, 1) : WrapSub(v.i, 1));
    if (post) {
      StackPushInt(se, data, v.i);
      return;
    }
  } else if (kind == kOperandFloat) {
    AssignFloatToVariable(pools, variable, up ? v.f + 1.0f : v.f - 1.0f);
    if (post) {
      StackPushFloat(se, data, v.f);
      return;
    }
  } else {
    TypeError(up ? Sjis("数値以外では++演算子は使用できません") : Sjis("数値以外では--演算子は使用できません"));
  }
  StackPushReference(se, data, variable);
}

// "!" tests numbers by value and texts by emptiness; "~" truncates a float
// first; "+" copies, "-" negates, both element-wise on compounds.
void ExecuteUnary(ScriptEngine& se, WordStack& data, Opcode op) {
  Operand x = PopOperand(data);
  switch (op) {
    case Opcode::Not:
      switch (x.kind) {
        case kOperandInt: StackPushInt(se, data, x.value.i == 0); return;
        case kOperandFloat: StackPushInt(se, data, x.value.f == 0.0f); return;
        case kOperandString: StackPushInt(se, data, TextOf(x)[0] == '\0'); return;
        default: TypeError(Sjis("数値と文字列以外では!演算子は使用できません"));
      }
    case Opcode::BitNot:
      if (!IsNumber(x.kind)) TypeError(Sjis("数値以外では~演算子は使用できません"));
      StackPushInt(se, data, ~x.value.i);
      return;
    case Opcode::Plus:
      switch (x.kind) {
        case kOperandInt: StackPushInt(se, data, x.value.i); return;
        case kOperandFloat: StackPushFloat(se, data, x.value.f); return;
        case kOperandString: StackPushTextSafe(se, data, TextOf(x), kWordString); return;
        case kOperandCompound:
          StackPushCompound(se, data, x.value.array ? CopyCompound(se.pools, x.value.array) : nullptr);
          return;
        default: TypeError(Sjis("数値と文字列以外では+演算子は使用できません"));
      }
    default:  // Negate
      switch (x.kind) {
        case kOperandInt: StackPushInt(se, data, WrapSub(0, x.value.i)); return;
        case kOperandFloat: StackPushFloat(se, data, -x.value.f); return;
        case kOperandCompound:
          StackPushCompound(se, data, ApplyElementwiseOp(se.pools, x.value.array, kOpNegate, 0));
          return;
        default: TypeError(Sjis("数値以外では-演算子は使用できません"));
      }
  }
}

bool ConditionIsTrue(CScriptLiteral* word, bool* valid) {
  StackOperand c;
  *valid = true;
  switch (LookupStackVariable(word, &c)) {
    case kOperandInt: return c.i != 0;
    case kOperandFloat: return c.f != 0.0f;
    case kOperandString: return c.text && c.text[0] != '\0';
    default: *valid = false; return false;
  }
}

// ----------------------------------------------------------------------------
// Casts
// ----------------------------------------------------------------------------

// (int) truncates and reads texts as decimals; (float) converts and reads
// texts as floats (a text literal too, unlike operand resolution); (string)
// prints numbers and compounds; (function) turns a function operand into a
// handle word.
void ExecuteCast(ScriptEngine& se, WordStack& data, Opcode op) {
  Operand x = PopOperand(data);
  switch (op) {
    case Opcode::CastInt:
      if (x.kind == kOperandInt || x.kind == kOperandFloat || x.kind == kOperandString) {
        StackPushInt(se, data, x.value.i);  // truncated, or the text read as a decimal
        return;
      }
      TypeError(Sjis("型キャストする値が数値ではありません(int)"));
    case Opcode::CastFloat:
      if (x.kind == kOperandInt || x.kind == kOperandFloat) {
        StackPushFloat(se, data, x.value.f);
        return;
      }
      if (x.kind == kOperandString) {
        StackPushFloat(se, data, ParseFloat(TextOf(x)));
        return;
      }
      TypeError(Sjis("型キャストする値が数値ではありません(float)"));
    case Opcode::CastString: {
      if (x.kind == kOperandString) {
        StackPushTextSafe(se, data, TextOf(x), kWordString);
        return;
      }
      if (!IsNumber(x.kind) && x.kind != kOperandCompound) TypeError(Sjis("型キャストする値が文字列ではありません(string)"));
      std::string& text = se.run.text;
      text.clear();
      AppendPiece(se, &text, x);
      StackPushText(se, data, text.c_str(), kWordString);
      return;
    }
    default: {  // CastFunction
      if (x.kind != kOperandFunction) TypeError(Sjis("型キャストする値が関数ではありません(function)"));
      std::string name = TextOf(x);
      StackPushHandle(se, data, x.value.target)->text = name;
      return;
    }
  }
}

// ----------------------------------------------------------------------------
// Member access and indexing
// ----------------------------------------------------------------------------

namespace {

// The compound a "." or "[]" works in: the variable's own, or a new empty
// one assigned to it when it holds none.
CScriptArray* CompoundOfVariable(ScriptPools& pools, CScriptValue* variable) {
  CScriptValue* v = FollowRefer(variable);
  if (!v) RaiseScriptError(Sjis("変数[%s]の参照が循環しています。"), variable->text.c_str());
  if (v->type == kValueCompound && v->data.array) return v->data.array;
  AssignOwnedCompound(pools, v, NewCompound(pools, v));
  return v->data.array;
}

const char* LastNamePart(const CScriptValue* v) {
  const char* dot = std::strrchr(v->text.c_str(), '.');
  return dot ? dot + 1 : v->text.c_str();
}

}  // namespace

void ExecuteMember(ScriptEngine& se, WordStack& data, CScriptLiteral* word) {
  CScriptLiteral* memberWord;
  CScriptValue* member = PopVariable(data, &memberWord);
  CScriptValue* object = PopVariable(data, nullptr);
  if (!member || !object) TypeError(Sjis("変数以外には.演算子を使用できません"));
  CScriptArray* a = CompoundOfVariable(se.pools, object);
  // The member's name is the last part of the right variable's name, which
  // a name word always finds under the last part of its own text: the same
  // name word in the same unchanged compound finds the same member.
  RunLink& link = word->link;
  const CScriptLiteral* origin = memberWord->link.origin;
  CScriptValue* found = nullptr;
  if (origin && link.origin == origin && link.compound == a && link.localStamp == a->stamp) {
    found = link.value;
    if (se.run.verifyLinks)
      ENGINE_ASSERT(FindMember(a, LastNamePart(member)) == found, "stale member link for [%s]", member->text.c_str());
    StackPushReference(se, data, found);
    return;
  }
  // Another compound (a[i].m walking an array of objects): objects built
  // alike hold the member in the same slot, and a member's name is unique
  // in its object, so a slot holding the name holds the member.
  LinkHints& hint = RunOf(word).hints;
  if (origin && link.origin == origin && hint.slot >= 0 && a->kind == kCompoundObject &&
      size_t(hint.slot) < a->elements.size()) {
    CScriptValue* m = a->elements[size_t(hint.slot)];
    if (m && SameName(m->text, origin->text.c_str() + hint.lastOffset, hint.lastLength)) found = m;
  }
  if (!found) {
    const char* name = LastNamePart(member);
    found = AddObjectMember(se.pools, a, name, kValueUndefined, kAttrUntyped);
    hint.slot = -1;
    if (origin && a->kind == kCompoundObject) {
      const char* last = std::strrchr(origin->text.c_str(), '.');
      size_t offset = last ? size_t(last + 1 - origin->text.c_str()) : 0;
      if (std::strcmp(origin->text.c_str() + offset, name) == 0) {
        hint.slot = SlotOf(a, found);
        hint.lastOffset = uint32_t(offset);
        hint.lastLength = uint32_t(origin->text.size() - offset);
      }
    }
  } else if (se.run.verifyLinks) {
    ENGINE_ASSERT(FindMember(a, LastNamePart(member)) == found, "stale member slot for [%s]", member->text.c_str());
  }
  link.value = found;
  link.origin = origin;
  link.compound = a;
  link.localStamp = a->stamp;
  StackPushReference(se, data, found);
}

// a[i]: a number selects the element in that slot (of an object too), a
// text the member of that name; a missing one is made untyped. The
// variable gets an empty compound first when it holds none.
void ExecuteIndex(ScriptEngine& se, WordStack& data) {
  Operand index = PopOperand(data);
  CScriptValue* variable = PopVariable(data, nullptr);
  if (!variable) TypeError(Sjis("変数以外には配列インデックスを使用できません"));
  CScriptArray* a = CompoundOfVariable(se.pools, variable);
  CScriptValue* element;
  if (IsNumber(index.kind)) {
    element = GetElement(a, index.value.i);
    // A negative index never matches and appends at the first free slot.
    if (!element) element = AddArrayElement(se.pools, a, index.value.i, kValueUndefined, kAttrUntyped);
  } else if (index.kind == kOperandString) {
    element = AddObjectMember(se.pools, a, TextOf(index), kValueUndefined, kAttrUntyped);
  } else {
    TypeError(Sjis("配列インデックスが数値ではありません。"));
  }
  StackPushReference(se, data, element);
}

// ----------------------------------------------------------------------------
// Local declarations and parameters
// ----------------------------------------------------------------------------

namespace {

bool IsTypeKeyword(int kind) { return kind >= kWordTypeInt && kind <= kWordTypeObject; }

// The namespace a definition goes into and the name it has there, as
// DefineVariable chooses them.
CScriptValue* FindInCurrentNamespace(ScriptEngine& se, const char* name) {
  int32_t t = se.namespaces.currentThread;
  CScriptArray* local =
      t >= 0 && size_t(t) < se.namespaces.threadTop.size() ? se.namespaces.threadTop[size_t(t)] : nullptr;
  if (local) {
    const char* dot = std::strrchr(name, '.');
    return FindMember(local, dot ? dot + 1 : name);
  }
  return FindMember(se.namespaces.global, name);
}

// Nested arrays of the sizes, outermost first; the innermost elements have
// the element type (a compound one gets an empty compound).
void FillDimensions(ScriptPools& pools, CScriptArray* a, const std::vector<int32_t>& sizes, size_t level,
                    int elementType, int attributes) {
  bool innermost = level + 1 == sizes.size();
  if (innermost && elementType != kValueCompound) {
    AddArrayElements(pools, a, sizes[level], elementType, attributes);
    return;
  }
  for (int32_t i = 0; i < sizes[level]; i++) {
    int type = innermost ? elementType : kValueCompound;
    CScriptValue* e = AddArrayElement(pools, a, i, type, innermost ? attributes : 0);
    if (type == kValueCompound && !e->data.array) e->data.array = NewCompound(pools, e);
    if (!innermost) FillDimensions(pools, e->data.array, sizes, level + 1, elementType, attributes);
  }
}

}  // namespace

// The words of a local declaration, in the order the compiler emits them:
// initial value, dimension sizes, dimension count, then this type word and
// the modifiers and name after it. Without dimensions the variable is made
// (or reset) in the current namespace and takes a non-empty initial value;
// with them it gets nested arrays and the initial value is dropped.
void ExecuteDeclare(ScriptEngine& se, ScriptThread* thread, const CScriptLiteral* typeWord) {
  int keyword = typeWord->kind;
  int type = ValueTypeOfKeyword(keyword);
  int attributes = keyword == kWordTypeVariable ? kAttrUntyped : 0;
  bool callable = keyword == kWordTypeFunction || keyword == kWordTypeSystemCall;
  // Modifiers, then the name. A function or system call may carry its
  // return type's word before the name; it is no name.
  CScriptLiteral* w = thread->currentWord;
  bool returnType = false;
  for (; w; w = w->next) {
    if (w->kind == kWordConst) attributes |= kAttrConst;
    else if (w->kind == kWordStatic) attributes |= kAttrStatic;
    else if (w->kind == kWordExtern) attributes |= kAttrExtern;
    else if (callable && !returnType && IsTypeKeyword(w->kind)) returnType = true;
    else break;
  }
  if (!w) TypeError(Sjis("変数以外のトークンが型定義に指定されました"));
  thread->currentWord = w->next;
  const char* name = w->text.c_str();
  WordStack& data = thread->data;
  ScriptPools& pools = se.pools;

  Operand count = PopOperand(data);
  if (count.kind != kOperandInt) TypeError(Sjis("変数の次元が数値ではありません。"));
  std::vector<int32_t> sizes;
  int64_t total = 1;
  for (int32_t d = 0; d < count.value.i; d++) {
    Operand size = PopOperand(data);
    if (size.value.i < 1) TypeError(Sjis("配列の要素数がゼロまたは負の値です。"));
    total *= size.value.i;
    if (total > kMaxDeclaredElements) RaiseScriptError(Sjis("配列[%s]の要素数が多すぎます。"), name);
    sizes.insert(sizes.begin(), size.value.i);  // popped last dimension first
  }

  if (!sizes.empty()) {
    CScriptValue* v = FindInCurrentNamespace(se, name);
    if (!v) v = DefineVariable(se, name, kValueCompound, attributes);
    CScriptArray* a = NewCompound(pools, nullptr);
    try {
      FillDimensions(pools, a, sizes, 0, type, attributes & (kAttrConst | kAttrUntyped));
    } catch (...) {
      pools.ReleaseScriptArray(a);
      throw;
    }
    AssignOwnedCompound(pools, v, a);
    StackPop(data);  // the initial value is not used
    return;
  }

  if (keyword == kWordTypeFunction) {
    const CScriptValue* existing = LookupName(se, name);
    if (existing && (existing->attributes & kAttrConst)) {
      StackPop(data);  // a const function of that name stays
      return;
    }
  }
  CScriptValue* v = DefineVariable(se, name, type, attributes);
  Operand value = PopOperand(data);
  switch (value.kind) {
    case kOperandInt:
      if (value.value.i != 0) AssignIntToVariable(pools, v, value.value.i);
      break;
    case kOperandFloat:
      if (value.value.f != 0.0f) AssignFloatToVariable(pools, v, value.value.f);
      break;
    case kOperandString:
      if (TextOf(value)[0]) AssignStringToVariable(pools, v, value.value.text);
      break;
    case kOperandCompound:
      AssignOwnedCompound(pools, v, TakeOrCopyCompound(pools, value.word, value.value.array));
      break;
    case kOperandFunction:
      if (keyword == kWordTypeSystemCall) MarkVariableType6(se, v);
      else AssignCallTarget(pools, v, value.value.target);
      break;
    default: TypeError(Sjis("数値または文字列以外では=演算子は使用できません"));
  }
}

namespace {

// DefineVariable for a parameter's name word, whose hints keep the name's
// last part and its filter bit.
// A new member of the call's namespace when AppendShapedMember can make
// it, else null.
[[gnu::always_inline]] inline CScriptValue* AppendParameter(ScriptEngine& se, const CScriptLiteral* w, int type,
                                                             int attributes, uint64_t bit) {
  int32_t thread = se.namespaces.currentThread;
  const std::vector<CScriptArray*>& tops = se.namespaces.threadTop;
  CScriptArray* local = thread >= 0 && size_t(thread) < tops.size() ? tops[size_t(thread)] : nullptr;
  if (!local) return nullptr;
  const LinkHints& hint = w->run->hints;  // set up with the bit
  return AppendShapedMember(se.pools, local, w->text.c_str() + hint.lastOffset, hint.lastLength, bit, type,
                            attributes);
}

}  // namespace

CScriptValue* DefineWordVariable(ScriptEngine& se, const CScriptLiteral* w, int type, int attributes, uint64_t bit) {
  if (CScriptValue* v = AppendParameter(se, w, type, attributes, bit)) return v;
  return DefineVariable(se, w->text.c_str(), type, attributes, bit);
}

// A function's code starts with one binding per parameter, last first:
// "pop_value", an optional "const", the type, the name. The argument on top
// is bound by the type: numbers and texts converted, refer linked to the
// argument's variable, compounds copied, untyped taking the argument's own
// type.
void ExecuteBindParameter(ScriptEngine& se, ScriptThread* thread) {
  CScriptLiteral* w = thread->currentWord;
  int attributes = 0;
  if (w && w->kind == kWordConst) {
    attributes |= kAttrConst;
    w = w->next;
  }
  if (!w || !(IsTypeKeyword(w->kind) || w->kind == kWordTypeRefer)) TypeError(Sjis("関数の引数の型が不正です"));
  int keyword = w->kind;
  w = w->next;
  if (!w || w->kind != kWordName) TypeError(Sjis("変数以外のトークンが型定義に指定されました"));
  thread->currentWord = w->next;
  const char* name = w->text.c_str();
  uint64_t bit = LinkNameBit(RunOf(w).hints, w->text);
  if (se.run.verifyLinks) {
    const char* last = std::strrchr(name, '.');
    last = last ? last + 1 : name;
    ENGINE_ASSERT(bit == NameFilterBit(last, std::strlen(last)), "stale name bit for [%s]", name);
  }

  // The argument on top. With fewer arguments than parameters the call's
  // marker is on top: it stays (the return needs it) and the parameter gets
  // no value.
  WordStack& data = thread->data;
  ScriptPools& pools = se.pools;
  // An int argument for an int parameter, the commonest binding, is read
  // straight off the stack.
  if (keyword == kWordTypeInt && data.end > 0 && data.entries[size_t(data.end - 1)]->kind == kWordInt) {
    int32_t value = data.entries[size_t(--data.end)]->payload.i;
    if (CScriptValue* v = AppendParameter(se, w, kValueInt, attributes, bit)) {
      v->data.i = value;  // a new int variable: what assigning the int leaves
      return;
    }
    AssignIntToVariable(pools, DefineVariable(se, w->text.c_str(), kValueInt, attributes, bit), value);
    return;
  }
  // And a float argument for a float parameter the same way.
  if (keyword == kWordTypeFloat && data.end > 0 && data.entries[size_t(data.end - 1)]->kind == kWordFloat) {
    float value = data.entries[size_t(--data.end)]->payload.f;
    if (CScriptValue* v = AppendParameter(se, w, kValueFloat, attributes, bit)) {
      v->data.f = value;  // a new float variable: what assigning the float leaves
      return;
    }
    AssignFloatToVariable(pools, DefineVariable(se, w->text.c_str(), kValueFloat, attributes, bit), value);
    return;
  }
  Operand arg{};
  arg.kind = kOperandNone;
  if (data.end > 0 && data.entries[size_t(data.end - 1)]->kind != kWordCallMarker) arg = PopOperand(data);
  switch (keyword) {
    case kWordTypeInt:
      AssignIntToVariable(pools, DefineWordVariable(se, w, kValueInt, attributes, bit), arg.value.i);
      return;
    case kWordTypeFloat:
      AssignFloatToVariable(pools, DefineWordVariable(se, w, kValueFloat, attributes, bit), arg.value.f);
      return;
    case kWordTypeString: {
      CScriptValue* v = DefineWordVariable(se, w, kValueString, attributes, bit);
      // Numbers arrive as their text, as when assigned.
      if (arg.kind == kOperandInt) AssignIntToVariable(pools, v, arg.value.i);
      else if (arg.kind == kOperandFloat) AssignFloatToVariable(pools, v, arg.value.f);
      else AssignStringToVariable(pools, v, arg.value.text);
      return;
    }
    case kWordTypeRefer: {
      if (!arg.value.variable) TypeError(Sjis("参照型引数に即値が指定されました。"));
      CScriptValue* v = DefineVariable(se, name, kValueUndefined, attributes);
      AssignReference(pools, v, arg.value.variable);
      return;
    }
    case kWordTypeVariable: {
      if (arg.kind == kOperandNone) TypeError(Sjis("引数の数が足りません。"));
      CScriptValue* v = DefineVariable(se, name, kValueUndefined, attributes | kAttrUntyped);
      switch (arg.kind) {
        case kOperandInt: AssignIntToVariable(pools, v, arg.value.i); break;
        case kOperandFloat: AssignFloatToVariable(pools, v, arg.value.f); break;
        case kOperandString: AssignStringToVariable(pools, v, arg.value.text); break;
        case kOperandFunction: AssignCallTarget(pools, v, arg.value.target); break;
        default: AssignOwnedCompound(pools, v, TakeOrCopyCompound(pools, arg.word, arg.value.array)); break;
      }
      return;
    }
    case kWordTypeFunction:
      AssignCallTarget(pools, DefineVariable(se, name, kValueFunction, attributes),
                       arg.kind == kOperandFunction ? arg.value.target : nullptr);
      return;
    case kWordTypeSystemCall: TypeError(Sjis("数値ではありません(引数)"));
    default: {  // array, object
      if (arg.kind != kOperandCompound) TypeError(Sjis("オブジェクト型引数の内容がオブジェクトではありません。"));
      CScriptValue* v = DefineWordVariable(se, w, kValueCompound, attributes, bit);
      // A variable's object is copied into an argument copy the frame kept
      // when one fits, else as any compound is taken or copied.
      CScriptArray* array = OwnsCompound(arg.word, arg.value.array) ? nullptr : TakeKeptObjectCopy(pools, arg.value.array);
      if (!array) array = TakeOrCopyCompound(pools, arg.word, arg.value.array);
      if (array) array->argumentCopy = true;
      AssignOwnedCompound(pools, v, array);
      return;
    }
  }
}

}  // namespace script
