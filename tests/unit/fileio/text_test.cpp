#include <string.h>

#include <string>

#include "fileio/path.h"
#include "scratch.h"

namespace {

class Lines : public Scratch {
 protected:
  void Open(const std::string& bytes) {
    Put("list.txt", bytes);
    FileInit(&rec_, 1, "list.txt");
    FileOpenRead(&rec_);
  }
  void TearDown() override {
    FileClose(&rec_);
    Scratch::TearDown();
  }
  // Reads with max into a buffer guarded by a canary byte after max + 1.
  std::string Next(int max) {
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    int got = ReadLine(&rec_, buffer, max);
    EXPECT_EQ(buffer[max + 1], '#') << "written past max + 1 bytes";
    EXPECT_EQ(got, buffer[0] != '\0');
    return buffer;
  }
  FileRec rec_;
};

TEST_F(Lines, EmptyLinesAreSkippedAndAnyTerminatorEndsALine) {
  Open("\r\n\r\nab\r\n");
  EXPECT_EQ(Next(10), "ab");
  EXPECT_EQ(Next(10), "");

  FileClose(&rec_);
  Open("one\n\rtwo\rthree\nlast");
  EXPECT_EQ(Next(10), "one");
  EXPECT_EQ(Next(10), "two");
  EXPECT_EQ(Next(10), "three");
  EXPECT_EQ(Next(10), "last") << "a last line without terminator";
  EXPECT_EQ(Next(10), "");
}

TEST_F(Lines, ALongLineComesInPiecesOfMax) {
  Open("abcdefg\r\nxyz\r\nq");
  EXPECT_EQ(Next(3), "abc");
  EXPECT_EQ(Next(3), "def");
  EXPECT_EQ(Next(3), "g");
  EXPECT_EQ(Next(3), "xyz") << "its terminator stays unread";
  EXPECT_EQ(Next(3), "q") << "and is skipped by the next call";
  EXPECT_EQ(Next(3), "");
}

TEST_F(Lines, OtherBytesAreKeptAndNoBufferSkipsALine) {
  Open(std::string("a\0\tb\nskipped\nc\n", 15));
  char buffer[8];
  EXPECT_EQ(ReadLine(&rec_, buffer, 7), 1);
  EXPECT_EQ(std::string(buffer, 4), std::string("a\0\tb", 4));
  EXPECT_EQ(ReadLine(&rec_, nullptr, 20), 1);
  EXPECT_EQ(Next(7), "c");
  EXPECT_EQ(ReadLine(&rec_, buffer, 0), 0) << "no room for a character";
  EXPECT_EQ(buffer[0], '\0');
}

using Log = Scratch;

TEST_F(Log, ASeriesKeepsTheLogOpenBetweenTwoCallsWithoutFormat) {
  EXPECT_EQ(LogPrintf("single %d;", 1), 9);
  EXPECT_EQ(OpenFileAnyLeft(), 0) << "outside a series each call closes the log";
  EXPECT_EQ(LogPrintf(nullptr), 0);
  EXPECT_EQ(OpenFileAnyLeft(), 1);
  EXPECT_EQ(LogPrintf("a"), 1);
  EXPECT_EQ(LogPrintf("b%s", "c"), 2);
  EXPECT_EQ(OpenFileAnyLeft(), 1);
  EXPECT_EQ(LogPrintf(nullptr), 0);
  EXPECT_EQ(OpenFileAnyLeft(), 0);
  EXPECT_EQ(Get("LOG.LOG"), "single 1;abc");

  const std::string longText(300, 'L');
  EXPECT_EQ(LogPrintf("%s", longText.c_str()), 199) << "a long text is cut to the buffer";
  EXPECT_EQ(Get("LOG.LOG"), "single 1;abc" + std::string(199, 'L'));
}

}  // namespace
