// The event table as data: the kinds by name, their fields, and the event
// each operation's effect is recorded as.
#include "device/events.h"

namespace sim {

namespace {

struct KindRow {
    const char* name;
    std::vector<const char*> fields;
};

#define AUTORUN_FIELD_NAME(field, ...) #field,
const KindRow Kinds[] = {
#define AUTORUN_KIND_ROW(Kind, name, doc) {name, {AUTORUN_EVENT_FIELDS_##Kind(AUTORUN_FIELD_NAME)}},
    AUTORUN_EVENT_KINDS(AUTORUN_KIND_ROW)
#undef AUTORUN_KIND_ROW
};

const std::vector<const char*> Records[] = {
#define AUTORUN_RECORD_ROW(name, ordinal, dll, desktopName, arguments, failable, usual, matched,   \
                           effect)                                                                 \
    {AUTORUN_CALL_FIELDS_##name(AUTORUN_FIELD_NAME)},
    AUTORUN_OPERATIONS(AUTORUN_RECORD_ROW)
#undef AUTORUN_RECORD_ROW
};
#undef AUTORUN_FIELD_NAME

// The effect column: an operation's effect event, or None.
namespace effects {
enum : int {
    None = -1,
#define AUTORUN_EFFECT_KIND(Kind, name, doc) Kind = static_cast<int>(EventKind::Kind),
    AUTORUN_EVENT_KINDS(AUTORUN_EFFECT_KIND)
#undef AUTORUN_EFFECT_KIND
};
} // namespace effects

constexpr int Effects[] = {
#define AUTORUN_EFFECT_ROW(name, ordinal, dll, desktopName, arguments, failable, usual, matched,   \
                           effect)                                                                 \
    effects::effect,
    AUTORUN_OPERATIONS(AUTORUN_EFFECT_ROW)
#undef AUTORUN_EFFECT_ROW
};

} // namespace

const char* NameOf(EventKind kind) {
    return Kinds[static_cast<std::size_t>(kind)].name;
}

const std::vector<KindInfo>& EventTable() {
    static const std::vector<KindInfo> table = [] {
        std::vector<KindInfo> kinds;
        for (std::size_t i = 0; i < sizeof Kinds / sizeof Kinds[0]; ++i) {
            kinds.push_back({static_cast<EventKind>(i), Kinds[i].name, Kinds[i].fields});
        }
        return kinds;
    }();
    return table;
}

const std::vector<const char*>& CallFields(Op op) {
    return Records[static_cast<std::size_t>(op)];
}

bool EffectOf(Op op, EventKind& effect) {
    const int kind = Effects[static_cast<std::size_t>(op)];
    if (kind == effects::None) {
        return false;
    }
    effect = static_cast<EventKind>(kind);
    return true;
}

} // namespace sim
