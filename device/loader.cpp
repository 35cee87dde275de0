// The device's loader.
#include "device/loader.h"

#include "device/operations.h"

namespace sim {

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
