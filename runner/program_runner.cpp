// The programs that run on the device, and the image autorun-sim is given.
#include "runner/program_runner.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace runner {

sim::Outcome ProgramRunner::Run(sim::Device& device, const std::u16string& path,
                                const sim::Entry* file, const std::u16string& args) {
    sim::Outcome outcome;
    if (file != nullptr && file->content && !file->content->empty()) {
        outcome = image.Run(device, path, file, args);
    } else if (standIn) {
        sim::Entry standing = file != nullptr ? *file : sim::Entry{path};
        standing.content = standIn;
        outcome = image.Run(device, path, &standing, args);
    } else if (hostStandsIn) {
        outcome = native.Run(device, path, file, args);
    } else {
        outcome = image.Run(device, path, file, args);
    }
    instructions += outcome.instructions;
    return outcome;
}

bool ReadImageFile(const std::string& file, sim::Content& bytes, PeImage& image,
                   std::string& error) {
    struct stat info;
    if (::stat(file.c_str(), &info) != 0) {
        error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "cannot read: not a regular file";
        return false;
    }
    if (info.st_size > static_cast<off_t>(MaxImageSize)) {
        error = "larger than " + std::to_string(MaxImageSize >> 20) + " MiB, more than an image";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    auto content =
        std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(info.st_size));
    if (!in || !in.read(reinterpret_cast<char*>(content->data()),
                        static_cast<std::streamsize>(content->size()))) {
        error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    if (!ReadPeImage(*content, image, error)) {
        error = "not an image autorun-sim can run: " + error;
        return false;
    }
    if (image.machine != MachineArm && image.machine != MachineI386) {
        error = "an image for machine " + MachineName(image.machine) +
                "; autorun-sim runs ARM (0x1C0) and i386 (0x14C) images";
        return false;
    }
    bytes = std::move(content);
    return true;
}

} // namespace runner
