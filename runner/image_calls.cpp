// The device operations as an image calls them: arguments from the emulated
// processor, host copies of guest strings and records, and results written
// back into guest memory.
#include "runner/image_calls.h"

#include "device/operations.h"
#include "platform/operations.h"
#include "platform/platform.h"
#include "platform/sim/exports.h"
#include "runner/pe_image.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <vector>

namespace runner {

namespace {

using platform::MaxPath;

// Command lines and message texts are read up to this many units.
constexpr std::size_t TextLimit = MaxCommandLine;
// An output buffer is copied in and out up to this many bytes, whatever size
// the program claims for it; the size handed to the device is cut to match.
constexpr std::size_t OutputLimit = 65536;

// A string argument. A null pointer stays null.
struct GuestText {
    std::vector<char16_t> units;
    bool null = true;
    const char16_t* Get() const {
        return null ? nullptr : units.data();
    }
};

// Counts bytes copied between the program and the device.
void Copied(ImageProcess& p, std::size_t bytes) {
    p.copied += bytes;
    if (p.copied > p.copyBound) {
        throw CopyBoundExceeded{};
    }
}

// Reads units at address up to and including the terminator, at most limit
// units. With no terminator within the limit, terminated says so.
GuestText ReadUnits(ImageProcess& p, std::uint32_t address, std::size_t limit, bool& terminated) {
    const Emulator& cpu = p.cpu;
    GuestText text;
    terminated = false;
    if (address == 0) {
        return text;
    }
    text.null = false;
    std::size_t readable = cpu.Readable(address, limit * 2) / 2;
    std::vector<char16_t> units(readable);
    cpu.Read(address, units.data(), readable * 2);
    auto end = std::find(units.begin(), units.end(), u'\0');
    if (end != units.end()) {
        terminated = true;
        text.units.assign(units.begin(), end + 1);
        Copied(p, text.units.size() * 2);
        return text;
    }
    if (readable < limit) {
        // The device would read on into memory that is not there.
        throw GuestFault{static_cast<std::uint32_t>(address + readable * 2), false};
    }
    text.units = units;
    Copied(p, text.units.size() * 2);
    return text;
}

// A path: copied exactly as the guest holds it, up to MaxPath units. One
// without a terminator within them reaches the device without one, so that
// the device records the misuse; a terminator after the MaxPath units keeps
// a host-side reader that goes on from running off the copy.
GuestText ReadPath(ImageProcess& p, std::uint32_t address) {
    bool terminated = false;
    GuestText path = ReadUnits(p, address, MaxPath, terminated);
    if (!path.null) {
        path.units.resize(MaxPath + 1, u'\0');
    }
    return path;
}

// A name as the desktop's GetProcAddress takes it, in the ANSI code page:
// each byte is handed to the device as one unit, held to the bound a path is.
GuestText ReadNarrowName(ImageProcess& p, std::uint32_t address) {
    GuestText name;
    if (address == 0) {
        return name;
    }
    name.null = false;
    const std::size_t readable = p.cpu.Readable(address, MaxPath);
    std::vector<std::uint8_t> bytes(readable);
    p.cpu.Read(address, bytes.data(), readable);
    auto end = std::find(bytes.begin(), bytes.end(), 0);
    if (end == bytes.end() && readable < static_cast<std::size_t>(MaxPath)) {
        throw GuestFault{static_cast<std::uint32_t>(address + readable), false};
    }
    name.units.assign(bytes.begin(), end);
    Copied(p, name.units.size() + (end != bytes.end() ? 1 : 0));
    name.units.resize(MaxPath + 1, u'\0');
    return name;
}

// A command line or message text, cut at TextLimit units.
GuestText ReadText(ImageProcess& p, std::uint32_t address) {
    bool terminated = false;
    GuestText text = ReadUnits(p, address, TextLimit, terminated);
    if (!text.null && !terminated) {
        text.units.push_back(u'\0');
    }
    return text;
}

// Guest memory the device may write: the host copy starts as the guest's
// bytes (0xFF where there are none to read); afterwards, the bytes the call
// changed are written back, so a write the guest could not have made faults
// at its address.
class Output {
  public:
    Output(ImageProcess& p, std::uint32_t address, std::size_t size)
        : p_(p), address_(address), bytes_(std::max<std::size_t>(size, 1), 0xFF), size_(size) {
        std::size_t readable = p.cpu.Readable(address, size);
        p.cpu.Read(address, bytes_.data(), readable);
        before_ = bytes_;
    }
    void* Data() {
        return bytes_.data();
    }
    void WriteBack() {
        std::size_t first = 0;
        while (first < size_ && bytes_[first] == before_[first]) {
            ++first;
        }
        std::size_t last = size_;
        while (last > first && bytes_[last - 1] == before_[last - 1]) {
            --last;
        }
        if (first < last) {
            Copied(p_, last - first);
            p_.cpu.Write(static_cast<std::uint32_t>(address_ + first), &bytes_[first],
                         last - first);
        }
    }

  private:
    ImageProcess& p_;
    std::uint32_t address_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> before_;
    std::size_t size_;
};

// A buffer of units whose size the program passes.
struct UnitBuffer {
    UnitBuffer(ImageProcess& p, std::uint32_t address, std::uint32_t units)
        : count(std::min<std::size_t>(units, OutputLimit / 2)), out(p, address, count * 2) {}
    char16_t* Data() {
        return static_cast<char16_t*>(out.Data());
    }
    std::size_t count;
    Output out;
};

// Handles are 32-bit on the guest; INVALID_HANDLE_VALUE is all ones on both.
platform::HANDLE HostHandle(std::uint32_t handle) {
    return handle == 0xFFFFFFFFu ? platform::InvalidHandleValue : handle;
}

std::uint32_t GuestHandle(platform::HANDLE handle) {
    return static_cast<std::uint32_t>(handle);
}

std::uint32_t Arg(ImageProcess& p, int index) {
    return p.cpu.Argument(index);
}

// WIN32_FIND_DATAW: the device's layout on ARM (dwOID, then the name at
// offset 40); on the desktop two reserved words, the name at 44, and the
// short name after it (592 bytes).
constexpr std::size_t DesktopFindDataSize = 592;
constexpr std::size_t DesktopNameOffset = 44;

static_assert(sizeof(platform::WIN32_FIND_DATAW) == 560 &&
                  offsetof(platform::WIN32_FIND_DATAW, cFileName) == 40,
              "the device's layout");

class FoundOutput {
  public:
    FoundOutput(ImageProcess& p, std::uint32_t address)
        : desktop_(p.machine == MachineI386),
          out_(p, address, desktop_ ? DesktopFindDataSize : sizeof found) {
        const auto* bytes = static_cast<const std::uint8_t*>(out_.Data());
        if (desktop_) {
            std::memset(&found, 0, sizeof found);
            std::memcpy(&found, bytes, offsetof(platform::WIN32_FIND_DATAW, dwOID));
            std::memcpy(found.cFileName, bytes + DesktopNameOffset, sizeof found.cFileName);
        } else {
            std::memcpy(&found, bytes, sizeof found);
        }
        before_ = found;
    }
    void WriteBack() {
        if (std::memcmp(&found, &before_, sizeof found) == 0) {
            return;
        }
        auto* bytes = static_cast<std::uint8_t*>(out_.Data());
        if (desktop_) {
            std::memset(bytes, 0, DesktopFindDataSize);
            std::memcpy(bytes, &found, offsetof(platform::WIN32_FIND_DATAW, dwOID));
            std::memcpy(bytes + DesktopNameOffset, found.cFileName, sizeof found.cFileName);
        } else {
            std::memcpy(bytes, &found, sizeof found);
        }
        out_.WriteBack();
    }
    platform::WIN32_FIND_DATAW found;

  private:
    bool desktop_;
    Output out_;
    platform::WIN32_FIND_DATAW before_;
};

// --- The operations ---------------------------------------------------------

std::uint32_t GetModuleFileNameW(ImageProcess& p) {
    UnitBuffer buffer(p, Arg(p, 1), Arg(p, 2));
    std::uint32_t result = platform::GetModuleFileNameW(Arg(p, 0), buffer.Data(),
                                                        static_cast<platform::DWORD>(buffer.count));
    buffer.out.WriteBack();
    return result;
}

std::uint32_t LoadStringW(ImageProcess& p) {
    auto size = static_cast<std::int32_t>(Arg(p, 3));
    UnitBuffer buffer(p, Arg(p, 2), size > 0 ? static_cast<std::uint32_t>(size) : 0);
    int result = platform::LoadStringW(Arg(p, 0), Arg(p, 1), buffer.Data(),
                                       size > 0 ? static_cast<int>(buffer.count) : size);
    buffer.out.WriteBack();
    return static_cast<std::uint32_t>(result);
}

std::uint32_t FindFirstFileW(ImageProcess& p) {
    GuestText path = ReadPath(p, Arg(p, 0));
    FoundOutput found(p, Arg(p, 1));
    platform::HANDLE result = platform::FindFirstFileW(path.Get(), &found.found);
    found.WriteBack();
    return GuestHandle(result);
}

std::uint32_t FindNextFileW(ImageProcess& p) {
    FoundOutput found(p, Arg(p, 1));
    platform::BOOL result = platform::FindNextFileW(HostHandle(Arg(p, 0)), &found.found);
    found.WriteBack();
    return static_cast<std::uint32_t>(result);
}

std::uint32_t FindClose(ImageProcess& p) {
    return static_cast<std::uint32_t>(platform::FindClose(HostHandle(Arg(p, 0))));
}

std::uint32_t CompareFileTime(ImageProcess& p) {
    platform::FILETIME first;
    platform::FILETIME second;
    p.cpu.Read(Arg(p, 0), &first, sizeof first);
    p.cpu.Read(Arg(p, 1), &second, sizeof second);
    return static_cast<std::uint32_t>(platform::CompareFileTime(&first, &second));
}

std::uint32_t SystemParametersInfoW(ImageProcess& p) {
    std::size_t bytes = std::min<std::size_t>(Arg(p, 1), OutputLimit);
    Output buffer(p, Arg(p, 2), bytes);
    platform::BOOL result = platform::SystemParametersInfoW(
        Arg(p, 0), static_cast<platform::UINT>(bytes), buffer.Data(), Arg(p, 3));
    buffer.WriteBack();
    return static_cast<std::uint32_t>(result);
}

std::uint32_t GetVersionExW(ImageProcess& p) {
    // The device reads the record's size first.
    p.cpu.Read32(Arg(p, 0));
    Output info(p, Arg(p, 0), sizeof(platform::OSVERSIONINFOW));
    platform::BOOL result =
        platform::GetVersionExW(static_cast<platform::OSVERSIONINFOW*>(info.Data()));
    info.WriteBack();
    return static_cast<std::uint32_t>(result);
}

// SHELLEXECUTEINFO as the guest holds it: 32-bit fields, pointers as guest
// addresses, the whole record that cbSize says the device may read.
constexpr std::size_t ShellInfoWords = platform::ShellExecuteInfoSize / 4;

std::uint32_t ShellExecuteEx(ImageProcess& p) {
    std::uint32_t address = Arg(p, 0);
    std::uint32_t guest[ShellInfoWords];
    p.cpu.Read(address, guest, sizeof guest);
    GuestText verb = ReadText(p, guest[3]);
    GuestText file = ReadPath(p, guest[4]);
    GuestText parameters = ReadText(p, guest[5]);
    GuestText directory = ReadPath(p, guest[6]);
    platform::SHELLEXECUTEINFO info = {};
    info.cbSize = guest[0];
    info.fMask = guest[1];
    info.hwnd = guest[2];
    info.lpVerb = verb.Get();
    info.lpFile = file.Get();
    info.lpParameters = parameters.Get();
    info.lpDirectory = directory.Get();
    info.nShow = static_cast<int>(guest[7]);
    info.hInstApp = guest[8];
    // lpIDList and lpClass (words 9 and 10) are used only for mask bits the
    // device's shell is not asked for here; they stay null on the host.
    info.hkeyClass = guest[11];
    info.dwHotKey = guest[12];
    info.hIcon = guest[13];
    info.hProcess = guest[14];
    platform::BOOL result = platform::ShellExecuteEx(&info);
    // Only the numbers can come back; the strings are the guest's own.
    std::uint32_t after[ShellInfoWords];
    std::memcpy(after, guest, sizeof after);
    after[0] = info.cbSize;
    after[1] = info.fMask;
    after[2] = static_cast<std::uint32_t>(info.hwnd);
    after[7] = static_cast<std::uint32_t>(info.nShow);
    after[8] = static_cast<std::uint32_t>(info.hInstApp);
    after[11] = static_cast<std::uint32_t>(info.hkeyClass);
    after[12] = info.dwHotKey;
    after[13] = static_cast<std::uint32_t>(info.hIcon);
    after[14] = static_cast<std::uint32_t>(info.hProcess);
    for (std::size_t i = 0; i < ShellInfoWords; ++i) {
        if (after[i] != guest[i]) {
            p.cpu.Write(static_cast<std::uint32_t>(address + 4 * i), &after[i], 4);
        }
    }
    return static_cast<std::uint32_t>(result);
}

std::uint32_t SHGetSpecialFolderPath(ImageProcess& p) {
    UnitBuffer path(p, Arg(p, 1), MaxPath);
    platform::BOOL result = platform::SHGetSpecialFolderPath(
        Arg(p, 0), path.Data(), static_cast<int>(Arg(p, 2)), static_cast<int>(Arg(p, 3)));
    path.out.WriteBack();
    return static_cast<std::uint32_t>(result);
}

std::uint32_t MessageBoxW(ImageProcess& p) {
    GuestText text = ReadText(p, Arg(p, 1));
    GuestText caption = ReadText(p, Arg(p, 2));
    return static_cast<std::uint32_t>(
        platform::MessageBoxW(Arg(p, 0), text.Get(), caption.Get(), Arg(p, 3)));
}

std::uint32_t CopyFileW(ImageProcess& p) {
    GuestText source = ReadPath(p, Arg(p, 0));
    GuestText target = ReadPath(p, Arg(p, 1));
    return static_cast<std::uint32_t>(
        platform::CopyFileW(source.Get(), target.Get(), static_cast<int>(Arg(p, 2))));
}

std::uint32_t DeleteFileW(ImageProcess& p) {
    GuestText path = ReadPath(p, Arg(p, 0));
    return static_cast<std::uint32_t>(platform::DeleteFileW(path.Get()));
}

std::uint32_t RegOpenKeyExW(ImageProcess& p) {
    GuestText subKey = ReadPath(p, Arg(p, 1));
    Output opened(p, Arg(p, 4), 4);
    std::uint32_t before = 0;
    std::memcpy(&before, opened.Data(), 4);
    platform::HKEY key = before;
    platform::LONG result =
        platform::RegOpenKeyExW(Arg(p, 0), subKey.Get(), Arg(p, 2), Arg(p, 3), &key);
    if (key != before) {
        std::uint32_t guest = static_cast<std::uint32_t>(key);
        std::memcpy(opened.Data(), &guest, 4);
        opened.WriteBack();
    }
    return static_cast<std::uint32_t>(result);
}

std::uint32_t RegDeleteKeyW(ImageProcess& p) {
    GuestText subKey = ReadPath(p, Arg(p, 1));
    return static_cast<std::uint32_t>(platform::RegDeleteKeyW(Arg(p, 0), subKey.Get()));
}

std::uint32_t RegCloseKey(ImageProcess& p) {
    return static_cast<std::uint32_t>(platform::RegCloseKey(Arg(p, 0)));
}

std::uint32_t Sleep(ImageProcess& p) {
    platform::Sleep(Arg(p, 0));
    return 0;
}

std::uint32_t LoadLibraryW(ImageProcess& p) {
    GuestText name = ReadPath(p, Arg(p, 0));
    return static_cast<std::uint32_t>(platform::LoadLibraryW(name.Get()));
}

std::uint32_t FreeLibrary(ImageProcess& p) {
    return static_cast<std::uint32_t>(platform::FreeLibrary(Arg(p, 0)));
}

const Binding* ExportBinding(platform::FARPROC host);

std::uint32_t GetProcAddressW(ImageProcess& p) {
    GuestText name =
        p.machine == MachineArm ? ReadPath(p, Arg(p, 1)) : ReadNarrowName(p, Arg(p, 1));
    const platform::FARPROC host = platform::GetProcAddressW(Arg(p, 0), name.Get());
    const Binding* binding = host != nullptr ? ExportBinding(host) : nullptr;
    return binding != nullptr ? p.exportAddress(host, *binding) : 0;
}

// --- What the device's other libraries export ---------------------------------

std::uint32_t DMProcessConfigXML(ImageProcess& p) {
    GuestText document = ReadText(p, Arg(p, 0));
    const std::uint32_t outputAt = Arg(p, 2);
    char16_t* output = nullptr;
    const platform::HRESULT result = simexports::DMProcessConfigXML(
        document.Get(), Arg(p, 1), outputAt != 0 ? &output : nullptr);
    if (outputAt == 0) {
        return static_cast<std::uint32_t>(result);
    }
    // The document it answers with is put in the program's heap, as the
    // device allocates it there.
    std::uint32_t guest = 0;
    if (output != nullptr) {
        std::size_t units = 0;
        while (output[units] != 0) {
            ++units;
        }
        const std::uint32_t bytes = static_cast<std::uint32_t>((units + 1) * 2);
        Copied(p, bytes);
        guest = p.allocate(bytes);
        if (guest == 0) {
            return 0;
        }
        p.cpu.Write(guest, output, bytes);
    }
    Output pointer(p, outputAt, 4);
    std::memcpy(pointer.Data(), &guest, 4);
    pointer.WriteBack();
    return static_cast<std::uint32_t>(result);
}

// --- The process's own services on the desktop ------------------------------

std::uint32_t GetModuleHandleW(ImageProcess& p) {
    // Only the program's own module is there to be found.
    return Arg(p, 0) == 0 ? p.imageBase : 0;
}

std::uint32_t GetCommandLineW(ImageProcess& p) {
    return p.commandLine;
}

std::uint32_t ExitProcess(ImageProcess& p) {
    p.cpu.Finish(Arg(p, 0));
    return 0;
}

// Each operation as the device's core library exports it, in the order of
// the operation table (sim::Op).
const Binding Operations[] = {
#define AUTORUN_BINDING(name, ordinal, dll, desktopName, arguments, failable, usual, matched,      \
                        effect)                                                                    \
    {name, arguments},
    AUTORUN_OPERATIONS(AUTORUN_BINDING)
#undef AUTORUN_BINDING
};

// What an address the device's GetProcAddressW gives on the host is bound to
// in an image: an operation, or a procedure of another library.
const Binding* ExportBinding(platform::FARPROC host) {
    static const std::pair<platform::FARPROC, Binding> exports[] = {
#define AUTORUN_EXPORT_BINDING(name, ordinal, dll, desktopName, arguments, failable, usual,        \
                               matched, effect)                                                    \
    {reinterpret_cast<platform::FARPROC>(&platform::name), {name, arguments}},
        AUTORUN_OPERATIONS(AUTORUN_EXPORT_BINDING)
#undef AUTORUN_EXPORT_BINDING
            {reinterpret_cast<platform::FARPROC>(&simexports::DMProcessConfigXML),
             {DMProcessConfigXML, 3}},
    };
    for (const auto& [address, binding] : exports) {
        if (address == host) {
            return &binding;
        }
    }
    return nullptr;
}

struct DesktopImport {
    const char* dll;
    const char* name;
    Binding binding;
};

// Each operation as the desktop's DLLs export it, then the desktop's
// start-up calls.
const DesktopImport DesktopImports[] = {
#define AUTORUN_DESKTOP_IMPORT(name, ordinal, dll, desktopName, arguments, failable, usual,        \
                               matched, effect)                                                    \
    {#dll ".dll", #desktopName, {name, arguments}},
    AUTORUN_OPERATIONS(AUTORUN_DESKTOP_IMPORT)
#undef AUTORUN_DESKTOP_IMPORT
        {"KERNEL32.dll", "GetModuleHandleW", {GetModuleHandleW, 1}},
    {"KERNEL32.dll", "GetCommandLineW", {GetCommandLineW, 0}},
    {"KERNEL32.dll", "ExitProcess", {ExitProcess, 1}},
};

bool SameDll(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool FindDesktopBinding(const PeImport& import, Binding& binding, std::string& why) {
    bool dllKnown = false;
    for (const DesktopImport& desktop : DesktopImports) {
        if (SameDll(import.dll, desktop.dll)) {
            dllKnown = true;
            if (!import.byOrdinal && import.name == desktop.name) {
                binding = desktop.binding;
                return true;
            }
        }
    }
    if (!dllKnown) {
        why = "the device has no DLL " + import.dll;
    } else if (import.byOrdinal) {
        why = import.dll + " ordinal " + std::to_string(import.ordinal) +
              " is not bound: a desktop DLL's ordinals are not stable";
    } else {
        why = import.dll + " exports no " + import.name;
    }
    return false;
}

} // namespace

bool FindBinding(const sim::Loader& loader, std::uint16_t machine, const PeImport& import,
                 Binding& binding, std::string& why) {
    if (machine != MachineArm) {
        return FindDesktopBinding(import, binding, why);
    }
    sim::Op op;
    if (!loader.Resolve(import, op, why)) {
        return false;
    }
    binding = Operations[static_cast<std::size_t>(op)];
    return true;
}

} // namespace runner
