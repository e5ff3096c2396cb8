#include "fileio/transaction.h"

#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <string>

#include "fileio/path.h"
#include "scratch.h"

namespace {

using Transaction = Scratch;
using TransactionDeathTest = Scratch;

// The scratch helpers, for the free functions below.
struct Disk : Scratch {
  using Scratch::Exists;
  using Scratch::Get;
  using Scratch::MakeDir;
  using Scratch::Put;
};

typedef std::map<std::string, std::string> Tree;

// Every file and directory below dir, directories with the content "<dir>".
Tree Snapshot(const char* dir = "inst") {
  namespace fs = std::filesystem;
  Tree tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string name = fs::relative(it->path(), dir).generic_string();
    tree[name] = it->is_directory() ? "<dir>" : Disk::Get(it->path().string().c_str());
  }
  return tree;
}

void Write(const char* path, const char* text) {
  FileRec rec;
  FileInit(&rec, 1, path);
  FileCreate(&rec);
  FileWrite(&rec, (int)strlen(text), text);
  FileClose(&rec);
}

// The old installation: two files, one of them in a subdirectory.
void OldInstallation() {
  Disk::MakeDir("inst\\sub");
  Disk::Put("inst\\a.txt", "old a");
  Disk::Put("inst\\sub\\b.txt", "old b");
  Disk::Put("inst\\gone.txt", "old gone");
}

// The update: a replaced, a new file in a new directory, a deleted one, a file
// staged and then deleted again; then the owner's own file staged last.
void StageUpdate() {
  TxBegin("inst");
  Disk::Put("scratch.lzx", "archive");
  TxScratch("scratch.lzx");
  Write(TxStage("inst\\a.txt"), "new a");
  ASSERT_EQ(TxMakeDirs("inst\\new\\deep"), 1);
  Write(TxStage("inst\\new\\deep\\c.txt"), "new c");
  TxDelete("inst\\gone.txt");
  Write(TxStage("inst\\tmp.txt"), "passing");
  TxDelete("inst\\tmp.txt");
  EXPECT_EQ(TxExists("inst\\a.txt"), 1);
  EXPECT_EQ(TxExists("inst\\gone.txt"), 0) << "deleted as far as the transaction goes";
  EXPECT_EQ(TxExists("inst\\tmp.txt"), 0);
  EXPECT_EQ(TxExists("inst\\NEW\\deep\\C.TXT"), 1) << "names match without regard to case";
  TxSetNote("1.01");
  Write(TxStage("inst\\lzx.ver"), "versions");
}

Tree NewInstallation() {
  return Tree{{"a.txt", "new a"},    {"sub", "<dir>"},        {"sub/b.txt", "old b"},     {"new", "<dir>"},
              {"new/deep", "<dir>"}, {"lzx.ver", "versions"}, {"new/deep/c.txt", "new c"}};
}

TEST_F(Transaction, CommitReplacesCreatesAndDeletesThenLeavesNothingBehind) {
  OldInstallation();
  StageUpdate();
  TxCommit();
  TxEnd();
  EXPECT_EQ(TxActive(), 0);
  EXPECT_EQ(Snapshot(), NewInstallation()) << "no staged file, backup or journal left";
  EXPECT_FALSE(Exists("scratch.lzx"));
}

TEST_F(Transaction, ACommitLeftForTheNextStartIsCompletedWithItsNote) {
  OldInstallation();
  StageUpdate();
  TxCommit();
  TxLeave();
  EXPECT_EQ(TxActive(), 0);
  EXPECT_EQ(OpenFileAnyLeft(), 0) << "the journal is closed";
  char note[TxNoteSize] = "";
  EXPECT_EQ(TxRecover("inst", note, sizeof note), TxRecoverCompleted);
  EXPECT_STREQ(note, "1.01") << "the owner's last step is asked for again";
  EXPECT_EQ(Snapshot(), NewInstallation());
  EXPECT_FALSE(Exists("scratch.lzx"));
}

TEST_F(Transaction, RollbackBeforeOrAfterTheMovesRestoresTheOldInstallation) {
  for (int committed = 0; committed < 2; committed++) {
    std::filesystem::remove_all("inst");
    OldInstallation();
    const Tree before = Snapshot();
    StageUpdate();
    if (committed) TxCommit();
    EXPECT_EQ(TxRollback(), 1);
    EXPECT_EQ(Snapshot(), before) << (committed ? "after the commit" : "while staging");
    EXPECT_FALSE(Exists("scratch.lzx"));
  }
  EXPECT_EQ(TxRollback(), 0) << "nothing active";
}

// The fatal path and a crash caught in this process: both jump back here.
jmp_buf Escape;
int KillAt, StepsSeen;
std::string Shown;

// A crash at every step of the commit: the process ends there (its files
// closed, its state gone), and the next start's recovery gives the old
// installation before the commit was complete and the new one after, with
// the note to finish the owner's last step.
TEST_F(Transaction, RecoveryAfterACrashAtEveryStepGivesOldOrNew) {
  OldInstallation();
  const Tree before = Snapshot();
  int completed = 0;
  // 5 moves, the mark K, then 2 backups, the scratch file and the journal.
  const int steps = 10;
  TxSetStepHook([](int) {
    if (++StepsSeen == KillAt) longjmp(Escape, 1);
  });
  for (int step = 1; step <= steps; step++) {
    if (setjmp(Escape) == 0) {
      KillAt = step;
      StepsSeen = 0;
      StageUpdate();
      TxCommit();
      TxEnd();
      ADD_FAILURE() << "no crash at step " << step;
      break;
    }
    OpenFileCloseAll();
    TxForget();
    char note[TxNoteSize] = "";
    int outcome = TxRecover("inst", note, sizeof note);
    EXPECT_FALSE(Exists("scratch.lzx")) << "step " << step;
    if (outcome == TxRecoverCompleted) {
      completed++;
      EXPECT_EQ(Snapshot(), NewInstallation()) << "step " << step;
      EXPECT_STREQ(note, "1.01");
      std::filesystem::remove_all("inst");
      OldInstallation();
    } else {
      EXPECT_EQ(outcome, TxRecoverUndone) << "step " << step;
      EXPECT_EQ(Snapshot(), before) << "step " << step;
      EXPECT_EQ(completed, 0) << "a crash after a completed one undoes: step " << step;
    }
    EXPECT_EQ(TxRecover("inst", note, sizeof note), TxRecoverNone) << "the journal is gone";
  }
  TxSetStepHook(nullptr);
  EXPECT_EQ(completed, 4) << "the steps after the mark K complete forwards";
}

TEST_F(Transaction, AFatalErrorUndoesBeforeItsTextIsShown) {
  OldInstallation();
  static Tree before;
  before = Snapshot();
  FatalSetUndoText("left as it was");
  FatalSetPresenter([](const char* text) {
    Shown = std::string(text) + (Snapshot() == before && !Disk::Exists("scratch.lzx") ? " [undone]" : " [changed]");
    return 1;
  });
  FatalSetTerminator([](int) { longjmp(Escape, 1); });
  for (int committed = 0; committed < 2; committed++) {
    Shown.clear();
    if (setjmp(Escape) == 0) {
      StageUpdate();
      FileRec held;
      FileInit(&held, 1, TxStage("inst\\sub\\b.txt"));
      FileCreate(&held);  // left open: the fatal path closes it first
      if (committed) {
        FileClose(&held);
        TxCommit();
      }
      FatalMessage("boom");
    }
    EXPECT_EQ(Shown, "boom\n\nleft as it was [undone]") << (committed ? "after the commit" : "while staging");
    EXPECT_EQ(TxActive(), 0);
  }
  FatalSetTerminator(nullptr);
  FatalSetPresenter(nullptr);
  FatalSetUndoText(nullptr);
}

// A file error on a staged file names the file the user knows, its target,
// not the name it is staged under.
TEST_F(Transaction, AFileErrorOnAStagedFileNamesItsTarget) {
  OldInstallation();
  FatalSetPresenter([](const char* text) {
    Shown = text;
    return 1;
  });
  FatalSetTerminator([](int) { longjmp(Escape, 1); });
  Shown.clear();
  if (setjmp(Escape) == 0) {
    TxBegin("inst");
    Write(TxStage("inst\\a.txt"), "new a");
    FileRec staged;
    FileInit(&staged, 1, TxStage("inst\\sub\\b.txt"));
    FileError(&staged, FileErrWrite);
  }
  EXPECT_NE(Shown.find("name = [inst\\sub\\b.txt] code = 205"), std::string::npos) << Shown;
  EXPECT_STREQ(FileLastError()->name, "inst\\sub\\b.txt");
  EXPECT_EQ(TxActive(), 0);
  EXPECT_EQ(Get("inst\\sub\\b.txt"), "old b");
  FatalSetTerminator(nullptr);
  FatalSetPresenter(nullptr);
}

TEST_F(Transaction, PreflightNamesWhatWouldStopTheCommit) {
  OldInstallation();
  char why[200];
  EXPECT_EQ(TxCheckTarget("inst\\a.txt", why, sizeof why), TxCheckOk);
  EXPECT_EQ(TxCheckTarget("inst\\missing\\level\\x.txt", why, sizeof why), TxCheckOk) << "its directory can be made";
  EXPECT_EQ(TxCheckTarget("inst\\sub", why, sizeof why), TxCheckDirectory);
  ASSERT_EQ(OsFileSetReadOnly("inst\\sub\\b.txt", 1), 1);
  EXPECT_EQ(TxCheckTarget("inst\\sub\\b.txt", why, sizeof why), TxCheckReadOnly);
  OsFileSetReadOnly("inst\\sub\\b.txt", 0);

  OsFileHandle holder = OsFileOpen("inst\\a.txt", OsOpenExclusiveRead);  // another program's open file
  ASSERT_NE(holder, 0u);
  EXPECT_EQ(TxCheckTarget("inst\\a.txt", why, sizeof why), TxCheckInUse);
  EXPECT_NE(why[0], '\0') << "the system's words for it";
  OsFileClose(holder);

  EXPECT_EQ(TxCheckSpace("inst", 1000, why, sizeof why), TxCheckOk);
  EXPECT_EQ(TxCheckSpace("inst\\not\\yet", INT64_MAX, why, sizeof why), TxCheckNoSpace);
  EXPECT_EQ(Snapshot(), (Tree{{"a.txt", "old a"}, {"sub", "<dir>"}, {"sub/b.txt", "old b"}, {"gone.txt", "old gone"}}))
      << "the checks change nothing";
}

}  // namespace
