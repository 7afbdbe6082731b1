// core_log.cpp -- "system.log": time-stamped lines, the size limit and the
// start and closing lines.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"

namespace core {

LogSystem::LogSystem(const char* fileName, int threshold) : threshold_(threshold) {
  if (fileName) std::snprintf(fileName_, sizeof fileName_, "%s", fileName);
}

LogSystem::~LogSystem() { CloseLog(); }

int LogSystem::OpenLog(const char* fileName) {
  if (openFailed_) return -1;
  if (!fileName || !*fileName) return 0;
  if (file_ >= 0) return -1;

  // Open without truncating first: only a file that we hold exclusively is
  // emptied, so a second running engine cannot wipe the first one's log.
  int fd = ::open(fileName, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0 && (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0)) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    openFailed_ = true;
    char text[400];
    std::snprintf(text, sizeof text, Sjis("ログファイル[%s]のオープンに失敗しました。"), fileName);
    platform::ShowMessageBox(text, "LogSystem", platform::kMbOk);
    return -1;
  }
  file_ = fd;
  total_ = 0;
  threshold_ = 0;
  WriteLogf(kLogInfo, Sjis("%s:ログの取得を開始します。\n"), fileName);
  return fd;
}

int LogSystem::WriteLog(const char* text, int level) {
  if (level < threshold_) return 0;
  if (file_ < 0) {
    if (OpenLog(fileName_) <= 0) return 0;
  }
  if (!text) text = "";

  platform::LocalTime now = platform::GetLocalTime();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d|", now.hour, now.minute, now.second,
                now.milliseconds);
  size_t length = std::strlen(text);
  line_.clear();
  line_.reserve(length * 2 + 30);
  line_ += stamp;
  for (size_t i = 0; i < length; i++) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) line_ += '\r';
    line_ += text[i];
  }
  if (length == 0 || text[length - 1] != '\n') line_ += "\r\n";

  total_ += line_.size();
  if (total_ <= kSizeLimit) {
    ssize_t written = ::write(file_, line_.data(), line_.size());
    return written > 0 ? int(written) : 0;
  }
  if (!limitReported_) {
    const char* message = Sjis("ログファイルの容量は16MBまでです。");
    ssize_t ignored = ::write(file_, message, std::strlen(message));
    (void)ignored;
    limitReported_ = true;
  }
  return 0;
}

namespace {

// Formats into a stack buffer, or a heap one for a long line, and writes it.
int WriteFormatted(LogSystem& log, int level, const char* format, va_list args) {
  char buffer[2048];
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n < 0) {
    va_end(again);
    return 0;
  }
  if (size_t(n) < sizeof buffer) {
    va_end(again);
    return log.WriteLog(buffer, level);
  }
  std::string big(size_t(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, again);
  va_end(again);
  return log.WriteLog(big.c_str(), level);
}

}  // namespace

int LogSystem::WriteLogf(int level, const char* format, ...) {
  if (level < threshold_) return 0;
  va_list args;
  va_start(args, format);
  int n = WriteFormatted(*this, level, format, args);
  va_end(args);
  return n;
}

int Log(LogSystem* log, int level, const char* text) { return log ? log->WriteLog(text, level) : 0; }

int Logf(LogSystem* log, int level, const char* format, ...) {
  if (!log || level < log->threshold()) return 0;
  va_list args;
  va_start(args, format);
  int n = WriteFormatted(*log, level, format, args);
  va_end(args);
  return n;
}

void LogSystem::CloseLog() {
  // The closing line opens the file if nothing was logged yet, as every
  // line does; a log that could not be opened stays silent.
  WriteLog(Sjis("ログファイルをクローズします。\n"), kLogInfo);
  if (file_ >= 0) ::close(file_);
  file_ = -1;
  line_ = std::string();
}

}  // namespace core
