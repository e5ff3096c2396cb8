#include "fileio/path.h"

#include <string.h>
#include <time.h>

#include <set>
#include <string>

#include "scratch.h"

namespace {

using Paths = Scratch;
using PathsDeathTest = Scratch;

struct Split {
  char dir[FileNameSize], base[FileNameSize], ext[FileNameSize];
  explicit Split(const char* path) { SplitPath(path, dir, base, ext); }
};

TEST(SplitPath, DirectoryKeepsItsSeparatorAndTheExtensionLosesItsStop) {
  Split full("C:\\dir\\name.ext");
  EXPECT_STREQ(full.dir, "C:\\dir\\");
  EXPECT_STREQ(full.base, "name");
  EXPECT_STREQ(full.ext, "ext");
  Split bare("archive.tar.gz");
  EXPECT_STREQ(bare.dir, "");
  EXPECT_STREQ(bare.base, "archive.tar");
  EXPECT_STREQ(bare.ext, "gz");
  Split drive("C:name.txt");
  EXPECT_STREQ(drive.dir, OsPathDrives ? "C:" : "") << "a colon ends a drive only where there are drives";
  EXPECT_STREQ(drive.base, OsPathDrives ? "name" : "C:name");
  EXPECT_STREQ(drive.ext, "txt");
  Split dotted("d.x\\file");
  EXPECT_STREQ(dotted.base, "file");
  EXPECT_STREQ(dotted.ext, "") << "a full stop of the directory is no extension";
  Split slashed("/abs/d.x/name.ext");
  EXPECT_STREQ(slashed.dir, "/abs/d.x/") << "the slash separates as the backslash does";
  EXPECT_STREQ(slashed.base, "name");
  Split mixed("d.x/file");
  EXPECT_STREQ(mixed.ext, "");
  char base[FileNameSize];
  SplitPath("a\\b.c", nullptr, base, nullptr);
  EXPECT_STREQ(base, "b");
}

TEST(SplitPath, LongPathsAreCutToTheBuffers) {
  const size_t over = FileNameSize + 40;
  const std::string path = std::string(over, 'd') + "\\" + std::string(over, 'b') + "." + std::string(over, 'e');
  Split parts(path.c_str());
  EXPECT_EQ(strlen(parts.dir), FileNameSize - 1u);
  EXPECT_EQ(strlen(parts.base), FileNameSize - 1u);
  EXPECT_EQ(strlen(parts.ext), FileNameSize - 1u);
}

TEST(StripExtension, ASeparatorStopsTheScan) {
  char a[] = "a.b/c", b[] = "C:\\dir.x\\file", c[] = ".profile", d[] = "x.tar.gz";
  StripExtension(a);
  StripExtension(b);
  StripExtension(c);
  StripExtension(d);
  EXPECT_STREQ(a, "a.b/c");
  EXPECT_STREQ(b, "C:\\dir.x\\file");
  EXPECT_STREQ(c, "");
  EXPECT_STREQ(d, "x.tar");
}

TEST_F(Paths, MakeDirsCreatesEachLevelInTurn) {
  EXPECT_EQ(MakeDirs("a\\b\\"), 1);
  EXPECT_TRUE(Exists("a\\b"));
  EXPECT_EQ(MakeDirs("a\\b\\"), 1) << "every level exists already";
  EXPECT_EQ(MakeDirs("x/y\\z"), 1) << "the slash separates too";
  EXPECT_TRUE(Exists("x\\y\\z"));
  Put("file", "");
  EXPECT_EQ(MakeDirs("file\\sub\\deeper"), 0);
  EXPECT_FALSE(Exists("file\\sub"));
  if (OsPathDrives) {
    EXPECT_EQ(MakeDirs("\\lzx-never-made"), 0) << "the first prefix of a leading separator is empty";
    EXPECT_FALSE(Exists("\\lzx-never-made"));
  }
  const std::string tooLong = "long\\" + std::string(FileNameSize, 'l');
  EXPECT_EQ(MakeDirs(tooLong.c_str()), 0);
  EXPECT_FALSE(Exists("long")) << "nothing of a path that does not fit is created";
}

// An absolute path is made from its root down, as mkdir -p makes it; a
// doubled separator is one.
TEST_F(Paths, MakeDirsTakesAbsolutePathsFromTheRoot) {
  const std::string here = std::filesystem::current_path().string();
  const std::string deep = here + "/abs//b\\c/";
  EXPECT_EQ(PathIsAbsolute(deep.c_str()), 1);
  EXPECT_EQ(MakeDirs(deep.c_str()), 1);
  EXPECT_TRUE(Exists("abs\\b\\c"));
  EXPECT_EQ(MakeDirs(here.c_str()), 1);
}

TEST(PathJoin, OneSeparatorAndTheSystemsOwn) {
  const std::string sep(1, (char)OsPathSeparator);
  char out[FileNameSize];
  ASSERT_EQ(PathJoin(out, sizeof out, "out", "sub\\a/b.txt"), 1);
  EXPECT_EQ(std::string(out), "out" + sep + "sub" + sep + "a" + sep + "b.txt");
  ASSERT_EQ(PathJoin(out, sizeof out, "/abs/", "x"), 1);
  EXPECT_EQ(std::string(out), "/abs/x") << "a directory that ends in a separator gets no second one";
  ASSERT_EQ(PathJoin(out, sizeof out, "", "x"), 1);
  EXPECT_STREQ(out, "x");
  EXPECT_EQ(PathJoin(out, 6, "abc", "de"), 0) << "abc, separator, de and the NUL need 7";
  EXPECT_EQ(PathRootLength("C:\\x"), OsPathDrives ? 3u : 0u);
  EXPECT_EQ(PathRootLength("/x"), OsPathDrives ? 0u : 1u);
  EXPECT_EQ(PathIsAbsolute("rel\\x"), 0);
}

TEST_F(Paths, RemoveDirFilesTakesOneLevelOfPlainFiles) {
  MakeDir("d\\sub");
  Put("d\\one.txt", "1");
  Put("d\\two", "2");
  Put("d\\.hidden", "h");
  EXPECT_EQ(RemoveDirFiles("d", 1), 0);
  EXPECT_FALSE(Exists("d\\one.txt"));
  EXPECT_FALSE(Exists("d\\two"));
  EXPECT_TRUE(Exists("d\\.hidden")) << "names beginning with a full stop are skipped";
  EXPECT_TRUE(Exists("d\\sub"));

  MakeDir("e");
  Put("e\\one.txt", "1");
  EXPECT_EQ(RemoveDirFiles("e", 0), 0) << "without the flag only an empty directory goes";
  EXPECT_EQ(RemoveDirFiles("e", 1), 1);
  EXPECT_FALSE(Exists("e"));
  MakeDir("f");
  EXPECT_EQ(RemoveDirFiles("f", 0), 1);
  EXPECT_EQ(RemoveDirFiles("f", 1), 0) << "gone already";
}

TEST_F(Paths, ListDirStoresNamesWhileOneByteStaysFree) {
  MakeDir("d\\sub");
  Put("d\\a.txt", "");
  Put("d\\b.dat", "");
  char buffer[256];
  memset(buffer, 0, sizeof buffer);
  int n = ListDir(buffer, sizeof buffer - 1, "d\\*.*");
  std::set<std::string> names;
  for (const char* p = buffer; *p; p += strlen(p) + 1) names.insert(p);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.txt", "b.dat", "sub"}));

  EXPECT_EQ(ListDir(buffer, sizeof buffer, "d\\*.TXT"), 1) << "matched without regard to case";
  EXPECT_STREQ(buffer, "a.txt");
  memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(ListDir(buffer, 6, "d\\a.txt"), 0) << "a.txt and its NUL would fill all 6 bytes";
  EXPECT_EQ(buffer[0], 'z');
  EXPECT_EQ(ListDir(buffer, 7, "d\\a.txt"), 1);
  EXPECT_EQ(buffer[6], 'z');
  EXPECT_EQ(ListDir(buffer, sizeof buffer, "d\\*.none"), 0);
  EXPECT_EQ(ListDir(buffer, sizeof buffer, "missing\\*.*"), 0);
  // A search that stops on a full buffer is closed all the same: many of them
  // in a row would otherwise run out of searches or handles.
  for (int i = 0; i < 100; i++) ASSERT_EQ(ListDir(buffer, 2, "d\\*.*"), 0);
}

TEST_F(Paths, ExistenceAttributesAndUse) {
  Put("f.txt", "x");
  MakeDir("d");
  EXPECT_EQ(FileExists("f.txt"), 1);
  EXPECT_EQ(FileExists("d"), 1);
  EXPECT_EQ(FileExists("missing"), 0);
  EXPECT_EQ(IsReadOnly("f.txt"), 0);
  EXPECT_EQ(IsReadOnly("missing"), 1) << "the failure value has the lowest bit set";
  ASSERT_TRUE(OsFileSetReadOnly("f.txt", 1));
  EXPECT_EQ(IsReadOnly("f.txt"), 1);
  ASSERT_TRUE(OsFileSetReadOnly("f.txt", 0));

  EXPECT_EQ(FileInUse("f.txt"), 0);
  EXPECT_EQ(FileInUse("missing"), 1);
  FileRec f;
  FileInit(&f, 1, "f.txt");
  FileOpenRead(&f);
  EXPECT_EQ(FileInUse("f.txt"), 1) << "a reader keeps an exclusive open out";
  FileClose(&f);
  FileAppend(&f);
  EXPECT_EQ(FileInUse("f.txt"), 1);
  FileClose(&f);
  EXPECT_EQ(FileInUse("f.txt"), 0);
}

TEST(IsPlainName, RefusesEveryPathAndSyntaxCharacter) {
  EXPECT_EQ(IsPlainName(nullptr), 0);
  EXPECT_EQ(IsPlainName(""), 1);
  EXPECT_EQ(IsPlainName("Doravo 1 01"), 1);
  EXPECT_EQ(IsPlainName("name.txt"), 0);
  for (char c : std::string(".\"/\\[]:;=,")) {
    char text[] = {'a', c, 'b', '\0'};
    EXPECT_EQ(IsPlainName(text), 0) << c;
  }
}

TEST_F(PathsDeathTest, DeleteFileByNameIsOneOrFatal) {
  EXPECT_EQ(DeleteFileByName("missing"), 1);
  Put("f.txt", "x");
  EXPECT_EQ(DeleteFileByName("f.txt"), 1);
  EXPECT_FALSE(Exists("f.txt"));
  MakeDir("d");
  EXPECT_EXIT(DeleteFileByName("d"), testing::ExitedWithCode(2), "name = \\[d\\] code = 203");
}

uint32_t DosNow(time_t t) {
  struct tm* u = gmtime(&t);
  return (uint32_t)(u->tm_year - 80) << 25 | (uint32_t)(u->tm_mon + 1) << 21 | (uint32_t)u->tm_mday << 16 |
         (uint32_t)u->tm_hour << 11 | (uint32_t)u->tm_min << 5 | (uint32_t)u->tm_sec / 2;
}

TEST_F(Paths, FileDateTimeIsTheLastWriteInUniversalTime) {
  time_t before = time(nullptr);
  Put("f.txt", "x");
  time_t after = time(nullptr);
  FileRec f;
  FileInit(&f, 1, "f.txt");
  unsigned value = 0;
  EXPECT_EQ(FileDateTime(&f, &value), 1);
  EXPECT_TRUE(FileIsClosed(&f));
  EXPECT_GE(value, DosNow(before - 2));
  EXPECT_LE(value, DosNow(after + 2));
  FileOpenRead(&f);
  EXPECT_EQ(FileDateTime(&f, nullptr), 1);
  EXPECT_FALSE(FileIsClosed(&f)) << "an open record stays open";
  FileClose(&f);
}

}  // namespace
