// A target held open by another process without sharing (an installed
// program that is running): the update ends through the fatal path, and the
// target and "lzx.ver" stay as they were. Windows only: a POSIX rename
// replaces an open file.
#include <string.h>

#include "lzx/archive.h"
#include "lzx/scratch.h"
#include "lzx/versionrec.h"
#include "os/files.h"

namespace {

class LockedTargetDeathTest : public ScratchTest {};

TEST_F(LockedTargetDeathTest, UpdateEndsAndKeepsTheTarget) {
  PutFile("src/a.exe", SampleData(30000, 1));
  PutFile("src/b.dll", SampleData(5000, 2));
  PutText("list.txt", "a.lzx\nsrc\\\na.exe|V=101\n#a.exe\nb.dll|V=101\n#b.dll\n");
  PackLZX("list.txt", nullptr, nullptr, nullptr, 0);
  Bytes oldA = SampleData(700, 7), oldB = SampleData(800, 8);
  PutFile("inst/a.exe", oldA);
  PutFile("inst/b.dll", oldB);
  VersionRecord table[4];
  memset(table, 0, sizeof table);
  strcpy(table[0].name, "#a.exe");
  strcpy(table[1].name, "#b.dll");
  table[0].version = table[1].version = 100;
  VersionFileWrite("inst/lzx.ver", table, 4);
  Bytes oldVer = GetFile("inst/lzx.ver");

  // This process holds b.dll open without sharing; the death test's child is
  // another process (its own attempt to open it fails and is ignored).
  OsFileHandle lock = OsFileOpen("inst\\b.dll", OsOpenExclusiveRead);
  EXPECT_EXIT(
      {
        ArchiveCheck("a.lzx", "inst", nullptr, nullptr);
        VersionFileRead("inst/lzx.ver", table, 4);
        UnPackLZX("a.lzx", "inst", table, 4, 1);
        VersionFileWrite("inst/lzx.ver", table, 4);
      },
      testing::ExitedWithCode(2), "name = \\[inst.b\\.dll\\] code = 204");
  OsFileClose(lock);
  EXPECT_EQ(GetFile("inst/b.dll"), oldB);
  EXPECT_EQ(GetFile("inst/lzx.ver"), oldVer);
  Bytes a = GetFile("inst/a.exe");
  EXPECT_TRUE(a == oldA || a == GetFile("src/a.exe"));
}

}  // namespace
