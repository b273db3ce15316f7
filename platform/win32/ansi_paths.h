// Paths the ANSI calls can open, from the wide paths the system gives. Win32 only.
#ifndef ZOPPEL_ANSI_PATHS_H
#define ZOPPEL_ANSI_PATHS_H

#include <windows.h>

// Fills `buffer` (`size` bytes) with a form of the wide path `wide` in the active
// code page that names the same file or folder: the path itself when it converts
// without loss, else its short (8.3) form when that does. False, with `buffer`
// unspecified, when neither does (no short name there, or the system has no wide
// calls).
bool AnsiFormOfPath(const WCHAR* wide, char* buffer, int size);

#endif
