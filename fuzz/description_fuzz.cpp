// libFuzzer target for the device-description reader: the input is a
// description's text. The reader must refuse it with one line naming the
// place (an InputError) or accept it; what it accepts is put on a device and
// its steps are played by the program built for the host, which must end
// with code 0. Nothing else may escape: a crash, a sanitizer report, another
// exception, or a refusal spread over several lines aborts.
//
// A description that names a host folder or file ("from") is passed over:
// reading the machine's own disk is not what is fuzzed here, and "/" would
// read all of it. Its packages hold the example card's package instead.
#include "runner/native_program.h"
#include "simulator/description.h"
#include "simulator/example_package.h"
#include "simulator/steps.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Fail(const std::string& what) {
    std::fprintf(stderr, "description rule broken: %s\n", what.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find("from") != std::string::npos) {
        return 0;
    }
    simtool::Description description;
    try {
        description = simtool::ParseDescription(text, "fuzz.json", "/nonexistent");
    } catch (const simtool::InputError& refused) {
        const std::string line = refused.what();
        if (line.rfind("fuzz.json: ", 0) != 0 || line.find('\n') != std::string::npos) {
            Fail("a refusal that does not name the file on one line: " + line);
        }
        return 0;
    }
    // Long or many steps are what a description may ask; a run stays short.
    if (description.steps.size() > 16) {
        description.steps.resize(16);
    }
    // A card's package is the reader's real one.
    for (sim::Entry& entry : description.entries) {
        if (sim::HasExtension(entry.path, u".cab") &&
            (entry.attributes & sim::AttrDirectory) == 0) {
            entry.content = simtool::ExamplePackage();
        }
    }
    runner::NativeProgram program;
    sim::Device device(description.config, &program);
    simtool::Populate(description, device);
    simtool::RunSteps(device, description.steps);
    for (const sim::Event& event : device.Events()) {
        const auto* exit = event.As<sim::ev::Exit>();
        if (exit != nullptr && exit->code != 0) {
            Fail("a run of the program ended with code " + std::to_string(exit->code));
        }
        if (event.kind == sim::EventKind::Crash) {
            Fail("a run of the program crashed");
        }
    }
    return 0;
}
