// Everything the command line can say, filled in by the parser. Each command binds only the
// options it takes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fwup::cli {

struct Options {
  std::string file;    // the firmware file of check, image and flash
  std::string output;  // image -o
  std::string region;  // check --region START:SIZE
  bool all = false;    // flash --all
  bool force = false;  // flash --force

  std::optional<std::string> path;  // --path: the interface to use
  double wait_seconds = 0;          // --wait

  bool simulate = false;
  unsigned sim_devices = 1;
  std::vector<std::string> sim_faults;  // [N=]FAULT
  std::string sim_dump;
  std::string sim_log;
  unsigned sim_transfer_us = 1000;  // a full-speed interrupt endpoint moves one report per 1 ms frame

  bool verbose = false;
  bool json = false;
};

}  // namespace fwup::cli
