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

Json JsonOf(const sim::Value& value) {
    switch (value.kind) {
    case sim::Value::Text:
        return sim::Utf8(value.text);
    case sim::Value::Name:
        return value.name;
    case sim::Value::Number:
        return value.number;
    case sim::Value::Flag:
        return value.number != 0;
    case sim::Value::List: {
        Json items = Json::array();
        for (const std::u16string& item : value.items) {
            items.push_back(sim::Utf8(item));
        }
        return items;
    }
    case sim::Value::Null:
        break;
    }
    return nullptr;
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
        for (const auto& field : event.fields) {
            line[field.first] = JsonOf(field.second);
        }
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
                item["data"] = JsonOf(value.data);
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
