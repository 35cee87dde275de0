// JUnit XML written with pugixml (Debian's libpugixml-dev).
#include "simulator/check_junit.h"

#include "simulator/json_input.h"

#include <pugixml.hpp>

#include <algorithm>

namespace simtool {

namespace {

// What a failure's text holds, and what a passing verdict's system-out
// says: what to change, and the assumptions it rests on, a line each.
std::string Details(const Judgement& j) {
    std::string text;
    for (const std::string& remedy : j.remedies) {
        text += "to change: " + remedy + "\n";
    }
    for (const Assumption& assumption : j.assumes) {
        text += RestsOn(assumption) + "\n";
    }
    return text;
}

// Text as XML 1.0 can hold it: each line as the table shows text, control
// characters and bytes that are not UTF-8 escaped.
std::string Xml(const std::string& text) {
    std::string held;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        held += Escaped(text.substr(start, end - start)) + (end < text.size() ? "\n" : "");
        start = end + 1;
    }
    return held;
}

void Count(pugi::xml_node node, int tests, int failures, int skipped) {
    node.append_attribute("tests") = tests;
    node.append_attribute("failures") = failures;
    node.append_attribute("errors") = 0;
    node.append_attribute("skipped") = skipped;
}

} // namespace

void WriteCheckJUnit(std::ostream& out, const CheckRun& run) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node suites = document.append_child("testsuites");
    suites.append_attribute("name") = Xml("autorun-sim check " + run.card).c_str();
    int tests = 0;
    int failures = 0;
    int skipped = 0;
    for (const DeviceCheck& check : run.devices) {
        pugi::xml_node suite = suites.append_child("testsuite");
        suite.append_attribute("name") = Xml(check.device).c_str();
        int failed = 0;
        int passed = 0;
        pugi::xml_node properties = suite.append_child("properties");
        pugi::xml_node property = properties.append_child("property");
        property.append_attribute("name") = "device";
        property.append_attribute("value") = Xml(check.name).c_str();
        for (int c = 0; c < Columns; ++c) {
            const Judgement& j = check.judgements[c];
            pugi::xml_node testcase = suite.append_child("testcase");
            testcase.append_attribute("name") = Heading(Column(c));
            testcase.append_attribute("classname") = Xml(check.device).c_str();
            if (j.Expected()) {
                pugi::xml_node skip = testcase.append_child("skipped");
                skip.append_attribute("message") = Xml("expected ✗: " + j.expected).c_str();
                skip.text() = Xml(j.Reason() + "\n" + Details(j)).c_str();
            } else if (j.verdict == Verdict::Fail) {
                pugi::xml_node failure = testcase.append_child("failure");
                failure.append_attribute("message") = Xml(j.Reason()).c_str();
                failure.append_attribute("type") = "✗";
                failure.text() = Xml(Details(j)).c_str();
                ++failed;
            } else if (j.verdict == Verdict::NotJudged) {
                testcase.append_child("skipped").append_attribute("message") =
                    Xml("not judged, since " + j.why).c_str();
            } else {
                ++passed;
                if (!j.assumes.empty()) {
                    testcase.append_child("system-out").text() = Xml(Details(j)).c_str();
                }
            }
        }
        Count(suite, Columns, failed, Columns - failed - passed);
        if (!check.Passes() && !check.timeline.empty()) {
            suite.append_child("system-out").text() = Xml(check.timeline).c_str();
        }
        tests += Columns;
        failures += failed;
        skipped += Columns - failed - passed;
    }
    Count(suites, tests, failures, skipped);
    document.save(out, "  ", pugi::format_default | pugi::format_no_declaration,
                  pugi::encoding_utf8);
}

} // namespace simtool
