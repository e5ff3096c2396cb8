// The update run: the built-in archive goes to a temporary file, is checked
// against its digest and extracted into the installation while the version
// file decides which files are written; the outcome is counted and reported.
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "base/block.h"
#include "base/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "lzx/archive.h"
#include "lzx/crc32.h"
#include "lzx/hile.h"
#include "os/memory.h"
#include "updater/app.h"
#include "updater/command_line.h"
#include "updater/install_safety.h"
#include "updater/messages.h"
#include "updater/outcome.h"
#include "updater/payload.h"
#include "updater/product.h"
#include "updater/report.h"
#include "updater/variant.h"

namespace {

enum { RegistryWhySize = 160 };  // the system's words for a failed registry write

enum {
  SpareRows = 1000,  // rows for files the version file does not know yet
};

const char VersionFileName[] = "lzx.ver";
const char TempArchiveName[] = "TEMP.LZX";

// What the last temporary archive must hold.
int32_t ExpectedLength = 0;
uint32_t ExpectedDigest = 0;

// The temporary directory, in its short form when the long one would not
// leave room for the archive's name in the compressed file's name; 0 if
// there is none that fits.
int TempDirectory(char* temp) {
  memset(temp, 0, MAX_PATH);
  DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return 0;
  // The compressed file keeps its name in HileNameSize characters: a deep
  // temporary directory is taken in its short form.
  if (n + sizeof TempArchiveName > HileNameSize) {
    char shortTemp[MAX_PATH];
    DWORD k = GetShortPathNameA(temp, shortTemp, sizeof shortTemp);
    if (k > 0 && k < sizeof shortTemp) memcpy(temp, shortTemp, k + 1);
  }
  return 1;
}

void WriteImage(char* path, const unsigned char* image, int32_t length, uint32_t digest) {
  char temp[MAX_PATH];
  if (!TempDirectory(temp)) FatalMessage("WriteTempArchive: no usable temporary directory");
  int m = snprintf(path, InstallDirSize, "%s%s", temp, TempArchiveName);
  if (m < 0 || m >= HileNameSize)
    FatalMessage("WriteTempArchive: temporary path too long [%s%s]", temp, TempArchiveName);
  // The archive is written before anything else: without room for it in
  // TEMP the run ends here, having changed nothing.
  char why[200];
  if (TxCheckSpace(temp, length, why, sizeof why) != TxCheckOk)
    FatalMessage("%s\n%s\n%s",
                 LangDutch ? "Te weinig ruimte voor het archief in" : "Not enough room for the archive in", temp, why);

  FileRec file;
  FileInit(&file, 1, path);
  FileCreate(&file);
  if (length > 0) FileWrite(&file, length, image);
  FileClose(&file);
  ExpectedLength = length;
  ExpectedDigest = digest;
}

// Reads the temporary archive back and compares its length and CRC-32 with
// the built-in image's, so that a damaged image or a bad write is caught
// before anything is installed. A mismatch removes the file and is fatal.
void CheckTempArchive(const char* path) {
  int64_t length = 0;
  uint32_t digest = FileCrc32(path, &length);
  if (length == ExpectedLength && digest == ExpectedDigest) return;
  DeleteFileByName(path);
  FatalMessage("RunUpdate: damaged archive, CRC-32 %08X, expected %08X (%lld of %d bytes)\n[%s]", (unsigned)digest,
               (unsigned)ExpectedDigest, (long long)length, (int)ExpectedLength, path);
}

}  // namespace

int TempArchivePath(char* path) {
  char temp[MAX_PATH];
  if (!TempDirectory(temp)) return 0;
  int m = snprintf(path, InstallDirSize, "%s%s", temp, TempArchiveName);
  return m > 0 && m < HileNameSize;
}

void WriteTempArchive(char* path, int createOnly) {
  if (createOnly) {
    WriteImage(path, ArchiveImage, 0, 0);
  } else {
    WriteImage(path, ArchiveImage, ArchiveImageLength, ArchiveImageDigest);
  }
}

int WriteSecondArchive(char* path) {
  if (SecondImageLength <= 0) return 0;
  WriteImage(path, SecondImage, SecondImageLength, SecondImageDigest);
  return 1;
}

namespace {

// Room beyond the staged files: the journal and the directories' growth.
const int64_t SpaceMargin = 256 * 1024;

// What one pass of the pre-flight found.
struct Preflight {
  int64_t bytes;  // staged bytes
  int cause;      // the first refusal (Safety*), 0 none
  char file[FileNameSize];
  char why[200];
};

const char* ActionWord(int action) {
  switch (action) {
    case ArchiveNew:
      return "new";
    case ArchiveUpdated:
      return "updated";
    case ArchiveUnchanged:
      return "unchanged";
    case ArchiveSkipped:
      return "skipped (R, no file to replace)";
    default:
      return "kept";
  }
}

void CheckTarget(Preflight* p, const char* target) {
  if (p->cause) return;
  int result = TxCheckTarget(target, p->why, sizeof p->why);
  if (result == TxCheckOk) return;
  p->cause = result == TxCheckInUse       ? SafetyInUse
             : result == TxCheckReadOnly  ? SafetyReadOnly
             : result == TxCheckDirectory ? SafetyDirectory
             : result == TxCheckNoSpace   ? SafetyNoSpace
                                          : SafetyNotWritable;
  snprintf(p->file, sizeof p->file, "%s", target);
}

void PlanVisit(const char* target, const VersionRecord* r, int action, int deleted, void* context) {
  Preflight* p = (Preflight*)context;
  int writes = action == ArchiveNew || action == ArchiveUpdated;
  if (writes) p->bytes += r->size;
  if (LogEnabled) LogPrintf("  %-9s %s%s\n", ActionWord(action), r->name, deleted ? ", then deleted (D)" : "");
  if (writes || (deleted && FileExists(target))) CheckTarget(p, target);
}

// Tells the user what stands in the way; 1 when a file in use is to be
// checked again (Retry).
int AskAboutRefusal(HWND owner, const Preflight* p) {
  char text[ReportTextSize];
  FormatPreflightRefusal(text, sizeof text, LangDutch, p->cause, p->file, p->why);
  if (LogEnabled) LogPrintf("Refused: %s (%s)\n", p->file, p->why);
  if (p->cause == SafetyInUse) return ShowMessage(owner, text, ProductName, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
  ShowMessage(owner, text, ProductName, MB_OK | MB_ICONERROR);
  return 0;
}

// The version file is read before the pre-flight proper: one held open by
// another program is asked about first.
int VersionFileClear(HWND owner, const char* versionPath) {
  for (;;) {
    Preflight p;
    memset(&p, 0, sizeof p);
    if (FileExists(versionPath)) CheckTarget(&p, versionPath);
    if (!p.cause) return 1;
    if (!AskAboutRefusal(owner, &p)) return 0;
  }
}

// Decides every entry as the extraction will and checks each file it will
// write or delete, and the room for the staged files, until nothing stands
// in the way (1) or the user gives up (0); nothing is changed either way.
int PreflightUntilClear(HWND owner, const char* archivePath, const char* installDir, const char* versionPath,
                        const VersionRecord* table, int capacity) {
  VersionRecord* plan = (VersionRecord*)BlockAlloc(capacity * (int)sizeof(VersionRecord));
  for (;;) {
    memcpy(plan, table, (size_t)capacity * sizeof(VersionRecord));
    Preflight p;
    memset(&p, 0, sizeof p);
    ArchivePlan(archivePath, installDir, plan, capacity, 1, PlanVisit, &p);
    CheckTarget(&p, versionPath);
    int64_t need = p.bytes + (int64_t)capacity * VersionRecordSize + SpaceMargin;
    if (!p.cause && TxCheckSpace(installDir, need, p.why, sizeof p.why) != TxCheckOk) {
      p.cause = SafetyNoSpace;
      snprintf(p.file, sizeof p.file, "%s", installDir);
    }
    if (!p.cause) {
      BlockFree(plan);
      return 1;
    }
    int retry = AskAboutRefusal(owner, &p);
    if (!retry) {
      BlockFree(plan);
      return 0;
    }
  }
}

void LogStart(const char* installDir) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  LogPrintf("%04u-%02u-%02u %02u:%02u:%02u %s update to %s in %s\n", now.wYear, now.wMonth, now.wDay, now.wHour,
            now.wMinute, now.wSecond, ProductName, ProductNewVersion, installDir);
}

}  // namespace

int RecoverInterruptedRun(HWND owner, const char* installDir) {
  char temp[InstallDirSize];
  // A temporary archive that a run left before its transaction began.
  if (TempArchivePath(temp)) OsFileDelete(temp);
  char note[TxNoteSize];
  note[0] = '\0';
  int outcome = TxRecover(installDir, note, sizeof note);
  if (outcome == TxRecoverNone) return 0;
  // The registry is the last step of a commit: a completed one may lack it.
  int registered = outcome != TxRecoverCompleted || !note[0] || WriteProductVersion(ProductName, note);
  char why[RegistryWhySize] = "";
  if (!registered) OsLastErrorText(why, sizeof why);
  if (LogEnabled) {
    LogStart(installDir);
    LogPrintf("Interrupted update %s\n", outcome == TxRecoverCompleted ? "completed" : "undone");
    if (!registered) LogPrintf("Registry not written: %s\n", why);
  }
  if (!registered) {
    char text[ReportTextSize];
    FormatRegistryLate(text, sizeof text, LangDutch, why, 0);
    ShowMessage(owner, text, ProductName, MB_OK | MB_ICONWARNING);
    NoteOutcome(OutcomeFatal);
    return UpdateRecovered;
  }
  ShowMessage(owner, RecoveredText(LangDutch, outcome == TxRecoverCompleted), ProductName, MB_OK | MB_ICONINFORMATION);
  return UpdateRecovered;
}

int RunUpdate(HWND owner, const char* archivePath, const char* installDir) {
  LARGE_INTEGER start, checked, done, frequency;
  QueryPerformanceCounter(&start);
  if (LogEnabled) LogStart(installDir);
  CheckTempArchive(archivePath);
  QueryPerformanceCounter(&checked);

  char versionPath[InstallDirSize];
  int m = snprintf(versionPath, sizeof versionPath, "%s\\%s", installDir, VersionFileName);
  if (m < 0 || m >= (int)sizeof versionPath) FatalMessage("RunUpdate: path too long [%s]", installDir);

  if (!VersionFileClear(owner, versionPath)) {
    if (LogEnabled) LogPrintf("Result: cancelled, nothing changed\n");
    NoteOutcome(OutcomeFatal);
    return UpdateCancelled;
  }
  int capacity = SpareRows;
  if (FileExists(versionPath)) {
    int records = VersionFileCount(versionPath);
    if (records > INT_MAX / (int)sizeof(VersionRecord) - SpareRows)
      FatalMessage("RunUpdate: %s too large", versionPath);
    capacity = records + SpareRows;
  } else if (VariantVexa == 1 && VariantDemo == 0) {
    char text[InstallDirSize + 16];
    snprintf(text, sizeof text, "%s not found", versionPath);
    ShowMessage(owner, text, "Einde", MB_OK | MB_ICONINFORMATION);
    NoteOutcome(OutcomeNoVersionFile);
    if (LogEnabled) LogPrintf("Result: no version file, nothing changed\n");
    return UpdateNotApplied;
  }

  VersionRecord* table = (VersionRecord*)BlockAlloc(capacity * (int)sizeof(VersionRecord));
  memset(table, 0, (size_t)capacity * sizeof(VersionRecord));
  VersionFileRead(versionPath, table, capacity);

  // Nothing is written before the whole archive has been decoded once and
  // every file it will touch has been checked.
  if (!PreflightUntilClear(owner, archivePath, installDir, versionPath, table, capacity)) {
    BlockFree(table);
    if (LogEnabled) LogPrintf("Result: cancelled, nothing changed\n");
    // Nothing was changed, but the update was not applied: the code of a
    // failure, whether the user or an unattended run gave up.
    NoteOutcome(OutcomeFatal);
    return UpdateCancelled;
  }

  // One transaction: every file and the version file staged, one commit,
  // then the registry; a failure on the way is undone by the fatal path.
  TxBegin(installDir);
  TxScratch(archivePath);
  UnPackLZX(archivePath, installDir, table, capacity, 1);
  UpdateCounts counts;
  int rows = CountUpdate(table, capacity, &counts);
  int writeRegistry = counts.unchanged == 0;
  TxSetNote(writeRegistry ? ProductNewVersion : "");
  VersionFileWrite(versionPath, table, rows);
  BlockFree(table);
  TxCommit();
  TxStep();
  if (writeRegistry && !WriteProductVersion(ProductName, ProductNewVersion)) {
    // Every file is in place but the registry names the old version: the
    // journal stays, and the next start writes the version as it does after
    // an interrupted commit.
    char why[RegistryWhySize];
    OsLastErrorText(why, sizeof why);
    TxLeave();
    if (LogEnabled) LogPrintf("Registry not written: %s\nResult: installed, registry pending\n", why);
    char text[ReportTextSize];
    FormatRegistryLate(text, sizeof text, LangDutch, why, 1);
    ShowMessage(owner, text, ProductName, MB_OK | MB_ICONWARNING);
    NoteOutcome(OutcomeFatal);
    return UpdateRegistryLate;
  }
  TxEnd();

  char report[ReportTextSize];
  if (LogEnabled) {
    FormatUpdateCounts(report, sizeof report, &counts);
    LogPrintf("%s\n", report);
    QueryPerformanceCounter(&done);
    QueryPerformanceFrequency(&frequency);
    double us = 1e6 / (double)frequency.QuadPart;
    LogPrintf("Digest check: %.0f us of %.0f us for the update run\n", (double)(checked.QuadPart - start.QuadPart) * us,
              (double)(done.QuadPart - start.QuadPart) * us);
    LogPrintf("Result: installed\n");
  }
  if (counts.unchanged > 0) {
    FormatNotReplaced(report, sizeof report, MessageText(13), counts.unchanged);
    ShowMessage(owner, report, MessageText(14), MB_OK | MB_ICONINFORMATION);
    NoteOutcome(OutcomeFilesLeft);
  }
  return UpdateApplied;
}
