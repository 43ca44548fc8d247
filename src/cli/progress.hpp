// Where an upgrade is, as the shell draws it: the dialog's progress position, refined between 60
// and 90 by the packets sent, so that the bar moves with every packet while the dialog keeps
// its fixed positions.
#pragma once

#include <cstdint>
#include <string>

namespace fwup::cli {

struct ProgressState {
  int position = 0;  // the dialog's, 0 to 100
  std::uint32_t sent = 0;
  std::uint32_t total = 0;
};

// 0 to 100.
int OverallPercent(const ProgressState& state);

// "[#########-----------]  45%  445/989 packets" in at most `width` characters (at least a
// short bar and the percentage).
std::string ProgressBarText(const ProgressState& state, int width);

// Which tenth of the packets has been sent, for output that is not a terminal: one line each.
int PacketTenth(const ProgressState& state);

}  // namespace fwup::cli
