// Reading a package's setup file (".000"): its 100-byte header, the APPNAME,
// PROVIDER and UNSUPPORTED strings, and the STRINGS, DIRS, FILES, REGHIVES,
// REGKEYS and LINKS sections, each entry checked against the file's end and
// each id against the entries that exist.
#include "device/bytes.h"
#include "device/names.h"
#include "device/package.h"

#include <map>
#include <string>
#include <utility>

namespace sim {

namespace {

constexpr std::uint32_t HeaderSize = 100;
constexpr std::uint32_t Signature = 0x4543534D; // "MSCE"
// A folder, key or link name longer than a path on the device names nothing
// there; the bound also keeps what ids can make of a small file small.
constexpr std::size_t MaxPathText = 260;
constexpr std::uint16_t StandardFolders = 17; // %CE1% to %CE17%

constexpr std::uint32_t ValueTypeMask = 0x00010001;
constexpr std::uint32_t ValueString = 0x00000000;
constexpr std::uint32_t ValueMultiString = 0x00010000;
constexpr std::uint32_t ValueDword = 0x00010001;
constexpr std::uint32_t ValueNoClobber = 0x2;

// The setup file's bytes, and its lists of texts.
class Bytes : public ByteRange {
  public:
    explicit Bytes(const std::vector<std::uint8_t>& bytes) : ByteRange(bytes) {}
    // Zero-terminated texts one after another in [offset, offset + length),
    // up to an empty one or the range's end; false when one has no
    // terminator.
    bool Texts(std::size_t offset, std::size_t length, std::vector<std::string>& texts) const {
        std::size_t at = offset;
        const std::size_t end = offset + length;
        while (at < end) {
            std::string text;
            if (!Text(at, end - at, text)) {
                return false;
            }
            if (text.empty()) {
                break;
            }
            at += text.size() + 1;
            texts.push_back(text);
        }
        return true;
    }
};

std::string FileSize(const Bytes& file) {
    return "the " + std::to_string(file.Size()) + "-byte setup file";
}

// One of the header's strings: APPNAME, PROVIDER or UNSUPPORTED.
bool HeaderRange(const Bytes& file, const char* name, std::uint16_t offset, std::uint16_t length,
                 std::string& error) {
    const std::string which = std::string("the ") + name + " string";
    if (offset < HeaderSize && length != 0) {
        error = which + " at " + std::to_string(offset) + " is inside the 100-byte header";
        return false;
    }
    if (!file.Has(offset, length)) {
        error = which + " at " + std::to_string(offset) + " (" + std::to_string(length) +
                " bytes) runs past the end of " + FileSize(file);
        return false;
    }
    return true;
}

bool HeaderText(const Bytes& file, const char* name, std::size_t at, std::string& text,
                std::string& error) {
    const std::uint16_t offset = file.U16(at), length = file.U16(at + 2);
    if (!HeaderRange(file, name, offset, length, error)) {
        return false;
    }
    if (!file.Text(offset, length, text)) {
        error = std::string("the ") + name + " string has no terminator within its " +
                std::to_string(length) + " bytes";
        return false;
    }
    return true;
}

// Walks the entries of one section. Each entry is `fixed` bytes, then as
// many bytes as the 16-bit length at `lengthAt` within them says.
class Section {
  public:
    Section(const Bytes& file, const char* name, std::size_t countAt, std::size_t offsetAt)
        : file_(file), name_(name), count_(file.U16(countAt)), at_(file.U32(offsetAt)) {}

    std::uint16_t Count() const {
        return count_;
    }
    // Checks the section, then hands each entry to read: where it starts,
    // and where and how long its variable part is. False, with error set, at
    // the first entry that runs past the file or that read refuses.
    template <typename Read>
    bool Each(std::size_t fixed, std::size_t lengthAt, std::string& error, Read read) {
        if (!Check(error)) {
            return false;
        }
        for (std::uint32_t i = 0; i < count_; ++i) {
            std::size_t start, rest, length;
            if (!Next(fixed, lengthAt, start, rest, length, error) || !read(start, rest, length)) {
                return false;
            }
        }
        return true;
    }

  private:
    // The section's place, checked once before its first entry.
    bool Check(std::string& error) const {
        if (count_ == 0) {
            return true;
        }
        const std::string which = std::string("the ") + name_ + " offset " + std::to_string(at_);
        if (at_ < HeaderSize) {
            error = which + " is inside the 100-byte header";
            return false;
        }
        if (at_ >= file_.Size()) {
            error = which + " is past the end of " + FileSize(file_);
            return false;
        }
        return true;
    }
    // The next entry: where it starts, and where and how long its variable
    // part is.
    bool Next(std::size_t fixed, std::size_t lengthAt, std::size_t& start, std::size_t& rest,
              std::size_t& restLength, std::string& error) {
        ++index_;
        if (!file_.Has(at_, fixed) || !file_.Has(at_ + fixed, file_.U16(at_ + lengthAt))) {
            error = "entry " + std::to_string(index_) + " of " + std::to_string(count_) +
                    " of the " + name_ + " section runs past the end of " + FileSize(file_);
            return false;
        }
        start = at_;
        rest = at_ + fixed;
        restLength = file_.U16(at_ + lengthAt);
        at_ = rest + restLength;
        return true;
    }

    const Bytes& file_;
    const char* name_;
    std::uint16_t count_;
    std::uint64_t at_;
    std::uint32_t index_ = 0;
};

// The setup file being read, and where each id's entry is in the package.
struct Setup {
    const Bytes& file;
    Package& package;
    std::map<std::uint16_t, std::size_t> folders, files, hives; // id -> index
};

// A list of string ids, as DIRS, REGHIVES and LINKS give a path: the strings
// joined with "\". The list is read by its length, and a 0 ends it early: the
// format document shows a 0 closing every list, and CabWiz writes none after
// a link's.
bool Path(const Setup& setup, std::size_t offset, std::size_t length, const std::string& what,
          std::string& path, std::string& error) {
    const Bytes& file = setup.file;
    const Package& package = setup.package;
    const std::size_t end = offset + length;
    for (std::size_t at = offset; at < end; at += 2) {
        if (at + 2 > end) {
            error = what + "'s string ids end in half an id (" + std::to_string(length) + " bytes)";
            return false;
        }
        const std::uint16_t id = file.U16(at);
        if (id == 0) {
            return true;
        }
        const auto string = package.strings.find(id);
        if (string == package.strings.end()) {
            error = what + " names string " + std::to_string(id) + ", which does not exist";
            return false;
        }
        path += (path.empty() ? "" : "\\") + string->second;
        if (path.size() > MaxPathText) {
            error = what + " is longer than " + std::to_string(MaxPathText) + " characters";
            return false;
        }
    }
    return true;
}

bool ReadStrings(Setup& setup, std::string& error) {
    const Bytes& file = setup.file;
    Section section(file, "STRINGS", 48, 60);
    return section.Each(4, 2, error, [&](std::size_t start, std::size_t rest, std::size_t length) {
        const std::uint16_t id = file.U16(start);
        std::string text;
        if (!file.Text(rest, length, text)) {
            error = "string " + std::to_string(id) + " has no terminator within its " +
                    std::to_string(length) + " bytes";
            return false;
        }
        if (!setup.package.strings.emplace(id, text).second) {
            error = "string " + std::to_string(id) + " is given twice";
            return false;
        }
        return true;
    });
}

bool ReadFolders(Setup& setup, std::string& error) {
    const Bytes& file = setup.file;
    Section section(file, "DIRS", 50, 64);
    return section.Each(4, 2, error, [&](std::size_t start, std::size_t rest, std::size_t length) {
        PackageFolder folder;
        folder.id = file.U16(start);
        const std::string what = "folder " + std::to_string(folder.id);
        if (!setup.folders.emplace(folder.id, setup.package.folders.size()).second) {
            error = what + " is given twice";
            return false;
        }
        if (!Path(setup, rest, length, what, folder.path, error)) {
            return false;
        }
        if (folder.path.empty()) {
            error = what + " names no strings";
            return false;
        }
        setup.package.folders.push_back(folder);
        return true;
    });
}

bool ReadFiles(Setup& setup, std::string& error) {
    const Bytes& file = setup.file;
    Section section(file, "FILES", 52, 68);
    if (section.Count() > MaxPackageFiles) {
        error = "the package has " + std::to_string(section.Count()) + " files, more than " +
                std::to_string(MaxPackageFiles);
        return false;
    }
    return section.Each(12, 10, error,
                        [&](std::size_t start, std::size_t rest, std::size_t length) {
                            PackageFile entry;
                            entry.id = file.U16(start);
                            entry.flags = file.U32(start + 6);
                            const std::string what = "file " + std::to_string(entry.id);
                            if (entry.id == 0) {
                                error = "file 0 would install the setup file itself";
                                return false;
                            }
                            if (!setup.files.emplace(entry.id, setup.package.files.size()).second) {
                                error = what + " is given twice";
                                return false;
                            }
                            const std::uint16_t folderId = file.U16(start + 2);
                            const auto folder = setup.folders.find(folderId);
                            if (folder == setup.folders.end()) {
                                error = what + " goes in folder " + std::to_string(folderId) +
                                        ", which does not exist";
                                return false;
                            }
                            entry.folder = setup.package.folders[folder->second].path;
                            if (!file.Text(rest, length, entry.name)) {
                                error = what + "'s name has no terminator within its " +
                                        std::to_string(length) + " bytes";
                                return false;
                            }
                            if (entry.name.empty()) {
                                error = what + " has no name";
                                return false;
                            }
                            setup.package.files.push_back(entry);
                            return true;
                        });
}

bool ReadHives(Setup& setup, std::string& error) {
    const Bytes& file = setup.file;
    Section section(file, "REGHIVES", 54, 72);
    return section.Each(8, 6, error, [&](std::size_t start, std::size_t rest, std::size_t length) {
        PackageHive hive;
        hive.id = file.U16(start);
        hive.root = file.U16(start + 2);
        const std::string what = "hive " + std::to_string(hive.id);
        if (!setup.hives.emplace(hive.id, setup.package.hives.size()).second) {
            error = what + " is given twice";
            return false;
        }
        if (hive.root < PackageRootClassesRoot || hive.root > PackageRootUsers) {
            error = what + " has root " + std::to_string(hive.root) + " (1 to 4 are the roots)";
            return false;
        }
        if (!Path(setup, rest, length, what, hive.path, error)) {
            return false;
        }
        setup.package.hives.push_back(hive);
        return true;
    });
}

// A value's data after its name, by its type.
bool ReadValueData(const Bytes& file, std::size_t at, std::size_t length, PackageValue& value,
                   const std::string& what, std::string& error) {
    switch (value.type) {
    case PackageValueType::Dword:
        if (length < 4) {
            error = what + " has " + std::to_string(length) + " bytes of data, too few for a DWORD";
            return false;
        }
        value.number = file.U32(at);
        return true;
    case PackageValueType::String:
        if (!file.Text(at, length, value.text)) {
            error = what + "'s text has no terminator within its data";
            return false;
        }
        return true;
    case PackageValueType::MultiString:
        if (!file.Texts(at, length, value.texts)) {
            error = what + " has a text with no terminator within its data";
            return false;
        }
        return true;
    case PackageValueType::Binary:
        for (std::size_t i = 0; i < length; ++i) {
            value.data.push_back(file.At(at + i));
        }
        return true;
    }
    return false;
}

PackageValueType ValueType(std::uint32_t flags) {
    switch (flags & ValueTypeMask) {
    case ValueString:
        return PackageValueType::String;
    case ValueMultiString:
        return PackageValueType::MultiString;
    case ValueDword:
        return PackageValueType::Dword;
    default:
        return PackageValueType::Binary;
    }
}

bool ReadValues(Setup& setup, std::string& error) {
    const Bytes& file = setup.file;
    Section section(file, "REGKEYS", 56, 76);
    return section.Each(
        12, 10, error, [&](std::size_t start, std::size_t rest, std::size_t length) {
            PackageValue value;
            const std::string what = "registry value " + std::to_string(file.U16(start));
            const std::uint16_t hiveId = file.U16(start + 2);
            const auto hive = setup.hives.find(hiveId);
            if (hive == setup.hives.end()) {
                error = what + " is in hive " + std::to_string(hiveId) + ", which does not exist";
                return false;
            }
            value.root = setup.package.hives[hive->second].root;
            value.key = setup.package.hives[hive->second].path;
            value.substitute = file.U16(start + 4) != 0;
            const std::uint32_t flags = file.U32(start + 6);
            value.type = ValueType(flags);
            value.noClobber = (flags & ValueNoClobber) != 0;
            if (!file.Text(rest, length, value.name)) {
                error = what + "'s name has no terminator within its " + std::to_string(length) +
                        " bytes";
                return false;
            }
            const std::size_t data = value.name.size() + 1;
            if (!ReadValueData(file, rest + data, length - data, value, what, error)) {
                return false;
            }
            setup.package.values.push_back(value);
            return true;
        });
}

// What a link starts or opens: an installed file's path, or a folder's.
bool LinkTarget(const Setup& setup, std::uint16_t type, std::uint16_t target, PackageLink& link,
                const std::string& what, std::string& error) {
    const Package& package = setup.package;
    if (type == 1) {
        const auto file = setup.files.find(target);
        if (file == setup.files.end()) {
            error = what + " starts file " + std::to_string(target) + ", which does not exist";
            return false;
        }
        const PackageFile& to = package.files[file->second];
        link.toFile = true;
        link.target = to.folder + "\\" + to.name;
        return true;
    }
    if (type == 0) {
        if (target == 0) {
            link.target = "%InstallDir%";
            return true;
        }
        const auto folder = setup.folders.find(target);
        if (folder == setup.folders.end()) {
            error = what + " opens folder " + std::to_string(target) + ", which does not exist";
            return false;
        }
        link.target = package.folders[folder->second].path;
        return true;
    }
    error = what + " has type " + std::to_string(type) + " (0 is a folder, 1 a file)";
    return false;
}

// The folder a link goes in. Base n is "%CEn%". With base 0, the field the
// format document calls unknown names a directory, as older CabWiz writes
// it; 0 there too is the install directory.
bool LinkFolder(const Setup& setup, std::uint16_t base, std::uint16_t folderId, PackageLink& link,
                const std::string& what, std::string& error) {
    if (base > StandardFolders) {
        error = what + " goes in standard folder " + std::to_string(base) +
                ", which does not exist (0 is %InstallDir%, 1 to 17 are %CE1% to %CE17%)";
        return false;
    }
    if (base != 0) {
        link.folder = "%CE" + std::to_string(base) + "%";
    } else if (folderId != 0) {
        const auto folder = setup.folders.find(folderId);
        if (folder == setup.folders.end()) {
            error = what + " goes in folder " + std::to_string(folderId) + ", which does not exist";
            return false;
        }
        link.folder = setup.package.folders[folder->second].path;
    } else {
        link.folder = "%InstallDir%";
    }
    return true;
}

bool ReadLinks(Setup& setup, std::string& error) {
    const Bytes& file = setup.file;
    Section section(file, "LINKS", 58, 80);
    return section.Each(
        12, 10, error, [&](std::size_t start, std::size_t rest, std::size_t length) {
            PackageLink link;
            link.id = file.U16(start);
            const std::string what = "link " + std::to_string(link.id);
            if (!LinkFolder(setup, file.U16(start + 4), file.U16(start + 2), link, what, error) ||
                !LinkTarget(setup, file.U16(start + 8), file.U16(start + 6), link, what, error) ||
                !Path(setup, rest, length, what, link.name, error)) {
                return false;
            }
            if (link.name.empty()) {
                error = what + " has no name";
                return false;
            }
            link.file = HasExtension(Utf16(link.name), u".lnk") ? link.name : link.name + ".lnk";
            setup.package.links.push_back(link);
            return true;
        });
}

// Whether a folder's text is a folder of its own: it starts with a standard
// folder ("%CE1%" to "%CE17%", in any case) or at the root, not with
// "%InstallDir%".
bool IsFolder(const std::string& text) {
    if (text.empty() || text.size() > MaxPathText) {
        return false;
    }
    if (text[0] == '\\') {
        return true;
    }
    const std::string first = text.substr(0, text.find('\\'));
    if (first.size() < 5 || first[0] != '%' || (first[1] != 'C' && first[1] != 'c') ||
        (first[2] != 'E' && first[2] != 'e') || first.back() != '%') {
        return false;
    }
    const std::string digits = first.substr(3, first.size() - 4);
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return digits.size() <= 2 && digits[0] != '0' && std::stoi(digits) <= StandardFolders;
}

// The install directory, which the setup file does not name as such. CabWiz
// writes the INF's InstallDir as string 1, and directory 1 as that string:
// directory 1's path when it is a folder, else string 1's, else the
// application's name in %CE1%.
void ReadInstallDir(const Setup& setup, Package& package) {
    const auto folder = setup.folders.find(1);
    const auto string = package.strings.find(1);
    if (folder != setup.folders.end() && IsFolder(package.folders[folder->second].path)) {
        package.installDir = package.folders[folder->second].path;
        package.installDirFrom = PackageInstallDirFrom::Folder1;
    } else if (string != package.strings.end() && IsFolder(string->second)) {
        package.installDir = string->second;
        package.installDirFrom = PackageInstallDirFrom::String1;
    } else {
        package.installDir =
            "%CE1%" +
            (package.header.appName.empty() ? std::string() : "\\" + package.header.appName);
        package.installDirFrom = PackageInstallDirFrom::AppName;
    }
}

} // namespace

bool ReadSetupFile(const std::vector<std::uint8_t>& bytes, Package& package, std::string& error) {
    const Bytes file(bytes);
    if (!file.Has(0, HeaderSize)) {
        error = "the setup file is " + std::to_string(bytes.size()) +
                " bytes, shorter than its 100-byte header";
        return false;
    }
    if (file.U32(0) != Signature) {
        error = "the setup file does not start with \"MSCE\"";
        return false;
    }
    if (file.U32(8) != bytes.size()) {
        error = "the setup file gives its length as " + std::to_string(file.U32(8)) +
                " bytes, but it is " + std::to_string(bytes.size());
        return false;
    }
    Package read;
    PackageHeader& header = read.header;
    header.processor = file.U32(20);
    header.minMajor = file.U32(24);
    header.minMinor = file.U32(28);
    header.maxMajor = file.U32(32);
    header.maxMinor = file.U32(36);
    header.minBuild = file.U32(40);
    header.maxBuild = file.U32(44);
    if (!HeaderText(file, "APPNAME", 84, header.appName, error) ||
        !HeaderText(file, "PROVIDER", 88, header.provider, error)) {
        return false;
    }
    const std::uint16_t unsupportedAt = file.U16(92), unsupportedLength = file.U16(94);
    if (!HeaderRange(file, "UNSUPPORTED", unsupportedAt, unsupportedLength, error)) {
        return false;
    }
    if (!file.Texts(unsupportedAt, unsupportedLength, header.unsupported)) {
        error = "the UNSUPPORTED list has a name with no terminator within its " +
                std::to_string(unsupportedLength) + " bytes";
        return false;
    }
    Setup setup{file, read, {}, {}, {}};
    if (!ReadStrings(setup, error) || !ReadFolders(setup, error) || !ReadFiles(setup, error) ||
        !ReadHives(setup, error) || !ReadValues(setup, error) || !ReadLinks(setup, error)) {
        return false;
    }
    ReadInstallDir(setup, read);
    package = std::move(read);
    return true;
}

} // namespace sim
