#include "updater/outcome.h"

#include <gtest/gtest.h>

namespace {

// The exit codes are an interface that scripts rely on: pin the numbers.
TEST(Outcome, ExitCodesOfTheTable) {
  EXPECT_EQ(ExitCodeFor(OutcomeDone), 0);
  EXPECT_EQ(ExitCodeFor(OutcomeRunning), 1);
  EXPECT_EQ(ExitCodeFor(OutcomeFatal), 2);
  EXPECT_EQ(ExitCodeFor(OutcomeCancelled), 3);
  EXPECT_EQ(ExitCodeFor(OutcomeNoInstallDir), 4);
  EXPECT_EQ(ExitCodeFor(OutcomeNoVersionFile), 5);
  EXPECT_EQ(ExitCodeFor(OutcomeFilesLeft), 6);
  EXPECT_EQ(ExitCodeFor(-1), 2);
  EXPECT_EQ(ExitCodeFor(7), 2);
  EXPECT_STREQ(OutcomeText(OutcomeFilesLeft), "updated, files left unchanged");
  EXPECT_STREQ(OutcomeText(99), OutcomeText(OutcomeFatal));
}

// The demo's two passes: files left in either pass show; a failure is never
// hidden by a later success.
TEST(Outcome, StepsCombine) {
  EXPECT_EQ(CombineOutcome(OutcomeDone, OutcomeDone), OutcomeDone);
  EXPECT_EQ(CombineOutcome(OutcomeDone, OutcomeFilesLeft), OutcomeFilesLeft);
  EXPECT_EQ(CombineOutcome(OutcomeFilesLeft, OutcomeDone), OutcomeFilesLeft);
  EXPECT_EQ(CombineOutcome(OutcomeFilesLeft, OutcomeNoVersionFile), OutcomeNoVersionFile);
  EXPECT_EQ(CombineOutcome(OutcomeNoVersionFile, OutcomeFilesLeft), OutcomeNoVersionFile);
  EXPECT_EQ(CombineOutcome(OutcomeCancelled, OutcomeDone), OutcomeCancelled);
  EXPECT_EQ(CombineOutcome(OutcomeDone, 42), OutcomeFatal);
  RunResult = OutcomeDone;
  NoteOutcome(OutcomeFilesLeft);
  NoteOutcome(OutcomeDone);
  EXPECT_EQ(RunResult, OutcomeFilesLeft);
  RunResult = OutcomeDone;
}

}  // namespace
