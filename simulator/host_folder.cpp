// Reading a host folder into device entries.
#include "simulator/host_folder.h"

#include "simulator/time_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace simtool {

namespace {

// Deeper than any card; reached only through a link that loops.
constexpr int MaxDepth = 32;

bool ModificationTime(const fs::path& path, sim::Ticks& ticks, std::string& error) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        error = "cannot read \"" + path.string() + "\": " + std::strerror(errno);
        return false;
    }
    ticks = TicksFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    return true;
}

bool ReadFolder(const fs::path& folder, const std::u16string& devicePath, int depth,
                std::vector<sim::Entry>& entries, std::string& error) {
    if (depth > MaxDepth) {
        error = "folders nested too deep under \"" + folder.string() + "\" (a link loop?)";
        return false;
    }
    std::error_code ec;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        children.push_back(it->path());
    }
    if (ec) {
        error = "cannot read \"" + folder.string() + "\": " + ec.message();
        return false;
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        std::u16string name = sim::Utf16(child.filename().string());
        if (!IsDeviceName(name)) {
            error = "\"" + child.string() + "\" has a name the device cannot hold";
            return false;
        }
        sim::Entry entry;
        entry.path = devicePath + u"\\" + name;
        if (!ModificationTime(child, entry.time, error)) {
            return false;
        }
        bool isFolder = fs::is_directory(child, ec);
        entry.attributes = isFolder ? static_cast<std::uint32_t>(sim::AttrDirectory) : 0u;
        entries.push_back(entry);
        if (isFolder && !ReadFolder(child, entry.path, depth + 1, entries, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsDeviceName(const std::u16string& name) {
    if (name.empty() || name == u"." || name == u"..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char16_t c) {
        return c < 0x20 || std::char_traits<char16_t>::find(u"\\/:*?\"<>|", 9, c) != nullptr;
    });
}

bool ReadHostFolder(const std::string& hostFolder, const std::u16string& devicePath,
                    std::vector<sim::Entry>& entries, std::string& error) {
    std::error_code ec;
    fs::file_status status = fs::status(hostFolder, ec);
    if (ec) {
        error = "cannot read host folder \"" + hostFolder + "\": " + ec.message();
        return false;
    }
    if (!fs::is_directory(status)) {
        error = "\"" + hostFolder + "\" is not a folder on this machine";
        return false;
    }
    return ReadFolder(hostFolder, devicePath, 0, entries, error);
}

} // namespace simtool
