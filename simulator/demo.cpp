// The built-in demo's opening and its check table.
#include "simulator/demo.h"

#include "simulator/check_command.h"
#include "simulator/check_report.h"
#include "simulator/profiles.h"
#include "simulator/json_input.h"

namespace simtool {

void WriteDemoOpening(std::ostream& out, const ProgramChoice& choice) {
    out << "This demo plays the example card, with its real package Reader.cab built into "
           "autorun-sim, through its life on a new Pocket PC 2003: inserted, its Programs-menu "
           "entry tapped, removed; then it checks the same card on every kind of device.\n";
    if (choice.image.empty()) {
        out << "The card's autorun.exe holds nothing here, so the program compiled for this "
               "computer stands in for it; --image build/wince/autorun.exe runs the device "
               "image itself.\n";
    } else {
        out << Escaped("The card's autorun.exe is the " + choice.machine + " image " +
                       choice.image +
                       ", given with --image; without it, the program compiled for this "
                       "computer stands in for the card's empty file.")
            << "\n";
    }
    out << "\n";
}

int WriteDemoCheck(std::ostream& out, const Description& demo, runner::ProgramRunner& programs,
                   const ProgramChoice& choice) {
    // The demo's card, not its device: each profile gives its own facts.
    Description card = demo;
    card.facts.clear();
    std::vector<const ProfileText*> every;
    std::vector<Description> kinds;
    for (const ProfileText& profile : Profiles()) {
        every.push_back(&profile);
        kinds.push_back(ReadProfile(profile));
    }
    CheckRun run;
    run.card = demo.source;
    run.choice = choice;
    run.choice.standIn = choice.image.empty();
    CheckCard(card, every, kinds, programs, run);
    out << "\nThe same card checked on every kind of device (insert, tap, remove, insert again, "
           "tap, remove on each), as autorun-sim check tells it:\n\n";
    WriteCheckTable(out, run);
    return CheckStatus(run.devices);
}

} // namespace simtool
