// The debugger channel, and the one TraceBuffer that formatted lines pass through (several
// failure boxes show its text).
#pragma once

#include <string>
#include <string_view>

namespace fwup {

class Trace {
 public:
  virtual ~Trace() = default;
  // One whole line, its "\r\n" included.
  virtual void Line(std::string_view text) = 0;
};

class Tracer {
 public:
  explicit Tracer(Trace& trace) : trace_(trace) {}

  // Formats into TraceBuffer, then writes it.
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  // Writes a fixed line without touching TraceBuffer.
  void Direct(std::string_view text) { trace_.Line(text); }
  const std::string& TraceBuffer() const { return buffer_; }

 private:
  Trace& trace_;
  std::string buffer_;
};

}  // namespace fwup
