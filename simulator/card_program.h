// The program a device starts when its cards go in (the first card's
// "<processor>\autorun.exe"), what the file holds, and the words the headers
// of the timeline and the check name it with: the card's own image, an image
// given in its place, or the program built for this computer standing in.
#pragma once

#include "device/device.h"

#include <string>

namespace simtool {

struct CardProgram {
    enum Holds { NoFile, Nothing, Image, NoImage };
    Holds holds = NoFile;
    std::u16string file; // as the device names it; empty for NoFile
    std::string machine; // Image: "ARM", "i386", ...
    std::string image;   // Image: "an ARM image", "a MIPS image", ...
    std::string refusal; // Image: why the device's loader does not start it; empty when it does
    std::string problem; // NoImage: why the bytes are no image
};

// The program file the device's shell starts from its cards as they are now.
CardProgram ProgramOnCards(const sim::Device& device);

// What runs in place of a card's program: an image given on the command line
// (--image), or, for a file that holds nothing, the program built for this
// computer (plain runs always; the check with --stand-in).
struct ProgramChoice {
    std::string image;   // the file, as given; empty: none
    std::string machine; // the image's
    bool standIn = false;
};

// The header's words for a plain run, where the program built for this
// computer stands in for any program file that holds nothing.
std::string RunProgramText(const CardProgram& program, const ProgramChoice& choice,
                           std::uint32_t processor);

// The header's words for the program the check plays on a device; empty
// when its cards hold none.
std::string CheckProgramText(const CardProgram& program, const ProgramChoice& choice);

// What runs, in one word for the JSON document: "card" (the card's own
// file), "image" (--image), "stand-in" or "nothing".
std::string CheckProgramRuns(const CardProgram& program, const ProgramChoice& choice);

} // namespace simtool
