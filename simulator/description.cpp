// Reading device descriptions. Every field is checked before anything runs:
// unknown fields, wrong types, bad times and paths are reported with the file
// and the place, so a description never half-applies.
#include "simulator/description.h"

#include "autorun/constants.h"
#include "resources/product.h"
#include "simulator/host_folder.h"
#include "simulator/time_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace simtool {

namespace {

using Json = nlohmann::ordered_json;

const std::u16string ProductTitle = u"" PRODUCT_TITLE;

const char* const StepHelp = "expected insert, menu, remove or {\"run\": PATH, \"args\": TEXT}";

// Text from the input with control characters escaped, so that an error stays
// on one line.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Quoted(const std::string& text) {
    return "\"" + Escaped(text) + "\"";
}

std::string Field(const std::string& place, const std::string& name) {
    return place.empty() ? Escaped(name) : place + "." + Escaped(name);
}

std::string Index(const std::string& place, std::size_t index) {
    return place + "[" + std::to_string(index) + "]";
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
        return "a number with a fraction";
    default:
        return value.is_number() ? "a number" : "a value of another kind";
    }
}

// The description of a JSON syntax error without nlohmann's prefix and
// position, which is given as line and column instead.
std::string SyntaxError(const std::string& text, const nlohmann::json::parse_error& e,
                        std::string& place) {
    std::size_t end = std::min<std::size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    std::size_t line =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + end, '\n'));
    std::size_t newline = text.rfind('\n', end == 0 ? 0 : end - 1);
    std::size_t column = newline == std::string::npos || end == 0 ? end + 1 : end - newline;
    place = "line " + std::to_string(line) + ", column " + std::to_string(column);
    std::string what = e.what();
    std::size_t at = what.find("column ");
    at = at == std::string::npos ? std::string::npos : what.find(": ", at);
    return at == std::string::npos ? what : what.substr(at + 2);
}

// Parses JSON text, refusing a field named twice in one object: the parser
// would otherwise keep the last value silently. The place of a duplicate is
// followed through the containers as they open and close.
Json ParseJson(const std::string& text, const std::string& file, const std::string& at) {
    struct Frame {
        bool object;
        std::string place;
        std::set<std::string> keys;
        std::string key;
        std::size_t index = 0;
    };
    std::vector<Frame> frames;
    auto child = [&frames]() {
        if (frames.empty()) {
            return std::string();
        }
        const Frame& parent = frames.back();
        return parent.object ? Field(parent.place, parent.key) : Index(parent.place, parent.index);
    };
    auto next = [&frames]() {
        if (!frames.empty() && !frames.back().object) {
            ++frames.back().index;
        }
    };
    using Event = nlohmann::json::parse_event_t;
    return Json::parse(text, [&](int, Event event, Json& parsed) {
        switch (event) {
        case Event::object_start:
        case Event::array_start:
            frames.push_back({event == Event::object_start, child(), {}, {}, 0});
            break;
        case Event::key: {
            Frame& top = frames.back();
            top.key = parsed.get<std::string>();
            if (!top.keys.insert(top.key).second) {
                std::string place = Field(top.place, top.key);
                throw InputError(file, at.empty() ? place : Field(at, place),
                                 "field " + Quoted(top.key) + " given twice");
            }
            break;
        }
        case Event::object_end:
        case Event::array_end:
            frames.pop_back();
            next();
            break;
        case Event::value:
            next();
            break;
        }
        return true;
    });
}

class Parser {
  public:
    Parser(std::string file, std::string baseDir)
        : file_(std::move(file)), baseDir_(std::move(baseDir)) {
        const sim::Device bare;
        for (const sim::Entry* entry : bare.files.All()) {
            Record(*entry);
        }
    }

    Description Parse(const Json& root) {
        Description d;
        d.source = file_;
        if (!root.is_object()) {
            Fail("top level", "expected an object, found " + KindOf(root));
        }
        Known(root, "",
              {"platform", "osMajor", "title", "entries", "registry", "uninstallMs", "faults",
               "steps"});
        if (root.contains("platform")) {
            d.platform = sim::Utf16(String(root["platform"], "platform"));
        }
        if (root.contains("osMajor")) {
            d.osMajor =
                static_cast<std::uint32_t>(Unsigned(root["osMajor"], "osMajor", UINT32_MAX));
        }
        if (root.contains("title")) {
            d.hasTitle = true;
            d.title = sim::Utf16(String(root["title"], "title"));
        }
        if (root.contains("entries")) {
            const Json& entries = Array(root["entries"], "entries");
            for (std::size_t i = 0; i < entries.size(); ++i) {
                ParseEntry(entries[i], Index("entries", i), d.entries);
            }
        }
        if (root.contains("registry")) {
            d.hasRegistry = true;
            const Json& keys = Array(root["registry"], "registry");
            for (std::size_t i = 0; i < keys.size(); ++i) {
                d.registry.push_back(RegistryKey(keys[i], Index("registry", i)));
            }
        }
        if (root.contains("uninstallMs")) {
            d.uninstallMs = Unsigned(root["uninstallMs"], "uninstallMs", UINT32_MAX);
        }
        if (root.contains("faults")) {
            ParseFaults(root["faults"], "faults", d);
        }
        if (root.contains("steps")) {
            d.steps.clear();
            const Json& steps = Array(root["steps"], "steps");
            for (std::size_t i = 0; i < steps.size(); ++i) {
                d.steps.push_back(ParseStep(steps[i], Index("steps", i)));
            }
        }
        return d;
    }

    Step ParseStep(const Json& value, const std::string& place) const {
        if (value.is_string()) {
            const std::string name = value.get<std::string>();
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
        Known(value, place, {"run", "args"});
        if (!value.contains("run")) {
            Fail(place, "a step object needs \"run\", the program's path on the device");
        }
        Step step{Step::Run, DevicePath(value["run"], Field(place, "run")), {}};
        if (value.contains("args")) {
            step.args = sim::Utf16(String(value["args"], Field(place, "args")));
        }
        return step;
    }

    [[noreturn]] void Fail(const std::string& place, const std::string& what) const {
        throw InputError(file_, place, what);
    }

  private:
    void Known(const Json& object, const std::string& place,
               std::initializer_list<const char*> names) const {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (std::none_of(names.begin(), names.end(),
                             [&](const char* name) { return it.key() == name; })) {
                std::string list;
                for (const char* name : names) {
                    list += (list.empty() ? "" : ", ") + std::string(name);
                }
                Fail(Field(place, it.key()),
                     "unknown field " + Quoted(it.key()) + " (known here: " + list + ")");
            }
        }
    }

    std::string String(const Json& value, const std::string& place) const {
        if (!value.is_string()) {
            Fail(place, "expected a string, found " + KindOf(value));
        }
        return value.get<std::string>();
    }

    const Json& Array(const Json& value, const std::string& place) const {
        if (!value.is_array()) {
            Fail(place, "expected an array, found " + KindOf(value));
        }
        return value;
    }

    std::uint64_t Unsigned(const Json& value, const std::string& place, std::uint64_t max) const {
        if (value.is_number_integer() && !value.is_number_unsigned()) {
            Fail(place, "must not be negative");
        }
        if (!value.is_number_unsigned()) {
            Fail(place, "expected a whole number, found " + KindOf(value));
        }
        if (value.get<std::uint64_t>() > max) {
            Fail(place, "at most " + std::to_string(max));
        }
        return value.get<std::uint64_t>();
    }

    // A path on the device: rooted at "\", components that the device can
    // hold, no drive letter and no trailing "\".
    std::u16string DevicePath(const Json& value, const std::string& place) const {
        const std::string text = String(value, place);
        if (text.empty() || text[0] != '\\') {
            Fail(place,
                 Quoted(text) +
                     " is not rooted at \"\\\" (a device path looks like \\Storage Card\\2577, "
                     "written \"\\\\Storage Card\\\\2577\" in JSON)");
        }
        std::u16string path = sim::Utf16(text);
        for (std::size_t start = 1;;) {
            std::size_t slash = path.find(u'\\', start);
            std::u16string name = path.substr(
                start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
            if (!IsDeviceName(name)) {
                Fail(place, Quoted(text) + (name.empty() ? " has an empty name in it"
                                                         : " has a name the device cannot hold: " +
                                                               Quoted(sim::Utf8(name))));
            }
            if (slash == std::u16string::npos) {
                return path;
            }
            start = slash + 1;
        }
    }

    std::u16string RegistryKey(const Json& value, const std::string& place) const {
        const std::string text = String(value, place);
        std::u16string key = sim::Utf16(text);
        std::u16string rest;
        for (std::u16string root : {u"HKEY_LOCAL_MACHINE\\", u"HKLM\\"}) {
            if (key.size() > root.size() && sim::SameName(key.substr(0, root.size()), root)) {
                rest = key.substr(root.size());
            }
        }
        if (rest.empty()) {
            Fail(place,
                 Quoted(text) + " does not start with \"HKEY_LOCAL_MACHINE\\\" or \"HKLM\\\"");
        }
        for (std::size_t start = 0;;) {
            std::size_t slash = rest.find(u'\\', start);
            std::u16string name = rest.substr(
                start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
            if (name.empty() ||
                std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; })) {
                Fail(place, Quoted(text) + " has an empty or unprintable key name in it");
            }
            if (slash == std::u16string::npos) {
                return rest;
            }
            start = slash + 1;
        }
    }

    sim::Ticks Time(const Json& value, const std::string& place) const {
        if (value.is_string()) {
            sim::Ticks ticks = 0;
            if (!ParseIsoTime(value.get<std::string>(), ticks)) {
                Fail(place, Quoted(value.get<std::string>()) +
                                " is not a UTC time like \"2026-11-02T10:00:00Z\" (up to 7 "
                                "fractional digits, years 1601 to 9999)");
            }
            return ticks;
        }
        if (value.is_number_integer()) {
            return Unsigned(value, place, INT64_MAX);
        }
        Fail(place, "expected a UTC time text or a tick count, found " + KindOf(value));
    }

    std::uint32_t Attributes(const Json& value, const std::string& place) const {
        std::uint32_t bits = 0;
        const Json& names = Array(value, place);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string name = String(names[i], Index(place, i));
            auto known = std::find_if(AttributeNames().begin(), AttributeNames().end(),
                                      [&](const auto& a) { return a.first == name; });
            if (known == AttributeNames().end()) {
                Fail(Index(place, i), "unknown attribute " + Quoted(name) +
                                          " (known: directory, temporary, readonly, hidden, "
                                          "system, archive)");
            }
            bits |= known->second;
        }
        return bits;
    }

    void ParseEntry(const Json& value, const std::string& place, std::vector<sim::Entry>& out) {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        Known(value, place, {"path", "attributes", "time", "from"});
        if (!value.contains("path")) {
            Fail(place, "an entry needs \"path\"");
        }
        sim::Entry entry;
        entry.path = DevicePath(value["path"], Field(place, "path"));
        if (value.contains("attributes")) {
            entry.attributes = Attributes(value["attributes"], Field(place, "attributes"));
        }
        if (value.contains("time")) {
            entry.time = Time(value["time"], Field(place, "time"));
        }
        Check(entry, Field(place, "path"));
        out.push_back(entry);

        if (value.contains("from")) {
            const std::string from = String(value["from"], Field(place, "from"));
            if ((entry.attributes & sim::AttrDirectory) == 0) {
                Fail(Field(place, "from"), "only an entry with the directory attribute can take "
                                           "files from a host folder");
            }
            std::filesystem::path host(from);
            if (host.is_relative()) {
                host = std::filesystem::path(baseDir_) / host;
            }
            std::vector<sim::Entry> copied;
            std::string error;
            if (!ReadHostFolder(host.string(), entry.path, copied, error)) {
                Fail(Field(place, "from"), error);
            }
            for (const sim::Entry& file : copied) {
                Check(file, Field(place, "from"));
                out.push_back(file);
            }
        }
    }

    // Folders hold entries; files do not. Checked as the entries come.
    void Check(const sim::Entry& entry, const std::string& place) {
        std::u16string folded = sim::Fold(entry.path);
        for (std::size_t slash = folded.find(u'\\', 1); slash != std::u16string::npos;
             slash = folded.find(u'\\', slash + 1)) {
            auto kind = isFolder_.find(folded.substr(0, slash));
            if (kind != isFolder_.end() && !kind->second) {
                Fail(place, Quoted(sim::Utf8(entry.path.substr(0, slash))) +
                                " is a file, so nothing can be under it");
            }
        }
        bool folder = (entry.attributes & sim::AttrDirectory) != 0;
        if (!folder && holders_.count(folded) != 0) {
            Fail(place, Quoted(sim::Utf8(entry.path)) +
                            " already holds entries, so it needs the directory attribute");
        }
        Record(entry);
    }

    void Record(const sim::Entry& entry) {
        std::u16string folded = sim::Fold(entry.path);
        for (std::size_t slash = folded.find(u'\\', 1); slash != std::u16string::npos;
             slash = folded.find(u'\\', slash + 1)) {
            isFolder_.emplace(folded.substr(0, slash), true);
            holders_.insert(folded.substr(0, slash));
        }
        isFolder_[folded] = (entry.attributes & sim::AttrDirectory) != 0;
    }

    void ParseFaults(const Json& value, const std::string& place, Description& d) const {
        if (!value.is_object()) {
            Fail(place, "expected an object, found " + KindOf(value));
        }
        Known(value, place, {"failing", "appKeyDeleteFailures"});
        if (value.contains("failing")) {
            const std::string at = Field(place, "failing");
            const Json& names = Array(value["failing"], at);
            const auto& known = sim::FailableOperations();
            for (std::size_t i = 0; i < names.size(); ++i) {
                const std::string name = String(names[i], Index(at, i));
                if (std::find(known.begin(), known.end(), name) == known.end()) {
                    std::string list;
                    for (const std::string& k : known) {
                        list += (list.empty() ? "" : ", ") + k;
                    }
                    Fail(Index(at, i),
                         "unknown operation " + Quoted(name) + " (known: " + list + ")");
                }
                d.failing.insert(name);
            }
        }
        if (value.contains("appKeyDeleteFailures")) {
            d.appKeyDeleteFailures = static_cast<int>(Unsigned(
                value["appKeyDeleteFailures"], Field(place, "appKeyDeleteFailures"), INT_MAX));
        }
    }

    std::string file_;
    std::string baseDir_;
    std::map<std::u16string, bool> isFolder_; // folded path: true for a folder
    std::set<std::u16string> holders_;        // folded paths with entries under them
};

const char DemoText[] = R"({
  "platform": "PocketPC",
  "osMajor": 4,
  "entries": [
    {"path": "\\Storage Card", "attributes": ["directory", "temporary"]},
    {"path": "\\Storage Card\\2577\\autorun.exe", "time": "2026-11-02T10:00:00Z"},
    {"path": "\\Storage Card\\2577\\Reader.cab", "time": "2026-11-02T10:00:00Z"},
    {"path": "\\Storage Card\\wince\\arm\\Reader.cab", "time": "2026-11-02T10:00:00Z"}
  ],
  "steps": ["insert", "menu", "remove"]
})";

} // namespace

InputError::InputError(const std::string& file, const std::string& place, const std::string& what)
    : std::runtime_error(file + ": " + (place.empty() ? "" : place + ": ") + what) {}

const std::vector<std::pair<std::string, std::uint32_t>>& AttributeNames() {
    static const std::vector<std::pair<std::string, std::uint32_t>> names = {
        {"directory", sim::AttrDirectory}, {"temporary", sim::AttrTemporary},
        {"readonly", sim::AttrReadOnly},   {"hidden", sim::AttrHidden},
        {"system", sim::AttrSystem},       {"archive", sim::AttrArchive}};
    return names;
}

Description ParseDescription(const std::string& text, const std::string& file,
                             const std::string& baseDir) {
    Json root;
    try {
        root = ParseJson(text, file, "");
    } catch (const nlohmann::json::parse_error& e) {
        std::string place;
        std::string what = SyntaxError(text, e, place);
        throw InputError(file, place, what);
    }
    return Parser(file, baseDir).Parse(root);
}

Description ReadDescription(const std::string& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        throw InputError(file, "", "cannot read: it is a folder, not a file");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw InputError(file, "", std::string("cannot read: ") + std::strerror(errno));
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        throw InputError(file, "", "cannot read: read error");
    }
    std::string base = std::filesystem::path(file).parent_path().string();
    return ParseDescription(text.str(), file, base.empty() ? "." : base);
}

Description DemoDescription() {
    return ParseDescription(DemoText, "built-in demo", ".");
}

Step ParseCommandLineStep(const std::string& text, std::size_t index) {
    const std::string place = "step " + std::to_string(index);
    Parser parser("command line", ".");
    if (!text.empty() && text[0] == '{') {
        Json value;
        try {
            value = ParseJson(text, "command line", place);
        } catch (const nlohmann::json::parse_error& e) {
            std::string at;
            parser.Fail(place, "not a JSON object: " + SyntaxError(text, e, at) + " (" + at + ")");
        }
        return parser.ParseStep(value, place);
    }
    return parser.ParseStep(Json(text), place);
}

void Configure(const Description& description, sim::Device& device) {
    device.platformType = description.platform;
    device.osMajor = description.osMajor;
    device.app = {AppName, ReaderPath, description.hasTitle ? description.title : ProductTitle};
    for (const sim::Entry& entry : description.entries) {
        device.files.Add(entry);
    }
    if (description.hasRegistry) {
        device.registry.Clear();
        for (const std::u16string& key : description.registry) {
            device.registry.Add(key);
        }
    }
    device.uninstallMs = description.uninstallMs;
    for (const std::string& name : description.failing) {
        sim::Op op;
        if (sim::OpNamed(name, op)) {
            device.failing.insert(op);
        }
    }
    device.appKeyDeleteFailures = description.appKeyDeleteFailures;
}

} // namespace simtool
