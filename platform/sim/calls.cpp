// The platform operations on the simulated device. Each reads its arguments
// as the real call does, consults the device's fault plan first, then does
// what the real call does for them. Every call is recorded with its
// arguments, result and outputs, and, when it fails, the error and why, as
// the device knows it; effects are recorded as events too.
#include "platform/platform.h"
#include "device/deletion.h"
#include "device/device.h"

#include <cstring>

namespace sim {

// The device's parts, as the operations reach them.
class Operations {
  public:
    explicit Operations(Op op) : device_(*Device::Current()), op_(op) {
        record_.reserve(8);
        record_.emplace_back("op", NameValue(NameOf(op)));
    }
    Operations(const Operations&) = delete;
    Operations& operator=(const Operations&) = delete;

    Device& Dev() {
        return device_;
    }
    const Config& Facts() const {
        return device_.config_;
    }
    Store& Files() {
        return device_.files_;
    }
    Registry& Keys() {
        return device_.registry_;
    }
    Handles& Open() {
        return device_.handles_;
    }
    Shell& TheShell() {
        return device_.shell_;
    }
    const Process& Running() const {
        return device_.process_;
    }
    Ticks Now() const {
        return device_.clock_.Now();
    }
    void Advance(std::uint64_t ms) {
        device_.clock_.Advance(ms);
    }
    int NextKeyDeleteAttempt(const std::u16string& key) {
        return ++device_.keyDeleteAttempts_[Fold(key)];
    }
    void Violation(const std::string& what) {
        device_.violations_.push_back(std::string(NameOf(op_)) + ": " + what);
    }
    void Emit(EventKind kind, Fields fields) {
        device_.log_.Emit(kind, std::move(fields));
    }

    // The fault plan, consulted with the call's path or key argument.
    bool Faulted(const std::u16string& argument = std::u16string()) {
        platform::LONG error = 0;
        if (device_.faults_.Fails(op_, argument, error)) {
            Fail(error, "the fault plan makes it fail");
            return true;
        }
        return false;
    }
    // The call fails, with an error code and why.
    void Fail(platform::LONG error, const std::string& why) {
        error_ = error;
        why_ = why;
    }
    bool Failed() const {
        return !why_.empty();
    }
    platform::LONG Error() const {
        return error_;
    }
    // The failure, as an effect's event tells it: the error (unless the
    // event has it as its result already) and why.
    void AddWhy(Fields& fields, bool error = true) const {
        if (Failed()) {
            if (error) {
                fields.push_back({"error", NumberValue(error_)});
            }
            fields.push_back({"why", TextValue(why_)});
        }
    }
    // The call's record: its arguments, result and outputs, added in that
    // order, then, when it failed, the error and why.
    void Add(const char* name, Value value) {
        record_.emplace_back(name, std::move(value));
    }
    void Record() {
        if (Failed()) {
            record_.emplace_back("error", NumberValue(error_));
            record_.emplace_back("why", TextValue(why_));
        }
        device_.log_.Emit(EventKind::Call, std::move(record_));
    }

  private:
    Device& device_;
    Op op_;
    platform::LONG error_ = 0;
    std::string why_;
    Fields record_;
};

} // namespace sim

using sim::FlagValue;
using sim::NullValue;
using sim::NumberValue;
using sim::Op;
using sim::Operations;
using sim::TextValue;

namespace {

// Reads a path argument. One without a terminator within MaxPath units is a
// misuse of the platform: it is recorded and the call fails.
bool ReadPath(Operations& call, const char16_t* path, std::u16string& out) {
    if (path == nullptr) {
        call.Violation("null path");
        call.Fail(sim::ErrorInvalidParameter, "the path is null");
        return false;
    }
    for (int n = 0; n < platform::MaxPath; ++n) {
        if (path[n] == 0) {
            out.assign(path, n);
            return true;
        }
    }
    call.Violation("path without a terminator within 260 units");
    call.Fail(sim::ErrorInvalidParameter, "the path has no terminator within 260 units");
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

// A pointer argument as the record shows it: null, or the text it points to.
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

// What a search delivered, for the record.
void AddDelivered(Operations& call, const platform::WIN32_FIND_DATAW* found) {
    call.Add("name", TextValue(Returned(found->cFileName, platform::MaxPath)));
    call.Add("attributes", NumberValue(found->dwFileAttributes));
    call.Add("time", NumberValue(static_cast<long long>(sim::TicksOf(found->ftLastWriteTime))));
}

sim::Value HandleValue(platform::HANDLE handle) {
    return NumberValue(handle == platform::InvalidHandleValue ? -1
                                                              : static_cast<long long>(handle));
}

std::u16string FullKey(const std::u16string& key) {
    return u"HKEY_LOCAL_MACHINE\\" + key;
}

// The running program names itself by its instance handle, or by none.
bool IsOwnModule(const Operations& call, platform::HINSTANCE module, bool noneToo) {
    return module == call.Running().instance || (noneToo && module == 0);
}

} // namespace

namespace platform {

DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size) {
    Operations call(Op::GetModuleFileNameW);
    DWORD length = 0;
    if (!call.Faulted()) {
        if (size == 0) {
            call.Fail(sim::ErrorInsufficientBuffer, "the buffer holds nothing");
        } else {
            if (!IsOwnModule(call, module, true)) {
                call.Violation("a module that is not the program's");
            }
            const std::u16string& own = call.Running().path;
            // As on the platform: a path that does not fit is cut short and
            // the full buffer size is returned.
            std::size_t units = own.size() < size ? own.size() : size - 1;
            CopyOut(own, buffer, units);
            buffer[units] = 0;
            length = own.size() < size ? static_cast<DWORD>(own.size()) : size;
            if (own.size() >= size) {
                call.Fail(sim::ErrorInsufficientBuffer,
                          "the path has " + std::to_string(own.size()) +
                              " units, more than fit with a terminator; it is cut short");
            }
        }
    }
    call.Add("size", NumberValue(size));
    call.Add("result", NumberValue(length));
    call.Add("path", length != 0 ? TextValue(Returned(buffer, size)) : NullValue());
    call.Record();
    return length;
}

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size) {
    Operations call(Op::LoadStringW);
    int length = 0;
    if (!call.Faulted()) {
        if (size <= 0) {
            call.Fail(sim::ErrorInvalidParameter, "the buffer holds nothing");
        } else {
            if (!IsOwnModule(call, instance, false)) {
                call.Violation("an instance that is not the program's");
            }
            std::u16string text;
            const auto& loadString = call.Running().loadString;
            if (loadString && loadString(id, text) && !text.empty()) {
                std::size_t units =
                    text.size() < static_cast<std::size_t>(size) ? text.size() : size - 1;
                CopyOut(text, buffer, units);
                buffer[units] = 0;
                length = static_cast<int>(units);
            } else {
                call.Fail(sim::ErrorResourceNameNotFound,
                          "the program's string table has no string " + std::to_string(id));
            }
        }
    }
    call.Add("id", NumberValue(id));
    call.Add("size", NumberValue(size));
    call.Add("result", NumberValue(length));
    call.Add("text", length > 0 ? TextValue(Returned(buffer, size)) : NullValue());
    call.Record();
    return length;
}

static HANDLE FindFirst(Operations& call, const std::u16string& path, WIN32_FIND_DATAW* found) {
    if (path.empty() || path[0] != u'\\') {
        call.Fail(sim::ErrorInvalidName, "it is not a path rooted at \"\\\"");
        return InvalidHandleValue;
    }
    const std::u16string folder = sim::ParentOf(path);
    const std::u16string name = sim::NameOf(path);
    const bool pattern = name.find_first_of(u"*?") != std::u16string::npos;
    if (name.empty() || !call.Files().IsFolder(folder)) {
        call.Fail(sim::ErrorPathNotFound,
                  name.empty() ? "it names no file" : "there is no folder " + sim::Utf8(folder));
        return InvalidHandleValue;
    }
    sim::Handles::Search search;
    if (pattern) {
        for (const sim::Entry* entry : call.Files().Children(folder)) {
            if (sim::MatchesPattern(sim::NameOf(entry->path), name)) {
                search.matches.push_back(*entry);
            }
        }
    } else if (const sim::Entry* entry = call.Files().Find(path)) {
        search.matches.push_back(*entry);
    }
    if (search.matches.empty()) {
        call.Fail(sim::ErrorFileNotFound, pattern ? "nothing matches" : "there is no such file");
        return InvalidHandleValue;
    }
    Fill(found, search.matches[0]);
    search.next = 1;
    return call.Open().OpenSearch(std::move(search));
}

HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found) {
    Operations call(Op::FindFirstFileW);
    std::u16string path;
    const bool readable = ReadPath(call, pathOrPattern, path);
    HANDLE handle = InvalidHandleValue;
    if (readable && !call.Faulted(path)) {
        handle = FindFirst(call, path, found);
    }
    call.Add("path", readable ? TextValue(path) : NullValue());
    call.Add("result", HandleValue(handle));
    if (handle != InvalidHandleValue) {
        AddDelivered(call, found);
    }
    call.Record();
    return handle;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* found) {
    Operations call(Op::FindNextFileW);
    BOOL result = 0;
    if (!call.Faulted()) {
        sim::Handles::Search* search = call.Open().FindSearch(handle);
        if (search == nullptr) {
            call.Violation("not an open search");
            call.Fail(sim::ErrorInvalidHandle, "it is not an open search");
        } else if (search->next < search->matches.size()) {
            Fill(found, search->matches[search->next++]);
            result = 1;
        } else {
            call.Fail(sim::ErrorNoMoreFiles, "the search has no more entries");
        }
    }
    call.Add("handle", HandleValue(handle));
    call.Add("result", NumberValue(result));
    if (result) {
        AddDelivered(call, found);
    }
    call.Record();
    return result;
}

BOOL FindClose(HANDLE handle) {
    Operations call(Op::FindClose);
    call.Faulted();
    const BOOL result = call.Open().CloseSearch(handle) ? 1 : 0;
    if (!result) {
        call.Violation("not an open search");
        call.Fail(sim::ErrorInvalidHandle, "it is not an open search");
    }
    call.Add("handle", HandleValue(handle));
    call.Add("result", NumberValue(result));
    call.Record();
    return result;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    Operations call(Op::CompareFileTime);
    call.Faulted();
    const sim::Ticks a = sim::TicksOf(*first);
    const sim::Ticks b = sim::TicksOf(*second);
    const LONG result = a < b ? -1 : a > b ? 1 : 0;
    call.Add("first", NumberValue(static_cast<long long>(a)));
    call.Add("second", NumberValue(static_cast<long long>(b)));
    call.Add("result", NumberValue(result));
    call.Record();
    return result;
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni) {
    Operations call(Op::SystemParametersInfoW);
    BOOL result = 0;
    const std::u16string& type = call.Facts().platformType;
    if (!call.Faulted()) {
        const std::size_t needed = (type.size() + 1) * sizeof(char16_t);
        if (action != SpiGetPlatformType) {
            call.Fail(sim::ErrorInvalidParameter,
                      "the device knows no action " + std::to_string(action));
        } else if (needed > param) {
            call.Fail(sim::ErrorInsufficientBuffer,
                      "the platform type needs " + std::to_string(needed) +
                          " bytes; the buffer has " + std::to_string(param));
        } else {
            char16_t* out = static_cast<char16_t*>(buffer);
            CopyOut(type, out, type.size());
            out[type.size()] = 0;
            result = 1;
        }
    }
    call.Add("action", NumberValue(action));
    call.Add("param", NumberValue(param));
    call.Add("winIni", NumberValue(winIni));
    call.Add("result", NumberValue(result));
    call.Add("text", result ? TextValue(type) : NullValue());
    call.Record();
    return result;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    Operations call(Op::GetVersionExW);
    BOOL result = 0;
    const DWORD size = info->dwOSVersionInfoSize;
    if (!call.Faulted()) {
        if (size != OsVersionInfoSize) {
            call.Violation("wrong record size");
            call.Fail(sim::ErrorInvalidParameter, "the record's size is " + std::to_string(size) +
                                                      ", not " + std::to_string(OsVersionInfoSize));
        } else {
            info->dwMajorVersion = call.Facts().osMajor;
            info->dwMinorVersion = call.Facts().osMinor;
            info->dwBuildNumber = call.Facts().osBuild;
            info->dwPlatformId = 3; // VER_PLATFORM_WIN32_CE
            std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
            result = 1;
        }
    }
    call.Add("size", NumberValue(size));
    call.Add("result", NumberValue(result));
    call.Add("major", result ? NumberValue(info->dwMajorVersion) : NullValue());
    call.Add("minor", result ? NumberValue(info->dwMinorVersion) : NullValue());
    call.Add("build", result ? NumberValue(info->dwBuildNumber) : NullValue());
    call.Record();
    return result;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    Operations call(Op::ShellExecuteEx);
    if (info->cbSize != ShellExecuteInfoSize) {
        call.Violation("wrong record size");
    }
    std::u16string file;
    const bool readable = ReadPath(call, info->lpFile, file);
    const std::u16string args = ReadText(info->lpParameters);
    bool ok = false;
    if (readable && !call.Faulted(file)) {
        LONG error = 0;
        std::string why;
        ok = call.TheShell().Open(file, args, error, why);
        if (!ok) {
            call.Fail(error, why);
        }
    }
    call.Add("cbSize", NumberValue(info->cbSize));
    call.Add("fMask", NumberValue(info->fMask));
    call.Add("hwnd", NumberValue(static_cast<long long>(info->hwnd)));
    call.Add("verb", TextOrNull(info->lpVerb));
    call.Add("file", readable ? TextValue(file) : NullValue());
    call.Add("parameters", TextOrNull(info->lpParameters));
    call.Add("directory", TextOrNull(info->lpDirectory));
    call.Add("nShow", NumberValue(info->nShow));
    call.Add("result", NumberValue(ok ? 1 : 0));
    call.Record();
    sim::Fields launch = {
        {"file", TextValue(file)}, {"args", TextValue(args)}, {"ok", FlagValue(ok)}};
    call.AddWhy(launch);
    call.Emit(sim::EventKind::Launch, std::move(launch));
    return ok ? 1 : 0;
}

BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create) {
    Operations call(Op::SHGetSpecialFolderPath);
    BOOL result = 0;
    const std::u16string& programs = call.Facts().programsFolder;
    if (!call.Faulted()) {
        if (folder != CsidlPrograms) {
            call.Fail(sim::ErrorInvalidParameter,
                      "the device knows no special folder " + std::to_string(folder));
        } else if (!call.Files().IsFolder(programs) && !create) {
            call.Fail(sim::ErrorPathNotFound, "the folder does not exist, and is not to be made");
        } else {
            if (!call.Files().IsFolder(programs)) {
                call.Files().Add({programs, sim::AttrDirectory, call.Now(), nullptr});
            }
            CopyOut(programs, path, programs.size());
            path[programs.size()] = 0;
            result = call.Facts().folderPathAnswersFalse ? 0 : 1;
        }
    }
    call.Add("owner", NumberValue(static_cast<long long>(owner)));
    call.Add("folder", NumberValue(folder));
    call.Add("create", NumberValue(create));
    call.Add("result", NumberValue(result));
    call.Add("path", !call.Failed() ? TextValue(programs) : NullValue());
    call.Record();
    return result;
}

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    Operations call(Op::MessageBoxW);
    const int result = call.Faulted(ReadText(text)) ? 0 : 1; // IDOK: dismissed at once
    call.Add("owner", NumberValue(static_cast<long long>(owner)));
    call.Add("text", TextOrNull(text));
    call.Add("caption", TextOrNull(caption));
    call.Add("type", NumberValue(type));
    call.Add("result", NumberValue(result));
    call.Record();
    if (result != 0) {
        call.Emit(sim::EventKind::MessageBox,
                  {{"text", TextValue(ReadText(text))}, {"caption", TextValue(ReadText(caption))}});
    }
    return result;
}

// Whether source can be copied to target, and why not.
static bool CanCopy(Operations& call, const std::u16string& from, const std::u16string& to,
                    BOOL failIfExists) {
    const sim::Entry* original = call.Files().Find(from);
    const sim::Entry* existing = call.Files().Find(to);
    if (original == nullptr) {
        call.Fail(sim::ErrorFileNotFound, "there is no file " + sim::Utf8(from));
    } else if (!sim::IsFile(original)) {
        call.Fail(sim::ErrorAccessDenied, sim::Utf8(from) + " is a folder");
    } else if (to.empty() || to[0] != u'\\' || !call.Files().IsFolder(sim::ParentOf(to))) {
        call.Fail(sim::ErrorPathNotFound, "there is no folder " + sim::Utf8(sim::ParentOf(to)));
    } else if (sim::SameName(from, to)) {
        call.Fail(sim::ErrorSharingViolation, "the source and the target are the same file");
    } else if (existing != nullptr && failIfExists) {
        call.Fail(sim::ErrorFileExists, "the target exists");
    } else if (existing != nullptr && (existing->attributes & sim::AttrDirectory) != 0) {
        call.Fail(sim::ErrorAccessDenied, "the target is a folder");
    } else if (existing != nullptr && (existing->attributes & sim::AttrReadOnly) != 0) {
        call.Fail(sim::ErrorAccessDenied, "the target is read-only");
    } else {
        return true;
    }
    return false;
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists) {
    Operations call(Op::CopyFileW);
    std::u16string from;
    std::u16string to;
    const bool sourceReadable = ReadPath(call, source, from);
    const bool readable = ReadPath(call, target, to) && sourceReadable;
    bool ok = false;
    if (readable && !call.Faulted(to) && CanCopy(call, from, to, failIfExists)) {
        // A copy keeps the original's attributes, last-write time and content.
        const sim::Entry* existing = call.Files().Find(to);
        sim::Entry copy = *call.Files().Find(from);
        copy.path = existing != nullptr ? existing->path : to;
        call.Files().Add(copy);
        ok = true;
    }
    call.Add("source", sourceReadable ? TextValue(from) : NullValue());
    call.Add("target", TextValue(to));
    call.Add("failIfExists", NumberValue(failIfExists));
    call.Add("result", NumberValue(ok ? 1 : 0));
    call.Record();
    sim::Fields copied = {{"from", TextValue(from)}, {"to", TextValue(to)}, {"ok", FlagValue(ok)}};
    call.AddWhy(copied);
    call.Emit(sim::EventKind::Copy, std::move(copied));
    return ok ? 1 : 0;
}

BOOL DeleteFileW(const char16_t* path) {
    Operations call(Op::DeleteFileW);
    std::u16string name;
    // The path is read even when the call is to fail, so the event names it.
    const bool readable = ReadPath(call, path, name);
    bool ok = false;
    if (readable && !call.Faulted(name)) {
        std::string why;
        const LONG error = sim::DeletionRefused(call.Files(), name, call.Running().path, why);
        if (error != sim::ErrorSuccess) {
            call.Fail(error, why);
        } else {
            call.Files().RemoveTree(name);
            ok = true;
        }
    }
    call.Add("path", readable ? TextValue(name) : NullValue());
    call.Add("result", NumberValue(ok ? 1 : 0));
    call.Record();
    sim::Fields deleted = {{"path", TextValue(name)}, {"ok", FlagValue(ok)}};
    call.AddWhy(deleted);
    call.Emit(sim::EventKind::Delete, std::move(deleted));
    return ok ? 1 : 0;
}

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened) {
    Operations call(Op::RegOpenKeyExW);
    std::u16string name;
    const bool readable = ReadPath(call, subKey, name);
    if (readable && !call.Faulted(FullKey(name))) {
        if (key != HkeyLocalMachine) {
            call.Fail(sim::ErrorInvalidParameter,
                      "the device has keys under HKEY_LOCAL_MACHINE only");
        } else if (!call.Keys().Has(name)) {
            call.Fail(sim::ErrorFileNotFound, "there is no such key");
        } else {
            *opened = call.Open().OpenKey(name);
        }
    }
    const LONG result = call.Failed() ? call.Error() : sim::ErrorSuccess;
    call.Add("key", NumberValue(static_cast<long long>(key)));
    call.Add("subKey", readable ? TextValue(name) : NullValue());
    call.Add("options", NumberValue(options));
    call.Add("access", NumberValue(access));
    call.Add("result", NumberValue(result));
    call.Add("handle", result == sim::ErrorSuccess ? NumberValue(static_cast<long long>(*opened))
                                                   : NullValue());
    call.Record();
    return result;
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    Operations call(Op::RegDeleteKeyW);
    std::u16string name;
    const bool readable = ReadPath(call, subKey, name);
    const std::u16string* open = call.Open().KeyOf(key);
    if (open == nullptr) {
        call.Violation("not an open key");
        call.Fail(sim::ErrorInvalidHandle, "it is not an open key");
    } else if (readable) {
        const std::u16string full = *open + u"\\" + name;
        const int attempt = call.NextKeyDeleteAttempt(full);
        // A failure the plan makes is recorded by Faulted itself.
        if (!call.Faulted(FullKey(full))) {
            if (call.Keys().Held(full, call.Dev().NowMs())) {
                call.Fail(sim::ErrorAccessDenied, "the uninstaller holds it open");
            } else if (!call.Keys().RemoveTree(full)) {
                call.Fail(sim::ErrorFileNotFound, "there is no such key");
            }
        }
        const LONG result = call.Failed() ? call.Error() : sim::ErrorSuccess;
        call.Add("key", NumberValue(static_cast<long long>(key)));
        call.Add("subKey", TextValue(name));
        call.Add("result", NumberValue(result));
        call.Record();
        sim::Fields deleted = {{"key", TextValue(FullKey(full))},
                               {"attempt", NumberValue(attempt)},
                               {"result", NumberValue(result)}};
        call.AddWhy(deleted, false);
        call.Emit(sim::EventKind::KeyDelete, std::move(deleted));
        return result;
    }
    const LONG result = call.Error();
    call.Add("key", NumberValue(static_cast<long long>(key)));
    call.Add("subKey", readable ? TextValue(name) : NullValue());
    call.Add("result", NumberValue(result));
    call.Record();
    return result;
}

LONG RegCloseKey(HKEY key) {
    Operations call(Op::RegCloseKey);
    call.Faulted();
    LONG result = sim::ErrorSuccess;
    if (!call.Open().CloseKey(key)) {
        call.Violation("not an open key");
        call.Fail(sim::ErrorInvalidHandle, "it is not an open key");
        result = sim::ErrorInvalidHandle;
    }
    call.Add("key", NumberValue(static_cast<long long>(key)));
    call.Add("result", NumberValue(result));
    call.Record();
    return result;
}

void Sleep(DWORD milliseconds) {
    Operations call(Op::Sleep);
    call.Faulted();
    call.Add("ms", NumberValue(milliseconds));
    call.Record();
    call.Emit(sim::EventKind::Sleep, {{"ms", NumberValue(milliseconds)}});
    call.Advance(milliseconds);
}

} // namespace platform
