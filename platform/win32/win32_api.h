// The real Windows headers for this backend, with the names that would
// collide with the platform seam's taken back.
//
// The Windows headers spell ShellExecuteEx, SHELLEXECUTEINFO and
// SHGetSpecialFolderPath as macros that pick the A or W variant; the seam
// declares functions and types of those names in namespace platform, so the
// macros are undefined here, after the headers and before the seam. The
// backend calls the W variants by their full names.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#undef ShellExecuteEx
#undef SHELLEXECUTEINFO
#undef LPSHELLEXECUTEINFO
#undef SHGetSpecialFolderPath

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

namespace win32 {

inline wchar_t* Wide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
inline const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

} // namespace win32
