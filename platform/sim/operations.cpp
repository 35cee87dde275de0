// The device's operations by name.
#include "platform/sim/operations.h"

namespace sim {

namespace {

struct OpName {
    Op op;
    const char* name;
    bool failable;
};

constexpr OpName Ops[] = {
    {Op::GetModuleFileNameW, "GetModuleFileNameW", true},
    {Op::LoadStringW, "LoadStringW", true},
    {Op::FindFirstFileW, "FindFirstFileW", true},
    {Op::FindNextFileW, "FindNextFileW", true},
    {Op::FindClose, "FindClose", false},
    {Op::CompareFileTime, "CompareFileTime", false},
    {Op::SystemParametersInfoW, "SystemParametersInfoW", true},
    {Op::GetVersionExW, "GetVersionExW", true},
    {Op::ShellExecuteEx, "ShellExecuteEx", true},
    {Op::SHGetSpecialFolderPath, "SHGetSpecialFolderPath", true},
    {Op::CopyFileW, "CopyFileW", true},
    {Op::DeleteFileW, "DeleteFileW", true},
    {Op::RegOpenKeyExW, "RegOpenKeyExW", true},
    {Op::RegDeleteKeyW, "RegDeleteKeyW", true},
    {Op::RegCloseKey, "RegCloseKey", false},
    {Op::MessageBoxW, "MessageBoxW", true},
    {Op::Sleep, "Sleep", false},
};
static_assert(sizeof Ops / sizeof Ops[0] == OpCount, "one name per operation");

constexpr bool InEnumOrder() {
    for (std::size_t i = 0; i < OpCount; ++i) {
        if (static_cast<std::size_t>(Ops[i].op) != i) {
            return false;
        }
    }
    return true;
}
static_assert(InEnumOrder(), "the table follows the enum");

} // namespace

const char* NameOf(Op op) {
    return Ops[static_cast<std::size_t>(op)].name;
}

bool OpNamed(const std::string& name, Op& op) {
    for (const OpName& entry : Ops) {
        if (name == entry.name) {
            op = entry.op;
            return true;
        }
    }
    return false;
}

bool Failable(Op op) {
    return Ops[static_cast<std::size_t>(op)].failable;
}

const std::vector<std::string>& FailableOperations() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> failable;
        for (const OpName& entry : Ops) {
            if (entry.failable) {
                failable.push_back(entry.name);
            }
        }
        return failable;
    }();
    return names;
}

} // namespace sim
