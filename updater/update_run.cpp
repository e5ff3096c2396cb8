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
#include "lzx/archive.h"
#include "lzx/crc32.h"
#include "lzx/hile.h"
#include "updater/app.h"
#include "updater/command_line.h"
#include "updater/messages.h"
#include "updater/outcome.h"
#include "updater/payload.h"
#include "updater/product.h"
#include "updater/report.h"
#include "updater/variant.h"

namespace {

enum {
  SpareRows = 1000,  // rows for files the version file does not know yet
};

const char VersionFileName[] = "lzx.ver";
const char TempArchiveName[] = "TEMP.LZX";

// What the last temporary archive must hold.
int32_t ExpectedLength = 0;
uint32_t ExpectedDigest = 0;

void WriteImage(char* path, const unsigned char* image, int32_t length, uint32_t digest) {
  char temp[MAX_PATH];
  memset(temp, 0, sizeof temp);
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) FatalMessage("WriteTempArchive: no usable temporary directory");
  // The compressed file keeps its name in HileNameSize characters: a deep
  // temporary directory is taken in its short form.
  if (n + sizeof TempArchiveName > HileNameSize) {
    char shortTemp[MAX_PATH];
    DWORD k = GetShortPathNameA(temp, shortTemp, sizeof shortTemp);
    if (k > 0 && k < sizeof shortTemp) memcpy(temp, shortTemp, k + 1);
  }
  int m = snprintf(path, InstallDirSize, "%s%s", temp, TempArchiveName);
  if (m < 0 || m >= HileNameSize)
    FatalMessage("WriteTempArchive: temporary path too long [%s%s]", temp, TempArchiveName);

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

int RunUpdate(const char* archivePath, const char* installDir) {
  LARGE_INTEGER start, checked, done, frequency;
  QueryPerformanceCounter(&start);
  CheckTempArchive(archivePath);
  QueryPerformanceCounter(&checked);

  char versionPath[InstallDirSize];
  int m = snprintf(versionPath, sizeof versionPath, "%s\\%s", installDir, VersionFileName);
  if (m < 0 || m >= (int)sizeof versionPath) FatalMessage("RunUpdate: path too long [%s]", installDir);

  int capacity = SpareRows;
  if (FileExists(versionPath)) {
    int records = VersionFileCount(versionPath);
    if (records > INT_MAX / (int)sizeof(VersionRecord) - SpareRows)
      FatalMessage("RunUpdate: %s too large", versionPath);
    capacity = records + SpareRows;
  } else if (VariantVexa == 1 && VariantDemo == 0) {
    char text[InstallDirSize + 16];
    snprintf(text, sizeof text, "%s not found", versionPath);
    ShowMessage(nullptr, text, "Einde", MB_OK | MB_ICONINFORMATION);
    NoteOutcome(OutcomeNoVersionFile);
    return 0;
  }

  VersionRecord* table = (VersionRecord*)BlockAlloc(capacity * (int)sizeof(VersionRecord));
  memset(table, 0, (size_t)capacity * sizeof(VersionRecord));
  VersionFileRead(versionPath, table, capacity);

  // Nothing is written before the whole archive has been decoded once.
  ArchiveCheck(archivePath, installDir, nullptr, nullptr);
  UnPackLZX(archivePath, installDir, table, capacity, 1);

  UpdateCounts counts;
  int rows = CountUpdate(table, capacity, &counts);
  char report[ReportTextSize];
  if (counts.unchanged > 0) {
    FormatNotReplaced(report, sizeof report, MessageText(13), counts.unchanged);
    ShowMessage(nullptr, report, MessageText(14), MB_OK | MB_ICONINFORMATION);
    NoteOutcome(OutcomeFilesLeft);
  } else {
    WriteProductVersion(ProductName, ProductNewVersion);
    if (LogEnabled) {
      FormatUpdateCounts(report, sizeof report, &counts);
      LogPrintf("%s\n", report);
    }
  }
  VersionFileWrite(versionPath, table, rows);
  BlockFree(table);
  if (LogEnabled) {
    QueryPerformanceCounter(&done);
    QueryPerformanceFrequency(&frequency);
    double us = 1e6 / (double)frequency.QuadPart;
    LogPrintf("Digest check: %.0f us of %.0f us for the update run\n", (double)(checked.QuadPart - start.QuadPart) * us,
              (double)(done.QuadPart - start.QuadPart) * us);
  }
  return 1;
}
