// Reading a host folder into device entries.
#include "simulator/host_folder.h"

#include "simulator/input.h"
#include "simulator/time_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unordered_map>

namespace simtool {

namespace {

// Deeper than any card; reached only through a link that loops.
constexpr int MaxDepth = 32;

std::string CannotRead(const std::string& path) {
    return "cannot read " + Quoted(path) + ": " + std::strerror(errno);
}

// The names in a folder, in byte order.
bool Names(const std::string& folder, std::vector<std::string>& names, std::string& error) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        error = CannotRead(folder);
        return false;
    }
    errno = 0;
    while (const dirent* item = ::readdir(dir)) {
        std::string name = item->d_name;
        if (name != "." && name != "..") {
            names.push_back(std::move(name));
        }
    }
    const int failure = errno;
    ::closedir(dir);
    if (failure != 0) {
        errno = failure;
        error = CannotRead(folder);
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

bool ReadFolder(const std::string& folder, const std::u16string& devicePath, int depth,
                std::vector<sim::Entry>& entries, std::string& error) {
    if (depth > MaxDepth) {
        error = "folders nested too deep under " + Quoted(folder) + " (a link loop?)";
        return false;
    }
    std::vector<std::string> names;
    if (!Names(folder, names, error)) {
        return false;
    }
    // The folded names seen in this folder, with the host names they came from.
    std::unordered_map<std::u16string, std::size_t> seen;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string host = folder + "/" + names[i];
        const std::size_t bad = Utf8End(names[i]);
        if (bad < names[i].size()) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(names[i][bad])));
            error = Quoted(host) + ": the name is not UTF-8 (byte " + byte +
                    "), and the device's names are Unicode; rename it";
            return false;
        }
        const std::u16string name = sim::Utf16(names[i]);
        const std::string problem = NameProblem(name);
        if (!problem.empty()) {
            error = Quoted(host) + ": the device cannot hold this name: " + problem;
            return false;
        }
        auto other = seen.emplace(sim::Fold(name), i);
        if (!other.second) {
            error = Quoted(folder + "/" + names[other.first->second]) + " and " + Quoted(host) +
                    " differ only in case, and the device's names ignore case, so it cannot "
                    "hold both";
            return false;
        }
        struct stat info;
        if (::stat(host.c_str(), &info) != 0) {
            error = CannotRead(host);
            return false;
        }
        sim::Entry entry;
        entry.path = devicePath + u"\\" + name;
        entry.time = TicksFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        const bool isFolder = S_ISDIR(info.st_mode);
        entry.attributes = isFolder ? static_cast<std::uint32_t>(sim::AttrDirectory) : 0u;
        entries.push_back(entry);
        if (isFolder && !ReadFolder(host, entry.path, depth + 1, entries, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string NameProblem(std::u16string_view name) {
    if (name.empty()) {
        return "it is empty";
    }
    if (name == u"." || name == u"..") {
        return "\".\" and \"..\" name folders themselves";
    }
    for (char16_t c : name) {
        if (c < 0x20) {
            char text[64];
            std::snprintf(text, sizeof text, "it has the control character U+%04X",
                          static_cast<unsigned>(c));
            return text;
        }
        if (std::char_traits<char16_t>::find(u"\\/:*?\"<>|", 9, c) != nullptr) {
            return "it has " + Quoted(std::string(1, static_cast<char>(c)));
        }
    }
    return std::string();
}

bool ReadHostFolder(const std::string& hostFolder, const std::u16string& devicePath,
                    std::vector<sim::Entry>& entries, std::string& error) {
    struct stat info;
    if (::stat(hostFolder.c_str(), &info) != 0) {
        error = "cannot read host folder " + Quoted(hostFolder) + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = Quoted(hostFolder) + " is not a folder on this machine";
        return false;
    }
    return ReadFolder(hostFolder, devicePath, 0, entries, error);
}

} // namespace simtool
