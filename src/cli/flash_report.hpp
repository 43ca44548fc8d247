// What flash tells about one device: in JSON, and as a row of the --all summary table.
#pragma once

#include <string>
#include <vector>

#include "cli/flash_device.hpp"
#include "cli/json.hpp"
#include "cli/shell_view.hpp"

namespace fwup::cli {

// {"application": ..., "boot": ...}: what the device reported when the tool connected; null
// for a version whose answer was not taken. info and flash both say it so.
Json VersionsJson(bool app_taken, const std::string& app, bool boot_taken, const std::string& boot);

// Sets the device's members in `object`.
void AddDeviceJson(Json& object, const DeviceOutcome& outcome, const ViewRecord& record);

// The summary table of flash --all: path, versions before, verdict, seconds.
std::string SummaryTable(const std::vector<DeviceOutcome>& outcomes);

}  // namespace fwup::cli
