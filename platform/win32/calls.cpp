// The platform operations on desktop Windows (MinGW-w64). The seam's types keep
// the device's layouts; the records are converted field by field into the real
// ones.
#include "platform/win32/win32_api.h"

#include <cstring>

using win32::Wide;

namespace {

HINSTANCE InstanceOf(platform::HINSTANCE instance) {
    return reinterpret_cast<HINSTANCE>(instance);
}

HANDLE HandleOf(platform::HANDLE handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// INVALID_HANDLE_VALUE casts to HANDLE, which inside namespace platform would
// name the seam's type: it is compared out here.
bool IsInvalid(::HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE;
}

HMODULE ModuleOf(platform::HMODULE module) {
    return reinterpret_cast<HMODULE>(module);
}

HWND WindowOf(platform::HWND window) {
    return reinterpret_cast<HWND>(window);
}

// The seam's predefined key is the device's 32-bit value; the real one may be
// sign-extended to the width of a pointer.
HKEY KeyOf(platform::HKEY key) {
    return key == platform::HkeyLocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

::FILETIME RealTime(const platform::FILETIME* time) {
    ::FILETIME real;
    real.dwLowDateTime = time->dwLowDateTime;
    real.dwHighDateTime = time->dwHighDateTime;
    return real;
}

platform::FILETIME SeamTime(const ::FILETIME& time) {
    platform::FILETIME seam;
    seam.dwLowDateTime = time.dwLowDateTime;
    seam.dwHighDateTime = time.dwHighDateTime;
    return seam;
}

// One copy of this conversion serves both searches: the image is size-bound.
[[gnu::noinline]] void CopyFound(const ::WIN32_FIND_DATAW& real,
                                 platform::WIN32_FIND_DATAW* found) {
    found->dwFileAttributes = real.dwFileAttributes;
    found->ftCreationTime = SeamTime(real.ftCreationTime);
    found->ftLastAccessTime = SeamTime(real.ftLastAccessTime);
    found->ftLastWriteTime = SeamTime(real.ftLastWriteTime);
    found->nFileSizeHigh = real.nFileSizeHigh;
    found->nFileSizeLow = real.nFileSizeLow;
    found->dwOID = 0; // the desktop has no object store
    static_assert(sizeof found->cFileName == sizeof real.cFileName, "same name buffer");
    std::memcpy(found->cFileName, real.cFileName, sizeof found->cFileName);
}

// The desktop reports "C:\windows\autorun.exe" where the device reports
// "\Windows\autorun.exe": the drive is dropped so the program sees the path in
// the device's form. Other forms ("\\server\share", "\\?\") are left alone.
DWORD DropDrive(wchar_t* path, DWORD length) {
    bool drive = length >= 3 &&
                 ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                 path[1] == L':' && path[2] == L'\\';
    if (!drive) {
        return length;
    }
    for (DWORD i = 2; i <= length; ++i) { // the terminator too
        path[i - 2] = path[i];
    }
    return length - 2;
}

} // namespace

namespace platform {

DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size) {
    DWORD length = ::GetModuleFileNameW(InstanceOf(module), Wide(buffer), size);
    // A path cut short to the buffer is reported as such, unchanged.
    if (length > 0 && length < size) {
        length = DropDrive(Wide(buffer), length);
    }
    return length;
}

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size) {
    return ::LoadStringW(InstanceOf(instance), id, Wide(buffer), size);
}

HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found) {
    ::WIN32_FIND_DATAW real;
    ::HANDLE search = ::FindFirstFileW(Wide(pathOrPattern), &real);
    if (IsInvalid(search)) {
        return InvalidHandleValue;
    }
    CopyFound(real, found);
    return reinterpret_cast<HANDLE>(search);
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found) {
    ::WIN32_FIND_DATAW real;
    if (!::FindNextFileW(HandleOf(search), &real)) {
        return 0;
    }
    CopyFound(real, found);
    return 1;
}

BOOL FindClose(HANDLE search) {
    return ::FindClose(HandleOf(search)) ? 1 : 0;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    ::FILETIME a = RealTime(first);
    ::FILETIME b = RealTime(second);
    return ::CompareFileTime(&a, &b);
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni) {
    // Passed on as it is, so that the image imports exactly the device's
    // operations. The platform-type query (257) exists on the device only: on
    // the desktop no action has that number, the call fails, and the program
    // takes the desktop for "not a Pocket PC".
    return ::SystemParametersInfoW(action, param, buffer, winIni) ? 1 : 0;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    ::OSVERSIONINFOW real;
    std::memset(&real, 0, sizeof real);
    real.dwOSVersionInfoSize = sizeof real;
    if (!::GetVersionExW(&real)) {
        return 0;
    }
    info->dwMajorVersion = real.dwMajorVersion;
    info->dwMinorVersion = real.dwMinorVersion;
    info->dwBuildNumber = real.dwBuildNumber;
    info->dwPlatformId = real.dwPlatformId;
    static_assert(sizeof info->szCSDVersion == sizeof real.szCSDVersion, "same text buffer");
    std::memcpy(info->szCSDVersion, real.szCSDVersion, sizeof info->szCSDVersion);
    return 1;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    ::SHELLEXECUTEINFOW real;
    std::memset(&real, 0, sizeof real);
    real.cbSize = sizeof real;
    real.fMask = info->fMask;
    real.hwnd = WindowOf(info->hwnd);
    real.lpVerb = Wide(info->lpVerb);
    real.lpFile = Wide(info->lpFile);
    real.lpParameters = Wide(info->lpParameters);
    real.lpDirectory = Wide(info->lpDirectory);
    real.nShow = info->nShow;
    BOOL started = ::ShellExecuteExW(&real) ? 1 : 0;
    info->hInstApp = reinterpret_cast<HINSTANCE>(real.hInstApp);
    return started;
}

BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create) {
    return ::SHGetSpecialFolderPathW(WindowOf(owner), Wide(path), folder, create) ? 1 : 0;
}

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    return ::MessageBoxW(WindowOf(owner), Wide(text), Wide(caption), type);
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists) {
    return ::CopyFileW(Wide(source), Wide(target), failIfExists) ? 1 : 0;
}

BOOL DeleteFileW(const char16_t* path) {
    return ::DeleteFileW(Wide(path)) ? 1 : 0;
}

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened) {
    ::HKEY real = nullptr;
    LONG result = ::RegOpenKeyExW(KeyOf(key), Wide(subKey), options, access, &real);
    if (result == ERROR_SUCCESS) {
        *opened = reinterpret_cast<HKEY>(real);
    }
    return result;
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    return ::RegDeleteKeyW(KeyOf(key), Wide(subKey));
}

LONG RegCloseKey(HKEY key) {
    return ::RegCloseKey(KeyOf(key));
}

void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

HMODULE LoadLibraryW(const char16_t* name) {
    return reinterpret_cast<HMODULE>(::LoadLibraryW(Wide(name)));
}

BOOL FreeLibrary(HMODULE module) {
    return ::FreeLibrary(ModuleOf(module)) ? 1 : 0;
}

FARPROC GetProcAddressW(HMODULE module, const char16_t* name) {
    // The desktop's GetProcAddress takes the name in the ANSI code page, and
    // export names are ASCII: a name that is not, or is longer than any
    // export's, names nothing.
    char narrow[256];
    for (unsigned i = 0;; ++i) {
        if (i == sizeof narrow || name[i] > 0x7F) {
            return nullptr;
        }
        narrow[i] = static_cast<char>(name[i]);
        if (name[i] == 0) {
            break;
        }
    }
    return reinterpret_cast<FARPROC>(::GetProcAddress(ModuleOf(module), narrow));
}

} // namespace platform
