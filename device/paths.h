// The device's own paths and keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

inline constexpr char16_t WindowsFolder[] = u"\\Windows";
inline constexpr char16_t UninstallerPath[] = u"\\Windows\\Unload.exe";
// Where the shell copies a card's auto-run program before starting it.
inline constexpr char16_t AutoRunCopyPath[] = u"\\Windows\\autorun.exe";
// The name of a card's auto-run program in its processor's folder.
inline constexpr char16_t AutoRunName[] = u"autorun.exe";
inline constexpr char16_t AppsKeyPath[] = u"SOFTWARE\\Apps";
inline constexpr char16_t LocalMachine[] = u"HKEY_LOCAL_MACHINE";

// Where the shell looks for a card's auto-run program, relative to the card:
// "<processor>\autorun.exe", in the folder of the device's processor.
inline std::u16string AutoRunOnCard(std::uint32_t processor) {
    std::u16string path;
    for (char digit : std::to_string(processor)) {
        path += static_cast<char16_t>(digit);
    }
    return path + u"\\" + AutoRunName;
}

// An application's key under HKEY_LOCAL_MACHINE\SOFTWARE\Apps.
inline std::u16string AppKey(const std::u16string& name) {
    return std::u16string(AppsKeyPath) + u"\\" + name;
}
// A key of HKEY_LOCAL_MACHINE as events and the state name it, with its root.
inline std::u16string Rooted(const std::u16string& key) {
    return std::u16string(LocalMachine) + u"\\" + key;
}

} // namespace sim
