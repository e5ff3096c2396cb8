#include "updater/outcome.h"

int RunResult = OutcomeDone;

namespace {

const char* const Texts[OutcomeLast + 1] = {
    "updated",
    "the product is running",
    "fatal error, nothing changed",
    "cancelled",
    "install directory not found",
    "lzx.ver not found",
    "updated, files left unchanged",
};

int Valid(int outcome) { return outcome >= OutcomeDone && outcome <= OutcomeLast; }

}  // namespace

int CombineOutcome(int sofar, int next) {
  if (!Valid(sofar) || !Valid(next)) return OutcomeFatal;
  if (sofar == OutcomeDone) return next;
  if (sofar == OutcomeFilesLeft && next != OutcomeDone) return next;
  return sofar;
}

void NoteOutcome(int outcome) { RunResult = CombineOutcome(RunResult, outcome); }

int ExitCodeFor(int outcome) { return Valid(outcome) ? outcome : OutcomeFatal; }

const char* OutcomeText(int outcome) { return Texts[ExitCodeFor(outcome)]; }
