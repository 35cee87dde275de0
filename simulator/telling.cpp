// Words the timeline and the check share.
#include "simulator/telling.h"

namespace simtool {

std::string Listed(const std::vector<std::string>& items, std::size_t most) {
    std::vector<std::string> named(
        items.begin(), items.begin() + static_cast<std::ptrdiff_t>(std::min(most, items.size())));
    if (named.size() < items.size()) {
        named.push_back(std::to_string(items.size() - named.size()) + " more");
    }
    std::string text;
    for (std::size_t i = 0; i < named.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == named.size() ? " and " : ", ") + named[i];
    }
    return text;
}

std::string Why(const sim::Omitted<sim::Text>& why, long long error) {
    return sim::Utf8(why.value_or(u"")) +
           (error > 0 ? " (error " + std::to_string(error) + ")" : "");
}

std::vector<std::string> Texts(const sim::Texts& texts, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::u16string& text : texts) {
        out.push_back(prefix + sim::Utf8(text));
    }
    return out;
}

} // namespace simtool
