// The device's libraries.
#include "device/libraries.h"

#include "device/names.h"

namespace sim {

namespace {

const char* const ProcedureTexts[] = {"DMProcessConfigXML"};

} // namespace

const char* NameOf(Procedure procedure) {
    return ProcedureTexts[static_cast<std::size_t>(procedure)];
}

bool ProcedureNamed(const std::string& name, Procedure& procedure) {
    for (std::size_t i = 0; i < sizeof ProcedureTexts / sizeof ProcedureTexts[0]; ++i) {
        if (name == ProcedureTexts[i]) {
            procedure = static_cast<Procedure>(i);
            return true;
        }
    }
    return false;
}

std::string ProcedureNames() {
    std::string names;
    for (const char* name : ProcedureTexts) {
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

std::u16string Export::Name() const {
    return library + u"!" + Utf16(isOperation ? NameOf(op) : NameOf(procedure));
}

std::vector<std::u16string> Libraries::Names() const {
    std::vector<std::u16string> names = {CoreLibrary};
    for (const LibraryFacts& library : config_.libraries) {
        names.push_back(library.name);
    }
    return names;
}

Answer Libraries::Find(const std::u16string& name, std::u16string& library) const {
    for (const std::u16string& have : Names()) {
        // "aygshell" names "aygshell.dll" as well.
        if (SameName(name, have) ||
            (HasExtension(have, u".dll") && SameName(name + u".dll", have))) {
            library = have;
            return Answer();
        }
    }
    return Fails(ErrorModNotFound, "the device has no library " + Utf8(name));
}

Answer Libraries::FindExport(const std::u16string& library, const std::u16string& name,
                             Export& found) const {
    found = Export();
    found.library = library;
    const std::string wanted = Utf8(name);
    if (SameName(library, CoreLibrary)) {
        found.isOperation = OpNamed(wanted, found.op);
        if (found.isOperation) {
            return Answer();
        }
    }
    for (const LibraryFacts& facts : config_.libraries) {
        if (!SameName(facts.name, library)) {
            continue;
        }
        for (Procedure procedure : facts.exports) {
            if (wanted == NameOf(procedure)) {
                found.procedure = procedure;
                return Answer();
            }
        }
    }
    return Fails(ErrorProcNotFound, Utf8(library) + " exports nothing named " + wanted);
}

} // namespace sim
