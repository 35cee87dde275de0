#include "runner/executed_file.h"

#include "runner/pe_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace runner {

bool AppendExecuted(const ImageProgram& program, const std::string& file, std::string& error) {
    std::FILE* out = std::fopen(file.c_str(), "a");
    if (out == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    bool written = true;
    for (std::uint16_t machine : {MachineArm, MachineI386}) {
        const std::string name = MachineName(machine);
        for (const Emulator::Range& range : program.Executed(machine)) {
            written = written && std::fprintf(out, "%s %#x %#x\n", name.c_str(), range.first,
                                              range.second) > 0;
        }
    }
    errno = 0;
    written = std::fclose(out) == 0 && written;
    if (!written) {
        error = errno != 0 ? std::strerror(errno) : "write error";
    }
    return written;
}

} // namespace runner
