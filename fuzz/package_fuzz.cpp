// package_fuzz.cpp -- libFuzzer target for the file layer: mounts arbitrary
// bytes as a package and, when they are accepted, reads every entry whole
// and in chunks, saves the table, mounts the saved package and compares,
// and extracts it. Traps when two ways of reading disagree or an
// extraction writes outside its folder.
//
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
//         -DTKW4_FUZZ=ON -DTKW4_TESTS=OFF && cmake --build build-fuzz --target tkw4-fuzz-package
//   build-fuzz/tkw4-fuzz-package -max_total_time=600 CORPUS fuzz/corpus/package
//
// The target works in a folder of its own (packages name their entries
// relative to the working folder), so before it moves there it makes every
// path of its command line absolute: corpus folders, inputs and artifacts
// stay where they were given, and crash files land in the folder it was
// started from.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/core_local.h"

namespace {

namespace fs = std::filesystem;

// Entries larger than this are mounted and checked but not read: a coded
// entry may claim up to 2 GB of zeros from a few stored bytes.
constexpr int32_t kMaxReadSize = 1 << 20;

fs::path gRoot;  // the fuzzer's own folder; the working folder is gRoot/work

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string ReadByIndex(core::FilePackageTable& t, int32_t index, int32_t chunk) {
  core::FileHandle h = core::FileHandle(core::kPackageHandleBit | uint32_t(index));
  std::string out;
  std::vector<char> buffer(static_cast<size_t>(chunk));
  int32_t position = 0;
  for (;;) {
    int32_t read = -1;
    t.ReadFileData(h, buffer.data(), position, chunk, &read);
    Check(read >= 0 && read <= chunk);
    if (read == 0) break;
    out.append(buffer.data(), size_t(read));
    position += read;
    Check(t.TellFile(h) == position);
  }
  return out;
}

// The command line with its paths made absolute against the starting
// folder, before the target leaves it: libFuzzer reads its arguments (corpus
// folders, inputs, -artifact_prefix and the like) only after this
// initialisation, from the same argv.
void MakePathsAbsolute(int* argc, char*** argv) {
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  const fs::path start = fs::current_path();
  const char* kPathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-merge_control_file=",
                              "-features_dir=", "-mutation_graph_file=", "-stop_file=", "-seed_inputs="};
  bool prefixGiven = false;
  texts.push_back((*argv)[0]);
  for (int i = 1; i < *argc; i++) {
    std::string arg = (*argv)[i];
    if (!arg.empty() && arg[0] != '-') {
      arg = (start / arg).lexically_normal().string();
    } else {
      for (const char* flag : kPathFlags) {
        size_t n = std::strlen(flag);
        if (arg.compare(0, n, flag) != 0 || arg.size() == n || arg[n] == '/' || arg[n] == '@') continue;
        std::string value = arg.substr(n);
        // A prefix keeps its trailing "/" (it names a folder to write into).
        std::string absolute = (start / value).string();
        arg = flag + absolute;
      }
      prefixGiven |= arg.compare(0, 17, "-artifact_prefix=") == 0;
    }
    texts.push_back(arg);
  }
  if (!prefixGiven) texts.push_back("-artifact_prefix=" + start.string() + "/");
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  *argc = int(texts.size());
  *argv = pointers.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  if (argc && argv && *argv) MakePathsAbsolute(argc, argv);
  char pattern[] = "/tmp/tkw4-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  gRoot = pattern;
  fs::create_directory(gRoot / "work");
  fs::current_path(gRoot / "work");
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(gRoot, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes as a name, too.
  std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 300));
  char normalised[core::kMaxPathLength];
  core::NormalizePath(normalised, nullptr, text.c_str());

  int fd = ::open("f.pac", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, data, size) != ssize_t(size)) std::abort();
  ::close(fd);

  core::FilePackageTable t;
  if (t.LoadFilePackage("f.pac") < 0) return 0;
  bool small = true;
  std::map<std::string, int32_t> byName;
  for (int32_t i = 0; i < t.Count(); i++) {
    const char* name = t.GetPackageEntryName(i);
    Check(name != nullptr);
    if (i > 0) Check(core::ComparePackageNames(t.GetPackageEntryName(i - 1), name) <= 0);
    byName[name] = i;
    int32_t entrySize = t.Entry(i).size;
    if (entrySize > kMaxReadSize) {
      small = false;
      continue;
    }
    std::string whole = ReadByIndex(t, i, std::max(entrySize, 1));
    Check(whole.size() == size_t(entrySize));
    core::FileHandle h = core::FileHandle(core::kPackageHandleBit | uint32_t(i));
    t.FreeFileCache(h);
    Check(ReadByIndex(t, i, 1 + int32_t(size % 7)) == whole);
    t.SeekFile(h, -3, core::kFileEnd);
    char tail[8];
    int32_t read = -1;
    t.ReadFileData(h, tail, t.TellFile(h), 8, &read);
    Check(read == (entrySize >= 3 ? 3 : 0));  // before the start: nothing
    // Lookup by the entry's own name finds an entry of that name.
    core::FileHandle found = t.OpenReadFile(name);
    if (found != core::kNoFile && (uint32_t(found) & core::kPackageHandleBit))
      Check(core::ComparePackageNames(t.GetPackageEntryName(int32_t(uint32_t(found) & ~core::kPackageHandleBit)), name) == 0);
    else
      t.CloseFileHandle(found);
  }
  if (!small) return 0;

  if (t.SavePackage("g.pac") == 1) {
    core::FilePackageTable u;
    Check(u.LoadFilePackage("g.pac") >= 0);
    for (int32_t i = 0; i < u.Count(); i++) {
      auto it = byName.find(u.GetPackageEntryName(i));
      Check(it != byName.end());
      Check(u.Entry(i).flags == (t.Entry(it->second).flags & ~core::kEntryZeroRunCoded));
      Check(ReadByIndex(u, i, 4096) == ReadByIndex(t, it->second, 4096));
    }
  }

  if (t.Count() <= 16) {
    t.ExtractPackage("x");
    std::error_code ignored;
    fs::remove_all("x", ignored);
    // Nothing may land beside the working folder.
    int others = 0;
    for (const auto& e : fs::directory_iterator(gRoot)) others += e.path().filename() != "work";
    Check(others == 0);
  }
  return 0;
}
