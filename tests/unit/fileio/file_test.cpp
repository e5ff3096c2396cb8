#include "fileio/file.h"

#include <string.h>

#include <string>

#include "scratch.h"

namespace {

using FileRecords = Scratch;
using FileRecordsDeathTest = Scratch;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = (char)(i * 7 + 3);
  return s;
}

TEST_F(FileRecords, CountsWholeRecordsAndKeepsTheTrailingPart) {
  const std::string bytes = Pattern(1000);
  Put("data.bin", bytes);
  FileRec f;
  FileInit(&f, 432, "data.bin");
  EXPECT_EQ(FileSize(&f), 2);
  EXPECT_TRUE(FileIsClosed(&f)) << "FileSize of a closed record closes it again";

  FileOpenRead(&f);
  static char buffer[3 * 432];
  memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(FileRead(&f, 3, buffer), 2);
  EXPECT_EQ(std::string(buffer, 1000), bytes) << "the 136 trailing bytes are stored too";
  EXPECT_EQ(FileRead(&f, 1, buffer), 0) << "end of file is not an error";
  EXPECT_EQ(FileTell(&f), 2);

  FileSeek(&f, 1, 0);
  EXPECT_EQ(FileTell(&f), 1);
  EXPECT_EQ(FileSize(&f), 2);
  EXPECT_EQ(FileTell(&f), 1) << "FileSize of an open record keeps its position";
  FileSeek(&f, -1, 2);  // 568 bytes
  EXPECT_EQ(FileTell(&f), 1);
  FileSeek(&f, 1, 1);  // 1000 bytes
  EXPECT_EQ(FileTell(&f), 2);
  FileClose(&f);
  FileClose(&f);
  EXPECT_TRUE(FileIsClosed(&f));

  FileInit(&f, 1, f.name);  // the same file, now in bytes
  EXPECT_EQ(FileSize(&f), 1000);

  FileRec never;
  FileInit(&never, 1, "never.bin");
  FileClose(&never);
  EXPECT_EQ(OpenFileAnyLeft(), 0);
}

TEST_F(FileRecords, CreateTruncatesAppendAddsAndLinesEndInCrLf) {
  Put("out.txt", "old contents that must go");
  FileRec f;
  FileInit(&f, 1, "out.txt");
  FileCreate(&f);
  EXPECT_EQ(OpenFileAnyLeft(), 1);
  EXPECT_EQ(FileWriteLine(&f, "abc"), 5);
  EXPECT_EQ(FilePrintf(&f, "%d-%s", 42, "x"), 4);
  EXPECT_EQ(FileWrite(&f, 0, ""), 0);
  FileClose(&f);
  EXPECT_EQ(Get("out.txt"), "abc\r\n42-x");

  FileAppend(&f);
  EXPECT_EQ(FileTell(&f), 9) << "an appending record starts at the end";
  EXPECT_EQ(FileWrite(&f, 2, "yz"), 2);
  FileClose(&f);
  EXPECT_EQ(Get("out.txt"), "abc\r\n42-xyz");

  FileInit(&f, 1, "new.txt");
  FileAppend(&f);  // created when missing
  FileClose(&f);
  EXPECT_EQ(Get("new.txt"), "");
}

TEST_F(FileRecords, ReadWriteCreatesAMissingFileAndKeepsAnExistingOne) {
  FileRec f;
  FileInit(&f, 4, "rw.bin");
  FileOpenReadWrite(&f);
  EXPECT_EQ(FileWrite(&f, 2, "abcdefgh"), 2);
  FileSeek(&f, 1, 0);
  char buffer[4];
  EXPECT_EQ(FileRead(&f, 1, buffer), 1);
  EXPECT_EQ(std::string(buffer, 4), "efgh");
  FileClose(&f);

  FileOpenReadWrite(&f);
  EXPECT_EQ(FileSize(&f), 2) << "not truncated";
  FileSeek(&f, 0, 2);
  FileWrite(&f, 1, "ijkl");
  FileClose(&f);
  EXPECT_EQ(Get("rw.bin"), "abcdefghijkl");
}

TEST_F(FileRecords, CopyWritesTheLastShortOrEmptyChunk) {
  char buffer[300];
  for (size_t size : {1000u, 900u, 0u}) {
    const std::string bytes = Pattern(size);
    Put("src.bin", bytes);
    FileRec source, target;
    FileInit(&source, 1, "src.bin");
    FileInit(&target, 1, "dst.bin");
    FileCopy(&source, &target, buffer, sizeof buffer);
    EXPECT_EQ(Get("dst.bin"), bytes) << size;
    EXPECT_TRUE(FileIsClosed(&source) && FileIsClosed(&target));
  }
}

// The room set aside ahead of the writes never lengthens the file: one that
// ends short of the size it was to have (a damaged length) is as long as what
// was written.
TEST_F(FileRecords, ReserveGoesAStepAheadAndLeavesTheSizeToTheWrites) {
  const int64_t step = FileReserveBytes;
  FileRec f;
  FileInit(&f, 1, "big.bin");
  FileCreate(&f);
  EXPECT_EQ(FileReserve(&f, 0, 3 * step), step);
  EXPECT_EQ(FileReserve(&f, step, step + 5), step + 5) << "no further than the size";
  EXPECT_EQ(FileReserve(&f, 7, 7), 7) << "nothing left to set aside";
  EXPECT_EQ(FileWrite(&f, 1000, Pattern(1000).data()), 1000);
  FileClose(&f);
  EXPECT_EQ(Get("big.bin"), Pattern(1000));
}

TEST_F(FileRecords, RenameMovesAndTakesTheNewName) {
  Put("a.txt", "A");
  FileRec f;
  FileInit(&f, 1, "a.txt");
  FileRename(&f, "b.txt");
  EXPECT_STREQ(f.name, "b.txt");
  EXPECT_EQ(Get("b.txt"), "A");
  EXPECT_FALSE(Exists("a.txt"));
}

TEST_F(FileRecords, DeleteOfMissingOrDeletableFileIsOneAndAFailureIsQuietWithNegativeSize) {
  FileRec f;
  FileInit(&f, 1, "missing.txt");
  EXPECT_EQ(FileDelete(&f), 1);

  Put("here.txt", "x");
  FileInit(&f, 1, "here.txt");
  EXPECT_EQ(FileDelete(&f), 1);
  EXPECT_FALSE(Exists("here.txt"));

  // A directory exists but cannot be deleted as a file, on every system and
  // for every user.
  MakeDir("sub");
  FileInit(&f, -1, "sub");
  EXPECT_EQ(FileDelete(&f), 0);
  EXPECT_TRUE(Exists("sub"));
}

TEST(IsPrinterName, LooksAtTheLastComponentOnly) {
  EXPECT_EQ(IsPrinterName("PRN"), 1);
  EXPECT_EQ(IsPrinterName("prn"), 1);
  EXPECT_EQ(IsPrinterName("C:\\out\\PRN.TXT"), 1);
  EXPECT_EQ(IsPrinterName("Prnx"), 1);
  EXPECT_EQ(IsPrinterName("C:\\prn\\a.txt"), 0);
  EXPECT_EQ(IsPrinterName("pr"), 0);
  EXPECT_EQ(IsPrinterName("out/prn"), 1) << "the slash separates too";
  EXPECT_EQ(IsPrinterName("prn/a.txt"), 0);
  EXPECT_EQ(IsPrinterName(""), 0);
}

TEST_F(FileRecords, ReadOnlyPathOpenedForWritingIsRefusedUnlessItIsThePrinter) {
  Put("prnx.txt", "p");
  Put("other.txt", "o");
  ASSERT_TRUE(OsFileSetReadOnly("prnx.txt", 1) && OsFileSetReadOnly("other.txt", 1));
  OsFileHandle probe = OsFileOpen("other.txt", OsOpenAppend);
  if (!probe)
    GTEST_SKIP() << "a read-only file cannot be opened for writing here, so the check after the open "
                    "is never reached (it is as root on POSIX)";
  OsFileClose(probe);
  FileRec f;
  FileInit(&f, 1, "prnx.txt");
  FileAppend(&f);
  FileClose(&f);
  EXPECT_EXIT(
      {
        FileInit(&f, 1, "other.txt");
        FileAppend(&f);
      },
      testing::ExitedWithCode(2), "name = \\[other.txt\\] code = 206");
}

TEST_F(FileRecordsDeathTest, OpenFailuresCarryTheirCodes) {
  FileRec f;
  FileInit(&f, 1, "missing.txt");
  EXPECT_EXIT(FileOpenRead(&f), testing::ExitedWithCode(2), "^\nFile Error : name = \\[missing.txt\\] code = 209\n$");
  EXPECT_EXIT(FileSize(&f), testing::ExitedWithCode(2), "code = 209");
  FileInit(&f, 1, "nodir\\x.txt");
  EXPECT_EXIT(FileCreate(&f), testing::ExitedWithCode(2), "code = 211");
  EXPECT_EXIT(FileAppend(&f), testing::ExitedWithCode(2), "code = 210");
  EXPECT_EXIT(FileOpenReadWrite(&f), testing::ExitedWithCode(2), "code = 212");
}

TEST_F(FileRecordsDeathTest, DeleteFailureIsFatalWithPositiveRecordSize) {
  MakeDir("sub");
  FileRec f;
  FileInit(&f, 1, "sub");
  EXPECT_EXIT(FileDelete(&f), testing::ExitedWithCode(2), "name = \\[sub\\] code = 203");
}

TEST_F(FileRecordsDeathTest, BadOriginEndsBeforeAnySystemCall) {
  // The record was never opened: a seek on the system would fail with 207.
  FileRec f;
  FileInit(&f, 1, "never.bin");
  EXPECT_EXIT(FileSeek(&f, 0, 3), testing::ExitedWithCode(2), "code = 432");
  EXPECT_EXIT(FileSeek(&f, 0, -1), testing::ExitedWithCode(2), "code = 432");
  EXPECT_EXIT(FileSeek(&f, 0, 0), testing::ExitedWithCode(2), "code = 207");
}

TEST_F(FileRecordsDeathTest, SeekBeforeTheStartAndRenameOntoAnExistingName) {
  EXPECT_EXIT(
      {
        FileRec f;
        FileInit(&f, 10, "s.bin");
        FileCreate(&f);
        FileSeek(&f, -1, 0);
      },
      testing::ExitedWithCode(2), "code = 207");
  Put("a.txt", "A");
  Put("b.txt", "B");
  EXPECT_EXIT(
      {
        FileRec f;
        FileInit(&f, 1, "a.txt");
        FileRename(&f, "b.txt");
      },
      testing::ExitedWithCode(2), "name = \\[a.txt\\] code = 204");
  EXPECT_EQ(Get("a.txt"), "A");
  EXPECT_EQ(Get("b.txt"), "B") << "the move must not replace";
}

TEST_F(FileRecordsDeathTest, OpenFileTableHoldsThirtyAndTheFatalPathClosesThem) {
  EXPECT_EXIT(
      {
        FatalSetTerminator([](int) { fprintf(stderr, "left=%d", OpenFileAnyLeft()); });
        FileRec files[OpenFileSlots + 1];
        char name[16];
        for (int i = 0; i <= OpenFileSlots; i++) {
          snprintf(name, sizeof name, "f%d.txt", i);
          FileInit(&files[i], 1, name);
          FileCreate(&files[i]);
        }
      },
      testing::ExitedWithCode(2), "Internal error \\[94\\] in \\[FILEIO,.+\\]\nleft=0");
}

TEST_F(FileRecordsDeathTest, TheFatalPathRemovesOnlyTemporaryFiles) {
  EXPECT_EXIT(
      {
        FatalSetTerminator([](int) {
          FILE* scratch = fopen("scratch.tmp", "rb");
          FILE* keep = fopen("keep.tmp", "rb");
          fprintf(stderr, "scratch=%d keep=%d", scratch != nullptr, keep != nullptr);
        });
        FileRec keep;
        FileRec scratch;
        FileInit(&keep, 1, "keep.tmp");
        FileCreate(&keep);
        FileInit(&scratch, 1, "scratch.tmp");
        FileCreate(&scratch);
        OpenFileTemporary(&scratch);
        FatalMessage("stopped");
      },
      testing::ExitedWithCode(2), "stopped\nscratch=0 keep=1");
}

// A registered scratch file goes on the fatal path, open or closed, and a
// file error on one names the file it stands for, with the system's cause.
TEST_F(FileRecordsDeathTest, ScratchFilesGoAndErrorsNameTheirTarget) {
  EXPECT_EXIT(
      {
        FatalSetPresenter([](const char* text) {
          fprintf(stderr, "%s|%s|%d", text, FileLastError()->name, FileLastError()->cause[0] != 0);
          return 1;
        });
        FatalSetTerminator([](int) { fprintf(stderr, "|closed=%d", fopen("closed.tmp", "rb") != nullptr); });
        FileRec closed;
        FileRec missing;
        FileInit(&closed, 1, "closed.tmp");
        FileScratchAdd("closed.tmp", "done.txt");
        FileCreate(&closed);
        FileClose(&closed);
        FileInit(&missing, 1, "nowhere\\part.tmp");
        FileScratchAdd("nowhere\\part.tmp", "nowhere\\wanted.txt");
        FileCreate(&missing);
      },
      testing::ExitedWithCode(2), "name = \\[nowhere.wanted.txt\\] code = 211\\|nowhere.wanted.txt\\|1\\|closed=0");
  // Done with: the file stays, and its errors name it.
  FileRec kept;
  FileInit(&kept, 1, "kept.tmp");
  FileScratchAdd("kept.tmp", "other.txt");
  FileCreate(&kept);
  FileClose(&kept);
  FileScratchCommit(&kept, "final.txt");
  EXPECT_EQ(Get("final.txt"), "");
  EXPECT_FALSE(Exists("kept.tmp"));
}

TEST_F(FileRecordsDeathTest, DuplicateHandleAndUnknownHandle) {
  EXPECT_EXIT(
      {
        FileRec a;
        FileRec b;
        FileInit(&a, 1, "a.txt");
        FileCreate(&a);
        b = a;
        OpenFileAdd(&b);
      },
      testing::ExitedWithCode(2), "Internal error \\[95\\] in \\[FILEIO,");
  EXPECT_EXIT(
      {
        FileRec f;
        FileInit(&f, 1, "nowhere.txt");
        f.handle = 12345;
        OpenFileRemove(&f);
      },
      testing::ExitedWithCode(2), "^Illegal unstack \\[nowhere.txt\\]\n$");
}

TEST_F(FileRecordsDeathTest, LongNamesAreRefusedAndFatalTextsKeepTheirCode) {
  const std::string longName(FileNameSize + 40, 'n');
  auto showLength = [](const char* text) {
    fprintf(stderr, "%s\nlen=%u", text, (unsigned)strlen(text));
    return 1;
  };
  EXPECT_EXIT(
      {
        FatalSetPresenter(showLength);
        FileRec f;
        FileInit(&f, 1, longName.c_str());
      },
      testing::ExitedWithCode(2), "name = \\[\\.\\.\\.n+\\] code = 213\nlen=1..$");
  const std::string longest(FileNameSize - 1, 'm');
  EXPECT_EXIT(
      {
        FatalSetPresenter(showLength);
        FileRec f;
        FileInit(&f, 1, longest.c_str());
        FileOpenRead(&f);
      },
      testing::ExitedWithCode(2), "name = \\[\\.\\.\\.m+\\] code = 209\nlen=1..$");
  EXPECT_EXIT(
      {
        FatalSetPresenter(showLength);
        FileRec f;
        FileInit(&f, 1, longest.c_str());
        f.handle = 12345;
        OpenFileRemove(&f);
      },
      testing::ExitedWithCode(2), "Illegal unstack \\[\\.\\.\\.m+\\]\nlen=1..$");
}

TEST_F(FileRecordsDeathTest, TransfersThatWouldRunPastABufferAreRefused) {
  FileRec f;
  FileInit(&f, 1, "p.txt");
  const std::string tooLong(1024, 'x');
  EXPECT_EXIT(
      {
        FileCreate(&f);
        FilePrintf(&f, "%s", tooLong.c_str());
      },
      testing::ExitedWithCode(2), "code = 205");
  EXPECT_EQ(Get("p.txt").find("xxx"), std::string::npos) << "nothing of the long text is written";
  FileCreate(&f);
  EXPECT_EQ(FilePrintf(&f, "%s", tooLong.c_str() + 1), 1023);
  FileClose(&f);

  char small[4];
  FileRec source, target;
  FileInit(&source, 8, "p.txt");
  FileInit(&target, 8, "q.txt");
  EXPECT_EXIT(FileCopy(&source, &target, small, sizeof small), testing::ExitedWithCode(2),
              "Internal error \\[97\\] in \\[FILEIO,");
  EXPECT_EXIT(
      {
        FileOpenRead(&source);
        FileRead(&source, -1, small);
      },
      testing::ExitedWithCode(2), "Internal error \\[97\\] in \\[FILEIO,");
  FileInit(&f, 0, "p.txt");
  EXPECT_EXIT(FileSize(&f), testing::ExitedWithCode(2), "Internal error \\[96\\] in \\[FILEIO,");
  FileInit(&f, 4, "p.txt");
  EXPECT_EXIT(FileWriteLine(&f, "abc"), testing::ExitedWithCode(2), "Internal error \\[96\\] in \\[FILEIO,");
}

}  // namespace
