// vm_bench.cpp -- running scripts against Lua 5.4 running the same work:
// (a) a sieve of 100,000 run ten times, yielding between rounds, and (b)
// recursive fib(27) followed by a 10,000-piece string built by
// concatenation. The engine runs each script as the host does (compile,
// then RunScriptStep until no thread lives); `lua5.4` runs the equivalent
// program, which times its own work with os.clock, so the interpreter's
// start is not counted. Prints both times and the ratio of each.
//
//   build/tkw4-bench-vm [runs] [task: a or b]

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "platform/platform_public.h"
#include "script/script_local.h"

namespace {

using bench::CpuSeconds;
using bench::WriteFile;

// (a) The sieve, ten rounds; `wait` hands the step back between rounds. The
// count of the last round ends in a global the driver checks.
constexpr const char* kSieveScript =
    "int primes = 0;\r\n"
    "function int sieve(int n) {\r\n"
    "  int flags[100001];\r\n"
    "  int count = 0;\r\n"
    "  int i;\r\n"
    "  int j;\r\n"
    "  for (i = 2; i <= n; i++) { flags[i] = 1; }\r\n"
    "  for (i = 2; i <= n; i++) {\r\n"
    "    if (flags[i]) {\r\n"
    "      count++;\r\n"
    "      for (j = i + i; j <= n; j += i) { flags[j] = 0; }\r\n"
    "    }\r\n"
    "  }\r\n"
    "  return count;\r\n"
    "}\r\n"
    "function main() {\r\n"
    "  int round;\r\n"
    "  for (round = 0; round < 10; round++) {\r\n"
    "    primes = sieve(100000);\r\n"
    "    __system_interrupt__(1, \"wait\");\r\n"
    "  }\r\n"
    "}\r\n";

constexpr const char* kSieveLua =
    "local function sieve(n)\n"
    "  local flags = {}\n"
    "  local count = 0\n"
    "  for i = 2, n do flags[i] = 1 end\n"
    "  for i = 2, n do\n"
    "    if flags[i] ~= 0 then\n"
    "      count = count + 1\n"
    "      for j = i + i, n, i do flags[j] = 0 end\n"
    "    end\n"
    "  end\n"
    "  return count\n"
    "end\n"
    "local primes = 0\n"
    "local worker = coroutine.create(function()\n"
    "  for round = 0, 9 do\n"
    "    primes = sieve(100000)\n"
    "    coroutine.yield()\n"
    "  end\n"
    "end)\n"
    "local start = os.clock()\n"
    "while coroutine.resume(worker) and coroutine.status(worker) ~= 'dead' do end\n"
    "print(os.clock() - start, primes)\n";

// (b) fib(27), then 10,000 pieces (the numbers 0 to 9,999) appended one at
// a time to a string.
constexpr const char* kFibScript =
    "int fibResult = 0;\r\n"
    "string text = \"\";\r\n"
    "function int fib(int n) {\r\n"
    "  if (n < 2) { return n; }\r\n"
    "  return fib(n - 1) + fib(n - 2);\r\n"
    "}\r\n"
    "function main() {\r\n"
    "  fibResult = fib(27);\r\n"
    "  string s = \"\";\r\n"
    "  int i;\r\n"
    "  for (i = 0; i < 10000; i++) { s = s + i; }\r\n"
    "  text = s;\r\n"
    "}\r\n";

constexpr const char* kFibLua =
    "local function fib(n)\n"
    "  if n < 2 then return n end\n"
    "  return fib(n - 1) + fib(n - 2)\n"
    "end\n"
    "local start = os.clock()\n"
    "local result = fib(27)\n"
    "local s = ''\n"
    "for i = 0, 9999 do s = s .. i end\n"
    "print(os.clock() - start, result, #s)\n";

struct Task {
  const char* name;
  const char* script;
  const char* lua;
  const char* checkGlobal;  // an int global the script leaves
  int expected;             // its value after a correct run
  size_t textLength;        // length of the global "text" it builds, 0: none
};

const Task kTasks[] = {
    {"(a) sieve 100,000 x10", kSieveScript, kSieveLua, "primes", 9592, 0},
    {"(b) fib(27) + 10,000 concatenations", kFibScript, kFibLua, "fibResult", 196418, 38890},
};

// One run of a script as the host runs it: compile, then steps until no
// thread lives. The CPU seconds of the whole, compile included.
double RunScript(script::ScriptEngine& se, const Task& task, const std::string& file) {
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  double start = CpuSeconds();
  if (!se.LoadScript(file.c_str())) {
    std::fprintf(stderr, "%s does not compile:\n%s", task.name, se.GetErrorListText().c_str());
    std::exit(1);
  }
  int steps = 0;
  for (;;) {
    int r = se.RunScriptStep();
    if (r == 0) {
      std::fprintf(stderr, "%s stopped with an error:\n%s", task.name, se.GetCallListText().c_str());
      std::exit(1);
    }
    if (r < 0) break;
    steps++;
  }
  double seconds = CpuSeconds() - start;
  int value = int(script::ScriptEngine::ValueToFloat(se.FindGlobal(task.checkGlobal)));
  const script::CScriptValue* text = script::FollowRefer(se.FindGlobal("text"));
  size_t length = text && text->type == script::kValueString ? text->stringValue.size() : 0;
  if (value != task.expected || (task.textLength && length != task.textLength)) {
    std::fprintf(stderr, "%s computed %d and %zu bytes, not %d and %zu\n", task.name, value, length, task.expected,
                 task.textLength);
    std::exit(1);
  }
  return seconds;
}

// Lua's own measure of its work (os.clock around it), or -1.
double RunLua(const std::string& file) {
  std::string command = "lua5.4 '" + file + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  double seconds = -1;
  if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
  if (pclose(pipe) != 0) return -1;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char folderTemplate[] = "/tmp/tkw4-bench-vm-XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder || chdir(folder) != 0) {
    std::fprintf(stderr, "cannot make a temporary folder\n");
    return 1;
  }
  bool haveLua = std::system("command -v lua5.4 > /dev/null 2>&1") == 0;
  if (!haveLua)
    std::printf("lua5.4 is not on PATH: the script's own times only (tools/install-deps.sh installs lua5.4)\n");

  script::ScriptEngine se;
  int slower = 0;
  const char* only = argc > 2 ? argv[2] : nullptr;
  for (const Task& task : kTasks) {
    if (only && task.name[1] != only[0]) continue;
    WriteFile("task.txt", task.script);
    WriteFile("task.lua", task.lua);
    double best = 1e9, luaBest = 1e9;
    for (int r = 0; r < runs; r++) best = std::min(best, RunScript(se, task, "task.txt"));
    if (haveLua) {
      for (int r = 0; r < runs; r++) {
        double t = RunLua("task.lua");
        if (t < 0) {
          std::fprintf(stderr, "lua5.4 failed on %s\n", task.name);
          return 1;
        }
        luaBest = std::min(luaBest, t);
      }
      double ratio = best / luaBest;
      std::printf("%-38s script %8.2f ms   Lua %8.2f ms   ratio %.2f (target at most 3)\n", task.name,
                  best * 1000.0, luaBest * 1000.0, ratio);
      if (ratio > 3.0) slower++;
    } else {
      std::printf("%-38s script %8.2f ms\n", task.name, best * 1000.0);
    }
  }
  std::printf("CPU time, best of %d runs each%s\n", runs, haveLua ? "" : " (no Lua to compare with)");
  std::remove("task.txt");
  std::remove("task.lua");
  chdir("/");
  std::remove(folder);
  return slower ? 2 : 0;
}
