// Reading a Windows CE installation cabinet: the MS-CAB container through
// libmspack, over an I/O layer that reads the cabinet from memory and
// extracts into memory, then the setup file (setup_file.cpp) and the files it
// names, by number.
#include "device/package.h"

#include <mspack.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>

namespace sim {

namespace {

constexpr char CabinetName[] = "cabinet"; // what open() is given for the input
constexpr char OutputName[] = "output";   // and for the file being extracted
constexpr std::uint16_t SetupNumber = 0;
constexpr std::uint16_t SetupDllNumber = 999;
constexpr std::int64_t UnixEpochTicks = 11644473600ll * TicksPerSecond;

// libmspack's I/O: the cabinet is read from the input bytes; an extracted
// file is appended to output, up to limit bytes.
struct MemorySystem : mspack_system {
    const std::vector<std::uint8_t>* input = nullptr;
    std::vector<std::uint8_t>* output = nullptr;
    std::uint64_t limit = 0;
};

struct MemoryFile : mspack_file {
    MemorySystem* system = nullptr;
    bool writing = false;
    std::size_t at = 0; // reading: the position in the input
};

mspack_file* Open(mspack_system* self, const char* name, int mode) {
    MemorySystem* system = static_cast<MemorySystem*>(self);
    const bool reading = mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, CabinetName) == 0;
    const bool writing = mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, OutputName) == 0 &&
                         system->output != nullptr;
    if (!reading && !writing) {
        return nullptr;
    }
    MemoryFile* file = new (std::nothrow) MemoryFile;
    if (file != nullptr) {
        file->system = system;
        file->writing = writing;
    }
    return file;
}

void Close(mspack_file* file) {
    delete static_cast<MemoryFile*>(file);
}

int Read(mspack_file* handle, void* buffer, int bytes) {
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    const std::vector<std::uint8_t>& input = *file->system->input;
    if (file->writing || bytes < 0) {
        return -1;
    }
    const std::size_t count = std::min<std::size_t>(bytes, input.size() - file->at);
    if (count != 0) {
        std::memcpy(buffer, input.data() + file->at, count);
    }
    file->at += count;
    return static_cast<int>(count);
}

int Write(mspack_file* handle, void* buffer, int bytes) {
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    std::vector<std::uint8_t>& output = *file->system->output;
    if (!file->writing || bytes < 0 || output.size() + bytes > file->system->limit) {
        return -1;
    }
    const std::uint8_t* data = static_cast<const std::uint8_t*>(buffer);
    output.insert(output.end(), data, data + bytes);
    return bytes;
}

int Seek(mspack_file* handle, off_t offset, int mode) {
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    const std::int64_t size = static_cast<std::int64_t>(file->system->input->size());
    std::int64_t base = 0;
    if (mode == MSPACK_SYS_SEEK_CUR) {
        base = static_cast<std::int64_t>(file->at);
    } else if (mode == MSPACK_SYS_SEEK_END) {
        base = size;
    } else if (mode != MSPACK_SYS_SEEK_START) {
        return -1;
    }
    // Positions stay within the input: a seek past its end is an error, as a
    // truncated cabinet's data is.
    if (file->writing || offset < -base || offset > size - base) {
        return -1;
    }
    file->at = static_cast<std::size_t>(base + offset);
    return 0;
}

off_t Tell(mspack_file* handle) {
    return static_cast<off_t>(static_cast<MemoryFile*>(handle)->at);
}

// libmspack's warnings (a truncated cabinet, say) are not shown: what makes
// the package unreadable is an error of the call that met it.
void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, std::size_t bytes) {
    return std::malloc(bytes);
}

void Free(void* memory) {
    std::free(memory);
}

void Copy(void* from, void* to, std::size_t bytes) {
    std::memcpy(to, from, bytes);
}

std::string MspackError(int code) {
    switch (code) {
    case MSPACK_ERR_OPEN:
        return "cannot be opened";
    case MSPACK_ERR_READ:
        return "cannot be read, it ends too soon";
    case MSPACK_ERR_WRITE:
        return "holds more than was expected";
    case MSPACK_ERR_SEEK:
        return "cannot be read, it ends too soon";
    case MSPACK_ERR_NOMEMORY:
        return "needs more memory than there is";
    case MSPACK_ERR_SIGNATURE:
        return "has no MS-CAB signature";
    case MSPACK_ERR_DATAFORMAT:
        return "is malformed";
    case MSPACK_ERR_CHECKSUM:
        return "fails its checksum";
    case MSPACK_ERR_DECRUNCH:
        return "cannot be decompressed";
    default:
        return "cannot be read (libmspack error " + std::to_string(code) + ")";
    }
}

struct DecompressorDeleter {
    void operator()(mscab_decompressor* decompressor) const {
        mspack_destroy_cab_decompressor(decompressor);
    }
};
using Decompressor = std::unique_ptr<mscab_decompressor, DecompressorDeleter>;

// The cabinet open, with the files named by a three-digit extension.
struct Cabinet {
    MemorySystem system;
    Decompressor decompressor;
    mscabd_cabinet* cabinet = nullptr;
    std::map<std::uint16_t, mscabd_file*> numbered;

    ~Cabinet() {
        if (cabinet != nullptr) {
            decompressor->close(decompressor.get(), cabinet);
        }
    }
};

// The number of a cabinet file named "NAME.123"; false for any other name.
bool FileNumber(const char* name, std::uint16_t& number) {
    const std::size_t length = std::strlen(name);
    if (length < 4 || name[length - 4] != '.') {
        return false;
    }
    number = 0;
    for (std::size_t i = length - 3; i < length; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
        number = static_cast<std::uint16_t>(number * 10 + (name[i] - '0'));
    }
    return true;
}

bool OpenCabinet(const std::vector<std::uint8_t>& bytes, Cabinet& cab, std::string& error) {
    int selftest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest != MSPACK_ERR_OK) {
        error = "libmspack was built for another file offset size";
        return false;
    }
    cab.system.open = Open;
    cab.system.close = Close;
    cab.system.read = Read;
    cab.system.write = Write;
    cab.system.seek = Seek;
    cab.system.tell = Tell;
    cab.system.message = Message;
    cab.system.alloc = Alloc;
    cab.system.free = Free;
    cab.system.copy = Copy;
    cab.system.null_ptr = nullptr;
    cab.system.input = &bytes;
    cab.decompressor.reset(mspack_create_cab_decompressor(&cab.system));
    if (!cab.decompressor) {
        error = "the cabinet reader cannot be made";
        return false;
    }
    mscab_decompressor* d = cab.decompressor.get();
    cab.cabinet = d->open(d, CabinetName);
    if (cab.cabinet == nullptr) {
        error = "the file is not a cabinet: it " + MspackError(d->last_error(d));
        return false;
    }
    for (mscabd_file* file = cab.cabinet->files; file != nullptr; file = file->next) {
        std::uint16_t number = 0;
        if (!FileNumber(file->filename, number)) {
            continue; // not a package file: never read
        }
        const auto placed = cab.numbered.emplace(number, file);
        if (!placed.second) {
            error = std::string("the cabinet holds two files numbered ") +
                    (file->filename + std::strlen(file->filename) - 3) + ": " +
                    placed.first->second->filename + " and " + file->filename;
            return false;
        }
    }
    return true;
}

bool Extract(Cabinet& cab, mscabd_file* file, std::vector<std::uint8_t>& bytes,
             std::string& error) {
    bytes.clear();
    // The length the cabinet states, but no more than the cabinet's own size
    // up front: a small cabinet that claims a large file must not cost that
    // memory before its data is found missing.
    bytes.reserve(std::min<std::size_t>(file->length, cab.system.input->size()));
    cab.system.output = &bytes;
    cab.system.limit = file->length;
    mscab_decompressor* d = cab.decompressor.get();
    const int result = d->extract(d, file, OutputName);
    cab.system.output = nullptr;
    if (result != MSPACK_ERR_OK || bytes.size() != file->length) {
        error = std::string("the cabinet's ") + file->filename + " " +
                MspackError(result != MSPACK_ERR_OK ? result : MSPACK_ERR_READ);
        return false;
    }
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The cabinet's date and time of a file (no time zone: taken as the
// device's clock reads) as FILETIME ticks.
bool FileTime(const mscabd_file* file, Ticks& ticks, std::string& error) {
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = file->date_y, month = file->date_m, day = file->date_d;
    const int hour = file->time_h, minute = file->time_m, second = file->time_s;
    const bool dateValid = month >= 1 && month <= 12 && day >= 1 &&
                           day <= monthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (!dateValid || hour > 23 || minute > 59 || second > 59) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                      minute, second);
        error =
            std::string("the cabinet's date of ") + file->filename + " (" + text + ") is no date";
        return false;
    }
    // Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
    // days_from_civil).
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    ticks =
        static_cast<Ticks>(seconds * static_cast<std::int64_t>(TicksPerSecond) + UnixEpochTicks);
    return true;
}

} // namespace

bool ReadPackage(const std::vector<std::uint8_t>& bytes, Package& package, std::string& error) {
    Cabinet cab;
    if (!OpenCabinet(bytes, cab, error)) {
        return false;
    }
    const auto setupFile = cab.numbered.find(SetupNumber);
    if (setupFile == cab.numbered.end()) {
        error = "the cabinet has no .000 setup file";
        return false;
    }
    // What the package's files hold, counted before any is extracted.
    std::uint64_t total = setupFile->second->length;
    if (total > MaxPackageBytes) {
        error = "the setup file is " + std::to_string(total) + " bytes, more than the " +
                std::to_string(MaxPackageBytes) + " a package may hold";
        return false;
    }
    Package read;
    std::vector<std::uint8_t> setup;
    if (!Extract(cab, setupFile->second, setup, error) || !ReadSetupFile(setup, read, error)) {
        return false;
    }
    std::map<std::uint16_t, mscabd_file*> wanted;
    for (const PackageFile& file : read.files) {
        const auto found = cab.numbered.find(file.id);
        if (found == cab.numbered.end()) {
            error = "file " + std::to_string(file.id) + " (" + file.name +
                    ") is not in the cabinet, which holds no ." +
                    std::string(file.id < 10    ? "00"
                                : file.id < 100 ? "0"
                                                : "") +
                    std::to_string(file.id);
            return false;
        }
        if (wanted.emplace(file.id, found->second).second) {
            total += found->second->length;
        }
    }
    if (total > MaxPackageBytes) {
        error = "the package's files hold " + std::to_string(total) + " bytes, more than the " +
                std::to_string(MaxPackageBytes) + " a package may hold";
        return false;
    }
    // In the order they lie in the cabinet, so that a compressed folder is
    // decompressed once, front to back.
    std::map<const mscabd_folder*, int> folderOrder;
    int index = 0;
    for (const mscabd_folder* folder = cab.cabinet->folders; folder; folder = folder->next) {
        folderOrder[folder] = index++;
    }
    std::vector<std::pair<std::uint16_t, mscabd_file*>> order(wanted.begin(), wanted.end());
    std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        const int folderA = folderOrder[a.second->folder], folderB = folderOrder[b.second->folder];
        return folderA != folderB ? folderA < folderB : a.second->offset < b.second->offset;
    });
    std::map<std::uint16_t, std::pair<Content, Ticks>> extracted;
    for (const auto& [number, file] : order) {
        auto content = std::make_shared<std::vector<std::uint8_t>>();
        Ticks time = 0;
        if (!Extract(cab, file, *content, error) || !FileTime(file, time, error)) {
            return false;
        }
        extracted[number] = {content, time};
    }
    for (PackageFile& file : read.files) {
        file.bytes = extracted[file.id].first;
        file.time = extracted[file.id].second;
    }
    const auto setupDll = cab.numbered.find(SetupDllNumber);
    read.hasSetupDll = setupDll != cab.numbered.end();
    read.setupDll = read.hasSetupDll ? setupDll->second->filename : "";
    package = std::move(read);
    return true;
}

} // namespace sim
