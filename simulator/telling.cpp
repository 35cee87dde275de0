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

std::string WhyFoldersStay(const sim::Config& device) {
    if (device.uninstallerDepth == 0) {
        return "the uninstaller removes no folder that still holds anything";
    }
    return "on this kind of device the uninstaller removes no folder more than " +
           std::to_string(device.uninstallerDepth) +
           (device.uninstallerDepth == 1 ? " level" : " levels") +
           " deep (\\Program Files is level 1), " + "nor one that still holds anything";
}

std::string Capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    return text;
}

std::vector<std::string> Texts(const sim::Texts& texts, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::u16string& text : texts) {
        out.push_back(prefix + sim::Utf8(text));
    }
    return out;
}

} // namespace simtool
