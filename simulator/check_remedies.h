// What to change, read off the device's record: each function answers for
// one kind of failure the judge found, with a line in a few words ("put the
// card's program in 1824\ as well"), or with nothing where nothing follows
// from what the device did and why. None is drawn from the rules of the
// program on the card.
#pragma once

#include "device/device.h"
#include "simulator/check_causes.h"

#include <string>
#include <vector>

namespace simtool {

// The shell started nothing on an insertion (step): where a card's program
// would have to be for it to start one.
std::vector<std::string> ShellRemedy(const sim::ev::Step& step, const sim::Config& device,
                                     const std::vector<sim::Entry>& cards);

// The loader did not start the shell's copy of a card's program, copied from
// `from` on a card that held `cards`.
std::vector<std::string> LoaderRemedy(const sim::ev::NotStarted& refused,
                                      const std::u16string& from, const sim::Config& device,
                                      const std::vector<sim::Entry>& cards);

// The cabinet installer refused a package; `package` is what it read of it,
// when it read it.
std::vector<std::string> InstallerRemedy(const sim::ev::Refused& refused,
                                         const sim::ev::Package* package,
                                         const sim::Config& device);

// The installer deleted a package after installing it, so it was not there
// to be found again.
std::vector<std::string> DeletedPackageRemedy();

// A program found no package where it searched on the cards: where the
// card's packages would have to be.
std::vector<std::string> SearchRemedies(const RecordSpan& span);

// A removal left what the card's life added: from the names the uninstaller
// was given, the folders it left (foldersLeft, in this device's record) and
// how this kind of device uninstalls, up to event `to`.
std::vector<std::string> RemovalRemedies(const std::vector<sim::Event>& events, std::size_t from,
                                         std::size_t to, const sim::Config& device,
                                         const std::vector<std::string>& foldersLeft);

} // namespace simtool
