// One JSON object a line: "event" and "t" first, then the event's fields in
// the order the device recorded them; the last line is the state.
#include "simulator/event_log.h"

#include "simulator/description.h"

#include <nlohmann/json.hpp>

namespace simtool {

namespace {

using Json = nlohmann::ordered_json;

void WriteLine(std::ostream& out, const Json& line) {
    out << line.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json AttributeList(std::uint32_t bits) {
    Json names = Json::array();
    for (const auto& attribute : AttributeNames()) {
        if ((bits & attribute.second) != 0) {
            names.push_back(attribute.first);
        }
    }
    return names;
}

Json JsonOf(const sim::Shown& value) {
    switch (value.kind) {
    case sim::Shown::Text:
        return value.text != nullptr ? Json(sim::Utf8(*value.text)) : Json(value.name);
    case sim::Shown::Number:
        return value.number;
    case sim::Shown::Flag:
        return value.number != 0;
    case sim::Shown::Texts: {
        Json items = Json::array();
        for (const std::u16string& item : *value.texts) {
            items.push_back(sim::Utf8(item));
        }
        return items;
    }
    case sim::Shown::Null:
        break;
    }
    return nullptr;
}

// A registry value's data, as its type holds it.
Json DataOf(const sim::RegistryValue& value) {
    if (value.type == "multi-string") {
        Json items = Json::array();
        for (const std::u16string& item : value.texts) {
            items.push_back(sim::Utf8(item));
        }
        return items;
    }
    if (value.type == "dword") {
        return value.number;
    }
    return sim::Utf8(value.text);
}

} // namespace

void WriteEventLog(std::ostream& out, const sim::Device& device, bool calls) {
    for (const sim::Event& event : device.Events()) {
        if (event.kind == sim::EventKind::Call && !calls) {
            continue;
        }
        Json line;
        line["event"] = event.Name();
        line["t"] = event.t;
        sim::ForEachField(event, [&line](const char* name, const sim::Shown& value) {
            line[name] = JsonOf(value);
        });
        WriteLine(out, line);
    }
    Json state;
    state["event"] = "state";
    state["t"] = device.NowMs();
    state["entries"] = Json::array();
    for (const sim::Entry* entry : device.Files().All()) {
        Json item;
        item["path"] = sim::Utf8(entry->path);
        item["attributes"] = AttributeList(entry->attributes);
        item["time"] = entry->time;
        state["entries"].push_back(item);
    }
    state["cardsOut"] = Json::array();
    for (const std::u16string& card : device.CardsOut()) {
        state["cardsOut"].push_back(sim::Utf8(card));
    }
    state["registry"] = Json::array();
    state["values"] = Json::array();
    auto root = [&state](const std::string& name, const sim::Registry& registry) {
        for (const std::u16string& key : registry.Keys()) {
            const std::string full = name + "\\" + sim::Utf8(key);
            state["registry"].push_back(full);
            for (const sim::RegistryValue& value : registry.ValuesOf(key)) {
                Json item;
                item["key"] = full;
                item["name"] = sim::Utf8(value.name);
                item["type"] = value.type;
                item["data"] = DataOf(value);
                state["values"].push_back(item);
            }
        }
    };
    root("HKEY_LOCAL_MACHINE", device.Keys());
    for (const auto& other : device.OtherRoots()) {
        root(sim::Utf8(other.first), other.second);
    }
    WriteLine(out, state);
}

} // namespace simtool
