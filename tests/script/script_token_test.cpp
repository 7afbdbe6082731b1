// script_token_test.cpp -- the tokeniser, the source table, the compile-error
// list and the string escape.

#include <cstring>

#include "script_test_util.h"

namespace {

using script::ScriptEngine;

// Every token of a text as "kind:text", read the way the preprocessor reads.
std::vector<std::string> ReadAll(ScriptEngine& se, const char* text) {
  std::vector<std::string> out;
  std::string token;
  const char* p = text;
  for (int guard = 0; guard < 1000; guard++) {
    const char* end;
    int kind = script::ScanToken(se, script::SkipBlanks(p), &token, &end, nullptr);
    if (kind == 0) break;
    out.push_back(std::to_string(kind) + ":" + token);
    p = end;
  }
  return out;
}

std::vector<std::string> Errors(const ScriptEngine& se) {
  std::vector<std::string> out;
  for (int i = 0; script::GetScriptErrorText(se, i); i++) out.push_back(script::GetScriptErrorText(se, i));
  return out;
}

using Tokens = std::vector<std::string>;

TEST(Tokeniser, ReadsEveryKindOfToken) {
  struct Case {
    const char* text;
    Tokens tokens;
  };
  const Case cases[] = {
      // Names and labels: a colon straight after a name makes a label.
      {"abc _x1 A9", {"8:abc", "8:_x1", "8:A9"}},
      {"name: other :", {"10:name", "8:other", "73::"}},
      // Numbers: hex becomes decimal text, a leading zero stays.
      {"0x1F 0X1f 0x 007 0 42", {"4:31", "4:31", "4:0", "4:007", "4:0", "4:42"}},
      {"0x7FFFFFFF 0x80000000 0xFFFFFFFFFF", {"4:2147483647", "4:2147483647", "4:2147483647"}},
      {"0x1g", {"4:1", "8:g"}},
      {"1.5 0.25 .5 007.5 3.", {"7:1.5", "7:0.25", "7:.5", "7:007.5", "7:3."}},
      {"12abc", {"4:12", "8:abc"}},
      // A point not before a digit is the member operator.
      {"a.b", {"8:a", "72:.", "8:b"}},
      // Every operator spelling.
      {"++ += + -- -= - *= * /= / %= %", {"60:++", "40:+=", "20:+", "61:--", "41:-=", "21:-", "42:*=", "22:*",
                                           "43:/=", "23:/", "44:%=", "24:%"}},
      {"== => =< =", {"45:==", "46:=>", "47:=<", "25:="}},
      {">= >< >> > <= <> << <", {"46:>=", "48:><", "34:>>", "26:>", "47:<=", "48:<>", "33:<<", "27:<"}},
      {"!= ! ^= ^ && &= & || |= |", {"48:!=", "28:!", "52:^=", "30:^", "62:&&", "49:&=", "31:&", "63:||",
                                     "50:|=", "32:|"}},
      {"~=", {"29:~", "25:="}},  // there is no ~=
      {"()[]{};,:", {"80:(", "81:)", "82:[", "83:]", "84:{", "85:}", "70:;", "71:,", "73::"}},
      {"#include #if_x #", {"12:#include", "12:#if_x", "12:#"}},
      // Strings: escapes resolved, quotes not part of the text.
      {"\"a\\tb\\n\\\"c\\\\\\q\"", {"9:a\tb\n\"c\\q"}},
      {"\"\\a\\b\\f\\r\\v\"", {"9:\a\b\f\r\v"}},
      {"\"ab\\0cd\" x", {"9:ab", "8:x"}},  // \0 ends the text, the string reads on
      {"`raw\\n\"`", {"9:raw\\n\""}},
      {"\"open", {"9:open"}},  // unterminated: to the end
      // A two-byte character whose second byte is a backslash or a back quote.
      {"\"\x83\x5C\" `\x83\x60`", {"9:\x83\x5C", "9:\x83\x60"}},
      // Comments.
      {"a /* x */ b", {"8:a", "8:b"}},
      {"a /* open", {"8:a"}},
      {"a // c\r\nb", {"8:a", "8:b"}},
      {"a // comment\nb", {"8:a"}},  // a lone LF does not end a line comment
      {"a / b", {"8:a", "23:/", "8:b"}},
  };
  for (const Case& c : cases) {
    ScriptEngine se;
    EXPECT_EQ(ReadAll(se, c.text), c.tokens) << c.text;
    EXPECT_TRUE(Errors(se).empty()) << c.text;
  }
}

TEST(Tokeniser, ReportsAndGoesOnAsItShould) {
  {
    // A second point ends the float and is dropped.
    ScriptEngine se;
    EXPECT_EQ(ReadAll(se, "1.2.3"), (Tokens{"7:1.2", "4:3"}));
    EXPECT_EQ(Errors(se), (Tokens{test::Sjis("二重の小数点があります。処理を中断します。")}));
  }
  {
    // A line break inside a string is reported once per break and kept.
    ScriptEngine se;
    EXPECT_EQ(ReadAll(se, "\"a\r\nb\nc\""), (Tokens{"9:a\r\nb\nc"}));
    std::string message = test::Sjis("文字列の中に改行があります。\\nで代替してください。");
    EXPECT_EQ(Errors(se), (Tokens{message, message}));
  }
  {
    // An illegal character ends the reading: the rest is not read.
    for (const char* text : {"a @ b", "a ' b", "a \\ b", "a \x83\x40 b", "a \x01 b"}) {
      ScriptEngine se;
      EXPECT_EQ(ReadAll(se, text), (Tokens{"8:a"})) << text;
      ASSERT_EQ(Errors(se).size(), 1u) << text;
      std::string expected = test::Sjis("解釈できない文字「") + text[2] + test::Sjis("」があります。処理を中断します。");
      EXPECT_EQ(Errors(se)[0], expected);
    }
  }
}

TEST(Tokeniser, LeadByteAtTheEndOfAStringStopsAtTheTextsEnd) {
  // The text ends right after a lead byte inside an open string. The buffer
  // is exactly as long as the text, so reading past its zero is caught.
  for (const char* source : {"\"ab\x83", "`ab\x83"}) {
    ScriptEngine se;
    std::vector<char> text(source, source + std::strlen(source) + 1);
    std::string token;
    const char* end = nullptr;
    EXPECT_EQ(script::ScanToken(se, text.data(), &token, &end, nullptr), 9);
    EXPECT_EQ(token, std::string(source + 1));
    EXPECT_EQ(end, text.data() + text.size() - 1);
  }
}

TEST(Tokeniser, ReadTokenCutsItsTextAndReadTokenAllocDoesNot) {
  ScriptEngine se;
  std::string name(300, 'n');
  std::string text = name + "  /* c */ next";
  char buffer[16];
  int length = 0;
  const char* next = nullptr;
  EXPECT_EQ(script::ReadToken(se, text.c_str(), buffer, sizeof buffer, &length, &next), 8);
  EXPECT_EQ(std::string(buffer), name.substr(0, 15));
  EXPECT_EQ(length, 300);
  EXPECT_STREQ(next, "next");  // blanks and comments after the token are skipped

  std::string whole;
  EXPECT_EQ(script::ReadTokenAlloc(se, text.c_str(), &whole, &next), 8);
  EXPECT_EQ(whole, name);
  EXPECT_EQ(script::ReadTokenAlloc(se, "  // only a comment", &whole, &next), 0);
  EXPECT_TRUE(Errors(se).empty());
}

TEST(Tokeniser, SkipBlanks) {
  const char* cases[][2] = {
      {" \t\r\n x", "x"},
      {"/* a */ /* b */x", "x"},
      {"// a\r\n  x", "x"},
      {"// a\nx", ""},  // on to the end: no CR LF
      {"/* open", ""},
      {"/x", "/x"},
      {"*/x", "*/x"},
  };
  for (auto& c : cases) EXPECT_STREQ(script::SkipBlanks(c[0]), c[1]) << c[0];
}

TEST(SourceTable, MapsPointersToLinesSplitOnlyAtCrLf) {
  ScriptEngine se;
  const char* text = "a\r\nb\nc\rd\r\ne";
  script::SourcePosition where{"file.txt", 0, 3, nullptr};
  size_t entry = 0;
  EXPECT_EQ(script::AddSourceText(se, text, where, &entry), 1);
  struct Case {
    size_t offset;
    int line;
  };
  // White space at the pointer is skipped first: the CR at offset 1 is
  // found where the next token is, on line 2.
  for (Case c : {Case{0, 1}, Case{1, 2}, Case{3, 2}, Case{5, 2}, Case{7, 2}, Case{10, 3}, Case{11, 3}}) {
    script::SourcePosition found{};
    found.linkIndex = 7;
    ASSERT_TRUE(script::FindSourcePosition(se, text + c.offset, &found)) << c.offset;
    EXPECT_EQ(found.line, c.line) << c.offset;
    EXPECT_STREQ(found.fileName, "file.txt");
    EXPECT_EQ(found.linkIndex, 7);  // left as the caller set it
  }
  // One name, one pointer: positions in the same file compare by identity.
  script::SourcePosition a{}, b{};
  script::FindSourcePosition(se, text, &a);
  script::AddSourceText(se, "x", where);
  script::FindSourcePosition(se, se.sources.entries.back().lineStarts[0], &b);
  EXPECT_EQ(a.fileName, b.fileName);
  EXPECT_EQ(a.fileName, script::InternFileName(se, "file.txt"));

  // Forgotten lines are no longer found; the entries stay.
  script::AddSourceText(se, nullptr, where);
  script::SourcePosition none{};
  EXPECT_FALSE(script::FindSourcePosition(se, text + 3, &none));
  EXPECT_EQ(se.sources.entries.size(), 2u);
  std::string other = "elsewhere";
  EXPECT_FALSE(script::FindSourcePosition(se, other.c_str(), &none));
}

TEST(ErrorList, KeepsTheFirst128) {
  ScriptEngine se;
  script::SourcePosition where{"f.txt", 4, 0, nullptr};
  for (int i = 0; i < 130; i++) {
    std::string message = "e" + std::to_string(i);
    int slot = script::AddCompileError(se, message.c_str(), i % 2 ? &where : nullptr);
    EXPECT_EQ(slot, i < 128 ? i : 128);
  }
  EXPECT_STREQ(script::GetScriptErrorText(se, 0), "e0");
  EXPECT_STREQ(script::GetScriptErrorText(se, 127), "e127");
  EXPECT_EQ(script::GetScriptErrorText(se, 128), nullptr);
  EXPECT_EQ(script::GetScriptErrorText(se, -1), nullptr);
  // Positions are copies: their file names do not depend on the caller's.
  EXPECT_STREQ(script::GetScriptErrorPosition(se, 1)->fileName, "f.txt");
  EXPECT_NE(script::GetScriptErrorPosition(se, 1)->fileName, where.fileName);
  EXPECT_EQ(script::GetScriptErrorPosition(se, 1)->line, 4);
  EXPECT_EQ(script::GetScriptErrorPosition(se, 0)->fileName, nullptr);
  EXPECT_EQ(script::GetScriptErrorPosition(se, 0)->line, 0);
  script::InitScriptErrors(se);
  EXPECT_EQ(script::GetScriptErrorText(se, 0), nullptr);
}

TEST(EscapeString, WritesEscapesAndReadsBackThroughTheTokeniser) {
  const std::string text = "tab\t lf\n vt\v cr\r dq\" sq' bs\\ \x83\x5C \x83\x60 end";
  std::string escaped = script::EscapeStringAlloc(text.c_str());
  EXPECT_EQ(escaped, "tab\\t lf\\n vt\\v cr\\r dq\\\" sq\\' bs\\\\ \x83\x5C \x83\x60 end");
  ScriptEngine se;
  std::string quoted = "\"" + escaped + "\"";
  EXPECT_EQ(ReadAll(se, quoted.c_str()), (Tokens{"9:" + text}));

  // A lead byte as the very last byte: copied alone, and the copy ends with
  // the text (the buffer is exact, so a read past its zero is caught).
  const char source[] = "ab\x83";
  std::vector<char> exact(source, source + sizeof source);
  EXPECT_EQ(script::EscapeStringAlloc(exact.data()), "ab\x83");
  EXPECT_EQ(script::EscapeStringAlloc(nullptr), "");
}

}  // namespace
