// script_records.cpp -- the word-kind table, the printed forms of words, the
// word setters and the engine's number readers.

#include <array>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "script/script_local.h"

namespace script {

// Kind, token?, source spelling, code text. The tokeniser produces the token
// kinds; the compiler emits the kinds with a code text (or their own text).
const WordKindInfo kWordKinds[] = {
    {kWordEnd, true, nullptr, nullptr},
    {kWordStart, false, nullptr, "[Start]"},
    {kWordInt, true, nullptr, nullptr},
    {kWordFloat, true, nullptr, nullptr},
    {kWordName, true, nullptr, nullptr},
    {kWordString, true, nullptr, nullptr},
    {kWordLabel, true, nullptr, nullptr},
    {kWordFunctionName, false, nullptr, nullptr},
    {kWordDirective, true, nullptr, nullptr},
    {kWordFunctionConstant, false, nullptr, "(null function)"},  // "(null syscall)" too
    {kWordCompound, false, nullptr, nullptr},
    {kWordReference, false, nullptr, nullptr},
    {kWordAdd, true, "+", "+"},
    {kWordSubtract, true, "-", "-"},
    {kWordMultiply, true, "*", "*"},
    {kWordDivide, true, "/", "/"},
    {kWordModulo, true, "%", "%"},
    {kWordAssign, true, "=", "="},
    {kWordGreater, true, ">", ">"},
    {kWordLess, true, "<", "<"},
    {kWordNot, true, "!", nullptr},
    {kWordBitNot, true, "~", nullptr},
    {kWordXor, true, "^", "^"},
    {kWordBitAnd, true, "&", "&"},
    {kWordBitOr, true, "|", "|"},
    {kWordShiftLeft, true, "<<", "<<"},
    {kWordShiftRight, true, ">>", ">>"},
    {kWordAddAssign, true, "+=", "+="},
    {kWordSubtractAssign, true, "-=", "-="},
    {kWordMultiplyAssign, true, "*=", "*="},
    {kWordDivideAssign, true, "/=", "/="},
    {kWordModuloAssign, true, "%=", "%="},
    {kWordEqual, true, "==", "=="},
    {kWordGreaterEqual, true, ">=", ">="},  // also "=>", kept as written
    {kWordLessEqual, true, "<=", "<="},     // also "=<"
    {kWordNotEqual, true, "!=", "!="},      // also "<>" and "><"
    {kWordBitAndAssign, true, "&=", "&="},
    {kWordBitOrAssign, true, "|=", "|="},
    {kWordXorAssign, true, "^=", "^="},
    {kWordIncrement, true, "++", "++"},
    {kWordDecrement, true, "--", "--"},
    {kWordLogicalAnd, true, "&&", "&&"},
    {kWordLogicalOr, true, "||", "||"},
    {kWordSemicolon, true, ";", ";"},
    {kWordComma, true, ",", nullptr},
    {kWordMember, true, ".", "."},
    {kWordColon, true, ":", nullptr},
    {kWordOpenParen, true, "(", nullptr},
    {kWordCloseParen, true, ")", nullptr},
    {kWordOpenBracket, true, "[", nullptr},
    {kWordCloseBracket, true, "]", nullptr},
    {kWordOpenBrace, true, "{", nullptr},
    {kWordCloseBrace, true, "}", nullptr},
    {kWordPrefixPlus, false, "+", "+(PRE)"},
    {kWordPrefixMinus, false, "-", "-(PRE)"},
    {kWordPrefixNot, false, "!", "!(PRE)"},
    {kWordPrefixBitNot, false, "~", "~(PRE)"},
    {kWordPrefixIncrement, false, "++", "++(PRE)"},
    {kWordPrefixDecrement, false, "--", "--(PRE)"},
    {kWordIf, false, "if", nullptr},
    {kWordElse, false, "else", nullptr},
    {kWordWhile, false, "while", nullptr},
    {kWordDo, false, "do", nullptr},
    {kWordFor, false, "for", nullptr},
    {kWordGoto, false, "goto", nullptr},
    {kWordCall, false, "call", nullptr},
    {kWordReturn, false, "return", nullptr},
    {kWordSystemInterrupt, false, "__system_interrupt__", nullptr},
    {kWordBreak, false, "break", nullptr},
    {kWordContinue, false, "continue", nullptr},
    {kWordTypeInt, false, "int", "int"},
    {kWordTypeFloat, false, "float", "float"},
    {kWordTypeString, false, "string", "string"},
    {kWordTypeRefer, false, "refer", "refer"},
    {kWordTypeVariable, false, "variable", "variable"},
    {kWordTypeFunction, false, "function", "function"},
    {kWordTypeSystemCall, false, "systemcall", "syscall"},
    {kWordTypeArray, false, "array", "array"},
    {kWordTypeObject, false, "object", "object"},
    {kWordStatic, false, "static", "static"},
    {kWordConst, false, "const", "const"},
    {kWordExtern, false, "extern", nullptr},
    {kWordAutorun, false, "autorun", nullptr},
    {kWordJumpIfFalse, false, nullptr, "if_not_goto"},
    {kWordJumpIfTrue, false, nullptr, nullptr},
    {kWordJump, false, nullptr, "goto"},  // "break" or "continue" for those statements
    {kWordCallCode, false, nullptr, "call"},
    {kWordReturnCode, false, nullptr, "return"},
    {kWordInterruptCode, false, nullptr, "__system_interrupt__"},
    {kWordIndex, false, nullptr, "[]"},
    {kWordCallMarker, false, nullptr, "@"},
    {kWordPopValue, false, nullptr, "pop_value"},
    {kWordCastInt, false, nullptr, "(int)"},
    {kWordCastFloat, false, nullptr, "(float)"},
    {kWordCastString, false, nullptr, "(string)"},
    {kWordCastFunction, false, nullptr, "(function)"},
    {kWordBuildArray, false, nullptr, "{Array}"},
    {kWordBuildObject, false, nullptr, "{Object}"},
};
const size_t kWordKindCount = sizeof kWordKinds / sizeof kWordKinds[0];

const WordKindInfo* FindWordKind(int kind) {
  // Row index + 1 by kind, built once (0: no such kind).
  static const std::array<uint8_t, 256> kRowOfKind = [] {
    std::array<uint8_t, 256> rows{};
    for (size_t i = 0; i < kWordKindCount; i++) rows[kWordKinds[i].kind] = uint8_t(i + 1);
    return rows;
  }();
  if (kind < 0 || kind > 255 || !kRowOfKind[size_t(kind)]) return nullptr;
  return &kWordKinds[kRowOfKind[size_t(kind)] - 1];
}

// ----------------------------------------------------------------------------
// Printed forms
// ----------------------------------------------------------------------------

const char* WordName(const CScriptLiteral& word) {
  if (word.kind == kWordInt || word.kind == kWordFloat) return "";
  return word.text.c_str();
}

const char* WordPrintedText(CScriptLiteral& word) {
  if (word.kind == kWordInt || word.kind == kWordFloat) {
    // Sized for the longest "%f" of a float: large floats print all their
    // integer digits.
    char printed[kFloatTextBytes];
    if (word.kind == kWordInt)
      std::snprintf(printed, sizeof printed, "%d", word.payload.i);
    else
      std::snprintf(printed, sizeof printed, "%f", double(word.payload.f));
    word.text.assign(printed);
  }
  return word.text.c_str();
}

// ----------------------------------------------------------------------------
// Number readers
//
// The engine ran with 32-bit longs: strtol clamped at 2147483647 and
// -2147483648. printf and strtod here are those of the "C" locale, which the
// program never changes.
// ----------------------------------------------------------------------------

namespace {

int32_t ClampToInt32(long long v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return int32_t(v);
}

int32_t ParseInt(const char* text, int base) {
  if (!text) return 0;
  errno = 0;
  long long v = std::strtoll(text, nullptr, base);  // clamps at the 64-bit range
  return ClampToInt32(v);
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// strtol's reading (blanks, a sign, decimal digits), stopping as soon as the
// value is past the 32-bit range: texts are read as numbers whenever they
// meet an operator, and a long run of digits must not cost its length.
int32_t ParseDecimalInt(const char* text) {
  if (!text) return 0;
  while (IsBlank(*text)) text++;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') text++;
  int64_t magnitude = 0;
  for (; IsDigit(*text); text++) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > int64_t(1) << 31) return negative ? INT32_MIN : INT32_MAX;
  }
  return ClampToInt32(negative ? -magnitude : magnitude);
}

int32_t ParseHexInt(const char* text) { return ParseInt(text, 16); }

// strtod's reading as a 32-bit float. A decimal number whose whole part has
// more significant digits than any float can hold, and no exponent, is an
// infinity without converting all of its digits.
float ParseFloat(const char* text) {
  if (!text) return 0.0f;
  const char* p = text;
  while (IsBlank(*p)) p++;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') p++;
  if (IsDigit(*p) && !(p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) {
    while (*p == '0') p++;
    const char* digits = p;
    while (IsDigit(*p)) p++;
    constexpr ptrdiff_t kMoreThanAnyFloat = 40;  // FLT_MAX has 39 digits
    if (p - digits > kMoreThanAnyFloat) {
      if (*p == '.') {
        p++;
        while (IsDigit(*p)) p++;
      }
      if (*p != 'e' && *p != 'E') return negative ? -HUGE_VALF : HUGE_VALF;
    }
  }
  return float(std::strtod(text, nullptr));
}

// ----------------------------------------------------------------------------
// Word setters
// ----------------------------------------------------------------------------

namespace {

// A word that held a compound gives it back before it takes another payload.
void DropCompound(ScriptPools& pools, CScriptLiteral* word) {
  if (word->kind == kWordCompound && word->payload.array) {
    CScriptArray* array = word->payload.array;
    word->payload.array = nullptr;
    pools.ReleaseScriptArray(array);
  }
}

}  // namespace

void SetIntValue(ScriptPools& pools, CScriptLiteral* word, int32_t value) {
  DropCompound(pools, word);
  word->payload = ScriptPayload{};
  word->payload.i = value;
  word->kind = kWordInt;
}

void SetFloatValue(ScriptPools& pools, CScriptLiteral* word, float value) {
  DropCompound(pools, word);
  word->payload = ScriptPayload{};
  word->payload.f = value;
  word->kind = kWordFloat;
}

void SetValueFromText(ScriptPools& pools, CScriptLiteral* word, const char* text, int kind) {
  if (kind == kWordInt) {
    SetIntValue(pools, word, ParseDecimalInt(text));
  } else if (kind == kWordFloat) {
    SetFloatValue(pools, word, ParseFloat(text));
  } else {
    DropCompound(pools, word);
    word->payload = ScriptPayload{};
    word->text.assign(text ? text : "");
    word->kind = uint8_t(kind);
  }
}

void FreeValueText(CScriptLiteral* word) {
  std::string().swap(word->text);
}

void ClearScriptLiteral(ScriptPools& pools, CScriptLiteral* word) {
  DropCompound(pools, word);
  FreeValueText(word);
  word->payload = ScriptPayload{};
  word->kind = kWordEnd;
}

}  // namespace script
