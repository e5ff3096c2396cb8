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

// The unattended options: "-silent" is a word like the others, "-dir=" takes
// the rest of its word, or up to a closing quotation mark across blanks.
std::string Dir(const char* arguments) {
  SilentMode = 0;
  OptionDir[0] = '\0';
  Parse(arguments);
  return OptionDir;
}

TEST(ParseCommandLine, SilentAndDirectory) {
  EXPECT_EQ(Dir(""), "");
  EXPECT_EQ(SilentMode, 0);
  EXPECT_EQ(Dir("-SILENT -dir=C:\\Demo"), "C:\\Demo");
  EXPECT_EQ(SilentMode, 1);
  Dir("-silent,");
  EXPECT_EQ(SilentMode, 0);
  EXPECT_EQ(Dir("-dir=\"C:\\Program Files\\Vexa Demo\" -eng"), "C:\\Program Files\\Vexa Demo");
  EXPECT_EQ(LangDutch, 0);  // the words after a quoted directory are still read
  EXPECT_EQ(Dir("-Dir=a -dir=b"), "b");
  EXPECT_EQ(Dir("x-dir=a"), "");  // only at the start of a word
  EXPECT_EQ(Dir("-dir=\"C:\\open ended"), "C:\\open ended");
  EXPECT_EQ(Dir("-dir=-eng"), "-eng");
  EXPECT_EQ(LangDutch, 1);                                                      // a directory's text is no option
  EXPECT_EQ(Dir("-dir=\xd0\x9f\xd1\x80\xd0\xbe"), "\xd0\x9f\xd1\x80\xd0\xbe");  // UTF-8 passes as bytes
}

}  // namespace
