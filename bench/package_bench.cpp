// package_bench.cpp -- read throughput of package entries against `cat`.
//
// Builds a package of about 100 MB in a temporary folder (entries of 4 KB to
// 4 MB, sizes spread evenly on a log scale, every second entry scrambled),
// then reads every entry through the file layer as the engine does (look
// the name up, read it whole into a buffer, drop the cache, close) and
// compares with `cat FILE > /dev/null` on the same, page-cached file.
// Prints the median of several runs of each and their ratio.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core_public.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int64_t kPackageBytes = 100ll << 20;
constexpr int kRuns = 9;

void PutLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; i++) out->push_back(char((v >> (8 * i)) & 0xFF));
}

// Writes the package; returns the entry names.
std::vector<std::string> MakePackage(const char* path) {
  std::vector<uint32_t> sizes;
  uint32_t x = 12345;
  int64_t total = 0;
  while (total < kPackageBytes) {
    x = x * 1103515245u + 12345u;
    double t = double(x >> 8) / double(1u << 24);  // 0..1
    uint32_t size = uint32_t(4096.0 * std::pow(1024.0, t));  // 4 KB .. 4 MB
    size = uint32_t(std::min<int64_t>(size, kPackageBytes - total));
    sizes.push_back(size);
    total += size;
  }
  std::vector<std::string> names;
  std::string index;
  PutLe32(&index, uint32_t(sizes.size()));
  uint32_t offset = 4;
  for (size_t i = 0; i < sizes.size(); i++) {
    char name[64];
    std::snprintf(name, sizeof name, "data\\entry%05zu.bin", i);
    names.push_back(name);
    offset += uint32_t(std::strlen(name) + 1 + 24);
  }
  for (size_t i = 0; i < sizes.size(); i++) {
    PutLe32(&index, uint32_t(names[i].size() + 1));
    index += names[i];
    index.push_back('\0');
    uint32_t key = (i % 2) ? 0x9E3779B9u + uint32_t(i) : 0;
    PutLe32(&index, 0);
    PutLe32(&index, key);
    PutLe32(&index, offset);
    PutLe32(&index, sizes[i]);
    PutLe32(&index, sizes[i]);
    offset += sizes[i];
  }
  FILE* f = std::fopen(path, "wb");
  std::fwrite(index.data(), 1, index.size(), f);
  // The stored bytes need not be scrambled plain data of any meaning: the
  // reader does the same work whatever they are.
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); i++) block[i] = char((i * 2654435761u) >> 13);
  for (uint32_t size : sizes) {
    for (uint32_t done = 0; done < size;) {
      uint32_t n = std::min<uint32_t>(size - done, uint32_t(block.size()));
      std::fwrite(block.data(), 1, n, f);
      done += n;
    }
  }
  std::fclose(f);
  return names;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double TimeCat(const char* path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char cat[] = "cat";
  char* argv[] = {cat, const_cast<char*>(path), nullptr};
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return seconds;
}

double TimeEngine(const char* path, const std::vector<std::string>& names, uint64_t* checksum) {
  std::vector<char> buffer(4 << 20);
  auto start = Clock::now();
  core::FilePackageTable table;
  if (table.LoadFilePackage(path) < 0) return -1;
  for (const std::string& name : names) {
    core::FileHandle h = table.OpenReadFile(name.c_str());
    int32_t size = table.GetFileSizeOf(h);
    if (size_t(size) > buffer.size()) buffer.resize(size_t(size));
    int32_t read = 0;
    table.ReadFileData(h, buffer.data(), 0, size, &read);
    *checksum += uint8_t(buffer[size_t(read) / 2]);
    table.FreeFileCache(h);
    table.CloseFileHandle(h);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
  char pattern[] = "/tmp/tkw4-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  fs::path folder = pattern;
  fs::current_path(folder);
  std::vector<std::string> names = MakePackage("bench.pac");
  double megabytes = double(fs::file_size("bench.pac")) / (1 << 20);

  uint64_t checksum = 0;
  TimeCat("bench.pac");  // into the page cache
  TimeEngine("bench.pac", names, &checksum);
  std::vector<double> cat, engine;
  for (int i = 0; i < kRuns; i++) {
    cat.push_back(TimeCat("bench.pac"));
    engine.push_back(TimeEngine("bench.pac", names, &checksum));
  }
  double catRate = megabytes / Median(cat);
  double engineRate = megabytes / Median(engine);
  std::printf("package: %.1f MB, %zu entries (4 KB to 4 MB, every second one scrambled)\n", megabytes,
              names.size());
  std::printf("cat:        %8.1f MB/s  (median of %d, %.1f ms)\n", catRate, kRuns, Median(cat) * 1000);
  std::printf("file layer: %8.1f MB/s  (median of %d, %.1f ms)\n", engineRate, kRuns, Median(engine) * 1000);
  std::printf("ratio:      %8.2f  (file layer / cat; target at least 0.80)   [checksum %llu]\n",
              engineRate / catRate, (unsigned long long)checksum);

  fs::current_path("/");
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
