// What happens on the simulated device, as events: each of a kind the event
// table (device/event_table.h) declares, with the fields it declares, typed;
// stamped with the virtual time and kept in the order they were recorded.
// Texts are kept as the device holds them, UTF-16, and put into UTF-8 only
// when they are shown: a run records every call, and most are never shown.
#pragma once

#include "device/clock.h"
#include "device/event_table.h"
#include "device/names.h"
#include "device/operations.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

// The types of the fields.
using Text = std::u16string;
using Number = long long;
using Flag = bool;
using Texts = std::vector<std::u16string>;
// A field that is left out of the log when it is not set.
template <class T> struct Omitted : std::optional<T> {
    Omitted() = default;
    template <class U, class = std::enable_if_t<std::is_convertible_v<U&&, T>>>
    Omitted(U&& value) : std::optional<T>(T(std::forward<U>(value))) {}
};
// A field that is written as null when it is not set.
template <class T> struct OrNull : std::optional<T> {
    OrNull() = default;
    template <class U, class = std::enable_if_t<std::is_convertible_v<U&&, T>>>
    OrNull(U&& value) : std::optional<T>(T(std::forward<U>(value))) {}
};

// A call's own fields, one struct for each operation (rec::CopyFileW).
namespace rec {
#define AUTORUN_REC_MEMBER(field, Type) Type field{};
#define AUTORUN_REC_STRUCT(name, ordinal, dll, desktopName, arguments, failable, usual, matched,   \
                           effect)                                                                 \
    struct name {                                                                                  \
        AUTORUN_CALL_FIELDS_##name(AUTORUN_REC_MEMBER)                                             \
    };
AUTORUN_OPERATIONS(AUTORUN_REC_STRUCT)
#undef AUTORUN_REC_STRUCT
#undef AUTORUN_REC_MEMBER
} // namespace rec

// One of them, in the order of the operation table: its index is its Op.
using CallRecord = std::variant<
#define AUTORUN_REC_ALTERNATIVE(name, ordinal, dll, desktopName, arguments, failable, usual,       \
                                matched, effect)                                                   \
    rec::name,
    AUTORUN_OPERATIONS(AUTORUN_REC_ALTERNATIVE)
#undef AUTORUN_REC_ALTERNATIVE
        std::monostate>;

// The operation of a record type: OpOf<rec::CopyFileW>::value.
template <class R> struct OpOf;
#define AUTORUN_REC_OP(name, ordinal, dll, desktopName, arguments, failable, usual, matched,       \
                       effect)                                                                     \
    template <> struct OpOf<rec::name> { static constexpr Op value = Op::name; };
AUTORUN_OPERATIONS(AUTORUN_REC_OP)
#undef AUTORUN_REC_OP

// The events, one struct for each kind (ev::Copy).
namespace ev {
#define AUTORUN_EV_MEMBER(field, Type, doc) Type field{};
#define AUTORUN_EV_STRUCT(Kind, name, doc)                                                         \
    struct Kind {                                                                                  \
        AUTORUN_EVENT_FIELDS_##Kind(AUTORUN_EV_MEMBER)                                             \
    };
AUTORUN_EVENT_KINDS(AUTORUN_EV_STRUCT)
#undef AUTORUN_EV_STRUCT
#undef AUTORUN_EV_MEMBER
} // namespace ev

enum class EventKind {
#define AUTORUN_EV_ENUM(Kind, name, doc) Kind,
    AUTORUN_EVENT_KINDS(AUTORUN_EV_ENUM)
#undef AUTORUN_EV_ENUM
};

// Any event's fields, in the order of EventKind.
using EventData = std::variant<
#define AUTORUN_EV_ALTERNATIVE(Kind, name, doc) ev::Kind,
    AUTORUN_EVENT_KINDS(AUTORUN_EV_ALTERNATIVE)
#undef AUTORUN_EV_ALTERNATIVE
        std::monostate>;

// The name of a kind in the log ("key-delete").
const char* NameOf(EventKind kind);
// The event an operation's effect is recorded as (the table's effect
// column); false for an operation with none.
bool EffectOf(Op op, EventKind& effect);

// The table itself, for what lists it: each kind's name and its fields'
// names, in order; a call's record fields by operation.
struct KindInfo {
    EventKind kind;
    const char* name;
    std::vector<const char*> fields;
};
const std::vector<KindInfo>& EventTable();
const std::vector<const char*>& CallFields(Op op);

struct Event {
    EventKind kind = EventKind::Step;
    std::uint64_t t = 0; // virtual milliseconds since the simulation started
    EventData data;

    const char* Name() const {
        return NameOf(kind);
    }
    // The event's fields when it is of kind K, else null.
    template <class K> const K* As() const {
        return std::get_if<K>(&data);
    }
};

// A call's record when it is a call of operation R (rec::FindFirstFileW).
template <class R> const R* RecordOf(const Event& event) {
    const ev::Call* call = event.As<ev::Call>();
    return call != nullptr ? std::get_if<R>(&call->record) : nullptr;
}

// A field as whatever lists every field shows it: a text, a number, a flag,
// a list of texts, or null.
struct Shown {
    enum Kind { Text, Number, Flag, Texts, Null } kind = Null;
    const std::u16string* text = nullptr;
    const char* name = nullptr; // a text of the code's own (an operation's name)
    long long number = 0;
    const std::vector<std::u16string>* texts = nullptr;
};

namespace detail {
inline Shown Show(const Text& value) {
    Shown shown{Shown::Text};
    shown.text = &value;
    return shown;
}
inline Shown Show(Number value) {
    Shown shown{Shown::Number};
    shown.number = value;
    return shown;
}
inline Shown Show(Flag value) {
    Shown shown{Shown::Flag};
    shown.number = value ? 1 : 0;
    return shown;
}
inline Shown Show(const Texts& value) {
    Shown shown{Shown::Texts};
    shown.texts = &value;
    return shown;
}
inline Shown Show(Op op) {
    Shown shown{Shown::Text};
    shown.name = NameOf(op);
    return shown;
}
template <class Visit> void Field(Visit& visit, const char* name, const Text& value) {
    visit(name, Show(value));
}
template <class Visit> void Field(Visit& visit, const char* name, Number value) {
    visit(name, Show(value));
}
template <class Visit> void Field(Visit& visit, const char* name, Flag value) {
    visit(name, Show(value));
}
template <class Visit> void Field(Visit& visit, const char* name, const Texts& value) {
    visit(name, Show(value));
}
template <class Visit> void Field(Visit& visit, const char* name, Op value) {
    visit(name, Show(value));
}
template <class Visit, class T>
void Field(Visit& visit, const char* name, const Omitted<T>& value) {
    if (value) {
        visit(name, Show(*value));
    }
}
template <class Visit, class T> void Field(Visit& visit, const char* name, const OrNull<T>& value) {
    visit(name, value ? Show(*value) : Shown{});
}
template <class Visit> void Field(Visit& visit, const char*, const CallRecord& record);

#define AUTORUN_VISIT_FIELD(field, ...) Field(visit, #field, event.field);
#define AUTORUN_VISIT_REC(name, ordinal, dll, desktopName, arguments, failable, usual, matched,    \
                          effect)                                                                  \
    template <class Visit> void Fields(Visit& visit, const rec::name& event) {                     \
        AUTORUN_CALL_FIELDS_##name(AUTORUN_VISIT_FIELD)                                            \
    }
AUTORUN_OPERATIONS(AUTORUN_VISIT_REC)
#undef AUTORUN_VISIT_REC
#define AUTORUN_VISIT_EV(Kind, name, doc)                                                          \
    template <class Visit> void Fields(Visit& visit, const ev::Kind& event) {                      \
        AUTORUN_EVENT_FIELDS_##Kind(AUTORUN_VISIT_FIELD)                                           \
    }
AUTORUN_EVENT_KINDS(AUTORUN_VISIT_EV)
#undef AUTORUN_VISIT_EV
#undef AUTORUN_VISIT_FIELD
template <class Visit> void Fields(Visit&, const std::monostate&) {}

template <class Visit> void Field(Visit& visit, const char*, const CallRecord& record) {
    std::visit([&visit](const auto& fields) { Fields(visit, fields); }, record);
}
} // namespace detail

// Calls visit(name, Shown) for each field of the event that the log holds,
// in the table's order; a call's record fields in its place.
template <class Visit> void ForEachField(const Event& event, Visit&& visit) {
    std::visit([&visit](const auto& fields) { detail::Fields(visit, fields); }, event.data);
}
template <class Visit> void ForEachField(const ev::Call& call, Visit&& visit) {
    detail::Fields(visit, call);
}

// The record of what happened, in order, each event stamped with the clock.
class EventLog {
  public:
    explicit EventLog(const Clock& clock) : clock_(clock) {}
    template <class K> void Emit(K fields) {
        EventData data(std::move(fields));
        events_.push_back(
            Event{static_cast<EventKind>(data.index()), clock_.NowMs(), std::move(data)});
    }
    const std::vector<Event>& Events() const {
        return events_;
    }

  private:
    const Clock& clock_;
    std::vector<Event> events_;
};

} // namespace sim
