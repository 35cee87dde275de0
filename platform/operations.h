// The platform operations, one row each. Everything else that lists them is
// made from this table or checked against it: the simulated device's
// operations and export table, the image runner's bindings, the device's
// import definitions, the image checks, the fuzz seeds and the README's
// fault table.
//
// A row: the name COREDLL exports it by, its ordinal there, the desktop DLL
// and the name it has there, how many 32-bit arguments it takes, and whether
// a fault plan can make it fail (1) or not (0: closing a handle, comparing
// times and pausing cannot fail). The order is fixed: the fuzz seeds number
// the failable operations in it.
//
// Used as AUTORUN_OPERATIONS(X), with X(name, ordinal, dll, desktopName,
// arguments, failable).
#pragma once

// clang-format off
#define AUTORUN_OPERATIONS(X)                                                   \
    X(GetModuleFileNameW,     537, KERNEL32, GetModuleFileNameW,      3, 1)     \
    X(LoadStringW,            874, USER32,   LoadStringW,             4, 1)     \
    X(FindFirstFileW,         167, KERNEL32, FindFirstFileW,          2, 1)     \
    X(FindNextFileW,          181, KERNEL32, FindNextFileW,           2, 1)     \
    X(FindClose,              180, KERNEL32, FindClose,               1, 0)     \
    X(CompareFileTime,         18, KERNEL32, CompareFileTime,         2, 0)     \
    X(SystemParametersInfoW,   89, USER32,   SystemParametersInfoW,   4, 1)     \
    X(GetVersionExW,          717, KERNEL32, GetVersionExW,           1, 1)     \
    X(ShellExecuteEx,         480, SHELL32,  ShellExecuteExW,         1, 1)     \
    X(SHGetSpecialFolderPath, 295, SHELL32,  SHGetSpecialFolderPathW, 4, 1)     \
    X(CopyFileW,              164, KERNEL32, CopyFileW,               3, 1)     \
    X(DeleteFileW,            165, KERNEL32, DeleteFileW,             1, 1)     \
    X(RegOpenKeyExW,          461, ADVAPI32, RegOpenKeyExW,           5, 1)     \
    X(RegDeleteKeyW,          457, ADVAPI32, RegDeleteKeyW,           2, 1)     \
    X(RegCloseKey,            455, ADVAPI32, RegCloseKey,             1, 0)     \
    X(MessageBoxW,            858, USER32,   MessageBoxW,             4, 1)     \
    X(Sleep,                  496, KERNEL32, Sleep,                   1, 0)
// clang-format on
