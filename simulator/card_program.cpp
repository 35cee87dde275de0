// The card's program, and how the headers name it.
#include "simulator/card_program.h"

#include "runner/pe_image.h"

namespace simtool {

namespace {

const char BuiltHere[] = "autorun.exe built for this computer";

std::string OwnFile(const CardProgram& program) {
    return "the card's own " + sim::Utf8(program.file);
}

} // namespace

CardProgram ProgramOnCards(const sim::Device& device) {
    CardProgram program;
    for (const sim::Entry* card : device.Files().Children(u"")) {
        const sim::Entry* file = device.TheShell().ProgramOn(*card);
        if (file == nullptr) {
            continue;
        }
        program.file = file->path;
        runner::PeImage image;
        if (!file->content || file->content->empty()) {
            program.holds = CardProgram::Nothing;
        } else if (runner::ReadPeImage(*file->content, image, program.problem)) {
            program.holds = CardProgram::Image;
            program.machine = runner::MachineName(image.machine);
            program.image = sim::ImageFor(image.machine);
            program.refusal = device.TheLoader().Refusal(
                {image.machine, image.subsystem, image.subsystemMajor, image.subsystemMinor});
        } else {
            program.holds = CardProgram::NoImage;
        }
        break;
    }
    return program;
}

std::string RunProgramText(const CardProgram& program, const ProgramChoice& choice,
                           std::uint32_t processor) {
    const std::string standsIn = " stands in for any program file that holds nothing";
    // Where it runs: in an emulated processor, unless the device's loader
    // does not start it.
    const std::string why = " (" + program.refusal + ")";
    if (!choice.image.empty()) {
        return "the " + choice.machine + " image " + choice.image + ", in every card's " +
               sim::Utf8(sim::AutoRunOnCard(processor)) +
               " and standing in for any program file that holds nothing; " +
               (program.refusal.empty() ? "it runs in an emulated processor"
                                        : "this device's loader does not start it" + why) +
               ".";
    }
    switch (program.holds) {
    case CardProgram::Image:
        return OwnFile(program) + ", " + program.image + ", " +
               (program.refusal.empty() ? "in an emulated processor"
                                        : "which this device's loader does not start" + why) +
               "; " + BuiltHere + standsIn + ".";
    case CardProgram::NoImage:
        return OwnFile(program) + ", which holds no image (" + program.problem + "); " + BuiltHere +
               standsIn + ".";
    case CardProgram::Nothing:
        return std::string(BuiltHere) + ", standing in for the card's empty " +
               sim::Utf8(program.file) + " and for any program file that holds nothing.";
    case CardProgram::NoFile:
        break;
    }
    return std::string(BuiltHere) + ", standing in for any program file that holds nothing (no " +
           "card holds " + sim::Utf8(sim::AutoRunOnCard(processor)) + ").";
}

std::string CheckProgramText(const CardProgram& program, const ProgramChoice& choice) {
    if (program.holds == CardProgram::NoFile) {
        return std::string();
    }
    if (!choice.image.empty()) {
        return "the " + choice.machine + " image " + choice.image + " (--image), as the card's " +
               sim::Utf8(program.file);
    }
    switch (program.holds) {
    case CardProgram::Image:
        return OwnFile(program) + ", " + program.image;
    case CardProgram::NoImage:
        return OwnFile(program) + ", which holds no image (" + program.problem + ")";
    case CardProgram::Nothing:
    case CardProgram::NoFile:
        break;
    }
    return choice.standIn ? std::string(BuiltHere) + ", standing in (--stand-in) for the card's " +
                                "empty " + sim::Utf8(program.file)
                          : "none; the card's " + sim::Utf8(program.file) +
                                " is empty, and a device starts nothing from an empty file "
                                "(--image FILE supplies the program, --stand-in lets " +
                                BuiltHere + " stand in)";
}

std::string CheckProgramRuns(const CardProgram& program, const ProgramChoice& choice) {
    if (program.holds == CardProgram::NoFile) {
        return "nothing";
    }
    if (!choice.image.empty()) {
        return "image";
    }
    if (program.holds != CardProgram::Nothing) {
        return "card";
    }
    return choice.standIn ? "stand-in" : "nothing";
}

} // namespace simtool
