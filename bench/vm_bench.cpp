// vm_bench.cpp -- running scripts against Lua 5.4 running the same work:
// (a) a sieve of 100,000 run ten times, yielding between rounds, (b)
// recursive fib(27) followed by a 10,000-piece string built by
// concatenation, (c) member updates: 500 objects of six float members moved
// 400 rounds through a[i].m (velocity, gravity, damping, a bounce at the
// floor), and (d) vector traffic: 200,000 calls of a function that builds a
// new vector object from the members of the one it is given, with a dot
// product of each result.
//
// Two measures. In-process: the engine runs each script as the host does
// (compile, then RunScriptStep until no thread lives) and `lua5.4` runs the
// equivalent program, which times its own work with os.clock, so the
// interpreter's start is not counted; CPU time, best of the runs. Whole
// process: build/tkw4-script FILE against `lua5.4 FILE`, each timed as a
// process with the monotonic clock from start to exit (start-up, compile
// and exit included: a user runs a script once), median of the runs, the
// first run shown beside it. Every run's result is checked: the script's
// global, the value each program prints.
//
//   build/tkw4-bench-vm [runs] [task: a, b, c or d]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/platform_public.h"
#include "script/script_local.h"

namespace {

using bench::CpuSeconds;
using bench::WriteFile;

// Every script ends by printing the value it leaves in its global, so a
// whole-process run can be checked as Lua's is.
#define TKW4_PRINT_DECLARATION "systemcall print_string(string text);\r\n"

// (a) The sieve, ten rounds; `wait` hands the step back between rounds. The
// count of the last round ends in a global the driver checks.
constexpr const char* kSieveScript =
    TKW4_PRINT_DECLARATION
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
    "  print_string(\"\" + primes + \"\\n\");\r\n"
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
    TKW4_PRINT_DECLARATION
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
    "  print_string(\"\" + fibResult + \"\\n\");\r\n"
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

// (c) 500 objects of six float members (position and velocity), 400 rounds
// in which every member is read and written through a[i].m: gravity on the
// upward velocity, the velocity added to the position, a damping factor on
// the level velocity, and a bounce at the floor that loses some speed. The
// sum of the final positions is the result. The script keeps float32 and
// Lua doubles, so the two sums agree to about 1e-4 of their size, not
// exactly; both are checked against Lua's sum within 1e-3 of it.
constexpr const char* kMembersScript =
    TKW4_PRINT_DECLARATION
    "float total = 0.0;\r\n"
    "function main() {\r\n"
    "  array a;\r\n"
    "  int i;\r\n"
    "  int round;\r\n"
    "  for (i = 0; i < 500; i++) {\r\n"
    "    a[i] = {px: i * 0.25, py: 1.0 + i % 13, pz: -0.5 * i, vx: 0.125 * (i % 5), vy: 0.5 * (i % 3), vz: -0.25};\r\n"
    "  }\r\n"
    "  for (round = 0; round < 400; round++) {\r\n"
    "    for (i = 0; i < 500; i++) {\r\n"
    "      a[i].vy -= 0.05;\r\n"
    "      a[i].px += a[i].vx;\r\n"
    "      a[i].py += a[i].vy;\r\n"
    "      a[i].pz += a[i].vz;\r\n"
    "      a[i].vx *= 0.995;\r\n"
    "      a[i].vz *= 0.995;\r\n"
    "      if (a[i].py < 0.0) {\r\n"
    "        a[i].py = -a[i].py;\r\n"
    "        a[i].vy = -a[i].vy * 0.9;\r\n"
    "      }\r\n"
    "    }\r\n"
    "  }\r\n"
    "  float sum = 0.0;\r\n"
    "  for (i = 0; i < 500; i++) { sum += a[i].px + a[i].py + a[i].pz; }\r\n"
    "  total = sum;\r\n"
    "  print_string(\"\" + total + \"\\n\");\r\n"
    "}\r\n";

constexpr const char* kMembersLua =
    "local start = os.clock()\n"
    "local a = {}\n"
    "for i = 0, 499 do\n"
    "  a[i] = {px = i * 0.25, py = 1.0 + i % 13, pz = -0.5 * i, vx = 0.125 * (i % 5), vy = 0.5 * (i % 3), vz = -0.25}\n"
    "end\n"
    "for round = 0, 399 do\n"
    "  for i = 0, 499 do\n"
    "    a[i].vy = a[i].vy - 0.05\n"
    "    a[i].px = a[i].px + a[i].vx\n"
    "    a[i].py = a[i].py + a[i].vy\n"
    "    a[i].pz = a[i].pz + a[i].vz\n"
    "    a[i].vx = a[i].vx * 0.995\n"
    "    a[i].vz = a[i].vz * 0.995\n"
    "    if a[i].py < 0.0 then\n"
    "      a[i].py = -a[i].py\n"
    "      a[i].vy = -a[i].vy * 0.9\n"
    "    end\n"
    "  end\n"
    "end\n"
    "local sum = 0.0\n"
    "for i = 0, 499 do sum = sum + a[i].px + a[i].py + a[i].pz end\n"
    "print(os.clock() - start, string.format('%f', sum))\n";

// (d) 200,000 calls of a function that takes a vector object and returns a
// new one built from its members, as scripts do around the engine's vector
// and position calls, and the dot product of the result with the input.
// One member of the input changes every call. Every value is a small whole
// number, so float32 and doubles give the same sum exactly.
constexpr const char* kVectorScript =
    TKW4_PRINT_DECLARATION
    "float dot = 0.0;\r\n"
    "function turn(object v, float k) {\r\n"
    "  return {x: v.z * k, y: v.y - k, z: v.x + v.y};\r\n"
    "}\r\n"
    "function main() {\r\n"
    "  object v = {x: 1.0, y: 2.0, z: 3.0};\r\n"
    "  object r;\r\n"
    "  float sum = 0.0;\r\n"
    "  int i;\r\n"
    "  for (i = 0; i < 200000; i++) {\r\n"
    "    v.x = i % 7;\r\n"
    "    r = turn(v, 2.0);\r\n"
    "    sum += r.x * v.x + r.y * v.y + r.z * v.z;\r\n"
    "  }\r\n"
    "  dot = sum;\r\n"
    "  print_string(\"\" + dot + \"\\n\");\r\n"
    "}\r\n";

constexpr const char* kVectorLua =
    "local function turn(v, k)\n"
    "  return {x = v.z * k, y = v.y - k, z = v.x + v.y}\n"
    "end\n"
    "local start = os.clock()\n"
    "local v = {x = 1.0, y = 2.0, z = 3.0}\n"
    "local sum = 0.0\n"
    "for i = 0, 199999 do\n"
    "  v.x = i % 7\n"
    "  local r = turn(v, 2.0)\n"
    "  sum = sum + r.x * v.x + r.y * v.y + r.z * v.z\n"
    "end\n"
    "print(os.clock() - start, string.format('%f', sum))\n";

struct Task {
  const char* name;
  const char* script;
  const char* lua;
  const char* checkGlobal;  // a number global the script leaves (and prints)
  double expected;          // its value after a correct run, and Lua's
  double tolerance;         // relative difference allowed, 0: exact
  size_t textLength;        // length of the global "text" it builds, 0: none
  double target;            // in-process ratio the script must keep to, 0: none yet
};

const Task kTasks[] = {
    {"(a) sieve 100,000 x10", kSieveScript, kSieveLua, "primes", 9592, 0, 0, 3.0},
    {"(b) fib(27) + 10,000 concatenations", kFibScript, kFibLua, "fibResult", 196418, 0, 38890, 3.0},
    {"(c) 500 objects x 400 rounds, a[i].m", kMembersScript, kMembersLua, "total", -30991.505155, 1e-3, 0, 0},
    {"(d) 200,000 vector calls + dot", kVectorScript, kVectorLua, "dot", 6599946, 0, 0, 0},
};

bool Matches(const Task& task, double value) {
  return std::fabs(value - task.expected) <= task.tolerance * std::fabs(task.expected);
}

// What the script printed in the run under way (in-process, the bench
// serves print_string itself so that nothing reaches the console).
std::string printed;

script::SystemCallResult* CapturePrint(script::SystemCallResult* result, script::SystemCallContext,
                                       script::SystemCallArgument* args, char*) {
  if (args[0].text) printed += args[0].text;
  *result = script::SystemCallResult{};
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

// The first number of a text, or NaN when it has none.
double FirstNumber(const std::string& text) {
  double value;
  return std::sscanf(text.c_str(), "%lf", &value) == 1 ? value : NAN;
}

// One run of a script as the host runs it: compile, then steps until no
// thread lives. The CPU seconds of the whole, compile included.
double RunScript(script::ScriptEngine& se, const Task& task, const std::string& file) {
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  se.RegisterSystemCall("print_string", CapturePrint);
  printed.clear();
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
  double value = script::ScriptEngine::ValueToFloat(se.FindGlobal(task.checkGlobal));
  const script::CScriptValue* text = script::FollowRefer(se.FindGlobal("text"));
  size_t length = text && text->type == script::kValueString ? text->stringValue.size() : 0;
  if (!Matches(task, value) || !Matches(task, FirstNumber(printed)) ||
      (task.textLength && length != task.textLength)) {
    std::fprintf(stderr, "%s computed %f (printed \"%s\") and %zu bytes, not %f and %zu\n", task.name, value,
                 printed.c_str(), length, task.expected, task.textLength);
    std::exit(1);
  }
  return seconds;
}

// Lua's own measure of its work (os.clock around it), or -1; the value the
// program prints after it must be the task's.
double RunLua(const Task& task, const std::string& file) {
  std::string command = "lua5.4 '" + file + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  double seconds = -1, value = NAN;
  if (std::fscanf(pipe, "%lf %lf", &seconds, &value) != 2) seconds = -1;
  if (pclose(pipe) != 0) return -1;
  if (seconds >= 0 && !Matches(task, value)) {
    std::fprintf(stderr, "lua5.4 computed %f on %s, not %f\n", value, task.name, task.expected);
    return -1;
  }
  return seconds;
}

// One whole process: its wall time on the monotonic clock from before the
// fork to after the wait, its CPU time, its exit status and what it wrote
// to standard output.
struct ProcessRun {
  double seconds = 0;
  double cpuSeconds = 0;
  int status = -1;  // the exit code, -1 when it did not exit normally
  std::string output;
};

bool RunProcess(const std::vector<std::string>& arguments, ProcessRun* run) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    int out = open("process-out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open("process-err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  run->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run->cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run->output.clear();
  if (FILE* f = std::fopen("process-out.txt", "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) run->output.append(buffer, n);
    std::fclose(f);
  }
  return true;
}

// The figures of one program over the runs: the first run, the median and
// the median CPU time.
struct ProcessFigures {
  double first = 0;
  double median = 0;
  double cpuMedian = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs `arguments` `runs` times; the value printed is the first number of
// the output, after the `skip` numbers before it. False (with a message)
// when a run fails or prints another value.
bool TimeProcess(const Task& task, const std::vector<std::string>& arguments, int skip, int runs,
                 ProcessFigures* figures) {
  std::vector<double> wall, cpu;
  for (int r = 0; r < runs; r++) {
    ProcessRun run;
    if (!RunProcess(arguments, &run) || run.status != 0) {
      std::fprintf(stderr, "%s failed on %s (exit status %d)\n", arguments[0].c_str(), task.name, run.status);
      return false;
    }
    const char* at = run.output.c_str();
    for (int s = 0; s < skip && *at; s++) {
      at += std::strspn(at, " \t\r\n");
      at += std::strcspn(at, " \t\r\n");
    }
    double value = FirstNumber(at);
    if (!Matches(task, value)) {
      std::fprintf(stderr, "%s printed \"%s\" on %s, not %f\n", arguments[0].c_str(), run.output.c_str(), task.name,
                   task.expected);
      return false;
    }
    if (r == 0) figures->first = run.seconds;
    wall.push_back(run.seconds);
    cpu.push_back(run.cpuSeconds);
  }
  figures->median = Median(wall);
  figures->cpuMedian = Median(cpu);
  return true;
}

// The tkw4-script beside this program (both are built into build/).
std::string ScriptRunnerPath() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "";
  std::filesystem::path runner = self.parent_path() / "tkw4-script";
  return std::filesystem::exists(runner, error) ? runner.string() : "";
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string runner = ScriptRunnerPath();
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
  bool failed = false;
  const char* only = argc > 2 ? argv[2] : nullptr;
  for (const Task& task : kTasks) {
    if (only && task.name[1] != only[0]) continue;
    WriteFile("task.txt", task.script);
    WriteFile("task.lua", task.lua);
    double best = 1e9, luaBest = 1e9;
    for (int r = 0; r < runs; r++) best = std::min(best, RunScript(se, task, "task.txt"));
    if (haveLua) {
      for (int r = 0; r < runs; r++) {
        double t = RunLua(task, "task.lua");
        if (t < 0) {
          std::fprintf(stderr, "lua5.4 failed on %s\n", task.name);
          return 1;
        }
        luaBest = std::min(luaBest, t);
      }
      double ratio = best / luaBest;
      char target[32] = "(no target)";
      if (task.target > 0) std::snprintf(target, sizeof target, "(target at most %g)", task.target);
      std::printf("%-38s script %8.2f ms   Lua %8.2f ms   ratio %.2f %s\n", task.name, best * 1000.0,
                  luaBest * 1000.0, ratio, target);
      if (task.target > 0 && ratio > task.target) slower++;
    } else {
      std::printf("%-38s script %8.2f ms\n", task.name, best * 1000.0);
    }
  }
  std::printf("CPU time, best of %d runs each%s\n", runs, haveLua ? "" : " (no Lua to compare with)");

  // Whole processes, the script runner's start-up, compile and exit
  // included, against the Lua interpreter's on the same program.
  if (runner.empty()) {
    std::printf("tkw4-script is not beside this program: no whole-process times\n");
  } else {
    for (const Task& task : kTasks) {
      if (only && task.name[1] != only[0]) continue;
      WriteFile("task.txt", task.script);
      WriteFile("task.lua", task.lua);
      ProcessFigures script, lua;
      if (!TimeProcess(task, {runner, "task.txt"}, 0, runs, &script) ||
          (haveLua && !TimeProcess(task, {"lua5.4", "task.lua"}, 1, runs, &lua))) {
        failed = true;
        continue;
      }
      if (haveLua) {
        std::printf("%-38s tkw4-script %8.2f ms (first %7.2f, CPU %7.2f)   lua5.4 %8.2f ms (first %7.2f, CPU %7.2f)"
                    "   ratio %.2f\n",
                    task.name, script.median * 1000.0, script.first * 1000.0, script.cpuMedian * 1000.0,
                    lua.median * 1000.0, lua.first * 1000.0, lua.cpuMedian * 1000.0, script.median / lua.median);
      } else {
        std::printf("%-38s tkw4-script %8.2f ms (first %7.2f, CPU %7.2f)\n", task.name, script.median * 1000.0,
                    script.first * 1000.0, script.cpuMedian * 1000.0);
      }
    }
    std::printf("Whole process, wall time on the monotonic clock, median of %d runs each (the first run and the "
                "median CPU time in brackets)\n",
                runs);
  }

  chdir("/");
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  if (failed) return 1;
  return slower ? 2 : 0;
}
