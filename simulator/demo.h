// The built-in demo, as autorun-sim plays it with no description and no
// steps: the example card, its real package built in, through its life on a
// new Pocket PC 2003 (insert, tap the Programs-menu entry, remove), told as
// a timeline; then the same card checked on every kind of device, as the
// check tells it. The event log (--json) is the card's life alone.
#pragma once

#include "runner/program_runner.h"
#include "simulator/card_program.h"
#include "simulator/description.h"

#include <ostream>

namespace simtool {

// The demo's first two sentences: what it shows, and what runs as the card's
// autorun.exe (the image given with --image, or the program built for this
// computer standing in for the card's empty file).
void WriteDemoOpening(std::ostream& out, const ProgramChoice& choice);

// The demo's card checked on every profile and its table, with the program
// the demo ran: the image given (its bytes in programs.standIn), else the
// program built for this computer, standing in as check --stand-in lets it.
// Returns the check's exit status.
int WriteDemoCheck(std::ostream& out, const Description& demo, runner::ProgramRunner& programs,
                   const ProgramChoice& choice);

} // namespace simtool
