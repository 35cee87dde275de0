// Causes read off the device's record.
#include "simulator/check_causes.h"

#include "simulator/json_input.h"
#include "simulator/telling.h"
#include "simulator/time_text.h"

#include <algorithm>
#include <map>

namespace simtool {

namespace {

namespace rec = sim::rec;

bool OnCard(const std::u16string& path, const std::vector<sim::Entry>& cards) {
    for (const sim::Entry& entry : cards) {
        if (sim::IsCard(entry) && sim::IsWithin(path, entry.path)) {
            return true;
        }
    }
    return false;
}

bool IsPattern(const std::u16string& path) {
    return sim::NameOf(path).find_first_of(u"*?") != std::u16string::npos;
}

// The path a search with this pattern (or of this path) delivered name as.
std::u16string Found(const std::u16string& searched, const std::u16string& name) {
    return IsPattern(searched) ? sim::ParentOf(searched) + u"\\" + name : searched;
}

// What the cards hold in folder, in words: "autorun.exe and Setup (a
// folder)", "nothing"; empty when there is no such folder.
std::string Holding(const std::u16string& folder, const std::vector<sim::Entry>& cards) {
    bool there = false;
    std::vector<std::string> names;
    for (const sim::Entry& entry : cards) {
        there = there || sim::SameName(entry.path, folder);
        if (sim::SameName(sim::ParentOf(entry.path), folder)) {
            const bool isFolder = (entry.attributes & sim::AttrDirectory) != 0;
            names.push_back(sim::Utf8(sim::NameOf(entry.path)) + (isFolder ? " (a folder)" : ""));
        }
    }
    if (!there) {
        return std::string();
    }
    return names.empty() ? std::string("nothing") : Listed(names, 3);
}

// Whether a removal's event removed anything: an uninstaller's run, or a
// document the Configuration Manager carried out, that had nothing to remove
// is no part of why a removal is clean.
bool RemovedAny(const sim::Event& e) {
    const auto* uninstalled = e.As<sim::ev::Uninstalled>();
    const auto* configured = e.As<sim::ev::Configure>();
    return (uninstalled != nullptr &&
            (!uninstalled->files.empty() || !uninstalled->keys.empty())) ||
           (configured != nullptr && !configured->apps.empty());
}

// The facts an event says it rests on, of those parts.
const sim::Texts* FactsOf(const sim::Event& e, int parts) {
    const sim::Texts* facts = nullptr;
    if ((parts & RunParts) != 0) {
        const auto* step = e.As<sim::ev::Step>();
        const auto* refused = e.As<sim::ev::NotStarted>();
        facts = step != nullptr && step->facts         ? &*step->facts
                : refused != nullptr && refused->facts ? &*refused->facts
                                                       : facts;
    }
    if ((parts & InstallerParts) != 0) {
        const auto* refused = e.As<sim::ev::Refused>();
        const auto* installed = e.As<sim::ev::Installed>();
        facts = refused != nullptr && refused->facts       ? &*refused->facts
                : installed != nullptr && installed->facts ? &*installed->facts
                                                           : facts;
    }
    if ((parts & RemovalParts) != 0) {
        const auto* uninstalled = e.As<sim::ev::Uninstalled>();
        const auto* configured = e.As<sim::ev::Configure>();
        facts = uninstalled != nullptr                       ? &uninstalled->facts
                : configured != nullptr && configured->facts ? &*configured->facts
                                                             : facts;
    }
    return facts;
}

} // namespace

bool IsPackage(const sim::Entry& entry) {
    return sim::IsFile(&entry) && sim::HasExtension(entry.path, u".cab");
}

void FactsNamed(const RecordSpan& span, int parts, bool removedOnly,
                std::vector<std::string>& facts) {
    for (std::size_t i = span.from; i < span.to; ++i) {
        const sim::Event& e = span.events[i];
        if ((parts & RemovalParts) != 0 && removedOnly && !RemovedAny(e)) {
            continue;
        }
        const sim::Texts* named = FactsOf(e, parts);
        for (const std::u16string& fact : named != nullptr ? *named : sim::Texts()) {
            const std::string name = sim::Utf8(fact);
            if (std::find(facts.begin(), facts.end(), name) == facts.end()) {
                facts.push_back(name);
            }
        }
    }
}

std::vector<std::u16string> CardSearches(const RecordSpan& span) {
    std::vector<std::u16string> searches;
    for (std::size_t i = span.from; i < span.to; ++i) {
        const auto* call = span.events[i].As<sim::ev::Call>();
        if (call == nullptr || call->op != sim::Op::FindFirstFileW) {
            continue;
        }
        const std::u16string path = std::get<rec::FindFirstFileW>(call->record).path.value_or(u"");
        bool seen = false;
        for (const std::u16string& search : searches) {
            seen = seen || sim::SameName(search, path);
        }
        if (!seen && IsPattern(path) && OnCard(path, span.cards)) {
            searches.push_back(path);
        }
    }
    return searches;
}

std::vector<std::string> SearchCauses(const RecordSpan& span) {
    std::vector<std::string> causes;
    const std::vector<std::u16string> searches = CardSearches(span);
    for (const std::u16string& search : searches) {
        const std::u16string folder = sim::ParentOf(search);
        const std::string holds = Holding(folder, span.cards);
        causes.push_back("the program searched " + sim::Utf8(search) +
                         (holds.empty() ? ", and the card has no folder " + sim::Utf8(folder)
                                        : ", where the card holds " + holds));
    }
    std::vector<std::string> elsewhere;
    for (const sim::Entry& entry : span.cards) {
        bool searched = false;
        for (const std::u16string& search : searches) {
            searched = searched || sim::SameName(sim::ParentOf(entry.path), sim::ParentOf(search));
        }
        if (IsPackage(entry) && !searched) {
            elsewhere.push_back(sim::Utf8(entry.path));
        }
    }
    if (!searches.empty() && !elsewhere.empty()) {
        causes.push_back(elsewhere.size() == 1 ? "the card's package is " + elsewhere[0]
                                               : "the card's packages are " + Listed(elsewhere, 3));
    }
    return causes;
}

std::vector<std::string> ComparedTimes(const RecordSpan& span) {
    std::vector<std::string> causes;
    std::map<sim::Ticks, std::u16string> files;    // a time a search found, with its file
    std::map<long long, std::u16string> searching; // an open search's handle, with what it asked
    for (std::size_t i = span.from; i < span.to; ++i) {
        if (span.events[i].As<sim::ev::Start>() != nullptr) {
            files.clear(); // another run
            searching.clear();
        }
        const auto* call = span.events[i].As<sim::ev::Call>();
        if (call == nullptr || call->why.has_value()) {
            continue;
        }
        if (call->op == sim::Op::FindFirstFileW) {
            const auto& r = std::get<rec::FindFirstFileW>(call->record);
            searching[r.result] = r.path.value_or(u"");
            files[static_cast<sim::Ticks>(r.time.value_or(0))] =
                Found(searching[r.result], r.name.value_or(u""));
        } else if (call->op == sim::Op::FindNextFileW) {
            const auto& r = std::get<rec::FindNextFileW>(call->record);
            files[static_cast<sim::Ticks>(r.time.value_or(0))] =
                Found(searching[r.handle], r.name.value_or(u""));
        } else if (call->op == sim::Op::CompareFileTime) {
            const auto& r = std::get<rec::CompareFileTime>(call->record);
            auto timeOf = [&files](long long time) {
                const sim::Ticks ticks = static_cast<sim::Ticks>(time);
                auto file = files.find(ticks);
                return file == files.end() ? FormatTime(ticks)
                                           : "the time of " + sim::Utf8(file->second) + " (" +
                                                 FormatTime(ticks) + ")";
            };
            causes.push_back("the program compared " + timeOf(r.first) + " with " +
                             timeOf(r.second) + ": the first is " +
                             (r.result > 0   ? "later"
                              : r.result < 0 ? "earlier"
                                             : "the same"));
        }
    }
    return causes;
}

bool NamesGiven::Differ() const {
    for (const auto* names : {&given, &asked}) {
        for (const std::u16string& name : *names) {
            for (const std::u16string& app : installed) {
                if (sim::SameName(name, app)) {
                    return false;
                }
            }
        }
    }
    return (!given.empty() || !asked.empty()) && !installed.empty();
}

NamesGiven UninstallNames(const std::vector<sim::Event>& events, std::size_t to) {
    NamesGiven names;
    auto add = [](std::vector<std::u16string>& list, const std::u16string& name) {
        for (const std::u16string& known : list) {
            if (sim::SameName(known, name)) {
                return;
            }
        }
        list.push_back(name);
    };
    for (std::size_t i = 0; i < to && i < events.size(); ++i) {
        if (const auto* uninstalled = events[i].As<sim::ev::Uninstalled>()) {
            add(names.given, uninstalled->app);
        } else if (const auto* configured = events[i].As<sim::ev::Configure>()) {
            for (const std::u16string& app : configured->asked) {
                add(names.asked, app);
            }
        } else if (const auto* made = events[i].As<sim::ev::Installed>()) {
            add(names.installed, made->app);
        }
    }
    return names;
}

std::vector<std::string> UninstallerNames(const std::vector<sim::Event>& events, std::size_t to) {
    const NamesGiven names = UninstallNames(events, to);
    if (!names.Differ()) {
        return {};
    }
    auto quoted = [](const std::vector<std::u16string>& list) {
        std::vector<std::string> texts;
        for (const std::u16string& name : list) {
            texts.push_back(Quoted(sim::Utf8(name)));
        }
        return Listed(texts);
    };
    std::vector<std::string> told;
    if (!names.asked.empty()) {
        told.push_back("the Configuration Manager was asked to uninstall " + quoted(names.asked));
    }
    if (!names.given.empty()) {
        told.push_back("the uninstaller was given " + quoted(names.given));
    }
    return {Listed(told) + ", and what was installed is " + quoted(names.installed)};
}

} // namespace simtool
