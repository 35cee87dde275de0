// The device's libraries: COREDLL, whose exports are the platform operations,
// and those its kind has besides (aygshell.dll on Windows Mobile), each with
// what it exports. A program loads one by name, asks for the address of an
// export by name, and frees it; the running program's handles keep count.
#pragma once

#include "device/answer.h"
#include "device/config.h"
#include "device/operations.h"

#include <string>
#include <vector>

namespace sim {

inline constexpr char16_t CoreLibrary[] = u"coredll.dll";

// "DMProcessConfigXML".
const char* NameOf(Procedure procedure);
// The procedure of that name; false for one the device does not carry out.
bool ProcedureNamed(const std::string& name, Procedure& procedure);
// Every procedure's name, in order: "DMProcessConfigXML".
std::string ProcedureNames();

// What an address GetProcAddressW gives is bound to: an operation of COREDLL,
// or a procedure of another library.
struct Export {
    std::u16string library; // as the device names it
    bool isOperation = false;
    Op op = Op::GetModuleFileNameW;
    Procedure procedure = Procedure::DMProcessConfigXML;

    // "aygshell.dll!DMProcessConfigXML".
    std::u16string Name() const;
};

class Libraries {
  public:
    explicit Libraries(const Config& config) : config_(config) {}

    // The library a program names: its file name, letter case ignored, with
    // or without ".dll". Its name as the device has it, or
    // ERROR_MOD_NOT_FOUND.
    Answer Find(const std::u16string& name, std::u16string& library) const;
    // What the library exports by that name, compared exactly, or
    // ERROR_PROC_NOT_FOUND.
    Answer FindExport(const std::u16string& library, const std::u16string& name,
                      Export& found) const;

  private:
    // The names of the libraries, COREDLL first.
    std::vector<std::u16string> Names() const;

    const Config& config_;
};

} // namespace sim
