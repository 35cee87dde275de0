// The device's loader: what a running program's module answers, its path
// (GetModuleFileName) and its string table (LoadString).
#pragma once

#include "device/answer.h"
#include "device/config.h"
#include "device/process.h"

#include <string>

namespace sim {

class Loader {
  public:
    explicit Loader(const Config& config) : config_(config) {}

    // The running program's path as a buffer of `size` units takes it: cut
    // short, when it does not fit, to size - 1 units, with the length the
    // call answers (the size, when cut).
    Answer ModuleFileName(const Process& running, platform::HINSTANCE module, platform::DWORD size,
                          std::u16string& path, platform::DWORD& length) const;
    // String id of the running program's string table, cut to size - 1 units.
    Answer String(const Process& running, platform::HINSTANCE instance, platform::UINT id, int size,
                  std::u16string& text) const;

  private:
    const Config& config_;
};

} // namespace sim
