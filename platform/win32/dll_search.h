// Where a shipped program loads DLLs from. Win32 only.
#ifndef ZOPPEL_DLL_SEARCH_H
#define ZOPPEL_DLL_SEARCH_H

// Keeps a DLL planted beside the program (a download folder) or in the current
// folder from being loaded later: call it first, before anything loads a DLL. The
// DLLs the program imports are loaded by the system before that point; they are all
// known system DLLs.
void LoadLibrariesFromSystemOnly();

#endif
