// lzx: builds, lists, checks and extracts archives, and compresses single
// files. Exit status 0 on success, 1 for a usage error, 2 after a fatal error
// (whose message the fatal path writes to standard error).
#include <stdio.h>
#include <string.h>

#include "base/block.h"
#include "base/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "lzx/archive.h"
#include "lzx/crc32.h"
#include "lzx/hile.h"

namespace {

const char Usage[] =
    "usage: lzx COMMAND ...\n"
    "  lzx pack LISTFILE\n"
    "      build the archive named on the list file's first line\n"
    "  lzx unpack ARCHIVE [DIR] [--table VERSIONFILE] [--rewrite-equal]\n"
    "      extract into DIR (default: the current directory); with --table, write a\n"
    "      file only when its version is newer than the one recorded (or equal, with\n"
    "      --rewrite-equal) and write the version file back; without it, keep\n"
    "      existing files unless --rewrite-equal is given; all or nothing: a failure\n"
    "      (or an interrupted unpack, at the next unpack into DIR) is undone\n"
    "  lzx list ARCHIVE\n"
    "      one line per entry: name, size, version and the E, D, R options\n"
    "  lzx test [--digest HEX] ARCHIVE\n"
    "      decode and check everything without writing a file; with --digest, the\n"
    "      archive's CRC-32 (as lzx pack prints it) must be HEX\n"
    "  lzx compress [--mode wb|wbh|wbs] IN OUT\n"
    "      compress one file into an LZX1 file (default mode wb)\n"
    "  lzx decompress IN OUT\n"
    "      expand an LZX1 file\n"
    "  lzx --help\n";

enum { CopySize = 65536 };
unsigned char CopyBuf[CopySize];

int UsageError(const char* why) {
  if (why) fprintf(stderr, "lzx: %s\n", why);
  fputs(Usage, stderr);
  return 1;
}

int Pack(const char* list) {
  int32_t total = 0, size = 0;
  int entries = PackLZX(list, &total, &size, nullptr, 0);
  printf("%d entries, %ld bytes of data, archive of %ld bytes\n", entries, (long)total, (long)size);
  // The archive is the list file's first line, read as the packer reads it.
  char archive[ListLineMax + 2];
  FileRec rec;
  FileInit(&rec, 1, list);
  FileOpenRead(&rec);
  ReadLine(&rec, archive, ListLineMax);
  FileClose(&rec);
  printf("CRC-32 %08X %s\n", (unsigned)FileCrc32(archive, nullptr), archive);
  return 0;
}

int Unpack(const char* archive, const char* dir, const char* versionFile, int rewriteEqual) {
  // An unpack into dir that was interrupted (a crash, a power cut) is
  // finished first: undone, or completed if its commit was.
  int recovered = TxRecover(dir, nullptr, 0);
  if (recovered != TxRecoverNone)
    fprintf(stderr, "lzx: an interrupted unpack into %s was %s\n", dir,
            recovered == TxRecoverCompleted ? "completed" : "undone");
  // Everything is decoded and checked once before the first file is written:
  // a damaged archive changes nothing. Then one transaction: every file (and
  // the version file) staged, one commit; a failure on the way is undone.
  ArchiveCheck(archive, dir, nullptr, nullptr);
  if (versionFile == nullptr) {
    UnPackLZX(archive, dir, nullptr, 0, rewriteEqual);
    printf("extracted\n");
    return 0;
  }
  int capacity = VersionFileCount(versionFile) + 1000;
  VersionRecord* table = (VersionRecord*)BlockAlloc(capacity * (int)sizeof(VersionRecord));
  VersionFileRead(versionFile, table, capacity);
  TxBegin(dir);
  UnPackLZX(archive, dir, table, capacity, rewriteEqual);
  int counts[4] = {0, 0, 0, 0};
  for (int i = 0; i < capacity && table[i].name[0] != 0; i++) {
    if (table[i].status >= 1 && table[i].status <= 3) counts[table[i].status]++;
  }
  VersionFileWrite(versionFile, table, capacity);
  TxCommit();
  TxEnd();
  BlockFree(table);
  printf("new %d, updated %d, unchanged %d\n", counts[1], counts[2], counts[3]);
  return 0;
}

struct Totals {
  int entries;
  long long bytes;
};

void ListOne(const VersionRecord* r, void* context) {
  Totals* t = (Totals*)context;
  printf("%-40s %10ld  V=%ld E=%ld D=%ld R=%ld\n", r->name, (long)r->size, (long)r->version, (long)r->scrambled,
         (long)r->deleteAfter, (long)r->replaceOnly);
  t->entries++;
  t->bytes += r->size;
}

int List(const char* archive) {
  Totals t = {0, 0};
  ArchiveCheck(archive, nullptr, ListOne, &t);
  printf("%d entries, %lld bytes\n", t.entries, t.bytes);
  return 0;
}

// HEX: up to eight hexadecimal digits, either case.
int ParseDigest(const char* text, uint32_t* digest) {
  int n = 0;
  uint32_t v = 0;
  for (; text[n]; n++) {
    char c = text[n];
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0 || n == 8) return 0;
    v = v << 4 | (uint32_t)d;
  }
  *digest = v;
  return n > 0;
}

int Test(const char* archive, const char* expected) {
  if (expected) {
    uint32_t want = 0;
    ParseDigest(expected, &want);
    uint32_t got = FileCrc32(archive, nullptr);
    if (got != want) FatalMessage("lzx test: CRC-32 %08X, expected %08X [%s]", (unsigned)got, (unsigned)want, archive);
  }
  int entries = ArchiveCheck(archive, nullptr, nullptr, nullptr);
  printf("OK (%d entries)\n", entries);
  return 0;
}

int Compress(const char* in, const char* out, const char* mode) {
  FileRec source;
  FileInit(&source, 1, in);
  FileOpenRead(&source);
  HILE* h = Hopen(out, mode);
  long long total = 0;
  for (int n; (n = FileRead(&source, CopySize, CopyBuf)) > 0; total += n) Hwrite(CopyBuf, n, h);
  FileClose(&source);
  int size = Hclose(h);
  printf("%lld bytes into %d\n", total, size);
  return 0;
}

int Decompress(const char* in, const char* out) {
  HILE* h = Hopen(in, "rb");
  FileRec target;
  FileInit(&target, 1, out);
  FileCreate(&target);
  long long total = 0;
  for (int n; (n = Hread(CopyBuf, CopySize, h)) > 0; total += n) FileWrite(&target, n, CopyBuf);
  FileClose(&target);
  Hclose(h);
  printf("%lld bytes\n", total);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError(nullptr);
  const char* command = argv[1];
  if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0) {
    fputs(Usage, stdout);
    return 0;
  }
  // Plain arguments and options, in any order after the command.
  const char* plain[3];
  int plainCount = 0;
  const char* table = nullptr;
  const char* mode = nullptr;
  const char* digest = nullptr;
  int rewriteEqual = 0;
  for (int i = 2; i < argc; i++) {
    const char* a = argv[i];
    if (strcmp(a, "--table") == 0 && strcmp(command, "unpack") == 0) {
      if (++i == argc) return UsageError("--table needs a version file");
      table = argv[i];
    } else if (strcmp(a, "--rewrite-equal") == 0 && strcmp(command, "unpack") == 0) {
      rewriteEqual = 1;
    } else if (strcmp(a, "--mode") == 0 && strcmp(command, "compress") == 0) {
      if (++i == argc) return UsageError("--mode needs wb, wbh or wbs");
      mode = argv[i];
    } else if (strcmp(a, "--digest") == 0 && strcmp(command, "test") == 0) {
      uint32_t unused;
      if (++i == argc || !ParseDigest(argv[i], &unused)) return UsageError("--digest needs up to 8 hex digits");
      digest = argv[i];
    } else if (a[0] == '-' && a[1] == '-') {
      return UsageError("unknown option");
    } else if (plainCount == 3) {
      return UsageError("too many arguments");
    } else {
      plain[plainCount++] = a;
    }
  }
  if (strcmp(command, "pack") == 0 && plainCount == 1) return Pack(plain[0]);
  if (strcmp(command, "unpack") == 0 && (plainCount == 1 || plainCount == 2))
    return Unpack(plain[0], plainCount == 2 ? plain[1] : ".", table, rewriteEqual);
  if (strcmp(command, "list") == 0 && plainCount == 1) return List(plain[0]);
  if (strcmp(command, "test") == 0 && plainCount == 1) return Test(plain[0], digest);
  if (strcmp(command, "compress") == 0 && plainCount == 2) {
    if (mode == nullptr) mode = "wb";
    if (strcmp(mode, "wb") != 0 && strcmp(mode, "wbh") != 0 && strcmp(mode, "wbs") != 0)
      return UsageError("--mode is wb, wbh or wbs");
    return Compress(plain[0], plain[1], mode);
  }
  if (strcmp(command, "decompress") == 0 && plainCount == 2) return Decompress(plain[0], plain[1]);
  return UsageError(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  OpenFileReset();
  FatalSetUndoText("lzx: the unpack was undone: the target directory is as it was");
  int status = Run(argc, argv);
  fflush(stdout);
  if (OpenFileAnyLeft()) InternalError("LZX", __LINE__, 4000);
  return status;
}
