#include "cli/progress.hpp"

#include <algorithm>
#include <cstdio>

namespace fwup::cli {
namespace {

// The dialog sets 60 when programming starts and 90 when it is done.
constexpr int kProgramStart = 60;
constexpr int kProgramEnd = 90;

}  // namespace

int OverallPercent(const ProgressState& state) {
  if (state.position == kProgramStart && state.total > 0) {
    const std::uint64_t done = std::min(state.sent, state.total);
    return kProgramStart + static_cast<int>(done * (kProgramEnd - kProgramStart) / state.total);
  }
  return std::clamp(state.position, 0, 100);
}

std::string ProgressBarText(const ProgressState& state, int width) {
  const int percent = OverallPercent(state);
  char tail[48];
  if (state.total > 0) {
    std::snprintf(tail, sizeof tail, " %3d%%  %u/%u packets", percent, static_cast<unsigned>(state.sent),
                  static_cast<unsigned>(state.total));
  } else {
    std::snprintf(tail, sizeof tail, " %3d%%", percent);
  }
  const int inner = std::max(10, std::min(50, width - static_cast<int>(std::string_view(tail).size()) - 2));
  const int filled = inner * percent / 100;
  std::string bar = "[";
  bar.append(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(inner - filled), '-');
  bar += ']';
  bar += tail;
  return bar;
}

int PacketTenth(const ProgressState& state) {
  if (state.total == 0) return 0;
  return static_cast<int>(std::uint64_t{std::min(state.sent, state.total)} * 10 / state.total);
}

}  // namespace fwup::cli
