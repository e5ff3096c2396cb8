// Storage of module state that every thread has a copy of: the coders'
// buffers and tables, so that blocks can be coded on several threads at once
// while each thread still codes one block at a time.
//
// GCC and Clang spell it __thread: for these plain, zero-filled arrays it is
// the same as thread_local, but a use from another file then needs no call of
// an initialisation wrapper.
#pragma once

// A build with LZX_SHARED_CODER_STATE keeps one copy for the whole process:
// the Windows build, where the compiler emulates thread-local storage with a
// call per access (the coders ran at a third of their speed) and the
// updater has one thread anyway; its tool then codes on one thread.
#if defined(LZX_SHARED_CODER_STATE)
#define LZX_PER_THREAD
enum { LzxPerThreadState = 0 };
#elif defined(__GNUC__)
#define LZX_PER_THREAD __thread
enum { LzxPerThreadState = 1 };
#else
#define LZX_PER_THREAD thread_local
enum { LzxPerThreadState = 1 };
#endif
