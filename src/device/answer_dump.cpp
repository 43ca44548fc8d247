#include "device/answer_dump.hpp"

namespace fwup {

void TraceAnswerDump(Tracer& trace, const BootReport& answer) {
  for (std::size_t i = 0; i < answer.size(); ++i) {
    trace.Format("Rawdata[%lu] = 0x%X\r\n", static_cast<unsigned long>(i), static_cast<unsigned>(answer[i]));
  }
}

}  // namespace fwup
