// script_compiler_test.cpp -- the compiler's word lists (expressions, calls,
// loops, declarations, functions) and its compile errors, from script
// sources.

#include <algorithm>

#include "script_test_util.h"

namespace {

using scripttest::ScriptFixture;
using Words = std::vector<std::string>;

class Compiler : public ScriptFixture {
 protected:
  // One word as the listing prints it, without the trailing blank.
  static std::string Listed(script::CScriptLiteral* w) {
    switch (w->kind) {
      case script::kWordInt:
      case script::kWordFloat: return script::WordPrintedText(*w);
      case script::kWordName: return "(" + w->text + ")";
      case script::kWordString: return "\"" + script::EscapeStringAlloc(w->text.c_str()) + "\"";
      case script::kWordLabel: return w->text + ":";
      default: return w->text;
    }
  }

  // The whole code list.
  Words Code() {
    Words out;
    for (script::CScriptLiteral* w = se.codeHead; w; w = w->next) out.push_back(Listed(w));
    return out;
  }

  // The words of the body of function `name`: after its label, without the
  // "0 return" that ends every function and the label after it.
  Words Body(const std::string& name) {
    Words all = Code();
    auto it = std::find(all.begin(), all.end(), name + ":");
    if (it == all.end() || all.end() - it < 4) return {"<no function " + name + ">"};
    Words body(it + 1, all.end());
    // The last function of the file: its end is the end of the list.
    body.resize(body.size() - 3);
    return body;
  }

  // Compiles `text` as main.txt and returns the body of main; the compile
  // must succeed.
  Words MainBody(const std::string& text) {
    std::string errors = Compile("main.txt", text);
    EXPECT_EQ(errors, "") << text;
    return Body("main");
  }

  // The words joined by blanks, for comparing with an expected text.
  static std::string Join(const Words& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
  }
};

// ----------------------------------------------------------------------------
// Expressions
// ----------------------------------------------------------------------------

TEST_F(Compiler, ExpressionsFollowThePrecedenceLevels) {
  struct Case {
    const char* statement;
    const char* words;
  };
  const Case cases[] = {
      {"a - b - c;", "(main.0.a) (main.0.b) - (main.0.c) - ;"},
      {"a = b = c;", "(main.0.a) (main.0.b) (main.0.c) = = ;"},
      {"-a * b;", "(main.0.a) -(PRE) (main.0.b) * ;"},
      {"(int)a.b;", "(main.0.a) (main.0.b) . (int) ;"},
      {"x = 1 + 2 * 3;", "(main.0.x) 1 2 3 * + = ;"},
      {"x = (1 + 2) * 3;", "(main.0.x) 1 2 + 3 * = ;"},
      {"a[1][2] += 3;", "(main.0.a) 1 [] 2 [] 3 += ;"},
      {"x++; ++x; --x;", "(main.0.x) ++ ; (main.0.x) ++(PRE) ; (main.0.x) --(PRE) ;"},
      {"!a && b || ~c;", "(main.0.a) !(PRE) (main.0.b) && (main.0.c) ~(PRE) || ;"},
      {"s = \"q\" + 1.5;", "(main.0.s) \"q\" 1.500000 + = ;"},
      {"x = a >= b == c => d;", "(main.0.x) (main.0.a) (main.0.b) >= (main.0.c) (main.0.d) => == = ;"},
      {"x = a << 2 | b & c ^ d;", "(main.0.x) (main.0.a) 2 << (main.0.b) (main.0.c) & (main.0.d) ^ | = ;"},
      {"x = a <> b; y = a >< b; z = a =< b;",
       "(main.0.x) (main.0.a) (main.0.b) <> = ; (main.0.y) (main.0.a) (main.0.b) >< = ; (main.0.z) (main.0.a) "
       "(main.0.b) =< = ;"},
      {"x = (float)\"2\" % 3;", "(main.0.x) \"2\" (float) 3 % = ;"},
      {"x = (string)(function)f;", "(main.0.x) (main.0.f) (function) (string) = ;"},
      {"x = 0x1F - 007;", "(main.0.x) 31 7 - = ;"},
      {"__system_interrupt__(3, \"wait\");", "3 \"wait\" __system_interrupt__ ;"},
      {"__system_interrupt__(\"get_thread_id\");", "\"get_thread_id\" __system_interrupt__ ;"},
      {";", ";"},
      {"{}", ";"},
      {"x = {a: 1, b: \"s\", c: [1, 2.5]};",
       "(main.0.x) (c) 1 2.500000 2 {Array} (b) \"s\" (a) 1 3 {Object} = ;"},
      {"x = {}; y = [];", "(main.0.x) 0 {Object} = ; (main.0.y) 0 {Array} = ;"},
      {"x = {\"a-b\" = y, `c`: 1,};", "(main.0.x) (c) 1 (a-b) (main.0.y) 2 {Object} = ;"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Join(MainBody(std::string("function main() {\r\n") + c.statement + "\r\n}\r\n")), c.words)
        << c.statement;
}

TEST_F(Compiler, CallsPutTheMarkerAndArgumentsBeforeTheCallee) {
  std::string head =
      "function f(a, b) { return a; }\r\n"
      "function int g(x) { return x; }\r\n"
      "systemcall string s(string t);\r\n"
      "function later;\r\n";
  struct Case {
    const char* statement;
    const char* words;
  };
  const Case cases[] = {
      {"f(1, 2);", "@ 1 2 main.0.f call ;"},
      {"x = f(g(1), 2);", "(main.0.x) @ @ 1 main.0.g call (int) 2 main.0.f call = ;"},
      {"s(\"t\");", "@ \"t\" main.0.s call (string) ;"},
      {"later();", "@ main.0.later call ;"},
      {"call \"sub\";", "@ \"sub\" call ;"},
      {"goto \"top\";", "\"top\" goto ;"},
      {"return x + 1;", "(main.0.x) 1 + return ;"},
      {"return 1, return 2;", "1 return 2 return ;"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Join(MainBody(head + "function main() {\r\n" + c.statement + "\r\n}\r\n")), c.words) << c.statement;
}

// ----------------------------------------------------------------------------
// Control statements
// ----------------------------------------------------------------------------

TEST_F(Compiler, ControlStatementsBecomeLabelsAndJumps) {
  struct Case {
    const char* statement;
    const char* words;
  };
  // *L0000 is the jump over main's body; each statement's labels follow.
  const Case cases[] = {
      {"if (a) b;", "(main.0.a) \"*L0001\" if_not_goto (main.0.b) ; *L0001:"},
      {"if (a) b; else c;",
       "(main.0.a) \"*L0001\" if_not_goto (main.0.b) ; \"*L0002\" goto *L0001: (main.0.c) ; *L0002:"},
      {"while (a) { b; break; }",
       "*L0001: (main.0.a) \"*L0002\" if_not_goto (main.0.b) ; \"*L0002\" break ; \"*L0001\" goto *L0002:"},
      {"do { continue; } while (a);",
       "*L0001: \"*L0001\" continue ; (main.0.a) \"*L0002\" if_not_goto \"*L0001\" goto *L0002: ;"},
      // The step is followed by a discard, so a loop body that runs no ";"
      // leaves nothing on the data stack.
      {"for (i = 0; i < 3; i++) x;",
       "(main.0.i) 0 = *L0001: (main.0.i) 3 < \"*L0002\" if_not_goto \"*L0003\" goto *L0004: (main.0.i) ++ ; "
       "\"*L0001\" goto *L0003: (main.0.x) ; \"*L0004\" goto *L0002:"},
      {"for (;;) { break; }",
       "*L0001: 1 \"*L0002\" if_not_goto \"*L0003\" goto *L0004: \"*L0001\" goto *L0003: \"*L0002\" break ; "
       "\"*L0004\" goto *L0002:"},
      {"for (int i = 0; i < 2; i++) continue;",
       "0 0 int (main.0.i) *L0001: (main.0.i) 2 < \"*L0002\" if_not_goto \"*L0003\" goto *L0004: (main.0.i) ++ ; "
       "\"*L0001\" goto *L0003: \"*L0004\" continue ; \"*L0004\" goto *L0002:"},
      {"break;", "\"null\" break ;"},
      {"here: x;", "here: (main.0.x) ;"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Join(MainBody(std::string("function main() {\r\n") + c.statement + "\r\n}\r\n")), c.words)
        << c.statement;
}

TEST_F(Compiler, EveryNestedLoopKeepsItsOwnBreakAndContinueTargets) {
  // Deeper than the 64 pairs the label stack starts with.
  const int depth = 70;
  std::string text = "function main() {\r\n";
  for (int i = 0; i < depth; i++) text += "while (1) { break; continue;\r\n";
  for (int i = 0; i < depth; i++) text += "break; continue; }\r\n";
  text += "}\r\n";
  ASSERT_EQ(Compile("main.txt", text), "");
  // Each loop: *L(2k+1) at its top, *L(2k+2) its exit. The k-th loop's
  // statements stand once before and once after the inner loops.
  std::vector<std::string> breaks, continues;
  Words code = Code();
  for (size_t i = 1; i < code.size(); i++) {
    if (code[i] == "break") breaks.push_back(code[i - 1]);
    if (code[i] == "continue") continues.push_back(code[i - 1]);
  }
  ASSERT_EQ(breaks.size(), size_t(2 * depth));
  ASSERT_EQ(continues.size(), size_t(2 * depth));
  auto label = [](int n) {
    char text[16];
    std::snprintf(text, sizeof text, "\"*L%04d\"", n);
    return std::string(text);
  };
  for (int k = 0; k < depth; k++) {
    EXPECT_EQ(breaks[size_t(k)], label(2 * k + 2)) << k;
    EXPECT_EQ(continues[size_t(k)], label(2 * k + 1)) << k;
    EXPECT_EQ(breaks[size_t(2 * depth - 1 - k)], label(2 * k + 2)) << k;
    EXPECT_EQ(continues[size_t(2 * depth - 1 - k)], label(2 * k + 1)) << k;
  }
  // After the loops the stack is empty again: a break outside jumps to "null".
  EXPECT_TRUE(se.loopLabels.breakLabels.empty());
}

// ----------------------------------------------------------------------------
// Declarations and functions
// ----------------------------------------------------------------------------

TEST_F(Compiler, LocalDeclarationsCompileToWords) {
  struct Case {
    const char* statement;
    const char* words;
  };
  const Case cases[] = {
      {"int x = 5;", "5 0 int (main.0.x)"},
      {"int x;", "0 0 int (main.0.x)"},
      {"float f;", "0.000000 0 float (main.0.f)"},
      {"const string s, t = \"v\";", "\"\" 0 string const (main.0.s) \"v\" 0 string const (main.0.t)"},
      {"int a[3][n + 1] = 7;", "7 3 (main.0.n) 1 + 2 int (main.0.a)"},
      {"variable v;", "0 0 variable (main.0.v)"},
      {"array a; object o;", "0 {Array} 0 array (main.0.a) 0 {Object} 0 object (main.0.o)"},
      {"function fp; systemcall sc;", "(null function) 0 function main.0.fp (null syscall) 0 syscall main.0.sc"},
      {"object o = {k: 1};", "(k) 1 1 {Object} 0 object (main.0.o)"},
      // Static and extern declarations are carried out now and emit nothing.
      {"static int s = 4; extern int e;", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Join(MainBody(std::string("function main() {\r\n") + c.statement + "\r\n}\r\n")), c.words)
        << c.statement;
}

TEST_F(Compiler, FunctionDefinitionsBindTheirParametersLastFirst) {
  ASSERT_EQ(Compile("main.txt",
                    "function int add(int a, const b, refer c) {\r\n"
                    "  return a + b;\r\n"
                    "}\r\n"),
            "");
  EXPECT_EQ(Join(Code()), std::string("[Start] \"*L0000\" goto 0.add: pop_value refer (c) pop_value const variable (b) "
                          "pop_value int (a) (add.0.a) (add.0.b) + return ; 0 return *L0000:"));
  script::CScriptValue* add = se.FindGlobal("add");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add->type, script::kValueFunction);
  EXPECT_EQ(add->attributes, script::kAttrStatic | script::kAttrConst);
  script::FunctionSignature* sig = se.signatures.Find(add);
  ASSERT_NE(sig, nullptr);
  EXPECT_EQ(sig->returnType, script::kWordTypeInt);
  EXPECT_EQ(sig->parameterCount, 3);
  EXPECT_EQ(sig->parameterTypes[0], script::kWordTypeInt);
  EXPECT_EQ(sig->parameterTypes[1], script::kWordTypeVariable);
  EXPECT_EQ(sig->parameterTypes[2], script::kWordTypeRefer);
}

TEST_F(Compiler, MainAndAutorunFunctionsStartAsThreads) {
  ASSERT_EQ(Compile("main.txt",
                    "function autorun first() { }\r\n"
                    "function plain() { }\r\n"
                    "function main() { }\r\n"),
            "");
  // main is extern (a plain name) and autorun without saying so.
  script::CScriptValue* mainFunction = se.FindGlobal("main");
  ASSERT_NE(mainFunction, nullptr);
  EXPECT_TRUE(mainFunction->attributes & script::kAttrExtern);
  ASSERT_NE(script::FindMember(se.namespaces.global, "0.first"), nullptr);
  // Two threads in declaration order, each with its root namespace and the
  // int argument 0 arriving as a float.
  ASSERT_GE(se.threads.size(), 2u);
  ASSERT_NE(se.threads[0], nullptr);
  ASSERT_NE(se.threads[1], nullptr);
  EXPECT_EQ(se.threads[0]->currentWord, script::FindMember(se.namespaces.global, "0.first")->data.word->next);
  EXPECT_EQ(se.threads[1]->currentWord, mainFunction->data.word->next);
  EXPECT_LT(se.threads[0]->orderKey, se.threads[1]->orderKey);
  EXPECT_NE(script::FindMember(se.namespaces.global, "[0]0.first"), nullptr);
  EXPECT_NE(script::FindMember(se.namespaces.global, "[1]main"), nullptr);
  ASSERT_EQ(se.threads[1]->data.end, 1);
  EXPECT_EQ(se.threads[1]->data.entries[0]->kind, script::kWordFloat);
  EXPECT_TRUE(se.threads[2] == nullptr || se.threads[2]->currentWord == nullptr);
  // A new compile starts from a clean table.
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  EXPECT_EQ(se.threads[0]->currentWord, nullptr);
  EXPECT_EQ(se.threads[0]->orderKey, 0);
}

TEST_F(Compiler, FileLevelNamesArePrivateToTheirLinkedFile) {
  test::WriteFile("second.txt",
                  "int count = 2;\r\n"
                  "extern int shared = 5;\r\n"
                  "function helper() { return count; }\r\n");
  ASSERT_EQ(Compile("main.txt",
                    "#link \"second.txt\"\r\n"
                    "int count = 1;\r\n"
                    "function main() { return count + shared; }\r\n"),
            "");
  script::CScriptArray* g = se.namespaces.global;
  EXPECT_EQ(script::GetMemberInt(g, "0.count"), 0);  // a path: "0" is an index step
  ASSERT_NE(script::FindMember(g, "0.count"), nullptr);
  EXPECT_EQ(script::FindMember(g, "0.count")->data.i, 1);
  EXPECT_EQ(script::FindMember(g, "1.count")->data.i, 2);
  EXPECT_EQ(script::FindMember(g, "shared")->data.i, 5);
  // Lookups from each file's code find that file's own name.
  EXPECT_EQ(script::LookupName(se, "main.0.count"), script::FindMember(g, "0.count"));
  EXPECT_EQ(script::LookupName(se, "helper.1.count"), script::FindMember(g, "1.count"));
  EXPECT_EQ(script::LookupName(se, "main.0.shared"), script::FindMember(g, "shared"));
  EXPECT_EQ(script::LookupName(se, "main.0.helper"), nullptr);  // helper is 1.helper
  EXPECT_NE(script::LookupName(se, "x.1.helper"), nullptr);
  // The host finds file-level globals of the start file too.
  EXPECT_EQ(se.FindGlobal("count"), script::FindMember(g, "0.count"));
}

TEST_F(Compiler, GlobalDeclarationsDefineVariablesNow) {
  ASSERT_EQ(Compile("main.txt",
                    "int x; int x;\r\n"
                    "extern int a[2][3];\r\n"
                    "extern array list;\r\n"
                    "extern variable v = \"text\";\r\n"
                    "extern string fromObject = {a: 1, b: [2]};\r\n"
                    "function f() { static int calls = 3; }\r\n"
                    "extern function handler = f;\r\n"),
            "");
  script::CScriptArray* g = se.namespaces.global;
  const script::CScriptValue* x = script::FindMember(g, "0.x");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->type, script::kValueInt);
  EXPECT_EQ(script::WriteCompoundText(script::GetMemberCompound(g, "a"), 0), "[[0,0,0],[0,0,0]]");
  const script::CScriptValue* list = script::FindMember(g, "list");
  EXPECT_EQ(list->type, script::kValueCompound);
  ASSERT_NE(list->data.array, nullptr);
  EXPECT_EQ(list->data.array->kind, script::kCompoundEmpty);
  const script::CScriptValue* v = script::FindMember(g, "v");
  EXPECT_EQ(v->type, script::kValueString);
  EXPECT_EQ(v->attributes, script::kAttrExtern | script::kAttrUntyped);
  EXPECT_STREQ(script::GetMemberString(g, "fromObject"), "{a:1,b:[2]}");
  EXPECT_EQ(script::FindMember(g, "f.0.calls")->data.i, 3);
  const script::CScriptValue* handler = script::FindMember(g, "handler");
  EXPECT_EQ(handler->type, script::kValueFunction);
  EXPECT_EQ(handler->data.word, script::FindMember(g, "0.f")->data.word);
}

TEST_F(Compiler, APrototypeAfterTheDefinitionKeepsTheBody) {
  ASSERT_EQ(Compile("main.txt",
                    "function f(a) { }\r\n"
                    "function f(a);\r\n"),
            "");
  const script::CScriptValue* f = script::FindMember(se.namespaces.global, "0.f");
  ASSERT_NE(f, nullptr);
  ASSERT_NE(f->data.word, nullptr);
  EXPECT_EQ(f->data.word->text, "0.f");
}

// ----------------------------------------------------------------------------
// Compile errors
// ----------------------------------------------------------------------------

TEST_F(Compiler, StatementErrors) {
  struct Case {
    const char* source;  // compiled as main.txt
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"if (a) b;", 1, "関数の外ではif構文は使用できません。"},
      {"while (a) b;", 1, "関数の外ではwhile構文は使用できません。"},
      {"function main() {\r\nelse x;\r\n}", 2, "ifの無いelseです。"},
      {"function main() {\r\nreturn;\r\n}", 2, "式の中に不正な字句「;」があります。"},
      {"function main() {\r\nif a) b;\r\n}", 2, "if構文に「(」が足りません。"},
      {"function main() {\r\nif (a; b;\r\n}", 2, "if構文に「)」が足りません。"},
      {"function main() {\r\nwhile a;\r\n}", 2, "while構文に「(」が足りません。"},
      {"function main() {\r\nwhile (a;\r\n}", 2, "while構文に「)」が足りません。"},
      {"function main() {\r\ndo x; y;\r\n}", 2, "do構文にwhileが足りません。"},
      {"function main() {\r\nfor i = 0;\r\n}", 2, "for構文に「(」が足りません。"},
      {"function main() {\r\nfor (i = 0, i < 3) x;\r\n}", 2, "for構文に「;」が足りません。"},
      {"function main() {\r\nfor (;; i++;\r\n}", 2, "for構文に「)」が足りません。"},
      {"function main() {\r\nx;\r\n", 2, "文ブロック中にソースコード終端になりました。「}」が足りません。"},
      {"function main() {\r\ngoto \"a\" }", 2, "式の終端に「;」が足りません。"},
      {"function main() {\r\nx = (1 + 2;\r\n}", 2, "式の終端に「)」が足りません。"},
      {"function main() {\r\nx = (int x;\r\n}", 2, "明示的型キャストの終端に「)」が足りません。"},
      {"function main() {\r\nx = a[1;\r\n}", 2, "式の終端に「]」が足りません。"},
      {"function main() {\r\nf(1;\r\n}", 2, "関数呼び出し中に行終端になりました。「)」が足りません。"},
      {"function main() {\r\nf(1 }\r\n", 2, "引数の間に「,」が足りません。"},
      {"function main() {\r\nf(1,", 2, "関数呼び出し中にソースコード終端になりました。「);」が足りません。"},
      {"function main() {\r\nx = a.b(1);\r\n}", 2, "関数名の定義がありません。"},
      {"function main() {\r\nx = a b;\r\n}", 2, "式の中に不正な演算子「b」があります。"},
      {"function main() {\r\nx = );\r\n}", 2, "式の中に不正な字句「)」があります。"},
      {"function main() {\r\n__system_interrupt__ 1;\r\n}", 2, "システム割り込み文に「(」が足りません。"},
      {"function main() {\r\n__system_interrupt__(1 2);\r\n}", 2, "式の中に不正な演算子「2」があります。"},
      {"function main() {\r\n__system_interrupt__(1 ];\r\n}", 2, "システム割り込み文に「,」が足りません。"},
      {"function main() {\r\nx = {a 1};\r\n}", 2, "JSON式の変数名[a]の次に「:」が足りません。"},
      {"function main() {\r\nx = {1: 1};\r\n}", 2, "[1]はJSON式の変数名として解釈できません。"},
      {"function main() {\r\nx = {a: 1 ; };\r\n}", 2, "JSON式の値の間に「,」が足りません。"},
      {"function main() {\r\nx = [1 2];\r\n}", 2, "式の中に不正な演算子「2」があります。"},
      {"function main() {\r\nx = [1 };\r\n}", 2, "JSON式の配列要素の間に「,」が足りません。"},
  };
  for (const Case& c : cases) EXPECT_EQ(Compile("main.txt", c.source), Line("main.txt", c.line, c.message)) << c.source;
}

TEST_F(Compiler, DeclarationErrors) {
  struct Case {
    const char* source;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"static 5;", 1, "「5」は型名ではありません。"},
      {"int 5;", 1, "「5」は変数名ではありません。"},
      {"int \"s\";", 1, "「s」は変数名ではありません。"},
      {"static extern int x;", 1, "変数定義においてstaticとexternの併用は出来ません。"},
      {"int x y;", 1, "型定義の間に「,」が足りません。"},
      {"int x", 1, "型定義中にソースコード終端になりました。「;」が足りません。"},
      {"int a[3;", 1, "変数定義のインデックスに]が足りません。"},
      {"function f(int) { }", 1, "関数「f」の引数定義に変数名が定義されていません。不正な字句があります。"},
      {"function f(a b) { }", 1, "関数の引数定義に「,」が足りません。"},
      {"function f(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q) { }", 1, "関数の引数が多すぎます。"},
      {"function f() { }\r\nfunction f() { }", 2, "関数「f」の処理内容を再定義しようとしています。"},
      {"function f[2]() { }", 1, "関数「f」が配列になっています。"},
      {"systemcall s(int a);\r\nfunction s() { }", 2, "システムコール「s」の処理内容を再定義しようとしています。"},
      {"systemcall s(int a);\r\nsystemcall s(float a);", 2, "関数「s」の引数の型が宣言と異なります"},
      {"int x = 1;\r\nint x = 2;", 2, "変数[x]は二重定義されています。"},
      {"extern int x;\r\nint x;", 2, "変数[x]は異なる名前空間で二重定義されています。"},
      {"int x = 7 / 0;", 1, "ゼロによる除算。"},
      {"int x = 7 % 0.0;", 1, "ゼロによる除算。"},
      {"int x = y;", 1, "変数「y」が定義されていません。"},
      {"function f;\r\nint x = f;", 2, "変数「f」のジャンプ先が定義されていません。"},
      {"int x = 1 = 2;", 1, "=演算子は静的変数の初期値には使用できません。"},
      {"int x = 1 += 2;", 1, "+=演算子は静的変数の初期値には使用できません。"},
      {"function f() { }\r\nint x = f(1);", 2, "静的変数の初期値計算に関数コール使用できません。"},
      {"int x = \"a\" - 1;", 1, "数値以外では-演算子は使用できません。"},
      {"int x = \"a\" * 1;", 1, "数値以外では*演算子は使用できません。"},
      {"int x = \"a\" % 1;", 1, "数値以外では%演算子は使用できません。"},
      {"int x = \"a\" >= 1;", 1, "数値と文字列以外では=>演算子は使用できません。"},
      {"int x = \"a\" && 1;", 1, "数値以外では&&演算子は使用できません。"},
      {"int x = {a:1} + 1;", 1, "数値または文字列以外では+演算子は使用できません。"},
      {"int x = -\"a\";", 1, "数値またはJSONオブジェクト以外は-演算子が使用できません。"},
      {"int x = !\"a\";", 1, "数値以外は!演算子が使用できません。"},
      {"int x = (int){a:1};", 1, "数値または文字列以外は型キャストできません。"},
      {"int x = (int 1;", 1, "明示的型キャストの終端に「)」が足りません。"},
      {"int x = [1, 2][5];", 1, "配列[5]はありません。"},
      {"int x = {a: 1}.b;", 1, "オブジェクト内に[b]はありません。"},
      {"int x = 1 .b;", 1, "オブジェクトではないのに.演算子が使用されています。"},
      {"int x = {a: 1}[0];", 1, "配列ではないのに配列演算子が使用されています。"},
      {"int x = [1][\"z\"];", 1, "配列の添え字に数値以外の文字列[z]が指定されています。"},
      {"int x = 1++;", 1, "式の中に不正な演算子「++」があります。"},
      {"int x = ;", 1, "式の中に不正な字句「;」があります。"},
      {"int x = (1;", 1, "式の終端に「)」が足りません。"},
      {"object o = {a: 1 ) };", 1, "JSON式の値の間に「,」が足りません。"},
      {"object o = [1, 2 ) ];", 1, "JSON式の配列要素の間に「,」が足りません。"},
      {"object o = {a 1};", 1, "JSON式の変数名[a]の次に「:」が足りません。"},
      {"object o = {[1]: 1};", 1, "[[]はJSON式の変数名として解釈できません。"},
  };
  for (const Case& c : cases) EXPECT_EQ(Compile("main.txt", c.source), Line("main.txt", c.line, c.message)) << c.source;
}

TEST_F(Compiler, CallsAreCheckedAgainstTheSignature) {
  std::string head =
      "function two(a, b) { }\r\n"
      "function open;\r\n"
      "function main() {\r\n";
  EXPECT_EQ(Compile("main.txt", head + "two(1, 2, 3);\r\n}"), Line("main.txt", 4, "関数[two]の引数の数が多すぎます。"));
  EXPECT_EQ(Compile("main.txt", head + "two(1);\r\n}"), Line("main.txt", 4, "関数[two]の引数の数が足りません。"));
  // The first call of a function declared without parameter list fixes its
  // parameter count.
  EXPECT_EQ(Compile("main.txt", head + "open(1, 2);\r\nopen(1);\r\n}"),
            Line("main.txt", 5, "関数[open]の引数の数が足りません。"));
  EXPECT_EQ(Compile("main.txt", head + "open(1, 2);\r\nopen(3, 4);\r\n}"), "");
}

TEST_F(Compiler, ErrorsThrownInsideAStatementLetTheCompileGoOn) {
  // A key met again with another type is assigned with the first key's
  // type: a compound cannot go into an int, which is raised and listed at
  // the token being read; the next statements still compile.
  std::string errors = Compile("main.txt",
                               "object o = {a: 1, a: {}};\r\n"
                               "int fine = 2;\r\n"
                               "object p = {b: \"x\", b: [1]};\r\n");
  EXPECT_EQ(errors, Line("main.txt", 1, "変数[a]はarray型ではないため配列を代入できません。") +
                        Line("main.txt", 3, "変数[b]はarray型ではないため配列を代入できません。"));
  EXPECT_NE(se.FindGlobal("fine"), nullptr);
}

// A statement-level error abandons its statement and the next one is
// compiled, so one compile lists them all; a failing constant operator
// yields int 0 and its declaration goes on.
TEST_F(Compiler, StatementErrorsAreListedInTurnAndTheCompileGoesOn) {
  std::string errors = Compile("main.txt",
                               "int 5;\r\n"
                               "int a b;\r\n"
                               "static extern int c;\r\n"
                               "if (a) { c = 1; }\r\n"
                               "while (a) c = 2;\r\n"
                               "else { c = 3; }\r\n"
                               "int d = 1 / 0 + 5;\r\n"
                               "int e = \"x\" - 1, f = 2;\r\n"
                               "static 5;\r\n"
                               "function main() {\r\n"
                               "  int 6;\r\n"
                               "  if (1) { int g h; } else { e = 1; }\r\n"
                               "  do int 7; while (1);\r\n"
                               "  for (;;) else;\r\n"
                               "  int last = 1;\r\n"
                               "}\r\n");
  const char* messages[] = {
      "「5」は変数名ではありません。", "型定義の間に「,」が足りません。",
      "変数定義においてstaticとexternの併用は出来ません。", "関数の外ではif構文は使用できません。",
      "関数の外ではwhile構文は使用できません。", "ifの無いelseです。", "ゼロによる除算。",
      "数値以外では-演算子は使用できません。", "「5」は型名ではありません。", nullptr,
      "「6」は変数名ではありません。", "型定義の間に「,」が足りません。", "「7」は変数名ではありません。",
      "ifの無いelseです。"};
  std::string expected;
  for (int line = 1; line <= int(std::size(messages)); line++)
    if (messages[line - 1]) expected += Line("main.txt", line, messages[line - 1]);
  EXPECT_EQ(errors, expected);
  // What stood before an error in its statement, and everything after the
  // abandoned statements, was compiled.
  EXPECT_NE(se.FindGlobal("a"), nullptr);
  EXPECT_EQ(se.FindGlobal("b"), nullptr);
  EXPECT_EQ(se.FindGlobal("c"), nullptr);
  ASSERT_NE(se.FindGlobal("d"), nullptr);
  EXPECT_EQ(se.FindGlobal("d")->data.i, 5);  // 1 / 0 gave 0
  ASSERT_NE(se.FindGlobal("f"), nullptr);
  EXPECT_EQ(se.FindGlobal("f")->data.i, 2);
  Words body = Body("main");
  EXPECT_NE(std::find(body.begin(), body.end(), "(main.0.last)"), body.end()) << Join(body);
}

// An abandoned statement is passed over by its shape: a control statement
// with what it governs, a function body, a block; a stray closer still
// closes the block around it.
TEST_F(Compiler, AnAbandonedStatementEndsWhereItsShapeEnds) {
  struct Case {
    const char* body;  // inside main; line 2 holds the error
    const char* after;  // compiled after it: a declaration of `ok`
  };
  const Case cases[] = {
      {"if (x) { int 5; y; z; } else { w; }", "int ok;"},
      {"while (x) { if (y) int 5; else { z; } }", "int ok;"},
      {"for (int 5; i < 3; i++) { y; }", "int ok;"},
      {"do { int 5; } while (x);", "int ok;"},
      {"int a[2] = 1, 5;", "int ok;"},
  };
  for (const Case& c : cases) {
    std::string errors =
        Compile("main.txt", std::string("function main() {\r\n") + c.body + "\r\n" + c.after + "\r\n}\r\n");
    EXPECT_EQ(errors, Line("main.txt", 2, "「5」は変数名ではありません。")) << c.body;
    Words body = Body("main");
    EXPECT_NE(std::find(body.begin(), body.end(), "(main.0.ok)"), body.end()) << c.body << ": " << Join(body);
  }
  // A function whose declaration is abandoned is passed over with its body.
  EXPECT_EQ(Compile("main.txt",
                    "static extern function f() { if (1) { x; } }\r\n"
                    "function main() { }\r\n"),
            Line("main.txt", 1, "変数定義においてstaticとexternの併用は出来ません。"));
  EXPECT_NE(se.FindGlobal("main"), nullptr);
  EXPECT_EQ(se.FindGlobal("f"), nullptr);
}

TEST_F(Compiler, TheErrorListKeepsTheFirst128Messages) {
  std::string text;
  for (int i = 0; i < 200; i++) text += "int " + std::to_string(i + 1) + ";\r\n";
  std::string errors = Compile("main.txt", text);
  std::string expected;
  for (int i = 0; i < 128; i++)
    expected += Line("main.txt", i + 1, "「" + std::to_string(i + 1) + "」は変数名ではありません。");
  EXPECT_EQ(errors, expected);
}

// The tokens of compiled statements are handed over to the words that
// follow: after the compile the pool holds the code list and nothing else,
// and the code is what a compile that kept every token made.
TEST_F(Compiler, TheCompileGivesItsTokensBack) {
  std::string text = "int g = 1;\r\nobject o = {a: [1, 2], b: \"x\"};\r\n";
  for (int i = 0; i < 300; i++) {
    std::string n = std::to_string(i);
    text += "function f" + n + "(a) {\r\n  int s = a + " + n + ";\r\n"
            "  while (s < 10) { if (s) { s++; } else { break; } }\r\n  return s;\r\n}\r\n";
  }
  ASSERT_EQ(Compile("main.txt", text), "");  // no main: no thread holds words
  EXPECT_EQ(se.tokenHead, nullptr);
  EXPECT_EQ(se.tokenTail, nullptr);
  Words all = Code();
  EXPECT_EQ(se.pools.literals.Count(), all.size());
  // The words took the records of tokens given back and are still right.
  auto f7 = std::find(all.begin(), all.end(), "0.f7:");
  ASSERT_LT(f7 + 10, all.end());
  EXPECT_EQ(Join(Words(f7, f7 + 10)), "0.f7: pop_value variable (a) (f7.0.a) 7 + 0 int (f7.0.s)");
  EXPECT_EQ(all.back(), "*L1495:");  // five labels a function, the first one last
}

TEST_F(Compiler, RunawayNestingEndsInAnError) {
  std::string deep = "function main() { x = ";
  for (int i = 0; i < 5000; i++) deep += "(";
  deep += "1;\r\n}\r\n";
  std::string errors = Compile("main.txt", deep);
  EXPECT_NE(errors.find(test::Sjis("文または式の入れ子が深すぎます。")), std::string::npos);
  std::string literal = "object o = ";
  for (int i = 0; i < 5000; i++) literal += "[";
  errors = Compile("main.txt", literal + ";\r\n");
  EXPECT_NE(errors.find(test::Sjis("文または式の入れ子が深すぎます。")), std::string::npos);
}

}  // namespace
