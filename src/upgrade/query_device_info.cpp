#include "upgrade/query_device_info.hpp"

namespace fwup {
namespace {

std::nullopt_t Fail(Shown& shown, RunOutcome& outcome) {
  outcome.step = RunStep::DeviceInfo;
  outcome.box = Box{shown.trace.TraceBuffer(), "Firmware Upgrade", box_style::kOk, BoxOwner::Dialog};
  shown.view.ShowBox(*outcome.box);
  return std::nullopt;
}

std::nullopt_t FailedTransfer(Shown& shown, RunOutcome& outcome, TransferResult result) {
  outcome.failed_transfer = result;
  shown.trace.Format("Query Device Info Failed\r\n");
  return Fail(shown, outcome);
}

}  // namespace

std::optional<DeviceInfoValues> QueryDeviceInfo(Connection& connection, const RunSettings& settings, ImageBuffer& image,
                                                Shown& shown, RunOutcome& outcome) {
  SetCommand(connection.RequestReport, Command::CMD_QUERY_DEVICE_INFO);
  image.fill(kErasedByte);

  DeviceLink& link = connection.link;
  link.DropStaleAnswers(settings.bounds.answer);
  const TransferResult write = link.Write(connection.RequestReport, settings.bounds.write);
  if (FailedByErrorCode(write)) return FailedTransfer(shown, outcome, write);
  const TransferResult read = link.Read(connection.ResponseReport, settings.bounds.answer);
  // A read that returned FALSE delivered no answer, whatever the last error says: taking the
  // buffer's old bytes for the region would have the device erased and left empty.
  if (!read.ok) return FailedTransfer(shown, outcome, read);

  const std::uint32_t start = ReadU32(connection.ResponseReport, field::kRegionStart);
  const std::uint32_t size = ReadU32(connection.ResponseReport, field::kRegionSize);
  // Programming reads the region out of the 64 KiB image; a region outside it is refused here,
  // before anything is erased.
  if (std::uint64_t{start} + size > kImageSize) {
    shown.trace.Format("Invalid Application Region: start %lu, size %lu\r\n", static_cast<unsigned long>(start),
                       static_cast<unsigned long>(size));
    return Fail(shown, outcome);
  }

  shown.trace.Format("ApplicationFirmwareStartAddress = %lu\r\n", static_cast<unsigned long>(start));
  shown.trace.Format("ApplicationFirmwareSize = %lu\r\n", static_cast<unsigned long>(size));
  return DeviceInfoValues{start, size, kPacketDataSize};
}

}  // namespace fwup
