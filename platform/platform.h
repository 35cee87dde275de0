// The platform seam: every operation the program performs on the device.
//
// Each operation keeps the name and argument order of the Windows CE core
// library call it stands for. Strings are UTF-16 (char16_t) on every backend,
// so a path holds the same 260 code units on the host as on the device.
// Exactly one backend is linked in: platform/win32/ (the real API) or
// platform/sim/ (the simulated device).
//
// Types keep their platform names. Constants are spelled in PascalCase
// because the platform's own spellings (MAX_PATH, INVALID_HANDLE_VALUE, ...)
// are macros in the Windows headers and would collide with them.
#pragma once

#include <cstdint>

namespace platform {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using HANDLE = std::uintptr_t;
using HKEY = std::uintptr_t;
using HWND = std::uintptr_t;
using HINSTANCE = std::uintptr_t;

constexpr int MaxPath = 260;
constexpr HANDLE InvalidHandleValue = ~HANDLE{0};
constexpr HKEY HkeyLocalMachine = 0x80000002u;
constexpr LONG ErrorSuccess = 0;
constexpr LONG ErrorFileNotFound = 2;
constexpr LONG ErrorAccessDenied = 5;
constexpr DWORD FileAttributeDirectory = 0x10;
constexpr DWORD FileAttributeTemporary = 0x100;
constexpr UINT SpiGetPlatformType = 257;
constexpr int CsidlPrograms = 2;
constexpr UINT MbOk = 0;
constexpr int SwShowNormal = 1;
constexpr DWORD ShellExecuteInfoSize = 60; // cbSize of the record on the device
constexpr DWORD OsVersionInfoSize = 276;   // dwOSVersionInfoSize on the device

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    char16_t cFileName[MaxPath];
};

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char16_t szCSDVersion[128];
};

struct SHELLEXECUTEINFO {
    DWORD cbSize;
    DWORD fMask;
    HWND hwnd;
    const char16_t* lpVerb;
    const char16_t* lpFile;
    const char16_t* lpParameters;
    const char16_t* lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    // Set only for the mask bits the program never uses; present so that the
    // record is whole: cbSize tells the shell it may read all of it.
    void* lpIDList;
    const char16_t* lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};

// The program's own file and resources.
DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size);
int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size);

// File search.
HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found);
BOOL FindClose(HANDLE search);
LONG CompareFileTime(const FILETIME* first, const FILETIME* second);

// Platform probe.
BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni);
BOOL GetVersionExW(OSVERSIONINFOW* info);

// Shell.
BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);
BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create);
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type);

// Files.
BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists);
BOOL DeleteFileW(const char16_t* path);

// Registry.
LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened);
LONG RegDeleteKeyW(HKEY key, const char16_t* subKey);
LONG RegCloseKey(HKEY key);

// Time.
void Sleep(DWORD milliseconds);

} // namespace platform
