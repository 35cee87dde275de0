// The simulated device's bookkeeping: setting it up, which device the
// platform operations act on, and the runs of programs.
#include "device/device.h"

#include <cstdlib>

namespace sim {

namespace {

Device* current = nullptr;

} // namespace

const std::shared_ptr<const Folders>& PocketPcFolders() {
    static const std::shared_ptr<const Folders> folders = std::make_shared<const Folders>(
        Folders{{u"%CE1%", u"\\Program Files"},
                {u"%CE2%", u"\\Windows"},
                {u"%CE4%", u"\\Windows\\StartUp"},
                {u"%CE5%", u"\\My Documents"},
                {u"%CE8%", u"\\Program Files\\Games"},
                {u"%CE11%", u"\\Windows\\Start Menu\\Programs"},
                {u"%CE14%", u"\\Windows\\Start Menu\\Programs\\Games"},
                {u"%CE15%", u"\\Windows\\Fonts"},
                {u"%CE17%", u"\\Windows\\Start Menu"}});
    return folders;
}

const std::shared_ptr<const Standard>& BareStandard() {
    static const std::shared_ptr<const Standard> standard = std::make_shared<const Standard>(
        Standard{{WindowsFolder, u"\\Program Files"}, {Rooted(AppsKeyPath)}});
    return standard;
}

Device::Device(Config config, Launcher* launcher)
    : config_(std::move(config)), clock_(config_.clockStart), log_(clock_), system_(config_),
      loader_(config_), installer_(config_, files_, registry_, roots_, clock_, log_),
      uninstaller_(config_, files_, registry_, roots_, clock_, log_, installer_.Installed()),
      libraries_(config_), configuration_(config_, installer_.Installed(), uninstaller_),
      shell_(config_, files_, clock_, log_, installer_, uninstaller_,
             [this](const std::u16string& path, const std::u16string& args) { Run(path, args); }),
      launcher_(launcher) {
    files_.Add({WindowsFolder, AttrDirectory, DefaultEntryTime, nullptr});
    if (config_.unload != Unload::Absent) {
        files_.Add({UninstallerPath, AttrReadOnly | AttrSystem, DefaultEntryTime, nullptr});
    }
    for (const std::u16string& folder : config_.standard->folders) {
        if (files_.Find(folder) == nullptr) {
            files_.Add({folder, AttrDirectory, DefaultEntryTime, nullptr});
        }
    }
    for (const std::u16string& key : config_.standard->keys) {
        const std::size_t slash = key.find(u'\\');
        const std::u16string root = key.substr(0, slash);
        const std::u16string path = slash == std::u16string::npos ? u"" : key.substr(slash + 1);
        if (!path.empty()) {
            (root == LocalMachine ? registry_ : roots_[root]).Add(path);
        }
    }
}

void Device::Put(const Entry& entry) {
    files_.Add(entry);
}

void Device::Erase(const std::u16string& path) {
    files_.RemoveTree(path);
}

void Device::PutKey(const std::u16string& key) {
    registry_.Add(key);
}

void Device::ClearRegistry() {
    registry_.Clear();
}

void Device::AddFault(const FaultRule& rule) {
    faults_.Add(rule);
}

Device& Device::Current() {
    if (current == nullptr) {
        std::abort(); // a platform call outside a run of a program
    }
    return *current;
}

Device::Use::Use(Device& device, Process process) : device_(device), previous_(current) {
    current = &device;
    device.log_.Emit(ev::Start{process.path, process.args});
    device.process_ = std::move(process);
    device.handles_ = Handles();
}

Device::Use::~Use() {
    if (device_.handles_.SearchesOpen()) {
        device_.violations_.push_back("a file search was left open");
    }
    if (device_.handles_.KeysOpen()) {
        device_.violations_.push_back("a registry key was left open");
    }
    if (device_.handles_.LibrariesLeft()) {
        device_.violations_.push_back("a library was left loaded");
    }
    device_.handles_ = Handles();
    device_.process_ = Process();
    current = previous_;
}

int Device::Run(const std::u16string& path, const std::u16string& args) {
    if (launcher_ == nullptr) {
        std::abort(); // nothing to run programs with: a front end's mistake
    }
    const Outcome outcome = launcher_->Run(*this, path, files_.Find(path), args);
    if (!outcome.started) {
        ev::NotStarted refused{path, args, Utf16(outcome.reason)};
        if (!outcome.facts.empty()) {
            refused.facts = outcome.facts;
        }
        log_.Emit(refused);
    } else if (outcome.crashed) {
        log_.Emit(
            ev::Crash{outcome.code, Utf16(outcome.reason), static_cast<Number>(outcome.address)});
    } else {
        ev::Exit exit;
        exit.code = outcome.code;
        if (outcome.instructions != 0) {
            exit.instructions = static_cast<Number>(outcome.instructions);
            exit.stack = static_cast<Number>(outcome.stack);
        }
        log_.Emit(exit);
    }
    // What the program started finishes beside it, after it.
    clock_.RunAll();
    return static_cast<int>(outcome.code);
}

} // namespace sim
