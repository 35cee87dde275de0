// The platform operations on the device: each passes its arguments straight
// on to COREDLL, whose signatures and records the seam already has. Each
// compiles to a single branch into COREDLL, which returns to the program.
#include "platform/wince/coredll.h"

namespace platform {

DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size) {
    return ::GetModuleFileNameW(module, buffer, size);
}

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size) {
    return ::LoadStringW(instance, id, buffer, size);
}

HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found) {
    return ::FindFirstFileW(pathOrPattern, found);
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found) {
    return ::FindNextFileW(search, found);
}

BOOL FindClose(HANDLE search) {
    return ::FindClose(search);
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    return ::CompareFileTime(first, second);
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni) {
    return ::SystemParametersInfoW(action, param, buffer, winIni);
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    return ::GetVersionExW(info);
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    return ::ShellExecuteEx(info);
}

BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create) {
    return ::SHGetSpecialFolderPath(owner, path, folder, create);
}

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    return ::MessageBoxW(owner, text, caption, type);
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists) {
    return ::CopyFileW(source, target, failIfExists);
}

BOOL DeleteFileW(const char16_t* path) {
    return ::DeleteFileW(path);
}

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened) {
    return ::RegOpenKeyExW(key, subKey, options, access, opened);
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    return ::RegDeleteKeyW(key, subKey);
}

LONG RegCloseKey(HKEY key) {
    return ::RegCloseKey(key);
}

void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

HMODULE LoadLibraryW(const char16_t* name) {
    return ::LoadLibraryW(name);
}

BOOL FreeLibrary(HMODULE module) {
    return ::FreeLibrary(module);
}

FARPROC GetProcAddressW(HMODULE module, const char16_t* name) {
    return ::GetProcAddressW(module, name);
}

} // namespace platform
