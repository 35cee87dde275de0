// Helpers shared by the unit tests: devices with cards and a reader, the
// program built for the host to run on them, and readings of what the program
// did to them.
#pragma once

#include "autorun/constants.h"
#include "platform/platform.h"
#include "device/device.h"
#include "resources/product.h"
#include "runner/native_program.h"

#include <string>
#include <vector>

namespace fixture {

constexpr std::uint32_t CardAttributes = sim::AttrDirectory | sim::AttrTemporary;

inline const std::u16string Title = u"" PRODUCT_TITLE;
inline const std::u16string MenuCopy =
    std::u16string(sim::ProgramsFolder) + u"\\" + Title + u".exe";
inline const std::u16string CardProgram = u"\\Storage Card\\2577\\autorun.exe";
inline const std::u16string AppKey = std::u16string(sim::AppsKeyPath) + u"\\" + AppName;

// The program built for the host, which runs whatever file a test starts.
inline runner::NativeProgram& Native() {
    static runner::NativeProgram native;
    return native;
}

// A bare device that knows the product's names and runs the host build.
inline sim::Device NewDevice() {
    sim::Device device({AppName, ReaderPath, Title});
    device.launcher = &Native();
    return device;
}

// The program as it runs from path, for direct calls of its functions under
// sim::Device::Use; "" is a path that cannot be had.
inline sim::Process ProgramAt(const sim::Device& device, const std::u16string& path = u"") {
    return runner::NativeProgram::ProcessOf(device, path);
}

inline void AddCard(sim::Device& device, const std::u16string& name) {
    device.files.Add({u"\\" + name, CardAttributes});
}

inline void AddFile(sim::Device& device, const std::u16string& path,
                    sim::Ticks time = sim::DefaultEntryTime) {
    device.files.Add({path, sim::AttrArchive, time});
}

// An installed reader, as the cabinet installer leaves it.
inline void AddReader(sim::Device& device, sim::Ticks time) {
    AddFile(device, ReaderPath, time);
    device.registry.Add(AppKey);
}

// Every entry of the device, in the order they were made.
inline std::vector<sim::Entry> Entries(const sim::Device& device) {
    std::vector<sim::Entry> entries;
    for (const sim::Entry* entry : device.files.All()) {
        entries.push_back(*entry);
    }
    return entries;
}

inline std::vector<sim::Event> EventsOf(const sim::Device& device, sim::EventKind kind) {
    std::vector<sim::Event> found;
    for (const sim::Event& event : device.Events()) {
        if (event.kind == kind) {
            found.push_back(event);
        }
    }
    return found;
}

inline int CountOf(const sim::Device& device, sim::EventKind kind) {
    return static_cast<int>(EventsOf(device, kind).size());
}

// The files started through the shell, in order.
inline std::vector<std::string> Launched(const sim::Device& device) {
    std::vector<std::string> files;
    for (const sim::Event& event : EventsOf(device, sim::EventKind::Launch)) {
        files.push_back(event.Text("file"));
    }
    return files;
}

inline std::string U8(const std::u16string& text) {
    return sim::Utf8(text);
}

} // namespace fixture
