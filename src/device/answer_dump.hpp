#pragma once

#include "device/boot_report.hpp"
#include "ports/trace.hpp"

namespace fwup {

// Traces a whole answer, one "Rawdata[i] = 0xHH" line per byte.
void TraceAnswerDump(Tracer& trace, const BootReport& answer);

}  // namespace fwup
