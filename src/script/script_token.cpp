// script_token.cpp -- the one token reader that the preprocessor, the macro
// expander and the compiler's constant readers share.

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

namespace {

bool IsNameStart(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || IsDigit(c); }
bool IsHexDigit(unsigned char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

const char* EndOf(const char* p) { return p + std::strlen(p); }

void ReportAt(ScriptEngine& se, const char* at, const SourcePosition* fallback, const char* message) {
  SourcePosition where = PositionAt(se, at, fallback);
  AddCompileError(se, message, &where);
}

// Digits after the first digit of a decimal number; a point makes it a
// float, and a second point ends the float and is dropped with a message.
int ScanDecimal(ScriptEngine& se, const char* p, std::string* text, const char** end,
                const SourcePosition* fallback, bool isFloat) {
  const char* from = p;
  while (IsDigit(static_cast<unsigned char>(*p))) p++;
  if (!isFloat && *p == '.') {
    isFloat = true;
    p++;
    while (IsDigit(static_cast<unsigned char>(*p))) p++;
  }
  text->append(from, size_t(p - from));
  if (isFloat && *p == '.') {
    ReportAt(se, p, fallback, Sjis("二重の小数点があります。処理を中断します。"));
    p++;
  }
  *end = p;
  return isFloat ? kWordFloat : kWordInt;
}

// A double-quoted string from just after its opening quote. A line break
// in it is reported where the string starts.
int ScanString(ScriptEngine& se, const char* p, std::string* text, const char** end,
               const SourcePosition* fallback) {
  const char* start = p - 1;
  bool ended = false;  // a \0 escape ends the text; the string reads on to its quote
  auto put = [&](char c) {
    if (!ended) *text += c;
  };
  while (*p && *p != '"') {
    unsigned char c = static_cast<unsigned char>(*p);
    if (IsScriptLeadByte(c)) {
      // The second byte belongs to the character, even a quote or a
      // backslash; a lead byte just before the end has none.
      put(*p++);
      if (*p) put(*p++);
      continue;
    }
    if (c == '\\') {
      p++;
      if (!*p) break;
      switch (*p) {
        case 'a': put('\a'); break;
        case 'b': put('\b'); break;
        case 'f': put('\f'); break;
        case 'n': put('\n'); break;
        case 'r': put('\r'); break;
        case 't': put('\t'); break;
        case 'v': put('\v'); break;
        case '0': ended = true; break;
        default: put(*p); break;  // any other character stands for itself
      }
      p++;
      continue;
    }
    if (c == '\r' || c == '\n') {
      // Reported once per line break (CR LF is one) and kept.
      ReportAt(se, start, fallback, Sjis("文字列の中に改行があります。\\nで代替してください。"));
      if (c == '\r' && p[1] == '\n') put(*p++);
    }
    put(*p++);
  }
  if (*p == '"') p++;
  *end = p;
  return kWordString;
}

// A back-quoted string from just after its opening quote: no escapes.
int ScanRawString(const char* p, std::string* text, const char** end) {
  while (*p && *p != '`') {
    if (IsScriptLeadByte(static_cast<unsigned char>(*p))) {
      *text += *p++;
      if (*p) *text += *p++;
      continue;
    }
    *text += *p++;
  }
  if (*p == '`') p++;
  *end = p;
  return kWordString;
}

// An operator: the first character, then at most one more from `pairs`
// (each a second character and the kind it makes), else `single`.
int ScanOperator(const char* p, std::string* text, const char** end, int single,
                 std::initializer_list<std::pair<char, int>> pairs) {
  *text += p[0];
  for (const auto& pair : pairs)
    if (p[1] == pair.first) {
      *text += p[1];
      *end = p + 2;
      return pair.second;
    }
  *end = p + 1;
  return single;
}

}  // namespace

const char* SkipBlanks(const char* text) {
  const char* p = text;
  for (;;) {
    char c = *p;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      p++;
    } else if (c == '/' && p[1] == '*') {
      const char* close = std::strstr(p + 2, "*/");
      p = close ? close + 2 : EndOf(p);
    } else if (c == '/' && p[1] == '/') {
      // Only CR LF ends a line comment: it runs on over a lone LF.
      const char* lineEnd = std::strstr(p + 2, "\r\n");
      p = lineEnd ? lineEnd : EndOf(p);
    } else {
      return p;
    }
  }
}

int ScanToken(ScriptEngine& se, const char* start, std::string* text, const char** end,
              const SourcePosition* fallback) {
  text->clear();
  const char* p = start;
  unsigned char c = static_cast<unsigned char>(*p);
  if (!c) {
    *end = p;
    return kWordEnd;
  }
  if (IsNameStart(c)) {
    while (IsNameChar(static_cast<unsigned char>(*p))) p++;
    text->assign(start, size_t(p - start));
    if (*p == ':') {
      *end = p + 1;  // the colon is taken but is not part of the text
      return kWordLabel;
    }
    *end = p;
    return kWordName;
  }
  if (c >= '1' && c <= '9') return ScanDecimal(se, p, text, end, fallback, false);
  if (c == '0') {
    if (p[1] == 'x' || p[1] == 'X') {
      p += 2;
      std::string digits;
      while (IsHexDigit(static_cast<unsigned char>(*p))) digits += *p++;
      char decimal[16];
      std::snprintf(decimal, sizeof decimal, "%d", digits.empty() ? 0 : ParseHexInt(digits.c_str()));
      text->assign(decimal);
      *end = p;
      return kWordInt;
    }
    // 0 and a point, 0 and digits (the leading zero kept), or a lone 0.
    return ScanDecimal(se, p, text, end, fallback, false);
  }
  if (c == '.') {
    if (IsDigit(static_cast<unsigned char>(p[1]))) {
      *text += *p++;
      return ScanDecimal(se, p, text, end, fallback, true);
    }
    *text += '.';
    *end = p + 1;
    return kWordMember;
  }
  if (c == '"') return ScanString(se, p + 1, text, end, fallback);
  if (c == '`') return ScanRawString(p + 1, text, end);
  if (c == '#') {
    *text += *p++;
    while (IsNameChar(static_cast<unsigned char>(*p))) *text += *p++;
    *end = p;
    return kWordDirective;
  }
  switch (c) {
    case '+': return ScanOperator(p, text, end, kWordAdd, {{'+', kWordIncrement}, {'=', kWordAddAssign}});
    case '-':
      return ScanOperator(p, text, end, kWordSubtract, {{'-', kWordDecrement}, {'=', kWordSubtractAssign}});
    case '*': return ScanOperator(p, text, end, kWordMultiply, {{'=', kWordMultiplyAssign}});
    case '/': return ScanOperator(p, text, end, kWordDivide, {{'=', kWordDivideAssign}});
    case '%': return ScanOperator(p, text, end, kWordModulo, {{'=', kWordModuloAssign}});
    case '=':
      return ScanOperator(p, text, end, kWordAssign,
                          {{'=', kWordEqual}, {'>', kWordGreaterEqual}, {'<', kWordLessEqual}});
    case '>':
      return ScanOperator(p, text, end, kWordGreater,
                          {{'=', kWordGreaterEqual}, {'<', kWordNotEqual}, {'>', kWordShiftRight}});
    case '<':
      return ScanOperator(p, text, end, kWordLess,
                          {{'=', kWordLessEqual}, {'>', kWordNotEqual}, {'<', kWordShiftLeft}});
    case '!': return ScanOperator(p, text, end, kWordNot, {{'=', kWordNotEqual}});
    case '^': return ScanOperator(p, text, end, kWordXor, {{'=', kWordXorAssign}});
    case '&': return ScanOperator(p, text, end, kWordBitAnd, {{'&', kWordLogicalAnd}, {'=', kWordBitAndAssign}});
    case '|': return ScanOperator(p, text, end, kWordBitOr, {{'|', kWordLogicalOr}, {'=', kWordBitOrAssign}});
    case '~': return ScanOperator(p, text, end, kWordBitNot, {});  // no "~=": 29 then 25
    case '(': return ScanOperator(p, text, end, kWordOpenParen, {});
    case ')': return ScanOperator(p, text, end, kWordCloseParen, {});
    case '[': return ScanOperator(p, text, end, kWordOpenBracket, {});
    case ']': return ScanOperator(p, text, end, kWordCloseBracket, {});
    case '{': return ScanOperator(p, text, end, kWordOpenBrace, {});
    case '}': return ScanOperator(p, text, end, kWordCloseBrace, {});
    case ';': return ScanOperator(p, text, end, kWordSemicolon, {});
    case ',': return ScanOperator(p, text, end, kWordComma, {});
    case ':': return ScanOperator(p, text, end, kWordColon, {});
    default: break;
  }
  // Anything else ends the reading of this text: the rest is not read.
  char message[256];
  std::snprintf(message, sizeof message, Sjis("解釈できない文字「%c」があります。処理を中断します。"), char(c));
  ReportAt(se, p, fallback, message);
  *end = EndOf(p);
  return kWordEnd;
}

int ReadToken(ScriptEngine& se, const char* text, char* buffer, int size, int* length,
              const char** next, const SourcePosition* fallback) {
  std::string token;
  const char* end = nullptr;
  int kind = ScanToken(se, SkipBlanks(text), &token, &end, fallback);
  if (buffer && size > 0) {
    size_t n = token.size() < size_t(size - 1) ? token.size() : size_t(size - 1);
    std::memcpy(buffer, token.data(), n);
    buffer[n] = '\0';
  }
  if (length) *length = int(token.size());
  if (next) *next = SkipBlanks(end);
  return kind;
}

int ReadTokenAlloc(ScriptEngine& se, const char* text, std::string* buffer, const char** next,
                   const SourcePosition* fallback) {
  const char* end = nullptr;
  int kind = ScanToken(se, SkipBlanks(text), buffer, &end, fallback);
  if (next) *next = SkipBlanks(end);
  return kind;
}

}  // namespace script
