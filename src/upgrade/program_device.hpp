#pragma once

#include "upgrade/session.hpp"

namespace fwup {

// The last upgrade stage: erase, device active check, program the region of `image` in packets,
// end, checksum verdict, reset. Its outcome's step is Done once the reset is written, whatever
// the verdict; otherwise the step whose transfer failed (having told the user) or Interrupted.
RunOutcome ProgramDevice(Connection& connection, const RunSettings& settings, const ImageBuffer& image,
                         const DeviceInfoValues& info, Shown& shown);

}  // namespace fwup
