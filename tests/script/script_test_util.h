// script_test_util.h -- what the script tests share: an engine in a fresh
// working folder, loading a script and reading back its error file and
// token list.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_public.h"
#include "script/script_local.h"
#include "test_support.h"

namespace scripttest {

// A script engine whose working folder is a fresh empty folder.
class ScriptFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;        // first: the engine starts in it
  script::ScriptEngine se;
  std::string folder = platform::WorkingFolder();

  // Empties the engine and runs only the front end (tokeniser and
  // preprocessor) over `file` and the files it links, as the compile loop
  // does, then writes the error files. Returns "CompileError.txt".
  std::string Load(const std::string& file) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    se.AddLinkedFileDefault(file.c_str());
    while (size_t(se.links.current) < se.links.entries.size()) {
      const script::LinkEntry& entry = se.links.entries[size_t(se.links.current)];
      script::SourcePosition position{script::InternFileName(se, entry.path), 0, se.links.current, nullptr};
      std::string savedFolder = se.currentFolder;
      if (!script::TokeniseFile(se, &position)) break;
      script::FreeDefineTable(se);
      se.links.current++;
      se.currentFolder = savedFolder;
    }
    se.WriteCompileResults();
    return test::ReadFile("CompileError.txt");
  }
  std::string Load(const std::string& file, const std::string& text) {
    test::WriteFile(file, text);
    return Load(file);
  }

  // Empties the engine, loads and compiles `file` as the host does and
  // writes the error files. Returns "CompileError.txt".
  std::string Compile(const std::string& file) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    se.LoadScript(file.c_str());
    se.WriteCompileResults();
    return test::ReadFile("CompileError.txt");
  }
  std::string Compile(const std::string& file, const std::string& text) {
    test::WriteFile(file, text);
    return Compile(file);
  }

  // The full path of a file of the working folder, as errors print it.
  std::string Path(const std::string& name) const { return folder + "/" + name; }

  // One line of "CompileError.txt": "<path>(<line>行目)-<message>" CR LF,
  // in Shift-JIS. `message` is UTF-8.
  std::string Line(const std::string& name, int line, const std::string& message) const {
    return test::Sjis(Path(name) + "(" + std::to_string(line) + "行目)-" + message + "\r\n");
  }
  // The token list as "kind:text" (numbers by their printed form).
  std::vector<std::string> TokenList() {
    std::vector<std::string> out;
    for (script::CScriptLiteral* w = se.tokenHead; w; w = w->next)
      out.push_back(std::to_string(int(w->kind)) + ":" + script::WordPrintedText(*w));
    return out;
  }
  // The lines of the token list.
  std::vector<int> TokenLines() {
    std::vector<int> out;
    for (script::CScriptLiteral* w = se.tokenHead; w; w = w->next) out.push_back(w->position.line);
    return out;
  }
};

// ----------------------------------------------------------------------------
// Running scripts
//
// Scripts reach the tests through three test system calls, declared at the
// top of every source the fixture loads:
//   print(string s)                  appends s and "|" to `printed`
//   expect(variable got, string want) checks got's "type:value" form
//                                    ("int:3", "float:3.500000", "string:a",
//                                    "compound:{a:1}"); a miss is listed in
//                                    `failures` with the line of the call
//   trace(variable v)                appends v's "type:value" form and "|"
// ----------------------------------------------------------------------------

// The text `f` raised as a script error, or "" when nothing was raised.
template <typename F>
std::string Raised(F f) {
  try {
    f();
  } catch (const script::ScriptError& e) {
    return e.text;
  }
  return "";
}

// The "type:value" form of a system-call argument.
std::string DescribeArgument(const script::SystemCallArgument& a);

class RunFixture : public ScriptFixture {
 protected:
  std::string printed;                // by print and trace
  std::vector<std::string> failures;  // by expect: "line N: got X, want Y"

  void SetUp() override;
  void TearDown() override;

  static constexpr const char* kDeclarations =
      "extern systemcall print(string s);\r\nextern systemcall expect(variable got, string want);\r\n"
      "extern systemcall trace(variable v);\r\n";

  // Empties the engine, registers the test calls and compiles the test
  // declarations followed by `source` (UTF-8, lines ending in LF or CR LF)
  // as the file `name`. Returns "CompileError.txt"'s text (UTF-8).
  std::string LoadSource(const std::string& source, const std::string& name = "main.txt");
  // One frame step (not paused).
  int Step(int paused = 0) { return se.RunScriptFrame(paused); }
  // Steps until no thread is live (at most `limit` steps). Returns the last
  // step's result.
  int RunToEnd(int limit = 1000);
  // The stored run-time error text (UTF-8), "" when there is none.
  std::string RunError() const;
  // GetCallListText in UTF-8.
  std::string CallList() const;
};

}  // namespace scripttest
