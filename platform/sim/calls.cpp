// The platform operations on the simulated device. Each mirrors what the real
// call does for the arguments the program passes, fails on every call when
// the device's faults name it, and records its effects as events.
#include "autorun/constants.h"
#include "platform/platform.h"
#include "platform/sim/device.h"

#include <cstring>

using sim::Device;
using sim::Value;

namespace {

Device& Dev() {
    return *Device::Current();
}

// Reads a path argument. One without a terminator within MaxPath units is a
// misuse of the platform: it is recorded and the call fails.
bool ReadPath(const char16_t* path, const char* operation, std::u16string& out) {
    if (path == nullptr) {
        Dev().Violation(std::string(operation) + ": null path");
        return false;
    }
    for (int n = 0; n < platform::MaxPath; ++n) {
        if (path[n] == 0) {
            out.assign(path, n);
            return true;
        }
    }
    Dev().Violation(std::string(operation) + ": path without a terminator within 260 units");
    return false;
}

// Reads a command line, which has no length limit of its own.
std::u16string ReadText(const char16_t* text) {
    std::u16string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += *text;
    }
    return out;
}

void CopyOut(const std::u16string& text, char16_t* buffer, std::size_t units) {
    std::memcpy(buffer, text.data(), units * sizeof(char16_t));
}

void Fill(platform::WIN32_FIND_DATAW* found, const sim::Entry& entry) {
    std::memset(found, 0, sizeof *found);
    found->dwFileAttributes = entry.attributes;
    platform::FILETIME time = {static_cast<platform::DWORD>(entry.time),
                               static_cast<platform::DWORD>(entry.time >> 32)};
    found->ftCreationTime = found->ftLastAccessTime = found->ftLastWriteTime = time;
    // A name of MaxPath units or more, which no real volume delivers, fills
    // the array without a terminator: the program must not count on one.
    std::u16string name = sim::NameOf(entry.path);
    if (name.size() < static_cast<std::size_t>(platform::MaxPath)) {
        CopyOut(name, found->cFileName, name.size());
        found->cFileName[name.size()] = 0;
    } else {
        CopyOut(name, found->cFileName, platform::MaxPath);
    }
}

bool HasExtension(const std::u16string& path, const char16_t* extension) {
    std::u16string ext(extension);
    return path.size() > ext.size() && sim::SameName(path.substr(path.size() - ext.size()), ext);
}

} // namespace

namespace platform {

DWORD GetModuleFileNameW(HINSTANCE, char16_t* buffer, DWORD size) {
    if (Dev().Fails("GetModuleFileNameW") || size == 0) {
        return 0;
    }
    const std::u16string& own = Dev().OwnPath();
    // As on the platform: a path that does not fit is cut short and the full
    // buffer size is returned.
    std::size_t units = own.size() < size ? own.size() : size - 1;
    CopyOut(own, buffer, units);
    buffer[units] = 0;
    return own.size() < size ? static_cast<DWORD>(own.size()) : size;
}

int LoadStringW(HINSTANCE, UINT id, char16_t* buffer, int size) {
    if (Dev().Fails("LoadStringW") || size <= 0 || id != TitleStringId) {
        return 0;
    }
    const std::u16string& title = Dev().title;
    std::size_t units = title.size() < static_cast<std::size_t>(size) ? title.size() : size - 1;
    CopyOut(title, buffer, units);
    buffer[units] = 0;
    return static_cast<int>(units);
}

HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found) {
    Device& device = Dev();
    std::u16string path;
    if (device.Fails("FindFirstFileW") || !ReadPath(pathOrPattern, "FindFirstFileW", path) ||
        path.empty() || path[0] != u'\\') {
        return InvalidHandleValue;
    }
    std::u16string folder = sim::ParentOf(path);
    std::u16string name = sim::NameOf(path);
    if (name.empty() || !device.IsFolder(folder)) {
        return InvalidHandleValue;
    }
    Device::Search search;
    if (name.find_first_of(u"*?") != std::u16string::npos) {
        for (const sim::Entry* entry : device.Children(folder)) {
            if (sim::MatchesPattern(sim::NameOf(entry->path), name)) {
                search.matches.push_back(*entry);
            }
        }
    } else if (const sim::Entry* entry = device.FindEntry(path)) {
        search.matches.push_back(*entry);
    }
    if (search.matches.empty()) {
        return InvalidHandleValue;
    }
    Fill(found, search.matches[0]);
    search.next = 1;
    HANDLE handle = device.nextHandle++;
    device.searches[handle] = search;
    return handle;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* found) {
    Device& device = Dev();
    if (device.Fails("FindNextFileW")) {
        return 0;
    }
    auto search = device.searches.find(handle);
    if (search == device.searches.end()) {
        device.Violation("FindNextFileW: not an open search");
        return 0;
    }
    if (search->second.next >= search->second.matches.size()) {
        return 0;
    }
    Fill(found, search->second.matches[search->second.next++]);
    return 1;
}

BOOL FindClose(HANDLE handle) {
    if (Dev().searches.erase(handle) == 0) {
        Dev().Violation("FindClose: not an open search");
        return 0;
    }
    return 1;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    sim::Ticks a = sim::TicksOf(*first);
    sim::Ticks b = sim::TicksOf(*second);
    return a < b ? -1 : a > b ? 1 : 0;
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT) {
    Device& device = Dev();
    if (device.Fails("SystemParametersInfoW") || action != SpiGetPlatformType) {
        return 0;
    }
    const std::u16string& type = device.platformType;
    if ((type.size() + 1) * sizeof(char16_t) > param) {
        return 0;
    }
    char16_t* out = static_cast<char16_t*>(buffer);
    CopyOut(type, out, type.size());
    out[type.size()] = 0;
    return 1;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    Device& device = Dev();
    if (device.Fails("GetVersionExW")) {
        return 0;
    }
    if (info->dwOSVersionInfoSize != OsVersionInfoSize) {
        device.Violation("GetVersionExW: wrong record size");
        return 0;
    }
    info->dwMajorVersion = device.osMajor;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = 3; // VER_PLATFORM_WIN32_CE
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return 1;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    Device& device = Dev();
    if (info->cbSize != ShellExecuteInfoSize) {
        device.Violation("ShellExecuteEx: wrong record size");
    }
    std::u16string file;
    bool readable = ReadPath(info->lpFile, "ShellExecuteEx", file);
    std::u16string args = ReadText(info->lpParameters);
    bool ok = !device.Fails("ShellExecuteEx") && readable;
    if (ok) {
        // The shell starts programs and hands packages to the cabinet
        // installer; anything else has no handler here.
        const sim::Entry* entry = device.FindEntry(file);
        ok = entry != nullptr && (entry->attributes & sim::AttrDirectory) == 0 &&
             (HasExtension(file, u".exe") || HasExtension(file, u".cab"));
    }
    device.Emit("launch", {{"file", sim::TextValue(file)},
                           {"args", sim::TextValue(args)},
                           {"ok", sim::FlagValue(ok)}});
    if (ok) {
        device.StartShellProgram(file, args);
    }
    return ok ? 1 : 0;
}

BOOL SHGetSpecialFolderPath(HWND, char16_t* path, int folder, BOOL create) {
    Device& device = Dev();
    if (device.Fails("SHGetSpecialFolderPath") || folder != CsidlPrograms) {
        return 0;
    }
    std::u16string programs = sim::ProgramsFolder;
    if (!device.IsFolder(programs)) {
        if (!create) {
            return 0;
        }
        device.AddEntry({programs, sim::AttrDirectory, device.Now()});
    }
    CopyOut(programs, path, programs.size());
    path[programs.size()] = 0;
    return 1;
}

int MessageBoxW(HWND, const char16_t* text, const char16_t* caption, UINT) {
    Device& device = Dev();
    if (device.Fails("MessageBoxW")) {
        return 0;
    }
    device.Emit("message-box", {{"text", sim::TextValue(ReadText(text))},
                                {"caption", sim::TextValue(ReadText(caption))}});
    return 1; // IDOK: the box is dismissed at once
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists) {
    Device& device = Dev();
    std::u16string from;
    std::u16string to;
    bool sourceReadable = ReadPath(source, "CopyFileW", from);
    bool readable = ReadPath(target, "CopyFileW", to) && sourceReadable;
    bool ok = !device.Fails("CopyFileW") && readable;
    if (ok) {
        const sim::Entry* original = device.FindEntry(from);
        const sim::Entry* existing = device.FindEntry(to);
        ok = original != nullptr && (original->attributes & sim::AttrDirectory) == 0 &&
             !to.empty() && to[0] == u'\\' && device.IsFolder(sim::ParentOf(to)) &&
             !sim::SameName(from, to) &&
             (existing == nullptr ||
              (!failIfExists &&
               (existing->attributes & (sim::AttrDirectory | sim::AttrReadOnly)) == 0));
        if (ok) {
            // A copy keeps the original's attributes and last-write time.
            sim::Entry copy = *original;
            copy.path = existing != nullptr ? existing->path : to;
            device.AddEntry(copy);
        }
    }
    device.Emit(
        "copy",
        {{"from", sim::TextValue(from)}, {"to", sim::TextValue(to)}, {"ok", sim::FlagValue(ok)}});
    return ok ? 1 : 0;
}

BOOL DeleteFileW(const char16_t* path) {
    Device& device = Dev();
    std::u16string name;
    // The path is read even when the call is to fail, so the event names it.
    bool readable = ReadPath(path, "DeleteFileW", name);
    bool ok = !device.Fails("DeleteFileW") && readable;
    if (ok) {
        // The running program's own file is in use and cannot be deleted.
        const sim::Entry* entry = device.FindEntry(name);
        ok = entry != nullptr &&
             (entry->attributes & (sim::AttrDirectory | sim::AttrReadOnly)) == 0 &&
             !sim::SameName(name, device.OwnPath());
        if (ok) {
            device.RemoveTree(name);
        }
    }
    device.Emit("delete", {{"path", sim::TextValue(name)}, {"ok", sim::FlagValue(ok)}});
    return ok ? 1 : 0;
}

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD, DWORD, HKEY* opened) {
    Device& device = Dev();
    std::u16string name;
    if (device.Fails("RegOpenKeyExW")) {
        return ErrorAccessDenied;
    }
    if (key != HkeyLocalMachine || !ReadPath(subKey, "RegOpenKeyExW", name)) {
        return 87; // ERROR_INVALID_PARAMETER
    }
    if (!device.HasKey(name)) {
        return ErrorFileNotFound;
    }
    HKEY handle = device.nextHandle++;
    device.openKeys[handle] = name;
    *opened = handle;
    return ErrorSuccess;
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    Device& device = Dev();
    auto open = device.openKeys.find(key);
    std::u16string name;
    if (open == device.openKeys.end()) {
        device.Violation("RegDeleteKeyW: not an open key");
        return 6; // ERROR_INVALID_HANDLE
    }
    if (!ReadPath(subKey, "RegDeleteKeyW", name)) {
        return 87;
    }
    std::u16string full = open->second + u"\\" + name;
    int attempt = ++device.keyDeleteAttempts[sim::Fold(full)];
    LONG result = ErrorSuccess;
    if (device.Fails("RegDeleteKeyW")) {
        result = ErrorAccessDenied;
    } else if (sim::SameName(full, std::u16string(sim::AppsKeyPath) + u"\\" + AppName) &&
               device.appKeyDeleteFailures > 0) {
        --device.appKeyDeleteFailures;
        result = ErrorAccessDenied;
    } else if (device.KeyHeld(full)) {
        result = ErrorAccessDenied;
    } else if (!device.RemoveKeyTree(full)) {
        result = ErrorFileNotFound;
    }
    device.Emit("key-delete", {{"key", sim::TextValue(u"HKEY_LOCAL_MACHINE\\" + full)},
                               {"attempt", sim::NumberValue(attempt)},
                               {"result", sim::NumberValue(result)}});
    return result;
}

LONG RegCloseKey(HKEY key) {
    if (Dev().openKeys.erase(key) == 0) {
        Dev().Violation("RegCloseKey: not an open key");
        return 6;
    }
    return ErrorSuccess;
}

void Sleep(DWORD milliseconds) {
    Dev().Emit("sleep", {{"ms", sim::NumberValue(milliseconds)}});
    Dev().Advance(milliseconds);
}

} // namespace platform
