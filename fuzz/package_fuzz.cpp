// libFuzzer target for the package reader: an input that starts with "MSCE"
// is read as a setup file alone, any other as a cabinet. The reader must
// refuse it with a reason or accept it whole, never read outside it; what it
// accepts must hold together (aborts otherwise).
#include "device/package.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Fail(const char* rule) {
    std::fprintf(stderr, "package rule broken: %s\n", rule);
    std::abort();
}

// What an accepted package promises its installer.
void CheckPackage(const sim::Package& package, bool wholeCabinet) {
    if (package.files.size() > sim::MaxPackageFiles) {
        Fail("more files than a package may hold");
    }
    std::uint64_t bytes = 0;
    for (const sim::PackageFile& file : package.files) {
        if (file.id == 0 || file.name.empty() || file.folder.empty()) {
            Fail("a file without a number, a name or a folder");
        }
        if (wholeCabinet != (file.bytes != nullptr)) {
            Fail("a file's bytes missing from a cabinet, or present from a setup file alone");
        }
        bytes += file.bytes ? file.bytes->size() : 0;
    }
    if (bytes > sim::MaxPackageBytes) {
        Fail("files larger than a package may hold");
    }
    for (const sim::PackageLink& link : package.links) {
        if (link.name.empty() || link.target.empty() || link.folder.empty()) {
            Fail("a link without a name, a target or a folder");
        }
        if (link.file.rfind(link.name, 0) != 0 || link.file.size() > link.name.size() + 4) {
            Fail("a link's file that is not its name, with .lnk at most added");
        }
    }
    if (package.installDir.empty() ||
        (package.installDir[0] != '%' && package.installDir[0] != '\\')) {
        Fail("an install directory that is no folder");
    }
    for (const sim::PackageHive& hive : package.hives) {
        if (hive.root < sim::PackageRootClassesRoot || hive.root > sim::PackageRootUsers) {
            Fail("a hive with no root");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const bool setupFile = size >= 4 && std::memcmp(data, "MSCE", 4) == 0;
    sim::Package package;
    std::string error;
    const bool read = setupFile ? sim::ReadSetupFile(bytes, package, error)
                                : sim::ReadPackage(bytes, package, error);
    if (read) {
        CheckPackage(package, !setupFile);
    } else if (error.empty()) {
        Fail("a package refused without a reason");
    }
    return 0;
}
