#include <string.h>
#ifdef __linux__
#include <sched.h>
#endif

#include <string>
#include <thread>

#include "fileio/file.h"
#include "os/cpu.h"
#include "os/files.h"
#include "scratch.h"

namespace {

using FileSeam = Scratch;

TEST(CpuSeam, CoresAreThoseTheProcessMayUse) {
  EXPECT_GE(OsCoreCount(), 1);
#ifndef _WIN32
  EXPECT_EQ(OsCpuMaxCores("max 100000\n"), 0);
  EXPECT_EQ(OsCpuMaxCores("200000 100000\n"), 2);
  EXPECT_EQ(OsCpuMaxCores("150000 100000"), 2) << "a part of a processor is one";
  EXPECT_EQ(OsCpuMaxCores("1000 100000\n"), 1);
  for (const char* bad : {"", "\n", "100000", "100000 ", "-5 100000", "100000 0", "1 2 3", "x 100000"})
    EXPECT_EQ(OsCpuMaxCores(bad), 0) << bad;
#endif
#ifdef __linux__
  // Held to one processor, the process has one core.
  cpu_set_t all, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  int first = 0;
  while (!CPU_ISSET(first, &all)) first++;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  int held = OsCoreCount();
  sched_setaffinity(0, sizeof all, &all);
  EXPECT_EQ(held, 1);
#endif
}

#ifdef __linux__
// What OsBindThread did to the calling thread: its result, and the
// processors the thread may use after it (how many, and the first).
struct Bound {
  int result, count, cpu;
};

Bound Bind(int index, int threads) {
  Bound b = {OsBindThread(index, threads), 0, -1};
  cpu_set_t now;
  CPU_ZERO(&now);
  sched_getaffinity(0, sizeof now, &now);
  b.count = CPU_COUNT(&now);
  for (int c = CPU_SETSIZE - 1; c >= 0; c--)
    if (CPU_ISSET(c, &now)) b.cpu = c;
  return b;
}

TEST(CpuSeam, AGroupWithAThreadForEachProcessorHasOneEach) {
  int n = Bind(-1, 0).count;  // binds nothing
  // On threads of their own: the test's thread keeps every processor.
  Bound more, first, second;
  std::thread([&] {
    more = Bind(0, n + 1);
    first = Bind(0, n);
  }).join();
  std::thread([&] { second = Bind(1, n); }).join();
  EXPECT_EQ(Bind(-1, 0).count, n);
  EXPECT_EQ(more.result, 0) << "a group larger than the processors shares them";
  EXPECT_EQ(more.count, n);
  if (n < 2) {
    EXPECT_EQ(first.result + second.result, 0) << "one processor is not divided";
    return;
  }
  EXPECT_EQ(first.result, 1);
  EXPECT_EQ(first.count, 1);
  EXPECT_EQ(second.result, 1);
  EXPECT_EQ(second.count, 1);
  EXPECT_NE(first.cpu, second.cpu);
}
#endif

TEST_F(FileSeam, MoveNeverReplacesButTheReplacingMoveDoes) {
  Put("a", "A");
  Put("b", "B");
  EXPECT_EQ(OsFileMove("a", "b"), 0);
  EXPECT_EQ(Get("a"), "A");
  EXPECT_EQ(Get("b"), "B");
  EXPECT_EQ(OsFileMoveReplace("a", "b"), 1);
  EXPECT_FALSE(Exists("a"));
  EXPECT_EQ(Get("b"), "A");
  MakeDir("d");
  EXPECT_EQ(OsFileMove("b", "d\\c"), 1) << "the backslash separates on every system";
  EXPECT_EQ(Get("d\\c"), "A");
  EXPECT_EQ(OsFileMove("d", "e"), 1) << "a directory moves too";
  EXPECT_EQ(OsFileMove("missing", "f"), 0);
}

TEST_F(FileSeam, ReadersShareAndEveryOtherModeIsExclusive) {
  Put("f", "x");
  OsFileHandle r1 = OsFileOpen("f", OsOpenRead);
  OsFileHandle r2 = OsFileOpen("f", OsOpenRead);
  EXPECT_TRUE(r1 && r2);
  EXPECT_EQ(OsFileOpen("f", OsOpenCreate), 0u) << "a reader keeps a writer out";
  EXPECT_EQ(Get("f"), "x") << "and the refused create did not truncate";
  OsFileClose(r1);
  OsFileClose(r2);
  OsFileHandle w = OsFileOpen("f", OsOpenReadWrite);
  EXPECT_NE(w, 0u);
  EXPECT_EQ(OsFileOpen("f", OsOpenRead), 0u);
  OsFileClose(w);
  EXPECT_EQ(OsFileOpen("missing", OsOpenRead), 0u);
  MakeDir("d");
  EXPECT_EQ(OsFileOpen("d", OsOpenRead), 0u) << "a directory is not opened as a file";
}

#ifndef _WIN32
// Two programs writing to /dev/null at once (a speed test, say) are not told
// that it is in use.
TEST_F(FileSeam, DevicesAreNotLocked) {
  OsFileHandle a = OsFileOpen("/dev/null", OsOpenCreate);
  OsFileHandle b = OsFileOpen("/dev/null", OsOpenCreate);
  EXPECT_TRUE(a && b);
  OsFileClose(a);
  OsFileClose(b);
}
#endif

TEST_F(FileSeam, ReadOnlyFilesAreNotDeleted) {
  Put("f", "x");
  ASSERT_TRUE(OsFileSetReadOnly("f", 1));
  EXPECT_EQ(OsFileDelete("f"), 0);
  EXPECT_TRUE(Exists("f"));
  ASSERT_TRUE(OsFileSetReadOnly("f", 0));
  EXPECT_EQ(OsFileDelete("f"), 1);
  EXPECT_FALSE(Exists("f"));
}

TEST_F(FileSeam, TemporaryNamesAreShortAndFree) {
  char first[OsTempNameSize], second[OsTempNameSize];
  ASSERT_EQ(OsTempName("", first, sizeof first), 1);
  EXPECT_LE(strlen(first), 15u);
  EXPECT_EQ(strpbrk(first, "\\/:"), nullptr);
  EXPECT_FALSE(Exists(first));
  Put(first, "taken");
  ASSERT_EQ(OsTempName("", second, sizeof second), 1);
  EXPECT_STRNE(first, second);
  EXPECT_FALSE(Exists(second));
  char small[8];
  EXPECT_EQ(OsTempName("", small, sizeof small), 0);
  // In another directory: the name begins with it and is free there.
  MakeDir("d");
  char inside[OsTempNameSize + 2];
  ASSERT_EQ(OsTempName("d\\", inside, sizeof inside), 1);
  EXPECT_EQ(strncmp(inside, "d\\", 2), 0);
  EXPECT_FALSE(Exists(inside));
  EXPECT_EQ(OsTempName("d\\", second, sizeof second), 0) << "the directory leaves no room";
}

}  // namespace
