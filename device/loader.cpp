// The device's loader.
#include "device/loader.h"

#include "device/names.h"

#include <cstdio>

namespace sim {

std::string MachineName(std::uint16_t machine) {
    switch (machine) {
    case MachineArm:
        return "ARM";
    case MachineI386:
        return "i386";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", machine);
    return text;
}

std::string ImportName(const Import& import) {
    return import.byOrdinal ? import.dll + " ordinal " + std::to_string(import.ordinal)
                            : import.dll + "!" + import.name;
}

std::string Loader::Refusal(const ImageFacts& image) const {
    if (image.machine != MachineArm && image.machine != MachineI386) {
        return "an image for machine " + MachineName(image.machine);
    }
    // The device's own kind of image; an i386 image's version is a desktop's.
    return image.machine == MachineArm
               ? NeedsNewerSystem(image.subsystemMajor, image.subsystemMinor)
               : std::string();
}

std::string Loader::NeedsNewerSystem(std::uint32_t major, std::uint32_t minor) const {
    if (major < config_.osMajor || (major == config_.osMajor && minor <= config_.osMinor)) {
        return std::string();
    }
    return "it needs Windows CE " + std::to_string(major) + "." + std::to_string(minor) +
           " and the device has " + std::to_string(config_.osMajor) + "." +
           std::to_string(config_.osMinor) + ", so it is not a valid application here";
}

bool Loader::Resolve(const Import& import, Op& op, std::string& why) const {
    if (!SameName(Utf16(import.dll), u"COREDLL.dll")) {
        why = "the device has no DLL " + import.dll;
        return false;
    }
    if (import.byOrdinal ? !OpWithOrdinal(import.ordinal, op) : !OpNamed(import.name, op)) {
        why = "COREDLL exports no " +
              (import.byOrdinal ? "ordinal " + std::to_string(import.ordinal) : import.name);
        return false;
    }
    return true;
}

Answer Loader::ModuleFileName(const Process& running, platform::HINSTANCE module,
                              platform::DWORD size, std::u16string& path,
                              platform::DWORD& length) const {
    if (size == 0) {
        return Fails(ErrorInsufficientBuffer, "the buffer holds nothing");
    }
    Answer answer;
    // The running program names itself by its instance handle, or by none.
    if (module != running.instance && module != 0) {
        answer.misuse = "a module that is not the program's";
    }
    const std::u16string& own = running.path;
    if (own.size() < size) {
        path = own;
        length = static_cast<platform::DWORD>(own.size());
        return answer;
    }
    // As on the platform: a path that does not fit is cut short and the
    // full buffer size is returned.
    path = own.substr(0, size - 1);
    length = size;
    answer.error = ErrorInsufficientBuffer;
    answer.why = "the path has " + std::to_string(own.size()) +
                 " units, more than fit with a terminator; it is cut short";
    return answer;
}

Answer Loader::String(const Process& running, platform::HINSTANCE instance, platform::UINT id,
                      int size, std::u16string& text) const {
    if (size <= 0) {
        return Fails(ErrorInvalidParameter, "the buffer holds nothing");
    }
    Answer answer;
    if (instance != running.instance) {
        answer.misuse = "an instance that is not the program's";
    }
    std::u16string whole;
    if (!running.loadString || !running.loadString(id, whole) || whole.empty()) {
        answer.error = ErrorResourceNameNotFound;
        answer.why = "the program's string table has no string " + std::to_string(id);
        return answer;
    }
    text = whole.substr(0, static_cast<std::size_t>(size) - 1);
    return answer;
}

} // namespace sim
