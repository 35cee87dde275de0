// The platform operations on the simulated device. Each converts the
// program's arguments, consults the device's fault plan first, hands the work
// to the part of the device that owns it (the store, the registry, the shell,
// the loader, the running program's handles), writes the answer into the
// program's buffers, and records the call with its arguments, result and
// outputs and, when it failed, the error and why in the device's words. An
// effect is recorded as its own event too.
#include "platform/platform.h"
#include "device/device.h"
#include "platform/sim/exports.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using sim::Answer;
using sim::OrNull;
using sim::Text;
namespace ev = sim::ev;
namespace rec = sim::rec;

// One call of an operation, whose record is R: the device it acts on, what
// it failed with, and its record.
template <class R> class Call {
  public:
    static constexpr sim::Op Operation = sim::OpOf<R>::value;

    Call() : device(sim::Device::Current()) {}
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    sim::Device& device;
    R record; // the call's arguments, result and outputs

    // The fault plan, consulted with the call's path or key argument (the
    // operation table names which).
    bool Faulted(const std::u16string& argument = std::u16string()) {
        platform::LONG error = 0;
        if (device.Faults().Fails(Operation, argument, error)) {
            answer_ = sim::Fails(error, "the fault plan makes it fail");
            return true;
        }
        return false;
    }
    // What the device answered: its failure, and any misuse it noted.
    bool Take(const Answer& answer) {
        if (!answer.misuse.empty()) {
            Misuse(answer.misuse);
        }
        if (answer.Failed()) {
            answer_ = answer;
        }
        return !answer.Failed();
    }
    void Misuse(const std::string& what) {
        device.Misuse(std::string(sim::NameOf(Operation)) + ": " + what);
    }
    bool Failed() const {
        return answer_.Failed();
    }
    // The registry's way of answering: the error, or success.
    platform::LONG Result() const {
        return Failed() ? answer_.error : sim::ErrorSuccess;
    }
    // The failure, as an effect's event tells it.
    template <class K> void AddWhy(K& effect) const {
        if (Failed()) {
            effect.error = answer_.error;
            effect.why = sim::Utf16(answer_.why);
        }
    }
    void AddWhy(ev::KeyDelete& effect) const { // its result is the error
        if (Failed()) {
            effect.why = sim::Utf16(answer_.why);
        }
    }
    template <class K> void Effect(K effect) {
        device.Log().Emit(std::move(effect));
    }
    // Records the call: its record, then, when it failed, the error and why.
    void Record() {
        ev::Call call;
        call.op = Operation;
        call.record = std::move(record);
        if (Failed()) {
            call.error = answer_.error;
            call.why = sim::Utf16(answer_.why);
        }
        device.Log().Emit(std::move(call));
    }

  private:
    Answer answer_;
};

// Reads a path argument, or a name (a library's, an export's), which is held
// to the same bound. One without a terminator within MaxPath units is a
// misuse of the platform: it is recorded and the call fails.
template <class R>
bool ReadPath(Call<R>& call, const char16_t* path, std::u16string& out,
              const std::string& what = "path") {
    if (path == nullptr) {
        return call.Take(
            sim::Misused(sim::ErrorInvalidParameter, "the " + what + " is null", "null " + what));
    }
    for (int n = 0; n < platform::MaxPath; ++n) {
        if (path[n] == 0) {
            out.assign(path, n);
            return true;
        }
    }
    return call.Take(sim::Misused(sim::ErrorInvalidParameter,
                                  "the " + what + " has no terminator within 260 units",
                                  what + " without a terminator within 260 units"));
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
OrNull<Text> TextOrNull(const char16_t* text) {
    return text == nullptr ? OrNull<Text>() : OrNull<Text>(ReadText(text));
}

// Text that came back in a buffer of `units`, with or without a terminator.
std::u16string Returned(const char16_t* buffer, std::size_t units) {
    std::size_t n = 0;
    while (n < units && buffer[n] != 0) {
        ++n;
    }
    return std::u16string(buffer, n);
}

// Text into a buffer that has room for it and its terminator.
void PutText(const std::u16string& text, char16_t* buffer) {
    std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
    buffer[text.size()] = 0;
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
    const std::u16string name = sim::NameOf(entry.path);
    if (name.size() < static_cast<std::size_t>(platform::MaxPath)) {
        PutText(name, found->cFileName);
    } else {
        std::memcpy(found->cFileName, name.data(), platform::MaxPath * sizeof(char16_t));
    }
}

// What a search delivered, for the record.
template <class R> void AddDelivered(R& record, const platform::WIN32_FIND_DATAW* found) {
    record.name = Returned(found->cFileName, platform::MaxPath);
    record.attributes = found->dwFileAttributes;
    record.time = static_cast<sim::Number>(sim::TicksOf(found->ftLastWriteTime));
}

sim::Number HandleValue(platform::HANDLE handle) {
    return handle == platform::InvalidHandleValue ? -1 : static_cast<sim::Number>(handle);
}

// What an export's address is on the host: the operation's own function, or
// the procedure's (platform/sim/exports.h).
platform::FARPROC AddressOf(const sim::Export& found) {
    static const platform::FARPROC operations[] = {
#define AUTORUN_OP_ADDRESS(name, ordinal, dll, desktopName, arguments, failable, usual, matched,   \
                           effect)                                                                 \
    reinterpret_cast<platform::FARPROC>(&platform::name),
        AUTORUN_OPERATIONS(AUTORUN_OP_ADDRESS)
#undef AUTORUN_OP_ADDRESS
    };
    if (found.isOperation) {
        return operations[static_cast<std::size_t>(found.op)];
    }
    switch (found.procedure) {
    case sim::Procedure::DMProcessConfigXML:
        return reinterpret_cast<platform::FARPROC>(&simexports::DMProcessConfigXML);
    }
    return nullptr;
}

} // namespace

namespace platform {

DWORD GetModuleFileNameW(HINSTANCE module, char16_t* buffer, DWORD size) {
    Call<rec::GetModuleFileNameW> call;
    DWORD length = 0;
    std::u16string path;
    if (!call.Faulted() && (call.Take(call.device.TheLoader().ModuleFileName(
                                call.device.Running(), module, size, path, length)) ||
                            length != 0)) {
        PutText(path, buffer);
    }
    call.record.size = size;
    call.record.result = length;
    call.record.path = length != 0 ? OrNull<Text>(Returned(buffer, size)) : OrNull<Text>();
    call.Record();
    return length;
}

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int size) {
    Call<rec::LoadStringW> call;
    std::u16string text;
    if (!call.Faulted() && call.Take(call.device.TheLoader().String(call.device.Running(), instance,
                                                                    id, size, text))) {
        PutText(text, buffer);
    }
    const int length = static_cast<int>(text.size());
    call.record.id = id;
    call.record.size = size;
    call.record.result = length;
    call.record.text = length > 0 ? OrNull<Text>(Returned(buffer, size)) : OrNull<Text>();
    call.Record();
    return length;
}

HANDLE FindFirstFileW(const char16_t* pathOrPattern, WIN32_FIND_DATAW* found) {
    Call<rec::FindFirstFileW> call;
    std::u16string path;
    const bool readable = ReadPath(call, pathOrPattern, path);
    HANDLE handle = InvalidHandleValue;
    std::vector<sim::Entry> matches;
    if (readable && !call.Faulted(path) && call.Take(call.device.Files().Search(path, matches))) {
        sim::Entry first;
        handle = call.device.Held().OpenSearch(std::move(matches));
        call.device.Held().Next(handle, first);
        Fill(found, first);
    }
    call.record.path = readable ? OrNull<Text>(path) : OrNull<Text>();
    call.record.result = HandleValue(handle);
    if (handle != InvalidHandleValue) {
        AddDelivered(call.record, found);
    }
    call.Record();
    return handle;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* found) {
    Call<rec::FindNextFileW> call;
    sim::Entry entry;
    const BOOL result =
        !call.Faulted() && call.Take(call.device.Held().Next(handle, entry)) ? 1 : 0;
    if (result) {
        Fill(found, entry);
    }
    call.record.handle = HandleValue(handle);
    call.record.result = result;
    if (result) {
        AddDelivered(call.record, found);
    }
    call.Record();
    return result;
}

BOOL FindClose(HANDLE handle) {
    Call<rec::FindClose> call;
    call.Faulted();
    const BOOL result = call.Take(call.device.Held().CloseSearch(handle)) ? 1 : 0;
    call.record.handle = HandleValue(handle);
    call.record.result = result;
    call.Record();
    return result;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    Call<rec::CompareFileTime> call;
    call.Faulted();
    const sim::Ticks a = sim::TicksOf(*first);
    const sim::Ticks b = sim::TicksOf(*second);
    const LONG result = sim::CompareTimes(a, b);
    call.record.first = static_cast<sim::Number>(a);
    call.record.second = static_cast<sim::Number>(b);
    call.record.result = result;
    call.Record();
    return result;
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* buffer, UINT winIni) {
    Call<rec::SystemParametersInfoW> call;
    std::u16string type;
    const BOOL result =
        !call.Faulted() && call.Take(call.device.TheSystem().PlatformType(action, param, type)) ? 1
                                                                                                : 0;
    if (result) {
        PutText(type, static_cast<char16_t*>(buffer));
    }
    call.record.action = action;
    call.record.param = param;
    call.record.winIni = winIni;
    call.record.result = result;
    call.record.text = result ? OrNull<Text>(type) : OrNull<Text>();
    call.Record();
    return result;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    Call<rec::GetVersionExW> call;
    const DWORD size = info->dwOSVersionInfoSize;
    const BOOL result =
        !call.Faulted() && call.Take(call.device.TheSystem().Version(size, *info)) ? 1 : 0;
    call.record.size = size;
    call.record.result = result;
    if (result) {
        call.record.major = info->dwMajorVersion;
        call.record.minor = info->dwMinorVersion;
        call.record.build = info->dwBuildNumber;
    }
    call.Record();
    return result;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    Call<rec::ShellExecuteEx> call;
    if (info->cbSize != ShellExecuteInfoSize) {
        call.Misuse("wrong record size");
    }
    std::u16string file;
    const bool readable = ReadPath(call, info->lpFile, file);
    const std::u16string args = ReadText(info->lpParameters);
    const bool ok =
        readable && !call.Faulted(file) && call.Take(call.device.TheShell().Open(file, args));
    call.record.cbSize = info->cbSize;
    call.record.fMask = info->fMask;
    call.record.hwnd = static_cast<sim::Number>(info->hwnd);
    call.record.verb = TextOrNull(info->lpVerb);
    call.record.file = readable ? OrNull<Text>(file) : OrNull<Text>();
    call.record.parameters = TextOrNull(info->lpParameters);
    call.record.directory = TextOrNull(info->lpDirectory);
    call.record.nShow = info->nShow;
    call.record.result = ok ? 1 : 0;
    call.Record();
    ev::Launch launch{file, args, ok};
    call.AddWhy(launch);
    call.Effect(launch);
    return ok ? 1 : 0;
}

BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create) {
    Call<rec::SHGetSpecialFolderPath> call;
    BOOL result = 0;
    std::u16string found;
    if (!call.Faulted() &&
        call.Take(call.device.TheShell().SpecialFolder(folder, create != 0, found, result))) {
        PutText(found, path);
    }
    call.record.owner = static_cast<sim::Number>(owner);
    call.record.folder = folder;
    call.record.create = create;
    call.record.result = result;
    call.record.path = !call.Failed() ? OrNull<Text>(found) : OrNull<Text>();
    call.Record();
    return result;
}

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    Call<rec::MessageBoxW> call;
    const int result = call.Faulted(ReadText(text)) ? 0 : call.device.TheShell().ShowMessage();
    call.record.owner = static_cast<sim::Number>(owner);
    call.record.text = TextOrNull(text);
    call.record.caption = TextOrNull(caption);
    call.record.type = type;
    call.record.result = result;
    call.Record();
    if (result != 0) {
        call.Effect(ev::MessageBox{ReadText(text), ReadText(caption)});
    }
    return result;
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL failIfExists) {
    Call<rec::CopyFileW> call;
    std::u16string from;
    std::u16string to;
    const bool sourceReadable = ReadPath(call, source, from);
    const bool readable = ReadPath(call, target, to) && sourceReadable;
    const bool ok = readable && !call.Faulted(to) &&
                    call.Take(call.device.Files().Copy(from, to, failIfExists != 0,
                                                       call.device.Running().path));
    call.record.source = sourceReadable ? OrNull<Text>(from) : OrNull<Text>();
    call.record.target = to;
    call.record.failIfExists = failIfExists;
    call.record.result = ok ? 1 : 0;
    call.Record();
    ev::Copy copied{from, to, ok};
    call.AddWhy(copied);
    call.Effect(copied);
    return ok ? 1 : 0;
}

BOOL DeleteFileW(const char16_t* path) {
    Call<rec::DeleteFileW> call;
    std::u16string name;
    // The path is read even when the call is to fail, so the event names it.
    const bool readable = ReadPath(call, path, name);
    const bool ok = readable && !call.Faulted(name) &&
                    call.Take(call.device.Files().Delete(name, call.device.Running().path));
    call.record.path = readable ? OrNull<Text>(name) : OrNull<Text>();
    call.record.result = ok ? 1 : 0;
    call.Record();
    ev::Delete deleted{name, ok};
    call.AddWhy(deleted);
    call.Effect(deleted);
    return ok ? 1 : 0;
}

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* opened) {
    Call<rec::RegOpenKeyExW> call;
    std::u16string name;
    const bool readable = ReadPath(call, subKey, name);
    if (readable && !call.Faulted(sim::Rooted(name)) &&
        call.Take(call.device.Keys().Open(key, name))) {
        *opened = call.device.Held().OpenKey(name);
    }
    const LONG result = call.Result();
    call.record.key = static_cast<sim::Number>(key);
    call.record.subKey = readable ? OrNull<Text>(name) : OrNull<Text>();
    call.record.options = options;
    call.record.access = access;
    call.record.result = result;
    if (result == sim::ErrorSuccess) {
        call.record.handle = static_cast<sim::Number>(*opened);
    }
    call.Record();
    return result;
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    Call<rec::RegDeleteKeyW> call;
    std::u16string name;
    const bool readable = ReadPath(call, subKey, name);
    std::u16string open;
    const bool held = call.Take(call.device.Held().KeyOf(key, open));
    // An attempt is a deletion of a key the program holds open, of a name it
    // gives; a failure the plan makes is recorded by Faulted itself.
    const std::u16string full = open + u"\\" + name;
    int attempt = 0;
    if (held && readable) {
        attempt = call.device.Held().CountKeyDeletion(full);
        if (!call.Faulted(sim::Rooted(full))) {
            call.Take(call.device.Keys().Delete(full, call.device.Time().NowMs()));
        }
    }
    const LONG result = call.Result();
    call.record.key = static_cast<sim::Number>(key);
    call.record.subKey = readable ? OrNull<Text>(name) : OrNull<Text>();
    call.record.result = result;
    call.Record();
    if (held && readable) {
        ev::KeyDelete deleted{sim::Rooted(full), attempt, result};
        call.AddWhy(deleted);
        call.Effect(deleted);
    }
    return result;
}

LONG RegCloseKey(HKEY key) {
    Call<rec::RegCloseKey> call;
    call.Faulted();
    call.Take(call.device.Held().CloseKey(key));
    const LONG result = call.Result();
    call.record.key = static_cast<sim::Number>(key);
    call.record.result = result;
    call.Record();
    return result;
}

void Sleep(DWORD milliseconds) {
    Call<rec::Sleep> call;
    call.Faulted();
    call.record.ms = milliseconds;
    call.Record();
    call.Effect(ev::Sleep{milliseconds});
    call.device.Time().Advance(milliseconds);
}

HMODULE LoadLibraryW(const char16_t* name) {
    Call<rec::LoadLibraryW> call;
    std::u16string given;
    std::u16string library;
    const bool readable = ReadPath(call, name, given, "name");
    HMODULE handle = 0;
    if (readable && !call.Faulted(given) &&
        call.Take(call.device.TheLibraries().Find(given, library))) {
        handle = call.device.Held().LoadLibrary(library);
    }
    call.record.name = readable ? OrNull<Text>(given) : OrNull<Text>();
    call.record.result = static_cast<sim::Number>(handle);
    call.Record();
    return handle;
}

BOOL FreeLibrary(HMODULE module) {
    Call<rec::FreeLibrary> call;
    // The program gives the library back by calling, whatever the answer.
    const bool held = call.Take(call.device.Held().GiveBackLibrary(module));
    const BOOL result = held && !call.Faulted() ? 1 : 0;
    if (result) {
        call.device.Held().Unload(module);
    }
    call.record.module = static_cast<sim::Number>(module);
    call.record.result = result;
    call.Record();
    return result;
}

FARPROC GetProcAddressW(HMODULE module, const char16_t* name) {
    Call<rec::GetProcAddressW> call;
    std::u16string library;
    std::u16string wanted;
    const bool held = call.Take(call.device.Held().LibraryOf(module, library));
    const bool readable = ReadPath(call, name, wanted, "name");
    sim::Export found;
    FARPROC address = nullptr;
    if (held && readable && !call.Faulted(wanted) &&
        call.Take(call.device.TheLibraries().FindExport(library, wanted, found))) {
        address = AddressOf(found);
    }
    call.record.module = static_cast<sim::Number>(module);
    call.record.name = readable ? OrNull<Text>(wanted) : OrNull<Text>();
    call.record.result = address != nullptr ? OrNull<Text>(found.Name()) : OrNull<Text>();
    call.Record();
    return address;
}

} // namespace platform
