// The one way out of the program after an unrecoverable error.
//
// FatalMessage formats its text into a 200-byte buffer (longer texts are cut,
// never written past the buffer), hands it to the presenter, closes every open
// file through the close hook and ends the process with the presenter's result
// plus one: 2 after the user pressed OK, 1 if the text could not be shown.
#pragma once

#include <stdarg.h>

enum { FatalTextSize = 200 };

#if defined(__GNUC__)
#define LZX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define LZX_PRINTF(f, a)
#endif

[[noreturn]] void FatalMessage(const char* format, ...) LZX_PRINTF(1, 2);
[[noreturn]] void FatalMessageV(const char* format, va_list args);

// code < 0: "Internal error\nFile: %s\nLine: %d"; otherwise
// "Internal error [%d] in [%s,%d]".
[[noreturn]] void InternalError(const char* source, int line, int code);

// Shows the fatal text and waits for the user. Returns the message box result
// (1 for OK) or 0 when the text could not be shown. The default writes the
// text to standard error and returns 1.
typedef int (*FatalPresenter)(const char* text);
void FatalSetPresenter(FatalPresenter presenter);

// Closes every open file; registered by the file layer so that this layer
// need not know it.
typedef void (*FatalCloseHook)(void);
void FatalSetCloseHook(FatalCloseHook hook);

// Undoes unfinished work before the user sees the fatal text: registered by
// the layer that began the work (the file layer's install transaction), so
// that this layer need not know it. It runs once, after the close hook, and
// returns 1 when it undid something; the text set by FatalSetUndoText (the
// program's own words, in the user's language) is then shown below the fatal
// text. The hook is cleared before it runs, so a fatal error inside it cannot
// loop.
typedef int (*FatalUndoHook)(void);
void FatalSetUndoHook(FatalUndoHook hook);
void FatalSetUndoText(const char* text);  // kept by pointer; at most 199 characters are shown

// Stops the work that other threads do into the calling thread's memory
// before anything is formatted, shown or closed: set on that thread by the
// layer that hands the work out (the compressed file's read-ahead decodes
// into the reader's bytes), so that no thread writes into memory that the
// fatal path gives up. It is cleared before it runs; a fatal error inside it
// goes on without it.
typedef void (*FatalStopHook)(void);
void FatalSetStopHook(FatalStopHook hook);

// Ends the process with the given exit code. The default is exit(). Test and
// fuzz harnesses may install one that longjmps back; if it returns, exit()
// follows anyway.
typedef void (*FatalTerminator)(int exitCode);
void FatalSetTerminator(FatalTerminator terminator);

// A thread that codes blocks for another may take its own fatal errors back:
// with a trap set on the calling thread, FatalMessage calls it before
// anything is formatted, shown or closed. The trap must not return (it jumps
// back into the thread's work loop); null removes it.
typedef void (*FatalTrap)(void);
void FatalSetThreadTrap(FatalTrap trap);

// The text of the last fatal message (empty before the first).
const char* FatalLastText(void);
