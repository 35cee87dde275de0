// The Configuration Manager, reading documents with pugixml (Debian's
// libpugixml-dev).
#include "device/config_manager.h"

#include "device/names.h"

#include <pugixml.hpp>

#include <algorithm>
#include <sstream>

namespace sim {

namespace {

constexpr char UnInstall[] = "UnInstall";

// A document as text, without a declaration: what the device answers with.
std::u16string TextOf(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return Utf16(out.str());
}

Configured Refuses(platform::HRESULT result, std::string why) {
    Configured answer;
    answer.result = result;
    answer.why = std::move(why);
    return answer;
}

// The failure of one element: it becomes a characteristic-error that says
// why, and the document so marked is the answer.
Configured FailsAt(pugi::xml_document& document, pugi::xml_node element, platform::HRESULT result,
                   const std::string& why) {
    element.set_name("characteristic-error");
    element.append_attribute("desc") = why.c_str();
    Configured answer = Refuses(result, why);
    answer.hasOutput = true;
    answer.output = TextOf(document);
    return answer;
}

std::string Element(const pugi::xml_node& node) {
    return "<" + std::string(node.name()) + ">";
}

} // namespace

const char* ResultName(platform::HRESULT result) {
    switch (result) {
    case platform::SOk:
        return "S_OK";
    case EInvalidArg:
        return "E_INVALIDARG";
    case ConfigEEntryNotFound:
        return "CONFIG_E_ENTRYNOTFOUND";
    case ConfigECspException:
        return "CONFIG_E_CSPEXCEPTION";
    case ConfigEBadXml:
        return "CONFIG_E_BAD_XML";
    }
    return "";
}

bool ProviderModelled(const std::string& name) {
    return name == UnInstall;
}

std::string ModelledProviders() {
    return UnInstall;
}

Configured ConfigManager::Process(const std::u16string& text, platform::DWORD flags) {
    if (flags != platform::CfgflagProcess) {
        return Refuses(EInvalidArg, "the flags are " + std::to_string(flags) +
                                        "; the device carries a document out with "
                                        "CFGFLAG_PROCESS (1) alone");
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(
        text.data(), text.size() * sizeof(char16_t), pugi::parse_default, pugi::encoding_utf16);
    if (!parsed) {
        return Refuses(ConfigEBadXml,
                       std::string("the document is not well-formed XML: ") + parsed.description());
    }
    const pugi::xml_node root = document.document_element();
    if (std::string(root.name()) != "wap-provisioningdoc") {
        return Refuses(ConfigEBadXml, "the document is " + Element(root) +
                                          ", not a provisioning document <wap-provisioningdoc>");
    }
    // Every element is known, every provider there, every application to
    // uninstall installed, before anything is done.
    std::vector<std::u16string> apps;
    for (pugi::xml_node provider : root.children()) {
        if (provider.type() != pugi::node_element) {
            continue;
        }
        const std::string type = provider.attribute("type").value();
        if (std::string(provider.name()) != "characteristic") {
            return Refuses(ConfigEBadXml, Element(provider) +
                                              " is no element the Configuration Manager carries "
                                              "out here; it takes a provider's <characteristic>");
        }
        const auto& have = config_.configurationProviders;
        if (std::find(have.begin(), have.end(), type) == have.end()) {
            Configured failed =
                FailsAt(document, provider, ConfigEEntryNotFound,
                        "the device has no configuration service provider \"" + type + "\"");
            failed.facts = {fact::ConfigurationProviders};
            return failed;
        }
        for (pugi::xml_node app : provider.children()) {
            if (app.type() != pugi::node_element) {
                continue;
            }
            const std::u16string name = Utf16(app.attribute("type").value());
            if (std::string(app.name()) != "characteristic") {
                return FailsAt(document, app, ConfigECspException,
                               "the UnInstall provider takes an application's <characteristic>, "
                               "not " +
                                   Element(app));
            }
            bool uninstall = false;
            for (pugi::xml_node parm : app.children()) {
                const std::string parmName = parm.attribute("name").value();
                const std::string value = parm.attribute("value").value();
                if (parm.type() != pugi::node_element) {
                    continue;
                }
                if (std::string(parm.name()) != "parm" || parmName != "uninstall" ||
                    (value != "0" && value != "1")) {
                    return FailsAt(document, app, ConfigECspException,
                                   "the UnInstall provider takes a parm \"uninstall\" of 1 or 0 "
                                   "for \"" +
                                       Utf8(name) + "\", not " + Element(parm) +
                                       (parmName.empty() ? "" : " \"" + parmName + "\""));
                }
                uninstall = value == "1";
            }
            if (uninstall) {
                apps.push_back(name);
            }
            if (uninstall && !installed_.Has(name)) {
                Configured failed = FailsAt(
                    document, app, ConfigECspException,
                    "the UnInstall provider finds nothing installed under \"" + Utf8(name) + "\"");
                failed.asked = apps;
                failed.facts = {fact::ConfigurationProviders};
                return failed;
            }
        }
    }
    Configured done;
    done.asked = apps;
    done.facts = {fact::ConfigurationProviders};
    for (const std::u16string& app : apps) {
        if (uninstaller_.Remove(app, done.files, done.keys, done.kept)) {
            done.apps.push_back(app);
        }
    }
    if (!done.kept.empty()) {
        done.facts.push_back(fact::UninstallerDepth);
    }
    // A document without queries that is carried out is answered as it was
    // given.
    done.hasOutput = true;
    done.output = text;
    return done;
}

} // namespace sim
