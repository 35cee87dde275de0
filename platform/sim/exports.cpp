// The simulated device's exports beside the platform operations.
#include "platform/sim/exports.h"

#include "device/device.h"

#include <string>

namespace simexports {

platform::HRESULT PLATFORM_EXPORT_CALL DMProcessConfigXML(const char16_t* document,
                                                          platform::DWORD flags,
                                                          char16_t** output) {
    sim::Device& device = sim::Device::Current();
    std::u16string text;
    for (const char16_t* at = document; at != nullptr && *at != 0; ++at) {
        text += *at;
    }
    sim::Configured done;
    if (document == nullptr || output == nullptr) {
        done.result = sim::EInvalidArg;
        done.why = document == nullptr ? "the document is null"
                                       : "there is nowhere to put the document it answers with";
    } else {
        done = device.Configuration().Process(text, flags);
        *output = done.hasOutput ? device.Held().Keep(done.output) : nullptr;
    }
    sim::ev::Configure configured;
    configured.document = text;
    configured.flags = flags;
    configured.result = static_cast<sim::Number>(static_cast<std::uint32_t>(done.result));
    if (done.hasOutput) {
        configured.output = done.output;
    }
    if (!done.why.empty()) {
        configured.why = sim::Utf16(done.why);
    }
    configured.asked = done.asked;
    configured.apps = done.apps;
    configured.files = done.files;
    configured.keys = done.keys;
    if (!done.kept.empty()) {
        configured.kept = done.kept;
    }
    if (!done.facts.empty()) {
        configured.facts = done.facts;
    }
    device.Log().Emit(std::move(configured));
    return done.result;
}

} // namespace simexports
