// Calls in words.
#include "simulator/call_story.h"

#include "device/store.h"
#include "simulator/json_input.h"
#include "simulator/telling.h"
#include "simulator/time_text.h"

namespace simtool {

namespace {

namespace rec = sim::rec;

// What a search delivered: "a file last written ...", "a storage card".
template <class R> std::string What(const R& r, bool atRoot) {
    const auto attributes = static_cast<std::uint32_t>(r.attributes.value_or(0));
    if ((attributes & sim::AttrDirectory) != 0) {
        return atRoot && (attributes & sim::AttrTemporary) != 0 ? "a storage card" : "a folder";
    }
    return std::string((attributes & sim::AttrReadOnly) != 0 ? "a read-only file" : "a file") +
           " last written " + FormatTime(static_cast<sim::Ticks>(r.time.value_or(0)));
}

// An entry a search delivered, by name: "Reader.cab, a file last written ...".
template <class R> std::string Delivered(const R& r, bool atRoot) {
    return sim::Utf8(r.name.value_or(u"")) + ", " + What(r, atRoot);
}

std::string Text(const sim::OrNull<sim::Text>& text) {
    return sim::Utf8(text.value_or(u""));
}

// A field as --trace shows it.
std::string Shown(const sim::Shown& value) {
    switch (value.kind) {
    case sim::Shown::Text:
        return Quoted(value.text != nullptr ? sim::Utf8(*value.text) : value.name);
    case sim::Shown::Number:
        return std::to_string(value.number);
    case sim::Shown::Flag:
        return value.number != 0 ? "true" : "false";
    case sim::Shown::Texts: {
        std::vector<std::string> items;
        for (const std::u16string& item : *value.texts) {
            items.push_back(Quoted(sim::Utf8(item)));
        }
        return "[" + Listed(items) + "]";
    }
    case sim::Shown::Null:
        break;
    }
    return "null";
}

} // namespace

std::string CallStory::Tell(const sim::ev::Call& call) {
    const bool failed = call.why.has_value();
    const std::string why = failed ? Why(call.why, call.error.value_or(0)) : std::string();
    switch (call.op) {
    case sim::Op::GetModuleFileNameW: {
        const auto& r = std::get<rec::GetModuleFileNameW>(call.record);
        return "It asks for its own path: " +
               (!r.path ? why : Text(r.path) + (failed ? "; " + why : "")) + ".";
    }
    case sim::Op::LoadStringW: {
        const auto& r = std::get<rec::LoadStringW>(call.record);
        return "It loads string " + std::to_string(r.id) + ": " +
               (failed ? why : Quoted(Text(r.text))) + ".";
    }
    case sim::Op::FindFirstFileW:
        return TellFindFirst(std::get<rec::FindFirstFileW>(call.record), failed, why);
    case sim::Op::FindNextFileW: {
        const auto& r = std::get<rec::FindNextFileW>(call.record);
        auto search = searches_.find(r.handle);
        const bool atRoot = search != searches_.end() && search->second;
        return failed ? "Next: none; " + why + "." : "Next: " + Delivered(r, atRoot) + ".";
    }
    case sim::Op::CompareFileTime: {
        const auto& r = std::get<rec::CompareFileTime>(call.record);
        return "It compares " + FormatTime(static_cast<sim::Ticks>(r.first)) + " with " +
               FormatTime(static_cast<sim::Ticks>(r.second)) + ": the first is " +
               (r.result > 0   ? "later"
                : r.result < 0 ? "earlier"
                               : "the same time") +
               ".";
    }
    case sim::Op::SystemParametersInfoW: {
        const auto& r = std::get<rec::SystemParametersInfoW>(call.record);
        const std::string what = r.action == platform::SpiGetPlatformType
                                     ? "the platform type"
                                     : "system parameter " + std::to_string(r.action);
        return "It asks for " + what + ": " + (failed ? why : Quoted(Text(r.text))) + ".";
    }
    case sim::Op::GetVersionExW: {
        const auto& r = std::get<rec::GetVersionExW>(call.record);
        return "It asks for the version: " +
               (failed ? why
                       : std::to_string(r.major.value_or(0)) + "." +
                             std::to_string(r.minor.value_or(0)) + ", build " +
                             std::to_string(r.build.value_or(0))) +
               ".";
    }
    case sim::Op::SHGetSpecialFolderPath: {
        const auto& r = std::get<rec::SHGetSpecialFolderPath>(call.record);
        const std::string what = r.folder == platform::CsidlPrograms
                                     ? "the Programs folder"
                                     : "special folder " + std::to_string(r.folder);
        return "It asks for " + what + ": " +
               (failed          ? why
                : r.result == 0 ? Text(r.path) + ", though the call answers FALSE, as this kind of "
                                                 "device's shell does even when it gives the path"
                                : Text(r.path)) +
               ".";
    }
    case sim::Op::RegOpenKeyExW: {
        const auto& r = std::get<rec::RegOpenKeyExW>(call.record);
        const std::string key = "HKEY_LOCAL_MACHINE\\" + Text(r.subKey);
        return failed ? "It cannot open the key " + key + ": " + why + "."
                      : "It opens the key " + key + ".";
    }
    case sim::Op::LoadLibraryW: {
        const auto& r = std::get<rec::LoadLibraryW>(call.record);
        if (!failed) {
            libraries_[r.result] = Text(r.name);
        }
        return failed ? "It cannot load the library " + Text(r.name) + ": " + why + "."
                      : "It loads the library " + Text(r.name) + ".";
    }
    case sim::Op::GetProcAddressW: {
        const auto& r = std::get<rec::GetProcAddressW>(call.record);
        return "It asks " + LibraryOf(r.module) + " for the address of " + Text(r.name) + ": " +
               (failed ? why : "it has it") + ".";
    }
    case sim::Op::FreeLibrary: {
        const auto& r = std::get<rec::FreeLibrary>(call.record);
        return failed ? "It tries to free " + LibraryOf(r.module) + ": " + why + "."
                      : "It frees " + LibraryOf(r.module) + ".";
    }
    default:
        // Told by its effect's event, or only when it fails.
        break;
    }
    return failed ? "Its call of " + std::string(sim::NameOf(call.op)) + " fails: " + why + "."
                  : std::string();
}

std::string CallStory::LibraryOf(long long handle) const {
    auto found = libraries_.find(handle);
    return found != libraries_.end() ? "the library " + found->second
                                     : "the handle " + std::to_string(handle);
}

std::string CallStory::TellFindFirst(const rec::FindFirstFileW& r, bool failed,
                                     const std::string& why) {
    const std::u16string path = r.path.value_or(u"");
    const bool pattern = sim::NameOf(path).find_first_of(u"*?") != std::u16string::npos;
    const bool atRoot = sim::ParentOf(path).empty();
    if (!failed) {
        searches_[r.result] = atRoot;
    }
    if (!r.path) {
        return "It searches for a path it cannot give: " + why + ".";
    }
    if (!pattern) {
        return "It looks for " + sim::Utf8(path) +
               (failed ? ": " + why : " and finds it: " + What(r, atRoot)) + ".";
    }
    return "It searches " + sim::Utf8(path) + ": " +
           (failed ? why : "first " + Delivered(r, atRoot)) + ".";
}

std::string CallStory::Trace(const sim::ev::Call& call) {
    std::string args;
    std::string outs;
    std::string op;
    std::string result;
    bool afterResult = false;
    sim::ForEachField(call, [&](const std::string& name, const sim::Shown& value) {
        if (name == "op") {
            op = value.name;
            return;
        }
        if (name == "result") {
            result = Shown(value);
            afterResult = true;
            return;
        }
        std::string& list = afterResult ? outs : args;
        list += (list.empty() ? "" : ", ") + name + " " + Shown(value);
    });
    return "call " + op + "(" + args + ")" + (afterResult ? " = " + result : "") +
           (outs.empty() ? "" : "; " + outs);
}

} // namespace simtool
