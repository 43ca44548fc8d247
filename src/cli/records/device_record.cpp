#include "cli/records/device_record.hpp"

#include "cli/display/terminal_view.hpp"
#include "fwupgrade_version.hpp"
#include "upgrade/outcome_names.hpp"

namespace fwup::cli {
namespace {

// What the device reported when the tool connected; null for a version whose answer was not
// taken.
Json VersionsJson(const DeviceVersions& versions) {
  Json object = Json::Object();
  object["application"] = versions.application_taken ? Json(versions.application) : Json();
  object["boot"] = versions.boot_taken ? Json(versions.boot) : Json();
  return object;
}

// The step that failed or was refused, "connect" when no device could be used; null when none
// did (a verdict, even a wrong one, is not a failed step, and neither is a stop).
Json FailedStep(const DeviceRecord& record) {
  const RunStep step = record.run.step;
  const bool failed = step == RunStep::NotRun
                          ? record.code != ExitCode::kSuccess && record.code != ExitCode::kInterrupted
                          : step != RunStep::Done && step != RunStep::Interrupted;
  if (!failed) return {};
  return step == RunStep::NotRun ? Json("connect") : Json(NameOf(step));
}

Json OrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

}  // namespace

Json ErrorJson(ExitCode code, const std::string& message) {
  Json error = Json::Object();
  error["kind"] = KindOf(code);
  error["message"] = message;
  return error;
}

void AddDeviceJson(Json& object, const DeviceRecord& record, const ViewRecord& shown, bool run) {
  object["path"] = OrNull(record.path);
  object["location"] = OrNull(record.location);
  object["versions"] = VersionsJson(record.versions);
  Json& statuses = object["status"] = Json::Array();
  for (const std::string& status : shown.statuses) statuses.Append(status);
  object["version_line"] = shown.version_text;
  Json& boxes = object["boxes"] = Json::Array();
  for (const Box& box : shown.boxes) {
    Json& entry = boxes.Append(Json::Object());
    entry["caption"] = box.caption;
    entry["text"] = box.text;
  }
  object["region"] = Json();
  if (record.region) {
    object["region"]["start"] = record.region->ApplicationFirmwareStartAddress;
    object["region"]["size"] = record.region->ApplicationFirmwareSize;
  }
  if (!run) return;
  object["packets"]["sent"] = record.run.packets_sent;
  object["packets"]["total"] = shown.progress.total;
  object["step"] = NameOf(record.run.step);
  object["failed_step"] = FailedStep(record);
  object["verdict"] = NameOf(record.run.verdict);
  object["erase_sent"] = record.run.erase_sent;
  object["result"] = record.result;
  object["seconds"] = record.seconds;
}

Json EntryJson(const DeviceRecord& record, const ViewRecord& shown, Json entry) {
  AddDeviceJson(entry, record, shown, true);
  entry["exit_code"] = ToInt(record.code);
  if (record.code != ExitCode::kSuccess) entry["error"] = ErrorJson(record.code, record.error);
  return entry;
}

// The entry's members that a bench needs, between those of the run.
std::string LogLine(const DeviceRecord& record, unsigned attempts, const LogFacts& facts, const std::string& time) {
  Json entry = EntryJson(record, {});
  Json line = Json::Object();
  line["time"] = time;
  line["tool"] = std::string("fwupgrade ").append(kVersion);  // not "..." + temporary: g++ 12 warns falsely
  line["host"] = facts.host;
  for (const char* key : {"location", "path", "versions"}) line[key] = std::move(entry[key]);
  line["file"] = facts.file;
  line["file_size"] = facts.file_size;
  line["file_sha256"] = facts.file_sha256;
  for (const char* key : {"verdict", "failed_step", "result", "exit_code"}) line[key] = std::move(entry[key]);
  line["attempts"] = attempts;
  line["seconds"] = std::move(entry["seconds"]);
  return line.Line();
}

}  // namespace fwup::cli
