// Remedies read off the device's record.
#include "simulator/check_remedies.h"

#include "device/libraries.h"
#include "device/loader.h"
#include "device/processors.h"
#include "device/paths.h"
#include "simulator/json_input.h"

#include <algorithm>

namespace simtool {

namespace {

bool Names(const sim::Texts& facts, const char16_t* fact) {
    return std::find(facts.begin(), facts.end(), fact) != facts.end();
}

// A path on a card as the card's author knows it, from the card's root:
// "2577\autorun.exe" for "\Storage Card\2577\autorun.exe".
std::string OnCard(const std::u16string& path) {
    const std::size_t second = path.find(u'\\', 1);
    return sim::Utf8(second == std::u16string::npos ? path : path.substr(second + 1));
}

std::string Version(long long major, long long minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

// How deep a folder is: \Program Files is level 1.
std::size_t Depth(const std::string& folder) {
    return static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '\\'));
}

} // namespace

std::vector<std::string> ShellRemedy(const sim::ev::Step& step, const sim::Config& device,
                                     const std::vector<sim::Entry>& cards) {
    if (step.runs || !step.facts || !Names(*step.facts, sim::fact::Processor)) {
        return {};
    }
    // The card's program is elsewhere on it: in another processor's folder.
    bool elsewhere = false;
    for (const sim::Entry& entry : cards) {
        const std::u16string folder = sim::ParentOf(entry.path);
        elsewhere = elsewhere || (sim::IsFile(&entry) &&
                                  sim::SameName(sim::NameOf(entry.path), sim::AutoRunName) &&
                                  folder.find(u'\\', 1) != std::u16string::npos &&
                                  sim::ParentOf(folder).find(u'\\', 1) == std::u16string::npos);
    }
    return {"put the card's program in " + std::to_string(device.processor) + "\\" +
            (elsewhere ? " as well" : "")};
}

std::vector<std::string> LoaderRemedy(const sim::ev::NotStarted& refused,
                                      const std::u16string& from, const sim::Config& device,
                                      const std::vector<sim::Entry>& cards) {
    const sim::Texts facts = refused.facts.value_or(sim::Texts());
    if (Names(facts, sim::fact::OsMajor)) {
        return {"this device runs only images marked for CE " +
                Version(device.osMajor, device.osMinor) + " or earlier"};
    }
    const std::uint16_t machine = sim::MachineOfProcessor(device.processor);
    if (from.empty() || machine == 0) {
        return {};
    }
    const std::string file = OnCard(from);
    if (Names(facts, sim::fact::Processor)) {
        return {"put " + sim::ImageFor(machine) + " in " + file +
                ", the only kind of image this device runs"};
    }
    for (const sim::Entry& entry : cards) {
        if (sim::SameName(entry.path, from) && (!entry.content || entry.content->empty())) {
            return {"put the card's program, " + sim::ImageFor(machine) + ", in " + file +
                    ", which is empty"};
        }
    }
    return {};
}

std::vector<std::string> InstallerRemedy(const sim::ev::Refused& refused,
                                         const sim::ev::Package* package,
                                         const sim::Config& device) {
    const sim::Texts facts = refused.facts.value_or(sim::Texts());
    if (facts.empty()) {
        return {};
    }
    const std::u16string& last = facts.back();
    const std::string version = Version(device.osMajor, device.osMinor);
    if (last == sim::fact::Folders) {
        return {"put the package's files only in folders this kind of device has"};
    }
    if (last == sim::fact::Processor) {
        return {"this device installs only packages for processor " +
                std::to_string(device.processor) + " or for any processor"};
    }
    if (last == sim::fact::OsMajor || last == sim::fact::OsMinor) {
        return {Names(facts, sim::fact::InstallerChecksMaxVersion)
                    ? "this device installs only packages whose maximum version is " + version +
                          " or later, or that have none"
                    : "this device installs only packages whose minimum version is " + version +
                          " or earlier"};
    }
    const std::string build = std::to_string(device.osBuild);
    if (last == sim::fact::OsBuild && package != nullptr) {
        return {package->minBuild > static_cast<long long>(device.osBuild)
                    ? "this device installs only packages whose minimum build is " + build +
                          " or earlier"
                    : "this device installs only packages whose maximum build is " + build +
                          " or later, or that have none"};
    }
    if (last == sim::fact::Platform) {
        return {"take " + Quoted(sim::Utf8(device.platformType)) +
                " off the package's unsupported platforms"};
    }
    return {};
}

std::vector<std::string> DeletedPackageRemedy() {
    return {"make the package read-only"};
}

std::vector<std::string> SearchRemedies(const RecordSpan& span) {
    std::vector<std::string> remedies;
    std::vector<std::u16string> packages; // the cards' packages, anywhere on them
    for (const sim::Entry& entry : span.cards) {
        if (IsPackage(entry)) {
            packages.push_back(entry.path);
        }
    }
    for (const std::u16string& search : CardSearches(span)) {
        if (!sim::SameName(sim::NameOf(search), u"*.cab")) {
            continue;
        }
        const std::u16string folder = sim::ParentOf(search);
        const bool there = std::any_of(packages.begin(), packages.end(), [&](const auto& path) {
            return sim::SameName(sim::ParentOf(path), folder);
        });
        const std::string where = OnCard(folder + u"\\");
        if (!there) {
            remedies.push_back("put the card's package " +
                               (where.empty() ? "in the card's root" : "in " + where) +
                               (packages.empty() ? "" : " as well"));
        }
    }
    return remedies;
}

std::vector<std::string> RemovalRemedies(const std::vector<sim::Event>& events, std::size_t from,
                                         std::size_t to, const sim::Config& device,
                                         const std::vector<std::string>& foldersLeft) {
    std::vector<std::string> remedies;
    const NamesGiven names = UninstallNames(events, to);
    if (names.Differ()) {
        const std::u16string& given = names.asked.empty() ? names.given[0] : names.asked[0];
        remedies.push_back("install the package as " + Quoted(sim::Utf8(given)) +
                           ", the name the uninstaller is given, not " +
                           Quoted(sim::Utf8(names.installed[0])));
    }
    const std::size_t depth = device.uninstallerDepth;
    if (depth > 0 && std::any_of(foldersLeft.begin(), foldersLeft.end(),
                                 [depth](const std::string& f) { return Depth(f) > depth; })) {
        remedies.push_back("keep the package's folders within " + std::to_string(depth) +
                           (depth == 1 ? " level" : " levels") + " (\\Program Files is level 1)");
    }
    // Unload.exe removed nothing, or could not be started, while this kind
    // of device uninstalls through its Configuration Manager, which nothing
    // asked.
    bool unloadFailed = false;
    bool configured = false;
    for (std::size_t i = from; i < to && i < events.size(); ++i) {
        const auto* uninstalled = events[i].As<sim::ev::Uninstalled>();
        const auto* launch = events[i].As<sim::ev::Launch>();
        unloadFailed =
            unloadFailed || (uninstalled != nullptr && uninstalled->inert) ||
            (launch != nullptr && !launch->ok && sim::SameName(launch->file, sim::UninstallerPath));
        configured = configured || events[i].As<sim::ev::Configure>() != nullptr;
    }
    const auto& providers = device.configurationProviders;
    if (unloadFailed && !configured &&
        std::find(providers.begin(), providers.end(), "UnInstall") != providers.end()) {
        for (const sim::LibraryFacts& library : device.libraries) {
            if (std::find(library.exports.begin(), library.exports.end(),
                          sim::Procedure::DMProcessConfigXML) != library.exports.end()) {
                remedies.push_back(
                    "uninstall as this kind of device does: through the Configuration "
                    "Manager's UnInstall provider, with " +
                    sim::Utf8(library.name) + "'s DMProcessConfigXML");
                break;
            }
        }
    }
    return remedies;
}

} // namespace simtool
