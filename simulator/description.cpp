// Reading device descriptions. Every field is checked before anything runs:
// unknown fields, wrong types, bad times and paths are reported with the file
// and the place, so a description never half-applies.
#include "simulator/description.h"

#include "simulator/example_package.h"
#include "simulator/host_folder.h"
#include "simulator/profiles.h"
#include "simulator/time_text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

namespace simtool {

namespace {

using Json = nlohmann::json;

// The most UTF-16 units the paths of all the device's entries may total; a
// card of a hundred thousand files needs a tenth of it.
constexpr std::uint64_t MaxDeviceUnits = 16u << 20;

// The card a card folder becomes.
const char16_t CardFolderPath[] = u"\\Storage Card";

const char* const StepHelp =
    "expected insert, menu, remove, {\"tap\": PATH} or {\"run\": PATH, \"args\": TEXT}";

// The fields that say what kind of device it is, as a profile does.
const std::vector<std::string> DeviceFacts = {"profile",
                                              "name",
                                              "standing",
                                              "platform",
                                              "osMajor",
                                              "osMinor",
                                              "osBuild",
                                              "processor",
                                              "programsFolder",
                                              "folders",
                                              "unload",
                                              "installerChecksMaxVersion",
                                              "installerDeletesPackage",
                                              "folderPathAnswersFalse",
                                              "libraries",
                                              "configurationProviders",
                                              "standardFolders",
                                              "standardKeys",
                                              "uninstallerDepth",
                                              "autoRunPolicy"};
// Those that are facts of the kind of device, with a standing.
const std::vector<std::string> Facts = [] {
    std::vector<std::string> facts;
    for (const std::string& field : DeviceFacts) {
        if (field != "profile" && field != "name" && field != "standing") {
            facts.push_back(field);
        }
    }
    return facts;
}();
const std::vector<std::string> StandingFields = {"sources", "assumed"};
// Those, and what is on the device and what happens.
const std::vector<std::string> RootFields = [] {
    std::vector<std::string> fields = DeviceFacts;
    for (const char* field : {"clock", "entries", "registry", "uninstallMs", "faults", "steps"}) {
        fields.push_back(field);
    }
    // Known only to be refused with what to do instead.
    for (const char* field : {"title", "appName", "readerPath"}) {
        fields.push_back(field);
    }
    return fields;
}();
const std::vector<std::string> EntryFields = {"path", "attributes", "time", "from"};
// appKeyDeleteFailures is known only to be refused with what to write instead.
const std::vector<std::string> FaultFields = {"failing", "plan", "appKeyDeleteFailures"};
const std::vector<std::string> RuleFields = {"op", "match", "from", "count", "error"};
const std::vector<std::string> StepFields = {"tap", "run", "args"};

// The fields of each object a description has; any other object is refused
// for its type once read, and nesting keeps it small.
const std::vector<std::string>* DescriptionFields(const std::vector<Level>& levels) {
    if (levels.empty()) {
        return &RootFields;
    }
    if (levels.size() == 1 && levels[0].key == "faults") {
        return &FaultFields;
    }
    if (levels.size() == 1 && levels[0].key == "standing") {
        return &Facts;
    }
    if (levels.size() == 2 && levels[0].key == "standing") {
        return &StandingFields;
    }
    if (levels.size() == 3 && levels[0].key == "faults" && levels[1].key == "plan") {
        return &RuleFields;
    }
    if (levels.size() == 2 && !levels[1].object) {
        return levels[0].key == "entries" ? &EntryFields
               : levels[0].key == "steps" ? &StepFields
                                          : nullptr;
    }
    return nullptr;
}

const std::vector<std::string>* CommandLineStepFields(const std::vector<Level>& levels) {
    return levels.empty() ? &StepFields : nullptr;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A number read as a double whose value is whole: 4.0, 1e300.
bool IsWhole(const Json& value) {
    return value.is_number_float() && std::trunc(value.get<double>()) == value.get<double>();
}

std::string KindOf(const Json& value) {
    switch (value.type()) {
    case Json::value_t::object:
        return "an object";
    case Json::value_t::array:
        return "an array";
    case Json::value_t::string:
        return "a string";
    case Json::value_t::boolean:
        return "a boolean";
    case Json::value_t::null:
        return "null";
    case Json::value_t::number_float:
        return IsWhole(value) ? "a number written with a fraction or an exponent"
                              : "a number with a fraction";
    default:
        return value.is_number() ? "a number" : "a value of another kind";
    }
}

// Where a value is in the description: a field or an index under a parent
// place. It is put into words only for a message, so that reading a large
// description builds no text for the places that are fine.
class Place {
  public:
    Place(const char* field) : field_(field) {}      // a field at the top level
    Place(const std::string& text) : text_(&text) {} // a place given whole: "step 1"
    Place Field(const char* field) const {
        return Place(this, field, 0);
    }
    Place operator[](std::size_t index) const {
        return Place(this, nullptr, index);
    }
    std::string Text() const {
        if (text_ != nullptr) {
            return *text_;
        }
        const std::string parent = parent_ != nullptr ? parent_->Text() : std::string();
        return field_ != nullptr ? simtool::Field(parent, field_) : simtool::Index(parent, index_);
    }

  private:
    Place(const Place* parent, const char* field, std::size_t index)
        : parent_(parent), field_(field), index_(index) {}

    const Place* parent_ = nullptr; // lives longer: places are passed down, never kept
    const char* field_ = nullptr;
    std::size_t index_ = 0;
    const std::string* text_ = nullptr;
};

class Parser {
  public:
    Parser(std::string file, std::string baseDir)
        : file_(std::move(file)), baseDir_(std::move(baseDir)) {
        const sim::Device bare;
        for (const sim::Entry* entry : bare.Files().All()) {
            store_.Add(*entry);
        }
    }

    Description Parse(const Json& root) {
        if (!root.is_object()) {
            Fail("top level", "expected an object, found " + KindOf(root));
        }
        // A profile gives the kind of device; the fields below override it.
        Description d =
            root.contains("profile") ? FromProfile(root["profile"], "profile") : Description();
        d.source = file_;
        sim::Config& c = d.config;
        for (const std::string& field : DeviceFacts) {
            if (root.contains(field)) {
                d.facts.push_back(field);
                // A fact it gives itself stands as it says, not as its
                // profile's did.
                d.standing.erase(field);
            }
        }
        if (root.contains("standing")) {
            ParseStanding(root, d.standing);
        }
        if (root.contains("name")) {
            d.name = String(root["name"], "name");
        }
        if (root.contains("platform")) {
            c.platformType = Text(root["platform"], "platform");
        }
        for (auto field :
             {std::make_pair("osMajor", &c.osMajor), std::make_pair("osMinor", &c.osMinor),
              std::make_pair("osBuild", &c.osBuild), std::make_pair("processor", &c.processor)}) {
            if (root.contains(field.first)) {
                *field.second = static_cast<std::uint32_t>(
                    Unsigned(root[field.first], field.first, UINT32_MAX));
            }
        }
        if (root.contains("programsFolder")) {
            c.programsFolder = DevicePath(root["programsFolder"], "programsFolder");
        }
        if (root.contains("folders")) {
            sim::Folders folders;
            ParseFolders(root["folders"], "folders", folders);
            c.folders = std::make_shared<const sim::Folders>(std::move(folders));
        }
        if (root.contains("unload")) {
            c.unload = UnloadOf(root["unload"], "unload");
        }
        if (root.contains("folderPathAnswersFalse")) {
            c.folderPathAnswersFalse =
                Boolean(root["folderPathAnswersFalse"], "folderPathAnswersFalse");
        }
        if (root.contains("installerChecksMaxVersion")) {
            c.installerChecksMaxVersion =
                Boolean(root["installerChecksMaxVersion"], "installerChecksMaxVersion");
        }
        if (root.contains("installerDeletesPackage")) {
            c.installerDeletesPackage =
                Boolean(root["installerDeletesPackage"], "installerDeletesPackage");
        }
        if (root.contains("libraries")) {
            c.libraries = ParseLibraries(root["libraries"], "libraries");
        }
        if (root.contains("configurationProviders")) {
            c.configurationProviders =
                ParseProviders(root["configurationProviders"], "configurationProviders");
        }
        if (root.contains("standardFolders") || root.contains("standardKeys")) {
            sim::Standard standard = *c.standard;
            if (root.contains("standardFolders")) {
                standard.folders =
                    Texts(root["standardFolders"], Place("standardFolders"), &Parser::DevicePath);
            }
            if (root.contains("standardKeys")) {
                standard.keys =
                    Texts(root["standardKeys"], Place("standardKeys"), &Parser::KeyWithRoot);
            }
            c.standard = std::make_shared<const sim::Standard>(std::move(standard));
        }
        if (root.contains("uninstallerDepth")) {
            c.uninstallerDepth = static_cast<std::uint32_t>(
                Unsigned(root["uninstallerDepth"], "uninstallerDepth", UINT32_MAX));
        }
        if (root.contains("autoRunPolicy")) {
            // 0: programs on cards may run automatically; 1: they may not.
            c.autoRunPolicy =
                static_cast<std::uint32_t>(Unsigned(root["autoRunPolicy"], "autoRunPolicy", 1));
        }
        // The kind's standard folders are there before any entry.
        for (const std::u16string& folder : c.standard->folders) {
            if (store_.Find(folder) == nullptr) {
                Check({folder, sim::AttrDirectory, sim::DefaultEntryTime, nullptr},
                      "standardFolders");
            }
        }
        if (root.contains("title")) {
            Fail("title", "is gone: the menu step taps the file the card's program copied itself "
                          "to in the Programs folder, whatever its name; leave \"title\" out");
        }
        for (const char* field : {"appName", "readerPath"}) {
            if (root.contains(field)) {
                Fail(field, "is gone: a package that holds no bytes no longer stands in for one; "
                            "give the card a real package, an entry whose \"from\" is a .cab "
                            "that scripts/make-cab makes (examples/card-folder/2577/Reader.cab "
                            "is one)");
            }
        }
        if (root.contains("entries")) {
            const Place at("entries");
            const Json& entries = Array(root["entries"], at);
            d.entries.reserve(entries.size());
            for (std::size_t i = 0; i < entries.size(); ++i) {
                ParseEntry(entries[i], at[i], d.entries);
            }
        }
        // After the entries, whose times set the default.
        sim::Ticks latest = sim::DefaultEntryTime;
        for (const sim::Entry& entry : d.entries) {
            latest = std::max(latest, entry.time);
        }
        c.clockStart = root.contains("clock") ? Time(root["clock"], "clock")
                                              : latest + 60 * sim::TicksPerSecond;
        if (root.contains("registry")) {
            d.hasRegistry = true;
            d.registry = Texts(root["registry"], Place("registry"), &Parser::RegistryKey);
        }
        if (root.contains("uninstallMs")) {
            c.uninstallMs = Unsigned(root["uninstallMs"], "uninstallMs", UINT32_MAX);
        }
        if (root.contains("faults")) {
            ParseFaults(root["faults"], "faults", d);
        }
        if (root.contains("steps")) {
            d.hasSteps = true;
            d.steps.clear();
            const Place at("steps");
            const Json& steps = Array(root["steps"], at);
            for (std::size_t i = 0; i < steps.size(); ++i) {
                d.steps.push_back(ParseStep(steps[i], at[i]));
            }
        }
        return d;
    }

    // A host folder as the card \Storage Card, read as a "from" folder is.
    Description CardFolder(const std::string& folder) {
        Description d;
        d.source = file_;
        const sim::Entry card{CardFolderPath, sim::AttrDirectory | sim::AttrTemporary,
                              sim::DefaultEntryTime, nullptr};
        const std::string place = "the card";
        Check(card, place);
        d.entries.push_back(card);
        std::vector<sim::Entry> copied;
        std::string error;
        if (!ReadHostFolder(folder, card.path, copied, error)) {
            throw InputError(file_, "", error);
        }
        sim::Ticks latest = sim::DefaultEntryTime;
        for (sim::Entry& file : copied) {
            Check(file, place);
            latest = std::max(latest, file.time);
            d.entries.push_back(std::move(file));
        }
        d.config.clockStart = latest + 60 * sim::TicksPerSecond;
        return d;
    }

    // The description a profile is, as the start of this one.
    Description FromProfile(const Json& value, const Place& place) const {
        const std::string& name = String(value, place);
        const ProfileText* profile = FindProfile(name);
        if (profile == nullptr) {
            Fail(place, "unknown profile " + Quoted(name) + " (known: " + ProfileNames() + ")");
        }
        const Json root = ParseJson(profile->text, "profile " + name, "", DescriptionFields);
        if (root.is_object() && root.contains("profile")) {
            Fail(place, "profile " + Quoted(name) +
                            " starts from another profile, which a "
                            "profile cannot");
        }
        Description d = Parser("profile " + name, ".").Parse(root);
        d.profile = name;
        return d;
    }

    Step ParseStep(const Json& value, const Place& place) const {
        if (value.is_string()) {
            const std::string& name = value.get_ref<const std::string&>();
            if (name == "insert") {
                return {Step::Insert, {}, {}};
            }
            if (name == "menu") {
                return {Step::Menu, {}, {}};
            }
            if (name == "remove") {
                return {Step::Remove, {}, {}};
            }
            Fail(place, "unknown step " + Quoted(name) + ": " + StepHelp);
        }
        if (!value.is_object()) {
            Fail(place, std::string(StepHelp) + ", found " + KindOf(value));
        }
        if (!value.contains("tap") && !value.contains("run")) {
            Fail(place, "a step object needs \"tap\", the file a user taps, or \"run\", the "
                        "program's path on the device");
        }
        if (value.contains("tap") && value.contains("run")) {
            Fail(place, "a step object is a tap or a run, not both");
        }
        if (value.contains("tap")) {
            if (value.contains("args")) {
                Fail(place.Field("args"), "a tap starts a file with an empty command line; "
                                          "\"args\" goes with \"run\"");
            }
            return {Step::Tap, DevicePath(value["tap"], place.Field("tap")), {}};
        }
        Step step{Step::Run, DevicePath(value["run"], place.Field("run")), {}};
        if (value.contains("args")) {
            step.args = Text(value["args"], place.Field("args"));
        }
        return step;
    }

    [[noreturn]] void Fail(const Place& place, const std::string& what) const {
        throw InputError(file_, place.Text(), what);
    }

  private:
    const std::string& String(const Json& value, const Place& place) const {
        if (!value.is_string()) {
            Fail(place, "expected a string, found " + KindOf(value));
        }
        return value.get_ref<const std::string&>();
    }

    // Text the program is handed as a zero-terminated string, where a NUL
    // would end it early.
    std::u16string Text(const Json& value, const Place& place) const {
        const std::string& text = String(value, place);
        if (text.find('\0') != std::string::npos) {
            Fail(place, Quoted(text) + " has a NUL character in it, where the device would end it");
        }
        return sim::Utf16(text);
    }

    const Json& Array(const Json& value, const Place& place) const {
        if (!value.is_array()) {
            Fail(place, "expected an array, found " + KindOf(value));
        }
        return value;
    }

    // An array's texts, each read by one of the readers below.
    using TextReader = std::u16string (Parser::*)(const Json&, const Place&) const;
    std::vector<std::u16string> Texts(const Json& value, const Place& place,
                                      TextReader read) const {
        const Json& items = Array(value, place);
        std::vector<std::u16string> texts;
        for (std::size_t i = 0; i < items.size(); ++i) {
            texts.push_back((this->*read)(items[i], place[i]));
        }
        return texts;
    }

    std::uint64_t Unsigned(const Json& value, const Place& place, std::uint64_t max) const {
        const std::string most = " (at most " + std::to_string(max) + ")";
        if (IsWhole(value) && value.get<double>() > static_cast<double>(max)) {
            Fail(place, Number(value.get<double>()) + " is too large" + most);
        }
        if ((value.is_number_integer() && !value.is_number_unsigned()) ||
            (value.is_number_float() && value.get<double>() < 0)) {
            Fail(place, "must not be negative");
        }
        if (!value.is_number_unsigned()) {
            Fail(place, "expected a whole number, found " + KindOf(value));
        }
        if (value.get<std::uint64_t>() > max) {
            Fail(place, std::to_string(value.get<std::uint64_t>()) + " is too large" + most);
        }
        return value.get<std::uint64_t>();
    }

    // A path on the device: rooted at "\", components that the device can
    // hold, no drive letter and no trailing "\".
    std::u16string DevicePath(const Json& value, const Place& place) const {
        const std::string& text = String(value, place);
        if (text.empty() || text[0] != '\\') {
            Fail(place,
                 Quoted(text) +
                     " is not rooted at \"\\\" (a device path looks like \\Storage Card\\2577, "
                     "written \"\\\\Storage Card\\\\2577\" in JSON)");
        }
        std::u16string path = sim::Utf16(text);
        for (std::size_t start = 1;;) {
            std::size_t slash = path.find(u'\\', start);
            std::size_t end = slash == std::u16string::npos ? path.size() : slash;
            const std::u16string_view name(path.data() + start, end - start);
            const std::string problem = NameProblem(name);
            if (name.empty()) {
                Fail(place, Quoted(text) + " has an empty name in it");
            }
            if (!problem.empty()) {
                Fail(place, Quoted(text) + " has a name the device cannot hold: " +
                                Quoted(sim::Utf8(std::u16string(name))) + " (" + problem + ")");
            }
            if (slash == std::u16string::npos) {
                return path;
            }
            start = slash + 1;
        }
    }

    // A key with its root, which may be any of the four: "HKEY_CURRENT_USER\Software"
    // or "HKCU\Software"; named with the root's whole name.
    std::u16string KeyWithRoot(const Json& value, const Place& place) const {
        static const std::pair<const char16_t*, const char16_t*> roots[] = {
            {u"HKLM", u"HKEY_LOCAL_MACHINE"},
            {u"HKCU", u"HKEY_CURRENT_USER"},
            {u"HKCR", u"HKEY_CLASSES_ROOT"},
            {u"HKU", u"HKEY_USERS"}};
        const std::string& text = String(value, place);
        const std::u16string key = sim::Utf16(text);
        const std::size_t slash = key.find(u'\\');
        const std::u16string root = key.substr(0, slash);
        for (const auto& known : roots) {
            if (sim::SameName(root, known.first) || sim::SameName(root, known.second)) {
                if (slash == std::u16string::npos || slash + 1 == key.size()) {
                    Fail(place, Quoted(text) + " names a root, which always exists; list the "
                                               "keys under it");
                }
                const std::u16string rest = key.substr(slash + 1);
                return std::u16string(known.second) + u"\\" + KeyPath(rest, text, place);
            }
        }
        Fail(place, Quoted(text) +
                        " does not start with a root: HKEY_LOCAL_MACHINE\\, HKEY_CURRENT_USER\\, "
                        "HKEY_CLASSES_ROOT\\ or HKEY_USERS\\ (or HKLM\\, HKCU\\, HKCR\\, HKU\\)");
    }

    std::u16string RegistryKey(const Json& value, const Place& place) const {
        const std::string& text = String(value, place);
        std::u16string key = sim::Utf16(text);
        std::u16string rest;
        bool rooted = false;
        for (std::u16string root : {u"HKEY_LOCAL_MACHINE", u"HKLM"}) {
            if (sim::SameName(key, root) || sim::SameName(key, root + u"\\")) {
                Fail(place, Quoted(text) + " names HKEY_LOCAL_MACHINE itself, which always "
                                           "exists; list the keys under it, such as "
                                           "HKLM\\SOFTWARE\\Apps");
            }
            root += u"\\";
            if (key.size() > root.size() && sim::SameName(key.substr(0, root.size()), root)) {
                rooted = true;
                rest = key.substr(root.size());
            }
        }
        if (!rooted) {
            Fail(place,
                 Quoted(text) + " does not start with \"HKEY_LOCAL_MACHINE\\\" or \"HKLM\\\"");
        }
        return KeyPath(rest, text, place);
    }

    // A key's path under its root (rest, of the key written as text): names
    // neither empty nor unprintable.
    const std::u16string& KeyPath(const std::u16string& rest, const std::string& text,
                                  const Place& place) const {
        for (std::size_t start = 0;;) {
            std::size_t slash = rest.find(u'\\', start);
            std::size_t end = slash == std::u16string::npos ? rest.size() : slash;
            if (end == start || std::any_of(rest.begin() + static_cast<std::ptrdiff_t>(start),
                                            rest.begin() + static_cast<std::ptrdiff_t>(end),
                                            [](char16_t c) { return c < 0x20; })) {
                Fail(place, Quoted(text) + " has an empty or unprintable key name in it");
            }
            if (slash == std::u16string::npos) {
                return rest;
            }
            start = slash + 1;
        }
    }

    sim::Ticks Time(const Json& value, const Place& place) const {
        if (value.is_string()) {
            sim::Ticks ticks = 0;
            if (!ParseIsoTime(value.get_ref<const std::string&>(), ticks)) {
                Fail(place, Quoted(value.get_ref<const std::string&>()) +
                                " is not a UTC time like \"2026-11-02T10:00:00Z\" (up to 7 "
                                "fractional digits, years 1601 to 9999)");
            }
            return ticks;
        }
        if (value.is_number_integer() ||
            (IsWhole(value) && value.get<double>() > static_cast<double>(INT64_MAX))) {
            return Unsigned(value, place, INT64_MAX);
        }
        Fail(place, "expected a UTC time text or a tick count, found " + KindOf(value));
    }

    std::uint32_t Attributes(const Json& value, const Place& place) const {
        std::uint32_t bits = 0;
        const Json& names = Array(value, place);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& name = String(names[i], place[i]);
            auto known = std::find_if(AttributeNames().begin(), AttributeNames().end(),
                                      [&](const auto& a) { return a.first == name; });
            if (known == AttributeNames().end()) {
                Fail(place[i], "unknown attribute " + Quoted(name) +
                                   " (known: directory, temporary, readonly, hidden, "
                                   "system, archive)");
            }
            bits |= known->second;
        }
        return bits;
    }

    void ParseEntry(const Json& value, const Place& place, std::vector<sim::Entry>& out) {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        if (!value.contains("path")) {
            Fail(place, "an entry needs \"path\"");
        }
        sim::Entry entry;
        entry.path = DevicePath(value["path"], place.Field("path"));
        if (value.contains("attributes")) {
            entry.attributes = Attributes(value["attributes"], place.Field("attributes"));
        }
        if (value.contains("time")) {
            entry.time = Time(value["time"], place.Field("time"));
        }
        Check(entry, place.Field("path"));
        out.push_back(std::move(entry));

        if (value.contains("from")) {
            const Place at = place.Field("from");
            const std::string& from = String(value["from"], at);
            if (from.empty()) {
                Fail(at, "an empty name (\".\" is the description's own folder)");
            }
            std::filesystem::path host(from);
            if (host.is_relative()) {
                host = std::filesystem::path(baseDir_) / host;
            }
            std::string error;
            if ((out.back().attributes & sim::AttrDirectory) == 0) {
                // A file takes a host file's bytes.
                if (!ReadHostFile(host.string(), out.back(), value.contains("time"), error)) {
                    Fail(at, error);
                }
                return;
            }
            std::vector<sim::Entry> copied;
            if (!ReadHostFolder(host.string(), out.back().path, copied, error)) {
                Fail(at, error);
            }
            for (sim::Entry& file : copied) {
                Check(file, at);
                out.push_back(std::move(file));
            }
        }
    }

    // Folders hold entries; files do not. Checked as the entries come, on
    // the store the device will have, each in the time its path takes to
    // read and the folders it makes.
    void Check(const sim::Entry& entry, const Place& place) {
        const sim::Entry* deepest = store_.DeepestOn(entry.path);
        const bool folder = (entry.attributes & sim::AttrDirectory) != 0;
        if (deepest != nullptr && sim::SameName(deepest->path, entry.path)) {
            if (!folder && store_.HasChildren(entry.path)) {
                Fail(place, Quoted(sim::Utf8(entry.path)) +
                                " already holds entries, so it needs the directory attribute");
            }
        } else {
            if (sim::IsFile(deepest)) {
                // Named as this entry spells it; case folding keeps lengths.
                Fail(place, Quoted(sim::Utf8(entry.path.substr(0, deepest->path.size()))) +
                                " is a file, so nothing can be under it");
            }
            // The device keeps each entry, the folders it makes included,
            // with its whole path: deep paths cost their square.
            const std::size_t above = deepest != nullptr ? deepest->path.size() : 0;
            for (std::size_t end = entry.path.find(u'\\', above + 1);;
                 end = entry.path.find(u'\\', end + 1)) {
                deviceUnits_ += end == std::u16string::npos ? entry.path.size() : end;
                if (deviceUnits_ > MaxDeviceUnits) {
                    Fail(place,
                         "the device's paths, each folder's included, would total more than " +
                             std::to_string(MaxDeviceUnits) +
                             " units: too many entries, or paths nested too deep");
                }
                if (end == std::u16string::npos) {
                    break;
                }
            }
        }
        store_.Add(entry);
    }

    bool Boolean(const Json& value, const Place& place) const {
        if (!value.is_boolean()) {
            Fail(place, "expected true or false, found " + KindOf(value));
        }
        return value.get<bool>();
    }

    sim::Unload UnloadOf(const Json& value, const Place& place) const {
        const std::string& text = String(value, place);
        if (text == "uninstalls") {
            return sim::Unload::Uninstalls;
        }
        if (text == "does-nothing") {
            return sim::Unload::DoesNothing;
        }
        if (text == "absent") {
            return sim::Unload::Absent;
        }
        Fail(place, "unknown " + Quoted(text) +
                        ": expected \"uninstalls\", \"does-nothing\" or "
                        "\"absent\"");
    }

    // The standing of the facts the description gives: each its "sources"
    // (ids such as "S12"), or what is "assumed", in words.
    void ParseStanding(const Json& root, std::map<std::string, Standing>& standing) const {
        const Place at("standing");
        const Json& value = root["standing"];
        if (!value.is_object()) {
            Fail(at, "expected an object, found " + KindOf(value));
        }
        for (auto it = value.begin(); it != value.end(); ++it) {
            const Place place = at.Field(it.key().c_str());
            if (!root.contains(it.key())) {
                Fail(place, "the description does not give " + Quoted(it.key()) +
                                ", so it has no standing to give");
            }
            const Json& fact = it.value();
            if (!fact.is_object()) {
                Fail(place, "expected an object, found " + KindOf(fact));
            }
            Standing s;
            if (fact.contains("sources")) {
                const Place sources = place.Field("sources");
                const Json& ids = Array(fact["sources"], sources);
                for (std::size_t i = 0; i < ids.size(); ++i) {
                    const std::string& id = String(ids[i], sources[i]);
                    const std::size_t digits = id.find_first_of("0123456789");
                    if (digits == 0 || digits == std::string::npos ||
                        id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != digits ||
                        id.find_first_not_of("0123456789", digits) != std::string::npos) {
                        Fail(sources[i], Quoted(id) + " is not a source's id like \"S12\"");
                    }
                    s.sources.push_back(id);
                }
            }
            if (fact.contains("assumed")) {
                s.assumed = String(fact["assumed"], place.Field("assumed"));
            }
            if (s.sources.empty() && s.assumed.empty()) {
                Fail(place, "give its \"sources\", or what is \"assumed\" in words");
            }
            standing[it.key()] = s;
        }
    }

    // The installer's standard folders: "%CE1%" and so on, each a device path.
    void ParseFolders(const Json& value, const Place& place, sim::Folders& folders) const {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        for (auto it = value.begin(); it != value.end(); ++it) {
            const std::string& name = it.key();
            const bool named = name.size() > 4 && name.compare(0, 3, "%CE") == 0 &&
                               name.back() == '%' &&
                               name.find_first_not_of("0123456789", 3) == name.size() - 1;
            if (!named) {
                Fail(place, Quoted(name) + " is not a standard folder's name like \"%CE1%\"");
            }
            const Place at = place.Field(name.c_str());
            folders[sim::Utf16(name)] = DevicePath(it.value(), at);
        }
    }

    // The libraries besides COREDLL: {"aygshell.dll": ["DMProcessConfigXML"]},
    // each exporting procedures the device carries out.
    std::vector<sim::LibraryFacts> ParseLibraries(const Json& value, const Place& place) const {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        std::vector<sim::LibraryFacts> libraries;
        for (auto it = value.begin(); it != value.end(); ++it) {
            sim::LibraryFacts library{sim::Utf16(it.key()), {}};
            if (library.name.empty() || !NameProblem(library.name).empty()) {
                Fail(place, Quoted(it.key()) + " is not a library's file name");
            }
            if (sim::SameName(library.name, sim::CoreLibrary) ||
                sim::SameName(library.name + u".dll", sim::CoreLibrary)) {
                Fail(place, "COREDLL is every device's, its exports the platform operations; "
                            "list only the other libraries");
            }
            const Place at = place.Field(it.key().c_str());
            const Json& names = Array(it.value(), at);
            for (std::size_t i = 0; i < names.size(); ++i) {
                const std::string& name = String(names[i], at[i]);
                sim::Procedure procedure;
                if (!sim::ProcedureNamed(name, procedure)) {
                    Fail(at[i], "the device carries out no procedure " + Quoted(name) +
                                    " (known: " + sim::ProcedureNames() + ")");
                }
                library.exports.push_back(procedure);
            }
            libraries.push_back(std::move(library));
        }
        return libraries;
    }

    // The Configuration Manager's providers: ["UnInstall"].
    std::vector<std::string> ParseProviders(const Json& value, const Place& place) const {
        std::vector<std::string> providers;
        const Json& names = Array(value, place);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& name = String(names[i], place[i]);
            if (!sim::ProviderModelled(name)) {
                Fail(place[i], "the device carries out no configuration service provider " +
                                   Quoted(name) + " (known: " + sim::ModelledProviders() + ")");
            }
            providers.push_back(name);
        }
        return providers;
    }

    void ParseFaults(const Json& value, const Place& place, Description& d) const {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        if (value.contains("appKeyDeleteFailures")) {
            const Place at = place.Field("appKeyDeleteFailures");
            const std::uint64_t count = Unsigned(value["appKeyDeleteFailures"], at, UINT32_MAX);
            Fail(at, "is gone; a fault plan says the same: \"plan\": [{\"op\": \"RegDeleteKeyW\", "
                     "\"match\": \"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Apps\\\\*\", \"count\": " +
                         std::to_string(count) + ", \"error\": 5}]");
        }
        if (value.contains("failing")) {
            const Place at = place.Field("failing");
            const Json& names = Array(value["failing"], at);
            for (std::size_t i = 0; i < names.size(); ++i) {
                sim::FaultRule rule;
                rule.op = Operation(names[i], at[i]);
                d.faults.push_back(rule);
            }
        }
        if (value.contains("plan")) {
            const Place at = place.Field("plan");
            const Json& rules = Array(value["plan"], at);
            for (std::size_t i = 0; i < rules.size(); ++i) {
                d.faults.push_back(Rule(rules[i], at[i]));
            }
        }
    }

    // A failable operation, by its platform name.
    sim::Op Operation(const Json& value, const Place& place) const {
        const std::string& name = String(value, place);
        const auto& known = sim::FailableOperations();
        sim::Op op;
        if (std::find(known.begin(), known.end(), name) == known.end() || !sim::OpNamed(name, op)) {
            std::string list;
            for (const std::string& k : known) {
                list += (list.empty() ? "" : ", ") + k;
            }
            Fail(place, "unknown operation " + Quoted(name) + " (known: " + list + ")");
        }
        return op;
    }

    sim::FaultRule Rule(const Json& value, const Place& place) const {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        if (!value.contains("op")) {
            Fail(place, "a plan entry needs \"op\", the operation to fail");
        }
        sim::FaultRule rule;
        rule.op = Operation(value["op"], place.Field("op"));
        if (value.contains("match")) {
            const Place at = place.Field("match");
            if (*sim::MatchedArgument(rule.op) == '\0') {
                Fail(at, std::string(sim::NameOf(rule.op)) +
                             " has no path or key argument for a pattern to match");
            }
            rule.match = Text(value["match"], at);
            if (rule.match.empty()) {
                Fail(at, "an empty pattern matches nothing; leave \"match\" out for every call");
            }
        }
        if (value.contains("from")) {
            rule.from = static_cast<std::uint32_t>(
                Unsigned(value["from"], place.Field("from"), UINT32_MAX));
            if (rule.from == 0) {
                Fail(place.Field("from"), "calls are counted from 1");
            }
        }
        if (value.contains("count")) {
            rule.count = static_cast<std::uint32_t>(
                Unsigned(value["count"], place.Field("count"), UINT32_MAX));
            if (rule.count == 0) {
                Fail(place.Field("count"),
                     "0 calls fail nothing; leave \"count\" out for every call from then on");
            }
        }
        if (value.contains("error")) {
            const std::uint64_t error = Unsigned(value["error"], place.Field("error"), INT32_MAX);
            if (error == 0) {
                Fail(place.Field("error"), "0 is success, not an error");
            }
            rule.error = static_cast<platform::LONG>(error);
        }
        return rule;
    }

    std::string file_;
    std::string baseDir_;
    sim::Store store_; // every entry so far, as the device will hold them
    std::uint64_t deviceUnits_ = 0;
};

// The example card, its packages read-only as on a burnt card; each ".cab"
// holds the example package (DemoDescription puts it in).
const char DemoText[] = R"({
  "profile": "pocket-pc-2003",
  "entries": [
    {"path": "\\Storage Card", "attributes": ["directory", "temporary"]},
    {"path": "\\Storage Card\\2577\\autorun.exe", "time": "2026-11-02T10:00:00Z"},
    {"path": "\\Storage Card\\2577\\Reader.cab", "attributes": ["readonly"],
     "time": "2026-11-02T10:00:00Z"},
    {"path": "\\Storage Card\\wince\\arm\\Reader.cab", "attributes": ["readonly"],
     "time": "2026-11-02T10:00:00Z"}
  ],
  "steps": ["insert", "menu", "remove"]
})";

} // namespace

const std::vector<std::pair<std::string, std::uint32_t>>& AttributeNames() {
    static const std::vector<std::pair<std::string, std::uint32_t>> names = {
        {"directory", sim::AttrDirectory}, {"temporary", sim::AttrTemporary},
        {"readonly", sim::AttrReadOnly},   {"hidden", sim::AttrHidden},
        {"system", sim::AttrSystem},       {"archive", sim::AttrArchive}};
    return names;
}

Description ParseDescription(const std::string& text, const std::string& file,
                             const std::string& baseDir) {
    const Json root = ParseJson(text, file, "", DescriptionFields);
    return Parser(file, baseDir).Parse(root);
}

Description ReadDescription(const std::string& file) {
    if (file == "-") {
        return ParseDescription(ReadInput(file, "standard input"), "standard input", ".");
    }
    std::string base = std::filesystem::path(file).parent_path().string();
    return ParseDescription(ReadInput(file, file), file, base.empty() ? "." : base);
}

Description DemoDescription() {
    Description demo = ParseDescription(DemoText, "built-in demo", ".");
    for (sim::Entry& entry : demo.entries) {
        if (sim::HasExtension(entry.path, u".cab")) {
            entry.content = ExamplePackage();
        }
    }
    return demo;
}

const std::vector<std::string>& FactNames() {
    return Facts;
}

Description ProfileWith(const std::string& name, const std::vector<std::string>& sets) {
    const std::string file = "command line";
    Json root = Json::object();
    root["profile"] = name;
    for (const std::string& set : sets) {
        const std::size_t equals = set.find('=');
        const std::string fact = set.substr(0, equals);
        if (equals == std::string::npos || fact.empty()) {
            throw InputError(file, "--set", "expected FACT=VALUE, found " + Quoted(set));
        }
        if (std::find(Facts.begin(), Facts.end(), fact) == Facts.end()) {
            std::string known;
            for (const std::string& f : Facts) {
                known += (known.empty() ? "" : ", ") + f;
            }
            throw InputError(file, "--set",
                             "unknown fact " + Quoted(fact) + " (known: " + known + ")");
        }
        if (root.contains(fact)) {
            throw InputError(file, "--set", Quoted(fact) + " is set twice");
        }
        const std::string text = set.substr(equals + 1);
        const bool json =
            !text.empty() && (std::string("{[-0123456789").find(text[0]) != std::string::npos ||
                              text == "true" || text == "false");
        root[fact] = json ? ParseJson(text, file, "--set " + fact, nullptr) : Json(text);
    }
    Description d = Parser("command line: --set", ".").Parse(root);
    d.source = "profile " + name;
    return d;
}

Description CardFolderDescription(const std::string& folder) {
    return Parser(folder, ".").CardFolder(folder);
}

Step ParseCommandLineStep(const std::string& text, std::size_t index) {
    const std::string place = "step " + std::to_string(index);
    Parser parser("command line", ".");
    if (!text.empty() && text[0] == '{') {
        return parser.ParseStep(ParseJson(text, "command line", place, CommandLineStepFields),
                                place);
    }
    return parser.ParseStep(Json(text), place);
}

int Populate(const Description& description, sim::Device& device, const sim::Content& image) {
    for (const sim::Entry& entry : description.entries) {
        device.Put(entry);
    }
    int cards = 0;
    for (const sim::Entry* card :
         image ? device.Files().Children(u"") : std::vector<const sim::Entry*>()) {
        if (const sim::Entry* file = device.TheShell().ProgramOn(*card)) {
            sim::Entry holding = *file;
            holding.content = image;
            device.Put(holding);
            ++cards;
        }
    }
    if (description.hasRegistry) {
        device.ClearRegistry();
        for (const std::u16string& key : description.registry) {
            device.PutKey(key);
        }
    }
    for (const sim::FaultRule& rule : description.faults) {
        device.AddFault(rule);
    }
    return cards;
}

} // namespace simtool
