// Reading a PE32 image: headers, sections and imports; and a string of its
// string table, when asked for.
#include "runner/pe_image.h"

#include "device/bytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace runner {

namespace {

constexpr std::uint32_t PageSize = 0x1000;
constexpr std::uint16_t OptionalMagicPe32 = 0x10B;
constexpr std::uint16_t OptionalMagicPe32Plus = 0x20B;
constexpr std::uint32_t OptionalFixedSize = 96; // up to the data directories
constexpr std::uint32_t SectionHeaderSize = 40;
constexpr std::uint32_t ImportDirectory = 1;
constexpr std::uint32_t ResourceDirectory = 2;
constexpr std::uint32_t ResourceTypeString = 6;
constexpr std::uint32_t MaxNameLength = 512;

constexpr std::uint32_t SectionExecute = 0x20000000;
constexpr std::uint32_t SectionWrite = 0x80000000;

// The file's bytes, and the names its import tables hold.
class Bytes : public sim::ByteRange {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : ByteRange(data, size) {}
    // A zero-terminated name at offset, at most MaxNameLength bytes long.
    bool Name(std::uint64_t offset, std::string& name) const {
        return offset < Size() &&
               Text(static_cast<std::size_t>(offset),
                    std::min<std::size_t>(MaxNameLength, Size() - static_cast<std::size_t>(offset)),
                    name);
    }
};

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

struct Directory {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};

bool ReadSections(const Bytes& file, std::uint32_t table, std::uint16_t count, PeImage& image,
                  std::string& error) {
    const std::uint64_t imageSize = image.memory.size();
    std::uint64_t end = image.headersSize; // sections follow the headers, in address order
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t at = table + i * SectionHeaderSize;
        PeSection section;
        char name[9] = {};
        std::memcpy(name, file.Data(at), 8);
        section.name = name;
        std::uint32_t virtualSize = file.U32(at + 8);
        section.address = file.U32(at + 12);
        std::uint32_t rawSize = file.U32(at + 16);
        std::uint32_t rawOffset = file.U32(at + 20);
        std::uint32_t flags = file.U32(at + 36);
        section.size = virtualSize != 0 ? virtualSize : rawSize;
        section.writable = (flags & SectionWrite) != 0;
        section.executable = (flags & SectionExecute) != 0;
        std::string which = "section " + std::to_string(i + 1) + " (" + section.name + ")";
        if (section.address < end) {
            error = which + " overlaps what comes before it";
            return false;
        }
        if (section.address + static_cast<std::uint64_t>(section.size) > imageSize) {
            error = which + " extends past the image size";
            return false;
        }
        // All of the section's raw data must be in the file, though only as
        // much as fits its size in memory is loaded.
        if (rawSize != 0 && !file.Has(rawOffset, rawSize)) {
            error = which + " has its data past the end of the file";
            return false;
        }
        std::uint32_t copied = std::min(rawSize, section.size);
        if (copied != 0) {
            std::memcpy(&image.memory[section.address], file.Data(rawOffset), copied);
        }
        end = section.address + static_cast<std::uint64_t>(section.size);
        image.sections.push_back(section);
    }
    return true;
}

bool ReadImports(const Bytes& memory, Directory directory, PeImage& image, std::string& error) {
    if (directory.address == 0) {
        return true;
    }
    for (std::uint64_t at = directory.address;; at += 20) {
        if (!memory.Has(at, 20)) {
            error = "the import directory runs past the image";
            return false;
        }
        std::uint32_t lookup = memory.U32(at);
        std::uint32_t dllName = memory.U32(at + 12);
        std::uint32_t slots = memory.U32(at + 16);
        if (dllName == 0 && slots == 0) {
            return true;
        }
        if ((at - directory.address) / 20 >= MaxImports) {
            error = "more than " + std::to_string(MaxImports) + " imported DLLs";
            return false;
        }
        std::string dll;
        if (!memory.Name(dllName, dll)) {
            error = "an imported DLL's name at " + Hex(dllName) + " cannot be read";
            return false;
        }
        std::uint64_t names = lookup != 0 ? lookup : slots;
        for (std::uint64_t i = 0;; ++i) {
            if (!memory.Has(names + 4 * i, 4) || !memory.Has(slots + 4 * i, 4)) {
                error = "the imports from " + dll + " run past the image";
                return false;
            }
            std::uint32_t entry = memory.U32(names + 4 * i);
            if (entry == 0) {
                break;
            }
            if (image.imports.size() >= MaxImports) {
                error = "more than " + std::to_string(MaxImports) + " imports";
                return false;
            }
            PeImport import;
            import.dll = dll;
            import.slot = static_cast<std::uint32_t>(slots + 4 * i);
            if ((entry & 0x80000000u) != 0) {
                // The ordinal is the low 16 bits; a loader ignores the others.
                import.byOrdinal = true;
                import.ordinal = static_cast<std::uint16_t>(entry & 0xFFFF);
            } else if (!memory.Name(entry + 2ull, import.name)) {
                error =
                    "the name of an import from " + dll + " at " + Hex(entry) + " cannot be read";
                return false;
            }
            image.imports.push_back(import);
        }
    }
}

// The entries of one resource directory: (id or name offset, offset) pairs.
bool ResourceEntries(const Bytes& memory, std::uint64_t root, std::uint32_t offset,
                     std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
    std::uint64_t at = root + offset;
    if (!memory.Has(at, 16)) {
        return false;
    }
    std::uint32_t count = memory.U16(at + 12) + static_cast<std::uint32_t>(memory.U16(at + 14));
    if (!memory.Has(at + 16, count * 8ull)) {
        return false;
    }
    entries.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        entries.emplace_back(memory.U32(at + 16 + 8 * i), memory.U32(at + 20 + 8 * i));
    }
    return true;
}

constexpr std::uint32_t ResourceSubdirectory = 0x80000000u;
constexpr std::uint32_t ResourceNamed = 0x80000000u;

// The offset, from the resource directory, of the entry numbered id in the
// directory at offset; false when there is none. With first, the directory's
// first entry, whatever its number.
bool ResourceEntry(const Bytes& memory, std::uint64_t root, std::uint32_t offset, std::uint32_t id,
                   bool first, std::uint32_t& found) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    if (!ResourceEntries(memory, root, offset, entries)) {
        return false;
    }
    for (const auto& entry : entries) {
        if (first || ((entry.first & ResourceNamed) == 0 && entry.first == id)) {
            found = entry.second;
            return true;
        }
    }
    return false;
}

} // namespace

// The string table is in blocks of 16 counted strings: string id is string
// id % 16 of block id / 16 + 1. Only what leads to the string is read.
bool ReadImageString(const PeImage& image, std::uint32_t id, std::u16string& text) {
    text.clear();
    if (image.resources == 0 || id > 0xFFFF) {
        return false;
    }
    const Bytes memory(image.memory.data(), image.memory.size());
    const std::uint64_t root = image.resources;
    std::uint32_t table = 0;
    std::uint32_t block = 0;
    std::uint32_t data = 0;
    if (!ResourceEntry(memory, root, 0, ResourceTypeString, false, table) ||
        (table & ResourceSubdirectory) == 0 ||
        !ResourceEntry(memory, root, table & ~ResourceSubdirectory, id / 16 + 1, false, block) ||
        (block & ResourceSubdirectory) == 0 ||
        !ResourceEntry(memory, root, block & ~ResourceSubdirectory, 0, true, data) ||
        (data & ResourceSubdirectory) != 0 || !memory.Has(root + data, 16)) {
        return false;
    }
    // Any language: the first the table holds.
    const std::uint64_t address = memory.U32(root + data);
    const std::uint64_t end = address + memory.U32(root + data + 4);
    if (!memory.Has(address, end - address)) {
        return false;
    }
    std::uint64_t at = address;
    for (std::uint32_t i = 0;; ++i) {
        if (at + 2 > end) {
            return false;
        }
        std::uint32_t length = memory.U16(at);
        at += 2;
        if (at + 2ull * length > end) {
            return false;
        }
        if (i == id % 16) {
            for (std::uint32_t k = 0; k < length; ++k) {
                text += static_cast<char16_t>(memory.U16(at + 2 * k));
            }
            return length != 0;
        }
        at += 2ull * length;
    }
}

bool ReadPeImage(const std::vector<std::uint8_t>& bytes, PeImage& image, std::string& error) {
    image = PeImage();
    const Bytes file(bytes.data(), bytes.size());
    if (!file.Has(0, 64) || file.U16(0) != 0x5A4D) {
        error = "not a PE image (no MZ header)";
        return false;
    }
    const std::uint64_t pe = file.U32(0x3C);
    if (!file.Has(pe, 24) || file.U32(pe) != 0x00004550) {
        error = "not a PE image (no PE signature)";
        return false;
    }
    const std::uint64_t coff = pe + 4;
    image.machine = file.U16(coff);
    const std::uint16_t sectionCount = file.U16(coff + 2);
    const std::uint16_t optionalSize = file.U16(coff + 16);
    const std::uint64_t optional = coff + 20;
    if (optionalSize < 2 || !file.Has(optional, optionalSize)) {
        error = "the optional header runs past the end of the file";
        return false;
    }
    const std::uint16_t magic = file.U16(optional);
    if (magic == OptionalMagicPe32Plus) {
        error = "a 64-bit (PE32+) image";
        return false;
    }
    if (magic != OptionalMagicPe32 || optionalSize < OptionalFixedSize) {
        error = "not a PE32 optional header";
        return false;
    }
    image.entryPoint = file.U32(optional + 16);
    image.imageBase = file.U32(optional + 28);
    const std::uint32_t imageSize = file.U32(optional + 56);
    image.headersSize = file.U32(optional + 60);
    image.subsystem = file.U16(optional + 68);
    image.subsystemMajor = file.U16(optional + 48);
    image.subsystemMinor = file.U16(optional + 50);
    image.stackReserve = file.U32(optional + 72);
    const std::uint32_t directoryCount = file.U32(optional + 92);
    if (directoryCount > (optionalSize - OptionalFixedSize) / 8u) {
        error = "the data directories run past the optional header";
        return false;
    }
    if (image.imageBase < 0x10000 || image.imageBase % PageSize != 0) {
        error = "image base " + Hex(image.imageBase) + " is not a page above 64 KB";
        return false;
    }
    if (imageSize == 0 || imageSize > MaxImageSize ||
        static_cast<std::uint64_t>(image.imageBase) + imageSize > 0x100000000ull) {
        error = "image size " + Hex(imageSize) + " out of range";
        return false;
    }
    if (image.stackReserve < PageSize || image.stackReserve > MaxImageSize) {
        error = "stack reserve " + Hex(image.stackReserve) + " out of range";
        return false;
    }
    const std::uint64_t table = optional + optionalSize;
    const std::uint64_t tableEnd =
        table + SectionHeaderSize * static_cast<std::uint64_t>(sectionCount);
    if (image.headersSize > imageSize || !file.Has(0, image.headersSize) ||
        tableEnd > image.headersSize) {
        error = "the headers and section table do not fit the file and the image";
        return false;
    }
    image.memory.assign((imageSize + PageSize - 1) / PageSize * PageSize, 0);
    std::memcpy(image.memory.data(), bytes.data(), image.headersSize);
    if (!ReadSections(file, static_cast<std::uint32_t>(table), sectionCount, image, error)) {
        return false;
    }
    bool entryInSection = false;
    for (const PeSection& section : image.sections) {
        entryInSection = entryInSection || (image.entryPoint >= section.address &&
                                            image.entryPoint - section.address < section.size);
    }
    if (!entryInSection) {
        error = "entry point " + Hex(image.entryPoint) + " is in no section";
        return false;
    }
    Directory directories[3];
    for (std::uint32_t i = 0; i < 3 && i < directoryCount; ++i) {
        directories[i].address = file.U32(optional + OptionalFixedSize + 8 * i);
        directories[i].size = file.U32(optional + OptionalFixedSize + 8 * i + 4);
    }
    image.resources = directories[ResourceDirectory].address;
    const Bytes memory(image.memory.data(), imageSize);
    return ReadImports(memory, directories[ImportDirectory], image, error);
}

} // namespace runner
