#include "fuzz/harness.h"

#include <dirent.h>
#include <ftw.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/block.h"
#include "base/fatal.h"
#include "fileio/file.h"

// The compressed file's record table; weak so that the block decoders'
// targets link without the compressed file.
int HileCount(void) __attribute__((weak));
void HileReleaseAll(void) __attribute__((weak));

namespace {

jmp_buf FatalJump;
int Ready = 0;
char Scratch[64];

int QuietPresenter(const char*) { return 1; }  // as if OK was pressed

void ReturnToHarness(int) { longjmp(FatalJump, 1); }

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveScratch(void) {
  if (chdir("/tmp") == 0) nftw(Scratch, RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

void SetUp(void) {
  // Each fuzzing process works in a directory of its own, so that the
  // temporary and extracted files of parallel jobs never meet.
  strcpy(Scratch, "/tmp/lzx-fuzz-XXXXXX");
  if (mkdtemp(Scratch) == nullptr || chdir(Scratch) != 0) {
    perror("fuzz scratch directory");
    abort();
  }
  atexit(RemoveScratch);
  FatalSetPresenter(QuietPresenter);
  FatalSetTerminator(ReturnToHarness);
  OpenFileReset();  // registers the close hook of the fatal path
  Ready = 1;
}

}  // namespace

int FuzzRun(FuzzBody body, const uint8_t* data, size_t size) {
  if (!Ready) SetUp();
  int blocksBefore = BlockCount();
  // volatile: read after the longjmp.
  volatile int normal = 1;
  if (setjmp(FatalJump) == 0) {
    body(data, size);
  } else {
    normal = 0;
    // The owners of the open compressed files never got to close them; the
    // fatal path has closed their files already.
    if (HileReleaseAll) HileReleaseAll();
  }
  if (OpenFileAnyLeft()) {
    fprintf(stderr, "fuzz: a file was left open (%s)\n", normal ? "normal end" : FatalLastText());
    abort();
  }
  if (normal && HileCount && HileCount() != 0) {
    fprintf(stderr, "fuzz: %d compressed files left open\n", HileCount());
    abort();
  }
  if (BlockCount() != blocksBefore) {
    fprintf(stderr, "fuzz: %d memory blocks left taken (%s)\n", BlockCount() - blocksBefore,
            normal ? "normal end" : FatalLastText());
    abort();
  }
  return normal;
}

void FuzzWriteFile(const char* name, const uint8_t* data, size_t size) {
  FILE* f = fopen(name, "wb");
  if (f == nullptr || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
    perror(name);
    abort();
  }
}

void FuzzRemove(const char* path) { nftw(path, RemoveOne, 16, FTW_DEPTH | FTW_PHYS); }

void FuzzClearScratch(void) {
  // Only inside the scratch directory: before the first FuzzRun the current
  // directory is the caller's.
  if (!Ready) abort();
  DIR* d = opendir(".");
  if (d == nullptr) abort();
  for (struct dirent* e; (e = readdir(d)) != nullptr;) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) FuzzRemove(e->d_name);
  }
  closedir(d);
}
