// The device's operations, by the names programs call them, and the error
// codes they answer with.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

enum class Op {
    GetModuleFileNameW,
    LoadStringW,
    FindFirstFileW,
    FindNextFileW,
    FindClose,
    CompareFileTime,
    SystemParametersInfoW,
    GetVersionExW,
    ShellExecuteEx,
    SHGetSpecialFolderPath,
    CopyFileW,
    DeleteFileW,
    RegOpenKeyExW,
    RegDeleteKeyW,
    RegCloseKey,
    MessageBoxW,
    Sleep,
};
constexpr std::size_t OpCount = static_cast<std::size_t>(Op::Sleep) + 1;

const char* NameOf(Op op);
// The operation of that name; false when the device has none.
bool OpNamed(const std::string& name, Op& op);
// Whether a description can make the operation fail on every call. Closing
// a handle, comparing times and pausing cannot fail.
bool Failable(Op op);
// The names of the operations that can be made to fail, in table order.
const std::vector<std::string>& FailableOperations();

// Error codes, as the platform numbers them.
enum : platform::LONG {
    ErrorSuccess = platform::ErrorSuccess,
    ErrorFileNotFound = platform::ErrorFileNotFound,
    ErrorAccessDenied = platform::ErrorAccessDenied,
    ErrorInvalidHandle = 6,
    ErrorInvalidParameter = 87,
};

} // namespace sim
