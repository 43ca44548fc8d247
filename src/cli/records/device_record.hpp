// What the shell learnt of one device, and every JSON form of it: the members of info's and
// flash's document, the entry of flash --all and --watch, and the board log's line. A member is
// written here and nowhere else, so that a change of the documents or the log is a change here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/arguments/exit_code.hpp"
#include "cli/records/json.hpp"
#include "upgrade/session.hpp"

namespace fwup::cli {

struct ViewRecord;

struct DeviceRecord {
  std::string path;         // of the interface used; empty when none was found
  bool found = false;       // a device was found there: the tool opened it or tried to
  std::string location;     // where it is plugged in; empty when unknown
  DeviceVersions versions;  // when the tool connected
  std::optional<DeviceInfoValues> region;
  // flash's run: what the core did, and what it means for the user.
  RunOutcome run;
  ExitCode code = ExitCode::kInternal;
  std::string error;   // one line; empty on success
  std::string result;  // for a summary: "CRC Matched", "Program Write Failed", ...
  double seconds = 0;
};

// {"kind": ..., "message": ...}: a failure in every document and entry.
Json ErrorJson(ExitCode code, const std::string& message);

// Sets the device's members in `object`, the same for every command: path, location, versions,
// status, version_line, boxes, region; with `run`, also flash's: packets, step, failed_step,
// verdict, erase_sent, result, seconds.
void AddDeviceJson(Json& object, const DeviceRecord& record, const ViewRecord& shown, bool run);

// A device of flash --all or a board of --watch: after what `entry` holds, flash's members, the
// device's own exit_code and, when it failed, its error.
Json EntryJson(const DeviceRecord& record, const ViewRecord& shown, Json entry = Json::Object());

// What every line of the board log says of the run: the computer, and the firmware file as it was
// read once when the run started.
struct LogFacts {
  std::string host;
  std::string file;
  std::uint64_t file_size = 0;
  std::string file_sha256;
};

// The board log's line (ending in a newline) of a board that ended at `time`: where it sat, what
// was flashed into it and how it ended; `attempts`: how often it was flashed.
std::string LogLine(const DeviceRecord& record, unsigned attempts, const LogFacts& facts, const std::string& time);

}  // namespace fwup::cli
