#include "upgrade/connect_device.hpp"

#include "device/find_device.hpp"
#include "ports/utf8.hpp"

namespace fwup {
namespace {

// The five bytes of a version text, up to the first zero, from the ANSI code page (Windows-1252,
// the one a Western Windows and Wine use) into UTF-8.
std::string VersionText(const BootReport& answer) {
  static constexpr char16_t kHighHalf[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                             0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string text;
  for (const std::uint8_t byte : ReadBytes(answer, field::kVersionText, field::kVersionTextLength)) {
    if (byte == 0) break;
    AppendUtf8(text, byte >= 0x80 && byte < 0xA0 ? kHighHalf[byte - 0x80] : char16_t{byte});
  }
  return text;
}

}  // namespace

Connected ConnectDevice(HidBus& bus, Connection& connection, const RunSettings& settings, Shown& shown) {
  Connected connected;
  DeviceVersions& versions = connected.versions;
  BootReport request{};
  BootReport answer{};
  const std::optional<HidInterfaceInfo> taken =
      FindDevice({bus, shown.trace, settings.bounds, settings.only}, connection.link, connection.DeviceFound);
  connected.found = connection.DeviceFound != 0;
  if (taken) connected.interface = *taken;
  const DeviceLink& link = connection.link;
  connected.opened = link.WriteHandleOpen() && link.ReadHandleOpen();
  connected.open_error = link.WriteHandleOpen() ? link.ReadOpenError() : link.WriteOpenError();
  if (connection.DeviceFound == 0) {
    shown.view.SetStatusText("Device Not Connected");
    shown.trace.Direct("Device Not Connected\r\n");
    return connected;
  }
  shown.view.SetStatusText("Device Connected and Firmware Upgrade Mode");
  // One version query in ConnectDevice's own zeroed buffers, failed whenever a call returned FALSE;
  // true when its answer was taken into `text`.
  const auto ask = [&](Command command, std::string& text, bool& text_taken) {
    SetCommand(request, command);
    connection.link.DropStaleAnswers(settings.bounds.answer);
    if (!connection.link.Write(request, settings.bounds.write).ok ||
        !connection.link.Read(answer, settings.bounds.answer).ok) {
      shown.view.SetStatusText("Version Query Failed");
      versions.query_failed = true;
      return false;
    }
    if (answer[field::kCode] != CodeOf(command)) return false;
    TraceAnswerDump(shown.trace, answer);
    text = VersionText(answer);
    text_taken = true;
    return true;
  };

  std::string version_line;
  if (ask(Command::CMD_QUERY_APP_VERSION, versions.application, versions.application_taken)) {
    version_line = "Current Application Firmware Version: " + versions.application;
  }
  if (ask(Command::CMD_QUERY_BOOT_VERSION, versions.boot, versions.boot_taken)) {
    shown.view.SetVersionText(version_line + " and Boot Version:" + versions.boot);
  }
  return connected;
}

}  // namespace fwup
