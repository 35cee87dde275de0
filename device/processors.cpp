// The processor types of winnt.h, their names, and the architecture each
// belongs to, as the kernel's CEProcessorType table pairs them
// (docs/devices.md).
#include "device/processors.h"

#include "device/loader.h"

namespace sim {

namespace {

struct ProcessorType {
    std::uint32_t number;
    const char* name;
    std::uint16_t machine; // 0: the loader runs no images of it
};

const ProcessorType Types[] = {
    {386, "Intel 386", MachineI386},   // PROCESSOR_INTEL_386
    {486, "Intel 486", MachineI386},   // PROCESSOR_INTEL_486
    {586, "Pentium", MachineI386},     // PROCESSOR_INTEL_PENTIUM
    {4000, "MIPS R4000", MachineMips}, // PROCESSOR_MIPS_R4000
    {103, "SH3", MachineSh3},          // PROCESSOR_SHx_SH3
    {104, "SH4", MachineSh4},          // PROCESSOR_SHx_SH4
    {10003, "SH3", MachineSh3},        // PROCESSOR_HITACHI_SH3
    {10004, "SH3E", MachineSh3e},      // PROCESSOR_HITACHI_SH3E
    {10005, "SH4", MachineSh4},        // PROCESSOR_HITACHI_SH4
    {1824, "ARM720", MachineArm},      // PROCESSOR_ARM720 (0x720)
    {2080, "ARM820", MachineArm},      // PROCESSOR_ARM820 (0x820)
    {2336, "ARM920", MachineArm},      // PROCESSOR_ARM920 (0x920)
    {2577, "StrongARM", MachineArm},   // PROCESSOR_STRONGARM (0xA11)
    {70001, "ARM7TDMI", MachineArm},   // PROCESSOR_ARM_7TDMI
    {821, "Motorola 821", 0},          // PROCESSOR_MOTOROLA_821
    {601, "PowerPC 601", 0},           // PROCESSOR_PPC_601
    {603, "PowerPC 603", 0},           // PROCESSOR_PPC_603
    {604, "PowerPC 604", 0},           // PROCESSOR_PPC_604
    {620, "PowerPC 620", 0},           // PROCESSOR_PPC_620
    {21064, "Alpha 21064", 0},         // PROCESSOR_ALPHA_21064
};

const ProcessorType* Find(std::uint32_t processor) {
    for (const ProcessorType& type : Types) {
        if (type.number == processor) {
            return &type;
        }
    }
    return nullptr;
}

} // namespace

std::uint16_t MachineOfProcessor(std::uint32_t processor) {
    const ProcessorType* type = Find(processor);
    return type == nullptr ? 0 : type->machine;
}

std::string ProcessorName(std::uint32_t processor) {
    const ProcessorType* type = Find(processor);
    return type == nullptr ? std::string() : type->name;
}

std::string ProcessorText(std::uint32_t processor) {
    const std::string name = ProcessorName(processor);
    return std::to_string(processor) + (name.empty() ? "" : " (" + name + ")");
}

} // namespace sim
