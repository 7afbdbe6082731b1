// script_vm_test.cpp -- the virtual machine run over whole scripts: every
// file of tests/script/scripts/ checks its own results through expect() and
// ends by printing "done".

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "script_test_util.h"

namespace {

using scripttest::RunFixture;

std::string ScriptsFolder() {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  return std::string(root ? root : ".") + "/tests/script/scripts";
}

class ScriptFiles : public RunFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(ScriptFiles, RunToTheirEnd) {
  std::string source = test::ReadFile(ScriptsFolder() + "/" + GetParam());
  ASSERT_FALSE(source.empty());
  ASSERT_EQ(LoadSource(source, GetParam()), "");
  EXPECT_EQ(RunToEnd(), 0) << CallList();  // every thread ended without error
  EXPECT_EQ(CallList(), "");
  for (const std::string& failure : failures) ADD_FAILURE() << GetParam() << " " << failure;
  EXPECT_NE(printed.find("done|"), std::string::npos) << printed;
}

std::vector<std::string> ScriptNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(ScriptsFolder()))
    if (entry.path().extension() == ".txt") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptFiles, ::testing::ValuesIn(ScriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.find('.'));
                         });

}  // namespace

namespace {

// ----------------------------------------------------------------------------
// Run-time errors of the instructions: each snippet runs as the body of
// main and raises exactly this text, which ends every thread.
// ----------------------------------------------------------------------------

struct ErrorCase {
  const char* body;
  const char* error;  // UTF-8
};

class InstructionErrors : public RunFixture, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(InstructionErrors, RaiseTheirText) {
  const ErrorCase& c = GetParam();
  ASSERT_EQ(LoadSource(std::string("function helper(int x) { return x; }\nfunction loose(x) { return x; }\n") +
                       "function main() {\n" + c.body + "\nprint(\"after\");\n}\n"),
            "")
      << c.body;
  EXPECT_EQ(Step(), -1) << c.body;
  EXPECT_EQ(RunError(), c.error) << c.body;
  EXPECT_EQ(printed.find("after"), std::string::npos) << c.body;
  // Every thread has ended.
  for (script::ScriptThread* t : se.threads) {
    if (t) {
      EXPECT_EQ(t->currentWord, nullptr);
    }
  }
}

const ErrorCase kInstructionErrors[] = {
    // Two-operand operators.
    {"int x = 1 + helper;", "数値または文字列以外では+演算子は使用できません"},
    {"int x = 1 + [1];", "数値または文字列以外では+演算子は使用できません"},
    {"int x = \"a\" - 1;", "数値以外では-演算子は使用できません"},
    {"int x = \"a\" * 2;", "数値以外では*演算子は使用できません"},
    {"int x = 1 / 0;", "ゼロによる除算"},
    {"int x = 1 / 0.0;", "ゼロによる除算"},
    {"float x = 1.5 / 0;", "ゼロによる除算"},
    {"int x = 1 % 0;", "ゼロによる除算"},
    {"int z = 0; int x = 5; x = x % z;", "ゼロによる除算"},
    {"int x = \"a\" / 2;", "数値以外では/演算子は使用できません"},
    {"int x = [4] / [2];", "ゼロによる除算"},  // a compound divisor reads as 0 first
    {"int x = \"a\" % 2;", "数値以外では%演算子は使用できません"},
    {"int x = 1 > \"a\";", "数値と文字列以外では>演算子は使用できません"},
    {"int x = [1] < [2];", "数値と文字列以外では<演算子は使用できません"},
    {"int x = 1 >= \"a\";", "数値と文字列以外では=>演算子は使用できません"},
    {"int x = 1 <= \"a\";", "数値と文字列以外では<=演算子は使用できません"},
    {"int x = 1 == \"1\";", "数値と文字列以外では==演算子は使用できません"},
    {"int x = \"1\" != 1;", "数値と文字列以外では!=演算子は使用できません"},
    {"int x = ![1];", "数値と文字列以外では!演算子は使用できません"},
    {"int x = ~\"a\";", "数値以外では~演算子は使用できません"},
    {"int x = \"a\" ^ 1;", "数値以外では^演算子は使用できません"},
    {"int x = \"a\" & 1;", "数値以外では&演算子は使用できません"},
    {"int x = \"a\" | 1;", "数値以外では|演算子は使用できません"},
    {"int x = \"a\" << 1;", "数値以外では<<演算子は使用できません"},
    {"int x = \"a\" >> 1;", "数値以外では>>演算子は使用できません"},
    {"int x = \"1\" && 1;", "数値以外では&&演算子は使用できません"},
    {"int x = 1 || \"1\";", "数値以外では||演算子は使用できません"},
    {"int x = -\"a\";", "数値以外では-演算子は使用できません"},
    {"int x = +helper;", "数値と文字列以外では+演算子は使用できません"},
    // Assignments.
    {"5 = 3;", "変数以外には代入できません"},
    {"const int c = 1; c = 2;", "変数[c]はconst属性のため代入できません"},
    {"int x; x = never;", "[never]は定義されていない変数です。"},
    {"int x; x = [1];", "変数[x]はarray型ではないため配列を代入できません。"},
    {"5 += 1;", "変数以外には+=演算子を使って代入できません"},
    {"5 -= 1;", "変数以外には-=演算子を使って代入できません"},
    {"5 *= 1;", "変数以外には*=演算子を使って代入できません"},
    {"5 /= 1;", "変数以外には/=演算子を使って代入できません"},
    {"5 %= 1;", "変数以外には%=演算子を使って代入できません"},
    {"5 &= 1;", "変数以外には&=演算子を使って代入できません"},
    {"5 |= 1;", "変数以外には|=演算子を使って代入できません"},
    {"5 ^= 1;", "変数以外には^=演算子を使って代入できません"},
    {"const int c = 1; c += 2;", "変数[c]はconst属性のため代入できません"},
    {"string s = \"a\"; s += 1;", "数値と文字列以外では+=演算子は使用できません"},
    {"string s = \"a\"; s -= 1;", "数値以外では-=演算子を使って代入できません"},
    {"string s = \"a\"; s *= 1;", "数値以外では*=演算子は使用できません"},
    {"string s = \"a\"; s /= 1;", "数値以外では/=演算子は使用できません"},
    {"string s = \"a\"; s %= 1;", "数値以外では%=演算子は使用できません"},
    {"string s = \"a\"; s &= 1;", "数値以外では&=演算子は使用できません"},
    {"string s = \"a\"; s |= 1;", "数値以外では|=演算子は使用できません"},
    {"string s = \"a\"; s ^= 1;", "数値以外では^=演算子は使用できません"},
    {"int x = 4; x /= 0;", "ゼロによる除算"},
    {"int x = 4; x %= 0;", "ゼロによる除算"},
    {"array a = [1]; a *= [2];", "数値以外では*=演算子は使用できません"},
    // Increments.
    {"5++;", "変数以外には++演算子は使用できません"},
    {"5--;", "変数以外には--演算子は使用できません"},
    {"++5;", "変数以外には++演算子は使用できません"},
    {"string s = \"a\"; s++;", "数値以外では++演算子は使用できません"},
    {"string s = \"a\"; --s;", "数値以外では--演算子は使用できません"},
    {"const int c = 1; c++;", "変数[c]はconst属性のため代入できません"},
    // Casts.
    {"int x = (int)[1];", "型キャストする値が数値ではありません(int)"},
    {"float x = (float)[1];", "型キャストする値が数値ではありません(float)"},
    {"string x = (string)helper;", "型キャストする値が文字列ではありません(string)"},
    {"variable x = (function)1;", "型キャストする値が関数ではありません(function)"},
    // Jumps and calls.
    {"goto 5;", "ジャンプ先のラベル[5]が文字列形式ではありません"},
    {"goto \"nowhere\";", "ジャンプ先のラベル[nowhere]が存在しません。"},
    {"int x; goto \"x\";", "ラベル名ではない字句[x]にジャンプしようとしています。"},
    {"break;", "ジャンプ先のラベル[null]が存在しません。"},
    {"call 5;", "ジャンプ先のラベル[5]が文字列形式ではありません"},
    {"function g; g();", "ジャンプ先の関数[g]の実体がありません。"},
    {"function g = loose; g();", "引数の数が足りません。"},
    // Members, indexes and declarations.
    {"int x = (5).y;", "変数以外には.演算子を使用できません"},
    {"int x = (5)[0];", "変数以外には配列インデックスを使用できません"},
    {"array a; a[[1]] = 1;", "配列インデックスが数値ではありません。"},
    {"int n = 0; int a[n];", "配列の要素数がゼロまたは負の値です。"},
    {"int n = 2048; int a[n][n];", "配列[main.0.a]の要素数が多すぎます。"},
    {"int x = 1; x.y = 2;", "変数[x]はarray型ではないため配列を代入できません。"},
    // Parameters.
    {"function r(refer x) { return 0; } r(5);", "参照型引数に即値が指定されました。"},
    {"function o(object x) { return 0; } o(5);", "オブジェクト型引数の内容がオブジェクトではありません。"},
    {"function s(systemcall x) { return 0; } s(5);", "数値ではありません(引数)"},
    // System interrupts.
    {"__system_interrupt__(1, 2);", "システム割り込み命令の最後の引数が文字列型ではありません。"},
    {"__system_interrupt__(\"nothing\");", "[nothing]はシステム割り込み命令のオペランドではありません。"},
    {"__system_interrupt__(0.5, \"wait\");", "waitシステム割り込み命令の引数にゼロまたは負の値が指定されています。"},
    {"__system_interrupt__(-1, \"wait\");", "waitシステム割り込み命令の引数にゼロまたは負の値が指定されています。"},
    {"__system_interrupt__(\"1\", \"wait\");", "waitシステム割り込み命令の引数に数値以外が指定されています。"},
    {"__system_interrupt__(5, 0, \"create_thread\");",
     "create_threadシステム割り込み命令は関数以外ではスレッドを作成できません。"},
    {"__system_interrupt__((function)helper, 0, \"create_thread\");",
     "ジャンプ先の関数がありません。create_threadシステム割り込み命令は失敗しました。"},
    {"__system_interrupt__(helper, helper, \"create_thread\");", "スレッドへの引数が数値ではありません。"},
    {"__system_interrupt__(\"0\", \"exit_thread\");", "exit_threadシステム割り込み命令の引数に数値以外が指定されています。"},
    {"__system_interrupt__(-1, \"exit_thread\");",
     "exit_threadシステム割り込み命令の引数にスレッド数上限を超える値または負の値が指定されています。"},
    {"__system_interrupt__(256, \"exit_thread\");",
     "exit_threadシステム割り込み命令の引数にスレッド数上限を超える値または負の値が指定されています。"},
    {"__system_interrupt__(5, \"exist_value\");", "exist_valueシステム割り込み命令の引数に文字列以外が指定されています。"},
};

INSTANTIATE_TEST_SUITE_P(Vm, InstructionErrors, ::testing::ValuesIn(kInstructionErrors));

}  // namespace

namespace {

// ----------------------------------------------------------------------------
// Name links: a name word keeps the variable it found while the namespaces
// it looked through are unchanged. Every test runs with the links checked
// against a fresh lookup (verifyLinks), which aborts on a stale one.
// ----------------------------------------------------------------------------

class Links : public RunFixture {};

// A local defined after a name was first found in the globals takes over
// the name from then on, in the same loop.
TEST_F(Links, ALocalDefinedLaterTakesOverTheName) {
  ASSERT_EQ(LoadSource("int g = 1;\n"
                       "function main() {\n"
                       "  for (int i = 0; i < 3; i++) {\n"
                       "    trace(g);\n"
                       "    if (i == 1) { int g = 7; }\n"
                       "  }\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:1|int:1|int:7|");
}

// Recursion runs the same words under another namespace each time; after
// every return the caller's names are its own again.
TEST_F(Links, RecursionKeepsEachCallsLocals) {
  ASSERT_EQ(LoadSource("function f(int n) { int x = n * 10; if (n > 0) { f(n - 1); } trace(x); return 0; }\n"
                       "function main() { int x = 99; f(2); trace(x); f(1); trace(x); }\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:0|int:10|int:20|int:99|int:0|int:10|int:99|");
}

// A label called while a local of its name exists turns that local into
// the call's namespace, which goes at the return: the name then finds the
// label itself (a function value, which arrives as a zero entry).
TEST_F(Links, ALabelCallOverALocalOfItsName) {
  ASSERT_EQ(LoadSource("function main() {\n"
                       "  int sub = 1;\n"
                       "  trace(sub);\n"
                       "  call \"sub\";\n"
                       "  trace(sub);\n"
                       "  return 0;\n"
                       "sub:\n"
                       "  print(\"in\");\n"
                       "  return 0;\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:1|in|int:0|");
  EXPECT_EQ(CallList(), "");
}

// Threads running the same function each see their own locals, and a
// jump's label stays found across them.
TEST_F(Links, ThreadsRunningTheSameCode) {
  ASSERT_EQ(LoadSource("function worker(int id) {\n"
                       "  int mine = id;\n"
                       "  for (int i = 0; i < 2; i++) { mine += 100; __system_interrupt__(1, \"wait\"); }\n"
                       "  trace(mine);\n"
                       "}\n"
                       "function autorun start() {\n"
                       "  __system_interrupt__(worker, 1, \"create_thread\");\n"
                       "  __system_interrupt__(worker, 2, \"create_thread\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(RunToEnd(), 0);
  EXPECT_EQ(printed, "int:201|int:202|");
  EXPECT_EQ(CallList(), "");
}

// A label defined again by code compiled later is the one jumped to.
script::SystemCallResult* CompileMore(script::SystemCallResult* result, script::SystemCallContext context,
                                      script::SystemCallArgument*, char*) {
  context.engine->LoadScriptMemory("function later() {\r\ntarget:\r\n  print(\"new\");\r\n  return 0;\r\n}\r\n", "more.txt");
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

TEST_F(Links, ALabelDefinedAgainIsFollowed) {
  ASSERT_EQ(LoadSource("extern systemcall more();\n"
                       "function main() {\n"
                       "  for (int i = 0; i < 2; i++) {\n"
                       "    if (i == 1) { more(); }\n"
                       "    goto \"target\";\n"
                       "target:\n"
                       "    print(\"old\");\n"
                       "back:\n"
                       "  }\n"
                       "}\n"),
            "");
  se.RegisterSystemCall("more", CompileMore);
  EXPECT_EQ(Step(), 1);
  // The second jump lands in the later code, which returns from main.
  EXPECT_EQ(printed, "old|new|");
}

}  // namespace

namespace {

// ----------------------------------------------------------------------------
// Faults the engine does not repeat
// ----------------------------------------------------------------------------

class Mends : public RunFixture {};

// A function called through a variable with fewer arguments than its typed
// parameters binds the missing ones to their empty values and leaves the
// call's marker, so the caller's pending operands survive the return.
TEST_F(Mends, MissingArgumentsLeaveTheCallersStackAlone) {
  ASSERT_EQ(LoadSource("function two(int a, int b) { trace(a); trace(b); return a + b; }\n"
                       "function main() { function g = two; int r = 100 + g(5); trace(r); print(\"after\"); }\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:0|int:5|int:105|after|");
  EXPECT_EQ(CallList(), "");
}

// A local function or system-call declaration with a return type is named
// by the word after the type, not by the type.
TEST_F(Mends, LocalFunctionDeclarationsWithAReturnType) {
  ASSERT_EQ(LoadSource("function int twice(int x) { return x * 2; }\n"
                       "function main() { function int g = twice; trace(g(4)); }\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:8|");
  EXPECT_EQ(CallList(), "");
}

// Texts and threads have limits that end a runaway script with an error.
TEST_F(Mends, RunawayTextsAndThreadsStopWithAnError) {
  ASSERT_EQ(LoadSource("function main() { string s = \"0123456789\"; while (1) { s = s + s; } }\n"), "");
  se.run.maxTextBytes = 1000;
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "文字列が長すぎます。");

  ASSERT_EQ(LoadSource("function idle(int x) { __system_interrupt__(1000, \"wait\"); }\n"
                       "function main() { while (1) { __system_interrupt__(idle, 0, \"create_thread\"); } }\n"),
            "");
  se.run.threadLimit = 512;
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "これ以上スレッドは生成できません。create_threadシステム割り込み命令は失敗しました。");
  EXPECT_EQ(se.threads.size(), 512u);
}

}  // namespace

namespace {

// ----------------------------------------------------------------------------
// Steps and kept namespaces against plain runs: the same scripts run word by
// word with fresh namespaces for every call, and with both speed-ups, must
// print, trace and fail exactly alike (links are checked all the while).
// ----------------------------------------------------------------------------

struct SameRunCase {
  const char* name;
  const char* source;
  const char* linked = nullptr;  // "second.txt", when the source links it
};

// Compiles more code while the script runs: a new body for `twice` and a
// label `jump` of its own.
script::SystemCallResult* Redefine(script::SystemCallResult* result, script::SystemCallContext context,
                                   script::SystemCallArgument*, char*) {
  context.engine->LoadScriptMemory(
      "function twice(int x) {\r\n  trace(x);\r\n  return x * 3;\r\n}\r\n"
      "function later() {\r\nhop:\r\n  print(\"new hop\");\r\n  return 0;\r\n}\r\n",
      "redefine.txt");
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

const SameRunCase kSameRunCases[] = {
    {"objects made and dropped in many shapes",
     "object keep;\n"
     "function turn(object v, float k) { return {x: v.z * k, y: v.y - k, z: v.x + v.y}; }\n"
     "function flip(object v) { return {b: v.a + 1, a: \"n\" + v.a, s: \"t\" + v.a}; }\n"
     "function main() {\n"
     "  object v = {x: 1.0, y: 2.0, z: 3.0};\n"
     "  object r; object p; object q; object big; array list;\n"
     "  for (int i = 0; i < 5; i++) {\n"
     "    v.x = i;\n"
     "    r = turn(v, 2.0); trace(r);\n"
     "    p = {a: i, b: {x: i, y: \"n\"}, a: i + 1}; trace(p);\n"
     "    r = flip(p); trace(r);\n"
     "    q = r; q.extra = i; trace(q); trace(r);\n"
     "    if (i % 2) { keep = p; } else { keep = {k: turn(v, 1.0), j: i}; }\n"
     "    list[0] = {y: i}; list[1] = turn({z: i, y: 1, x: 0}, 1.0); trace(list);\n"
     "    big = {a: 1, b: 2, c: 3, d: 4, e: 5, f: 6, g: 7, h: 8, i: 9, j: 10, k: 11, l: 12, m: 13, n: 14,\n"
     "           o: 15, p: 16, q: i};\n"
     "    trace(big.q); trace(flip(big));\n"
     "    __system_interrupt__(1, \"wait\");\n"
     "  }\n"
     "  trace(keep);\n"
     "}\n"},
    {"loops",
     "function main() {\n"
     "  int total = 0; float f = 0.5; string s = \"\";\n"
     "  for (int i = 0; i < 40; i++) {\n"
     "    if (i % 3 == 0) { continue; }\n"
     "    total += i * 2 - 1; f = f * 1.5 - i; s = s + i;\n"
     "    if (total > 500) { break; }\n"
     "  }\n"
     "  int n = 0; while (n < 7) { n++; } do { n--; } while (n > 3);\n"
     "  trace(total); trace(f); trace(s); trace(n);\n"
     "}\n"},
    {"recursion",
     "function int fib(int n) { if (n < 2) { return n; } return fib(n - 1) + fib(n - 2); }\n"
     "function walk(int depth, string path) {\n"
     "  string here = path + depth;\n"
     "  if (depth > 0) { walk(depth - 1, here); walk(depth - 2, here + \"/\"); }\n"
     "  trace(here);\n"
     "}\n"
     "function main() { trace(fib(15)); walk(3, \"\"); trace(fib(10)); }\n"},
    {"redefinition",
     "extern systemcall redefine();\n"
     "function twice(int x) { if (x == 3) { redefine(); } return x * 2; }\n"
     "function main() {\n"
     "  for (int i = 0; i < 6; i++) { trace(twice(i)); call \"hop\"; }\n"
     "  function g = twice; trace(g(10));\n"
     "  return 0;\n"
     "hop:\n"
     "  print(\"old hop\");\n"
     "  return 0;\n"
     "}\n"},
    {"declarations in loops",
     "function main() {\n"
     "  for (int i = 0; i < 5; i++) {\n"
     "    int x = i * 10;\n"
     "    int a[i + 1];\n"
     "    a[i] = x;\n"
     "    trace(a);\n"
     "    if (i == 2) { int late = 7; }\n"
     "    if (i > 2) { trace(late); }\n"
     "    variable v; v = i; v += 0.5; trace(v);\n"
     "  }\n"
     "}\n"},
    {"refer into arrays",
     "function bump(refer r) { r += 1; return r; }\n"
     "function grow(refer r, array a) { return 0; }\n"
     "function widen(refer r) { list[50] = 5; list[-1] = 6; r += 100; return r; }\n"
     "array list;\n"
     "function main() {\n"
     "  int cells[4];\n"
     "  for (int i = 0; i < 4; i++) { bump(cells[i]); bump(cells[i % 2]); }\n"
     "  trace(cells);\n"
     "  list[0] = 1; list[1] = 2;\n"
     "  for (int k = 0; k < 3; k++) { trace(widen(list[1])); }\n"
     "  trace(list[1]); trace(list[50]);\n"
     "  object o; o.x = 1; bump(o.x); o.y = 2; bump(o.x); trace(o);\n"
     "}\n"},
    {"threads and waits",
     "int shared = 0;\n"
     "function worker(int id) {\n"
     "  int mine = id;\n"
     "  for (int i = 0; i < 3; i++) {\n"
     "    mine += id; shared += 1;\n"
     "    __system_interrupt__(1, \"wait\");\n"
     "  }\n"
     "  trace(mine); trace(shared);\n"
     "}\n"
     "function int deep(int n) { if (n == 0) { __system_interrupt__(1, \"wait\"); return 1; } return deep(n - 1) + 1; }\n"
     "function main() {\n"
     "  __system_interrupt__(worker, 1, \"create_thread\");\n"
     "  __system_interrupt__(worker, 5, \"create_thread\");\n"
     "  trace(deep(4));\n"
     "  __system_interrupt__(worker, 9, \"create_thread\");\n"
     "  trace(deep(2));\n"
     "  for (int w = 0; w < 5; w++) { __system_interrupt__(1, \"wait\"); }\n"
     "}\n"},
    {"strided elements",
     "function main() {\n"
     "  int t[50];\n"
     "  int sum = 0;\n"
     "  for (int step = 1; step < 9; step++) {\n"
     "    for (int j = 0; j < 50; j += step) { t[j] = j * step; }\n"
     "    for (int j = 49; j >= 0; j -= step) { if (t[j]) { sum += 1; } }\n"
     "  }\n"
     "  array g;\n"
     "  for (int j = 0; j < 200; j += 7) { g[j] = 0; g[j] = j; if (g[j]) { sum += 2; } }\n"
     "  trace(sum); trace(t); trace(g[196]);\n"
     "}\n"},
    {"jumps by name, the last to no label",
     "function main() {\n"
     "  int n = 0;\n"
     "top:\n"
     "  n++;\n"
     "  if (n < 5) { goto \"top\"; }\n"
     "  trace(n);\n"
     "  int notLabel = 3;\n"
     "  for (int i = 0; i < 3; i++) { if (i == 2) { goto \"notLabel\"; } trace(i); }\n"
     "}\n"},
    {"locals of many types in calls made again",
     "function mix(int n, string s) {\n"
     "  string t; trace(t); t = s + n;\n"
     "  variable v; if (n % 2) { v = \"odd\"; } else { v = n; } trace(v);\n"
     "  int a[2]; a[n % 2] = n; trace(a);\n"
     "  if (n > 1) { int late = n; trace(late); }\n"
     "  object o; o.k = t; trace(o);\n"
     "  if (n > 0) { mix(n - 1, t); }\n"
     "  float f; trace(f); f = n;\n"
     "  return 0;\n"
     "}\n"
     "function main() { for (int i = 0; i < 4; i++) { mix(i, \"x\"); } mix(2, \"y\"); }\n"},
    {"recursion through calls whose locals differ by depth",
     "int g = 5;\n"
     "function int f(int n) {\n"
     "  if (n % 2) { int g = n * 100; }\n"
     "  int t = 0;\n"
     "  t = g + n; trace(t);\n"
     "  if (n % 3 == 0) { int m = 1; } else { int k = 2; }\n"
     "  if (n > 0) { f(n - 1); }\n"
     "  t = g + n; trace(t);\n"
     "  if (n % 3 == 0) { trace(m); } else { trace(k); }\n"
     "  if (n < 2) { return n; }\n"
     "  return f(n - 1) + f(n - 2);\n"
     "}\n"
     "function main() { trace(f(5)); g = 7; trace(f(3)); }\n"},
    {"parameters named alike or after their function",
     "function int twice(int a, int a) { return a; }\n"
     "function int same(int same) { return same + 1; }\n"
     "function int three(int x, float y, string z) { trace(z); return x + y; }\n"
     "function main() {\n"
     "  for (int i = 0; i < 3; i++) { trace(twice(i, 2)); trace(same(i)); trace(three(i, 0.5, \"z\" + i)); }\n"
     "}\n"},
    {"every comparison every way",
     "function main() {\n"
     "  for (int i = -1; i < 2; i++) {\n"
     "    for (int j = -1; j < 2; j++) {\n"
     "      int r = 0;\n"
     "      if (i < j) { r += 1; } if (i <= j) { r += 2; } if (i > j) { r += 4; }\n"
     "      if (i >= j) { r += 8; } if (i == j) { r += 16; } if (i != j) { r += 32; }\n"
     "      trace(r);\n"
     "      trace(i < j); trace(i <= j); trace(i > j); trace(i >= j); trace(i == j); trace(i != j);\n"
     "    }\n"
     "  }\n"
     "}\n"},
    {"returns of every kind",
     "int kept = 4;\n"
     "function int givesInt(int n) { int r = n * 2; return r; }\n"
     "function float givesFloat(float x) { float r = x / 2; return r; }\n"
     "function string givesText(int n) { string r = \"n\" + n; return r; }\n"
     "function givesLoose(int n) { variable v; if (n % 2) { v = 1.5; } else { v = n; } return v; }\n"
     "function int throughRefer(refer r) { return r; }\n"
     "function int global() { return kept; }\n"
     "function int fromLoop(int n) { for (int i = 0; i < 10; i++) { if (i == n) { return i; } } return n; }\n"
     "function int noParameters() { int seven = 7; return seven; }\n"
     "function int three(int a, float b, string c) { trace(b); trace(c); return a; }\n"
     "function worker(int id) { int done = id; trace(done); return done; }\n"
     "function main() {\n"
     "  __system_interrupt__(worker, 3, \"create_thread\");\n"
     "  for (int i = 0; i < 3; i++) {\n"
     "    trace(givesInt(i) + givesInt(i + 1)); trace(givesFloat(i)); trace(givesText(i));\n"
     "    trace(givesLoose(i)); int x = i; trace(throughRefer(x)); trace(global() - i);\n"
     "    trace(fromLoop(i)); trace(noParameters()); trace(three(i, 0.25, \"c\"));\n"
     "    function g = three; trace(g(i)); trace(100 + g());\n"
     "  }\n"
     "  int last = 5;\n"
     "  return last;\n"
     "}\n"},
    {"linked files with names of their own",
     "#link \"second.txt\"\n"
     "int count = 100;\n"
     "function int mine(int n) { int total = 0; for (int i = 0; i < n; i++) { total += count; count++; } return total; }\n"
     "function main() {\n"
     "  for (int r = 0; r < 3; r++) { trace(mine(3)); trace(theirs(4)); trace(count); }\n"
     "}\n",
     "int count = 7;\r\n"
     "extern int limit = 4;\r\n"
     "function int theirs(int n) { int total = 0; for (int i = 0; i < n; i++) { total += count; count += 2; if (i >= limit) { total = 0; } } return total + mine(1); }\r\n"},
    {"members of objects built alike and not",
     "function object turn(object v, float k) { return {x: v.z * k, y: v.y - k, z: v.x + v.y}; }\n"
     "function main() {\n"
     "  array a;\n"
     "  for (int i = 0; i < 6; i++) {\n"
     "    if (i % 3 == 0) { a[i] = {px: i, py: 0.5 * i, tag: \"t\" + i}; }\n"
     "    if (i % 3 == 1) { a[i] = {py: 2.0, px: 1}; }\n"
     "    if (i % 3 == 2) { a[i] = {tag: \"only\"}; }\n"
     "  }\n"
     "  for (int r = 0; r < 3; r++) {\n"
     "    for (int i = 0; i < 6; i++) {\n"
     "      a[i].px += a[i].py * 2 + r; a[i].py -= 0.25; trace(a[i].px); trace(a[i].tag);\n"
     "      trace(a[i].px * a[i].py - i + 0.5 * r); trace(a[i].tag + i);\n"
     "    }\n"
     "    object v = {x: 1.0, y: r, z: 3};\n"
     "    object t = turn(v, 2.0); trace(t.x * v.x + t.y * v.y + t.z * v.z); trace(v.missing);\n"
     "  }\n"
     "  a[6] = 5; trace(a[6].px);\n"
     "}\n"},
    {"member names made by their first use",
     "int y = 5;\n"
     "function probe(object o, int n) {\n"
     "  o.y = n; trace(o.y); trace(o.w + n); o.x += 1; trace(o.x);\n"
     "  object e; e.fresh = o.w; trace(e); trace(y);\n"
     "  return o.x;\n"
     "}\n"
     "function main() {\n"
     "  for (int i = 0; i < 4; i++) {\n"
     "    object o = {x: i, w: 2};\n"
     "    if (i == 2) { o = {w: 1}; }\n"
     "    trace(probe(o, i)); trace(o);\n"
     "  }\n"
     "  trace(nothing.z); trace(z);\n"
     "  array list; list[0] = 1; trace(list.x);\n"
     "}\n"},
    {"member reads in arithmetic of every kind",
     "int big = 2147483647;\n"
     "function float viaRefer(refer r) { object h = {m: r}; return h.m * 2 + h.m - r + 1; }\n"
     "function float mix(object v, float k, int n) {\n"
     "  return v.x * k + v.y - n + v.x * v.y + v.u;\n"
     "}\n"
     "function main() {\n"
     "  object v = {x: 3, y: 0.5, s: \"t\", u: 1};\n"
     "  object w = {x: big, y: big};\n"
     "  object o; o.r = 1;\n"
     "  for (int i = 0; i < 4; i++) {\n"
     "    trace(v.x + 1); trace(v.x * 2.5); trace(v.y - i); trace(i * v.x); trace(1.5 + v.y);\n"
     "    trace(v.x * v.x); trace(v.x * v.y); trace(w.x + w.y); trace(w.x * 3); trace(big + w.y);\n"
     "    trace(v.s + 1); trace(v.s + v.x); trace(\"a\" + v.x); trace(v.x + \"b\");\n"
     "    trace(o.r + 1); trace(i + o.r); trace(viaRefer(o.r));\n"
     "    trace(mix(v, i, i));\n"
     "    if (i == 1) { v.u = \"text\"; }\n"
     "    if (i == 2) { v = {u: 2, y: 1, x: 0.25, s: 1}; }\n"
     "    if (i == 3) { v.x = i; }\n"
     "  }\n"
     "  trace(2 * v.s);\n"
     "}\n"},
    {"calls whose namespaces take their names in other orders",
     "int seen = 0;\n"
     "function int f(int n, object o) {\n"
     "  if (n % 2) { int a = n; } else { float b = n; }\n"
     "  trace(o.x + n); trace(o.z - n);\n"
     "  if (n % 3 == 0) { int a = 3; trace(a); }\n"
     "  if (n == 4) { int c1 = 1; int c2 = 2; int c3 = 3; int c4 = 4; int c5 = 5; int c6 = 6; int c7 = 7;\n"
     "    int c8 = 8; int c9 = 9; int c10 = 10; int c11 = 11; int c12 = 12; int c13 = 13; int c14 = 14; int c15 = 15;\n"
     "    int c16 = 16; int c17 = 17; trace(c17 + c1); }\n"
     "  if (n == 5) { call \"sub\"; }\n"
     "  if (n > 6) { seen = seen + f(n - 4, o); }\n"
     "  trace(__system_interrupt__(\"a\", \"exist_value\")); trace(__system_interrupt__(\"b\", \"exist_value\"));\n"
     "  return o.x * n;\n"
     "sub:\n"
     "  int inSub = seen; trace(\"sub\" + inSub);\n"
     "  return 0;\n"
     "}\n"
     "function main() {\n"
     "  object o = {x: 2, z: 0.5};\n"
     "  for (int i = 0; i < 10; i++) { trace(f(i, o)); if (i == 6) { int late = 1; } trace(f(i % 3, o)); }\n"
     "  trace(seen);\n"
     "}\n"},
    {"object parameters of the same and other layouts, changed and returned",
     "object g = {x: 9, y: 8, z: 7};\n"
     "function string spin(object v, object w) {\n"
     "  v.x += w.y; w.y = \"seen\"; v.added = 1;\n"
     "  return \"\" + (v.x * 2 - v.z) + v.y;\n"
     "}\n"
     "function echo(object v) { v.y = v.y + 1; return v; }\n"
     "function made(int n) { object r; r.x = n; r.y = n * 2; if (n % 2) { r.z = \"odd\"; } return r; }\n"
     "function global() { return g; }\n"
     "function viaRefer(refer o) { return o; }\n"
     "function main() {\n"
     "  object a = {x: 1, y: 2, z: 3};\n"
     "  object b = {x: 1.5, y: \"t\", z: 0};\n"
     "  object c = {y: 2, x: 1, z: 3};\n"
     "  object d = {x: 1, y: 2, z: 3, w: 4};\n"
     "  object n = {x: 1, y: {x: 2}, z: 3};\n"
     "  for (int i = 0; i < 4; i++) {\n"
     "    a.x = i;\n"
     "    trace(spin(a, a)); trace(spin(b, a)); trace(spin(c, d)); trace(spin(d, c)); trace(a); trace(b); trace(c);\n"
     "    trace(spin(n, a)); trace(n);\n"
     "    object e = echo(a); trace(e); trace(a); e.y = 0; trace(echo(e));\n"
     "    trace(made(i)); trace(global()); trace(g); object h = global(); h.x = i; trace(g);\n"
     "  }\n"
     "  object r = viaRefer(a); r.x = 100; trace(a); trace(spin(a, a)); trace(echo(a));\n"
     "}\n"},
    {"an error deep in recursion",
     "function int down(int n) { int local = n; if (n == 0) { return missing + 1; } return down(n - 1); }\n"
     "function main() { for (int i = 0; i < 3; i++) { trace(i); } trace(down(3)); }\n"},
};

class SameRuns : public RunFixture, public ::testing::WithParamInterface<SameRunCase> {
 protected:
  // Everything a run leaves to be seen: what it printed, how its steps ended,
  // its error and its call list.
  std::string RunWith(bool steps, bool reuse, bool verify = true) {
    printed.clear();
    failures.clear();
    if (GetParam().linked) test::WriteFile("second.txt", GetParam().linked);
    EXPECT_EQ(LoadSource(GetParam().source), "");
    se.RegisterSystemCall("redefine", Redefine);
    se.run.runSteps = steps;
    se.run.reuseNamespaces = reuse;
    se.run.keepObjects = reuse;
    se.run.verifyLinks = verify;
    std::string ends;
    for (int i = 0; i < 50; i++) {
      int result = Step();
      ends += std::to_string(result) + ",";
      if (result <= 0) break;
    }
    return printed + "\nends " + ends + "\nerror " + RunError() + "\ncalls " + CallList();
  }
};

TEST_P(SameRuns, StepsAndKeptNamespacesChangeNothing) {
  std::string plain = RunWith(false, false);
  EXPECT_NE(plain.find('|'), std::string::npos) << plain;  // the script did run
  EXPECT_EQ(RunWith(true, false), plain);
  EXPECT_EQ(RunWith(false, true), plain);
  EXPECT_EQ(RunWith(true, true), plain);
  EXPECT_EQ(RunWith(true, true, false), plain);  // as the engine runs, unchecked
}

// Words left on the stack that name a variable given back read the same in
// every way of running, whether the record went back to the pool or was
// kept for reuse. A callee whose code pushes a call marker and returns
// before its call (code that does not compile whole) leaves the words it
// pushed before that marker on its caller's stack: those naming its
// variables, or members of them, read as an undefined variable without a
// name. A declaration whose initial value is a member of the variable it
// declares gives that member back before it reads it: it keeps its name.
class StrayWords : public RunFixture {};

TEST_F(StrayWords, ReadTheSameInEveryRun) {
  struct Case {
    const char* source;
    bool compiles;
    const char* error;
  };
  const Case cases[] = {
      {"function len2{o%g(string)}function main{v+len2();}\n", false, "[]は定義されていない変数です。"},
      {"function len2{o.x%g(string)}function main{v+len2();}\n", false, "[]は定義されていない変数です。"},
      {"function two{object o = {x: 1}; o.x %g(string)}\n"
       "function main{int i; for (i = 0; i < 3; i++) { v + two(); }}\n",
       false, "[]は定義されていない変数です。"},
      {"function main() { object v = v.y; }\n", true, "[y]は定義されていない変数です。"},
      {"function f(object o) { object o = o.z; }\n"
       "function main() { for (int i = 0; i < 3; i++) { f({z: 1}); } }\n",
       true, "[z]は定義されていない変数です。"},
  };
  for (const Case& c : cases) {
    std::string runs[4];
    for (int mode = 0; mode < 4; mode++) {
      printed.clear();
      EXPECT_EQ(LoadSource(c.source).empty(), c.compiles) << c.source;
      se.run.runSteps = mode & 1;
      se.run.reuseNamespaces = se.run.keepObjects = mode & 2;
      se.run.verifyLinks = mode != 3;
      for (int i = 0; i < 5 && Step() > 0; i++) {
      }
      runs[mode] = RunError();
    }
    EXPECT_EQ(runs[0], c.error) << c.source;
    for (int mode = 1; mode < 4; mode++) EXPECT_EQ(runs[mode], runs[0]) << c.source << " " << mode;
  }
}

INSTANTIATE_TEST_SUITE_P(Vm, SameRuns, ::testing::ValuesIn(kSameRunCases),
                         [](const ::testing::TestParamInfo<SameRunCase>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; c++) name += std::isalnum(*c) ? *c : '_';
                           return name;
                         });

}  // namespace

namespace {

// Steps that lead into steps stop at the instruction limit exactly where the
// words one by one stop: same variables, same error, same word blamed, for
// every limit over a few turns of a loop.
class StepLimits : public RunFixture {
 protected:
  // The run's result, the named int or array globals and the call list.
  std::string RunWith(const char* source, std::initializer_list<const char*> globals, bool steps, int32_t limit) {
    printed.clear();
    EXPECT_EQ(LoadSource(source), "");
    se.run.runSteps = steps;
    se.run.verifyLinks = !steps;  // the steps as the engine runs them, unchecked
    se.run.instructionLimit = limit;
    std::string seen = std::to_string(Step());
    for (const char* name : globals) {
      const script::CScriptValue* v = se.FindGlobal(name);
      seen += std::string(" ") + name + "=" +
              (v->type == script::kValueCompound
                   ? platform::Cp932ToUtf8(script::WriteCompoundText(v->data.array, 0))
                   : std::to_string(v->data.i));
    }
    return seen + "\n" + CallList();
  }
};

TEST_F(StepLimits, ChainedStepsStopWhereWordsStop) {
  const char* source =
      "int i = 0;\nint k = 0;\nint a[4];\n"
      "function main() {\n"
      "  for (i = 0; i < 1000000; i++) {\n"
      "    a[k] = i;\n"
      "    k += 1;\n"
      "    if (k == 4) { k = 0; }\n"
      "  }\n"
      "}\n";
  for (int32_t limit = 1; limit <= 90; limit++)
    EXPECT_EQ(RunWith(source, {"i", "k", "a"}, true, limit), RunWith(source, {"i", "k", "a"}, false, limit)) << limit;
}

// The same for calls: a call step takes its callee's first binding along,
// and a return step ends the call; both stop where the words stop.
TEST_F(StepLimits, CallsAndReturnsStopWhereWordsStop) {
  const char* source =
      "int depth = 0;\n"
      "function int fib(int n) { depth = n; if (n < 2) { return n; } return fib(n - 1) + fib(n - 2); }\n"
      "function main() { for (;;) { fib(6); } }\n";
  for (int32_t limit = 1; limit <= 160; limit++)
    EXPECT_EQ(RunWith(source, {"depth"}, true, limit), RunWith(source, {"depth"}, false, limit)) << limit;
}

}  // namespace

namespace {

// Small objects given back during a frame are kept for the frame's next
// copies and literals; every one goes back to the pools when the frame
// ends, so the same round of object traffic leaves the pools as it found
// them, and a pool that runs out takes the kept records first.
class KeptObjects : public RunFixture {
 protected:
  const char* kTraffic =
      "function turn(object v, float k) { return {x: v.z * k, y: v.y - k, z: v.x + v.y}; }\n"
      "function main() {\n"
      "  object v = {x: 1.0, y: 2.0, z: 3.0};\n"
      "  object r; float sum = 0.0;\n"
      "  for (int round = 0; round < 4; round++) {\n"
      "    for (int i = 0; i < 50; i++) { v.x = i % 7; r = turn(v, 2.0); sum += r.x * v.x + r.y; }\n"
      "    trace(sum);\n"
      "    __system_interrupt__(1, \"wait\");\n"
      "  }\n"
      "}\n";
};

TEST_F(KeptObjects, GoBackToThePoolsAtEveryFrameEnd) {
  ASSERT_EQ(LoadSource(kTraffic), "");
  std::vector<uint32_t> values, arrays;
  for (int frame = 0; frame < 4; frame++) {
    ASSERT_EQ(Step(), 1);
    EXPECT_TRUE(se.pools.spareObjects.empty());
    EXPECT_TRUE(se.pools.argumentCopies.empty());
    EXPECT_FALSE(se.pools.keepSpareObjects);
    values.push_back(se.pools.values.Count());
    arrays.push_back(se.pools.arrays.Count());
  }
  EXPECT_EQ(printed, "float:882.000000|float:1764.000000|float:2646.000000|float:3528.000000|");
  // The first frame makes the call's kept namespace; the rounds after it
  // leave every count as it was.
  for (int frame = 2; frame < 4; frame++) {
    EXPECT_EQ(values[size_t(frame)], values[1]);
    EXPECT_EQ(arrays[size_t(frame)], arrays[1]);
  }
}

// A returned compound held by a variable of the returning call's own
// namespace leaves with it; any other is copied, so what the caller does
// with the result reaches no variable of its own.
TEST_F(KeptObjects, ReturnedLocalsLeaveTheirCallAndOthersAreCopied) {
  ASSERT_EQ(LoadSource("object g = {x: 9};\n"
                       "function local(int n) { object r; r.x = n; return r; }\n"
                       "function param(object v) { v.x = v.x + 1; return v; }\n"
                       "function global() { return g; }\n"
                       "function viaRefer(refer o) { return o; }\n"
                       "function main() {\n"
                       "  object a = {x: 1};\n"
                       "  for (int i = 0; i < 2; i++) { object b = local(i); b.x = 5; trace(local(3)); trace(b); }\n"
                       "  trace(param(a)); trace(param(a)); trace(a);\n"
                       "  object c = global(); c.x = 0; trace(g); trace(c);\n"
                       "  object d = viaRefer(a); d.x = 7; trace(a); trace(param(a));\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed,
            "compound:{x:3}|compound:{x:5}|compound:{x:3}|compound:{x:5}|compound:{x:2}|compound:{x:2}|"
            "compound:{x:1}|compound:{x:9}|compound:{x:0}|compound:{x:1}|compound:{x:2}|");
}

TEST_F(KeptObjects, AnExhaustedPoolTakesTheKeptRecordsFirst) {
  ASSERT_EQ(LoadSource("function make() { object t = {x: 1, y: 2, z: 3}; return 0; }\n"
                       "function main() {\n"
                       "  array list;\n"
                       "  make();\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "  make();\n"
                       "  list[0] = 1; list[1] = 2; list[2] = 3;\n"
                       "  trace(list);\n"
                       "}\n"),
            "");
  ASSERT_EQ(Step(), 1);
  // Room for the second call's object and one record more: the elements
  // fit only in the records of the object the call dropped, kept by then.
  script::ScriptPools& pools = se.pools;
  pools.values.capacityLimit = pools.values.Capacity();
  pools.arrays.capacityLimit = pools.arrays.Capacity();
  while (pools.values.Count() + 4 < pools.values.Capacity()) ASSERT_NE(pools.AllocScriptValue(), nullptr);
  while (pools.arrays.Count() + 1 < pools.arrays.Capacity()) ASSERT_NE(pools.AllocScriptArray(nullptr), nullptr);
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed, "compound:[1,2,3]|");
}

}  // namespace
