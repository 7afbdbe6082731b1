// script_vm_test.cpp -- the virtual machine: scheduling, instructions and
// system calls, observed through a test system call that prints.

#include <cstring>

#include "script_test_util.h"

namespace {

using scripttest::ScriptFixture;

std::string* gPrinted = nullptr;

script::SystemCallResult* Print(script::SystemCallResult* result, script::SystemCallContext, script::SystemCallArgument* args,
                                char*) {
  if (gPrinted) {
    *gPrinted += args[0].text ? args[0].text : "(null)";
    *gPrinted += "|";
  }
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

class Vm : public ScriptFixture {
 protected:
  std::string printed;
  void SetUp() override { gPrinted = &printed; }
  void TearDown() override { gPrinted = nullptr; }

  // Compiles `body` after the print declaration; returns the compile errors.
  std::string Load(const std::string& body) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    se.run.verifyLinks = true;
    se.RegisterSystemCall("print", Print);
    test::WriteFile("main.txt", test::Sjis("systemcall print(string s);\r\n" + body));
    se.LoadScript("main.txt");
    return se.GetErrorListText();
  }
  int Step() { return se.RunScriptFrame(0); }
};

TEST_F(Vm, Smoke) {
  ASSERT_EQ(Load("function main() { print(\"\" + (1 + 2.5)); print(7/2); print(7.0/2); print(-7%2); print(\"a\"+1); print(1+\"a\"); print(0.5&&1); print(!0.5); if (0.5) { print(\"yes\"); } }\r\n"), "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "3.500000|3|3.500000|-1|a1|1a|0|0|yes|");
  EXPECT_EQ(se.GetCallListText(), "");
}

}  // namespace
