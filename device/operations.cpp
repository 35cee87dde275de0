// The device's operations by name, and its core library's export table.
#include "device/operations.h"

namespace sim {

namespace {

struct OpRow {
    const char* name;
    std::uint16_t ordinal;
    bool failable;
    platform::LONG usual;
    const char* matched;
};

constexpr OpRow Ops[] = {
#define AUTORUN_OP_ROW(name, ordinal, dll, desktopName, arguments, failable, usual, matched,       \
                       effect)                                                                     \
    {#name, ordinal, failable != 0, Error##usual, #matched},
    AUTORUN_OPERATIONS(AUTORUN_OP_ROW)
#undef AUTORUN_OP_ROW
};

const OpRow& RowOf(Op op) {
    return Ops[static_cast<std::size_t>(op)];
}

} // namespace

const char* NameOf(Op op) {
    return RowOf(op).name;
}

bool OpNamed(const std::string& name, Op& op) {
    for (std::size_t i = 0; i < OpCount; ++i) {
        if (name == Ops[i].name) {
            op = static_cast<Op>(i);
            return true;
        }
    }
    return false;
}

bool Failable(Op op) {
    return RowOf(op).failable;
}

platform::LONG UsualFailure(Op op) {
    return RowOf(op).usual;
}

const char* MatchedArgument(Op op) {
    const char* matched = RowOf(op).matched;
    return std::string(matched) == "none" ? "" : matched;
}

std::uint16_t OrdinalOf(Op op) {
    return RowOf(op).ordinal;
}

bool OpWithOrdinal(std::uint32_t ordinal, Op& op) {
    for (std::size_t i = 0; i < OpCount; ++i) {
        if (ordinal == Ops[i].ordinal) {
            op = static_cast<Op>(i);
            return true;
        }
    }
    return false;
}

const char* ErrorText(platform::LONG error) {
    switch (error) {
    case ErrorSuccess:
        return "success";
    case ErrorFileNotFound:
        return "file not found";
    case ErrorPathNotFound:
        return "path not found";
    case ErrorAccessDenied:
        return "access denied";
    case ErrorInvalidHandle:
        return "invalid handle";
    case ErrorNoMoreFiles:
        return "no more files";
    case ErrorWriteProtect:
        return "write-protected";
    case ErrorSharingViolation:
        return "sharing violation";
    case ErrorFileExists:
        return "the file exists";
    case ErrorInvalidParameter:
        return "invalid parameter";
    case ErrorInsufficientBuffer:
        return "buffer too small";
    case ErrorInvalidName:
        return "invalid name";
    case ErrorModNotFound:
        return "the module was not found";
    case ErrorProcNotFound:
        return "the procedure was not found";
    case ErrorAlreadyExists:
        return "it already exists";
    case ErrorNoAssociation:
        return "no program is associated with the file";
    case ErrorResourceNameNotFound:
        return "resource not found";
    }
    return "";
}

const std::vector<std::string>& FailableOperations() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> failable;
        for (const OpRow& row : Ops) {
            if (row.failable) {
                failable.push_back(row.name);
            }
        }
        return failable;
    }();
    return names;
}

} // namespace sim
