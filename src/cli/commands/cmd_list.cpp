// fwupgrade list: the present HID interfaces in walk order, marking the one the tool would use.
#include <CLI/CLI.hpp>

#include "cli/arguments/command.hpp"
#include "cli/display/text.hpp"
#include "cli/flash/devices.hpp"
#include "device/find_device.hpp"

namespace fwup::cli {
namespace {

void AddOptions(CLI::App& command, Options& options) {
  AddDeviceOptions(command, options, false);
  AddSimulatorOptions(command, options, false);
  AddOutputOptions(command, options, true);
}

ExitCode Run(Context& context) {
  context.devices = DeviceSource::Create(context.options, context.platform);
  const std::vector<HidInterfaceInfo> interfaces = ListInterfaces(context.devices->bus());
  const std::optional<std::string>& only = context.options.path;

  // The walk takes the first interface that matches (at --path, when given).
  std::optional<std::size_t> used;
  std::size_t matching = 0;
  Json list = Json::Array();
  std::vector<std::vector<std::string>> rows = {{"  HARDWARE ID", "LOCATION", "PATH"}};
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    const HidInterfaceInfo& interface = interfaces[i];
    matching += interface.matches ? 1 : 0;
    if (!used && Selected(interface, only)) used = i;
    Json entry = Json::Object();
    entry["hardware_id"] = Utf8(interface.hardware_id);
    entry["path"] = interface.path;
    entry["location"] = interface.location.empty() ? Json() : Json(interface.location);
    entry["matches"] = interface.matches;
    entry["used"] = used == i;
    list.Append(std::move(entry));
    const char* mark = used == i ? "* " : interface.matches ? "+ " : "  ";
    rows.push_back(
        {mark + Utf8(interface.hardware_id), interface.location.empty() ? "-" : interface.location, interface.path});
  }
  context.result["interfaces"] = std::move(list);
  context.result["used"] = used ? Json(interfaces[*used].path) : Json();
  if (context.options.json) return ExitCode::kSuccess;

  std::ostream& out = context.console.out;
  if (interfaces.empty()) {
    out << "No HID interface is present.\n";
    return ExitCode::kSuccess;
  }
  for (const std::string& line : Columns(rows)) out << line << '\n';
  out << interfaces.size() << (interfaces.size() == 1 ? " interface, " : " interfaces, ") << matching
      << " in Firmware Upgrade Mode";
  if (used) out << ". *: the one the tool would use";
  if (matching > 1) out << "; +: another (pick it with --path PATH)";
  out << ".\n";
  if (only && !used) out << "No device in Firmware Upgrade Mode is at '" << *only << "'.\n";
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry ListCommand() {
  return {"list", "List the present HID interfaces in walk order; mark the one the tool would use", AddOptions, Run};
}

}  // namespace fwup::cli
