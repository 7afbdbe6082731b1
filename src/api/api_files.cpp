// api_files.cpp -- the file handler: copying, moving and deleting files,
// and building, mounting, merging, saving and unpacking file packages.
//
// The package work is the file layer's (core::FilePackageTable): either on
// the engine's one table of mounted packages (the script engine's `files`)
// or on a fresh table made for one call and gone at its end. Only the two
// list calls raise errors; every other failure keeps the result 1 that
// scripts rely on, but writes a log line naming the call, the file and the
// system's reason.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "api/api_args.h"
#include "api/api_local.h"
#include "world/world_public.h"

namespace api {

namespace {

using core::Sjis;

core::LogSystem* CallLog(const Call& call) {
  return call.world && call.world->log ? call.world->log : call.context->engine->log;
}

// The engine's table of mounted packages, or null (an engine without one:
// the calls on it do nothing).
core::FilePackageTable* Mounted(const Call& call) { return call.context->engine->files; }

// Writes every failure a table kept during its last mount, save or
// extraction as a line of the call, naming the package it worked on.
void LogTableErrors(const Call& call, const core::FilePackageTable& table, const char* package) {
  for (const std::string& why : table.errors)
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\": %s\n", call.name, package, why.c_str());
}

// [SECTION] Threshold times

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochSeconds = 11644473600LL;
constexpr int64_t kFileTimePerSecond = 10000000LL;

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// The decimal number at the start of `text` and, each after the previous
// `separator`, the next ones; a part that is not there reads 0.
void ReadParts(const char* text, char separator, long out[3]) {
  const char* at = text;
  for (int i = 0; i < 3; i++) {
    out[i] = at ? std::strtol(at, nullptr, 10) : 0;
    if (at) {
      at = std::strchr(at, separator);
      if (at) at++;
    }
  }
}

// A UTC calendar time as a file time; false when it names no moment a file
// time can hold (a month 13, a 30th of February, a year before 1601).
bool FileTimeOf(long year, long month, long day, long hour, long minute, long second, platform::FileTime* out) {
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return false;
  int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  *out = platform::FileTime((seconds + kUnixEpochSeconds) * kFileTimePerSecond);
  return true;
}

// The threshold time of a list entry: the current UTC time with the date
// and time of the texts in it; without a date only the year becomes 1980.
// A date that names no moment lets every file through (and is logged).
platform::FileTime ThresholdTime(const Call& call, const char* date, const char* time, int entry) {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  long y = utc.tm_year + 1900L, mo = utc.tm_mon + 1L, d = utc.tm_mday;
  long h = utc.tm_hour, mi = utc.tm_min, s = std::min(utc.tm_sec, 59);
  if (date[0]) {
    long parts[3];
    ReadParts(date, '/', parts);
    y = parts[0], mo = parts[1], d = parts[2];
    h = mi = s = 0;
    if (time[0]) {
      ReadParts(time, ':', parts);
      h = parts[0], mi = parts[1], s = parts[2];
    }
  } else {
    y = 1980;
  }
  platform::FileTime threshold = 0;
  if (!FileTimeOf(y, mo, d, h, mi, s, &threshold)) {
    core::Logf(CallLog(call), core::kLogError,
               "%s: entry %d: \"%s\" \"%s\" is no valid date and time; every file of it is added\n", call.name,
               entry, date, time);
    return 0;
  }
  return threshold;
}

// Adds every entry of a file list to `table`, up to the first entry whose
// "file" is missing or empty. A listed path that does not exist adds
// nothing and is logged.
void AddFileList(const Call& call, core::FilePackageTable& table, const script::CScriptArray* list) {
  char path[64];
  for (int i = 0;; i++) {
    std::snprintf(path, sizeof path, "[%d].file", i);
    std::string file = script::GetMemberString(list, path);
    if (file.empty()) break;
    std::snprintf(path, sizeof path, "[%d].key", i);
    uint32_t key = uint32_t(script::GetMemberInt(list, path));
    std::snprintf(path, sizeof path, "[%d].date", i);
    std::string date = script::GetMemberString(list, path);
    std::snprintf(path, sizeof path, "[%d].time", i);
    std::string time = script::GetMemberString(list, path);
    platform::FileTime threshold = ThresholdTime(call, date.c_str(), time.c_str(), i);
    if (!platform::PathExists(platform::ResolvePath(file).c_str())) {
      core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" does not exist; nothing added\n", call.name,
                 file.c_str());
      continue;
    }
    table.AddFilesToPackage(file.c_str(), key, threshold);
  }
}

// [SECTION] Files

std::string Reason(int error) { return std::strerror(error); }

// The regular file `source` copied whole to `destination`, which must not
// exist; the copy appears only once it is whole. False with the reason.
bool CopyWholeFile(const std::string& source, const std::string& destination, std::string* why) {
  struct stat st;
  if (::stat(source.c_str(), &st) != 0) {
    *why = Reason(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "not a file";
    return false;
  }
  if (platform::PathExists(destination.c_str())) {
    *why = "the destination exists and is left unchanged";
    return false;
  }
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    *why = Reason(errno);
    return false;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *why = "the source cannot be read";
    return false;
  }
  return platform::WriteWholeFile(destination.c_str(), bytes.data(), bytes.size(), why);
}

// copy_file(source, destination): an existing destination is not
// overwritten.
void CallCopyFile(Call& call) {
  const char* from = ArgText(call, 0);
  const char* to = ArgText(call, 1);
  std::string why;
  if (!CopyWholeFile(platform::ResolvePath(from), platform::ResolvePath(to), &why))
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" was not copied to \"%s\" (%s)\n", call.name, from, to,
               why.c_str());
}

// move_file(source, destination): moves or renames the file. An existing
// destination is never replaced: the move is refused.
void CallMoveFile(Call& call) {
  const char* from = ArgText(call, 0);
  const char* to = ArgText(call, 1);
  std::string source = platform::ResolvePath(from);
  std::string destination = platform::ResolvePath(to);
  std::string why;
  if (!platform::PathExists(source.c_str())) {
    why = Reason(ENOENT);
  } else if (platform::PathExists(destination.c_str())) {
    why = "the destination exists and is left unchanged";
  } else if (std::rename(source.c_str(), destination.c_str()) != 0) {
    int error = errno;
    // Across file systems a file is copied, then its source goes.
    if (error != EXDEV || !CopyWholeFile(source, destination, &why)) {
      if (why.empty()) why = Reason(error);
    } else if (::unlink(source.c_str()) != 0) {
      why = "copied, but the source stays: " + Reason(errno);
    }
  }
  if (!why.empty())
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" was not moved to \"%s\" (%s)\n", call.name, from, to,
               why.c_str());
}

// delete_file(file): files only; a folder is left alone.
void CallDeleteFile(Call& call) {
  const char* name = ArgText(call, 0);
  std::string path = platform::ResolvePath(name);
  if (::unlink(path.c_str()) != 0)
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" was not deleted (%s)\n", call.name, name,
               Reason(errno).c_str());
}

// [SECTION] Packages on a fresh table

// create_file_package(package, file list): the listed files saved as a
// new package.
void CallCreateFilePackage(Call& call) {
  const script::CScriptArray* list = RequireObject(call, 1);
  const char* package = ArgText(call, 0);
  core::FilePackageTable table;
  AddFileList(call, table, list);
  LogTableErrors(call, table, package);
  if (!table.SavePackage(package) || !table.errors.empty()) LogTableErrors(call, table, package);
}

// merge_file_package(a, b, output): a, then b over it (b's entries replace
// a's of the same name), saved as the output. A package that cannot be
// opened is left out; with neither nothing is written.
void CallMergeFilePackage(Call& call) {
  const char* inputs[2] = {ArgText(call, 0), ArgText(call, 1)};
  const char* output = ArgText(call, 2);
  core::FilePackageTable table;
  int mounted = 0;
  for (const char* input : inputs) {
    if (table.LoadFilePackage(input) >= 0) {
      mounted++;
      continue;
    }
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" is left out of \"%s\" (%s)\n", call.name, input, output,
               table.lastError.c_str());
  }
  if (mounted == 0) {
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" was not written: neither package opens\n", call.name,
               output);
    return;
  }
  if (!table.SavePackage(output) || !table.errors.empty()) LogTableErrors(call, table, output);
}

// decode_file_package(package): every entry written out as a file below
// the working folder. The extractor refuses every name that would leave it
// (a ".." segment, a root) and writes through no link.
void CallDecodeFilePackage(Call& call) {
  const char* package = ArgText(call, 0);
  core::FilePackageTable table;
  if (table.LoadFilePackage(package) < 0) {
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" was not unpacked (%s)\n", call.name, package,
               table.lastError.c_str());
    return;
  }
  table.ExtractPackage(".\\");
  LogTableErrors(call, table, package);
}

// [SECTION] The mounted packages

// add_file_package(file list): the listed files join the mounted table as
// loose entries (written by the next save_file_package).
void CallAddFilePackage(Call& call) {
  const script::CScriptArray* list = RequireObject(call, 0);
  core::FilePackageTable* table = Mounted(call);
  if (table) AddFileList(call, *table, list);
}

// load_file_package(package): 1 when mounted, 0 (and a log line) when it
// cannot be opened. The name is the calling script's.
void CallLoadFilePackage(Call& call) {
  const char* name = ArgText(call, 0);
  std::string path = script::ResolveScriptPath(name, call.context->folder ? call.context->folder : "");
  core::FilePackageTable* table = Mounted(call);
  if (table && table->LoadFilePackage(path.c_str()) >= 0) return;
  core::Logf(CallLog(call), core::kLogInfo, Sjis("[%s]がオープンできません。\n"), name);
  SetInt(call, 0);
}

// save_file_package(package): the mounted table saved as a package.
void CallSaveFilePackage(Call& call) {
  const char* package = ArgText(call, 0);
  core::FilePackageTable* table = Mounted(call);
  if (!table) {
    core::Logf(CallLog(call), core::kLogError, "%s: \"%s\" was not written: no package table\n", call.name, package);
    return;
  }
  if (!table->SavePackage(package) || !table->errors.empty()) LogTableErrors(call, *table, package);
}

void CallRemoveFilePackage(Call& call) {
  if (core::FilePackageTable* table = Mounted(call)) table->RemovePackageEntry(ArgText(call, 0));
}

void CallRenameFilePackage(Call& call) {
  if (core::FilePackageTable* table = Mounted(call)) table->RenamePackageEntries(ArgText(call, 0), ArgText(call, 1));
}

// close_file_package(): every mounted package closed; later reads go to
// the disk.
void CallCloseFilePackage(Call& call) {
  if (core::FilePackageTable* table = Mounted(call)) table->CloseFilePackage();
}

}  // namespace

// [SECTION] Names

const CallEntry kFileCalls[] = {
    {"add_file_package", CallAddFilePackage},
    {"close_file_package", CallCloseFilePackage},
    {"copy_file", CallCopyFile},
    {"create_file_package", CallCreateFilePackage},
    {"decode_file_package", CallDecodeFilePackage},
    {"delete_file", CallDeleteFile},
    {"load_file_package", CallLoadFilePackage},
    {"merge_file_package", CallMergeFilePackage},
    {"move_file", CallMoveFile},
    {"remove_file_package", CallRemoveFilePackage},
    {"rename_file_package", CallRenameFilePackage},
    {"save_file_package", CallSaveFilePackage},
};
const size_t kFileCallCount = sizeof kFileCalls / sizeof kFileCalls[0];

const script::SystemCallHandler HandleFileSystemCall = TableHandler<kFileCalls, kFileCallCount>;

}  // namespace api
