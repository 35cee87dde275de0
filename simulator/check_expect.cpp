// Reading the expected ✗ and marking them.
#include "simulator/check_expect.h"

#include "simulator/json_input.h"
#include "simulator/profiles.h"

namespace simtool {

namespace {

const char Spaces[] = " \t\r";

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(Spaces);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(Spaces) - first + 1);
}

std::string Judgements() {
    std::string known;
    for (int c = 0; c < Columns; ++c) {
        known += (c == 0 ? "" : ", ") + std::string(Heading(Column(c)));
    }
    return known;
}

} // namespace

std::vector<Expectation> ReadExpectations(const std::string& file) {
    const std::string text = ReadInput(file, file);
    std::vector<Expectation> expectations;
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string place = "line " + std::to_string(number);
        const std::size_t space = line.find_first_of(Spaces);
        const std::size_t colon = line.find(':');
        const std::string device = line.substr(0, std::min(space, colon));
        if (FindProfile(device) == nullptr) {
            throw InputError(file, place,
                             "names no device: " + Quoted(device) + " (known: " + ProfileNames() +
                                 "); a line is DEVICE JUDGEMENT: REASON");
        }
        const std::string judgement = colon == std::string::npos || space > colon
                                          ? std::string()
                                          : Trimmed(line.substr(space, colon - space));
        Expectation expected{
            number, device, Columns,
            Trimmed(colon == std::string::npos ? std::string() : line.substr(colon + 1))};
        for (int c = 0; c < Columns; ++c) {
            if (judgement == Heading(Column(c)) || judgement == Key(Column(c))) {
                expected.column = Column(c);
            }
        }
        if (expected.column == Columns) {
            throw InputError(file, place,
                             "names no judgement" +
                                 (judgement.empty() ? std::string() : ": " + Quoted(judgement)) +
                                 " (known: " + Judgements() +
                                 "); a line is DEVICE JUDGEMENT: REASON");
        }
        if (expected.reason.empty()) {
            throw InputError(file, place,
                             "gives no reason after the colon: say why the ✗ is expected");
        }
        for (const Expectation& earlier : expectations) {
            if (earlier.device == device && earlier.column == expected.column) {
                throw InputError(file, place,
                                 device + " " + Heading(expected.column) + " is expected on line " +
                                     std::to_string(earlier.line) + " already");
            }
        }
        expectations.push_back(expected);
    }
    return expectations;
}

std::vector<Unfailing> Expect(const std::vector<Expectation>& expectations,
                              std::vector<DeviceCheck>& devices) {
    std::vector<Unfailing> unfailing;
    for (const Expectation& expected : expectations) {
        for (DeviceCheck& check : devices) {
            if (check.device != expected.device) {
                continue;
            }
            Judgement& judgement = check.judgements[expected.column];
            if (judgement.verdict == Verdict::Fail) {
                judgement.expected = expected.reason;
            } else {
                unfailing.push_back({expected.line, expected.device, expected.column,
                                     expected.reason, judgement.verdict});
            }
        }
    }
    return unfailing;
}

} // namespace simtool
