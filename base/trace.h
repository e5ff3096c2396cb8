// Trace hooks: the program's diagnostic trace. In this system they do nothing;
// the entry opens and closes the trace when logging is asked for, and the file
// layer hands it the texts of file errors and of files left open.
#pragma once

// Opens the trace; returns 0.
int TraceOpen(int level);
void TraceClose(void);
// One line: a printf format with one argument.
void TraceLine(const char* format, const char* argument);
