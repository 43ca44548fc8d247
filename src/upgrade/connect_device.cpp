#include "upgrade/connect_device.hpp"

#include "device/answer_dump.hpp"
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

enum class Query { Failed, WrongCode, Taken };

// One version query in ConnectDevice's own zeroed buffers, judged by the result test.
Query AskVersion(DeviceLink& link, const AnswerBounds& bounds, Tracer& trace, BootReport& request, BootReport& answer,
                 Command command) {
  SetCommand(request, command);
  link.DropStaleAnswers(bounds.answer);
  if (FailedByResult(link.Write(request, bounds.write))) return Query::Failed;
  if (FailedByResult(link.Read(answer, bounds.answer))) return Query::Failed;
  if (answer[field::kCode] != CodeOf(command)) return Query::WrongCode;
  TraceAnswerDump(trace, answer);
  return Query::Taken;
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
  const auto ask = [&](Command command) {
    return AskVersion(connection.link, settings.bounds, shown.trace, request, answer, command);
  };

  std::string version_line;
  switch (ask(Command::CMD_QUERY_APP_VERSION)) {
    case Query::Failed:
      shown.view.SetStatusText("Version Query Failed");
      versions.query_failed = true;
      break;
    case Query::WrongCode:
      break;
    case Query::Taken:
      versions.application = VersionText(answer);
      versions.application_taken = true;
      version_line = "Current Application Firmware Version: " + versions.application;
      break;
  }

  switch (ask(Command::CMD_QUERY_BOOT_VERSION)) {
    case Query::Failed:
      shown.view.SetStatusText("Version Query Failed");
      versions.query_failed = true;
      break;
    case Query::WrongCode:
      break;
    case Query::Taken:
      versions.boot = VersionText(answer);
      versions.boot_taken = true;
      version_line += " and Boot Version:" + versions.boot;
      shown.view.SetVersionText(version_line);
      break;
  }
  return connected;
}

}  // namespace fwup
