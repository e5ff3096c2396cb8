#include "updater/command_line.h"

#include <string.h>
#include <strings.h>

int LangDutch = 1;
int LogEnabled = 0;
int SilentMode = 0;
char OptionDir[OptionDirSize];

namespace {

const char DirOption[] = "-dir=";

// Takes every "-dir=" word out of copy (blanked, so that the words are read
// without it) and keeps the last one's value in OptionDir. A value that
// begins with a quotation mark runs to the next one and may hold blanks.
void TakeDirOptions(char* copy) {
  const size_t prefix = sizeof DirOption - 1;
  for (char* p = copy; *p; p++) {
    if ((p != copy && p[-1] != ' ') || strncasecmp(p, DirOption, prefix) != 0) continue;
    char* value = p + prefix;
    char* end;
    size_t length;
    if (*value == '"') {
      value++;
      end = strchr(value, '"');
      length = end ? (size_t)(end - value) : strlen(value);
      end = end ? end + 1 : value + length;
    } else {
      end = strchr(value, ' ');
      if (!end) end = value + strlen(value);
      length = (size_t)(end - value);
    }
    memcpy(OptionDir, value, length);  // length < ArgumentCopySize
    OptionDir[length] = '\0';
    memset(p, ' ', (size_t)(end - p));
    p = end - 1;
  }
}

}  // namespace

int ParseCommandLine(const char* arguments) {
  char copy[ArgumentCopySize];
  memset(copy, 0, sizeof copy);
  if (arguments) strncpy(copy, arguments, sizeof copy - 1);
  copy[sizeof copy - 1] = '\0';
  TakeDirOptions(copy);

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
    if (strcasecmp(words[i], "-silent") == 0) SilentMode = 1;
  }
  return 1;
}
