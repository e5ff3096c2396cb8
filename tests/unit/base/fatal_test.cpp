#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "base/block.h"
#include "base/fatal.h"

namespace {

// The fatal path ends the process: each case runs in a child and checks the
// exit code and the text on standard error.
TEST(FatalDeathTest, ExitsWithTwoAfterTheMessage) {
  EXPECT_EXIT(FatalMessage("Hopen: bad mode"), testing::ExitedWithCode(2), "Hopen: bad mode");
}

TEST(FatalDeathTest, InternalErrorForms) {
  EXPECT_EXIT(InternalError("FILEIO", 77, -1), testing::ExitedWithCode(2), "Internal error\nFile: FILEIO\nLine: 77");
  EXPECT_EXIT(InternalError("LZX", 12, 0), testing::ExitedWithCode(2), "Internal error \\[0\\] in \\[LZX,12\\]");
}

TEST(FatalDeathTest, PresenterThatCannotShowGivesOne) {
  EXPECT_EXIT(
      {
        FatalSetPresenter([](const char*) { return 0; });
        FatalMessage("x");
      },
      testing::ExitedWithCode(1), "");
}

TEST(FatalDeathTest, CloseHookRunsBeforeExit) {
  EXPECT_EXIT(
      {
        FatalSetCloseHook([] { fputs("closed all", stderr); });
        FatalMessage("boom");
      },
      testing::ExitedWithCode(2), "boom\nclosed all");
}

// The stop hook runs first, once: a fatal error inside it goes on without it.
TEST(FatalDeathTest, StopHookRunsBeforeTheTextAndOnlyOnce) {
  EXPECT_EXIT(
      {
        FatalSetStopHook([] {
          fputs("stopped ", stderr);
          FatalMessage("inside");
        });
        FatalMessage("outer");
      },
      testing::ExitedWithCode(2), "^stopped inside\n$");
}

TEST(FatalDeathTest, LongTextIsCutToTheBuffer) {
  std::string name(400, 'n');
  EXPECT_EXIT(
      {
        FatalSetPresenter([](const char* text) {
          fprintf(stderr, "len=%zu", strlen(text));
          return 1;
        });
        FatalMessage("\nFile Error : name = [%s] code = %d", name.c_str(), 209);
      },
      testing::ExitedWithCode(2), "len=199");
}

TEST(Block, SizesAreEvenAndAtLeastTwo) {
  void* a = BlockAlloc(0);
  void* b = BlockAlloc(7);
  void* c = BlockAlloc(8);
  EXPECT_EQ(BlockSize(a), 2);
  EXPECT_EQ(BlockSize(b), 8);
  EXPECT_EQ(BlockSize(c), 8);
  BlockFree(a);
  BlockFree(b);
  BlockFree(c);
  EXPECT_EQ(BlockCount(), 0);
}

TEST(Block, FreeOfUnknownOrFreedAddressIsIgnored) {
  int local = 0;
  BlockFree(&local);
  void* a = BlockAlloc(16);
  BlockFree(a);
  BlockFree(a);
  EXPECT_EQ(BlockCount(), 0);
}

TEST(Block, FreedSlotIsReusedAndTheTwoHundredFirstIsFatal) {
  void* held[BlockSlots];
  for (int i = 0; i < BlockSlots; i++) held[i] = BlockAlloc(4);
  BlockFree(held[57]);
  held[57] = BlockAlloc(4);  // the freed slot takes it
  EXPECT_EQ(BlockCount(), BlockSlots);
  EXPECT_EXIT(BlockAlloc(4), testing::ExitedWithCode(2), "Internal error \\[125\\] in \\[UPDATER,");
  for (void* p : held) BlockFree(p);
  EXPECT_EQ(BlockCount(), 0);
}

TEST(BlockDeathTest, NegativeSizeAndImpossibleSize) {
  EXPECT_EXIT(BlockAlloc(-1), testing::ExitedWithCode(2), "Internal error \\[123\\] in \\[UPDATER,");
  EXPECT_EXIT(BlockAlloc(0x7FFFFFFF), testing::ExitedWithCode(2), "Error 123: ");
}

}  // namespace
