// The look-up of one path that the first Windows 95, which lacks GetFileAttributesExA,
// makes: a listing of the name itself. LookUpPath takes it there; the end-to-end
// driver compares it with the look-up of later systems. Win32 only.
#ifndef ZOPPEL_LOOK_UP_H
#define ZOPPEL_LOOK_UP_H

#include "../platform.h"

// As LookUpPath, from FindFirstFileA: a path with a wildcard is refused
// (ERROR_INVALID_NAME), and "no more files" is given as kErrFileNotFound.
SysError LookUpByListing(const char* path, PathFacts* facts);

#endif
