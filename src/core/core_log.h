// core_log.h -- the writer of "system.log", and the one logging call every
// subsystem uses (it accepts a missing log).
#pragma once

#include <cstdint>
#include <string>

namespace core {

// Log levels in use.
enum : int {
  kLogInfo = 0,        // information
  kLogMilestone = 10,  // start of the game loop and similar
  kLogError = 999,     // errors
};

// One time-stamped line per WriteLog call, in the texts' own encoding
// (Shift-JIS). The file is opened (and truncated) by the first line that
// passes the threshold, so each run starts a new log, and stops growing just
// under 16 MB. Main thread only: the log has no lock.
class LogSystem {
 public:
  // Longest total of line bytes that is still written: 16 MB less the
  // limit message and one byte.
  static constexpr uint64_t kSizeLimit = 16777181;

  LogSystem(const char* fileName, int threshold);
  ~LogSystem();  // writes the closing line
  LogSystem(const LogSystem&) = delete;
  LogSystem& operator=(const LogSystem&) = delete;

  // Writes one line; returns the bytes written, or 0 when the line was
  // dropped (below the threshold, past the size limit) or the file is not
  // open. Bare line feeds become CR LF; a line end is added unless the text
  // ends in a line feed.
  int WriteLog(const char* text, int level);
  // printf-style WriteLog.
  int WriteLogf(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  void SetLogLevel(int threshold) { threshold_ = threshold; }
  int threshold() const { return threshold_; }

  // Opens and truncates the file and writes the start line. Returns the
  // file handle, 0 when the name is empty, -1 when the file is already open
  // or cannot be opened (then one message box for the whole run).
  int OpenLog(const char* fileName);
  // Writes the closing line and closes the file.
  void CloseLog();

  bool IsOpen() const { return file_ >= 0; }
  const char* FileName() const { return fileName_; }

 private:
  int file_ = -1;            // open file descriptor; -1 while not open
  char fileName_[260] = {};  // the log's path, copied at construction
  int threshold_ = 0;        // lines of a lower level are dropped
  uint64_t total_ = 0;       // bytes of all lines since the open, dropped lines
                             // included (64 bits: a long run of dropped lines
                             // must not wrap the count back under the limit)
  bool openFailed_ = false;  // the file could not be opened; never tried again
  bool limitReported_ = false;  // the size-limit message has been written
  std::string line_;         // where each line is built
};

// The logging call of every subsystem: writes `text` at `level` to `log`,
// or nothing when there is no log (tests and tools often run without one).
// Returns what WriteLog returns, 0 without a log.
int Log(LogSystem* log, int level, const char* text);
// printf-style Log.
int Logf(LogSystem* log, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace core
