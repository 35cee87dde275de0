// The fault plan reaches the device's calls as it says: which calls fail (a
// count, a range, every call from one on), which calls are counted (those
// whose path or key argument matches the pattern), and the error each fails
// with.
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct PlanCase {
    const char* what;
    std::vector<sim::FaultRule> rules;
    std::vector<std::u16string> deleted; // DeleteFileW's paths, in turn
    std::vector<int> results;            // what each call returns
    std::vector<long long> errors;       // what each call's record gives as its error (0: none)
};

void PrintTo(const PlanCase& c, std::ostream* out) {
    *out << c.what;
}

sim::FaultRule Rule(std::u16string match, std::uint32_t from, std::uint32_t count,
                    platform::LONG error = 0) {
    sim::FaultRule rule;
    rule.op = sim::Op::DeleteFileW;
    rule.match = std::move(match);
    rule.from = from;
    rule.count = count;
    rule.error = error;
    return rule;
}

const std::vector<std::u16string> Four = {u"\\a.txt", u"\\b.txt", u"\\c.txt", u"\\d.txt"};

const PlanCase PlanCases[] = {
    {"a count", {Rule(u"", 1, 2)}, Four, {0, 0, 1, 1}, {5, 5, 0, 0}},
    {"a range", {Rule(u"", 2, 2)}, Four, {1, 0, 0, 1}, {0, 5, 5, 0}},
    {"every call from one on", {Rule(u"", 3, 0)}, Four, {1, 1, 0, 0}, {0, 0, 5, 5}},
    {"a pattern: only matching calls fail",
     {Rule(u"*.DAT", 1, 0)},
     {u"\\a.txt", u"\\b.dat", u"\\c.txt", u"\\D.DAT"},
     {1, 0, 1, 0},
     {0, 5, 0, 5}},
    // The calls a rule counts are the matching ones: its second match is the
    // fourth call.
    {"a pattern: only matching calls count",
     {Rule(u"*.dat", 2, 1)},
     {u"\\a.dat", u"\\b.txt", u"\\c.txt", u"\\d.dat"},
     {1, 1, 1, 0},
     {0, 0, 0, 5}},
    {"an error code", {Rule(u"", 1, 1, 32)}, Four, {0, 1, 1, 1}, {32, 0, 0, 0}},
    // Each rule counts its own calls; the first that fails a call gives its error.
    {"two rules", {Rule(u"", 2, 1, 80), Rule(u"*", 1, 3, 87)}, Four, {0, 0, 0, 1}, {87, 80, 87, 0}},
};

class FaultPlan : public testing::TestWithParam<PlanCase> {};

TEST_P(FaultPlan, FailsTheCallsItNames) {
    const PlanCase& c = GetParam();
    sim::Device device = fixture::NewDevice();
    for (const std::u16string& path : c.deleted) {
        fixture::AddFile(device, path);
    }
    for (const sim::FaultRule& rule : c.rules) {
        device.AddFault(rule);
    }
    std::vector<int> results;
    {
        sim::Device::Use use(device, fixture::ProgramAt(u"\\Windows\\autorun.exe"));
        for (const std::u16string& path : c.deleted) {
            results.push_back(platform::DeleteFileW(path.c_str()));
        }
    }
    EXPECT_EQ(c.results, results);
    std::vector<long long> errors;
    for (const sim::ev::Call& call : fixture::EventsOf<sim::ev::Call>(device)) {
        errors.push_back(call.error.value_or(0));
        if (call.error) {
            EXPECT_EQ(u"the fault plan makes it fail", call.why.value_or(u""));
        }
    }
    EXPECT_EQ(c.errors, errors);
    int failures = 0;
    for (int result : c.results) {
        failures += result == 0 ? 1 : 0;
    }
    EXPECT_EQ(static_cast<int>(c.deleted.size()), device.Faults().CallsOf(sim::Op::DeleteFileW));
    EXPECT_EQ(failures, device.Faults().FailuresOf(sim::Op::DeleteFileW));
}

INSTANTIATE_TEST_SUITE_P(Rules, FaultPlan, testing::ValuesIn(PlanCases),
                         [](const testing::TestParamInfo<PlanCase>& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c != 0; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

// A registry operation answers with the plan's error itself; a key pattern
// is matched against the key's whole name.
TEST(FaultPlan, ARegistryCallAnswersWithThePlansError) {
    sim::Device device = fixture::NewDevice();
    sim::FaultRule rule;
    rule.op = sim::Op::RegOpenKeyExW;
    rule.match = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\*";
    rule.error = 1234;
    device.AddFault(rule);
    device.PutKey(u"SYSTEM\\Other");
    sim::Device::Use use(device, fixture::ProgramAt());
    platform::HKEY key = 0;
    EXPECT_EQ(1234,
              platform::RegOpenKeyExW(platform::HkeyLocalMachine, u"SOFTWARE\\Apps", 0, 0, &key));
    EXPECT_EQ(platform::ErrorSuccess,
              platform::RegOpenKeyExW(platform::HkeyLocalMachine, u"SYSTEM\\Other", 0, 0, &key));
    EXPECT_EQ(platform::ErrorSuccess, platform::RegCloseKey(key));
}

} // namespace
