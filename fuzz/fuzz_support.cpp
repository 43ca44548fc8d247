#include "fuzz_support.hpp"

#include <cstdlib>

namespace fwup::fuzz {

void QuietView::SetProgress(int position) {
  if (position < 0 || position > 100) std::abort();  // the bar's range is 0..100
}

void QuietTrace::Line(std::string_view text) {
  // Every trace line ends its line; TraceBuffer holds 260 characters.
  if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n" || text.size() > 259) std::abort();
}

}  // namespace fwup::fuzz
