// The platform operations, one row each. Everything else that lists them is
// made from this table or checked against it: the simulated device's
// operations, export table, fault plan and call records, the timeline's
// telling of each call's effect, the image runner's bindings, the device's
// import definitions, the image checks, the fuzz seeds and the manual's list
// of operations that can fail.
//
// A row: the name COREDLL exports it by, its ordinal there, the desktop DLL
// and the name it has there, how many 32-bit arguments it takes, and whether
// a fault plan can make it fail (1) or not (0: closing a search or a key,
// comparing times and pausing cannot fail; freeing a library can); then, on
// the simulated device, the error it fails with when nothing else says which
// (ERROR_<usual>), the argument a fault plan's pattern is matched against
// (none: it has none), and the event its effect is recorded as (None: it has
// no effect of its own). The order is fixed: the fuzz seeds number the
// failable operations in it.
//
// Used as AUTORUN_OPERATIONS(X), with X(name, ordinal, dll, desktopName,
// arguments, failable, usual, matched, effect).
#pragma once

// clang-format off
#define AUTORUN_OPERATIONS(X)                                                                                      \
    X(GetModuleFileNameW,     537, KERNEL32, GetModuleFileNameW,      3, 1, InvalidParameter,      none,   None)       \
    X(LoadStringW,            874, USER32,   LoadStringW,             4, 1, ResourceNameNotFound,  none,   None)       \
    X(FindFirstFileW,         167, KERNEL32, FindFirstFileW,          2, 1, FileNotFound,          path,   None)       \
    X(FindNextFileW,          181, KERNEL32, FindNextFileW,           2, 1, NoMoreFiles,           none,   None)       \
    X(FindClose,              180, KERNEL32, FindClose,               1, 0, AccessDenied,          none,   None)       \
    X(CompareFileTime,         18, KERNEL32, CompareFileTime,         2, 0, AccessDenied,          none,   None)       \
    X(SystemParametersInfoW,   89, USER32,   SystemParametersInfoW,   4, 1, InvalidParameter,      none,   None)       \
    X(GetVersionExW,          717, KERNEL32, GetVersionExW,           1, 1, InvalidParameter,      none,   None)       \
    X(ShellExecuteEx,         480, SHELL32,  ShellExecuteExW,         1, 1, FileNotFound,          file,   Launch)     \
    X(SHGetSpecialFolderPath, 295, SHELL32,  SHGetSpecialFolderPathW, 4, 1, InvalidParameter,      none,   None)       \
    X(CopyFileW,              164, KERNEL32, CopyFileW,               3, 1, AccessDenied,          target, Copy)       \
    X(DeleteFileW,            165, KERNEL32, DeleteFileW,             1, 1, AccessDenied,          path,   Delete)     \
    X(RegOpenKeyExW,          461, ADVAPI32, RegOpenKeyExW,           5, 1, AccessDenied,          key,    None)       \
    X(RegDeleteKeyW,          457, ADVAPI32, RegDeleteKeyW,           2, 1, AccessDenied,          key,    KeyDelete)  \
    X(RegCloseKey,            455, ADVAPI32, RegCloseKey,             1, 0, AccessDenied,          none,   None)       \
    X(MessageBoxW,            858, USER32,   MessageBoxW,             4, 1, AccessDenied,          text,   MessageBox) \
    X(Sleep,                  496, KERNEL32, Sleep,                   1, 0, AccessDenied,          none,   Sleep)      \
    X(LoadLibraryW,           528, KERNEL32, LoadLibraryW,            1, 1, ModNotFound,           name,   None)       \
    X(FreeLibrary,            529, KERNEL32, FreeLibrary,             1, 1, InvalidHandle,         none,   None)       \
    X(GetProcAddressW,        530, KERNEL32, GetProcAddress,          2, 1, ProcNotFound,          name,   None)
// clang-format on
