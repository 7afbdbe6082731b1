// script_test_util.cpp -- the test system calls and the fixture that runs
// scripts with them.

#include "script_test_util.h"

#include <cstdio>

namespace scripttest {

namespace {

std::string* gPrinted = nullptr;
std::vector<std::string>* gFailures = nullptr;

script::SystemCallResult* Print(script::SystemCallResult* result, script::SystemCallContext,
                                script::SystemCallArgument* args, char*) {
  if (gPrinted) *gPrinted += platform::Cp932ToUtf8(args[0].text ? args[0].text : "(null)") + "|";
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

script::SystemCallResult* Expect(script::SystemCallResult* result, script::SystemCallContext context,
                                 script::SystemCallArgument* args, char*) {
  std::string got = DescribeArgument(args[0]);
  std::string want = platform::Cp932ToUtf8(args[1].text ? args[1].text : "");
  if (gFailures && got != want)
    gFailures->push_back("line " + std::to_string(context.line) + ": got " + got + ", want " + want);
  result->type = script::kCallInt;
  result->intValue = got == want;
  return result;
}

script::SystemCallResult* Trace(script::SystemCallResult* result, script::SystemCallContext,
                                script::SystemCallArgument* args, char*) {
  if (gPrinted) *gPrinted += DescribeArgument(args[0]) + "|";
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

}  // namespace

std::string DescribeArgument(const script::SystemCallArgument& a) {
  char number[64];
  switch (a.type) {
    case script::kCallInt: std::snprintf(number, sizeof number, "int:%d", a.intValue); return number;
    case script::kCallFloat: std::snprintf(number, sizeof number, "float:%f", double(a.floatValue)); return number;
    case script::kCallString: return "string:" + platform::Cp932ToUtf8(a.text ? a.text : "");
    default: return "compound:" + platform::Cp932ToUtf8(script::WriteCompoundText(a.compound, 0));
  }
}

void RunFixture::SetUp() {
  gPrinted = &printed;
  gFailures = &failures;
}

void RunFixture::TearDown() {
  gPrinted = nullptr;
  gFailures = nullptr;
}

std::string RunFixture::LoadSource(const std::string& source, const std::string& name) {
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  se.run.verifyLinks = true;
  se.RegisterSystemCall("print", Print);
  se.RegisterSystemCall("expect", Expect);
  se.RegisterSystemCall("trace", Trace);
  // Lines end only at CR LF in scripts.
  std::string text = kDeclarations;
  for (char c : source) {
    if (c == '\r') continue;
    if (c == '\n') text += '\r';
    text += c;
  }
  test::WriteFile(name, test::Sjis(text));
  se.LoadScript(name.c_str());
  return platform::Cp932ToUtf8(se.GetErrorListText());
}

int RunFixture::RunToEnd(int limit) {
  int result = 0;
  for (int i = 0; i < limit; i++) {
    result = Step();
    if (result <= 0) break;
  }
  return result;
}

std::string RunFixture::RunError() const {
  return se.run.error.stored ? platform::Cp932ToUtf8(se.run.error.text) : std::string();
}

std::string RunFixture::CallList() const { return platform::Cp932ToUtf8(se.GetCallListText()); }

}  // namespace scripttest
