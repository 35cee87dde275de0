// The device's operations, by the names programs call them; its core
// library's export table (the name and ordinal of each operation); and the
// error codes the operations answer with.
#pragma once

#include "platform/operations.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class Op {
#define AUTORUN_OP_ENUM(name, ordinal, dll, desktopName, arguments, failable, usual, matched,      \
                        effect)                                                                    \
    name,
    AUTORUN_OPERATIONS(AUTORUN_OP_ENUM)
#undef AUTORUN_OP_ENUM
};
constexpr std::size_t OpCount = 0
#define AUTORUN_OP_COUNT(name, ordinal, dll, desktopName, arguments, failable, usual, matched,     \
                         effect)                                                                   \
    +1
    AUTORUN_OPERATIONS(AUTORUN_OP_COUNT)
#undef AUTORUN_OP_COUNT
    ;

const char* NameOf(Op op);
// The operation COREDLL exports by that name; false when it exports none.
bool OpNamed(const std::string& name, Op& op);
// COREDLL's ordinal of the operation, and the operation of an ordinal (false
// when COREDLL exports nothing by it).
std::uint16_t OrdinalOf(Op op);
bool OpWithOrdinal(std::uint32_t ordinal, Op& op);
// Whether a fault plan can make the operation fail. Closing a handle,
// comparing times and pausing cannot fail.
bool Failable(Op op);
// The error the operation answers with when it fails for no reason of its
// own (a fault plan's rule without an error), and the argument a rule's
// pattern is matched against ("path"; empty: it has none).
platform::LONG UsualFailure(Op op);
const char* MatchedArgument(Op op);
// What an error code means, in a few words ("access denied"); empty for one
// the device does not name.
const char* ErrorText(platform::LONG error);
// The names of the operations that can be made to fail, in table order.
const std::vector<std::string>& FailableOperations();

// Error codes, as the platform numbers them.
enum : platform::LONG {
    ErrorSuccess = platform::ErrorSuccess,
    ErrorFileNotFound = platform::ErrorFileNotFound,
    ErrorAccessDenied = platform::ErrorAccessDenied,
    ErrorPathNotFound = 3,
    ErrorInvalidHandle = 6,
    ErrorNoMoreFiles = 18,
    ErrorWriteProtect = 19,
    ErrorSharingViolation = 32,
    ErrorFileExists = 80,
    ErrorInvalidParameter = 87,
    ErrorInsufficientBuffer = 122,
    ErrorInvalidName = 123,
    ErrorModNotFound = 126,
    ErrorProcNotFound = 127,
    ErrorAlreadyExists = 183,
    ErrorNoAssociation = 1155,
    ErrorResourceNameNotFound = 1814,
};

} // namespace sim
