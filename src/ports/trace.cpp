#include "ports/trace.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace fwup {

void Tracer::Format(const char* format, ...) {
  char line[260];  // the size of TraceBuffer; every line of the tool fits
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  buffer_.assign(line, length < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), sizeof line - 1));
  trace_.Line(buffer_);
}

}  // namespace fwup
