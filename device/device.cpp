// The simulated device's bookkeeping: which device the platform operations act
// on, the running program, the clock with the work that falls due, and the
// record of events, calls and misuse.
#include "device/device.h"

#include <algorithm>
#include <cstdlib>

namespace sim {

namespace {

Device* current = nullptr;

} // namespace

Device::Device(Application application) : app(std::move(application)) {
    files.Add({WindowsFolder, AttrDirectory, DefaultEntryTime, nullptr});
    files.Add({UninstallerPath, AttrReadOnly | AttrSystem, DefaultEntryTime, nullptr});
    files.Add({u"\\Program Files", AttrDirectory, DefaultEntryTime, nullptr});
    registry.Add(AppsKeyPath);
}

Device* Device::Current() {
    if (current == nullptr) {
        std::abort(); // a platform call outside a run of a program
    }
    return current;
}

Device::Use::Use(Device& device, Process process) : device_(device), previous_(current) {
    current = &device;
    device.process_ = std::move(process);
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
    device_.process_ = Process();
    current = previous_;
}

Device::Quiet::Quiet(Device& device)
    : device_(device), counting_(device.counting_), nextHandle_(device.nextHandle) {
    device.counting_ = false;
}

// The handles the quiet calls took are given back, so that the program's own
// calls get the numbers they would have had.
Device::Quiet::~Quiet() {
    device_.counting_ = counting_;
    device_.nextHandle = nextHandle_;
}

bool Device::Fails(Op op) {
    const bool fails = failing.count(op) != 0;
    if (counting_) {
        ++calls_[static_cast<std::size_t>(op)];
        failures_[static_cast<std::size_t>(op)] += fails ? 1 : 0;
    }
    return fails;
}

void Device::Trace(Op op, Fields fields) {
    fields.insert(fields.begin(), {"op", TextValue(NameOf(op))});
    Emit(EventKind::Call, std::move(fields));
}

void Device::Violation(const std::string& what) {
    if (counting_) {
        violations_.push_back(what);
    }
}

void Device::Emit(EventKind kind, Fields fields) {
    events_.push_back(Event{kind, nowMs_, std::move(fields)});
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
        if (job.install) {
            Install(job);
        } else {
            Uninstall(job);
        }
    }
}

void Device::Advance(std::uint64_t ms) {
    std::uint64_t until = nowMs_ + ms;
    RunJobsDue(until);
    nowMs_ = until;
}

int Device::Run(const std::u16string& path, const std::u16string& args) {
    if (launcher == nullptr) {
        std::abort(); // nothing to run programs with: a front end's mistake
    }
    Emit(EventKind::Start, {{"path", TextValue(path)}, {"args", TextValue(args)}});
    const Outcome outcome = launcher->Run(*this, path, files.Find(path), args);
    if (outcome.crashed) {
        Emit(EventKind::Crash, {{"code", NumberValue(outcome.code)},
                                {"reason", TextValue(outcome.reason)},
                                {"address", NumberValue(static_cast<long long>(outcome.address))}});
    } else {
        Fields fields = {{"code", NumberValue(outcome.code)}};
        if (outcome.instructions != 0) {
            fields.push_back(
                {"instructions", NumberValue(static_cast<long long>(outcome.instructions))});
            fields.push_back({"stack", NumberValue(static_cast<long long>(outcome.stack))});
        }
        Emit(EventKind::Exit, std::move(fields));
    }
    // What the program started finishes beside it, after it.
    RunJobsDue(UINT64_MAX);
    return static_cast<int>(outcome.code);
}

} // namespace sim
