// platform_dialogs.h -- the desktop's file and folder choosers, for scripts
// that let the user pick a file. They never block a run without a desktop.
#pragma once

#include <string>

namespace platform {

// Which chooser to show.
enum class FileDialogKind {
  kOpen,    // an existing file (path and file must exist)
  kSave,    // a file to write (an existing one is confirmed before it is taken)
  kFolder,  // an existing folder
};

// Shows a modal chooser and returns the chosen path (Shift-JIS, as the
// engine's texts are), or "" when it was cancelled or cannot be shown.
// `title` is the chooser's caption. For the two file kinds `filter` holds
// description and pattern pairs, each text ended by a zero byte and the list
// by an empty text ("Text (*.txt)\0*.txt\0\0"); null shows every file. For
// the folder kind `initialFolder` is where the chooser opens (null or ""
// for the working folder).
//
// A desktop chooser (zenity) is used when one is installed and a desktop is
// there. Without a desktop, when TKW4_MSGBOX is set, or when no chooser is
// installed, nothing is shown and the result is "" as if cancelled, so
// black-box runs never block. A chosen path of 260 bytes or more does not fit
// the engine's path fields and also gives "".
std::string ShowFileDialog(FileDialogKind kind, const char* title, const char* filter, const char* initialFolder);

}  // namespace platform
