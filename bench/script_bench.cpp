// script_bench.cpp -- compiling a generated 50,000-line script
// (functions, loops, expressions, object literals) against `luac5.4 -p` on
// an equivalent Lua file of the same size. Prints both times and the ratio,
// and the compile's peak memory per source line (for that script and for one
// of a statement per line).
//
//   build/tkw4-bench-script [lines] [runs]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

using Clock = std::chrono::steady_clock;

// One function of ten lines, in the script language and in Lua.
std::string ScriptFunction(int n) {
  std::string f = "f" + std::to_string(n);
  return "function " + f + "(a, b) {\r\n"
         "  int i;\r\n"
         "  int s = 0;\r\n"
         "  for (i = 0; i < a; i++) {\r\n"
         "    s = s + i * b - (a / 2) % 7;\r\n"
         "    if (s > 1000) { s = s - 1000; } else { s += 1; }\r\n"
         "  }\r\n"
         "  object o = {x: s, y: [1, 2, 3], name: \"" + f + "\"};\r\n"
         "  return s + o.x;\r\n"
         "}\r\n";
}

std::string LuaFunction(int n) {
  std::string f = "f" + std::to_string(n);
  return "function " + f + "(a, b)\n"
         "  local i\n"
         "  local s = 0\n"
         "  for i = 0, a - 1 do\n"
         "    s = s + i * b - (a // 2) % 7\n"
         "    if s > 1000 then s = s - 1000 else s = s + 1 end\n"
         "  end\n"
         "  local o = {x = s, y = {1, 2, 3}, name = \"" + f + "\"}\n"
         "  return s + o.x\n"
         "end\n";
}

// One function of `count` one-line statements.
std::string StatementLines(int count) {
  std::string s = "function main() {\r\n  int x = 0;\r\n";
  for (int i = 0; i < count; i++) s += "  x = x + " + std::to_string(i) + ";\r\n";
  return s + "}\r\n";
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A "Key:   123 kB" line of /proc/self/status, in bytes; -1 when missing.
long long StatusBytes(const char* key) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long long kb = -1;
  size_t length = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, length) == 0 && line[length] == ':') kb = std::atoll(line + length + 1);
  std::fclose(f);
  return kb < 0 ? -1 : kb * 1024;
}

// The peak resident memory one compile of `path` adds, per source line: in
// a child process with an engine of its own, whose high-water mark is reset
// (clear_refs 5) before the compile, so neither earlier compiles nor memory
// the allocator kept from them hide the growth.
void PrintCompileMemory(const char* label, const std::string& path, int lines) {
  std::fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    bool reset = clear && std::fputs("5", clear) >= 0;
    if (clear) reset = std::fclose(clear) == 0 && reset;
    long long before = StatusBytes("VmRSS");
    int ok;
    {
      script::ScriptEngine engine;
      engine.ClearScriptEngine();
      engine.ResetScriptEngine(nullptr, nullptr);
      ok = engine.LoadScript(path.c_str());
    }
    long long peak = StatusBytes("VmHWM");
    if (!ok || before < 0 || peak < 0 || !reset) {
      std::printf("compile memory (%s): not measured\n", label);
    } else {
      std::printf("compile memory (%s): peak %.1f MB over %d lines = %.0f bytes per source line\n", label,
                  double(peak - before) / 1048576.0, lines, double(peak - before) / lines);
    }
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
  int lines = argc > 1 ? std::atoi(argv[1]) : 50000;
  int functions = lines / 10;
  std::string script, lua;
  for (int i = 0; i < functions; i++) {
    script += ScriptFunction(i);
    lua += LuaFunction(i);
  }

  char folderTemplate[] = "/tmp/tkw4-bench-XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder) {
    std::fprintf(stderr, "cannot make a temporary folder\n");
    return 1;
  }
  std::string scriptPath = std::string(folder) + "/bench.txt";
  std::string luaPath = std::string(folder) + "/bench.lua";
  WriteFile(scriptPath, script);
  WriteFile(luaPath, lua);
  std::printf("%d lines: script %zu bytes, Lua %zu bytes\n", functions * 10, script.size(), lua.size());

  // Best of a few runs each: the engine compiles the file as the host does
  // (read, tokenise, preprocess, compile), luac reads and parses it. Script
  // paths are relative to the working folder, so the run moves there.
  if (chdir(folder) != 0) {
    std::fprintf(stderr, "cannot enter %s\n", folder);
    return 1;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  script::ScriptEngine engine;
  double best = 1e9, bestCpu = 1e9;
  for (int r = 0; r < runs; r++) {
    engine.ClearScriptEngine();
    engine.ResetScriptEngine(nullptr, nullptr);
    double cpu = CpuSeconds(RUSAGE_SELF);
    Clock::time_point start = Clock::now();
    int ok = engine.LoadScript("bench.txt");
    double t = Seconds(Clock::now() - start);
    bestCpu = std::min(bestCpu, CpuSeconds(RUSAGE_SELF) - cpu);
    if (!ok) {
      std::fprintf(stderr, "the generated script did not compile:\n%s", engine.GetErrorListText().c_str());
      return 1;
    }
    best = std::min(best, t);
  }
  // The front end alone (read, tokenise, preprocess), for the split.
  double frontBest = 1e9;
  for (int r = 0; r < runs; r++) {
    engine.ClearScriptEngine();
    engine.ResetScriptEngine(nullptr, nullptr);
    Clock::time_point start = Clock::now();
    script::SourcePosition position{script::InternFileName(engine, "bench.txt"), 0, 0, nullptr};
    script::TokeniseFile(engine, &position);
    frontBest = std::min(frontBest, Seconds(Clock::now() - start));
  }
  engine.ClearScriptEngine();
  engine.ResetScriptEngine(nullptr, nullptr);
  engine.LoadScript("bench.txt");
  size_t words = 0;
  for (script::CScriptLiteral* w = engine.codeHead; w; w = w->next) words++;
  std::printf("script compile: %.2f ms wall, %.2f ms CPU (best of %d, %zu words; front end alone %.2f ms)\n",
              best * 1000.0, bestCpu * 1000.0, runs, words, frontBest * 1000.0);
  engine.ClearScriptEngine();
  PrintCompileMemory("functions", scriptPath, functions * 10);
  std::string statementsPath = std::string(folder) + "/statements.txt";
  WriteFile(statementsPath, StatementLines(functions * 10));
  PrintCompileMemory("a statement per line", statementsPath, functions * 10 + 3);
  std::remove(statementsPath.c_str());

  if (std::system("command -v luac5.4 > /dev/null 2>&1") != 0) {
    std::printf("luac5.4 is not on PATH: the script's own times only (tools/install-deps.sh installs lua5.4)\n");
  } else {
    std::string command = "luac5.4 -p '" + luaPath + "'";
    double luaBest = 1e9, luaBestCpu = 1e9;
    for (int r = 0; r < runs; r++) {
      double cpu = CpuSeconds(RUSAGE_CHILDREN);
      Clock::time_point start = Clock::now();
      int status = std::system(command.c_str());
      double t = Seconds(Clock::now() - start);
      luaBestCpu = std::min(luaBestCpu, CpuSeconds(RUSAGE_CHILDREN) - cpu);
      if (status != 0) {
        std::fprintf(stderr, "luac5.4 failed on the generated file\n");
        return 1;
      }
      luaBest = std::min(luaBest, t);
    }
    std::printf("luac5.4 -p:     %.2f ms wall, %.2f ms CPU (best of %d, with the shell that starts it)\n",
                luaBest * 1000.0, luaBestCpu * 1000.0, runs);
    std::printf("ratio script/luac: %.2f wall, %.2f CPU (%s)\n", best / luaBest, bestCpu / luaBestCpu,
                best <= luaBest ? "at least as fast" : "slower");
  }
  std::remove(scriptPath.c_str());
  std::remove(luaPath.c_str());
  std::remove(folder);
  return 0;
}
