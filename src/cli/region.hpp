// An application region given on the command line as START:SIZE.
#pragma once

#include <cstdint>
#include <string_view>

namespace fwup::cli {

struct Region {
  std::uint32_t start = 0;
  std::uint32_t size = 0;
};

// START and SIZE in decimal or, with 0x, in hex; the region must lie inside the 64 KiB image.
// Throws CliError(kUsage).
Region ParseRegion(std::string_view text);

// The device model's region, which check uses when none is given.
Region DefaultRegion();

}  // namespace fwup::cli
