// script_ppexpr.cpp -- the evaluator of "#if" expressions: constant ints,
// floats and strings combined by precedence climbing over the operator
// levels the compiler uses.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

namespace {

struct ExpressionToken {
  int kind;
  std::string text;
};

PreprocessorValue IntValue(int32_t i) {
  PreprocessorValue v;
  v.type = PreprocessorValue::kInt;
  v.i = i;
  return v;
}

PreprocessorValue FloatValue(float f) {
  PreprocessorValue v;
  v.type = PreprocessorValue::kFloat;
  v.f = f;
  return v;
}

PreprocessorValue StringValue(std::string s) {
  PreprocessorValue v;
  v.type = PreprocessorValue::kString;
  v.s = std::move(s);
  return v;
}

bool IsNumber(const PreprocessorValue& v) { return v.type != PreprocessorValue::kString; }

float AsFloat(const PreprocessorValue& v) { return v.type == PreprocessorValue::kFloat ? v.f : float(v.i); }

// A float truncated toward zero as the processor does it: out of range (and
// NaN) gives the 0x80000000 pattern.
int32_t TruncateToInt(float f) {
  if (!(f >= -2147483648.0f && f < 2147483648.0f)) return INT32_MIN;
  return int32_t(f);
}

int32_t AsInt(const PreprocessorValue& v) { return v.type == PreprocessorValue::kFloat ? TruncateToInt(v.f) : v.i; }

// 32-bit arithmetic wraps as it did on the engine's processor.
int32_t Wrap(uint32_t v) { return int32_t(v); }

std::string TextOf(const PreprocessorValue& v) {
  char buffer[kFloatTextBytes];
  switch (v.type) {
    case PreprocessorValue::kString: return v.s;
    case PreprocessorValue::kInt: std::snprintf(buffer, sizeof buffer, "%d", v.i); return buffer;
    case PreprocessorValue::kFloat: std::snprintf(buffer, sizeof buffer, "%f", double(v.f)); return buffer;
  }
  return {};
}

// The operators that have a rule here (the assignments, shifts, postfix
// operators, calls, indexes and members have none).
bool HasRule(int kind) {
  switch (kind) {
    case kWordAdd: case kWordSubtract: case kWordMultiply: case kWordDivide: case kWordModulo:
    case kWordGreater: case kWordLess: case kWordGreaterEqual: case kWordLessEqual:
    case kWordEqual: case kWordNotEqual:
    case kWordXor: case kWordBitAnd: case kWordBitOr:
    case kWordLogicalAnd: case kWordLogicalOr:
      return true;
    default:
      return false;
  }
}

// The operator's name in the messages: ">=" is named "=>" there.
const char* OperatorName(int kind) {
  switch (kind) {
    case kWordGreaterEqual: return "=>";
    case kWordLessEqual: return "<=";
    case kWordNotEqual: return "!=";
    default: {
      const WordKindInfo* info = FindWordKind(kind);
      return info && info->sourceText ? info->sourceText : "";
    }
  }
}

class ExpressionReader {
 public:
  ExpressionReader(ScriptEngine& se, const SourcePosition& where, std::vector<ExpressionToken> tokens)
      : se_(se), where_(where), tokens_(std::move(tokens)) {}

  PreprocessorValue Read() {
    PreprocessorValue v = Binary(0);
    return stopped_ ? IntValue(0) : v;
  }

 private:
  const ExpressionToken* Peek() const { return next_ < tokens_.size() ? &tokens_[next_] : nullptr; }

  void Error(const char* message) { AddCompileError(se_, message, &where_); }

  // Ends the whole expression: its value is 0.
  PreprocessorValue Stop(const char* format, const std::string& text) {
    AddCompileErrorf(se_, &where_, format, text.c_str());
    stopped_ = true;
    return IntValue(0);
  }

  // Operators above `level` combine, left to right.
  PreprocessorValue Binary(int level) {
    PreprocessorValue v = Operand();
    while (!stopped_) {
      const ExpressionToken* t = Peek();
      if (!t) break;
      int opLevel = OperatorLevel(t->kind);
      if (opLevel < 0) return Stop(Sjis("#ifの式に不正な演算子[%s]があります。"), t->text);
      if (opLevel <= level) break;
      ExpressionToken op = *t;
      next_++;
      if (!HasRule(op.kind)) return Stop(Sjis("式に不正な演算子[%s]があります。"), op.text);
      PreprocessorValue right = Binary(opLevel);
      if (stopped_) break;
      v = Apply(op.kind, v, right);
    }
    return v;
  }

  PreprocessorValue Operand() {
    if (stopped_) return IntValue(0);
    if (depth_ >= kMaxExpressionDepth) {
      Error(Sjis("#ifの式が複雑すぎます。"));
      stopped_ = true;
      return IntValue(0);
    }
    depth_++;
    PreprocessorValue v = ReadOperand();
    depth_--;
    return v;
  }

  PreprocessorValue ReadOperand() {
    const ExpressionToken* t = Peek();
    if (!t) {
      Error(Sjis("演算子の次に値がありません。"));
      return IntValue(0);
    }
    ExpressionToken token = *t;
    next_++;
    switch (token.kind) {
      case kWordInt: return IntValue(ParseDecimalInt(token.text.c_str()));
      case kWordFloat: return FloatValue(ParseFloat(token.text.c_str()));
      case kWordString: return StringValue(token.text);
      // A prefix operator's operand is read up to the level of its own
      // token: + and - take only what binds tighter than + and - (so -a*b
      // is -(a*b)), ! and ~ take every operator (so !a && b is !(a && b)).
      case kWordAdd: return Binary(OperatorLevel(kWordAdd));
      case kWordSubtract: {
        PreprocessorValue v = Binary(OperatorLevel(kWordSubtract));
        if (v.type == PreprocessorValue::kInt) return IntValue(Wrap(0u - uint32_t(v.i)));
        if (v.type == PreprocessorValue::kFloat) return FloatValue(-v.f);
        Error(Sjis("数値以外では-演算子は使用できません。"));
        return IntValue(0);
      }
      case kWordNot: {
        PreprocessorValue v = Binary(OperatorLevel(kWordNot));
        if (v.type == PreprocessorValue::kInt) return IntValue(v.i == 0 ? 1 : 0);
        if (v.type == PreprocessorValue::kFloat) return FloatValue(v.f == 0.0f ? 1.0f : 0.0f);
        return IntValue(v.s.empty() ? 1 : 0);
      }
      case kWordBitNot: {
        PreprocessorValue v = Binary(OperatorLevel(kWordBitNot));
        if (IsNumber(v)) return IntValue(~AsInt(v));
        Error(Sjis("数値以外では~演算子は使用できません。"));
        return IntValue(0);
      }
      case kWordOpenParen: {
        PreprocessorValue v = Binary(0);
        const ExpressionToken* close = Peek();
        if (!stopped_ && close && close->kind == kWordCloseParen) next_++;
        else if (!stopped_) Error(Sjis("式の次に「)」が足りません。"));
        return v;
      }
      default:
        AddCompileErrorf(se_, &where_, Sjis("#ifの式に不正な字句[%s]があります。"), token.text.c_str());
        return IntValue(0);
    }
  }

  void TypeError(const char* format, int kind) { AddCompileErrorf(se_, &where_, format, OperatorName(kind)); }

  PreprocessorValue Apply(int kind, const PreprocessorValue& a, const PreprocessorValue& b) {
    bool numbers = IsNumber(a) && IsNumber(b);
    bool ints = a.type == PreprocessorValue::kInt && b.type == PreprocessorValue::kInt;
    switch (kind) {
      case kWordAdd:
        if (!numbers) return StringValue(TextOf(a) + TextOf(b));
        if (ints) return IntValue(Wrap(uint32_t(a.i) + uint32_t(b.i)));
        return FloatValue(AsFloat(a) + AsFloat(b));
      case kWordSubtract:
      case kWordMultiply:
      case kWordDivide:
      case kWordModulo:
        if (!numbers) {
          TypeError(Sjis("数値以外では%s演算子は使用できません。"), kind);
          return IntValue(0);
        }
        return Arithmetic(kind, a, b, ints);
      case kWordGreater:
      case kWordLess:
      case kWordGreaterEqual:
      case kWordLessEqual:
      case kWordEqual:
      case kWordNotEqual: {
        int order;
        if (numbers) {
          float x = AsFloat(a), y = AsFloat(b);
          if (ints) order = a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
          else order = x < y ? -1 : x > y ? 1 : x == y ? 0 : 2;  // 2: unordered (NaN)
        } else if (a.type == PreprocessorValue::kString && b.type == PreprocessorValue::kString) {
          int c = std::strcmp(a.s.c_str(), b.s.c_str());  // unsigned bytes
          order = c < 0 ? -1 : c > 0 ? 1 : 0;
        } else {
          TypeError(Sjis("数値と文字列以外では%s演算子は使用できません。"), kind);
          return IntValue(0);
        }
        bool result = OrderSatisfies(kind, order);
        bool floats = a.type == PreprocessorValue::kFloat || b.type == PreprocessorValue::kFloat;
        return floats ? FloatValue(result ? 1.0f : 0.0f) : IntValue(result ? 1 : 0);
      }
      default:  // ^ & | && ||
        if (!numbers) {
          TypeError(Sjis("数値以外では%s演算子は使用できません。"), kind);
          return IntValue(0);
        }
        {
          int32_t x = AsInt(a), y = AsInt(b);
          switch (kind) {
            case kWordXor: return IntValue(x ^ y);
            case kWordBitAnd: return IntValue(x & y);
            case kWordBitOr: return IntValue(x | y);
            case kWordLogicalAnd: return IntValue(x != 0 && y != 0 ? 1 : 0);
            default: return IntValue(x != 0 || y != 0 ? 1 : 0);
          }
        }
    }
  }

  PreprocessorValue Arithmetic(int kind, const PreprocessorValue& a, const PreprocessorValue& b, bool ints) {
    bool byZero = ints ? b.i == 0 : AsFloat(b) == 0.0f;
    if ((kind == kWordDivide || kind == kWordModulo) && byZero) {
      Error(Sjis("ゼロによる除算。"));
      return IntValue(0);
    }
    if (ints) {
      uint32_t x = uint32_t(a.i), y = uint32_t(b.i);
      switch (kind) {
        case kWordSubtract: return IntValue(Wrap(x - y));
        case kWordMultiply: return IntValue(Wrap(x * y));
        // The one quotient that does not fit wraps instead of trapping.
        case kWordDivide: return IntValue(a.i == INT32_MIN && b.i == -1 ? INT32_MIN : a.i / b.i);
        default: return IntValue(b.i == -1 ? 0 : a.i % b.i);
      }
    }
    float x = AsFloat(a), y = AsFloat(b);
    switch (kind) {
      case kWordSubtract: return FloatValue(x - y);
      case kWordMultiply: return FloatValue(x * y);
      case kWordDivide: return FloatValue(x / y);
      default: return FloatValue(std::fmod(x, y));  // remainder after the truncated quotient
    }
  }

  ScriptEngine& se_;
  SourcePosition where_;
  std::vector<ExpressionToken> tokens_;
  size_t next_ = 0;
  int depth_ = 0;
  bool stopped_ = false;
};

}  // namespace

PreprocessorValue EvaluatePreprocessorExpression(ScriptEngine& se, const char* text,
                                                 const SourcePosition& position) {
  std::vector<ExpressionToken> tokens;
  std::string token;
  const char* p = text ? text : "";
  for (;;) {
    const char* end;
    int kind = ScanToken(se, SkipBlanks(p), &token, &end, &position);
    if (kind == kWordEnd) break;
    tokens.push_back({kind, token});
    p = end;
  }
  return ExpressionReader(se, position, std::move(tokens)).Read();
}

bool IsTrue(const PreprocessorValue& value) {
  switch (value.type) {
    case PreprocessorValue::kInt: return value.i != 0;
    case PreprocessorValue::kFloat: return value.f != 0.0f;
    case PreprocessorValue::kString: return !value.s.empty();
  }
  return false;
}

}  // namespace script
