#include "fileio/file.h"

#include "base/fatal.h"

#define STUB InternalError("FILEIO", __LINE__, -1)

void FileInit(FileRec*, int, const char*) { STUB; }
void FileOpenRead(FileRec*) { STUB; }
void FileCreate(FileRec*) { STUB; }
void FileAppend(FileRec*) { STUB; }
void FileOpenReadWrite(FileRec*) { STUB; }
void FileClose(FileRec*) { STUB; }
int FileIsClosed(const FileRec* rec) { return rec->handle == 0; }
int FileRead(FileRec*, int, void*) { STUB; }
int FileWrite(FileRec*, int, const void*) { STUB; }
void FileSeek(FileRec*, int, int) { STUB; }
int FileTell(FileRec*) { STUB; }
int FileSize(FileRec*) { STUB; }
void FileCopy(FileRec*, FileRec*, void*, int) { STUB; }
void FileRename(FileRec*, const char*) { STUB; }
int FileDelete(FileRec*) { STUB; }
int FileWriteLine(FileRec*, const char*) { STUB; }
int FilePrintf(FileRec*, const char*, ...) { STUB; }
void FileError(const FileRec*, int) { STUB; }
int IsPrinterName(const char*) { STUB; }
void OpenFileAdd(const FileRec*) { STUB; }
void OpenFileRemove(const FileRec*) { STUB; }
void OpenFileCloseAll(void) {}
int OpenFileAnyLeft(void) { return 0; }
int OpenFileReset(void) { return 0; }
