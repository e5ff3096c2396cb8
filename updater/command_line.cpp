#include "updater/command_line.h"

#include <string.h>
#include <strings.h>

int LangDutch = 1;
int LogEnabled = 0;

int ParseCommandLine(const char* arguments) {
  char copy[ArgumentCopySize];
  memset(copy, 0, sizeof copy);
  if (arguments) strncpy(copy, arguments, sizeof copy - 1);
  copy[sizeof copy - 1] = '\0';

  // Entry 0 stands for the program name; the list ends with an empty entry.
  const char* words[CommandWordSlots];
  int count = 0;
  words[count++] = "dummy";
  char* rest = nullptr;
  for (char* word = strtok_r(copy, " ", &rest); word && count < CommandWordSlots - 1;
       word = strtok_r(nullptr, " ", &rest)) {
    words[count++] = word;
  }
  words[count] = "";

  for (int i = 1; i < count; i++) {
    if (strcasecmp(words[i], "-log") == 0) LogEnabled = 1;
    if (strcasecmp(words[i], "-dut") == 0) LangDutch = 1;
    if (strcasecmp(words[i], "-eng") == 0) LangDutch = 0;
  }
  return 1;
}
