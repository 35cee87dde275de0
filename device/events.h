// What happens on the simulated device, as events: each has a kind, the
// virtual time and named values, in the order they were recorded.
#pragma once

#include "device/names.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

enum class EventKind {
    Step,        // a step of the card's life begins
    Start,       // a run of a program begins
    Mode,        // the run mode the program chose (native runs only)
    Found,       // what the program's look-ups find (native runs only)
    Launch,      // the shell is asked to start a program or open a document
    Copy,        // a file copy
    Delete,      // a file deletion
    KeyDelete,   // one attempt to delete a registry key
    Sleep,       // a pause
    MessageBox,  // a message box, dismissed at once
    Exit,        // a run of a program ends
    Crash,       // a run of a program ends in a crash
    Installed,   // the cabinet installer finished
    Uninstalled, // the uninstaller finished
    Call,        // one platform operation, with its arguments and result (traced runs)
};

const char* NameOf(EventKind kind);

struct Value {
    enum Kind { Text, Number, Flag, Null } kind = Null;
    std::string text;
    long long number = 0;
};

inline Value TextValue(const std::string& text) {
    return Value{Value::Text, text, 0};
}
inline Value TextValue(const std::u16string& text) {
    return TextValue(Utf8(text));
}
inline Value NumberValue(long long number) {
    return Value{Value::Number, std::string(), number};
}
inline Value FlagValue(bool flag) {
    return Value{Value::Flag, std::string(), flag ? 1 : 0};
}
inline Value NullValue() {
    return Value{};
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

} // namespace sim
