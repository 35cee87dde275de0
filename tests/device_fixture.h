// Helpers shared by the unit tests: devices with cards and a reader, and
// readings of what the program did to them.
#pragma once

#include "autorun/constants.h"
#include "platform/platform.h"
#include "platform/sim/device.h"
#include "resources/product.h"

#include <string>
#include <vector>

namespace fixture {

constexpr std::uint32_t CardAttributes = sim::AttrDirectory | sim::AttrTemporary;

inline const std::u16string Title = u"" PRODUCT_TITLE;
inline const std::u16string MenuCopy =
    std::u16string(sim::ProgramsFolder) + u"\\" + Title + u".exe";
inline const std::u16string CardProgram = u"\\Storage Card\\2577\\autorun.exe";
inline const std::u16string AppKey = std::u16string(sim::AppsKeyPath) + u"\\" + AppName;

inline void AddCard(sim::Device& device, const std::u16string& name) {
    device.AddEntry({u"\\" + name, CardAttributes});
}

inline void AddFile(sim::Device& device, const std::u16string& path,
                    sim::Ticks time = sim::DefaultEntryTime) {
    device.AddEntry({path, sim::AttrArchive, time});
}

// An installed reader, as the cabinet installer leaves it.
inline void AddReader(sim::Device& device, sim::Ticks time) {
    AddFile(device, ReaderPath, time);
    device.AddKey(AppKey);
}

inline std::vector<sim::Event> EventsNamed(const sim::Device& device, const std::string& name) {
    std::vector<sim::Event> found;
    for (const sim::Event& event : device.Events()) {
        if (event.event == name) {
            found.push_back(event);
        }
    }
    return found;
}

inline int CountOf(const sim::Device& device, const std::string& name) {
    return static_cast<int>(EventsNamed(device, name).size());
}

// The files started through the shell, in order.
inline std::vector<std::string> Launched(const sim::Device& device) {
    std::vector<std::string> files;
    for (const sim::Event& event : EventsNamed(device, "launch")) {
        files.push_back(event.Text("file"));
    }
    return files;
}

inline int CallsOf(const sim::Device& device, const std::string& operation) {
    auto calls = device.Calls().find(operation);
    return calls == device.Calls().end() ? 0 : calls->second;
}

inline std::string U8(const std::u16string& text) {
    return sim::Utf8(text);
}

} // namespace fixture
