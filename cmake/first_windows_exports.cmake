# The system functions the shipped programs may import: each one exported by name
# by the first release of Windows 95 and by Windows NT 4, as the Win32 reference of
# that time gives them ("Windows 95: Yes; Windows NT: Requires version 3.1 or later",
# and for SHELL32 and OLE32 their 4.00 releases, which both systems ship). A function
# that only later systems have (the wide path calls, SetDllDirectoryA,
# SetDefaultDllDirectories) is looked up at run time with GetProcAddress instead, so
# that the program still loads where it is missing. Add a name here only once it has
# been looked up.
set(FIRST_WINDOWS_KERNEL32_DLL
  CloseHandle CopyFileA CreateDirectoryA CreateFileA DeleteFileA ExitProcess FindClose
  FindFirstFileA FindNextFileA FlushFileBuffers GetCommandLineA GetDiskFreeSpaceA
  GetFileAttributesA GetFileSize GetLastError GetModuleFileNameA GetModuleHandleA GetProcAddress
  GetShortPathNameA GetVersionExA GetWindowsDirectoryA MultiByteToWideChar ReadFile
  RemoveDirectoryA SetFileAttributesA WideCharToMultiByte WinExec _lclose _lcreat
  _lwrite lstrlenA)
set(FIRST_WINDOWS_USER32_DLL
  CharNextA CheckDlgButton DialogBoxParamA EnableWindow EndDialog GetDlgItem
  GetSystemMetrics GetWindowRect GetWindowTextA IsDlgButtonChecked LoadCursorA
  MessageBoxA SendDlgItemMessageA SendMessageA SetCursor SetDlgItemTextA SetFocus
  SetWindowLongA SetWindowPos SetWindowTextA ShowWindow UpdateWindow)
set(FIRST_WINDOWS_ADVAPI32_DLL
  RegCloseKey RegCreateKeyExA RegDeleteValueA RegEnumValueA RegFlushKey RegOpenKeyExA
  RegQueryValueExA RegSetValueExA)
set(FIRST_WINDOWS_SHELL32_DLL
  SHBrowseForFolderA SHGetMalloc SHGetPathFromIDListA SHGetSpecialFolderLocation)
set(FIRST_WINDOWS_OLE32_DLL
  CoCreateInstance CoInitialize CoUninitialize)
