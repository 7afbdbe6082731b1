// platform_system.h -- clock, local time, files and folders, text encoding
// and message boxes: what every subsystem asks of the operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Window;

// ----------------------------------------------------------------------------
// Time
// ----------------------------------------------------------------------------

// Milliseconds of a monotonic clock from an arbitrary origin. The value wraps
// at 2^32; the difference of two readings is the exact elapsed time modulo
// 2^32 over the whole run, which is all the frame pacer relies on.
uint32_t MonotonicMs();

// A millisecond time source that tests can replace. Owners that pace or time
// out hold one of these instead of calling MonotonicMs directly.
struct Clock {
  uint32_t (*source)(void* user) = nullptr;  // null: the monotonic clock
  void* user = nullptr;

  uint32_t NowMs() const { return source ? source(user) : MonotonicMs(); }
};

// The local wall-clock time, milliseconds included (for log stamps and file
// names made from the date).
struct LocalTime {
  int year;          // in full, e.g. 2026
  int month;         // 1..12
  int day;           // 1..31
  int dayOfWeek;     // 0 Sunday .. 6 Saturday
  int hour;          // 0..23
  int minute;        // 0..59
  int second;        // 0..59
  int milliseconds;  // 0..999
};
LocalTime GetLocalTime();

// Gives the rest of the time slice to other threads (the main loop's idle).
void YieldProcessor();
void SleepMs(uint32_t milliseconds);

// ----------------------------------------------------------------------------
// Memory
// ----------------------------------------------------------------------------

// `bytes` aligned to 2 MiB, its whole 2 MiB pages backed by large pages
// where the system gives them, so that walking a large table does not miss
// the address cache page after page. Null when there is no memory. Given
// back with FreeLargePages.
void* AllocateLargePages(size_t bytes);
void FreeLargePages(void* memory);

// ----------------------------------------------------------------------------
// Files and folders
//
// Game data names files with "\" between folders and in any letter case, as
// it was written for a case-insensitive file system. ResolvePath turns such a
// name into the path of the file that exists here, matching each component
// without regard to ASCII case (the second byte of a Shift-JIS character is
// never folded) and trying a Shift-JIS component's UTF-8 spelling too.
// ----------------------------------------------------------------------------

// 100-nanosecond intervals since 1601-01-01 UTC: the unit in which the engine
// compares and stores file times.
using FileTime = uint64_t;

bool PathExists(const char* path);   // a file or a folder
bool IsDirectory(const char* path);  // an existing folder

// Separators become "/"; when the name exists as given it is returned as is,
// else component by component the existing spelling is taken. Components that
// match nothing are kept as given, so the result names where the file would be.
std::string ResolvePath(std::string_view name);

struct DirEntry {
  std::string name;  // as stored on disk
  bool isDirectory;
  uint64_t size;     // bytes; 0 for folders
};

// The entries of a folder without "." and "..", sorted by name without regard
// to ASCII case (ties by bytes), so listings are stable across file systems.
// An unreadable folder gives an empty list.
std::vector<DirEntry> ListDirectory(const char* folder);

// Creates the folder and every missing parent; true when it exists afterwards.
bool MakeDirectories(const char* path);

// Last-write time of a file; false when it cannot be read.
bool GetFileWriteTime(const char* path, FileTime* time);

// The working folder, with "/" separators and no trailing "/".
std::string WorkingFolder();

// Writing a whole file without ever losing the old one: the new bytes go to
// a temporary file beside the target (a hidden name ending in ".tmp"), which
// replaces the target by a rename only once every byte is written, flushed
// to the disk and closed. Any failure (a full disk, an error of the system)
// removes the temporary file and leaves the old file byte for byte as it
// was; Error() then holds the system's reason. Every file the engine writes
// whole is written through it (error and listing files excepted).
class WholeFileWriter {
 public:
  WholeFileWriter() = default;
  ~WholeFileWriter();  // abandons a file that was not committed
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  // Starts the file that will replace `path` (a disk path). A symbolic link
  // there is followed, so the file it names is replaced, as writing in place
  // did. Refuses a target that exists and is not a regular file (a folder,
  // a FIFO, a device), and a link that leads nowhere.
  bool Begin(const char* path);
  // Starts the file `name` (one component, no "/") in the folder open as
  // `folderFd`, which the caller keeps open until Commit. Refuses a target
  // that is a symbolic link or not a regular file: nothing is ever written
  // through a link.
  bool BeginAt(int folderFd, const char* name);
  // Appends bytes; false once anything failed.
  bool Write(const void* data, size_t count);
  // Appends `count` zero bytes without writing them: a hole, where the file
  // system keeps such (a long run of zeros costs neither time nor disk).
  bool Skip(uint64_t count);
  // Makes the file whole (flushed to the disk when `sync`), closes it and
  // renames it over the target. False, with the old file kept and the
  // temporary removed, when any step failed.
  bool Commit(bool sync = true);
  // Drops the temporary file; the target stays as it was.
  void Abandon();

  bool Failed() const { return !error_.empty(); }
  // The reason of the first failure (the system's text), "" while none.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what, int error);
  bool Start(int folderFd, bool ownsFolder, const std::string& name);

  int folderFd_ = -1;
  bool ownsFolder_ = false;
  int fd_ = -1;
  std::string name_;    // the target's name in the folder
  std::string temp_;    // the temporary file's name in the folder
  uint64_t size_ = 0;   // bytes appended, holes included
  uint64_t end_ = 0;    // bytes actually written (the end of the last write)
  std::string error_;
};

// Writes `count` bytes as the whole file `path` through a WholeFileWriter.
// False with the system's reason in `*error` (when given) on failure; the
// old file is then untouched.
bool WriteWholeFile(const char* path, const void* data, size_t count, std::string* error = nullptr);

// For tests: every WholeFileWriter write beyond `bytes` more bytes fails as
// on a full disk (ENOSPC); a negative value lifts the limit.
void SetWholeFileSpaceForTesting(int64_t bytes);

// Opens the folder `relative` ("/" between components) below the folder
// open as `baseFd`, each component matched as on a case-insensitive file
// system (the exact spelling first, then without regard to ASCII case) and
// made when missing and `create` is set. Never follows a symbolic link: a
// component that is one is refused. Returns the folder's descriptor (the
// caller closes it), or -1 with the reason in `*error`.
int OpenFolderBeneath(int baseFd, std::string_view relative, bool create, std::string* error);
// The entry of the folder open as `folderFd` that names `component`: the
// exact spelling first, then without regard to ASCII case; "" when none.
std::string MatchNameAt(int folderFd, std::string_view component);

// Case-insensitive comparison of two names as Windows compared file names:
// ASCII letters fold, the second byte of a Shift-JIS character does not.
// Returns <0, 0, >0.
int CompareNamesNoCase(std::string_view a, std::string_view b);

// ----------------------------------------------------------------------------
// Text encoding
//
// Texts are Shift-JIS (code page 932) bytes everywhere inside the engine.
// They become UTF-8 only where the platform shows them (window titles,
// message boxes, the console) and file names are matched on disk.
// Bytes that do not convert become "?".
// ----------------------------------------------------------------------------

std::string Cp932ToUtf8(std::string_view text);
std::string Utf8ToCp932(std::string_view text);

// ----------------------------------------------------------------------------
// Message boxes
//
// Button sets, icons and answers keep the Windows numbers, which scripts see
// through `message_box`. Texts are Shift-JIS.
//
// Without a display (SDL_VIDEODRIVER offscreen or dummy, or when the desktop
// refuses the box) and whenever TKW4_MSGBOX is set, no box is shown: the box
// is written to stderr and to the diagnostic sink (the log), and answered
// with the next answer of TKW4_MSGBOX_ANSWERS (a comma list of ok, cancel,
// yes, no, abort, retry, ignore or numbers; the list is used up in order) or
// else the box's first button. When TKW4_MSGBOX names a file (anything but
// "1" or "-"), each box is also appended to it as one line
// "caption<TAB>text<TAB>answer" in UTF-8 with line breaks written as "\n".
// So black-box runs never block.
// ----------------------------------------------------------------------------

enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbAbortRetryIgnore = 0x2,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbCancelTryContinue = 0x6,
  kMbButtonMask = 0xF,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
  kMbIconMask = 0xF0,
};

enum : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
  kIdTryAgain = 10,
  kIdContinue = 11,
};

// Shows a modal box and returns the answer's id. `owner` may be null. A
// button set number without a set of its own shows OK alone.
int ShowMessageBox(const char* text, const char* caption, unsigned flags, Window* owner = nullptr);

// In-process hook for tests: when set, every box goes to it instead and its
// result is the answer. Pass null to remove.
using MessageBoxHook = int (*)(void* user, const char* text, const char* caption, unsigned flags);
void SetMessageBoxHook(MessageBoxHook hook, void* user);

// Where boxes that cannot be shown are recorded besides stderr (the app sets
// the log here). The text handed over is Shift-JIS and ends in a line feed.
using DiagnosticSink = void (*)(void* user, const char* text);
void SetDiagnosticSink(DiagnosticSink sink, void* user);

// True when no desktop is there to show windows or boxes on.
bool IsHeadless();

// ----------------------------------------------------------------------------
// Life cycle
// ----------------------------------------------------------------------------

// Releases what the layer started on demand (video, audio, controllers).
// Called once when the program ends; later calls start things afresh.
void Shutdown();

}  // namespace platform
