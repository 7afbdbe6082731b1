// script_preproc_test.cpp -- the preprocessor: conditionals and their
// expressions, macros, includes and links, script paths, and the limits
// that stop runaway macros and includes.

#include "script_test_util.h"

namespace {

using scripttest::ScriptFixture;
using Tokens = std::vector<std::string>;

class Preprocessor : public ScriptFixture {};

// ----------------------------------------------------------------------------
// Conditionals and "#if" expressions
// ----------------------------------------------------------------------------

TEST_F(Preprocessor, IfExpressionsChooseTheirBranch) {
  std::string errors = Load("main.txt",
                            // ! takes the whole conjunction: !(0 && 0).
                            "#if !0 && 0\r\nnot_binds_all\r\n#else\r\nwrong\r\n#endif\r\n"
                            // A float is truncated before && tests it.
                            "#if 0.5 && 1\r\nwrong\r\n#endif\r\n"
                            // -2*3 is -(2*3); / and % of ints truncate.
                            "#if -2 * 3 + 7 == 1 && 7 / 2 == 3 && 7 % 4 == 3 && 7.0 / 2 == 3.5\r\narith\r\n#endif\r\n"
                            "#if 7.5 % 2 == 1.5 && 1 - 2 - 3 == -4 && (~0) == -1 && ((1 | 6) ^ 3) == 4 && (~7.9) == -8\r\nmore\r\n#endif\r\n"
                            // Number spellings and every spelling of the comparisons.
                            "#if 0x10 == 16 && 007 == 7 && 0x == 0 && 1.5 => 1.5 && 2 =< 2 && 1 <> 2 && 1 >< 2\r\n"
                            "numbers\r\n#endif\r\n"
                            // Strings compare by bytes and join with numbers.
                            "#if \"abc\" < \"abd\" && \"\x83\x41\" > \"z\" && \"x\" + 1 == \"x1\" && 2.5 + \"y\" == \"2.500000y\"\r\n"
                            "strings\r\n#endif\r\n"
                            "#if \"\"\r\nwrong\r\n#elif \"s\"\r\nnonempty\r\n#endif\r\n"
                            // The one quotient that does not fit wraps.
                            "#if (-2147483647 - 1) / -1 == -2147483647 - 1 && (-2147483647 - 1) % -1 == 0\r\n"
                            "wrapped\r\n#endif\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"8:not_binds_all", "8:arith", "8:more", "8:numbers", "8:strings", "8:nonempty",
                              "8:wrapped"}));
}

TEST_F(Preprocessor, FaultyIfExpressionsReportAndCountAsZero) {
  struct Case {
    const char* expression;
    const char* message;
  };
  const Case cases[] = {
      {"0 +", "演算子の次に値がありません。"},  // 0 + (missing, so 0)
      {"", "演算子の次に値がありません。"},
      {"FOO", "#ifの式に不正な字句[FOO]があります。"},
      {"1 2", "#ifの式に不正な演算子[2]があります。"},
      {"1 = 1", "式に不正な演算子[=]があります。"},
      {"1 << 2", "式に不正な演算子[<<]があります。"},
      {"1 / 0", "ゼロによる除算。"},
      {"1.0 % 0", "ゼロによる除算。"},
      {"\"a\" * 2", "数値以外では*演算子は使用できません。"},
      {"\"a\" % 2", "数値以外では%演算子は使用できません。"},
      {"\"a\" - 2", "数値以外では-演算子は使用できません。"},
      {"\"a\" >= 1", "数値と文字列以外では=>演算子は使用できません。"},
      {"1 == \"a\"", "数値と文字列以外では==演算子は使用できません。"},
      {"\"a\" & 1", "数値以外では&演算子は使用できません。"},
      {"\"a\" || 1", "数値以外では||演算子は使用できません。"},
      {"-\"a\"", "数値以外では-演算子は使用できません。"},
      {"~\"a\"", "数値以外では~演算子は使用できません。"},
      {"(0", "式の次に「)」が足りません。"},
  };
  for (const Case& c : cases) {
    std::string errors = Load("main.txt", std::string("#if ") + c.expression + "\r\nwrong\r\n#endif\r\n");
    EXPECT_EQ(errors, Line("main.txt", 1, c.message)) << c.expression;
    EXPECT_TRUE(TokenList().empty()) << c.expression;
  }
  // Runaway nesting of an expression is an error, not a crash.
  std::string deep = "#if " + std::string(100000, '(') + "1\r\n#endif\r\n";
  EXPECT_EQ(Load("main.txt", deep), Line("main.txt", 1, "#ifの式が複雑すぎます。"));
}

TEST_F(Preprocessor, NestedConditionalsInsideSkippedBranchesAreSkippedWhole) {
  test::WriteFile("a", "present");
  std::string errors = Load("main.txt",
                            "#if 0\r\n"
                            "#if 1\r\nA\r\n#else\r\nB\r\n#endif\r\n"
                            "#ifdef X\r\n#else\r\n#endif\r\n#ifndef X\r\n#elif 1\r\n#endif\r\n"
                            "#ifexist \"a\"\r\n#endif\r\n#ifnexist \"a\"\r\n#endif\r\n"
                            "skipped\r\n"
                            "#elif 1\r\ntaken\r\n"
                            "#elif 1\r\nonly_first\r\n"
                            "#else\r\nnot_this\r\n"
                            "#endif\r\n"
                            "end\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"8:taken", "8:end"}));
}

TEST_F(Preprocessor, ElifConditionsAreEvaluatedAfterATakenBranch) {
  std::string errors = Load("main.txt", "#if 1\r\na\r\n#elif 1 / 0\r\nb\r\n#endif\r\n");
  EXPECT_EQ(errors, Line("main.txt", 3, "ゼロによる除算。"));
  EXPECT_EQ(TokenList(), (Tokens{"8:a"}));
}

TEST_F(Preprocessor, FileTestsFindFilesWithoutRegardToCase) {
  test::WriteFile("data/present.txt", "x");
  std::string errors = Load("main.txt",
                            "#ifexist \"data/present.txt\"\r\nyes1\r\n#endif\r\n"
                            "#ifnexist \"data\\\\absent.txt\"\r\nyes2\r\n#endif\r\n"
                            "#ifexist \"DATA/PRESENT.TXT\"\r\nyes3\r\n#endif\r\n"
                            "#ifexist \"data\"\r\nfolder_is_no_file\r\n#endif\r\n"
                            "#if 0\r\n#elifexist \"data/absent.txt\"\r\nno1\r\n"
                            "#elifnexist \"data/present.txt\"\r\nno2\r\n#else\r\nyes4\r\n#endif\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"8:yes1", "8:yes2", "8:yes3", "8:yes4"}));
}

TEST_F(Preprocessor, StrayAndUnknownDirectives) {
  std::string errors = Load("main.txt",
                            "#else\r\n#endif\r\n#elif 1\r\n#elifdef X\r\n#elifndef X\r\n"
                            "#elifexist x\r\n#elifnexist x\r\n#bogus\r\nafter\r\n");
  EXPECT_EQ(errors, Line("main.txt", 1, "#ifのない#elseです。") + Line("main.txt", 2, "#ifのない#endifです。") +
                        Line("main.txt", 3, "#ifのない#elifです。") + Line("main.txt", 4, "#ifのない#elifdefです。") +
                        Line("main.txt", 5, "#ifのない#elifndefです。") +
                        Line("main.txt", 6, "#ifのない#elifexistです。") +
                        Line("main.txt", 7, "#ifのない#elifnexistです。") +
                        Line("main.txt", 8, "不正なプリプロセッサ[#bogus]があります。"));
  // Only the directive word is skipped; the rest of its line is read.
  EXPECT_EQ(TokenList(), (Tokens{"4:1", "8:X", "8:X", "8:x", "8:x", "8:after"}));
}

TEST_F(Preprocessor, MissingEndifAndElseWithoutEndif) {
  EXPECT_EQ(Load("main.txt", "#if 1\r\na\r\n"),
            Line("main.txt", 3, "#endifが足りません。") + Line("main.txt", 3, "#endifのない#ifです。"));
  EXPECT_EQ(Load("main.txt", "#if 0\r\na\r\n"), Line("main.txt", 3, "#endifのない#ifです。"));
  EXPECT_EQ(Load("main.txt", "#if 1\r\na\r\n#else\r\nb\r\n#else\r\nc\r\n#endif\r\n"),
            Line("main.txt", 5, "#endifのない#elseです。") + Line("main.txt", 7, "#ifのない#endifです。"));
  EXPECT_EQ(TokenList(), (Tokens{"8:a", "8:c"}));
}

TEST_F(Preprocessor, DeepConditionalNestingStopsWithAnError) {
  std::string text;
  for (int i = 0; i < 2000; i++) text += "#if 1\r\n";
  text += "deep\r\n";
  for (int i = 0; i < 2000; i++) text += "#endif\r\n";
  // The 512th condition cannot be read (the file and 511 branches are
  // open), so it counts as false and its branch is skipped whole.
  EXPECT_EQ(Load("main.txt", text),
            Line("main.txt", 512, "プリプロセッサの入れ子が深すぎるため、読み込みを中断します。") +
                Line("main.txt", 512, "演算子の次に値がありません。"));
  EXPECT_TRUE(TokenList().empty());
}

// ----------------------------------------------------------------------------
// Macros
// ----------------------------------------------------------------------------

TEST_F(Preprocessor, DuplicateDefineKeepsTheFirstAndUndefUncoversTheNext) {
  std::string errors = Load("main.txt",
                            "#define A 1\r\n#define A 2\r\nA\r\n"
                            "#undef A\r\nA\r\n"
                            "#undef A\r\n#ifdef A\r\nstill\r\n#endif\r\nA\r\n"
                            "#undef NEVER\r\n");
  EXPECT_EQ(errors, Line("main.txt", 2, "[A]は多重定義されています。"));
  EXPECT_EQ(TokenList(), (Tokens{"4:1", "4:2", "8:A"}));
}

TEST_F(Preprocessor, DefineTextIsTheRestOfTheLineWithMacrosReplaced) {
  std::string errors = Load("main.txt",
                            "#define ONE 1\r\n"
                            "#define TWO ONE + ONE // a comment\r\n"
                            "#define EMPTY\r\n"
                            "#define TAB \"tab\\there\"\r\n"
                            "\r\n"
                            "x = TWO EMPTY; TAB\r\n"
                            "#define 3 x\r\n"
                            "#undef \"s\"\r\n");
  EXPECT_EQ(errors, Line("main.txt", 7, "[3]はdefineの定義文字列にはなりません。") +
                        Line("main.txt", 8, "[s]はundefの定義文字列にはなりません。"));
  EXPECT_EQ(TokenList(), (Tokens{"8:x", "25:=", "4:1", "20:+", "4:1", "70:;", "9:tab\there"}));
  // Tokens of a macro stand where the macro was used.
  EXPECT_EQ(TokenLines(), (std::vector<int>{6, 6, 6, 6, 6, 6, 6}));
}

TEST_F(Preprocessor, LabelsKeepTheirColonThroughMacros) {
  std::string errors = Load("main.txt",
                            "#define OBJ {a:1, b : 2}\r\nOBJ\r\n"
                            "#define KEY name\r\n{KEY: 3}\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"84:{", "10:a", "4:1", "71:,", "8:b", "73::", "4:2", "85:}",  //
                              "84:{", "8:name", "73::", "4:3", "85:}"}));
}

TEST_F(Preprocessor, SelfReferencingMacrosStopWithAnError) {
  std::string errors = Load("main.txt",
                            "#define A A\r\nA\r\nafter\r\n"
                            "#if A\r\n#endif\r\n"
                            "#define B 1 + C\r\n#define C B\r\nC\r\n");
  EXPECT_EQ(errors, Line("main.txt", 2, "[A]のdefineが自分自身を参照しています。") +
                        Line("main.txt", 4, "[A]のdefineが自分自身を参照しています。") +
                        Line("main.txt", 4, "演算子の次に値がありません。") +
                        Line("main.txt", 8, "[C]のdefineが自分自身を参照しています。"));
  // C's text was made when B's text held C: "1 + C".
  EXPECT_EQ(TokenList(), (Tokens{"8:after", "4:1", "20:+"}));
}

// ----------------------------------------------------------------------------
// Includes and links
// ----------------------------------------------------------------------------

TEST_F(Preprocessor, IncludesAreFoundBesideTheIncludingFile) {
  test::WriteFile("sub/one.inc", "one\r\n#include \"two.inc\"\r\n");
  test::WriteFile("sub/two.inc", "\r\ntwo\r\n");
  std::string errors = Load("main.txt", "#include \"SUB/One.inc\"\r\nmain_after\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"8:one", "8:two", "8:main_after"}));
  EXPECT_EQ(TokenLines(), (std::vector<int>{1, 2, 2}));
  script::CScriptLiteral* one = se.tokenHead;
  script::CScriptLiteral* two = one->next;
  EXPECT_STREQ(one->position.fileName, Path("SUB/One.inc").c_str());
  EXPECT_STREQ(two->position.fileName, Path("SUB/two.inc").c_str());
  EXPECT_STREQ(two->next->position.fileName, Path("main.txt").c_str());
  EXPECT_EQ(se.currentFolder, folder);  // restored after the includes
}

TEST_F(Preprocessor, MissingIncludeGivesTwoLinesAndReadingGoesOn) {
  std::string errors = Load("main.txt", "first\r\n#include \"nothere.inc\"\r\nafter\r\n");
  std::string missing = Path("nothere.inc");
  EXPECT_EQ(errors, Line("nothere.inc", 0, "スクリプトファイル[" + missing + "]が読み込めません。") +
                        Line("main.txt", 2, "インクルードファイル[" + missing + "]が読み込めません。"));
  EXPECT_EQ(TokenList(), (Tokens{"8:first", "8:after"}));
}

TEST_F(Preprocessor, IncludeCyclesStopWithAnError) {
  test::WriteFile("self.inc", "#include \"self.inc\"\r\nx\r\n");
  std::string errors = Load("main.txt", "#include \"self.inc\"\r\n");
  EXPECT_EQ(errors, Line("self.inc", 1, "インクルードの入れ子が32段を超えるため、[" + Path("self.inc") +
                                            "]を読み込みません。"));
  EXPECT_EQ(TokenList(), Tokens(32, "8:x"));

  // A guarded include of itself reads once, and the lines after the inner
  // include are still known.
  test::WriteFile("guard.inc", "#ifndef G\r\n#define G\r\n#include \"guard.inc\"\r\ng\r\n#endif\r\n");
  errors = Load("main.txt", "#include \"guard.inc\"\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"8:g"}));
  EXPECT_EQ(TokenLines(), (std::vector<int>{4}));
}

TEST_F(Preprocessor, DefinesDoNotCrossALink) {
  test::WriteFile("second.txt", "#ifdef X\r\ndefined_in_second\r\n#endif\r\nX\r\n#link \"MAIN.txt\"\r\n");
  std::string errors = Load("main.txt", "#define X 1\r\n#link \"second.txt\"\r\n#link \"second.txt\"\r\nX\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(TokenList(), (Tokens{"4:1", "8:X"}));
  // Each file once, however often it is linked (names compared without case).
  ASSERT_EQ(se.links.entries.size(), 2u);
  EXPECT_EQ(se.links.entries[1].path, Path("second.txt"));
  EXPECT_EQ(se.tokenHead->position.linkIndex, 0);
  EXPECT_EQ(se.tokenTail->position.linkIndex, 1);
}

TEST_F(Preprocessor, TextsCanBeLoadedFromMemory) {
  test::WriteFile("sub/x.inc", "int from_include;\r\n");
  const char* text = "#include \"x.inc\"\r\nint bad; @\r\n";
  EXPECT_EQ(se.LoadScriptMemory(text, "sub/mem.txt"), 0);
  EXPECT_EQ(se.GetErrorListText(), Line("sub/mem.txt", 2, "解釈できない文字「@」があります。処理を中断します。"));
  // The compile gives the tokens back: the front end alone, as the load
  // runs it, shows them.
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  se.AddLinkedScript(text, "sub/mem.txt");
  const script::LinkEntry& entry = se.links.entries[0];
  script::SourcePosition position{script::InternFileName(se, entry.path), 0, 0, entry.text.c_str()};
  script::TokeniseMemoryText(se, entry.text.c_str(), position);
  EXPECT_EQ(TokenList(), (Tokens{"8:int", "8:from_include", "70:;", "8:int", "8:bad", "70:;"}));
  // Words of a memory text carry the text as their tag; included files none.
  EXPECT_EQ(se.tokenHead->position.sourceTag, nullptr);
  EXPECT_EQ(se.tokenTail->position.sourceTag, se.links.entries[0].text.c_str());
}

// ----------------------------------------------------------------------------
// Paths
// ----------------------------------------------------------------------------

TEST_F(Preprocessor, ResolveScriptPath) {
  struct Case {
    std::string path;
    std::string base;
    std::string resolved;
  };
  const std::string base = folder + "/base";
  const Case cases[] = {
      {"a.inc", base, base + "/a.inc"},
      {"sub\\a.inc", base + "/", base + "/sub/a.inc"},
      {"../a.inc", base + "/x", base + "/a.inc"},
      {"./a/./b/../c.inc", base, base + "/a/c.inc"},
      {"..x/y", base, base + "/..x/y"},
      {"/zadazorad/script/system.inc", "/elsewhere", folder + "/zadazorad/script/system.inc"},
      {"\\x\\..\\y.inc", "/elsewhere", folder + "/y.inc"},
      {folder + "/already/there.inc", "/elsewhere", folder + "/already/there.inc"},
      {"C:\\Games\\a.inc", "/elsewhere", "C:/Games/a.inc"},
      {"a.inc", "", folder + "/a.inc"},
      // The second byte of a two-byte character is no separator.
      {"\x83\x5C\\a.inc", base, base + "/\x83\x5C/a.inc"},
  };
  for (const Case& c : cases) {
    std::string resolved = script::ResolveScriptPath(c.path, c.base);
    EXPECT_EQ(resolved, c.resolved) << c.path;
    // A resolved path stays as it is.
    EXPECT_EQ(script::ResolveScriptPath(resolved, "/other"), resolved) << c.path;
  }
  // ".." never goes past the start; "/" outside the working folder is taken
  // as relative to it.
  EXPECT_EQ(script::ResolveScriptPath("../../../../../../../../../../../../a", "/b"), "/a");
  EXPECT_EQ(script::ResolveScriptPath("/b/c", "/x"), folder + "/b/c");
  EXPECT_EQ(script::FolderOfPath("/a/b/c.inc"), "/a/b");
  EXPECT_EQ(script::FolderOfPath("a\\b.inc"), "a");
  EXPECT_EQ(script::FolderOfPath("\x83\x5C.inc"), "");
  EXPECT_EQ(script::FolderOfPath("name"), "");
}

}  // namespace
