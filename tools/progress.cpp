#include "tools/progress.h"

#include <stdio.h>
#include <string.h>

#include "os/console.h"

namespace {

enum { RedrawMs = 100, LineSize = 96 };

int Enabled = 0;
const char* What = "";
int64_t Total = 0;
int64_t Done = 0;
uint64_t StartMs = 0;
uint64_t DrawnMs = 0;
int Shown = 0;  // characters of the line on the terminal

void Draw(void) {
  uint64_t now = OsClockMs();
  double seconds = (double)(now - StartMs) / 1000.0;
  double mb = (double)Done / 1e6;
  char rate[24] = "";
  if (seconds > 0.05) snprintf(rate, sizeof rate, "  %.1f MB/s", mb / seconds);
  char line[LineSize];
  int n;
  if (Total > 0) {
    n = snprintf(line, sizeof line, "lzx: %s  %.1f of %.1f MB  %3d%%%s", What, mb, (double)Total / 1e6,
                 (int)(Done * 100 / Total), rate);
  } else {
    n = snprintf(line, sizeof line, "lzx: %s  %.1f MB%s", What, mb, rate);
  }
  if (n < 0) return;
  if (n >= (int)sizeof line) n = (int)sizeof line - 1;
  // Blanks over what is left of a longer line before.
  fprintf(stderr, "\r%s%*s", line, Shown > n ? Shown - n : 0, "");
  fflush(stderr);
  Shown = Shown > n ? Shown : n;
  DrawnMs = now;
}

}  // namespace

void ProgressStart(const char* what, int64_t total, int enabled) {
  ProgressEnd();
  Enabled = enabled;
  What = what;
  Total = total;
  Done = 0;
  StartMs = OsClockMs();
  DrawnMs = 0;
}

void ProgressSet(int64_t done) {
  if (!Enabled) return;
  Done = done < Total || Total == 0 ? done : Total;
  if (Shown == 0 || OsClockMs() - DrawnMs >= RedrawMs) Draw();
}

void ProgressClear(void) {
  if (!Enabled || Shown == 0) return;
  fprintf(stderr, "\r%*s\r", Shown, "");
  fflush(stderr);
  Shown = 0;
}

void ProgressEnd(void) {
  ProgressClear();
  Enabled = 0;
}
