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

// A value of an event. Texts are kept as the device holds them, UTF-16, and
// put into UTF-8 only when they are shown: a run records every call, and
// most of them are never shown.
struct Value {
    enum Kind { Text, Number, Flag, Null, List, Name } kind = Null;
    std::u16string text;
    long long number = 0;
    std::vector<std::u16string> items; // a list of texts
    const char* name = nullptr;        // a Name: a text of the code's own, kept as it is
};

inline Value TextValue(std::u16string text) {
    return Value{Value::Text, std::move(text), 0, {}, nullptr};
}
inline Value TextValue(const std::string& text) {
    return TextValue(Utf16(text));
}
inline Value TextValue(const char* text) {
    return TextValue(Utf16(text));
}
// A text of the code's own (an operation's name), which needs no copy.
inline Value NameValue(const char* name) {
    Value value;
    value.kind = Value::Name;
    value.name = name;
    return value;
}
inline Value NumberValue(long long number) {
    return Value{Value::Number, std::u16string(), number, {}, nullptr};
}
inline Value FlagValue(bool flag) {
    return Value{Value::Flag, std::u16string(), flag ? 1 : 0, {}, nullptr};
}
inline Value NullValue() {
    return Value{};
}
inline Value ListValue(std::vector<std::u16string> texts) {
    return Value{Value::List, std::u16string(), 0, std::move(texts), nullptr};
}

// An event's named values; the names are the code's own literals.
using Fields = std::vector<std::pair<const char*, Value>>;

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
