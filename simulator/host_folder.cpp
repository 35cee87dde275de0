// Reading a host folder into device entries.
#include "simulator/host_folder.h"

#include "device/package.h"
#include "runner/pe_image.h"
#include "simulator/json_input.h"
#include "simulator/time_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace simtool {

namespace {

// Deeper than any card: a device path holds at most 259 units.
constexpr int MaxDepth = 32;

std::string CannotRead(const std::string& path) {
    return "cannot read " + Quoted(path) + ": " + std::strerror(errno);
}

// Programs and packages come in with their bytes, so that starting one runs
// what it holds and opening one installs what it holds; other files bring
// only their names and times (a card of e-books is not read into memory).
// A program larger than an image can be, or a package larger than one can
// unpack to, is none a card would carry.
struct WithBytes {
    off_t most; // 0: a file that comes in without its bytes
    const char* what;
};

WithBytes BytesOf(const std::u16string& name) {
    if (sim::HasExtension(name, u".exe")) {
        return {runner::MaxImageSize, "program"};
    }
    if (sim::HasExtension(name, u".cab")) {
        return {static_cast<off_t>(sim::MaxPackageBytes), "package"};
    }
    return {0, ""};
}

// The bytes of a program or package file; none for an empty one.
bool ReadBytes(int folder, const std::string& name, const std::string& host, off_t size,
               WithBytes kind, sim::Content& content, std::string& error) {
    if (size > kind.most) {
        error = Quoted(host) + " is larger than " + std::to_string(kind.most >> 20) +
                " MiB, more than a " + kind.what + " on a card";
        return false;
    }
    if (size == 0) {
        return true;
    }
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = CannotRead(host);
        return false;
    }
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes->size()) {
        const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const int readError = errno;
    ::close(fd);
    if (got != bytes->size()) {
        errno = readError;
        error = CannotRead(host);
        return false;
    }
    content = std::move(bytes);
    return true;
}

// A folder open for reading: its names are read, and its files looked at,
// relative to it, so that no path is walked again for each file.
class OpenFolder {
  public:
    OpenFolder(int parent, const std::string& name) {
        const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        dir_ = fd < 0 ? nullptr : ::fdopendir(fd);
        if (fd >= 0 && dir_ == nullptr) {
            ::close(fd);
        }
    }
    ~OpenFolder() {
        if (dir_ != nullptr) {
            ::closedir(dir_);
        }
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool IsOpen() const {
        return dir_ != nullptr;
    }
    int Fd() const {
        return ::dirfd(dir_);
    }
    // The names in it, in byte order; false with errno set when reading fails.
    bool Names(std::vector<std::string>& names) {
        errno = 0;
        while (const dirent* item = ::readdir(dir_)) {
            if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0) {
                names.emplace_back(item->d_name);
            }
        }
        if (errno != 0) {
            return false;
        }
        std::sort(names.begin(), names.end());
        return true;
    }

  private:
    DIR* dir_ = nullptr;
};

// What the reading of one host folder shares.
struct Reading {
    std::vector<sim::Entry>& entries;
    std::string& error;
    // Every folder read, by device and inode, with its host path: links may
    // lead to a folder again, in a loop or from two places.
    std::map<std::pair<dev_t, ino_t>, std::string> folders;
};

// Reads the folder `name` under the open folder `parent`; `folder` is its
// host path, for messages.
bool ReadFolder(Reading& reading, int parent, const std::string& name, const std::string& folder,
                const std::u16string& devicePath, int depth) {
    std::vector<sim::Entry>& entries = reading.entries;
    std::string& error = reading.error;
    if (depth > MaxDepth) {
        error = "folders nested deeper than " + std::to_string(MaxDepth) + " levels under " +
                Quoted(folder);
        return false;
    }
    OpenFolder open(parent, name);
    std::vector<std::string> names;
    struct stat self;
    if (!open.IsOpen() || ::fstat(open.Fd(), &self) != 0 || !open.Names(names)) {
        error = CannotRead(folder);
        return false;
    }
    auto again = reading.folders.emplace(std::make_pair(self.st_dev, self.st_ino), folder);
    if (!again.second) {
        error = Quoted(folder) + " leads through a link to " + Quoted(again.first->second) +
                ", which is read already; a card holds each folder once";
        return false;
    }
    // The folded names seen in this folder, with the host names they came from.
    std::unordered_map<std::u16string, std::size_t> seen;
    seen.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto host = [&](std::size_t k) { return folder + "/" + names[k]; };
        const std::size_t bad = Utf8End(names[i]);
        if (bad < names[i].size()) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(names[i][bad])));
            error = Quoted(host(i)) + ": the name is not UTF-8 (byte " + byte +
                    "), and the device's names are Unicode; rename it";
            return false;
        }
        std::u16string deviceName = sim::Utf16(names[i]);
        const std::string problem = NameProblem(deviceName);
        if (!problem.empty()) {
            error = Quoted(host(i)) + ": the device cannot hold this name: " + problem;
            return false;
        }
        auto other = seen.emplace(sim::Fold(deviceName), i);
        if (!other.second) {
            error = Quoted(host(other.first->second)) + " and " + Quoted(host(i)) +
                    " differ only in case, and the device's names ignore case, so it cannot "
                    "hold both";
            return false;
        }
        struct stat info;
        if (::fstatat(open.Fd(), names[i].c_str(), &info, 0) != 0) {
            error = CannotRead(host(i));
            return false;
        }
        sim::Entry entry;
        entry.path = devicePath + u"\\" + deviceName;
        entry.time = TicksFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        const bool isFolder = S_ISDIR(info.st_mode);
        entry.attributes = isFolder ? static_cast<std::uint32_t>(sim::AttrDirectory) : 0u;
        // A file nobody may write is read-only, as on a burnt card: the mode
        // says so (access() would say yes to root whatever the mode).
        if (!isFolder && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            entry.attributes |= sim::AttrReadOnly;
        }
        const WithBytes kind = BytesOf(deviceName);
        if (S_ISREG(info.st_mode) && kind.most > 0 &&
            !ReadBytes(open.Fd(), names[i], host(i), info.st_size, kind, entry.content, error)) {
            return false;
        }
        entries.push_back(std::move(entry));
        if (isFolder) {
            // A copy: the entries grow as the folder is read.
            const std::u16string path = entries.back().path;
            if (!ReadFolder(reading, open.Fd(), names[i], host(i), path, depth + 1)) {
                return false;
            }
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

bool ReadHostFile(const std::string& hostFile, sim::Entry& entry, bool timeGiven,
                  std::string& error) {
    struct stat info;
    if (::stat(hostFile.c_str(), &info) != 0) {
        error = CannotRead(hostFile);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = Quoted(hostFile) + " is not a file on this machine";
        return false;
    }
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        entry.attributes |= sim::AttrReadOnly;
    }
    if (!timeGiven) {
        entry.time = TicksFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    }
    return ReadBytes(AT_FDCWD, hostFile, hostFile, info.st_size,
                     {static_cast<off_t>(sim::MaxPackageBytes), "file"}, entry.content, error);
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
    Reading reading{entries, error, {}};
    return ReadFolder(reading, AT_FDCWD, hostFolder, hostFolder, devicePath, 0);
}

} // namespace simtool
