// script_host_test.cpp -- loading scripts as the host does and the files it
// writes: "CompileError.txt" byte for byte, the listing and the value file;
// the bounded escape of "#include" paths.

#include <cstring>

#include "core/core_public.h"
#include "script_test_util.h"
#include "ui/ui_public.h"

namespace {

using scripttest::ScriptFixture;
using Tokens = std::vector<std::string>;

class Host : public ScriptFixture {};

TEST_F(Host, IllegalCharacterStopsTheFile) {
  std::string errors = Load("main.txt", "int a;\r\nb @ c;\r\nd;\r\n");
  EXPECT_EQ(errors, Line("main.txt", 2, "解釈できない文字「@」があります。処理を中断します。"));
  EXPECT_EQ(TokenList(), (Tokens{"8:int", "8:a", "70:;", "8:b"}));
}

TEST_F(Host, LinesEndOnlyAtCrLf) {
  // A file with LF line ends is one line.
  EXPECT_EQ(Load("main.txt", "a;\nb;\nc @;\n"), Line("main.txt", 1, "解釈できない文字「@」があります。処理を中断します。"));
  EXPECT_EQ(Load("main.txt", "a;\r\nb;\rc;\r\n$\r\n"), Line("main.txt", 3, "解釈できない文字「$」があります。処理を中断します。"));
}

// A file with a LF that no CR precedes compiles as it reads (as fewer
// lines), but the log and the warning sink name it, once a file.
TEST_F(Host, LineFeedsWithoutCarriageReturnAreWarnedOfOncePerFile) {
  core::LogSystem log("system.log", 0);
  se.log = &log;
  std::vector<std::string> shown;
  se.warnings.user = &shown;
  se.warnings.show = [](void* user, const char* text) { static_cast<std::vector<std::string>*>(user)->push_back(text); };
  test::WriteFile("lf.inc", "int a;\nint b;\n");
  test::WriteFile("crlf.inc", "int c;\r\nint d;\r\n");
  test::WriteFile("cr.inc", "int e;\rint f;\r\n");
  std::string errors = Compile("main.txt",
                               "#include \"lf.inc\"\r\n#include \"crlf.inc\"\r\n#include \"cr.inc\"\r\n"
                               "#include \"lf.inc\"\r\n");
  EXPECT_EQ(errors, "");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("[" + Path("lf.inc") + "]"), std::string::npos) << shown[0];
  EXPECT_NE(shown[0].find("only CR LF ends a line"), std::string::npos) << shown[0];
  se.log = nullptr;
  log.CloseLog();
  std::string logged = test::ReadFile("system.log");
  EXPECT_NE(logged.find(shown[0]), std::string::npos) << logged;
  // A clear forgets the files warned of: the next load warns again.
  Compile("main.txt", "#include \"lf.inc\"\r\n");
  EXPECT_EQ(shown.size(), 2u);
  // The main file itself is checked the same way.
  Compile("main.txt", "int x;\nint y;\n");
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_NE(shown[2].find("[" + Path("main.txt") + "]"), std::string::npos);
}

TEST_F(Host, StringsWithEscapesAndRawLineBreaks) {
  std::string errors = Load("main.txt",
                            "s = \"tab\\t\\\"q\\\" \\\\ \\x\";\r\n"
                            "t = \"one\r\ntwo\";\r\n"
                            "u = `raw\r\nok`;\r\n"
                            "v = 1.2.3;\r\n");
  EXPECT_EQ(errors, Line("main.txt", 2, "文字列の中に改行があります。\\nで代替してください。") +
                        Line("main.txt", 6, "二重の小数点があります。処理を中断します。"));
  EXPECT_EQ(TokenList(), (Tokens{"8:s", "25:=", "9:tab\t\"q\" \\ x", "70:;",  //
                              "8:t", "25:=", "9:one\r\ntwo", "70:;",         //
                              "8:u", "25:=", "9:raw\r\nok", "70:;",          //
                              "8:v", "25:=", "7:1.200000", "4:3", "70:;"}));
}

TEST_F(Host, TheErrorListKeeps128Lines) {
  std::string text;
  for (int i = 0; i < 200; i++) text += "#bad\r\n";
  std::string expected;
  for (int line = 1; line <= 128; line++) expected += Line("main.txt", line, "不正なプリプロセッサ[#bad]があります。");
  EXPECT_EQ(Load("main.txt", text), expected);
  EXPECT_EQ(se.WriteCompileResults(), int(expected.size()));
}

TEST_F(Host, AFailedCompileWritesTheListingAndTheValues) {
  std::string errors = Compile("main.txt", "// start\r\nint count = 3;\r\nfunction main() { x = ; }\r\n");
  EXPECT_EQ(errors, Line("main.txt", 3, "式の中に不正な字句「;」があります。"));
  EXPECT_EQ(se.WriteCompileResults(), int(errors.size()));
  // After errors the listing and the value file are written too.
  std::string listing = test::ReadFile("CompiledCode.txt");
  EXPECT_EQ(listing.substr(0, 2 + Path("main.txt").size() + 8), "\r\n" + Path("main.txt") + "[Start] ");
  EXPECT_NE(listing.find("(main.0.x) "), std::string::npos);
  EXPECT_EQ(test::ReadFile("CompiledValue.txt"),
            std::string("{\r\n\t0.count:3,\r\n\tmain:main\r\n}") + std::string("\0\0", 2));
}

TEST_F(Host, NoErrorsLeaveAnEmptyFileAndNoListing) {
  EXPECT_EQ(se.WriteCompileResults(), 0);
  EXPECT_TRUE(platform::PathExists("CompileError.txt"));
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_FALSE(platform::PathExists("CompiledCode.txt"));
  EXPECT_FALSE(platform::PathExists("CompiledValue.txt"));
}

TEST_F(Host, AMissingStartFileIsALinkageError) {
  std::string path = Path("none.txt");
  EXPECT_EQ(Compile("none.txt"), Line("none.txt", 0, "スクリプトファイル[" + path + "]が読み込めません。") +
                                  test::Sjis("リンケージエラー：スクリプトファイル[" + path + "]が開けません。\n\r\n"));
}

TEST_F(Host, LoadingTheSameFileTwiceLinksItOnce) {
  test::WriteFile("main.txt", "a\r\n");
  EXPECT_EQ(se.LoadScript("main.txt"), 0);
  EXPECT_EQ(se.LoadScript("MAIN.TXT"), 0);
  EXPECT_EQ(se.links.entries.size(), 1u);
  EXPECT_STREQ(se.AddLinkedFileDefault(Path("main.txt").c_str()), Path("main.txt").c_str());
  EXPECT_EQ(se.links.entries.size(), 1u);
  // Memory texts are always added.
  se.AddLinkedScript("x", "main.txt");
  EXPECT_EQ(se.links.entries.size(), 2u);
}

TEST_F(Host, LoadWritesItsLogLines) {
  {
    core::LogSystem log("system.log", core::kLogInfo);
    se.log = &log;
    test::WriteFile("main.txt", "a\r\n");
    se.LoadScript("main.txt");
    se.log = nullptr;
  }
  std::string text = test::ReadFile("system.log");
  for (const char* line : {"スクリプト読み込み開始@LoadScript", "スクリプトコンパイル開始@LoadScript", "処理終了@LoadScript"})
    EXPECT_NE(text.find(test::Sjis(line) + "\r\n"), std::string::npos) << line;
}

TEST_F(Host, FrameTexts) {
  script::SourcePosition plain{"a.txt", 12, 0, nullptr};
  EXPECT_EQ(se.FormatCallFrame(&plain), test::Sjis("a.txt(12行目)-"));
  EXPECT_EQ(se.FormatCallFrame(nullptr), "[Called as a thread.]-");
  script::SourcePosition nameless{nullptr, 5, 0, nullptr};
  EXPECT_EQ(se.FormatCallFrame(&nameless), "");

  // A path point's generated event script is named by the point's label,
  // two lines earlier (never below 0).
  const char* script = "generated";
  se.pathPoints.find = [](void* user, const char* text, std::string* label) {
    if (text != static_cast<const char*>(user)) return false;
    *label = "gate";
    return true;
  };
  se.pathPoints.user = const_cast<char*>(script);
  script::SourcePosition tagged{"a.txt", 7, 0, script};
  EXPECT_EQ(se.FormatCallFrame(&tagged), test::Sjis("gate(5行目)-"));
  tagged.line = 1;
  EXPECT_EQ(se.FormatCallFrame(&tagged), test::Sjis("gate(0行目)-"));
  script::SourcePosition otherTag{"b.txt", 3, 0, "other"};
  EXPECT_EQ(se.FormatCallFrame(&otherTag), test::Sjis("b.txt(3行目)-"));

  // The error list: frame, message, CR LF; an error without position has no frame.
  script::AddCompileError(se, "first", &plain);
  script::AddCompileError(se, "second", nullptr);
  EXPECT_EQ(se.GetErrorListText(), test::Sjis("a.txt(12行目)-first\r\nsecond\r\n"));
}

TEST_F(Host, ListingOfTheCodeList) {
  // A code list made by hand, as the compiler will make it.
  const char* fileA = script::InternFileName(se, "A.txt");
  const char* fileB = script::InternFileName(se, "B.txt");
  struct Word {
    const char* file;
    int line;
    int kind;
    const char* text;
  };
  const Word words[] = {
      {fileA, 1, script::kWordStart, "[Start]"}, {fileA, 1, script::kWordInt, "42"},
      {fileA, 2, script::kWordName, "x"},        {fileA, 2, script::kWordFloat, "0.5"},
      {fileB, 2, script::kWordString, "q\"\t"},  {fileB, 2, script::kWordLabel, "*L0001"},
      {fileB, 3, script::kWordAssign, "="},      {fileB, 3, script::kWordEnd, ""},
      {fileB, 4, script::kWordName, "unlisted"},
  };
  script::CScriptLiteral* tail = nullptr;
  for (const Word& w : words) {
    script::CScriptLiteral* word = se.pools.AllocScriptLiteral();
    script::SetValueFromText(se.pools, word, w.text, w.kind);
    word->position = {w.file, w.line, 0, nullptr};
    if (tail) tail->next = word;
    else se.codeHead = word;
    tail = word;
  }
  EXPECT_EQ(script::WriteCompiledCodeListing(se),
            test::Sjis("\r\nA.txt[Start] 42 \r\n0002|(x) 0.500000 \r\nB.txt\"q\\\"\\t\" *L0001: \r\n0003|= "
                       "\r\n合計 7 Words"));
}

TEST_F(Host, ClearingEmptiesTheEngine) {
  test::WriteFile("main.txt", "#define X 1\r\na b c @\r\n");
  se.LoadScript("main.txt");
  ASSERT_NE(se.codeHead, nullptr);
  ASSERT_GT(se.pools.literals.Count(), 0u);
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  EXPECT_EQ(se.tokenHead, nullptr);
  EXPECT_EQ(se.pools.literals.Count(), 0u);
  EXPECT_EQ(se.errors.count, 0);
  EXPECT_TRUE(se.links.entries.empty());
  EXPECT_TRUE(se.sources.entries.empty());
  EXPECT_TRUE(se.defines.slots.empty());
  EXPECT_EQ(se.GetErrorListText(), "");
  EXPECT_EQ(se.currentFolder, folder);
  EXPECT_EQ(se.registry.Capacity(), 256);
}

TEST_F(Host, RunningOutOfWordsFailsTheLoadOnce) {
  test::MessageBoxRecorder boxes;
  se.pools.literals.capacityLimit = script::ScriptPools::kFirstLiteralCapacity;
  std::string text;
  for (int i = 0; i < 20000; i++) text += "a b c d e f g h i j k l m n\r\n";  // 280,000 tokens
  std::string errors = Load("main.txt", text);
  std::string message = "割り当て可能なCScriptLiteralインスタンスがなくなりました。";
  int line = int(script::ScriptPools::kFirstLiteralCapacity / 14) + 1;
  EXPECT_EQ(errors, Line("main.txt", line, message));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis(message));
}

// ----------------------------------------------------------------------------
// The bounded escape of "#include" paths
// ----------------------------------------------------------------------------

TEST(EscapeStringBounded, EscapesAndBounds) {
  const std::string table = test::Sjis("表");  // second byte 0x5C, a backslash
  struct Case {
    std::string text;
    int size;
    std::string escaped;
  };
  const Case cases[] = {
      {"tkw4.dat", 260, "tkw4.dat"},
      {"a\"b'c\\d", 260, "a\\\"b\\'c\\\\d"},
      // Control characters 7 to 13 get a backslash and stay as they are.
      {"\x06\a\b\t\n\v\f\r\x0e", 260, "\x06\\\a\\\b\\\t\\\n\\\v\\\f\\\r\x0e"},
      // A two-byte character is copied whole, its second byte unescaped;
      // a lead byte at the very end is copied alone.
      {"x" + table + "\\", 260, "x" + table + "\\\\"},
      {"x\x95", 260, "x\x95"},
      // Bounded: the copy and its terminator fit; nothing is split.
      {"abcdef", 4, "abc"},
      {"ab\"c", 4, "ab"},
      {"ab" + table, 4, "ab"},
      {"a" + table, 4, "a" + table},
      {"ab", 2, "a"},
      {"ab", 1, ""},
  };
  for (const Case& c : cases) {
    char buffer[300];
    std::memset(buffer, 'Z', sizeof buffer);
    int length = script::EscapeStringBounded(buffer, c.text.c_str(), c.size);
    EXPECT_EQ(std::string(buffer), c.escaped) << c.text << " " << c.size;
    EXPECT_EQ(length, int(c.escaped.size()));
    EXPECT_EQ(buffer[c.size], 'Z');  // nothing written past the size
  }
  char untouched = 'Z';
  EXPECT_EQ(script::EscapeStringBounded(&untouched, "abc", 0), 0);
  EXPECT_EQ(untouched, 'Z');
  char empty[4] = "xyz";
  EXPECT_EQ(script::EscapeStringBounded(empty, nullptr, 4), 0);
  EXPECT_STREQ(empty, "");
}

TEST_F(Host, AnEscapedPathReadsTheDataFileItNames) {
  // A file name with quotes and a character whose second byte is "\".
  std::string name = test::Sjis("it's \"表\".txt");
  test::WriteFile(name, "{A:1}");
  char escaped[260];
  script::EscapeStringBounded(escaped, name.c_str(), sizeof escaped);
  std::string loader = std::string("extern object __data__=\r\n#include\"") + escaped + "\"\r\n;\r\n";
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  ASSERT_EQ(se.LoadScriptMemory(loader.c_str(), "loader.txt"), 1) << se.GetErrorListText();
  script::CScriptValue* data = se.FindGlobal("__data__");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(script::GetMemberInt(data->data.array, "A"), 1);
}

// The value files: the globals in the indented form and two zero bytes;
// only the zeros before anything made a global namespace.
TEST_F(Host, TheValueFileEndsInTwoZeroBytes) {
  se.WriteVariableTableFile("RuntimeValue.txt");
  EXPECT_EQ(test::ReadFile("RuntimeValue.txt"), std::string("\0\0", 2));
  ASSERT_EQ(Compile("main.txt", "int a = 1;\r\nstring s = \"x\";\r\n"), "");
  se.WriteVariableTableFile("RuntimeValue.txt");
  EXPECT_EQ(test::ReadFile("RuntimeValue.txt"), std::string("{\r\n\t0.a:1,\r\n\t0.s:\"x\"\r\n}\0\0", 25));
}

// The run-time error goes to "RuntimeError.txt" as the call-list text and
// to a window over the whole 2D layer with the hint of the mode.
TEST_F(Host, TheRunTimeErrorGoesToItsFileAndWindow) {
  ui::WindowManager windows;
  int editorMode = 0;
  se.errorWindow = {ui::WindowManager::ShowErrorWindow, &windows};
  se.editorMode = &editorMode;
  const char* file = script::InternFileName(se, "a.txt");
  script::SourcePosition at{file, 4, 0, nullptr};
  se.SetRunErrorOnce(test::Sjis("失敗").c_str(), &at);
  script::CallListEntry root;
  root.functionName = "main";
  se.callList.push_back(root);
  std::string text = test::Sjis("a.txt(4行目)-失敗\r\n<--- functions call list --->\r\n[Called as a thread.]-main\r\n");
  ASSERT_EQ(se.GetCallListText(), text);

  EXPECT_EQ(se.WriteRuntimeError(), int(text.size()));
  EXPECT_EQ(test::ReadFile("RuntimeError.txt"), text);  // no hint in the file
  ASSERT_EQ(windows.CountOpen(), 1);
  const ui::MessageWindow* w = windows.Window(0);
  EXPECT_EQ(w->style, 0);
  EXPECT_EQ(w->GetObjectPosition().x, -512.0f);
  EXPECT_EQ(w->GetObjectPosition().y, -384.0f);
  EXPECT_EQ(w->GetObjectPosition().z, 0.0f);
  EXPECT_EQ(w->width, 1024);
  EXPECT_EQ(w->height, 768);
  EXPECT_EQ(w->displayTime, -1);
  EXPECT_STREQ(w->subText, "");
  EXPECT_EQ(w->textColor, 0xFFFFFFu);
  EXPECT_EQ(w->subTextColor, 0xFF8080u);
#if defined(TKW4_EDITION_ENGLISH)
  EXPECT_EQ(w->text, text + "\n\nPlease report [RuntimeError.txt] to the software developer.");
#else
  EXPECT_EQ(w->text, text + test::Sjis("\n\n[RuntimeError.txt]の内容を製作者に報告してください。"));
#endif

  // In edit mode the hint tells how to go back to the editor.
  editorMode = 1;
  se.WriteRuntimeError();
  ASSERT_EQ(windows.CountOpen(), 2);
#if defined(TKW4_EDITION_ENGLISH)
  EXPECT_EQ(windows.Window(1)->text, text + "\n\nPress [F12] to return.");
#else
  EXPECT_EQ(windows.Window(1)->text, text + test::Sjis("\n\nF12キーで戻ります。"));
#endif

  // With every window in use the text only goes to the file.
  while (windows.CreatePlaneWindow(1, 0, 0, 0, 10, 10, 5)) {
  }
  std::remove("RuntimeError.txt");
  EXPECT_EQ(se.WriteRuntimeError(), int(text.size()));
  EXPECT_EQ(test::ReadFile("RuntimeError.txt"), text);
  EXPECT_EQ(windows.CountOpen(), ui::WindowManager::kWindowCount);
}

// Without a stored error nothing is written and no window opens, so a clean
// run leaves no stale error behind.
TEST_F(Host, NoRunTimeErrorWritesNothing) {
  ui::WindowManager windows;
  se.errorWindow = {ui::WindowManager::ShowErrorWindow, &windows};
  EXPECT_EQ(se.WriteRuntimeError(), 0);
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));
  EXPECT_EQ(windows.CountOpen(), 0);
}

// The first path point an error text is traced to names the world's error
// label; later ones leave it.
TEST_F(Host, TheFirstLabelledFrameIsTheErrorLabel) {
  std::string label;
  se.pathPoints.errorLabel = &label;
  se.pathPoints.find = [](void*, const char* text, std::string* found) {
    if (std::strcmp(text, "unnamed") == 0) {
      found->clear();
      return true;
    }
    *found = text;
    return std::strcmp(text, "gate") == 0 || std::strcmp(text, "tower") == 0;
  };
  script::SourcePosition unnamed{"a.txt", 5, 0, "unnamed"};
  script::SourcePosition gate{"a.txt", 7, 0, "gate"};
  script::SourcePosition tower{"a.txt", 9, 0, "tower"};
  EXPECT_EQ(se.FormatCallFrame(&unnamed), "");
  EXPECT_EQ(label, "");
  EXPECT_EQ(se.FormatCallFrame(&gate), test::Sjis("gate(5行目)-"));
  EXPECT_EQ(se.FormatCallFrame(&tower), test::Sjis("tower(7行目)-"));
  EXPECT_EQ(label, "gate");
}

}  // namespace
