// The words of the install transaction: the pre-flight's questions and
// refusals, the line the fatal box adds after a rollback, the notice of a
// recovered run, and the outcome of a run in a form the exit code can be
// mapped from.
#pragma once

#include <stddef.h>

// How an update run ended.
enum UpdateOutcome {
  UpdateNotApplied = 0,    // nothing to do (no version file where one is needed)
  UpdateApplied = 1,       // committed completely
  UpdateCancelled = 2,     // the pre-flight refused or the user cancelled: nothing changed
  UpdateRolledBack = 3,    // a failure after the pre-flight: undone, the fatal box follows
  UpdateRecovered = 4,     // the start found an interrupted run and finished it
  UpdateRegistryLate = 5,  // committed, but the registry still names the old version
};

// Causes a pre-flight refusal names (TxCheck* of fileio/transaction.h).
enum { SafetyInUse = 1, SafetyReadOnly, SafetyDirectory, SafetyNotWritable, SafetyNoSpace };

// The box text for a target the pre-flight refused: which file, why (the
// system's words, may be empty) and that nothing was changed; for a file in
// use, the request to close the program that holds it and choose Retry.
void FormatPreflightRefusal(char* buffer, size_t size, int dutch, int cause, const char* file, const char* why);

// The line below the fatal text after a rollback.
const char* RolledBackText(int dutch);
// The notice at start: 1 an interrupted update was undone, 2 completed.
const char* RecoveredText(int dutch, int completed);
// The box text when every file was updated but the version could not be
// written to the registry (why: the system's words, may be empty); again: the
// next start tries once more.
void FormatRegistryLate(char* buffer, size_t size, int dutch, const char* why, int again);
