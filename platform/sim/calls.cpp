// The platform operations on the simulated device. Each mirrors what the real
// call does for the arguments it is given, fails on every call when the
// device's faults name it, records its effects as events, and, when the
// device traces, records itself with its arguments and result.
#include "platform/platform.h"
#include "device/device.h"

#include <cstring>

using sim::Device;
using sim::FlagValue;
using sim::NullValue;
using sim::NumberValue;
using sim::Op;
using sim::TextValue;

namespace {

Device& Dev() {
    return *Device::Current();
}

// Reads a path argument. One without a terminator within MaxPath units is a
// misuse of the platform: it is recorded and the call fails.
bool ReadPath(const char16_t* path, Op op, std::u16string& out) {
    if (path == nullptr) {
        Dev().Violation(std::string(sim::NameOf(op)) + ": null path");
        return false;
    }
    for (int n = 0; n < platform::MaxPath; ++n) {
        if (path[n] == 0) {
            out.assign(path, n);
            return true;
        }
    }
    Dev().Violation(std::string(sim::NameOf(op)) + ": path without a terminator within 260 units");
    return false;
}

// Reads a text that has no length limit of its own (a command line).
std::u16string ReadText(const char16_t* text) {
    std::u16string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += *text;
    }
    return out;
}

// A pointer argument as the trace shows it: null, or the text it points to.
sim::Value TextOrNull(const char16_t* text) {
    return text == nullptr ? NullValue() : TextValue(ReadText(text));
}

// Text that came back in a buffer of `units`, with or without a terminator.
std::u16string Returned(const char16_t* buffer, std::size_t units) {
    std::size_t n = 0;
    while (n < units && buffer[n] != 0) {
        ++n;
    }
    return std::u16string(buffer, n);
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
    const std::size_t size = entry.content ? entry.content->size() : 0;
    found->nFileSizeLow = static_cast<platform::DWORD>(size);
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

// What a search delivered, for the trace.
void AddDelivered(sim::Fields& fields, const platform::WIN32_FIND_DATAW* found) {
    fields.push_back({"name", TextValue(Returned(found->cFileName, platform::MaxPath))});
    fields.push_back({"attributes", NumberValue(found->dwFileAttributes)});
    fields.push_back(
        {"time", NumberValue(static_cast<long long>(sim::TicksOf(found->ftLastWriteTime)))});
}

sim::Value HandleValue(platform::HANDLE handle) {
    return NumberValue(handle == platform::InvalidHandleValue ? -1
                                                              : static_cast<long long>(handle));
}

// The running program names itself by its instance handle, or by none.
bool IsOwnModule(platform::HINSTANCE module, bool noneToo) {
    return module == Dev().Running().instance || (noneToo && module == 0);
}

} // namespace

namespace platform {

DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size) {
    Device& device = Dev();
    DWORD length = 0;
    if (!device.Fails(Op::GetModuleFileNameW) && size != 0) {
        if (!IsOwnModule(module, true)) {
            device.Violation("GetModuleFileNameW: a module that is not the program's");
        }
        const std::u16string& own = device.Running().path;
        // As on the platform: a path that does not fit is cut short and the
        // full buffer size is returned.
        std::size_t units = own.size() < size ? own.size() : size - 1;
        CopyOut(own, buffer, units);
        buffer[units] = 0;
        length = own.size() < size ? static_cast<DWORD>(own.size()) : size;
    }
    if (device.Tracing()) {
        device.Trace(Op::GetModuleFileNameW,
                     {{"size", NumberValue(size)},
                      {"result", NumberValue(length)},
                      {"path", length != 0 ? TextValue(Returned(buffer, size)) : NullValue()}});
    }
    return length;
}

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size) {
    Device& device = Dev();
    int length = 0;
    if (!device.Fails(Op::LoadStringW) && size > 0) {
        if (!IsOwnModule(instance, false)) {
            device.Violation("LoadStringW: an instance that is not the program's");
        }
        std::u16string text;
        const auto& loadString = device.Running().loadString;
        if (loadString && loadString(id, text) && !text.empty()) {
            std::size_t units =
                text.size() < static_cast<std::size_t>(size) ? text.size() : size - 1;
            CopyOut(text, buffer, units);
            buffer[units] = 0;
            length = static_cast<int>(units);
        }
    }
    if (device.Tracing()) {
        device.Trace(Op::LoadStringW,
                     {{"id", NumberValue(id)},
                      {"size", NumberValue(size)},
                      {"result", NumberValue(length)},
                      {"text", length > 0 ? TextValue(Returned(buffer, size)) : NullValue()}});
    }
    return length;
}

static HANDLE FindFirst(Device& device, const std::u16string& path, WIN32_FIND_DATAW* found) {
    if (path.empty() || path[0] != u'\\') {
        return InvalidHandleValue;
    }
    const std::u16string folder = sim::ParentOf(path);
    const std::u16string name = sim::NameOf(path);
    if (name.empty() || !device.files.IsFolder(folder)) {
        return InvalidHandleValue;
    }
    Device::Search search;
    if (name.find_first_of(u"*?") != std::u16string::npos) {
        for (const sim::Entry* entry : device.files.Children(folder)) {
            if (sim::MatchesPattern(sim::NameOf(entry->path), name)) {
                search.matches.push_back(*entry);
            }
        }
    } else if (const sim::Entry* entry = device.files.Find(path)) {
        search.matches.push_back(*entry);
    }
    if (search.matches.empty()) {
        return InvalidHandleValue;
    }
    Fill(found, search.matches[0]);
    search.next = 1;
    HANDLE handle = device.nextHandle++;
    device.searches[handle] = std::move(search);
    return handle;
}

HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found) {
    Device& device = Dev();
    std::u16string path;
    const bool readable = ReadPath(pathOrPattern, Op::FindFirstFileW, path);
    HANDLE handle = InvalidHandleValue;
    if (!device.Fails(Op::FindFirstFileW) && readable) {
        handle = FindFirst(device, path, found);
    }
    if (device.Tracing()) {
        sim::Fields fields = {{"path", readable ? TextValue(path) : NullValue()},
                              {"result", HandleValue(handle)}};
        if (handle != InvalidHandleValue) {
            AddDelivered(fields, found);
        }
        device.Trace(Op::FindFirstFileW, std::move(fields));
    }
    return handle;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* found) {
    Device& device = Dev();
    BOOL result = 0;
    if (!device.Fails(Op::FindNextFileW)) {
        auto search = device.searches.find(handle);
        if (search == device.searches.end()) {
            device.Violation("FindNextFileW: not an open search");
        } else if (search->second.next < search->second.matches.size()) {
            Fill(found, search->second.matches[search->second.next++]);
            result = 1;
        }
    }
    if (device.Tracing()) {
        sim::Fields fields = {{"handle", HandleValue(handle)}, {"result", NumberValue(result)}};
        if (result) {
            AddDelivered(fields, found);
        }
        device.Trace(Op::FindNextFileW, std::move(fields));
    }
    return result;
}

BOOL FindClose(HANDLE handle) {
    Device& device = Dev();
    device.Fails(Op::FindClose);
    const BOOL result = device.searches.erase(handle) != 0 ? 1 : 0;
    if (!result) {
        device.Violation("FindClose: not an open search");
    }
    if (device.Tracing()) {
        device.Trace(Op::FindClose,
                     {{"handle", HandleValue(handle)}, {"result", NumberValue(result)}});
    }
    return result;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    Device& device = Dev();
    device.Fails(Op::CompareFileTime);
    const sim::Ticks a = sim::TicksOf(*first);
    const sim::Ticks b = sim::TicksOf(*second);
    const LONG result = a < b ? -1 : a > b ? 1 : 0;
    if (device.Tracing()) {
        device.Trace(Op::CompareFileTime, {{"first", NumberValue(static_cast<long long>(a))},
                                           {"second", NumberValue(static_cast<long long>(b))},
                                           {"result", NumberValue(result)}});
    }
    return result;
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni) {
    Device& device = Dev();
    BOOL result = 0;
    const std::u16string& type = device.platformType;
    if (!device.Fails(Op::SystemParametersInfoW) && action == SpiGetPlatformType &&
        (type.size() + 1) * sizeof(char16_t) <= param) {
        char16_t* out = static_cast<char16_t*>(buffer);
        CopyOut(type, out, type.size());
        out[type.size()] = 0;
        result = 1;
    }
    if (device.Tracing()) {
        device.Trace(Op::SystemParametersInfoW, {{"action", NumberValue(action)},
                                                 {"param", NumberValue(param)},
                                                 {"winIni", NumberValue(winIni)},
                                                 {"result", NumberValue(result)},
                                                 {"text", result ? TextValue(type) : NullValue()}});
    }
    return result;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    Device& device = Dev();
    BOOL result = 0;
    const DWORD size = info->dwOSVersionInfoSize;
    if (!device.Fails(Op::GetVersionExW)) {
        if (size != OsVersionInfoSize) {
            device.Violation("GetVersionExW: wrong record size");
        } else {
            info->dwMajorVersion = device.osMajor;
            info->dwMinorVersion = 0;
            info->dwBuildNumber = 0;
            info->dwPlatformId = 3; // VER_PLATFORM_WIN32_CE
            std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
            result = 1;
        }
    }
    if (device.Tracing()) {
        device.Trace(Op::GetVersionExW,
                     {{"size", NumberValue(size)},
                      {"result", NumberValue(result)},
                      {"major", result ? NumberValue(info->dwMajorVersion) : NullValue()}});
    }
    return result;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    Device& device = Dev();
    if (info->cbSize != ShellExecuteInfoSize) {
        device.Violation("ShellExecuteEx: wrong record size");
    }
    std::u16string file;
    const bool readable = ReadPath(info->lpFile, Op::ShellExecuteEx, file);
    const std::u16string args = ReadText(info->lpParameters);
    bool ok = !device.Fails(Op::ShellExecuteEx) && readable;
    if (ok) {
        // The shell starts programs and hands packages to the cabinet
        // installer; anything else has no handler here.
        ok = sim::IsFile(device.files.Find(file)) &&
             (sim::HasExtension(file, u".exe") || sim::HasExtension(file, u".cab"));
    }
    if (device.Tracing()) {
        device.Trace(Op::ShellExecuteEx, {{"cbSize", NumberValue(info->cbSize)},
                                          {"fMask", NumberValue(info->fMask)},
                                          {"hwnd", NumberValue(static_cast<long long>(info->hwnd))},
                                          {"verb", TextOrNull(info->lpVerb)},
                                          {"file", readable ? TextValue(file) : NullValue()},
                                          {"parameters", TextOrNull(info->lpParameters)},
                                          {"directory", TextOrNull(info->lpDirectory)},
                                          {"nShow", NumberValue(info->nShow)},
                                          {"result", NumberValue(ok ? 1 : 0)}});
    }
    device.Emit(sim::EventKind::Launch,
                {{"file", TextValue(file)}, {"args", TextValue(args)}, {"ok", FlagValue(ok)}});
    if (ok) {
        device.StartShellProgram(file, args);
    }
    return ok ? 1 : 0;
}

BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create) {
    Device& device = Dev();
    BOOL result = 0;
    const std::u16string programs = sim::ProgramsFolder;
    if (!device.Fails(Op::SHGetSpecialFolderPath) && folder == CsidlPrograms &&
        (device.files.IsFolder(programs) || create)) {
        if (!device.files.IsFolder(programs)) {
            device.files.Add({programs, sim::AttrDirectory, device.Now()});
        }
        CopyOut(programs, path, programs.size());
        path[programs.size()] = 0;
        result = 1;
    }
    if (device.Tracing()) {
        device.Trace(Op::SHGetSpecialFolderPath,
                     {{"owner", NumberValue(static_cast<long long>(owner))},
                      {"folder", NumberValue(folder)},
                      {"create", NumberValue(create)},
                      {"result", NumberValue(result)},
                      {"path", result ? TextValue(programs) : NullValue()}});
    }
    return result;
}

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    Device& device = Dev();
    const int result = device.Fails(Op::MessageBoxW) ? 0 : 1; // IDOK: dismissed at once
    if (device.Tracing()) {
        device.Trace(Op::MessageBoxW, {{"owner", NumberValue(static_cast<long long>(owner))},
                                       {"text", TextOrNull(text)},
                                       {"caption", TextOrNull(caption)},
                                       {"type", NumberValue(type)},
                                       {"result", NumberValue(result)}});
    }
    if (result != 0) {
        device.Emit(sim::EventKind::MessageBox, {{"text", TextValue(ReadText(text))},
                                                 {"caption", TextValue(ReadText(caption))}});
    }
    return result;
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists) {
    Device& device = Dev();
    std::u16string from;
    std::u16string to;
    const bool sourceReadable = ReadPath(source, Op::CopyFileW, from);
    const bool readable = ReadPath(target, Op::CopyFileW, to) && sourceReadable;
    bool ok = !device.Fails(Op::CopyFileW) && readable;
    if (ok) {
        const sim::Entry* original = device.files.Find(from);
        const sim::Entry* existing = device.files.Find(to);
        ok = sim::IsFile(original) && !to.empty() && to[0] == u'\\' &&
             device.files.IsFolder(sim::ParentOf(to)) && !sim::SameName(from, to) &&
             (existing == nullptr ||
              (!failIfExists &&
               (existing->attributes & (sim::AttrDirectory | sim::AttrReadOnly)) == 0));
        if (ok) {
            // A copy keeps the original's attributes, last-write time and
            // content.
            sim::Entry copy = *original;
            copy.path = existing != nullptr ? existing->path : to;
            device.files.Add(copy);
        }
    }
    if (device.Tracing()) {
        device.Trace(Op::CopyFileW, {{"source", sourceReadable ? TextValue(from) : NullValue()},
                                     {"target", TextValue(to)},
                                     {"failIfExists", NumberValue(failIfExists)},
                                     {"result", NumberValue(ok ? 1 : 0)}});
    }
    device.Emit(sim::EventKind::Copy,
                {{"from", TextValue(from)}, {"to", TextValue(to)}, {"ok", FlagValue(ok)}});
    return ok ? 1 : 0;
}

BOOL DeleteFileW(const char16_t* path) {
    Device& device = Dev();
    std::u16string name;
    // The path is read even when the call is to fail, so the event names it.
    const bool readable = ReadPath(path, Op::DeleteFileW, name);
    bool ok = !device.Fails(Op::DeleteFileW) && readable;
    if (ok) {
        // The running program's own file is in use and cannot be deleted.
        const sim::Entry* entry = device.files.Find(name);
        ok = entry != nullptr &&
             (entry->attributes & (sim::AttrDirectory | sim::AttrReadOnly)) == 0 &&
             !sim::SameName(name, device.Running().path);
        if (ok) {
            device.files.RemoveTree(name);
        }
    }
    if (device.Tracing()) {
        device.Trace(Op::DeleteFileW, {{"path", readable ? TextValue(name) : NullValue()},
                                       {"result", NumberValue(ok ? 1 : 0)}});
    }
    device.Emit(sim::EventKind::Delete, {{"path", TextValue(name)}, {"ok", FlagValue(ok)}});
    return ok ? 1 : 0;
}

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened) {
    Device& device = Dev();
    std::u16string name;
    const bool readable = ReadPath(subKey, Op::RegOpenKeyExW, name);
    LONG result = sim::ErrorSuccess;
    if (device.Fails(Op::RegOpenKeyExW)) {
        result = sim::ErrorAccessDenied;
    } else if (key != HkeyLocalMachine || !readable) {
        result = sim::ErrorInvalidParameter;
    } else if (!device.registry.Has(name)) {
        result = sim::ErrorFileNotFound;
    } else {
        HKEY handle = device.nextHandle++;
        device.openKeys[handle] = name;
        *opened = handle;
    }
    if (device.Tracing()) {
        device.Trace(
            Op::RegOpenKeyExW,
            {{"key", NumberValue(static_cast<long long>(key))},
             {"subKey", readable ? TextValue(name) : NullValue()},
             {"options", NumberValue(options)},
             {"access", NumberValue(access)},
             {"result", NumberValue(result)},
             {"handle", result == sim::ErrorSuccess ? NumberValue(static_cast<long long>(*opened))
                                                    : NullValue()}});
    }
    return result;
}

static LONG DeleteKey(Device& device, HKEY key, bool readable, const std::u16string& name) {
    auto open = device.openKeys.find(key);
    if (open == device.openKeys.end()) {
        device.Violation("RegDeleteKeyW: not an open key");
        return sim::ErrorInvalidHandle;
    }
    if (!readable) {
        return sim::ErrorInvalidParameter;
    }
    const std::u16string full = open->second + u"\\" + name;
    const int attempt = ++device.keyDeleteAttempts[sim::Fold(full)];
    LONG result = sim::ErrorSuccess;
    if (device.Fails(Op::RegDeleteKeyW) || device.ConsumeAppKeyDeleteFailure(full) ||
        device.KeyHeld(full)) {
        result = sim::ErrorAccessDenied;
    } else if (!device.registry.RemoveTree(full)) {
        result = sim::ErrorFileNotFound;
    }
    device.Emit(sim::EventKind::KeyDelete, {{"key", TextValue(u"HKEY_LOCAL_MACHINE\\" + full)},
                                            {"attempt", NumberValue(attempt)},
                                            {"result", NumberValue(result)}});
    return result;
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    Device& device = Dev();
    std::u16string name;
    const bool readable = ReadPath(subKey, Op::RegDeleteKeyW, name);
    const LONG result = DeleteKey(device, key, readable, name);
    if (device.Tracing()) {
        device.Trace(Op::RegDeleteKeyW, {{"key", NumberValue(static_cast<long long>(key))},
                                         {"subKey", readable ? TextValue(name) : NullValue()},
                                         {"result", NumberValue(result)}});
    }
    return result;
}

LONG RegCloseKey(HKEY key) {
    Device& device = Dev();
    device.Fails(Op::RegCloseKey);
    LONG result = sim::ErrorSuccess;
    if (device.openKeys.erase(key) == 0) {
        device.Violation("RegCloseKey: not an open key");
        result = sim::ErrorInvalidHandle;
    }
    if (device.Tracing()) {
        device.Trace(Op::RegCloseKey, {{"key", NumberValue(static_cast<long long>(key))},
                                       {"result", NumberValue(result)}});
    }
    return result;
}

void Sleep(DWORD milliseconds) {
    Device& device = Dev();
    device.Fails(Op::Sleep);
    if (device.Tracing()) {
        device.Trace(Op::Sleep, {{"ms", NumberValue(milliseconds)}});
    }
    device.Emit(sim::EventKind::Sleep, {{"ms", NumberValue(milliseconds)}});
    device.Advance(milliseconds);
}

} // namespace platform
