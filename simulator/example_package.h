// The example card's package, examples/card-folder/2577/Reader.cab (which
// scripts/make-cab makes from examples/packages/reader.json), built into the
// binary: the demo's card holds it, and so do the cards of the tests and the
// fuzz targets that need a real package.
#pragma once

#include "device/store.h"

namespace simtool {

sim::Content ExamplePackage();

} // namespace simtool
