// lzx: builds, lists, checks and extracts archives, and compresses single
// files. Exit status 0 on success, 1 for a usage error, 2 after a fatal error
// (whose message the fatal path writes to standard error as "lzx: ...", a
// file error with the system's description of its cause). Every output is
// written beside its name and replaces it only when complete; a fatal error
// leaves the old output and no scratch file behind.
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
#include "os/console.h"
#include "tools/make_updater.h"
#include "tools/pool.h"
#include "tools/progress.h"

namespace {

const char Usage[] =
    "usage: lzx COMMAND ...\n"
    "  lzx pack LISTFILE\n"
    "      build the archive named on the list file's first line\n"
    "  lzx unpack ARCHIVE [DIR] [--table VERSIONFILE] [--rewrite-equal] [--absolute-names]\n"
    "      extract into DIR (default: the current directory); with --table, write a\n"
    "      file only when its version is newer than the one recorded (or equal, with\n"
    "      --rewrite-equal) and write the version file back; without it, keep\n"
    "      existing files unless --rewrite-equal is given. Entries whose names are\n"
    "      absolute or contain \"..\" are refused unless --absolute-names is given,\n"
    "      which writes names without '#' where they point. All or nothing: a\n"
    "      failure (or an interrupted unpack, at the next unpack into DIR) is undone\n"
    "  lzx list ARCHIVE\n"
    "      one line per entry: name, size, version and the E, D, R options\n"
    "  lzx test [--digest HEX] ARCHIVE\n"
    "      decode and check everything without writing a file; with --digest, the\n"
    "      archive's CRC-32 (as lzx pack prints it) must be HEX\n"
    "  lzx compress [--mode wb|wbh|wbs] IN OUT\n"
    "      compress one file into an LZX1 file (default mode wb)\n"
    "  lzx decompress IN OUT\n"
    "      expand an LZX1 file\n"
    "  lzx make-updater STUB PRODUCTFILE LISTFILE [--second LISTFILE] -o OUT.exe\n"
    "      write an updater: the stub with the product file's data and the archive\n"
    "      packed from the list file (as lzx pack packs it) in its data section\n"
    "  lzx --help\n"
    "Every command takes -q (no progress display; it is shown only when standard\n"
    "error is a terminal); pack and unpack take -v (each entry as it is packed or\n"
    "extracted).\n"
    "pack, unpack, list, test, compress and decompress take -T N: code N blocks at\n"
    "once on N threads (default and most: one per core, or LZX_CORES; the bytes\n"
    "are the same for every N)\n";

// compress and decompress copy through it; larger writes cost the system less.
enum { CopySize = 262144 };
unsigned char CopyBuf[CopySize];

// How a file error reads: what could not be done, and a cause of the tool's
// own where the system gives none.
const char* FileErrorVerb(int code) {
  switch (code) {
    case FileErrRead:
      return "cannot read";
    case FileErrDelete:
      return "cannot delete";
    case FileErrRename:
      return "cannot replace";
    case FileErrWrite:
      return "cannot write";
    case FileErrNotWritable:
      return "cannot write to";
    case FileErrSeek:
    case FileErrOrigin:
      return "cannot seek in";
    case FileErrSize:
      return "cannot size";
    case FileErrOpenRead:
    case FileErrOpenReadWrite:
      return "cannot open";
    case FileErrOpenAppend:
      return "cannot append to";
    case FileErrCreate:
      return "cannot create";
    case FileErrNameTooLong:
      return "name too long:";
  }
  return "file error on";
}

const char* FileErrorOwnCause(int code) {
  if (code == FileErrNotWritable) return "read-only";
  if (code == FileErrWrite) return "short write";
  return "";
}

#define UndoLine "lzx: the unpack was undone: the target directory is as it was"

// The fatal text as a shell user reads it: one line after "lzx: ".
int ToolPresenter(const char* text) {
  ProgressEnd();
  // After a rollback the fatal path adds its own line (UndoLine) below.
  const char* undo = strstr(text, "\n\n" UndoLine);
  const FileErrorInfo* e = FileLastError();
  if (e->code != 0) {
    const char* cause = e->cause[0] ? e->cause : FileErrorOwnCause(e->code);
    fprintf(stderr, "lzx: %s [%s]%s%s (code %d)\n", FileErrorVerb(e->code), e->name, cause[0] ? ": " : "", cause,
            e->code);
  } else {
    while (*text == '\n') text++;
    fputs("lzx: ", stderr);
    for (; *text && text != undo; text++) fputc(*text == '\n' ? ' ' : *text, stderr);
    fputc('\n', stderr);
  }
  if (undo) fprintf(stderr, "%s\n", UndoLine);
  fflush(stderr);
  return 1;
}

// -q and -v, and whether the progress display is on.
int Quiet = 0;
int Verbose = 0;
int ShowProgress(void) { return !Quiet && OsStderrIsTerminal(); }

// What the archive functions report: entries for -v while listing is
// wanted, bytes for the display.
struct Watch {
  int listEntries;
  int storedNames;  // list an entry by its name in the archive, not its path
};

// The progress of a long command, and where it stops when asked to (Ctrl+C,
// a signal to end): the fatal path then removes the scratch files and undoes
// an unpack, as after any failure. An unpack whose commit has begun finishes.
void Step(int64_t done) {
  if (OsInterrupted()) FatalMessage("interrupted");
  ProgressSet(done);
}

void OnArchive(const VersionRecord* entry, const char* path, int written, int64_t done, int64_t total, void* context) {
  (void)total;
  Watch* w = (Watch*)context;
  if (entry && w->listEntries) {
    ProgressClear();
    const char* name = path && !w->storedNames ? path : entry->name;
    printf(written ? "%s\n" : "%s (kept)\n", name);
    fflush(stdout);
  }
  Step(done);
}

// The bytes a pack will write: every record and every source file the list
// names, found as PackLZX finds them. A source that is missing is PackLZX's
// to report.
int64_t PackTotal(const char* list) {
  char baseDir[ListLineMax + 2], line[ListLineMax + 2], source[ListLineMax];
  char* fields[ListFieldsMax];
  FileRec rec;
  FileInit(&rec, 1, list);
  FileOpenRead(&rec);
  int64_t total = 0;
  if (ReadLine(&rec, nullptr, ListLineMax + 1) && ReadLine(&rec, baseDir, ListLineMax + 1)) {
    while (ReadLine(&rec, line, ListLineMax + 1)) {
      int n = ListSplit(line, fields, ListFieldsMax);
      if (n > 0) {
        const char* f = fields[0];
        int len = f[0] == '#' ? snprintf(source, sizeof source, "%s", f + 1)
                              : snprintf(source, sizeof source, "%s%s", baseDir, f);
        if (len > 0 && len < (int)sizeof source && FileExists(source)) {
          FileRec src;
          FileInit(&src, 1, source);
          total += FileSize(&src);
        }
      }
      total += VersionRecordSize;
      if (!ReadLine(&rec, nullptr, ListTargetMax + 1)) break;
    }
  }
  FileClose(&rec);
  return total;
}

int UsageError(const char* why) {
  if (why) fprintf(stderr, "lzx: %s\n", why);
  fputs(Usage, stderr);
  return 1;
}

int Pack(const char* list) {
  int32_t total = 0, size = 0;
  Watch watch = {Verbose, 1};
  ProgressStart("pack", ShowProgress() ? PackTotal(list) : 0, ShowProgress());
  ArchiveSetProgress(OnArchive, &watch);
  int entries = PackLZX(list, &total, &size, nullptr, 0);
  ArchiveSetProgress(nullptr, nullptr);
  ProgressEnd();
  printf("%d entries, %ld bytes of data, archive of %ld bytes\n", entries, (long)total, (long)size);
  char archive[ListLineMax + 2];
  ListArchiveName(list, archive);
  printf("CRC-32 %08X %s\n", (unsigned)FileCrc32(archive, nullptr), archive);
  return 0;
}

// The uncompressed length of a compressed file, from its header.
int64_t StreamLength(const char* name) {
  HILE* h = Hopen(name, "rb");
  int64_t length = h->header.length;
  Hclose(h);
  return length;
}

// ArchiveCheck with the display; returns the number of entries.
int Check(const char* what, const char* archive, const char* dir) {
  Watch watch = {0, 0};
  ProgressStart(what, StreamLength(archive), ShowProgress());
  ArchiveSetProgress(OnArchive, &watch);
  int entries = ArchiveCheck(archive, dir, nullptr, nullptr);
  ArchiveSetProgress(nullptr, nullptr);
  ProgressEnd();
  return entries;
}

// UnPackLZX with the display and -v.
void Extract(const char* archive, const char* dir, VersionRecord* table, int capacity, int rewriteEqual) {
  Watch watch = {Verbose, 0};
  ProgressStart("unpack", StreamLength(archive), ShowProgress());
  ArchiveSetProgress(OnArchive, &watch);
  UnPackLZX(archive, dir, table, capacity, rewriteEqual);
  ArchiveSetProgress(nullptr, nullptr);
  ProgressEnd();
}

int Unpack(const char* archive, const char* dir, const char* versionFile, int rewriteEqual) {
  // An unpack into dir that was interrupted (a crash, a power cut) is
  // finished first: undone, or completed if its commit was.
  int recovered = TxRecover(dir, nullptr, 0);
  if (recovered != TxRecoverNone)
    fprintf(stderr, "lzx: an interrupted unpack into %s was %s\n", dir,
            recovered == TxRecoverCompleted ? "completed" : "undone");
  // One transaction: every file (and the version file) staged, one commit.
  // A damaged archive, an unsafe name or any other failure on the way takes
  // the fatal path, which undoes the transaction: it changes nothing, without
  // a pass that decodes the whole archive once more before the first write.
  if (versionFile == nullptr) {
    Extract(archive, dir, nullptr, 0, rewriteEqual);
    printf("extracted\n");
    return 0;
  }
  // The version file is written last: a directory that is not there must
  // stop the run before anything is extracted, not after.
  char versionDir[FileNameSize];
  SplitPath(versionFile, versionDir, nullptr, nullptr);
  if (versionDir[0] != 0 && !FileExists(versionDir)) {
    FileRec rec;
    FileInit(&rec, 1, versionFile);
    FileError(&rec, FileErrCreate);
  }
  int capacity = VersionFileCount(versionFile) + 1000;
  VersionRecord* table = (VersionRecord*)BlockAlloc(capacity * (int)sizeof(VersionRecord));
  VersionFileRead(versionFile, table, capacity);
  TxBegin(dir);
  Extract(archive, dir, table, capacity, rewriteEqual);
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

// N: a decimal thread count of 1 to PoolMaxThreads.
int ParseThreads(const char* text, int* threads) {
  int v = 0, n = 0;
  for (; text[n] >= '0' && text[n] <= '9' && n < 3; n++) v = v * 10 + (text[n] - '0');
  if (n == 0 || text[n] != 0 || v < 1 || v > PoolMaxThreads) return 0;
  *threads = v;
  return 1;
}

int Test(const char* archive, const char* expected) {
  if (expected) {
    uint32_t want = 0;
    ParseDigest(expected, &want);
    uint32_t got = FileCrc32(archive, nullptr);
    if (got != want) FatalMessage("test: CRC-32 %08X, expected %08X [%s]", (unsigned)got, (unsigned)want, archive);
  }
  int entries = Check("test", archive, nullptr);
  printf("OK (%d entries)\n", entries);
  return 0;
}

// Where compress and decompress print their one line: standard error when
// the output is standard output (`lzx decompress a.lzx /dev/stdout | ...`),
// which must carry the data alone.
FILE* Report(const char* out) { return OsIsStandardOutput(out) ? stderr : stdout; }

int Compress(const char* in, const char* out, const char* mode) {
  FileRec source;
  FileInit(&source, 1, in);
  FileOpenRead(&source);
  HILE* h = Hopen(out, mode);
  long long total = 0;
  ProgressStart("compress", FileSize(&source), ShowProgress());
  for (int n; (n = FileRead(&source, CopySize, CopyBuf)) > 0; Step(total)) {
    Hwrite(CopyBuf, n, h);
    total += n;
  }
  FileClose(&source);
  int size = Hclose(h);
  ProgressEnd();
  fprintf(Report(out), "%lld bytes into %d\n", total, size);
  return 0;
}

int Decompress(const char* in, const char* out) {
  HILE* h = Hopen(in, "rb");
  // A device, a pipe or the standard output is written as it is; a file
  // through a scratch file beside it.
  int device = FileWrittenInPlace(out);
  FileRec target;
  FileInit(&target, 1, out);
  if (!device) {
    char part[FileNameSize];
    if (!PathScratchBeside(out, part, sizeof part)) FileError(&target, FileErrCreate);
    FileScratchAdd(part, out);
    FileInit(&target, 1, part);
  }
  FileCreate(&target);
  long long total = 0, reserved = 0;
  ProgressStart("decompress", h->header.length, ShowProgress());
  for (int n; (n = Hread(CopyBuf, CopySize, h)) > 0; Step(total)) {
    if (!device && total + n > reserved) reserved = FileReserve(&target, total, h->header.length);
    FileWrite(&target, n, CopyBuf);
    total += n;
  }
  FileClose(&target);
  Hclose(h);
  ProgressEnd();
  if (!device) FileScratchCommit(&target, out);
  fprintf(Report(out), "%lld bytes\n", total);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError(nullptr);
  const char* command = argv[1];
  if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0) {
    fputs(Usage, stdout);
    return 0;
  }
  if (strcmp(command, "make-updater") == 0) return MakeUpdaterCommand(argc - 2, argv + 2);
  // Plain arguments and options, in any order after the command.
  const char* plain[3];
  int plainCount = 0;
  const char* table = nullptr;
  const char* mode = nullptr;
  const char* digest = nullptr;
  int rewriteEqual = 0;
  int absoluteNames = 0;
  int threads = PoolDefaultThreads();
  for (int i = 2; i < argc; i++) {
    const char* a = argv[i];
    int unpack = strcmp(command, "unpack") == 0;
    if (strcmp(a, "-T") == 0) {
      if (++i == argc || !ParseThreads(argv[i], &threads)) return UsageError("-T needs a thread count of 1 to 64");
    } else if (strcmp(a, "--table") == 0 && unpack) {
      if (++i == argc) return UsageError("--table needs a version file");
      table = argv[i];
    } else if (strcmp(a, "--rewrite-equal") == 0 && unpack) {
      rewriteEqual = 1;
    } else if ((strcmp(a, "--absolute-names") == 0 || strcmp(a, "-P") == 0) && unpack) {
      absoluteNames = 1;
    } else if (strcmp(a, "-q") == 0 || strcmp(a, "--quiet") == 0) {
      Quiet = 1;
    } else if (strcmp(a, "-v") == 0 || strcmp(a, "--verbose") == 0) {
      Verbose = 1;
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
  // Every compressed file the command opens codes its blocks on the pool.
  static HileWorkers workers = {PoolUsable(threads), PoolMaxSlots, PoolBegin, PoolSubmit, PoolWait};
  if (workers.threads > 1) HileSetWorkers(&workers);
  // The commands that ask at every step whether to stop (Step).
  static const char* const stepped[] = {"pack", "unpack", "test", "compress", "decompress"};
  for (const char* name : stepped)
    if (strcmp(command, name) == 0) OsCatchInterrupts();
  if (strcmp(command, "pack") == 0 && plainCount == 1) return Pack(plain[0]);
  if (strcmp(command, "unpack") == 0 && (plainCount == 1 || plainCount == 2)) {
    ArchiveSetPlainNames(absoluteNames ? ArchivePlainAsStored : ArchivePlainInside);
    return Unpack(plain[0], plainCount == 2 ? plain[1] : ".", table, rewriteEqual);
  }
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
  FatalSetPresenter(ToolPresenter);
  OpenFileReset();
  FatalSetUndoText(UndoLine);
  int status = Run(argc, argv);
  fflush(stdout);
  if (OpenFileAnyLeft()) InternalError("LZX", __LINE__, 4000);
  return status;
}
