// The device's loader.
#include "device/loader.h"

#include "device/names.h"
#include "device/processors.h"

#include <cstdio>

namespace sim {

namespace {

// What the device's loader answers for every file it does not start.
const char NotValid[] = ", so it is not a valid application here";

} // namespace

std::string MachineName(std::uint16_t machine) {
    switch (machine) {
    case MachineArm:
        return "ARM";
    case MachineI386:
        return "i386";
    case MachineMips:
        return "MIPS";
    case MachineSh3:
        return "SH3";
    case MachineSh3e:
        return "SH3E";
    case MachineSh4:
        return "SH4";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", machine);
    return text;
}

std::string ImageFor(std::uint16_t machine) {
    const std::string name = MachineName(machine);
    return name[0] == '0'   ? "an image for machine " + name
           : name[0] == 'M' ? "a " + name + " image"
                            : "an " + name + " image";
}

std::string ImportName(const Import& import) {
    return import.byOrdinal ? import.dll + " ordinal " + std::to_string(import.ordinal)
                            : import.dll + "!" + import.name;
}

LoadDecision Loader::Decide(const ImageFacts& image) const {
    LoadDecision decision;
    decision.facts.push_back(fact::Processor);
    const std::uint16_t runs = MachineOfProcessor(config_.processor);
    if (image.machine != runs) {
        const std::string processor = "this device's processor, " +
                                      ProcessorText(config_.processor) + "," +
                                      (runs == 0 ? " runs no kind of image the loader knows"
                                                 : " runs " + MachineName(runs) + " images");
        decision.refusal = "it is " + ImageFor(image.machine) + ", and " + processor + NotValid;
        return decision;
    }
    // The version it needs; the minor versions decide only when the major
    // ones are the same.
    const bool ceGui = image.subsystem == SubsystemWindowsCeGui;
    const std::uint32_t major = ceGui ? image.subsystemMajor : 1;
    const std::uint32_t minor = ceGui ? image.subsystemMinor : 0;
    decision.facts.push_back(fact::OsMajor);
    if (major == config_.osMajor) {
        decision.facts.push_back(fact::OsMinor);
    }
    if (major < config_.osMajor || (major == config_.osMajor && minor <= config_.osMinor)) {
        return decision;
    }
    decision.refusal = "it needs Windows CE " + std::to_string(major) + "." +
                       std::to_string(minor) + " and the device has " +
                       std::to_string(config_.osMajor) + "." + std::to_string(config_.osMinor) +
                       NotValid;
    return decision;
}

std::string Loader::EmptyFile() {
    return std::string("the file is empty") + NotValid;
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
