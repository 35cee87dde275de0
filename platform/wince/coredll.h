// The device's core library, COREDLL: the operations the program calls, with
// the device's own signatures. No SDK headers: the seam's records already have
// the device's layouts, and its handles are the device's 32-bit values. The
// names are those of platform/operations.h, where on the device the shell's
// calls have no W suffix. The image imports them by the ordinals of that table:
// the import library binds each name to its ordinal.
#pragma once

#include "platform/platform.h"

namespace wince {

using platform::BOOL;
using platform::DWORD;
using platform::FARPROC;
using platform::FILETIME;
using platform::HANDLE;
using platform::HINSTANCE;
using platform::HKEY;
using platform::HMODULE;
using platform::HWND;
using platform::LONG;
using platform::OSVERSIONINFOW;
using platform::UINT;
using platform::WIN32_FIND_DATAW;

using platform::SHELLEXECUTEINFO;
static_assert(sizeof(SHELLEXECUTEINFO) == platform::ShellExecuteInfoSize, "device layout");

} // namespace wince

extern "C" {

wince::DWORD GetModuleFileNameW(wince::HINSTANCE module, char16_t* buffer, wince::DWORD size);
int LoadStringW(wince::HINSTANCE instance, wince::UINT id, char16_t* buffer, int size);
wince::HANDLE FindFirstFileW(const char16_t* pathOrPattern, wince::WIN32_FIND_DATAW* found);
wince::BOOL FindNextFileW(wince::HANDLE search, wince::WIN32_FIND_DATAW* found);
wince::BOOL FindClose(wince::HANDLE search);
wince::LONG CompareFileTime(const wince::FILETIME* first, const wince::FILETIME* second);
wince::BOOL SystemParametersInfoW(wince::UINT action, wince::UINT param, void* buffer,
                                  wince::UINT winIni);
wince::BOOL GetVersionExW(wince::OSVERSIONINFOW* info);
wince::BOOL ShellExecuteEx(wince::SHELLEXECUTEINFO* info);
wince::BOOL SHGetSpecialFolderPath(wince::HWND owner, char16_t* path, int folder,
                                   wince::BOOL create);
int MessageBoxW(wince::HWND owner, const char16_t* text, const char16_t* caption, wince::UINT type);
wince::BOOL CopyFileW(const char16_t* source, const char16_t* target, wince::BOOL failIfExists);
wince::BOOL DeleteFileW(const char16_t* path);
wince::LONG RegOpenKeyExW(wince::HKEY key, const char16_t* subKey, wince::DWORD options,
                          wince::DWORD access, wince::HKEY* opened);
wince::LONG RegDeleteKeyW(wince::HKEY key, const char16_t* subKey);
wince::LONG RegCloseKey(wince::HKEY key);
void Sleep(wince::DWORD milliseconds);
wince::HMODULE LoadLibraryW(const char16_t* name);
wince::BOOL FreeLibrary(wince::HMODULE module);
wince::FARPROC GetProcAddressW(wince::HMODULE module, const char16_t* name);

} // extern "C"
