#include "tools/product_file.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "base/fatal.h"
#include "fileio/file.h"

namespace {

// A product file is a page of text; one larger than this is not one.
enum { TextMax = 65536, RowsMax = 256, MembersMax = 64 };

char Text[TextMax + 1];

// One "field = text" line, its key and value ended in Text.
struct Row {
  int line;
  const char* key;
  const char* value;
};
Row Rows[RowsMax];
int RowCount;

const char* Path;
int Faults;

void Fault(int line, const char* format, ...) LZX_PRINTF(2, 3);
void Fault(int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  fprintf(stderr, "lzx: %s:%d: ", Path, line);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  Faults++;
}

// The length of a valid UTF-8 sequence at p (1 to 4), or 0.
int Utf8Length(const unsigned char* p, const unsigned char* end) {
  unsigned c = p[0];
  if (c < 0x80) return 1;
  int n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (n == 0 || c > 0xF4 || end - p < n) return 0;
  for (int i = 1; i < n; i++)
    if ((p[i] & 0xC0) != 0x80) return 0;
  if (n == 3 && ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0))) return 0;  // overlong, surrogate
  if (n == 4 && ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90))) return 0;  // overlong, beyond U+10FFFF
  return n;
}

int IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// s with the blanks at both ends dropped, ended in place.
char* Strip(char* s, char* end) {
  while (s < end && IsBlank(*s)) s++;
  while (end > s && IsBlank(end[-1])) end--;
  *end = 0;
  return s;
}

// Reads path into Text and splits it into Rows; 0 when it is no text at all.
int Split(const char* path) {
  FileRec rec;
  FileInit(&rec, 1, path);
  FileOpenRead(&rec);
  int size = FileSize(&rec);
  if (size > TextMax) {
    FileClose(&rec);
    Fault(0, "more than %d bytes: not a product file", TextMax);
    return 0;
  }
  int n = size > 0 ? FileRead(&rec, size, Text) : 0;
  FileClose(&rec);
  Text[n] = 0;
  const unsigned char* bytes = (const unsigned char*)Text;
  int line = 1;
  for (int i = 0; i < n;) {
    if (bytes[i] == 0) {
      Fault(line, "a NUL byte: not a text file");
      return 0;
    }
    int k = Utf8Length(bytes + i, bytes + n);
    if (k == 0) {
      Fault(line, "not UTF-8 text");
      return 0;
    }
    if (bytes[i] == '\n') line++;
    i += k;
  }
  char* p = Text;
  if (n >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  RowCount = 0;
  for (line = 1;; line++) {
    char* end = strchr(p, '\n');
    char* next = end ? end + 1 : nullptr;
    if (!end) end = p + strlen(p);
    char* s = Strip(p, end);
    if (s[0] != 0 && s[0] != '#') {
      char* eq = strchr(s, '=');
      char* key = eq ? Strip(s, eq) : s;
      if (!eq || key[0] == 0) {
        Fault(line, "expected \"field = text\", found \"%s\"", s);
      } else if (RowCount == RowsMax) {
        Fault(line, "more than %d fields", RowsMax);
      } else {
        Rows[RowCount++] = {line, key, Strip(eq + 1, eq + 1 + strlen(eq + 1))};
      }
    }
    if (!next) break;
    p = next;
  }
  return 1;
}

// Fields that must be given once; sorted, as the missing ones are reported.
const char* const Required[] = {
    "company",         "copyright", "description",    "file",           "mail.en", "mail.nl",         "name",
    "team.en",         "team.nl",   "update-line.en", "update-line.nl", "version", "version-line.en", "version-line.nl",
    "version-numbers", "web.en",    "web.nl"};
const int RequiredCount = (int)(sizeof Required / sizeof Required[0]);

int Known(const char* key) {
  if (strcmp(key, "member") == 0 || strcmp(key, "resource-product") == 0) return 1;
  for (int i = 0; i < RequiredCount; i++)
    if (strcmp(key, Required[i]) == 0) return 1;
  return 0;
}

const Row* First(const char* key) {
  for (int i = 0; i < RowCount; i++)
    if (strcmp(Rows[i].key, key) == 0) return &Rows[i];
  return nullptr;
}

// The value of key and its line (0 and "" when it is missing).
const char* Value(const char* key, int* line) {
  const Row* row = First(key);
  *line = row ? row->line : 0;
  return row ? row->value : "";
}

// The dialogs' controls: width in dialog units for each template (update,
// family, demo) and language (nl, en); 0 where a template does not show it.
struct DialogField {
  const char* key;
  int size;  // the array in the program, with its NUL
  int width[3][2];
};
const DialogField DialogFields[] = {
    {"update-line", ProductLineSize, {{138, 138}, {138, 138}, {138, 138}}},
    {"version-line", ProductLineSize, {{138, 138}, {138, 138}, {138, 138}}},
    {"copyright", ProductLineSize, {{201, 201}, {112, 112}, {201, 201}}},
    // A group box's title: its width less the frame at both ends.
    {"team", ProductShortSize, {{75, 75}, {71, 71}, {75, 75}}},
    {"mail", ProductLineSize, {{96, 96}, {100, 80}, {96, 96}}},
    {"web", ProductLineSize, {{96, 96}, {106, 96}, {96, 96}}},
};
// The team lines of each template, in order.
const int MemberWidths[3][ProductMembersMax] = {{68, 64, 60, 64}, {64, 64, 64, 64, 64, 64}, {68, 64, 60, 64}};
const int MemberCounts[3] = {4, 6, 4};

const char* DialogName;

// text as a static control shows it: "&&" is one ampersand.
void Shown(const char* text, char* out, int size) {
  int n = 0;
  for (; *text && n < size - 1; text++) {
    out[n++] = *text;
    if (text[0] == '&' && text[1] == '&') text++;
  }
  out[n] = 0;
}

void CheckText(int line, const char* text, int size, int width) {
  int bytes = (int)strlen(text);
  if (bytes >= size) Fault(line, "\"%s\" is %d bytes, more than the %d the program holds", text, bytes, size - 1);
  for (const char* p = text; *p; p++) {
    if (p[0] == '&' && p[1] == '&') {
      p++;
    } else if (p[0] == '&') {
      Fault(line, "unescaped \"&\" in \"%s\": write \"&&\" for an ampersand (a single one underlines the next letter)",
            text);
      break;
    }
  }
  char shown[ProductLineSize * 4];
  Shown(text, shown, sizeof shown);
  double w = ProductTextWidth(shown);
  if (width && w > width)
    Fault(line, "\"%s\" is too long for its control in the %s dialog (about %d of %d dialog units)", text, DialogName,
          (int)w, width);
}

void Copy(char* out, int size, const char* text) { snprintf(out, (size_t)size, "%s", text); }

// version-numbers: four numbers 0 to 65535 with dots between.
int ParseNumbers(const char* text, uint16_t* numbers) {
  const char* p = text;
  for (int i = 0; i < 4; i++) {
    long v = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; p++, digits++) {
      if (digits == 5) return 0;
      v = v * 10 + (*p - '0');
    }
    if (digits == 0 || v > 65535) return 0;
    numbers[i] = (uint16_t)v;
    if (i < 3 && *p++ != '.') return 0;
  }
  return *p == 0;
}

void CheckResource(const char* key, char* out) {
  int line;
  const char* text = Value(key, &line);
  for (const char* p = text; *p; p++) {
    if ((unsigned char)*p > 127) {
      Fault(line, "field \"%s\" goes into the version resource and must be plain ASCII", key);
      break;
    }
  }
  if (strlen(text) > ProductResourceSize - 1)
    Fault(line, "field \"%s\" is longer than %d characters", key, ProductResourceSize - 1);
  Copy(out, ProductResourceSize, text);
}

}  // namespace

double ProductTextWidth(const char* text) {
  double width = 0;
  const unsigned char* p = (const unsigned char*)text;
  while (*p) {
    unsigned c = *p;
    if (c >= 0x80) {
      // Any other letter: as wide as a capital. One per character, not byte.
      width += 5;
      p++;
      while ((*p & 0xC0) == 0x80) p++;
      continue;
    }
    if (strchr("iljI.,:;!|'", (int)c))
      width += 2;
    else if (strchr("frt ()-/[]1", (int)c))
      width += 3;
    else if (strchr("mwMW@%", (int)c))
      width += 6.5;
    else if (c >= 'A' && c <= 'Z')
      width += 5;
    else
      width += 3.7;
    p++;
  }
  return width;
}

int ProductFileRead(const char* path, int dialog, ProductFile* out) {
  Path = path;
  Faults = 0;
  RowCount = 0;
  int d = dialog - UpdaterDialogUpdate;
  if (d < 0 || d > 2) InternalError("PRODUCT", __LINE__, 1);
  DialogName = UpdaterDialogName(dialog);
  if (!Split(path)) return Faults;
  memset(out, 0, sizeof *out);

  for (int i = 0; i < RowCount; i++) {
    const Row* first = First(Rows[i].key);
    if (!Known(Rows[i].key)) {
      if (first == &Rows[i]) Fault(Rows[i].line, "unknown field \"%s\"", Rows[i].key);
    } else if (first != &Rows[i] && strcmp(Rows[i].key, "member") != 0) {
      // Reported once, at the second line.
      int again = 0;
      for (const Row* r = first + 1; r < &Rows[i]; r++) again += strcmp(r->key, Rows[i].key) == 0;
      if (again == 0) Fault(Rows[i].line, "field \"%s\" given again (first on line %d)", Rows[i].key, first->line);
    }
  }
  for (int i = 0; i < RequiredCount; i++) {
    const Row* row = First(Required[i]);
    if (!row)
      Fault(0, "missing field \"%s\"", Required[i]);
    else if (row->value[0] == 0)
      Fault(row->line, "field \"%s\" is empty", Required[i]);
  }

  int line;
  const char* name = Value("name", &line);
  if (strlen(name) > ProductNameMax)
    Fault(line, "product name \"%s\" is %d characters, at most %d fit the registry key", name, (int)strlen(name),
          ProductNameMax);
  if (strchr(name, '\\')) Fault(line, "a product name cannot hold \"\\\" (it names a registry key)");
  Copy(out->data.name, sizeof out->data.name, name);
  const char* version = Value("version", &line);
  if (strlen(version) > ProductVersionSize - 1)
    Fault(line, "version \"%s\" is longer than %d characters", version, ProductVersionSize - 1);
  Copy(out->data.version, sizeof out->data.version, version);
  const char* numbers = Value("version-numbers", &line);
  if (numbers[0] && !ParseNumbers(numbers, out->numbers))
    Fault(line, "version-numbers must be four numbers 0 to 65535 with dots between, as 1.1.0.0");

  // The dialog's texts, English into [0] and Dutch into [1].
  char* const targets[][2] = {
      {out->data.updateLine[1], out->data.updateLine[0]},
      {out->data.versionLine[1], out->data.versionLine[0]},
      {out->data.copyright, nullptr},
      {out->data.team[1], out->data.team[0]},
      {out->data.mail[1], out->data.mail[0]},
      {out->data.web[1], out->data.web[0]},
  };
  for (int f = 0; f < (int)(sizeof DialogFields / sizeof DialogFields[0]); f++) {
    const DialogField& field = DialogFields[f];
    for (int language = 0; language < 2; language++) {  // nl, en
      if (!targets[f][language]) continue;
      char key[32];
      if (targets[f][1])
        snprintf(key, sizeof key, "%s.%s", field.key, language == 0 ? "nl" : "en");
      else
        snprintf(key, sizeof key, "%s", field.key);
      const char* text = Value(key, &line);
      CheckText(line, text, field.size, field.width[d][language]);
      Copy(targets[f][language], field.size, text);
    }
  }
  int members = 0;
  for (int i = 0; i < RowCount; i++) {
    if (strcmp(Rows[i].key, "member") != 0) continue;
    if (members == MemberCounts[d]) {
      Fault(Rows[i].line, "the %s dialog has room for %d team members", DialogName, MemberCounts[d]);
      break;
    }
    CheckText(Rows[i].line, Rows[i].value, ProductShortSize, MemberWidths[d][members]);
    Copy(out->data.members[members], ProductShortSize, Rows[i].value);
    members++;
  }

  CheckResource("company", out->company);
  CheckResource("description", out->description);
  CheckResource("file", out->file);
  CheckResource("resource-product", out->resourceProduct);
  if (!out->resourceProduct[0]) Copy(out->resourceProduct, ProductResourceSize, name);
  return Faults;
}
