// The fault sweep on a shipped image: every flow of the host build's sweep,
// with no fault, each failable operation failing and every pair failing, run
// both on the host build and on the image named by AUTORUN_SWEEP_IMAGE. The
// image must keep the invariants, exit with 0, use under 8 KB of stack, and
// give the host build's event log: every call, field for field, every
// effect, and the same device state at the end. Both run on a device whose
// processor runs the image's machine (the desktop image's: an x86 one), the
// same device in all else. With AUTORUN_SWEEP_EXECUTED
// set, the instructions the image ran are added to that file. With
// AUTORUN_SWEEP_SINGLE_FAULTS set, the pairs are left out (scripts/valgrind
// runs a few flows so).
#include "runner/executed_file.h"
#include "runner/image_program.h"
#include "runner/program_runner.h"
#include "simulator/event_log.h"
#include "tests/device_fixture.h"
#include "tests/sweep_flows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The deepest stack a run may use: within the 64 KB the image reserves, and
// twice the 4 KB it commits.
constexpr long long StackLimit = 8192;

struct Image {
    std::string file;
    sim::Content bytes;
    std::string machine;
    sim::Config kind;  // a device that runs it
    std::string error; // why it could not be read
};

const Image& TheImage() {
    static const Image image = [] {
        Image read;
        const char* file = std::getenv("AUTORUN_SWEEP_IMAGE");
        if (file == nullptr) {
            read.error = "AUTORUN_SWEEP_IMAGE names no image";
            return read;
        }
        read.file = file;
        runner::PeImage pe;
        if (runner::ReadImageFile(file, read.bytes, pe, read.error)) {
            read.machine = runner::MachineName(pe.machine);
            read.kind = fixture::KindFor(pe.machine);
        }
        return read;
    }();
    return image;
}

// One program for every run of the image: it keeps its emulators, and what
// ran over all the runs.
runner::ImageProgram& Images() {
    static runner::ImageProgram program;
    return program;
}

int runs = 0;
long long deepest = 0;

// The event log with the calls, one line an event, the state last; an
// image's exit without its count of instructions and its stack depth.
std::vector<std::string> LogOf(const sim::Device& device) {
    std::ostringstream out;
    simtool::WriteEventLog(out, device, true);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        const std::size_t extra = line.find(",\"instructions\":");
        if (line.rfind("{\"event\":\"exit\"", 0) == 0 && extra != std::string::npos) {
            line.erase(extra, line.size() - 1 - extra);
        }
        lines.push_back(line);
    }
    return lines;
}

// The deepest stack of the image's runs on the device (one, in the sweep).
long long StackOf(const sim::Device& device) {
    long long stack = -1;
    for (const sim::Event& event : device.Events()) {
        if (const auto* exit = event.As<sim::ev::Exit>()) {
            stack = std::max(stack, exit->stack.value_or(-1));
        }
    }
    return stack;
}

// The sweep's fault sets, or only no fault and each single one.
std::vector<std::set<sim::Op>> FaultSets() {
    std::vector<std::set<sim::Op>> sets = sweep::FaultSets();
    if (std::getenv("AUTORUN_SWEEP_SINGLE_FAULTS") != nullptr) {
        sets.erase(std::remove_if(sets.begin(), sets.end(),
                                  [](const std::set<sim::Op>& set) { return set.size() > 1; }),
                   sets.end());
    }
    return sets;
}

class ImageSweep : public testing::TestWithParam<sweep::Flow> {};

TEST_P(ImageSweep, GivesTheHostBuildsLogUnderEveryFaultAndPair) {
    const Image& image = TheImage();
    ASSERT_TRUE(image.bytes) << image.file << ": " << image.error;
    const sweep::Flow& flow = GetParam();
    for (const std::set<sim::Op>& faults : FaultSets()) {
        SCOPED_TRACE(sweep::Describe(faults));
        const std::unique_ptr<sim::Device> host =
            sweep::RunFlow(flow, faults, fixture::Native(), nullptr, image.kind);
        const std::unique_ptr<sim::Device> ran =
            sweep::RunFlow(flow, faults, Images(), image.bytes, image.kind);
        ++runs;

        const long long stack = StackOf(*ran);
        ASSERT_GE(stack, 0) << "the image's run left no exit with its stack depth";
        EXPECT_LT(stack, StackLimit);
        deepest = std::max(deepest, stack);

        const std::vector<std::string> want = LogOf(*host);
        const std::vector<std::string> got = LogOf(*ran);
        const auto differ = std::mismatch(want.begin(), want.end(), got.begin(), got.end());
        if (differ.first != want.end() || differ.second != got.end()) {
            ADD_FAILURE() << image.machine << " image's log differs at line "
                          << (differ.first - want.begin() + 1) << "\n  host:  "
                          << (differ.first != want.end() ? *differ.first : "(ended)")
                          << "\n  image: "
                          << (differ.second != got.end() ? *differ.second : "(ended)");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Flows, ImageSweep, testing::ValuesIn(sweep::Flows()),
                         [](const testing::TestParamInfo<sweep::Flow>& info) {
                             return std::string(info.param.name);
                         });

// After the sweep: its figures, and what the image ran for the coverage
// report.
class Figures : public testing::Environment {
  public:
    void TearDown() override {
        if (runs == 0) {
            return;
        }
        std::printf("image sweep (%s image): %d runs, deepest stack %lld bytes\n",
                    TheImage().machine.c_str(), runs, deepest);
        const char* executed = std::getenv("AUTORUN_SWEEP_EXECUTED");
        std::string error;
        if (executed != nullptr) {
            std::remove(executed);
            if (!runner::AppendExecuted(Images(), executed, error)) {
                ADD_FAILURE() << executed << ": " << error;
            }
        }
    }
};
const testing::Environment* const figures = testing::AddGlobalTestEnvironment(new Figures);

} // namespace
