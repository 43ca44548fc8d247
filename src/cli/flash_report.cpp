#include "cli/flash_report.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "upgrade/outcome_names.hpp"

namespace fwup::cli {
namespace {

// The step that failed or was refused; null when none did (a verdict, even a wrong one, is not a
// failed step, and neither is a stop).
Json FailedStep(const DeviceOutcome& outcome) {
  switch (outcome.run.step) {
    case RunStep::NotRun:
      return outcome.code == ExitCode::kSuccess || outcome.code == ExitCode::kInterrupted ? Json() : Json("connect");
    case RunStep::Done:
    case RunStep::Interrupted:
      return Json();
    default:
      return Json(NameOf(outcome.run.step));
  }
}

}  // namespace

Json VersionsJson(bool app_taken, const std::string& app, bool boot_taken, const std::string& boot) {
  Json versions = Json::Object();
  versions["application"] = app_taken ? Json(app) : Json();
  versions["boot"] = boot_taken ? Json(boot) : Json();
  return versions;
}

void AddDeviceJson(Json& object, const DeviceOutcome& outcome, const ViewRecord& record) {
  object["path"] = outcome.path.empty() ? Json() : Json(outcome.path);
  object["versions"] =
      VersionsJson(outcome.app_version_taken, outcome.app_version, outcome.boot_version_taken, outcome.boot_version);
  Json statuses = Json::Array();
  for (const std::string& status : record.statuses) statuses.Append(status);
  object["status"] = std::move(statuses);
  object["version_line"] = record.version_text;
  Json boxes = Json::Array();
  for (const Box& box : record.boxes) {
    Json entry = Json::Object();
    entry["caption"] = box.caption;
    entry["text"] = box.text;
    boxes.Append(std::move(entry));
  }
  object["boxes"] = std::move(boxes);
  if (outcome.region) {
    Json region = Json::Object();
    region["start"] = outcome.region->ApplicationFirmwareStartAddress;
    region["size"] = outcome.region->ApplicationFirmwareSize;
    object["region"] = std::move(region);
  } else {
    object["region"] = Json();
  }
  Json packets = Json::Object();
  packets["sent"] = outcome.run.packets_sent;
  packets["total"] = record.progress.total;
  object["packets"] = std::move(packets);
  object["step"] = NameOf(outcome.run.step);
  object["failed_step"] = FailedStep(outcome);
  object["verdict"] = NameOf(outcome.run.verdict);
  object["erase_sent"] = outcome.run.erase_sent;
  object["result"] = outcome.result;
  object["seconds"] = outcome.seconds;
}

std::string SummaryTable(const std::vector<DeviceOutcome>& outcomes) {
  const std::array<std::string, 5> head = {"PATH", "APPLICATION", "BOOT", "VERDICT", "SECONDS"};
  std::vector<std::array<std::string, 5>> rows;
  for (const DeviceOutcome& outcome : outcomes) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", outcome.seconds);
    rows.push_back({outcome.path, outcome.app_version_taken ? outcome.app_version : "-",
                    outcome.boot_version_taken ? outcome.boot_version : "-", outcome.result, seconds});
  }
  std::array<std::size_t, 5> width{};
  for (std::size_t column = 0; column < head.size(); ++column) {
    width[column] = head[column].size();
    for (const auto& row : rows) width[column] = std::max(width[column], row[column].size());
  }
  std::string table;
  const auto add = [&table, &width](const std::array<std::string, 5>& row) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      const std::size_t pad = width[column] - row[column].size();
      if (column + 1 == row.size()) {
        table += std::string(pad, ' ') + row[column];  // seconds, right-aligned
      } else {
        table += row[column] + std::string(pad + 2, ' ');
      }
    }
    table += '\n';
  };
  add(head);
  for (const auto& row : rows) add(row);
  return table;
}

}  // namespace fwup::cli
