// What flash tells about one device: in JSON, and as a row of the --all summary table.
#pragma once

#include <string>
#include <vector>

#include "cli/flash_device.hpp"
#include "cli/json.hpp"
#include "cli/shell_view.hpp"

namespace fwup::cli {

// Sets the device's members in `object`.
void AddDeviceJson(Json& object, const DeviceOutcome& outcome, const ViewRecord& record);

// The summary table of flash --all: path, versions before, verdict, seconds.
std::string SummaryTable(const std::vector<DeviceOutcome>& outcomes);

}  // namespace fwup::cli
