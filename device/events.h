// What happens on the simulated device, as events: each has a kind, the
// virtual time and named values, in the order they were recorded.
#pragma once

#include "device/clock.h"
#include "device/names.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

enum class EventKind {
    Step,           // a step of the card's life begins
    Start,          // a run of a program begins
    Call,           // one platform operation, with its arguments, result and outputs
    Launch,         // the shell is asked to start a program or open a document
    Copy,           // a file copy
    Delete,         // a file deletion
    KeyDelete,      // one attempt to delete a registry key
    Sleep,          // a pause
    MessageBox,     // a message box, dismissed at once
    Exit,           // a run of a program ends
    Crash,          // a run of a program ends in a crash
    Package,        // what a package the cabinet installer read declares
    Refused,        // the cabinet installer refused a package
    Installed,      // the cabinet installer installed a package
    PackageDeleted, // the cabinet installer deleted the package, or could not
    Uninstalled,    // the uninstaller finished
};

const char* NameOf(EventKind kind);

struct Value {
    enum Kind { Text, Number, Flag, Null, List } kind = Null;
    std::string text;
    long long number = 0;
    std::vector<std::string> items; // a list of texts
};

inline Value TextValue(const std::string& text) {
    return Value{Value::Text, text, 0, {}};
}
inline Value TextValue(const std::u16string& text) {
    return TextValue(Utf8(text));
}
inline Value NumberValue(long long number) {
    return Value{Value::Number, std::string(), number, {}};
}
inline Value FlagValue(bool flag) {
    return Value{Value::Flag, std::string(), flag ? 1 : 0, {}};
}
inline Value NullValue() {
    return Value{};
}
inline Value ListValue(const std::vector<std::u16string>& texts) {
    Value value{Value::List, std::string(), 0, {}};
    for (const std::u16string& text : texts) {
        value.items.push_back(Utf8(text));
    }
    return value;
}

using Fields = std::vector<std::pair<std::string, Value>>;

struct Event {
    EventKind kind = EventKind::Step;
    std::uint64_t t = 0; // virtual milliseconds since the simulation started
    Fields fields;

    const char* Name() const {
        return NameOf(kind);
    }
    const Value* Find(const std::string& name) const;
    std::string Text(const std::string& name) const; // "" when absent
    long long Number(const std::string& name) const; // -1 when absent
    bool Flag(const std::string& name) const;        // false when absent
};

// The record of what happened, in order, each event stamped with the clock.
class EventLog {
  public:
    explicit EventLog(const Clock& clock) : clock_(clock) {}
    void Emit(EventKind kind, Fields fields) {
        events_.push_back(Event{kind, clock_.NowMs(), std::move(fields)});
    }
    const std::vector<Event>& Events() const {
        return events_;
    }

  private:
    const Clock& clock_;
    std::vector<Event> events_;
};

} // namespace sim
