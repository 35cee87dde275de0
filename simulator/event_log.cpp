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
            const sim::Value& value = field.second;
            switch (value.kind) {
            case sim::Value::Text:
                line[field.first] = value.text;
                break;
            case sim::Value::Number:
                line[field.first] = value.number;
                break;
            case sim::Value::Flag:
                line[field.first] = value.number != 0;
                break;
            case sim::Value::Null:
                line[field.first] = nullptr;
                break;
            case sim::Value::List:
                line[field.first] = value.items;
                break;
            }
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
    for (const std::u16string& key : device.Keys().Keys()) {
        state["registry"].push_back("HKEY_LOCAL_MACHINE\\" + sim::Utf8(key));
    }
    WriteLine(out, state);
}

} // namespace simtool
