// Storage of module state that every thread has a copy of: the coders'
// buffers and tables, so that blocks can be coded on several threads at once
// while each thread still codes one block at a time.
//
// GCC and Clang spell it __thread: for these plain, zero-filled arrays it is
// the same as thread_local, but a use from another file then needs no call of
// an initialisation wrapper.
#pragma once

#if defined(__GNUC__)
#define LZX_PER_THREAD __thread
#else
#define LZX_PER_THREAD thread_local
#endif
