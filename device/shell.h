// The device's shell: the storage-card auto-run that starts programs as cards
// go in and come out, the user's taps, the files programs ask it to open
// (programs are started, packages handed to the cabinet installer, and
// \Windows\Unload.exe is the uninstaller), its special folders and its
// message boxes.
#pragma once

#include "device/answer.h"
#include "device/cab_installer.h"
#include "device/clock.h"
#include "device/config.h"
#include "device/events.h"
#include "device/store.h"
#include "device/uninstaller.h"

#include <functional>
#include <string>
#include <vector>

namespace sim {

// Starts the file at path as a program with a command line and lets it run.
using RunProgram = std::function<void(const std::u16string& path, const std::u16string& args)>;

class Shell {
  public:
    Shell(const Config& config, Store& files, Clock& clock, EventLog& log, CabInstaller& installer,
          Uninstaller& uninstaller, RunProgram run)
        : config_(config), files_(files), clock_(clock), log_(log), installer_(installer),
          uninstaller_(uninstaller), run_(std::move(run)) {}

    // --- The card's life ----------------------------------------------------
    // The cards go in: any card taken out comes back with what it held (cards
    // that are in stay in, as the shell sees them); the shell copies the
    // first card's program to \Windows\autorun.exe and starts the copy with
    // "install".
    void Insert();
    // The user taps the program's entry in the Programs menu: the file that a
    // program put into the Programs folder by copying its own file there (the
    // latest such copy that is still there). It starts with an empty command
    // line; with no such file, nothing runs.
    void TapMenu();
    // The user taps a file: it starts with an empty command line. No file,
    // or an empty path: nothing runs.
    void Tap(const std::u16string& file);
    // The cards come out, kept whole; the shell starts \Windows\autorun.exe
    // with "uninstall". With no card in, nothing happens.
    void Remove();

    // The program on a card: its "<processor>\autorun.exe", as this device's
    // processor names the folder; null when the card holds none.
    const Entry* ProgramOn(const Entry& card) const;
    // The cards taken out and not yet put back.
    std::vector<std::u16string> CardsOut() const;

    // --- What programs ask of it --------------------------------------------
    // Starts a file with a command line: a program, or a package for the
    // cabinet installer; the shell does not wait for either.
    Answer Open(const std::u16string& file, const std::u16string& args);
    // The path of a special folder (CSIDL_PROGRAMS), made first when create
    // is set; result is what the call answers, which on some kinds of device
    // is FALSE even when it gives the path.
    Answer SpecialFolder(int folder, bool create, std::u16string& path, platform::BOOL& result);
    // A message box: dismissed at once, with OK.
    int ShowMessage() const {
        return 1;
    }

  private:
    long long CardsIn() const;
    // A tap on file (shown as the step names it), which starts entry; null:
    // there is nothing to start.
    void TapOn(const char16_t* step, const std::u16string& file, const Entry* entry);

    const Config& config_;
    Store& files_;
    Clock& clock_;
    EventLog& log_;
    CabInstaller& installer_;
    Uninstaller& uninstaller_;
    RunProgram run_;
    std::vector<Store::Tree> cardsOut_;
};

} // namespace sim
