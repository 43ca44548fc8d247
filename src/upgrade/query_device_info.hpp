#pragma once

#include <optional>

#include "upgrade/session.hpp"

namespace fwup {

// The first upgrade stage: erases `image` to 0xFF and asks the device for its application region.
// The region, or nothing after telling the user, with the failure in `outcome`.
std::optional<DeviceInfoValues> QueryDeviceInfo(Connection& connection, const RunSettings& settings, ImageBuffer& image,
                                                Shown& shown, RunOutcome& outcome);

}  // namespace fwup
