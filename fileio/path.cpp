#include "fileio/path.h"

#define STUB InternalError("FILEIO", __LINE__, -1)

void SplitPath(const char*, char*, char*, char*) { STUB; }
void StripExtension(char*) { STUB; }
int MakeDirs(const char*) { STUB; }
int RemoveDirFiles(const char*, int) { STUB; }
int ListDir(char*, unsigned, const char*) { STUB; }
int FileExists(const char*) { STUB; }
int IsReadOnly(const char*) { STUB; }
int FileInUse(const char*) { STUB; }
int IsPlainName(const char*) { STUB; }
int DeleteFileByName(const char*) { STUB; }
int FileDateTime(FileRec*, unsigned*) { STUB; }
int ReadLine(FileRec*, char*, int) { STUB; }
int LogPrintf(const char*, ...) { STUB; }
