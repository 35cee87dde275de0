// Event kinds by name, and reading an event's values.
#include "device/events.h"

namespace sim {

const char* NameOf(EventKind kind) {
    switch (kind) {
    case EventKind::Step:
        return "step";
    case EventKind::Start:
        return "start";
    case EventKind::Call:
        return "call";
    case EventKind::Launch:
        return "launch";
    case EventKind::Copy:
        return "copy";
    case EventKind::Delete:
        return "delete";
    case EventKind::KeyDelete:
        return "key-delete";
    case EventKind::Sleep:
        return "sleep";
    case EventKind::MessageBox:
        return "message-box";
    case EventKind::Exit:
        return "exit";
    case EventKind::Crash:
        return "crash";
    case EventKind::Package:
        return "package";
    case EventKind::Refused:
        return "refused";
    case EventKind::Installed:
        return "installed";
    case EventKind::PackageDeleted:
        return "package-deleted";
    case EventKind::Uninstalled:
        return "uninstalled";
    }
    return "?";
}

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
    if (value != nullptr && value->kind == Value::Name) {
        return value->name;
    }
    return value != nullptr ? Utf8(value->text) : std::string();
}

long long Event::Number(const std::string& name) const {
    const Value* value = Find(name);
    return value != nullptr && value->kind == Value::Number ? value->number : -1;
}

bool Event::Flag(const std::string& name) const {
    const Value* value = Find(name);
    return value != nullptr && value->kind == Value::Flag && value->number != 0;
}

} // namespace sim
