// The processor types a device answers (SYSTEM_INFO.dwProcessorType, the
// PROCESSOR_* numbers of winnt.h): each one's name and the machine of the
// images it runs. The number also names the card folder the shell starts a
// card's program from ("2577\autorun.exe"). The one table of them: whatever
// tells a processor by its number tells it by its name too.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// The machine of the images a processor runs (an image header's number:
// MachineArm, ...), 0 for a type the loader does not know.
std::uint16_t MachineOfProcessor(std::uint32_t processor);

// Its name: "StrongARM", "ARM720", "MIPS R4000", "Pentium"; empty for a
// number winnt.h does not name.
std::string ProcessorName(std::uint32_t processor);

// The number with its name, as the device's story tells a processor:
// "2577 (StrongARM)"; the number alone when it has no name.
std::string ProcessorText(std::uint32_t processor);

} // namespace sim
