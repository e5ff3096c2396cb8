#include "updater/command_line.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

struct Flags {
  int dutch, log;
};

Flags Parse(const char* arguments) {
  LangDutch = 1;  // as the entry sets it
  LogEnabled = 0;
  EXPECT_EQ(ParseCommandLine(arguments), 1);
  return Flags{LangDutch, LogEnabled};
}

TEST(ParseCommandLine, OptionsInAnyCaseAndTheLastLanguageWins) {
  EXPECT_EQ(Parse("").dutch, 1);
  EXPECT_EQ(Parse("").log, 0);
  EXPECT_EQ(Parse("-eng").dutch, 0);
  EXPECT_EQ(Parse("-ENG").dutch, 0);
  EXPECT_EQ(Parse("-dut -eng").dutch, 0);
  EXPECT_EQ(Parse("-eng -dut").dutch, 1);
  Flags f = Parse("  -Log    -eNg  ");
  EXPECT_EQ(f.log, 1);
  EXPECT_EQ(f.dutch, 0);
}

TEST(ParseCommandLine, OnlyWholeBlankSeparatedWordsAreOptions) {
  EXPECT_EQ(Parse("-eng,").dutch, 1);
  EXPECT_EQ(Parse("-dut\t-eng").dutch, 1);  // a tab is part of the word
  EXPECT_EQ(Parse("\"-eng\"").dutch, 1);
  EXPECT_EQ(Parse("x -eng y").dutch, 0);
  EXPECT_EQ(Parse(nullptr).dutch, 1);
}

TEST(ParseCommandLine, TheStringIsCutAt259Characters) {
  std::string args(255, 'a');
  args += " -eng";  // ends at character 260
  EXPECT_EQ(Parse(args.c_str()).dutch, 1);
  args = std::string(254, 'a') + " -eng";  // exactly 259
  EXPECT_EQ(Parse(args.c_str()).dutch, 0);
}

TEST(ParseCommandLine, WordsBeyondTheListAreIgnored) {
  std::string args;
  for (int i = 0; i < CommandWordsMax; i++) args += "w ";
  EXPECT_EQ(Parse((args + "-eng").c_str()).dutch, 1);  // the 49th word
  args.resize(args.size() - 2);
  EXPECT_EQ(Parse((args + "-eng").c_str()).dutch, 0);  // the 48th word
}

}  // namespace
