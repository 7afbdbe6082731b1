// script_threads_test.cpp -- threads and the frame step: scheduling order,
// waits, paused mode, thread creation and ending, returns, the endless-loop
// guard, stack limits, the stored run-time error with its call list, the
// current script folder and the step's buffers.

#include <cstring>

#include "script_test_util.h"

namespace {

using scripttest::RunFixture;

class Threads : public RunFixture {
 protected:
  // The thread table's live threads.
  int LiveThreads() const {
    int live = 0;
    for (const script::ScriptThread* t : se.threads)
      if (t && t->currentWord) live++;
    return live;
  }
};

// Threads run in creation order in every step; one created during a step
// runs in it, after the threads created before it.
TEST_F(Threads, RunInCreationOrderAndNewOnesInTheSameStep) {
  ASSERT_EQ(LoadSource("int made = 0;\n"
                       "function late(int x) { while (1) { print(\"late\"); __system_interrupt__(1, \"wait\"); } }\n"
                       "function worker(int id) {\n"
                       "  while (1) {\n"
                       "    print(\"w\" + id);\n"
                       "    if (id == 2 && made == 0) { made = 1; __system_interrupt__(late, 0, \"create_thread\"); }\n"
                       "    __system_interrupt__(1, \"wait\");\n"
                       "  }\n"
                       "}\n"
                       "function main() {\n"
                       "  print(\"t\" + __system_interrupt__(worker, 1, \"create_thread\"));\n"
                       "  print(\"t\" + __system_interrupt__(worker, 2, \"create_thread\"));\n"
                       "  print(\"t\" + __system_interrupt__(worker, 3, \"create_thread\"));\n"
                       "  while (1) { print(\"main\"); __system_interrupt__(1, \"wait\"); }\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 5);  // main, three workers and the late one
  EXPECT_EQ(printed, "t1|t2|t3|main|w1|w2|w3|late|");
  printed.clear();
  EXPECT_EQ(Step(), 5);
  EXPECT_EQ(printed, "main|w1|w2|w3|late|");
}

// A wait of n skips n-1 steps; the value is truncated, so a wait below 1
// is refused.
TEST_F(Threads, WaitCountsSteps) {
  ASSERT_EQ(LoadSource("int step = 0;\n"
                       "function main() { while (1) { print(\"a\" + step); __system_interrupt__(3, \"wait\"); } }\n"
                       "function counter(int x) { while (1) { step++; __system_interrupt__(1.9, \"wait\"); } }\n"
                       "function boot() { __system_interrupt__(counter, 0, \"create_thread\"); return 0; }\n"
                       "function autorun start() { boot(); }\n"),
            "");
  for (int i = 0; i < 7; i++) EXPECT_GT(Step(), 0);
  // main runs first in each step, the counter after it.
  EXPECT_EQ(printed, "a0|a3|a6|");
}

// In paused mode only threads flagged to run while paused run; the others
// keep their wait counters.
TEST_F(Threads, PausedModeRunsOnlyFlaggedThreads) {
  ASSERT_EQ(LoadSource("function flagged(int x) {\n"
                       "  __system_interrupt__(__system_interrupt__(\"get_thread_id\"), 1, \"pause_thread\");\n"
                       "  while (1) { print(\"f\"); __system_interrupt__(1, \"wait\"); }\n"
                       "}\n"
                       "function main() {\n"
                       "  __system_interrupt__(flagged, 0, \"create_thread\");\n"
                       "  while (1) { print(\"m\"); __system_interrupt__(2, \"wait\"); }\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(printed, "m|f|");
  printed.clear();
  EXPECT_EQ(se.threads[0]->wait, 1);
  EXPECT_EQ(Step(1), 1);  // only the flagged thread counts and runs
  EXPECT_EQ(Step(1), 1);
  EXPECT_EQ(printed, "f|f|");
  EXPECT_EQ(se.threads[0]->wait, 1);  // main's wait was not counted down
  printed.clear();
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(printed, "f|");  // main's last waiting step
  printed.clear();
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(printed, "m|f|");
}

// A thread's argument: an int arrives as a float and a float as an int,
// unless the parameter is typed; a variable passes its value.
TEST_F(Threads, ThreadArgumentsSwapIntAndFloat) {
  ASSERT_EQ(LoadSource("function loose(x) { trace(x); return 0; }\n"
                       "function typed(int x) { trace(x); return 0; }\n"
                       "function main() {\n"
                       "  __system_interrupt__(loose, 5, \"create_thread\");\n"
                       "  __system_interrupt__(loose, 2.7, \"create_thread\");\n"
                       "  __system_interrupt__(typed, 5, \"create_thread\");\n"
                       "  __system_interrupt__(loose, \"s\", \"create_thread\");\n"
                       "  __system_interrupt__(loose, [1, 2], \"create_thread\");\n"
                       "  array list = [3];\n"
                       "  __system_interrupt__(loose, list, \"create_thread\");\n"
                       "  int n = 4;\n"
                       "  __system_interrupt__(loose, n, \"create_thread\");\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 8);
  EXPECT_EQ(printed,
            "float:5.000000|int:2|int:5|string:s|compound:[1,2]|compound:[3]|float:4.000000|");
  EXPECT_EQ(CallList(), "");
}

// The autorun functions start with the int 0, which an untyped parameter
// sees as the float 0.0.
TEST_F(Threads, AutorunFunctionsStartInDeclarationOrder) {
  ASSERT_EQ(LoadSource("function autorun b(x) { trace(x); }\n"
                       "function main() { print(\"main\"); __system_interrupt__(1, \"wait\"); }\n"
                       "function autorun a(int x) { trace(x); }\n"),
            "");
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(printed, "float:0.000000|main|int:0|");
}

// The end of a thread's root function ends that thread; the end of "main"
// ends every thread in the same step.
TEST_F(Threads, ReturningFromMainEndsEveryThread) {
  ASSERT_EQ(LoadSource("function worker(int x) { while (1) { print(\"w\"); __system_interrupt__(1, \"wait\"); } }\n"
                       "function short(int x) { print(\"s\"); return 7; }\n"
                       "function main() {\n"
                       "  __system_interrupt__(short, 0, \"create_thread\");\n"
                       "  __system_interrupt__(worker, 0, \"create_thread\");\n"
                       "  __system_interrupt__(worker, 0, \"create_thread\");\n"
                       "  __system_interrupt__(2, \"wait\");\n"
                       "  print(\"end\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 4);
  EXPECT_EQ(printed, "s|w|w|");
  EXPECT_EQ(LiveThreads(), 3);  // short's thread has ended
  printed.clear();
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(printed, "w|w|");
  printed.clear();
  EXPECT_EQ(Step(), 1);  // the workers were ended before their turn
  EXPECT_EQ(printed, "end|");
  EXPECT_EQ(LiveThreads(), 0);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(se.RunScriptStep(), -1);
}

// A full table grows by 256 entries and the new thread takes the first new
// index; ended slots are reused first, with fresh stacks.
TEST_F(Threads, TheTableGrowsAndSlotsAreReused) {
  ASSERT_EQ(LoadSource("function idle(int x) { while (1) { __system_interrupt__(100, \"wait\"); } }\n"
                       "function short(int x) { return 0; }\n"
                       "function main() {\n"
                       "  for (int i = 0; i < 255; i++) { __system_interrupt__(idle, 0, \"create_thread\"); }\n"
                       "  trace(__system_interrupt__(idle, 0, \"create_thread\"));\n"
                       "  __system_interrupt__(7, \"exit_thread\");\n"
                       "  trace(__system_interrupt__(short, 0, \"create_thread\"));\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "  trace(__system_interrupt__(idle, 0, \"create_thread\"));\n"
                       "  __system_interrupt__(100, \"wait\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 257);  // slot 7 runs once: as the short thread
  EXPECT_EQ(printed, "int:256|int:7|");
  EXPECT_EQ(se.threads.size(), 512u);
  EXPECT_EQ(Step(), 257);
  EXPECT_EQ(printed, "int:256|int:7|int:7|");  // the short thread's slot again
  EXPECT_EQ(CallList(), "");
}

// exit_thread: another thread does not run again and the result is 0; the
// running thread's slice ends at once without a result.
TEST_F(Threads, ExitThread) {
  ASSERT_EQ(LoadSource("function worker(int x) { while (1) { print(\"w\"); __system_interrupt__(1, \"wait\"); } }\n"
                       "function self(int x) { print(\"in\"); __system_interrupt__(__system_interrupt__(\"get_thread_id\"), \"exit_thread\"); print(\"never\"); }\n"
                       "function main() {\n"
                       "  int id = __system_interrupt__(worker, 0, \"create_thread\");\n"
                       "  __system_interrupt__(self, 0, \"create_thread\");\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "  trace(__system_interrupt__(id, \"exit_thread\"));\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(printed, "w|in|");
  printed.clear();
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:0|");
  EXPECT_EQ(CallList(), "");
  // The ended threads' stacks went back to the pool.
  EXPECT_TRUE(se.threads[1]->data.entries.empty());
  EXPECT_TRUE(se.threads[2]->calls.entries.empty());
}

// pause_thread with an index outside the table (or a slot never used)
// writes nothing and still answers 1.
TEST_F(Threads, PauseThreadOutsideTheTableWritesNothing) {
  ASSERT_EQ(LoadSource("function main() {\n"
                       "  trace(__system_interrupt__(-1, 1, \"pause_thread\"));\n"
                       "  trace(__system_interrupt__(100000, 1, \"pause_thread\"));\n"
                       "  trace(__system_interrupt__(200, 1, \"pause_thread\"));\n"
                       "  trace(__system_interrupt__(0, 2.9, \"pause_thread\"));\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:1|int:1|int:1|int:1|");
  EXPECT_EQ(se.threads[0]->runWhilePaused, 2);
  EXPECT_EQ(se.threads.size(), 256u);
}

// exist_value looks in the thread's namespace, then the globals; a dotted
// path walks members.
TEST_F(Threads, ExistValue) {
  ASSERT_EQ(LoadSource("extern object config = {screen: {width: 640}};\n"
                       "function main() {\n"
                       "  int local = 1;\n"
                       "  trace(__system_interrupt__(\"local\", \"exist_value\"));\n"
                       "  trace(__system_interrupt__(\"config.screen.width\", \"exist_value\"));\n"
                       "  trace(__system_interrupt__(\"config.screen.height\", \"exist_value\"));\n"
                       "  trace(__system_interrupt__(\"nothing\", \"exist_value\"));\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "int:1|int:1|int:0|int:0|");
}

TEST_F(Threads, ExitApplicationCallsTheExitHook) {
  static int exitCode = -1;
  exitCode = -1;
  ASSERT_EQ(LoadSource("function main() { print(\"a\"); __system_interrupt__(3, \"exit_application\"); print(\"b\"); }\n"), "");
  se.run.exitApplication = [](int code) { exitCode = code; };
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(printed, "a|");
}

TEST_F(Threads, ExitApplicationEndsTheProcess) {
  ASSERT_EQ(LoadSource("function main() { __system_interrupt__(3, \"exit_application\"); }\n"), "");
  EXPECT_EXIT(Step(), ::testing::ExitedWithCode(3), "");
}

// ----------------------------------------------------------------------------
// The endless-loop guard and the stacks
// ----------------------------------------------------------------------------

// The guard is tested first in each turn: a slice whose last word is its
// limit-th instruction raises even though the thread would now wait. The
// count starts again in every slice.
TEST_F(Threads, TheGuardComesBeforeTheWait) {
  // The first slice runs 7 words (the loop's label word, the condition, the
  // wait), every later one 9.
  const char* source = "function main() { while (1) { __system_interrupt__(1, \"wait\"); } }\n";
  ASSERT_EQ(LoadSource(source), "");
  se.run.instructionLimit = 10;
  for (int i = 0; i < 5; i++) EXPECT_EQ(Step(), 1);
  ASSERT_EQ(LoadSource(source), "");
  se.run.instructionLimit = 9;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "システムに処理を返しません。無限ループの疑い。");
}

// The real limit: 100,000,000 instructions in one slice. The loop runs 8
// words a turn after the label word, so the counter shows exactly how far
// it got.
TEST_F(Threads, AnEndlessLoopEndsAfterOneHundredMillionInstructions) {
  ASSERT_EQ(LoadSource("extern int n = 0;\nfunction main() {\n  while (1) { n++; }\n}\n"), "");
  EXPECT_EQ(se.run.instructionLimit, 100000000);
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "システムに処理を返しません。無限ループの疑い。");
  EXPECT_EQ(se.FindGlobal("n")->data.i, (100000000 - 1) / 8 + 1);
  EXPECT_EQ(CallList(), Path("main.txt") + "(6行目)-システムに処理を返しません。無限ループの疑い。\r\n"
                                          "<--- functions call list --->\r\n[Called as a thread.]-main\r\n");
}

TEST_F(Threads, EndlessRecursionOverflowsTheStack) {
  ASSERT_EQ(LoadSource("function down(int n) { return down(n + 1); }\nfunction main() { down(0); }\n"), "");
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "スタックオーバーフロー(データスタック)");
  EXPECT_GT(se.callList.size(), 65000u);  // every pending call, the root included
  EXPECT_EQ(se.callList.front().functionName, "down");
  EXPECT_TRUE(se.callList.front().hasPosition);
  EXPECT_EQ(se.callList.back().functionName, "main");
  EXPECT_FALSE(se.callList.back().hasPosition);
}

TEST_F(Threads, AnEmptyStackUnderflows) {
  // The empty statement first removes the thread's argument.
  ASSERT_EQ(LoadSource("function main() { ; __system_interrupt__(\"wait\"); }\n"), "");
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "スタックアンダーフロー(データスタック)");
}

// A label definition that code falls through to leaves nothing on the
// stack: loops whose body ends in an if statement do not grow it.
TEST_F(Threads, LoopsEndingInAnIfDoNotGrowTheStack) {
  ASSERT_EQ(LoadSource("extern int n = 0;\n"
                       "function main() {\n"
                       "  while (n++ < 100000) { if (1) { } }\n"
                       "  do { if (n) { } } while (n-- > 0);\n"
                       "  for (n = 0; n < 100000; n++) { if (n) { } else { } }\n"
                       "  print(\"done\");\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "done|");
  EXPECT_EQ(CallList(), "");
  EXPECT_LE(se.threads[0]->data.end, 2);
  EXPECT_LE(se.threads[0]->data.entries.size(), 16u);
}

// ----------------------------------------------------------------------------
// Run-time errors
// ----------------------------------------------------------------------------

// The error names the word that raised it and the pending calls from the
// innermost outwards, down to the thread's root.
TEST_F(Threads, TheCallListNamesEveryPendingCall) {
  ASSERT_EQ(LoadSource("function inner(int x) {\n"
                       "  return x / 0;\n"
                       "}\n"
                       "function outer(int x) {\n"
                       "  return inner(x) + 1;\n"
                       "}\n"
                       "function worker(int x) {\n"
                       "  outer(x);\n"
                       "}\n"
                       "function main() {\n"
                       "  __system_interrupt__(worker, 1, \"create_thread\");\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "}\n"),
            "");
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(CallList(), Path("main.txt") + "(5行目)-ゼロによる除算\r\n<--- functions call list --->\r\n" +
                            Path("main.txt") + "(8行目)-inner\r\n" + Path("main.txt") +
                            "(11行目)-outer\r\n[Called as a thread.]-worker\r\n");
  EXPECT_EQ(LiveThreads(), 0);
  // The failing thread's namespaces were taken down with the list; main's
  // stay for the value dump.
  EXPECT_EQ(script::FindMember(se.namespaces.global, "[1]worker"), nullptr);
  EXPECT_NE(script::FindMember(se.namespaces.global, "[0]main"), nullptr);
}

// Only the first error since the last reset stays, with its call list.
TEST_F(Threads, TheFirstErrorStays) {
  ASSERT_EQ(LoadSource("function second(int x) { int y = \"a\" - 1; }\n"
                       "function main() { int y = 1 / 0; }\n"),
            "");
  EXPECT_EQ(se.RunScriptStep(), 0);
  std::string first = CallList();
  EXPECT_EQ(RunError(), "ゼロによる除算");
  script::CreateScriptThread(se, se.FindGlobal("second"), 0);
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(CallList(), first);
  EXPECT_EQ(test::ReadFile("RuntimeError.txt"), se.GetCallListText());
  // A reset forgets it.
  se.ResetScriptEngine(nullptr, nullptr);
  EXPECT_EQ(CallList(), "");
}

// RunScriptStep writes the error files after an error and says whether
// threads ran otherwise.
TEST_F(Threads, RunScriptStepReportsAndWritesTheErrorFiles) {
  ASSERT_EQ(LoadSource("extern int kept = 4;\nfunction main() { __system_interrupt__(1, \"wait\"); kept = 1 % 0; }\n"), "");
  EXPECT_EQ(se.RunScriptStep(), 1);
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));
  EXPECT_EQ(se.RunScriptStep(), 0);
  EXPECT_EQ(test::ReadFile("RuntimeError.txt"),
            test::Sjis(Path("main.txt") + "(5行目)-ゼロによる除算\r\n<--- functions call list --->\r\n"
                                          "[Called as a thread.]-main\r\n"));
  EXPECT_NE(test::ReadFile("CompiledCode.txt").find("(main.0.kept)"), std::string::npos);
  std::string values = test::ReadFile("CompiledValue.txt");
  EXPECT_NE(values.find("kept:4"), std::string::npos);
  EXPECT_EQ(values.substr(values.size() - 2), std::string("\0\0", 2));
  EXPECT_EQ(se.RunScriptStep(), -1);
}

// ----------------------------------------------------------------------------
// The current script folder and the step's buffers
// ----------------------------------------------------------------------------

std::vector<std::string>* gFolders = nullptr;

script::SystemCallResult* RecordFolder(script::SystemCallResult* result, script::SystemCallContext context,
                                       script::SystemCallArgument*, char* scratch) {
  if (gFolders) gFolders->push_back(context.folder);
  std::strcpy(scratch, "scratch");
  result->type = script::kCallString;
  result->text = scratch;
  return result;
}

// Code runs with the folder of the file that holds it; the step restores
// the folder it found, after an error as well, and frees its buffers.
TEST_F(Threads, TheFolderFollowsTheCodesFile) {
  std::vector<std::string> folders;
  gFolders = &folders;
  test::WriteFile("lib/deep/other.txt", "extern function there() { folder(); return 0; }\r\n");
  ASSERT_EQ(LoadSource("#link \"../lib/deep/other.txt\"\n"
                       "extern systemcall folder();\n"
                       "function main() {\n"
                       "  folder();\n"
                       "  there();\n"
                       "  folder();\n"
                       "  __system_interrupt__(1, \"wait\");\n"
                       "  folder();\n"
                       "  int x = 1 / 0;\n"
                       "}\n",
                       "sub/main.txt"),
            "");
  se.RegisterSystemCall("folder", RecordFolder);
  se.currentFolder = "/before";
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(folders, (std::vector<std::string>{folder + "/sub", folder + "/lib/deep", folder + "/sub"}));
  EXPECT_EQ(se.currentFolder, "/before");
  EXPECT_TRUE(se.run.scratch.empty());
  EXPECT_TRUE(se.run.conversion[0].empty() && se.run.conversion[0].capacity() <= 15);
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(folders.size(), 4u);
  EXPECT_EQ(se.currentFolder, "/before");
  EXPECT_TRUE(se.run.scratch.empty());
  EXPECT_TRUE(se.run.callFolder.empty());
  gFolders = nullptr;
}

}  // namespace
