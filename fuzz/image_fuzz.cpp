// libFuzzer target: the input bytes are a program file, as a card from
// someone else may bring it. The PE reader reads them; an image it accepts
// goes on a small simulated device (a Pocket PC, whose processor runs the
// image's machine, with one card that holds it as the card's auto-run
// program, beside a package) and plays the card's
// life: inserted, started from the menu, removed, each run held to 100 000
// instructions. Every input must end as refused with a reason, as a crash
// reported with a known exception code and a reason, or as a run to its
// end; the target aborts on anything else (and the sanitizers on any bad
// access, leak or undefined behaviour).
#include "device/device.h"
#include "device/process.h"
#include "runner/image_program.h"
#include "runner/pe_image.h"
#include "tests/device_fixture.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t Budget = 100000;
// Each run may call the platform this often: enough for every call the
// program makes, few enough to keep an execution short.
constexpr std::uint32_t CallBound = 1000;

bool KnownCode(std::uint32_t code) {
    switch (code) {
    case sim::AccessViolation:
    case sim::StackOverflow:
    case sim::IllegalInstruction:
    case sim::PrivilegedInstruction:
    case sim::BudgetExhausted:
    case sim::QuotaExceeded:
        return true;
    default:
        return false;
    }
}

// What is wrong with how a run ended, or "".
std::string Wrong(const sim::ev::Crash& crash) {
    const std::string reason = sim::Utf8(crash.reason);
    if (!KnownCode(static_cast<std::uint32_t>(crash.code))) {
        return "an unknown exception code";
    }
    if (reason.empty()) {
        return "no reason";
    }
    // A failure of the runner itself, or an error of unicorn's that no
    // reason was found for, is not the image's doing.
    if (reason.rfind("runner failure", 0) == 0 || reason.rfind("emulator error", 0) == 0) {
        return "the runner failed";
    }
    return "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A program of its own for each input, so that nothing of one input is
    // left for the next (and the leak checker sees every allocation freed).
    runner::ImageProgram program;
    program.budget = Budget;
    program.callBound = CallBound;

    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(data, data + size);
    runner::PeImage image;
    std::string error;
    if (!runner::ReadPeImage(*bytes, image, error)) {
        if (error.empty()) {
            std::fprintf(stderr, "refused with no reason\n");
            std::abort();
        }
        return 0;
    }
    // Strings are read when asked for: the title, and ids in other blocks.
    std::u16string text;
    for (std::uint32_t id : {0u, 1u, 15u, 16u, 0xFFFFu}) {
        runner::ReadImageString(image, id, text);
    }

    const sim::Config kind = fixture::KindFor(image.machine);
    sim::Device device(kind, &program);
    fixture::AddCard(device, u"Storage Card");
    device.Put({u"\\Storage Card\\" + sim::Utf16(std::to_string(kind.processor)) + u"\\autorun.exe",
                sim::AttrArchive, sim::DefaultEntryTime, bytes});
    fixture::AddPackage(device, u"\\Storage Card\\2577\\Reader.cab");
    device.Insert();
    device.TapMenu();
    device.Remove();

    for (const sim::Event& event : device.Events()) {
        const auto* crash = event.As<sim::ev::Crash>();
        if (crash == nullptr) {
            continue;
        }
        const std::string wrong = Wrong(*crash);
        if (!wrong.empty()) {
            std::fprintf(stderr, "%s: code 0x%llX, reason \"%s\", address 0x%llX\n", wrong.c_str(),
                         static_cast<unsigned long long>(crash->code),
                         sim::Utf8(crash->reason).c_str(),
                         static_cast<unsigned long long>(crash->address));
            std::abort();
        }
    }
    return 0;
}
