// The card's notes.
#include "simulator/check_notes.h"

#include "device/package.h"
#include "device/processors.h"
#include "simulator/check_causes.h"
#include "simulator/telling.h"
#include "simulator/time_text.h"

#include <algorithm>

namespace simtool {

namespace {

// The described cards and what is on them, in the order given, which is the
// order a device lists each folder in.
std::vector<sim::Entry> OnCards(const Description& card) {
    std::vector<std::u16string> roots;
    for (const sim::Entry& entry : card.entries) {
        if (sim::IsCard(entry)) {
            roots.push_back(entry.path);
        }
    }
    std::vector<sim::Entry> on;
    for (const sim::Entry& entry : card.entries) {
        if (std::any_of(roots.begin(), roots.end(), [&](const std::u16string& root) {
                return sim::IsWithin(entry.path, root);
            })) {
            on.push_back(entry);
        }
    }
    return on;
}

// Several packages that one search on a card matches.
void SeveralPackages(const std::vector<sim::Entry>& cards, const std::vector<DeviceCheck>& devices,
                     std::vector<std::string>& notes) {
    std::vector<std::u16string> searches;
    for (const DeviceCheck& device : devices) {
        for (const std::u16string& search : device.searched) {
            if (std::none_of(searches.begin(), searches.end(), [&](const std::u16string& known) {
                    return sim::SameName(known, search);
                })) {
                searches.push_back(search);
            }
        }
    }
    for (const std::u16string& search : searches) {
        const std::u16string folder = sim::ParentOf(search);
        std::string found;
        std::size_t count = 0;
        for (const sim::Entry& entry : cards) {
            if (IsPackage(entry) && sim::SameName(sim::ParentOf(entry.path), folder) &&
                sim::MatchesPattern(sim::NameOf(entry.path), sim::NameOf(search))) {
                found += (count++ == 0 ? "" : ", then ") + sim::Utf8(sim::NameOf(entry.path));
            }
        }
        if (count > 1) {
            notes.push_back(sim::Utf8(folder) + " holds " + std::to_string(count) +
                            " packages where the program searches (" + sim::Utf8(search) +
                            "): a device finds " + found +
                            ", in the order the folder lists them, which on a burnt card is the "
                            "order they were written.");
        }
    }
}

// Packages last written before files they install.
void OlderPackages(const std::vector<sim::Entry>& cards, std::vector<std::string>& notes) {
    for (const sim::Entry& entry : cards) {
        sim::Package package;
        std::string error;
        if (!IsPackage(entry) || !entry.content ||
            !sim::ReadPackage(*entry.content, package, error)) {
            continue;
        }
        std::vector<std::string> later;
        for (const sim::PackageFile& file : package.files) {
            if (file.time > entry.time) {
                later.push_back(file.name + " (" + FormatTime(file.time) + ")");
            }
        }
        if (!later.empty()) {
            notes.push_back(sim::Utf8(entry.path) + " was last written " + FormatTime(entry.time) +
                            ", earlier than " + Listed(later, 3) + ", which it installs.");
        }
    }
}

// Programs in a processor's folder that no kind of device has.
void UnusedProcessorFolders(const std::vector<sim::Entry>& cards,
                            const std::vector<std::uint32_t>& processors,
                            std::vector<std::string>& notes) {
    std::vector<std::string> known;
    std::vector<std::string> theirs;
    for (std::uint32_t processor : processors) {
        known.push_back(std::to_string(processor));
        theirs.push_back(sim::ProcessorText(processor));
    }
    for (const sim::Entry& entry : cards) {
        const std::u16string folder = sim::ParentOf(entry.path);
        const std::string name = sim::Utf8(sim::NameOf(folder));
        const bool isCard = std::any_of(cards.begin(), cards.end(), [&](const sim::Entry& card) {
            return sim::IsCard(card) && sim::SameName(card.path, sim::ParentOf(folder));
        });
        if (!sim::IsFile(&entry) || !sim::SameName(sim::NameOf(entry.path), sim::AutoRunName) ||
            !isCard || name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
            std::find(known.begin(), known.end(), name) != known.end()) {
            continue;
        }
        // The processor's name, when the folder names a type the way a
        // device numbers it.
        const std::uint32_t number =
            name.size() <= 9 ? static_cast<std::uint32_t>(std::stoul(name)) : 0;
        const std::string processor =
            std::to_string(number) == name ? sim::ProcessorText(number) : name;
        notes.push_back(sim::Utf8(entry.path) + " is in the folder of processor " + processor +
                        ", which no device profile has, so no device starts it; theirs are " +
                        Listed(theirs) + ".");
    }
}

} // namespace

std::vector<std::string> CardNotes(const Description& card, const std::vector<DeviceCheck>& devices,
                                   const std::vector<std::uint32_t>& processors) {
    const std::vector<sim::Entry> cards = OnCards(card);
    std::vector<std::string> notes;
    SeveralPackages(cards, devices, notes);
    OlderPackages(cards, notes);
    UnusedProcessorFolders(cards, processors, notes);
    return notes;
}

} // namespace simtool
