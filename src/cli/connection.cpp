#include "cli/connection.hpp"

#include "device/hardware_id.hpp"
#include "ports/utf8.hpp"
#include "upgrade/connect_device.hpp"

namespace fwup::cli {
namespace {


std::string OpenFailure(const Session& session, std::string_view advice) {
  const std::uint32_t error =
      session.link.WriteHandleOpen() ? session.link.ReadOpenError() : session.link.WriteOpenError();
  const std::string found = "the device at '" + session.link.Path() + "' was found but could not be opened";
  if (error == kErrorAccessDenied) return found + ": permission denied; " + std::string(advice);
  return found + " (" + TransferText(TransferResult::Failed(error)) +
         "); unplug it, start it in Firmware Upgrade Mode again and run this again";
}

}  // namespace

std::string TransferText(const TransferResult& result) {
  const std::string code = "error " + std::to_string(result.last_error);
  switch (result.last_error) {
    case kErrorTimeout:
      return "no answer in time, " + code;
    case kErrorDeviceNotConnected:
      return "the device is gone, " + code;
    case kErrorAccessDenied:
      return "access denied, " + code;
    case kErrorInvalidHandle:
      return "the device is not open, " + code;
    case kErrorFileNotFound:
      return "no such device, " + code;
    case kErrorSharingViolation:
      return "another program holds the device, " + code;
    case kErrorGenFailure:
      return "the device did not take it, " + code;
    default:
      return code;
  }
}

std::string NoDeviceText(const std::optional<std::string>& only_path) {
  std::string text(kDeviceNotFoundText);
  if (only_path) return text + ": no device in Firmware Upgrade Mode at '" + *only_path + "'; 'fwupgrade list' shows the paths present";
  return text + ": no HID interface matches " + Utf8(HardwareIdPattern) + "; 'fwupgrade list' shows the ones present";
}

ConnectResult ConnectAsDialog(Session& session, std::string_view access_denied_advice) {
  ConnectDevice(session);
  if (session.DeviceFound == 0) return {ExitCode::kDeviceNotFound, NoDeviceText(session.only_path), "Device Not Found"};
  if (!session.link.WriteHandleOpen() || !session.link.ReadHandleOpen()) {
    ConnectResult result{ExitCode::kDeviceFailure, OpenFailure(session, access_denied_advice), "Cannot Open Device"};
    session.link.Close();
    return result;
  }
  return {};
}

}  // namespace fwup::cli
