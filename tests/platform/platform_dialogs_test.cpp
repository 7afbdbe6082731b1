// platform_dialogs_test.cpp -- the file and folder choosers: nothing shown
// without a desktop, and the desktop chooser (a stand-in zenity on the
// search path) given the title, the filter and the folder, its choice taken
// and its cancel read as "".

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/platform_public.h"
#include "test_support.h"

namespace {

using test::ScopedEnv;

TEST(FileDialogs, NothingIsShownWithoutADesktop) {
  // The tests run with offscreen video and TKW4_MSGBOX set.
  EXPECT_EQ(platform::ShowFileDialog(platform::FileDialogKind::kOpen, "t", "All\0*.*\0\0", nullptr), "");
  EXPECT_EQ(platform::ShowFileDialog(platform::FileDialogKind::kFolder, "t", nullptr, "/"), "");
}

TEST(FileDialogs, TheDesktopChooserIsAskedAndItsChoiceTaken) {
  test::ScopedWorkFolder work;
  // A chooser that notes its arguments and answers as the test asks.
  test::WriteFile("bin/zenity",
                  "#!/bin/sh\n"
                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$TKW4_TEST_ARGS\"\n"
                  "[ -f cancel ] && exit 1\n"
                  "printf '%s\\n' \"$TKW4_TEST_CHOICE\"\n");
  ASSERT_EQ(chmod("bin/zenity", 0755), 0);
  std::string path = work.Path() + "/bin:" + (std::getenv("PATH") ? std::getenv("PATH") : "");
  ScopedEnv searchPath("PATH", path.c_str());
  ScopedEnv video("SDL_VIDEODRIVER", nullptr);
  ScopedEnv boxes("TKW4_MSGBOX", nullptr);
  ScopedEnv display("DISPLAY", ":99");
  std::string argsFile = work.Path() + "/args.txt";
  ScopedEnv args("TKW4_TEST_ARGS", argsFile.c_str());
  ScopedEnv choice("TKW4_TEST_CHOICE", "/games/\xE8\xA1\xA8.txt");  // 表 in UTF-8

  // The filter list "description\0pattern\0...": "*.*" is every file.
  std::string chosen = platform::ShowFileDialog(platform::FileDialogKind::kSave, test::Sjis("保存").c_str(),
                                                "Text (*.txt)\0*.txt\0All\0*.*\0\0", nullptr);
  EXPECT_EQ(chosen, test::Sjis("/games/表.txt"));
  EXPECT_EQ(test::ReadFile("args.txt"),
            "--file-selection\n--title=保存\n--save\n--confirm-overwrite\n"
            "--file-filter=Text (*.txt) | *.txt\n--file-filter=All | *\n");

  chosen = platform::ShowFileDialog(platform::FileDialogKind::kFolder, "Folder", nullptr, "C:\\data\\");
  EXPECT_EQ(chosen, test::Sjis("/games/表.txt"));
  EXPECT_EQ(test::ReadFile("args.txt"), "--file-selection\n--title=Folder\n--directory\n--filename=C:/data/\n");

  // A choice too long for a path field is no choice.
  {
    std::string longPath = "/" + std::string(259, 'x');
    ScopedEnv tooLong("TKW4_TEST_CHOICE", longPath.c_str());
    EXPECT_EQ(platform::ShowFileDialog(platform::FileDialogKind::kOpen, "t", nullptr, nullptr), "");
  }
  // Cancel.
  test::WriteFile("cancel", "");
  EXPECT_EQ(platform::ShowFileDialog(platform::FileDialogKind::kOpen, "t", nullptr, nullptr), "");
  EXPECT_EQ(test::ReadFile("args.txt"), "--file-selection\n--title=t\n");
}

}  // namespace
