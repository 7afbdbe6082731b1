// platform_dialogs.cpp -- file and folder choosers through the desktop's
// zenity, run as a child process; "" whenever none can be shown.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform_local.h"

namespace platform {

namespace {

// Longest path the engine's path fields hold, terminator included.
constexpr size_t kMaxPathBytes = 260;

// The chooser program found on the search path, or "".
std::string FindChooser() {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string all(path);
  for (size_t pos = 0; pos <= all.size();) {
    size_t end = all.find(':', pos);
    if (end == std::string::npos) end = all.size();
    std::string candidate = (end > pos ? all.substr(pos, end - pos) : std::string(".")) + "/zenity";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    pos = end + 1;
  }
  return {};
}

// zenity's "--file-filter=description | pattern" arguments of a filter list.
// A pattern "*.*" means every file, which zenity writes "*".
std::vector<std::string> FilterArguments(const char* filter) {
  std::vector<std::string> out;
  if (!filter) return out;
  for (const char* p = filter; *p;) {
    std::string description = p;
    p += description.size() + 1;
    if (!*p) break;  // a description without its pattern ends the list
    std::string pattern = p;
    p += pattern.size() + 1;
    if (pattern == "*.*") pattern = "*";
    out.push_back("--file-filter=" + Cp932ToUtf8(description) + " | " + Cp932ToUtf8(pattern));
  }
  return out;
}

// Runs the chooser and returns what it printed when it ended with status 0
// (a choice), else "".
std::string RunChooser(const std::string& program, const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return {};
  }
  if (child == 0) {
    // The child: the choice on stdout, nothing read, its chatter dropped.
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDERR_FILENO);
    }
    dup2(pipeEnds[1], STDOUT_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string out;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, size_t(n));
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace

std::string ShowFileDialog(FileDialogKind kind, const char* title, const char* filter, const char* initialFolder) {
  const char* record = std::getenv("TKW4_MSGBOX");
  if ((record && *record) || IsHeadless()) return {};
  std::string program = FindChooser();
  if (program.empty()) return {};

  std::vector<std::string> arguments{"--file-selection", "--title=" + Cp932ToUtf8(title ? title : "")};
  switch (kind) {
    case FileDialogKind::kOpen: break;
    case FileDialogKind::kSave:
      arguments.push_back("--save");
      arguments.push_back("--confirm-overwrite");
      break;
    case FileDialogKind::kFolder: {
      arguments.push_back("--directory");
      // In UTF-8 no second byte of a character is a backslash, so every
      // backslash left is a separator.
      std::string folder = initialFolder && *initialFolder ? Cp932ToUtf8(initialFolder) : WorkingFolder();
      for (char& c : folder)
        if (c == '\\') c = '/';
      if (folder.empty() || folder.back() != '/') folder += '/';
      arguments.push_back("--filename=" + folder);
      break;
    }
  }
  if (kind != FileDialogKind::kFolder)
    for (std::string& f : FilterArguments(filter)) arguments.push_back(std::move(f));

  std::string chosen = RunChooser(program, arguments);
  if (chosen.empty()) return {};
  std::string path = Utf8ToCp932(chosen);
  if (path.size() >= kMaxPathBytes) return {};
  return path;
}

}  // namespace platform
