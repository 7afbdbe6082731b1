// core_assert.h -- ENGINE_ASSERT, the one check of the engine's own invariants.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// ENGINE_ASSERT(cond) stops the program when `cond` is false: a broken
// invariant is a fault of the engine, never of its input, and going on
// would read or write through what the invariant guards (a stale link to a
// variable, a slot of another namespace). Bad input gets an error message
// instead; this is for bugs only.
//
// - The check runs in every build, release builds too: the engine's checks
//   were written to run there (most sit behind a run-time switch such as
//   the script engine's verifyLinks, which tests and fuzzing turn on), and
//   none may quietly disappear with NDEBUG.
// - On failure it writes the file, the line and the condition's text to
//   stderr, then any printf-style detail given after the condition
//   (ENGINE_ASSERT(found == kept, "stale link for [%s]", name)), and aborts.
// - The failing path is out of line and marked cold: a check costs the
//   compare and a branch that is predicted not taken.

namespace core {

// The failing path of ENGINE_ASSERT: the place and the condition, then the
// detail when there is one.
[[noreturn, gnu::cold, gnu::noinline]] inline void AssertFailed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

[[noreturn, gnu::cold, gnu::noinline, gnu::format(printf, 4, 5)]] inline void AssertFailed(const char* file, int line,
                                                                                        const char* condition,
                                                                                        const char* detail, ...) {
  std::fprintf(stderr, "%s:%d: check failed: %s: ", file, line, condition);
  va_list args;
  va_start(args, detail);
  std::vfprintf(stderr, detail, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace core

#define ENGINE_ASSERT(cond, ...)                                                   \
  do {                                                                             \
    if (__builtin_expect(!(cond), 0))                                              \
      ::core::AssertFailed(__FILE__, __LINE__, #cond __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)
