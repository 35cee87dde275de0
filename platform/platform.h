// The platform seam: every operation the program performs on the device.
//
// Each operation keeps the name and argument order of the Windows CE core
// library call it stands for. Strings are UTF-16 (char16_t) on every backend,
// so a path holds the same 260 code units on the host as on the device.
// Exactly one backend is linked in: platform/wince/ (the device),
// platform/win32/ (desktop Windows) or platform/sim/ (the simulated device).
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
using HMODULE = std::uintptr_t;
using HRESULT = std::int32_t;

// The calling convention of what a library exports, as a program calls it
// through the address GetProcAddressW gives: the platform's own, which is
// stdcall on 32-bit x86 Windows; ARM and x86-64 have only one.
#if defined(_WIN32) && defined(__i386__)
#define PLATFORM_EXPORT_CALL __attribute__((stdcall))
#else
#define PLATFORM_EXPORT_CALL
#endif

// An export's address, to be converted to the export's own type before it is
// called.
using FARPROC = void(PLATFORM_EXPORT_CALL*)();
// aygshell.dll's DMProcessConfigXML: the Configuration Manager processes a
// provisioning document, and hands back a document it allocated.
using DMProcessConfigXMLProc = HRESULT(PLATFORM_EXPORT_CALL*)(const char16_t* document, DWORD flags,
                                                              char16_t** output);

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
constexpr HRESULT SOk = 0;
constexpr DWORD CfgflagProcess = 1; // DMProcessConfigXML: carry the document out

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

// Each operation's contract, as the program relies on it, is the line above it.
// A path argument is terminated within MaxPath units.

// The program's own file and resources.
// Full path of the running program (module 0); its length, or size when it did not fit.
DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size);
// Text of string resource id, cut to size - 1 units and terminated; its length, 0 for none.
int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size);

// File search.
// First match of a path or * ? pattern, or InvalidHandleValue; a name of 260+ units: no terminator.
HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found);
// The search's next entry, delivered as FindFirstFileW delivers; 0 when none is left.
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found);
// Ends a search that FindFirstFileW opened.
BOOL FindClose(HANDLE search);
// Greater than 0 when first is later than second, 0 when they are equal, less when earlier.
LONG CompareFileTime(const FILETIME* first, const FILETIME* second);

// Platform probe.
// With SpiGetPlatformType: the platform-type text, terminated; 0 where no such action exists.
BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni);
// With dwOSVersionInfoSize set to OsVersionInfoSize: the version numbers; 0 when it fails.
BOOL GetVersionExW(OSVERSIONINFOW* info);

// Shell.
// Starts a program, or opens a document (.cab: the cabinet installer); no wait; 0 when it fails.
BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);
// The special folder's path (MaxPath units), made first when create is set; 0 when it fails.
BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create);
// A modal box; returns when it is dismissed, 0 when it cannot be shown.
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type);

// Files.
// A byte copy of source at target, replacing a file there unless failIfExists; 0 when it fails.
BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists);
// Removes a file; 0 for none, a folder, a read-only file or a file in use.
BOOL DeleteFileW(const char16_t* path);

// Registry.
// Opens an existing key: ErrorSuccess with *opened set, else an error code, *opened untouched.
LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened);
// Deletes an open key's subkey: ErrorSuccess, ErrorFileNotFound, or ErrorAccessDenied while held.
LONG RegDeleteKeyW(HKEY key, const char16_t* subKey);
// Releases a key that RegOpenKeyExW opened.
LONG RegCloseKey(HKEY key);

// Time.
// Pauses the calling thread for that many milliseconds.
void Sleep(DWORD milliseconds);

// Libraries.
// Loads the library of that name, or takes another use of it; its handle, or 0 when it fails.
HMODULE LoadLibraryW(const char16_t* name);
// Gives back one use of a library LoadLibraryW loaded; 0 when it fails.
BOOL FreeLibrary(HMODULE module);
// The address of what the library exports by that name, or null when it exports nothing so named.
FARPROC GetProcAddressW(HMODULE module, const char16_t* name);

} // namespace platform
