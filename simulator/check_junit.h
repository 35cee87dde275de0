// The check as JUnit XML, for a release pipeline to show which device failed
// and why: one testsuite per device and one testcase per judgement. A ✗ is a
// failure whose message is the table's reason and whose text holds what to
// change and the assumptions it rests on; an expected ✗ and a judgement not
// made (–) are skipped, with why; a verdict that passes on an assumption says
// so in its system-out. The timeline of a device that does not pass is its
// suite's system-out.
#pragma once

#include "simulator/check_report.h"

#include <ostream>

namespace simtool {

void WriteCheckJUnit(std::ostream& out, const CheckRun& run);

} // namespace simtool
