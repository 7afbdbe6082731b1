// script_vm_test.cpp -- the virtual machine run over whole scripts: every
// file of tests/script/scripts/ checks its own results through expect() and
// ends by printing "done".

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
