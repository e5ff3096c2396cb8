// How a run of the updater ends, and the exit code that tells a script so.
// The codes are the same with or without "-silent".
#pragma once

enum RunOutcome {
  OutcomeDone = 0,           // updated or installed
  OutcomeRunning = 1,        // the product (or another updater) is running
  OutcomeFatal = 2,          // a fatal error; the fatal path ends with it
  OutcomeCancelled = 3,      // the user cancelled the dialog
  OutcomeNoInstallDir = 4,   // install directory not found (or refused)
  OutcomeNoVersionFile = 5,  // the installation has no "lzx.ver"
  OutcomeFilesLeft = 6,      // updated, but files were left unchanged
  OutcomeLast = OutcomeFilesLeft,
};

// The outcome of this run so far: OutcomeDone at start.
extern int RunResult;

// Records what a step ended with. A run that had only done its work so far
// takes the new outcome; "files left unchanged" gives way to any failure;
// otherwise the first failure stands.
void NoteOutcome(int outcome);
int CombineOutcome(int sofar, int next);

// The process exit code of an outcome (a value outside the table counts as
// fatal) and its words for the log.
int ExitCodeFor(int outcome);
const char* OutcomeText(int outcome);
