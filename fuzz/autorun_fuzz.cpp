// libFuzzer target: builds a simulated device from the input (cards, folders
// and packages with any names, the platform probe's answers, whether it
// uninstalls through the Configuration Manager, the title, the
// program's own path and command line, failing operations), runs the program
// on it, and aborts when any rule of tests/invariants.h is broken or when the
// program misused the platform (a path without a terminator within 260 units,
// a handle left open, a wrong record size).
#include "autorun/constants.h"
#include "device/device.h"
#include "simulator/example_package.h"
#include "tests/device_fixture.h"
#include "tests/invariants.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Reads the input front to back; past its end every value is 0.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() {
        return pos_ < size_ ? data_[pos_++] : 0;
    }
    std::uint16_t U16() {
        return static_cast<std::uint16_t>(Byte() | (Byte() << 8));
    }
    std::uint32_t U32() {
        return U16() | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::uint64_t U64() {
        return U32() | (static_cast<std::uint64_t>(U32()) << 32);
    }
    bool Done() const {
        return pos_ >= size_;
    }

    // Up to max UTF-16 units, any values.
    std::u16string Text(std::size_t max) {
        std::size_t length = U16() % (max + 1);
        std::u16string text;
        for (std::size_t i = 0; i < length && !Done(); ++i) {
            text += static_cast<char16_t>(U16());
        }
        return text;
    }

    // A path or a command line: any units but the terminator.
    std::u16string Line(std::size_t max) {
        std::u16string line = Text(max);
        for (char16_t& c : line) {
            c = c == 0 ? u'_' : c;
        }
        return line;
    }

    // A file name: anything a file system allows, which is neither empty nor
    // holds a terminator or a folder separator.
    std::u16string Name(std::size_t max) {
        std::u16string name = Text(max);
        for (char16_t& c : name) {
            if (c == 0 || c == u'\\') {
                c = u'_';
            }
        }
        return name.empty() ? u"x" : name;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr std::size_t LongName = 300;

std::u16string PlatformFolder(Input& in) {
    switch (in.Byte() % 4) {
    case 0:
        return u"\\2577";
    case 1:
        return u"\\wince\\arm";
    case 2:
        return u"\\" + in.Name(LongName);
    default:
        return u""; // directly on the card
    }
}

// The kind of device and the program's title, read first.
void ReadKind(Input& in, sim::Config& kind, runner::NativeProgram& program) {
    const std::uint8_t platform = in.Byte();
    switch (platform % 4) {
    case 0:
        kind.platformType = u"PocketPC";
        break;
    case 1:
        kind.platformType = u"Jupiter";
        break;
    case 2:
        kind.platformType = u"pocketpc";
        break;
    default:
        kind.platformType = in.Text(LongName);
    }
    // With bit 2, Windows Mobile's uninstalling: the Configuration Manager
    // and its UnInstall provider, and an Unload.exe that removes nothing.
    if ((platform & 4) != 0) {
        const sim::Config windowsMobile = fixture::WindowsMobile();
        kind.libraries = windowsMobile.libraries;
        kind.configurationProviders = windowsMobile.configurationProviders;
        kind.unload = windowsMobile.unload;
    }
    kind.osMajor = in.U32();
    switch (in.Byte() % 4) {
    case 0:
        break; // the product title
    case 1:
        program.title.clear();
        break;
    case 2:
        program.title = u"Card"; // a title that card paths may contain
        break;
    default:
        program.title = in.Line(LongName);
    }
    kind.uninstallMs = in.Byte() * 100u;
}

void BuildDevice(Input& in, sim::Device& device, const std::u16string& title) {
    // The first deletions of the application key fail with access denied.
    sim::FaultRule resists;
    resists.op = sim::Op::RegDeleteKeyW;
    resists.match = u"*\\" + std::u16string(AppName);
    resists.count = in.Byte() % 16;
    resists.error = platform::ErrorAccessDenied;
    if (resists.count > 0) {
        device.AddFault(resists);
    }
    std::uint16_t failing = in.U16();
    for (std::size_t i = 0; i < sim::FailableOperations().size(); ++i) {
        sim::Op op;
        if ((failing & (1u << i)) && sim::OpNamed(sim::FailableOperations()[i], op)) {
            fixture::Failing(device, {op});
        }
    }

    std::uint8_t present = in.Byte();
    if (present & 1) {
        device.ClearRegistry();
    }
    if (present & 2) {
        device.PutKey(std::u16string(sim::AppsKeyPath) + u"\\" + AppName);
    }
    if (present & 4) {
        device.Put({ReaderPath, sim::AttrArchive, in.U64()});
    }
    if (present & 8) {
        device.Put({fixture::ProgramsFolder + u"\\" + title + u".exe"});
    }
    if (present & 16) {
        device.Put({RemovalPath});
    }

    // Root entries, cards among them, with what they hold.
    for (int roots = in.Byte() % 8; roots > 0; --roots) {
        std::u16string root = u"\\" + in.Name(LongName);
        device.Put({root, in.U16(), in.U64()});
        for (int children = in.Byte() % 4; children > 0; --children) {
            std::u16string folder = root + PlatformFolder(in);
            std::u16string name = in.Name(LongName);
            // A package is the reader's real one: a card's packages install.
            sim::Content content;
            if (in.Byte() & 1) {
                name += u".cab";
                content = simtool::ExamplePackage();
            }
            device.Put({folder + u"\\" + name, in.U16(), in.U64(), content});
        }
    }
}

// With AUTORUN_FUZZ_TRACE set, prints each run's events: to see what a seed
// or a crashing input does.
void Trace(const sim::Device& device, const invariants::Snapshot& before) {
    static const bool tracing = std::getenv("AUTORUN_FUZZ_TRACE") != nullptr;
    if (!tracing) {
        return;
    }
    for (std::size_t i = before.firstEvent; i < device.Events().size(); ++i) {
        const sim::Event& e = device.Events()[i];
        std::fprintf(stderr, "%s", e.Name());
        sim::ForEachField(e, [](const char* name, const sim::Shown& value) {
            const std::string shown = value.text != nullptr   ? sim::Utf8(*value.text)
                                      : value.name != nullptr ? value.name
                                                              : std::to_string(value.number);
            std::fprintf(stderr, " %s=%s", name, shown.substr(0, 80).c_str());
        });
        std::fprintf(stderr, "\n");
    }
}

void Check(const sim::Device& device, const invariants::Snapshot& before, int code) {
    Trace(device, before);
    std::vector<std::string> broken = invariants::CheckRun(device, before);
    if (code != 0) {
        broken.push_back("WinMain returned " + std::to_string(code));
    }
    if (broken.empty()) {
        return;
    }
    for (const std::string& line : broken) {
        std::fprintf(stderr, "broken: %s\n", line.c_str());
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    sim::Config kind = fixture::Kind();
    runner::NativeProgram program;
    ReadKind(in, kind, program);
    sim::Device device(kind, &program);
    BuildDevice(in, device, program.title);

    // Up to four starts of the program, in the ways the shell and the user
    // start it, or from any path with any command line; or the cards taken
    // out between runs.
    for (int steps = 1 + in.Byte() % 4; steps > 0; --steps) {
        std::u16string path = RemovalPath;
        std::u16string args;
        switch (in.Byte() % 6) {
        case 0:
            args = InstallArgument;
            break;
        case 1:
            path = fixture::ProgramsFolder + u"\\" + program.title + u".exe";
            break;
        case 2:
            args = u"uninstall";
            break;
        case 3: {
            std::vector<std::u16string> cards;
            for (const sim::Entry* entry : device.Files().Children(u"")) {
                if ((entry->attributes & sim::AttrTemporary) != 0) {
                    cards.push_back(entry->path);
                }
            }
            for (const std::u16string& card : cards) {
                device.Erase(card);
            }
            continue;
        }
        case 4:
            path = in.Line(LongName);
            args = in.Line(40);
            break;
        default:
            args = in.Line(40);
        }
        invariants::Snapshot before = invariants::Take(device, program.title);
        int code = device.Run(path, args);
        Check(device, before, code);
    }
    return 0;
}
