// The install transaction: a set of file replacements committed together, so
// that an installation is left either exactly as it was or completely
// updated, whatever happens.
//
// Every new content is first staged in a file beside its target (same
// directory, so the final moves are renames). The commit then replaces the
// targets in one tight loop, each replaced or deleted file kept as a backup
// until the transaction ends. Until then any failure (a fatal error of this
// process, or the next start after a crash) undoes it: backups go back,
// created files and directories are removed, staged and scratch files are
// deleted.
//
// A journal in the transaction's directory records, before each change is
// made, what the transaction does, and is flushed before the first target is
// replaced. TxRecover reads a journal left by an interrupted run and
// completes it: backwards before the commit was complete, forwards after.
//
// One transaction at a time; the state is this module's. While one is active
// the fatal path undoes it before it shows its text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "fileio/file.h"

enum {
  TxFilesMax = 4096,  // targets of one transaction (staged, replaced or deleted)
  TxDirsMax = 256,    // directories it creates
  TxScratchMax = 4,   // scratch files it removes at its end
  TxNoteSize = 80,    // the owner's note: at most 79 characters
};

#define TxJournalName "~lzxtx.jnl"

// Outcomes of TxRecover.
enum { TxRecoverNone = 0, TxRecoverUndone = 1, TxRecoverCompleted = 2 };

// Results of the pre-flight checks.
enum {
  TxCheckOk = 0,
  TxCheckInUse,        // another program holds the file open
  TxCheckReadOnly,     // the read-only attribute is set
  TxCheckDirectory,    // a directory is in the file's place
  TxCheckNotWritable,  // the file or its directory cannot be written
  TxCheckNoSpace,      // the volume lacks room
};

// Begins a transaction with its journal in dir (an existing directory). A
// journal already there is first recovered. Fatal if one is active or the
// journal cannot be written.
void TxBegin(const char* dir);
int TxActive(void);

// Begins a transaction that only plans: it records staging and deletions so
// that TxExists answers as a real one would, but it writes nothing and keeps
// no journal. TxStage's path is then not to be written. Ended by TxRollback.
void TxBeginPlan(void);

// The note that TxRecover gives back when it completes a commit (the owner's
// last step, for example the version it writes to the registry); set before
// TxCommit.
void TxSetNote(const char* note);

// Creates every missing level of dir, each recorded to be removed again; 1 if
// all exist afterwards (MakeDirs).
int TxMakeDirs(const char* dir);

// Whether target exists as the transaction leaves it so far.
int TxExists(const char* target);

// Stages new content for target: returns the path (FileNameSize bytes, owned
// by this module until the transaction ends) of the file beside the target
// that the caller creates and writes in full. Staging the same target again
// gives the same path (the caller truncates it). Fatal if the staged name does
// not fit or the table is full.
const char* TxStage(const char* target);

// Deletes target at the commit, dropping content staged for it.
void TxDelete(const char* target);

// A scratch file of the owner's (a temporary archive): deleted when the
// transaction ends either way.
void TxScratch(const char* path);

// Flushes the staged files, records the commit in the journal, flushes it and
// replaces the targets. A failing move is fatal (and undone). After it every
// target is in place; the backups stay until TxEnd.
void TxCommit(void);

// Ends a committed transaction: backups, scratch files and the journal go.
void TxEnd(void);

// Ends a committed transaction's part in this run without finishing it,
// when the owner's last step failed: the journal is closed and stays, so
// that the next TxRecover completes it and gives back the note again.
void TxLeave(void);

// Undoes the active transaction (at any point before TxEnd) and ends it; 1 if
// one was active. Only system calls, never the fatal path.
int TxRollback(void);

// Drops the active transaction's state without touching the disk, as a
// process that ends does (its files are the open-file table's to close); the
// next TxRecover finds its journal.
void TxForget(void);

// Completes a transaction that an interrupted run left in dir: undone, or
// completed when its commit was. The note of a completed one is copied into
// note (noteSize bytes) if given.
int TxRecover(const char* dir, char* note, size_t noteSize);

// Marks one step of the commit (each move, each journal mark, and an owner's
// own step such as its registry write). A test build may register a hook that
// sees every step's number (from 1) and ends the process at one of them.
void TxStep(void);
typedef void (*TxStepHook)(int step);
void TxSetStepHook(TxStepHook hook);

// Pre-flight, changing nothing. TxCheckTarget: target (which may not exist)
// can be replaced or deleted by a transaction: its directory exists or can be
// made, and can be written; an existing target is a file, not read-only, and
// opens for writing and deletion without sharing. TxCheckSpace: the volume of
// dir (or its nearest existing parent) has bytes free. Both store the
// system's words for a failure in why (whySize bytes).
int TxCheckTarget(const char* target, char* why, size_t whySize);
int TxCheckSpace(const char* dir, int64_t bytes, char* why, size_t whySize);
