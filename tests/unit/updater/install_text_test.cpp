#include "updater/install_text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

std::string Trim(const char* text, int* accepted) {
  char buffer[InstallDirSize];
  strcpy(buffer, text);
  *accepted = TrimDemoDirectory(buffer);
  return buffer;
}

TEST(TrimDemoDirectory, TrailingBackslashesGoAndShortDirectoriesAreRefused) {
  int ok = 0;
  EXPECT_EQ(Trim("D:\\Games\\Demo\\\\\\", &ok), "D:\\Games\\Demo");
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Trim("C:\\", &ok), "C:");
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Trim("\\", &ok), "\\");
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Trim("\\\\\\", &ok), "\\");
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Trim("C:\\a", &ok), "C:\\a");
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Trim("", &ok), "");
  EXPECT_EQ(ok, 0);
}

TEST(ShellCommands, TextsAndQuoting) {
  char b[ShellItemCommandSize];
  ASSERT_EQ(FormatCreateGroup(b, sizeof b, "Vexa Demo"), 1);
  EXPECT_STREQ(b, "[CreateGroup(Vexa Demo)]");
  ASSERT_EQ(FormatReplaceItem(b, sizeof b, "Vexa Demo"), 1);
  EXPECT_STREQ(b, "[ReplaceItem(Vexa Demo)]");
  ASSERT_EQ(FormatAddItem(b, sizeof b, "C:\\Program Files\\Vexa Demo", "VexaDemo.exe", "", "Vexa Demo"), 1);
  EXPECT_STREQ(b,
               "[AddItem(\"C:\\Program Files\\Vexa Demo\\VexaDemo.exe\" , \"Vexa Demo\",,,,,\"C:\\Program "
               "Files\\Vexa Demo\")]");
  char u[ShellUninstallCommandSize];
  ASSERT_EQ(FormatAddUninstall(u, sizeof u, "D:\\x"), 1);
  EXPECT_STREQ(u, "[AddItem(\"D:\\x\\Uninstall.exe\", \"UnInstall\",,,,,\"D:\\x\")]");
}

TEST(ShellCommands, ACommandThatDoesNotFitIsRefusedWhole) {
  std::string dir = "C:\\" + std::string(InstallDirSize - 4, 'd');  // 259 characters
  char b[ShellItemCommandSize];
  memset(b, 'x', sizeof b);
  EXPECT_EQ(FormatAddItem(b, sizeof b, dir.c_str(), "VexaDemo.exe", "", "Vexa Demo"), 0);
  EXPECT_STREQ(b, "");
  char u[ShellUninstallCommandSize];
  EXPECT_EQ(FormatAddUninstall(u, sizeof u, dir.c_str()), 0);
  // The largest directory whose uninstall command still fits: 2 * d + 47 < 320.
  std::string fits(136, 'd');
  EXPECT_EQ(FormatAddUninstall(u, sizeof u, fits.c_str()), 1);
  EXPECT_EQ(strlen(u), sizeof u - 1);
  fits += 'd';
  EXPECT_EQ(FormatAddUninstall(u, sizeof u, fits.c_str()), 0);
}

}  // namespace
