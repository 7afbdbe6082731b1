// tkw4_pac.cpp -- tkw4-pac: packs a folder into a ".pac" package, lists a
// package's entries and extracts them, through the engine's own file layer.
//
//   tkw4-pac pack DIR OUT.pac     entries named relative to DIR
//   tkw4-pac list PAC             one line per entry: name TAB size
//   tkw4-pac extract PAC DIR      every entry as a file under DIR (one
//                                 line per entry not written, and status 1)
//
// Exit status 0 on success; 1 with a message on stderr otherwise. Names are
// Shift-JIS inside packages and UTF-8 on the disk and the terminal.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/core_public.h"

namespace {

namespace fs = std::filesystem;

int Usage() {
  std::fprintf(stderr,
               "usage: tkw4-pac pack DIR OUT.pac\n"
               "       tkw4-pac list PAC\n"
               "       tkw4-pac extract PAC DIR\n");
  return 1;
}

int Fail(const std::string& message, const std::string& why = "") {
  std::fprintf(stderr, "tkw4-pac: %s%s%s\n", message.c_str(), why.empty() ? "" : ": ",
               platform::Cp932ToUtf8(why).c_str());
  return 1;
}

// A disk name as the engine names it: Shift-JIS when that is lossless.
std::string EngineName(const std::string& diskName) {
  std::string sjis = platform::Utf8ToCp932(diskName);
  return platform::Cp932ToUtf8(sjis) == diskName ? sjis : diskName;
}

// Mounts a package from its own folder, so its entries carry their stored
// names. The working folder stays there.
bool Mount(core::FilePackageTable& table, const std::string& pac) {
  fs::path path = fs::absolute(pac);
  std::error_code ec;
  fs::current_path(path.parent_path(), ec);
  return !ec && table.LoadFilePackage(path.filename().c_str()) >= 0;
}

int Pack(const std::string& dir, const std::string& out) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail("not a folder: " + dir);
  fs::path target = fs::absolute(out);
  fs::current_path(dir, ec);
  if (ec) return Fail("cannot enter " + dir);
  core::FilePackageTable table;
  for (const platform::DirEntry& e : platform::ListDirectory(".")) {
    if (e.name.empty() || e.name[0] == '.') continue;
    table.AddFilesToPackage(EngineName(e.name).c_str(), 0, 0);
  }
  if (!table.lastError.empty()) return Fail("cannot pack " + dir, table.lastError);
  if (!table.SavePackage(target.c_str())) return Fail("cannot write " + out, table.lastError);
  return 0;
}

int List(const std::string& pac) {
  core::FilePackageTable table;
  if (!Mount(table, pac)) return Fail("cannot read " + pac, table.lastError);
  for (int32_t i = 0; i < table.Count(); i++) {
    const char* name = table.GetPackageEntryName(i);
    if (!name || !std::strcmp(name, core::kRemovedEntryName)) continue;
    std::printf("%s\t%d\n", platform::Cp932ToUtf8(name).c_str(), table.Entry(i).size);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Extract(const std::string& pac, const std::string& dir) {
  fs::path target = fs::absolute(dir);
  std::error_code ec;
  fs::create_directories(target, ec);
  if (!fs::is_directory(target, ec)) return Fail("cannot create " + dir);
  core::FilePackageTable table;
  if (!Mount(table, pac)) return Fail("cannot read " + pac, table.lastError);
  table.ExtractPackage(EngineName(target.string()).c_str());
  // Every entry that was not written has its own line.
  for (const std::string& why : table.errors)
    std::fprintf(stderr, "tkw4-pac: %s\n", platform::Cp932ToUtf8(why).c_str());
  if (!table.errors.empty())
    return Fail("cannot extract every entry of " + pac + " (" + std::to_string(table.errors.size()) + " failed)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "pack" && argc == 4) return Pack(argv[2], argv[3]);
  if (command == "list" && argc == 3) return List(argv[2]);
  if (command == "extract" && argc == 4) return Extract(argv[2], argv[3]);
  return Usage();
}
