// bench_support.h -- small helpers the benchmark drivers share.
#pragma once

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

// Writes `text` to `path`, or ends the run with a message.
inline void WriteFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

// CPU seconds of this process (RUSAGE_SELF) or of its waited-for children
// (RUSAGE_CHILDREN): less moved by other work on a shared machine than the
// wall clock.
inline double CpuSeconds(int who = RUSAGE_SELF) {
  rusage u{};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
