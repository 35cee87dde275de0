// The simulated device's state, its clock with the programs that run beside
// ours, and the card life steps that start the program.
#include "platform/sim/device.h"

#include "autorun/autorun.h"
#include "autorun/constants.h"
#include "resources/product.h"

#include <algorithm>
#include <cstdlib>

namespace sim {

namespace {

Device* current = nullptr;

constexpr platform::HINSTANCE ProgramInstance = 0x10000;

bool IsUnder(const std::u16string& path, const std::u16string& folder) {
    return path.size() > folder.size() && path[folder.size()] == u'\\' &&
           SameName(path.substr(0, folder.size()), folder);
}

} // namespace

const Value* Event::Find(const std::string& name) const {
    for (const auto& field : fields) {
        if (field.first == name) {
            return &field.second;
        }
    }
    return nullptr;
}

std::string Event::Text(const std::string& name) const {
    const Value* value = Find(name);
    return value != nullptr ? value->text : std::string();
}

long long Event::Number(const std::string& name) const {
    const Value* value = Find(name);
    return value != nullptr ? value->number : -1;
}

bool Event::Flag(const std::string& name) const {
    const Value* value = Find(name);
    return value != nullptr && value->kind == Value::Flag && value->number != 0;
}

const std::vector<std::string>& FailableOperations() {
    static const std::vector<std::string> names = {"GetModuleFileNameW",
                                                   "LoadStringW",
                                                   "FindFirstFileW",
                                                   "FindNextFileW",
                                                   "SystemParametersInfoW",
                                                   "GetVersionExW",
                                                   "ShellExecuteEx",
                                                   "SHGetSpecialFolderPath",
                                                   "CopyFileW",
                                                   "DeleteFileW",
                                                   "RegOpenKeyExW",
                                                   "RegDeleteKeyW",
                                                   "MessageBoxW"};
    return names;
}

Device::Device() : title(u"" PRODUCT_TITLE) {
    AddEntry({u"\\Windows", AttrDirectory, DefaultEntryTime});
    AddEntry({UninstallerPath, AttrReadOnly | AttrSystem, DefaultEntryTime});
    AddEntry({u"\\Program Files", AttrDirectory, DefaultEntryTime});
    AddKey(AppsKeyPath);
}

Device* Device::Current() {
    if (current == nullptr) {
        std::abort(); // a platform call outside a run of the program
    }
    return current;
}

void Device::AddEntry(const Entry& entry) {
    for (std::size_t slash = entry.path.find(u'\\', 1); slash != std::u16string::npos;
         slash = entry.path.find(u'\\', slash + 1)) {
        std::u16string folder = entry.path.substr(0, slash);
        if (Find(folder) == nullptr) {
            entries_.push_back({folder, AttrDirectory, DefaultEntryTime});
        }
    }
    if (Entry* existing = Find(entry.path)) {
        existing->attributes = entry.attributes;
        existing->time = entry.time;
    } else {
        entries_.push_back(entry);
    }
}

void Device::AddKey(const std::u16string& key) {
    for (std::size_t slash = key.find(u'\\'); slash != std::u16string::npos;
         slash = key.find(u'\\', slash + 1)) {
        if (!HasKey(key.substr(0, slash))) {
            keys_.push_back(key.substr(0, slash));
        }
    }
    if (!HasKey(key)) {
        keys_.push_back(key);
    }
}

void Device::ClearRegistry() {
    keys_.clear();
}

Entry* Device::Find(const std::u16string& path) {
    for (Entry& entry : entries_) {
        if (SameName(entry.path, path)) {
            return &entry;
        }
    }
    return nullptr;
}

const Entry* Device::FindEntry(const std::u16string& path) const {
    return const_cast<Device*>(this)->Find(path);
}

std::vector<const Entry*> Device::Children(const std::u16string& folder) const {
    std::vector<const Entry*> children;
    for (const Entry& entry : entries_) {
        if (SameName(ParentOf(entry.path), folder)) {
            children.push_back(&entry);
        }
    }
    return children;
}

bool Device::IsFolder(const std::u16string& path) const {
    if (path.empty()) {
        return true;
    }
    const Entry* entry = FindEntry(path);
    return entry != nullptr && (entry->attributes & AttrDirectory) != 0;
}

void Device::RemoveTree(const std::u16string& path) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) {
                                      return SameName(e.path, path) || IsUnder(e.path, path);
                                  }),
                   entries_.end());
}

bool Device::HasKey(const std::u16string& key) const {
    return std::any_of(keys_.begin(), keys_.end(),
                       [&](const std::u16string& k) { return SameName(k, key); });
}

bool Device::RemoveKeyTree(const std::u16string& key) {
    bool existed = HasKey(key);
    keys_.erase(std::remove_if(
                    keys_.begin(), keys_.end(),
                    [&](const std::u16string& k) { return SameName(k, key) || IsUnder(k, key); }),
                keys_.end());
    return existed;
}

bool Device::Fails(const char* operation) {
    if (counting_) {
        ++calls_[operation];
    }
    return failing.count(operation) != 0;
}

void Device::Violation(const std::string& what) {
    if (counting_) {
        violations_.push_back(what);
    }
}

void Device::Emit(const std::string& event, std::vector<std::pair<std::string, Value>> fields) {
    events_.push_back(Event{event, nowMs_, std::move(fields)});
}

// --- Programs beside ours ---------------------------------------------------

bool Device::KeyHeld(const std::u16string& key) const {
    auto held = heldKeys_.find(Fold(key));
    return held != heldKeys_.end() && nowMs_ < held->second;
}

void Device::StartShellProgram(const std::u16string& file, const std::u16string& args) {
    if (SameName(file, UninstallerPath)) {
        // The uninstaller keeps the application key open while it works.
        std::u16string key = std::u16string(AppsKeyPath) + u"\\" + args;
        if (HasKey(key)) {
            heldKeys_[Fold(key)] = nowMs_ + uninstallMs;
        }
        jobs_.push_back({nowMs_ + uninstallMs, u"uninstall", args});
    } else if (file.size() >= 4 && SameName(file.substr(file.size() - 4), u".cab")) {
        jobs_.push_back({nowMs_, u"install", file});
    }
}

void Device::FinishJob(const Job& job) {
    if (job.program == u"install") {
        // The package installs the reader, stamped with the device's clock.
        AddEntry({ReaderPath, AttrArchive, Now()});
        AddKey(std::u16string(AppsKeyPath) + u"\\" + AppName);
        Emit("installed", {{"package", TextValue(job.argument)}, {"path", TextValue(ReaderPath)}});
        return;
    }
    std::u16string key = std::u16string(AppsKeyPath) + u"\\" + job.argument;
    heldKeys_.erase(Fold(key));
    if (SameName(job.argument, AppName)) {
        const std::u16string folder = ParentOf(ReaderPath);
        RemoveTree(ReaderPath);
        if (IsFolder(folder) && Children(folder).empty()) {
            RemoveTree(folder);
        }
    }
    RemoveKeyTree(key);
    Emit("uninstalled", {{"app", TextValue(job.argument)}});
}

void Device::RunJobsDue(std::uint64_t untilMs) {
    for (;;) {
        auto next = std::min_element(jobs_.begin(), jobs_.end(),
                                     [](const Job& a, const Job& b) { return a.dueMs < b.dueMs; });
        if (next == jobs_.end() || next->dueMs > untilMs) {
            return;
        }
        Job job = *next;
        jobs_.erase(next);
        nowMs_ = std::max(nowMs_, job.dueMs);
        FinishJob(job);
    }
}

void Device::Advance(std::uint64_t ms) {
    std::uint64_t until = nowMs_ + ms;
    RunJobsDue(until);
    nowMs_ = until;
}

// --- Runs and card life -----------------------------------------------------

int Device::Run(const std::u16string& path, const std::u16string& args) {
    std::vector<char16_t> commandLine(args.begin(), args.end());
    commandLine.push_back(0);
    int code;
    {
        Use use(*this, path);
        Emit("start", {{"path", TextValue(path)}, {"args", TextValue(args)}});

        // What the run will find and the mode it will choose come from the
        // program's own functions, asked with the same inputs WinMain will
        // see, without counting their calls twice.
        counting_ = false;
        if (beforeRun) {
            beforeRun();
        }
        RunMode mode = DetermineRunMode(ProgramInstance, commandLine.data());
        counting_ = true;
        Emit("mode", {{"mode", TextValue(mode == RunMode::Install  ? "install"
                                         : mode == RunMode::Launch ? "launch"
                                                                   : "removal")}});

        code = WinMain(ProgramInstance, 0, commandLine.data(), platform::SwShowNormal);
    }
    Emit("exit", {{"code", NumberValue(code)}});
    RunJobsDue(UINT64_MAX);
    return code;
}

Device::Use::Use(Device& device, const std::u16string& ownPath)
    : device_(device), previous_(current) {
    current = &device;
    device.ownPath_ = ownPath;
    device.searches.clear();
    device.openKeys.clear();
    device.keyDeleteAttempts.clear();
}

Device::Use::~Use() {
    if (!device_.searches.empty()) {
        device_.Violation("a file search was left open");
    }
    if (!device_.openKeys.empty()) {
        device_.Violation("a registry key was left open");
    }
    device_.ownPath_.clear();
    current = previous_;
}

void Device::Insert() {
    for (const Entry* card : Children(u"")) {
        if (!IsCard(*card)) {
            continue;
        }
        const Entry* program = FindEntry(card->path + u"\\2577\\autorun.exe");
        if (program == nullptr || (program->attributes & AttrDirectory) != 0) {
            continue;
        }
        Emit("step", {{"name", TextValue("insert")}, {"runs", FlagValue(true)}});
        Entry copy = *program;
        copy.path = RemovalPath;
        Emit("copy", {{"from", TextValue(program->path)},
                      {"to", TextValue(copy.path)},
                      {"ok", FlagValue(true)}});
        AddEntry(copy);
        Run(RemovalPath, InstallArgument);
        return;
    }
    Emit("step", {{"name", TextValue("insert")}, {"runs", FlagValue(false)}});
}

void Device::Menu() {
    std::u16string copy = std::u16string(ProgramsFolder) + u"\\" + title + u".exe";
    const Entry* entry = FindEntry(copy);
    bool runs = entry != nullptr && (entry->attributes & AttrDirectory) == 0;
    Emit("step", {{"name", TextValue("menu")}, {"runs", FlagValue(runs)}});
    if (runs) {
        std::u16string path = entry->path; // the run may move entries around
        Run(path, u"");
    }
}

void Device::Remove() {
    std::vector<std::u16string> cards;
    for (const Entry* entry : Children(u"")) {
        if (IsCard(*entry)) {
            cards.push_back(entry->path);
        }
    }
    for (const std::u16string& card : cards) {
        RemoveTree(card);
    }
    bool runs = FindEntry(RemovalPath) != nullptr;
    Emit("step", {{"name", TextValue("remove")},
                  {"cards", NumberValue(static_cast<long long>(cards.size()))},
                  {"runs", FlagValue(runs)}});
    if (runs) {
        Run(RemovalPath, u"uninstall");
    }
}

} // namespace sim
