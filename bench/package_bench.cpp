// bench_package: how long reading a package takes, cabinet and setup file
// with every file extracted. A measurement, not a test: scripts/bench-load
// runs it on packages that scripts/make-cab makes.
//
//   bench_package [--rounds N] CABINET...
#include "device/package.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    int rounds = 10;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: bench_package [--rounds N] CABINET...\n");
        return 2;
    }
    std::printf("%-28s %10s %6s %10s %9s %9s\n", "package", "cab bytes", "files", "content",
                "best ms", "median ms");
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        std::vector<double> ms;
        sim::Package package;
        for (int round = 0; round < rounds; ++round) {
            std::string error;
            const Clock::time_point start = Clock::now();
            const bool read = sim::ReadPackage(bytes, package, error);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (!read) {
                std::fprintf(stderr, "bench_package: %s: %s\n", file.c_str(), error.c_str());
                return 1;
            }
        }
        std::uint64_t content = 0;
        for (const sim::PackageFile& entry : package.files) {
            content += entry.bytes->size();
        }
        std::sort(ms.begin(), ms.end());
        const std::string name = file.substr(file.find_last_of('/') + 1);
        std::printf("%-28s %10zu %6zu %10llu %9.1f %9.1f\n", name.c_str(), bytes.size(),
                    package.files.size(), static_cast<unsigned long long>(content), ms.front(),
                    ms[ms.size() / 2]);
    }
    return 0;
}
