#include "tests/invariants.h"

#include "autorun/constants.h"
#include "tests/device_fixture.h"

#include <map>
#include <tuple>

namespace invariants {

namespace {

using sim::Utf8;

bool EndsWithCab(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return tail == ".cab";
}

// "\<card>\2577\<name>.cab" or "\<card>\wince\arm\<name>.cab", where <card>
// was a mounted card when the run began.
bool IsCardPackage(const std::string& file, const Snapshot& before) {
    if (file.size() < 2 || file[0] != '\\') {
        return false;
    }
    std::size_t slash = file.find('\\', 1);
    if (slash == std::string::npos) {
        return false;
    }
    std::string card = file.substr(0, slash);
    std::string rest = file.substr(slash);
    std::string name;
    for (const char* folder : {"\\2577\\", "\\wince\\arm\\"}) {
        std::string prefix(folder);
        if (rest.compare(0, prefix.size(), prefix) == 0) {
            name = rest.substr(prefix.size());
        }
    }
    if (name.empty() || name.find('\\') != std::string::npos || !EndsWithCab(name)) {
        return false;
    }
    for (const std::u16string& path : before.cards) {
        if (Utf8(path) == card) {
            return true;
        }
    }
    return false;
}

State StateOf(const std::vector<const sim::Entry*>& entries) {
    State state;
    for (const sim::Entry* entry : entries) {
        state[entry->path] = {entry->attributes, entry->time};
    }
    return state;
}

bool IsAppKey(const std::u16string& key) {
    std::u16string app = std::u16string(sim::AppsKeyPath) + u"\\" + AppName;
    return sim::SameName(key, app) || (key.size() > app.size() && key[app.size()] == u'\\' &&
                                       sim::SameName(key.substr(0, app.size()), app));
}

bool Contains(const std::vector<std::u16string>& keys, const std::u16string& key) {
    for (const std::u16string& k : keys) {
        if (sim::SameName(k, key)) {
            return true;
        }
    }
    return false;
}

} // namespace

Snapshot Take(const sim::Device& device, const std::u16string& title) {
    const std::vector<const sim::Entry*> all = device.Files().All();
    Snapshot snapshot{{},
                      StateOf(all),
                      device.Keys().Keys(),
                      device.Events().size(),
                      device.Violations().size(),
                      title};
    for (const sim::Entry* entry : device.Files().Children(u"")) {
        if (sim::IsCard(*entry)) {
            snapshot.cards.push_back(entry->path);
        }
    }
    return snapshot;
}

std::vector<std::string> CheckRun(const sim::Device& device, const Snapshot& before) {
    std::vector<std::string> broken;
    auto fail = [&](const std::string& what) { broken.push_back(what); };

    const std::u16string menuCopy16 =
        std::u16string(fixture::ProgramsFolder) + u"\\" + before.title + u".exe";
    const std::string menuCopy = Utf8(menuCopy16);

    // --- Events -------------------------------------------------------------
    const std::vector<sim::Event>& events = device.Events();
    std::string ownPath;
    int starts = 0, exits = 0, boxes = 0, keyDeletes = 0, sleeps = 0;
    int loaded = 0, freed = 0, configurations = 0;
    // What the cabinet installer and the uninstaller, which the program
    // starts, did beside it: their changes are theirs.
    std::vector<std::u16string> installedFiles, installedKeys, removedFiles, removedKeys;
    for (std::size_t i = before.firstEvent; i < events.size(); ++i) {
        const sim::Event& e = events[i];
        const std::string at = "event " + std::to_string(i) + " (" + e.Name() + "): ";
        if (const auto* start = e.As<sim::ev::Start>()) {
            ++starts;
            ownPath = Utf8(start->path);
        } else if (const auto* exit = e.As<sim::ev::Exit>()) {
            ++exits;
            if (exit->code != 0) {
                fail(at + "exit code " + std::to_string(exit->code));
            }
        } else if (const auto* call = e.As<sim::ev::Call>()) {
            // An effect recorded right after a call is that call's, as the
            // operation table says: the timeline tells the call by it.
            sim::EventKind effect = sim::EventKind::Call;
            const sim::EventKind next =
                i + 1 < events.size() ? events[i + 1].kind : sim::EventKind::Call;
            const bool effectKind =
                next == sim::EventKind::Launch || next == sim::EventKind::Copy ||
                next == sim::EventKind::Delete || next == sim::EventKind::KeyDelete ||
                next == sim::EventKind::Sleep || next == sim::EventKind::MessageBox;
            if (effectKind && (!sim::EffectOf(call->op, effect) || effect != next)) {
                fail(at + sim::NameOf(call->op) + " followed by " + sim::NameOf(next));
            }
            if (const auto* load = sim::RecordOf<sim::rec::LoadLibraryW>(e)) {
                loaded += load->result != 0;
            }
            freed += call->op == sim::Op::FreeLibrary;
        } else if (const auto* launch = e.As<sim::ev::Launch>()) {
            const std::string file = Utf8(launch->file);
            const std::string args = Utf8(launch->args);
            bool allowed = (file == Utf8(ReaderPath) && args.empty()) ||
                           (file == Utf8(UninstallerPath) && args == Utf8(AppName)) ||
                           (IsCardPackage(file, before) && args.empty());
            if (!allowed) {
                fail(at + "started \"" + file + "\" with \"" + args + "\"");
            }
        } else if (const auto* copy = e.As<sim::ev::Copy>()) {
            if (Utf8(copy->to) != menuCopy || Utf8(copy->from) != ownPath || before.title.empty()) {
                fail(at + "copied \"" + Utf8(copy->from) + "\" to \"" + Utf8(copy->to) +
                     "\", running as \"" + ownPath + "\"");
            }
        } else if (const auto* deleted = e.As<sim::ev::Delete>()) {
            if (Utf8(deleted->path) != menuCopy || before.title.empty()) {
                fail(at + "deleted \"" + Utf8(deleted->path) + "\"");
            }
        } else if (const auto* key = e.As<sim::ev::KeyDelete>()) {
            ++keyDeletes;
            if (Utf8(key->key) != "HKEY_LOCAL_MACHINE\\SOFTWARE\\Apps\\" + Utf8(AppName)) {
                fail(at + "deleted key \"" + Utf8(key->key) + "\"");
            }
        } else if (const auto* sleep = e.As<sim::ev::Sleep>()) {
            ++sleeps;
            if (sleep->ms != 1000) {
                fail(at + "paused " + std::to_string(sleep->ms) + " ms");
            }
        } else if (const auto* box = e.As<sim::ev::MessageBox>()) {
            ++boxes;
            if (box->text != ErrorText || box->caption != ErrorCaption) {
                fail(at + "message box \"" + Utf8(box->text) + "\" / \"" + Utf8(box->caption) +
                     "\"");
            }
        } else if (const auto* made = e.As<sim::ev::Installed>()) {
            installedFiles.insert(installedFiles.end(), made->files.begin(), made->files.end());
            installedKeys.insert(installedKeys.end(), made->keys.begin(), made->keys.end());
        } else if (const auto* gone = e.As<sim::ev::Uninstalled>()) {
            removedFiles.insert(removedFiles.end(), gone->files.begin(), gone->files.end());
            removedKeys.insert(removedKeys.end(), gone->keys.begin(), gone->keys.end());
        } else if (const auto* configured = e.As<sim::ev::Configure>()) {
            // Only the reader is uninstalled; what went with it is the
            // Configuration Manager's doing.
            ++configurations;
            for (const std::u16string& app : configured->apps) {
                if (app != AppName) {
                    fail(at + "uninstalled \"" + Utf8(app) + "\"");
                }
            }
            removedFiles.insert(removedFiles.end(), configured->files.begin(),
                                configured->files.end());
            removedKeys.insert(removedKeys.end(), configured->keys.begin(), configured->keys.end());
        } else if (const auto* deleted = e.As<sim::ev::PackageDeleted>()) {
            if (deleted->ok) {
                removedFiles.push_back(deleted->package);
            }
        } else if (e.kind != sim::EventKind::Package && e.kind != sim::EventKind::Refused) {
            fail(at + "unexpected event");
        }
    }
    if (starts != 1 || exits != 1) {
        fail("expected one start and one exit, saw " + std::to_string(starts) + " and " +
             std::to_string(exits));
    }
    if (boxes > 1) {
        fail(std::to_string(boxes) + " message boxes");
    }
    if (keyDeletes > 11) {
        fail(std::to_string(keyDeletes) + " key-deletion attempts");
    }
    if (sleeps > 10) {
        fail(std::to_string(sleeps) + " pauses");
    }
    // At most one library loaded, and freed in the same run; at most one
    // document handed to the Configuration Manager.
    if (loaded > 1 || freed != loaded) {
        fail(std::to_string(loaded) + " libraries loaded and " + std::to_string(freed) +
             " calls to free one");
    }
    if (configurations > 1) {
        fail(std::to_string(configurations) + " calls of the Configuration Manager");
    }
    for (std::size_t i = before.violations; i < device.Violations().size(); ++i) {
        fail("platform misuse: " + device.Violations()[i]);
    }

    // --- Files --------------------------------------------------------------
    // Only the menu copy, the Programs folder (made on demand, also again
    // when the uninstaller removed it) and what the cabinet installer and the
    // uninstaller did may change: what they name, and the folders the
    // installer made above what it installed.
    auto above = [](const std::u16string& folder, const std::vector<std::u16string>& paths) {
        for (const std::u16string& path : paths) {
            for (std::u16string up = sim::ParentOf(path); !up.empty(); up = sim::ParentOf(up)) {
                if (sim::SameName(up, folder)) {
                    return true;
                }
            }
        }
        return false;
    };
    auto mayChange = [&](const std::u16string& path, bool added, bool removed) {
        if (sim::SameName(path, menuCopy16)) {
            return true;
        }
        if (!removed && (added || Contains(removedFiles, path)) &&
            (sim::SameName(path, fixture::ProgramsFolder) ||
             sim::SameName(path, sim::ParentOf(fixture::ProgramsFolder)))) {
            return true;
        }
        if (removed) {
            return Contains(removedFiles, path);
        }
        return Contains(installedFiles, path) || (added && above(path, installedFiles));
    };
    const State& was = before.state;
    const State now = StateOf(device.Files().All());
    for (const auto& [path, value] : was) {
        auto after = now.find(path);
        if (after == now.end()) {
            if (!mayChange(path, false, true)) {
                fail("removed \"" + Utf8(path) + "\"");
            }
        } else if (after->second != value && !mayChange(path, false, false)) {
            fail("changed \"" + Utf8(path) + "\": attributes " + std::to_string(value.first) +
                 " to " + std::to_string(after->second.first) + ", time " +
                 std::to_string(value.second) + " to " + std::to_string(after->second.second));
        }
    }
    for (const auto& [path, value] : now) {
        if (was.count(path) != 0) {
            continue;
        }
        if (sim::NameOf(path) == u".exe") {
            fail("created \"" + Utf8(path) + "\"");
        }
        if (!mayChange(path, true, false)) {
            fail("created \"" + Utf8(path) + "\"");
        }
    }

    // --- Registry -----------------------------------------------------------
    // The application key, which the program deletes, and what the installer
    // made and the uninstaller removed.
    for (const std::u16string& key : before.keys) {
        if (!Contains(device.Keys().Keys(), key) && !IsAppKey(key) &&
            !Contains(removedKeys, sim::Rooted(key))) {
            fail("removed key \"" + Utf8(key) + "\"");
        }
    }
    for (const std::u16string& key : device.Keys().Keys()) {
        const std::u16string rooted = sim::Rooted(key);
        if (!Contains(before.keys, key) && !Contains(installedKeys, rooted) &&
            !above(rooted, installedKeys)) {
            fail("created key \"" + Utf8(key) + "\"");
        }
    }
    return broken;
}

} // namespace invariants
