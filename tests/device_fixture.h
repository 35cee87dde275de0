// Helpers shared by the unit tests: devices with cards, packages and a
// reader, the program built for the host to run on them, and readings of what
// the program did to them.
#pragma once

#include "autorun/constants.h"
#include "device/device.h"
#include "platform/platform.h"
#include "resources/product.h"
#include "runner/native_program.h"
#include "simulator/example_package.h"

#include <set>
#include <string>
#include <vector>

namespace fixture {

constexpr std::uint32_t CardAttributes = sim::AttrDirectory | sim::AttrTemporary;

// A Pocket PC.
inline sim::Config Kind() {
    return sim::Config();
}

// A Windows Mobile 6 Pocket PC: version 5.2, uninstalling through the
// Configuration Manager's UnInstall provider, and Unload.exe there but
// removing nothing.
inline sim::Config WindowsMobile() {
    sim::Config kind;
    kind.osMajor = 5;
    kind.osMinor = 2;
    kind.unload = sim::Unload::DoesNothing;
    kind.libraries = {{u"aygshell.dll", {sim::Procedure::DMProcessConfigXML}}};
    kind.configurationProviders = {"UnInstall"};
    return kind;
}

// The processor of an x86 device (PROCESSOR_INTEL_PENTIUM), whose loader
// runs i386 images: the desktop image runs there.
constexpr std::uint32_t X86Processor = 586;

// A Pocket PC whose processor runs images for that machine.
inline sim::Config KindFor(std::uint16_t machine) {
    sim::Config kind;
    kind.processor = machine == sim::MachineI386 ? X86Processor : kind.processor;
    return kind;
}

inline const std::u16string ProgramsFolder = sim::Config().programsFolder;
inline const std::u16string Title = u"" PRODUCT_TITLE;
inline const std::u16string MenuCopy = ProgramsFolder + u"\\" + Title + u".exe";
inline const std::u16string CardProgram = u"\\Storage Card\\2577\\autorun.exe";
inline const std::u16string AppKey = std::u16string(sim::AppsKeyPath) + u"\\" + AppName;

// The program built for the host, with the product's title, which runs
// whatever file a test starts.
inline runner::NativeProgram& Native() {
    static runner::NativeProgram native;
    return native;
}

// A bare device of the kind that runs the host build.
inline sim::Device NewDevice(const sim::Config& config = Kind()) {
    return sim::Device(config, &Native());
}

// The program as it runs from path, for direct calls of its functions under
// sim::Device::Use; "" is a path that cannot be had. Its string 1 is title.
inline sim::Process ProgramAt(const std::u16string& path = u"",
                              const std::u16string& title = Title) {
    runner::NativeProgram program;
    program.title = title;
    return program.ProcessOf(path);
}

// Every call of these operations fails.
inline void Failing(sim::Device& device, const std::set<sim::Op>& ops) {
    for (sim::Op op : ops) {
        sim::FaultRule rule;
        rule.op = op;
        device.AddFault(rule);
    }
}

inline void AddCard(sim::Device& device, const std::u16string& name) {
    device.Put({u"\\" + name, CardAttributes});
}

inline void AddFile(sim::Device& device, const std::u16string& path,
                    sim::Ticks time = sim::DefaultEntryTime) {
    device.Put({path, sim::AttrArchive, time});
}

// The reader's package, the example card's, at path; a burnt card's is
// read-only, and the cabinet installer leaves it there.
inline void AddPackage(sim::Device& device, const std::u16string& path,
                       sim::Ticks time = sim::DefaultEntryTime,
                       std::uint32_t attributes = sim::AttrArchive) {
    device.Put({path, attributes, time, simtool::ExamplePackage()});
}

// An installed reader, as the cabinet installer leaves it (without its
// record of what it installed: the reader's file and key alone).
inline void AddReader(sim::Device& device, sim::Ticks time) {
    AddFile(device, ReaderPath, time);
    device.PutKey(AppKey);
}

// The reader installed by the cabinet installer from the example package,
// which it then deletes.
inline void InstallReader(sim::Device& device) {
    const std::u16string package = u"\\Windows\\Reader.cab";
    AddPackage(device, package);
    device.InstallPackage(package);
}

// Every entry of the device, in the order they were made.
inline std::vector<sim::Entry> Entries(const sim::Device& device) {
    std::vector<sim::Entry> entries;
    for (const sim::Entry* entry : device.Files().All()) {
        entries.push_back(*entry);
    }
    return entries;
}

// The events of kind K (sim::ev::Launch), in order.
template <class K> std::vector<K> EventsOf(const sim::Device& device) {
    std::vector<K> found;
    for (const sim::Event& event : device.Events()) {
        if (const K* fields = event.As<K>()) {
            found.push_back(*fields);
        }
    }
    return found;
}

inline int CountOf(const sim::Device& device, sim::EventKind kind) {
    int count = 0;
    for (const sim::Event& event : device.Events()) {
        count += event.kind == kind ? 1 : 0;
    }
    return count;
}

// The files started through the shell, in order.
inline std::vector<std::string> Launched(const sim::Device& device) {
    std::vector<std::string> files;
    for (const sim::ev::Launch& launch : EventsOf<sim::ev::Launch>(device)) {
        files.push_back(sim::Utf8(launch.file));
    }
    return files;
}

inline std::string U8(const std::u16string& text) {
    return sim::Utf8(text);
}

} // namespace fixture
