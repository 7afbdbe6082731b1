// script_builtins_test.cpp -- the engine's own system calls, called from
// scripts: maths in 32-bit floats, the string calls with their bounds, the
// message box, file tests, object files written and read, and the file
// choosers without a desktop.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "script_test_util.h"

namespace {

using scripttest::RunFixture;

class BuiltIns : public RunFixture {
 protected:
  // Declarations of every built-in, as a game's system header has them.
  static constexpr const char* kBuiltIns =
      "systemcall sin(float x); systemcall cos(float x); systemcall tan(float x);\n"
      "systemcall asin(float x); systemcall acos(float x); systemcall atan(float x);\n"
      "systemcall atan2(float y, float x); systemcall abs(float x); systemcall fabs(float x);\n"
      "systemcall iabs(int n); systemcall log(float x); systemcall log10(float x);\n"
      "systemcall pow(float x, float y); systemcall exp(float x); systemcall sqrt(float x);\n"
      "systemcall string_length(string s); systemcall string_head(string s, int n);\n"
      "systemcall string_tail(string s, int n); systemcall print_string(string s);\n"
      "systemcall input_string(); systemcall string_align_right(string s, string pad, int width);\n"
      "systemcall string_align_left(string s, string pad, int width);\n"
      "systemcall message_box(string text, string caption, int style);\n"
      "systemcall exist_file(string path); systemcall save_object(string path, object o);\n"
      "systemcall load_object(string path); systemcall get_read_file_name(string title, string filter);\n"
      "systemcall get_write_file_name(string title, string filter);\n"
      "systemcall get_folder_name(string title, string folder);\n";

  // Compiles the declarations and `body` as main's body and runs it to its
  // end; fails the test on a compile error.
  void RunMain(const std::string& body, const std::string& name = "main.txt") {
    std::string errors = LoadSource(std::string(kBuiltIns) + "function main() {\n" + body + "\n}\n", name);
    ASSERT_EQ(errors, "");
    RunToEnd();
  }
};

std::string FloatText(float f) {
  char text[64];
  std::snprintf(text, sizeof text, "float:%f", double(f));
  return text;
}

// Each maths call against the standard library in 32-bit floats; unknown
// arguments are the ones the table gives.
TEST_F(BuiltIns, MathsInThirtyTwoBitFloats) {
  struct Case {
    const char* call;
    std::string want;
  };
  const Case cases[] = {
      {"sin(0.5)", FloatText(std::sin(0.5f))},
      {"cos(0.5)", FloatText(std::cos(0.5f))},
      {"tan(0.5)", FloatText(std::tan(0.5f))},
      {"asin(0.5)", FloatText(std::asin(0.5f))},
      {"acos(0.5)", FloatText(std::acos(0.5f))},
      {"atan(2)", FloatText(std::atan(2.0f))},
      {"atan2(1, -1)", FloatText(std::atan2(1.0f, -1.0f))},  // y first: the second quadrant
      {"abs(-5)", "float:5.000000"},
      {"fabs(-2.5)", "float:2.500000"},
      {"iabs(-5)", "int:5"},
      {"iabs(7)", "int:7"},
      {"iabs(-2147483647 - 1)", "int:-2147483648"},  // no positive counterpart
      {"log(10)", FloatText(std::log(10.0f))},
      {"log10(1000)", "float:3.000000"},
      {"pow(2, 10)", "float:1024.000000"},
      {"pow(2, 0.5)", FloatText(std::pow(2.0f, 0.5f))},
      {"exp(1)", FloatText(std::exp(1.0f))},
      {"sqrt(2)", FloatText(std::sqrt(2.0f))},
      {"log(0)", FloatText(-INFINITY)},
  };
  std::string body;
  for (const Case& c : cases) body += std::string("expect(") + c.call + ", \"" + c.want + "\");\n";
  RunMain(body);
  EXPECT_EQ(RunError(), "");
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
}

TEST_F(BuiltIns, AllAreRegisteredAtResetAndTheHostMayReplaceThem) {
  const char* names[] = {"sin", "cos", "tan", "asin", "acos", "atan", "atan2", "abs", "fabs", "iabs",
                         "log", "log10", "pow", "exp", "sqrt", "string_length", "string_head", "string_tail",
                         "print_string", "input_string", "string_align_right", "string_align_left", "message_box",
                         "exist_file", "save_object", "load_object", "get_read_file_name", "get_write_file_name",
                         "get_folder_name"};
  se.ClearScriptEngine();
  EXPECT_EQ(se.registry.Count(), 0);
  se.ResetScriptEngine(nullptr, nullptr);
  EXPECT_EQ(se.registry.Count(), 29);
  for (const char* name : names) EXPECT_NE(se.FindSystemCallHandler(name), nullptr) << name;
  // One handler serves each group.
  EXPECT_EQ(se.FindSystemCallHandler("sin"), se.FindSystemCallHandler("sqrt"));
  EXPECT_EQ(se.FindSystemCallHandler("print_string"), se.FindSystemCallHandler("string_head"));
  EXPECT_EQ(se.FindSystemCallHandler("exist_file"), se.FindSystemCallHandler("get_folder_name"));
  EXPECT_NE(se.FindSystemCallHandler("sin"), se.FindSystemCallHandler("print_string"));

  // A host registration of the same name wins.
  ASSERT_EQ(LoadSource(std::string(kBuiltIns) + "function main() { expect(sqrt(4), \"int:42\"); }\n"), "");
  se.RegisterSystemCall("sqrt", [](script::SystemCallResult* r, script::SystemCallContext, script::SystemCallArgument*,
                                   char*) {
    r->type = script::kCallInt;
    r->intValue = 42;
    return r;
  });
  RunToEnd();
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
}

TEST_F(BuiltIns, StringCallsCountBytes) {
  RunMain(
      "expect(string_length(\"abcdef\"), \"int:6\");\n"
      "expect(string_length(\"\"), \"int:0\");\n"
      "expect(string_length(\"表\"), \"int:2\");\n"
      "expect(string_head(\"abcdef\", 3), \"string:abc\");\n"
      "expect(string_head(\"abcdef\", 10), \"string:abcdef\");\n"
      "expect(string_head(\"abcdef\", 0), \"string:\");\n"
      "expect(string_head(\"abcdef\", -2), \"string:\");\n"
      "expect(string_tail(\"abcdef\", 2), \"string:ef\");\n"
      "expect(string_tail(\"abcdef\", 6), \"string:abcdef\");\n"
      "expect(string_tail(\"abcdef\", -1), \"string:\");\n"
      "expect(string_head(12345, 2), \"string:12\");\n"
      "expect(string_align_right(7, \"0\", 3), \"string:007\");\n"
      "expect(string_align_right(7, \"ab\", 4), \"string:abab7\");\n"
      "expect(string_align_right(\"long\", \"0\", 2), \"string:long\");\n"
      "expect(string_align_right(\"x\", \"0\", -5), \"string:x\");\n"
      "expect(string_align_left(\"ab\", \" \", 5), \"string:ab   \");\n"
      "expect(string_align_left(\"ab\", \"xyz\", 6), \"string:abxyzxyz\");\n"
      // An empty pad can never reach the width: the text comes back as it is.
      "expect(string_align_right(\"7\", \"\", 3), \"string:7\");\n"
      "expect(string_align_left(\"7\", \"\", 2147483647), \"string:7\");\n");
  EXPECT_EQ(RunError(), "");
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
}

// Results are bounded by the 65,536-byte scratch buffer: longer ones are cut
// to 65,535 bytes, whatever width or text asks for more.
TEST_F(BuiltIns, LongResultsAreCutAtTheScratchBuffer) {
  RunMain(
      "string big = string_align_left(\"\", \"0123456789\", 100000);\n"
      "trace(string_length(big));\n"
      "trace(string_length(string_align_right(\"tail\", \"-\", 2147483647)));\n"
      "trace(string_length(string_align_left(big + big, \"-\", 10)));\n"
      "trace(string_length(string_head(big + big, 100000)));\n"
      "trace(string_length(string_tail(big + big, 70000)));\n"
      "trace(string_tail(string_align_right(\"tail\", \"ab\", 70000), 4));\n");
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed, "int:65535|int:65535|int:65535|int:65535|int:65535|string:baba|");
}

TEST_F(BuiltIns, MessageBoxAnswersWithTheWindowsCode) {
  test::MessageBoxRecorder boxes(7);  // No
  RunMain("trace(message_box(\"Save?\", \"Title\", 0x24));\n");
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Save?");
  EXPECT_EQ(boxes.Boxes()[0].caption, "Title");
  EXPECT_EQ(boxes.Boxes()[0].flags, 0x24u);
  EXPECT_EQ(printed, "int:7|");
}

TEST_F(BuiltIns, ExistFileLooksInTheScriptsFolder) {
  test::WriteFile("sub/here.txt", "x");
  test::WriteFile("top.txt", "x");
  test::WriteFile("sub/helper.txt",
                  test::Sjis("systemcall exist_file(string path);\r\n"
                             "function check() {\r\n"
                             "  trace(exist_file(\"here.txt\"));\r\n"
                             "  trace(exist_file(\"HERE.TXT\"));\r\n"
                             "  trace(exist_file(\"top.txt\"));\r\n"
                             "  trace(exist_file(\"/top.txt\"));\r\n"
                             "  trace(exist_file(\"../top.txt\"));\r\n"
                             "  trace(exist_file(\"\"));\r\n"
                             "  trace(exist_file(\"sub\"));\r\n"
                             "  return 0;\r\n"
                             "}\r\n"));
  ASSERT_EQ(LoadSource("#include \"sub/helper.txt\"\nfunction main() { check(); trace(exist_file(\"top.txt\")); }\n"),
            "");
  RunToEnd();
  EXPECT_EQ(RunError(), "");
  // A folder does not open as a file.
  EXPECT_EQ(printed, "int:1|int:1|int:0|int:1|int:1|int:0|int:0|int:1|");
}

TEST_F(BuiltIns, SaveObjectWritesTheIndentedTextAndMakesItsFolders) {
  RunMain(
      "object o = {name: \"tab\\there\", count: 3, rate: 2.5, list: [1, 2, {deep: 1}], empty: {}};\n"
      "trace(save_object(\"out\\\\data\\\\x.txt\", o));\n"
      "trace(save_object(\"flat.txt\", [1, \"two\"]));\n"
      "trace(save_object(\"none.txt\", 5));\n"
      "trace(save_object(\"out\", o));\n");
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed, "int:1|int:1|int:1|int:-1|");  // a folder cannot be written
  EXPECT_TRUE(platform::IsDirectory("out/data"));
  EXPECT_EQ(test::ReadFile("out/data/x.txt"),
            "{\r\n\tname:\"tab\\there\",\r\n\tcount:3,\r\n\trate:2.500000,\r\n\tlist:[1,2,\r\n\t\t{\r\n\t\t\tdeep:1\r\n"
            "\t\t}\r\n\t],\r\n\tempty:{\r\n\t}\r\n}");
  EXPECT_EQ(test::ReadFile("flat.txt"), "[1,\"two\"]");
  // Without an object the file is written empty.
  EXPECT_TRUE(platform::PathExists("none.txt"));
  EXPECT_EQ(test::ReadFile("none.txt"), "");
}

TEST_F(BuiltIns, SaveObjectOnAFullDiskKeepsTheOldFile) {
  test::WriteFile("kept.txt", "{old:1}");
  platform::SetWholeFileSpaceForTesting(3);
  RunMain("trace(save_object(\"kept.txt\", {name: \"longer than three bytes\"}));\n");
  platform::SetWholeFileSpaceForTesting(-1);
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed, "int:-1|");
  EXPECT_EQ(test::ReadFile("kept.txt"), "{old:1}");
}

TEST_F(BuiltIns, LoadObjectCompilesTheFileAsAnObject) {
  test::WriteFile("data/a.txt", "{a:1,b:[2,3]}");
  test::WriteFile("data/b.txt",
                  "// a data file is read as a script\r\n#define BASE 0x10\r\n"
                  "{\"quoted\": BASE + 1, bare = `raw`, rate: 1.5 * 2, list: [\"x\", ], }\r\n");
  RunMain(
      "object a = load_object(\"data/a.txt\");\n"
      "trace(a);\n"
      "trace(a.a);\n"
      "trace(a.b[1]);\n"
      "trace(__system_interrupt__(\"__system_load_object_data0\", \"exist_value\"));\n"
      "trace(load_object(\"data/b.txt\"));\n"
      "trace(__system_interrupt__(\"__system_load_object_data1\", \"exist_value\"));\n"
      "object again = load_object(\"data/a.txt\");\n"
      "trace(again.b);\n");
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed,
            "compound:{a:1,b:[2,3]}|int:1|int:3|int:0|"
            "compound:{quoted:17,bare:\"raw\",rate:3.000000,list:[\"x\"]}|int:0|compound:[2,3]|");
  // Each call took the next number; the globals are gone again.
  EXPECT_EQ(se.loadObjectCounter, 3);
  EXPECT_EQ(se.FindGlobal("__system_load_object_data0"), nullptr);
  EXPECT_EQ(se.FindGlobal("__system_load_object_data2"), nullptr);
}

TEST_F(BuiltIns, SavedObjectsReadBack) {
  RunMain(
      "object o = {text: \"q\\\"uote\", n: -4, f: 0.25, inner: {list: [1, [2, 3]]}};\n"
      "save_object(\"round.txt\", o);\n"
      "object back = load_object(\"round.txt\");\n"
      "expect(back, \"compound:{text:\\\"q\\\\\\\"uote\\\",n:-4,f:0.250000,inner:{list:[1,[2,3]]}}\");\n");
  EXPECT_EQ(RunError(), "");
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
}

TEST_F(BuiltIns, AnObjectFileThatDoesNotCompileIsARunTimeError) {
  test::WriteFile("bad.txt", "{a:1,,}");
  RunMain("trace(1);\nobject o = load_object(\"bad.txt\");\ntrace(2);\n");
  EXPECT_EQ(printed, "int:1|");
  EXPECT_EQ(RunError(), "load_objectのファイルが解釈できません。コンパイルエラーを出力します。");
  // The compile errors stay for the host to write.
  ASSERT_GT(se.errors.count, 0);
  EXPECT_GT(se.WriteCompileResults(), 0);
  EXPECT_NE(test::ReadFile("CompileError.txt").find(test::Sjis(Path("bad.txt"))), std::string::npos);

  // A missing file is one too.
  RunMain("object o = load_object(\"missing.txt\");\n");
  EXPECT_EQ(RunError(), "load_objectのファイルが解釈できません。コンパイルエラーを出力します。");
}

TEST_F(BuiltIns, FileChoosersAnswerNothingWithoutADesktop) {
  RunMain(
      "trace(get_read_file_name(\"Open\", \"Text (*.txt);*.txt;All;*.*;\"));\n"
      "trace(get_write_file_name(\"Save\", \"Text;*.txt\"));\n"
      "trace(get_folder_name(\"Folder\", \"\"));\n");
  EXPECT_EQ(RunError(), "");
  EXPECT_EQ(printed, "string:|string:|string:|");
}

}  // namespace
