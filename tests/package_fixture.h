// Cabinets for tests, made by scripts/make-cab into the build tree: one run
// of the script makes all the cabinets a test asks for.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fixture {

// The package every test starts from: the reader, its folders, registry
// values and links (tests/packages/reader.json).
inline const std::string ReaderPackage = AUTORUN_SOURCE_DIR "/tests/packages/reader.json";
// A package shaped as CabWiz writes one: its own install directory
// (%CE1%\Maker\App), a shortcut named "App.lnk" whose list of string ids has
// no closing 0, its folder (%CE11%) given as a directory in the field the
// format document calls unknown (tests/packages/cabwiz.json).
inline const std::string CabWizPackage = AUTORUN_SOURCE_DIR "/tests/packages/cabwiz.json";

// make-cab's arguments for each way a cabinet holds its files: stored, and
// MSZIP-compressed. Tests make every package both ways.
inline const char* const Compressions[] = {"", "--zip"};

struct CabinetOrder {
    std::string name; // the file made: <build tree>/packages/<name>.cab
    std::string args; // make-cab's arguments, quoted as in a shell
};

// Makes the cabinets (the batch's name must differ between tests that run
// side by side) and returns their bytes, in order; a failure of the script
// fails the test and returns none.
inline std::vector<std::vector<std::uint8_t>>
MakeCabinets(const std::string& batch, const std::vector<CabinetOrder>& orders) {
    const std::string folder = AUTORUN_PACKAGES_DIR;
    const std::string list = folder + "/" + batch + ".txt";
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(list);
        for (const CabinetOrder& order : orders) {
            out << order.args << " '" << folder << "/" << order.name << ".cab'\n";
        }
    }
    const std::string command =
        std::string("'" AUTORUN_PYTHON "' '" AUTORUN_SOURCE_DIR "/scripts/make-cab' --batch '") +
        list + "'";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "make-cab failed: " << command;
        return {};
    }
    std::vector<std::vector<std::uint8_t>> cabinets;
    for (const CabinetOrder& order : orders) {
        std::ifstream in(folder + "/" + order.name + ".cab", std::ios::binary);
        cabinets.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return cabinets;
}

} // namespace fixture
