#include "upgrade/query_device_info.hpp"

#include <algorithm>

#include "upgrade/session.hpp"

namespace fwup {
namespace {

std::uint32_t Fail(Session& session) {
  session.outcome.step = RunStep::DeviceInfo;
  session.view.ShowBox({session.trace.TraceBuffer(), "Firmware Upgrade", box_style::kOk, BoxOwner::Dialog});
  return kErrorFunctionFailed;
}

std::uint32_t FailedTransfer(Session& session, TransferResult result) {
  session.outcome.failed_transfer = result;
  session.trace.Format("Query Device Info Failed\r\n");
  return Fail(session);
}

}  // namespace

std::uint32_t QueryDeviceInfo(Session& session) {
  SetCommand(session.RequestReport, Command::CMD_QUERY_DEVICE_INFO);
  session.FirmwareImage.fill(kErasedByte);

  session.link.DropStaleAnswers(session.bounds.answer);
  const TransferResult write = session.link.Write(session.RequestReport, session.bounds.write);
  if (FailedByErrorCode(write)) return FailedTransfer(session, write);
  const TransferResult read = session.link.Read(session.ResponseReport, session.bounds.answer);
  // A read that returned FALSE delivered no answer, whatever the last error says: taking the
  // buffer's old bytes for the region would have the device erased and left empty.
  if (!read.ok) return FailedTransfer(session, read);

  const std::uint32_t start = ReadU32(session.ResponseReport, field::kRegionStart);
  const std::uint32_t size = ReadU32(session.ResponseReport, field::kRegionSize);
  // Programming reads the region out of the 64 KiB image; a region outside it is refused here,
  // before anything is erased.
  if (std::uint64_t{start} + size > kImageSize) {
    session.trace.Format("Invalid Application Region: start %lu, size %lu\r\n", static_cast<unsigned long>(start),
                         static_cast<unsigned long>(size));
    return Fail(session);
  }

  session.DeviceInfo.ApplicationFirmwareStartAddress = start;
  session.trace.Format("ApplicationFirmwareStartAddress = %lu\r\n", static_cast<unsigned long>(start));
  session.DeviceInfo.ApplicationFirmwareSize = size;
  session.trace.Format("ApplicationFirmwareSize = %lu\r\n", static_cast<unsigned long>(size));
  session.DeviceInfo.PacketDataSize = kPacketDataSize;
  return kStageSuccess;
}

}  // namespace fwup
