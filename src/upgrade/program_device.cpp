#include "upgrade/program_device.hpp"

#include <algorithm>

#include "device/answer_dump.hpp"
#include "upgrade/session.hpp"

namespace fwup {
namespace {

constexpr const char* kCaption = "Firmware Upgrade";
constexpr const char* kDownloadSuccess = "Firmware download Success\r\nPress OK to Reboot!";
constexpr const char* kDownloadFailed = "Firmware download Failed\r\nPress OK to Re-enter Firmware Upgrade";
// The device gave no verdict, so the tool cannot claim success.
constexpr const char* kNoVerdict =
    "Firmware download Not Confirmed\r\nThe device did not confirm the firmware.\r\nPress OK to Reboot!";

class Programmer {
 public:
  explicit Programmer(Session& session) : s_(session) {}

  std::uint32_t Run() {
    const std::uint32_t start = s_.DeviceInfo.ApplicationFirmwareStartAddress;
    const std::uint32_t size = s_.DeviceInfo.ApplicationFirmwareSize;
    // The device info query refuses such a region; this stage reads the region out of the image
    // and must never run past it, whoever filled DeviceInfo.
    if (std::uint64_t{start} + size > kImageSize) return Fail(RunStep::DeviceInfo, "Invalid Application Region");

    if (s_.StopRequested()) return Interrupted();
    s_.view.SetProgress(20);
    s_.view.SetStatusText("Device Erase");
    s_.view.SetProgress(50);
    if (Send(Command::CMD_DEVICE_ERASE) != Sent) return Fail(RunStep::Erase, "Device Erase Command Failed");
    s_.outcome.erase_sent = true;

    // The device answers once the erase is done, and may take no report until then.
    if (s_.StopRequested()) return Interrupted();
    Request(Command::CMD_QUERY_DEVICE_INFO);
    if (!WriteRequest(s_.bounds.after_erase)) {
      s_.trace.Format("Checking Device Active Command Failed \r\n");
      return Fail(RunStep::ActiveCheck, s_.trace.TraceBuffer());
    }
    if (!ReadAnswer(s_.bounds.after_erase)) {
      s_.trace.Format("Checking Device Active Read Failed \r\n");
      return Fail(RunStep::ActiveCheck, s_.trace.TraceBuffer());
    }

    s_.trace.Format("Program Running Successfully\r\n");
    s_.view.SetProgress(60);
    s_.view.SetStatusText("Device Program");
    switch (Program(start, size)) {
      case Sent:
        break;
      case NotSent:
        return Fail(RunStep::ProgramWrite, "Program Write Failed");
      case Stopped:
        return Interrupted();
    }

    s_.view.SetProgress(90);
    if (s_.StopRequested()) return Interrupted();
    if (Send(Command::CMD_PROGRAM_END) != Sent)
      return Fail(RunStep::ProgramEnd, "Program Write Failed", BoxOwner::None);

    s_.view.PrintToStdout("Computing CRC. Please wait...\r\n");
    const std::uint8_t checksum = ImageChecksum(std::span(s_.FirmwareImage).subspan(start, size));
    SetCrcCheck(s_.RequestReport, checksum);
    s_.trace.Format("Image CRC value = %u\r\n", static_cast<unsigned>(checksum));
    if (s_.StopRequested()) return Interrupted();
    s_.link.DropStaleAnswers(s_.bounds.answer);
    if (!WriteRequest()) return Fail(RunStep::CrcSend, "CRC Send Failed", BoxOwner::None);
    if (!ReadAnswer(s_.bounds.answer)) return Fail(RunStep::CrcResponse, "CRC Response Failed", BoxOwner::None);

    TraceAnswerDump(s_.trace, s_.ResponseReport);
    ShowVerdict();

    if (s_.StopRequested()) return Interrupted();
    if (Send(Command::CMD_RESET_DEVICE) != Sent) return Fail(RunStep::Reset, "Reset Command Failed", BoxOwner::None);
    s_.outcome.step = RunStep::Done;
    return kStageSuccess;
  }

 private:
  enum SendResult { Sent, NotSent, Stopped };

  void Request(Command command) {
    SetCommand(s_.RequestReport, command);
    if (command == Command::CMD_QUERY_DEVICE_INFO) s_.link.DropStaleAnswers(s_.bounds.answer);
  }

  bool WriteRequest() { return WriteRequest(s_.bounds.write); }
  bool WriteRequest(std::chrono::milliseconds bound) { return Judge(s_.link.Write(s_.RequestReport, bound)); }
  bool ReadAnswer(std::chrono::milliseconds bound) { return Judge(s_.link.Read(s_.ResponseReport, bound)); }

  // The error-code test; a failure is kept for the shells.
  bool Judge(TransferResult result) {
    if (FailedByErrorCode(result)) {
      s_.outcome.failed_transfer = result;
      return false;
    }
    return true;
  }

  SendResult Send(Command command) {
    Request(command);
    return WriteRequest() ? Sent : NotSent;
  }

  // The region in packets of up to PacketDataSize bytes, back to back, none acknowledged.
  SendResult Program(std::uint32_t start, std::uint32_t size) {
    // 58 whenever the region was reported; a zero here would never end the loop.
    const std::uint32_t per_packet = s_.DeviceInfo.PacketDataSize != 0 ? s_.DeviceInfo.PacketDataSize : kPacketDataSize;
    const std::uint32_t end = start + size;
    const std::uint32_t total = (size + per_packet - 1) / per_packet;
    for (std::uint32_t current = start; current < end;) {
      if (s_.StopRequested()) return Stopped;
      const std::uint32_t n = std::min(per_packet, end - current);
      SetProgramWrite(s_.RequestReport, current, std::span(s_.FirmwareImage).subspan(current, n));
      current += n;
      if (!WriteRequest()) return NotSent;
      ++s_.outcome.packets_sent;
      s_.view.PacketsSent(s_.outcome.packets_sent, total);
    }
    return Sent;
  }

  void ShowVerdict() {
    const std::uint8_t code = s_.ResponseReport[field::kCode];
    const std::uint8_t verdict = s_.ResponseReport[field::kVerdict];
    if (code == CodeOf(Command::CMD_CRC_CHECK) && verdict == kMatchVerdict) {
      s_.outcome.verdict = Verdict::Match;
      s_.trace.Format("CRC Matches\r\n");
      s_.view.SetProgress(100);
      s_.view.SetStatusText("CRC Matched");
      s_.view.ShowBox({kDownloadSuccess, "Message", box_style::kTopmost | box_style::kIconWarning, BoxOwner::Dialog,
                      BoxKind::Verdict});
    } else if (code == CodeOf(Command::CMD_CRC_CHECK) && verdict == kMismatchVerdict) {
      s_.outcome.verdict = Verdict::Mismatch;
      s_.trace.Format("CRC Not Matched\r\n");
      s_.view.SetProgress(100);
      s_.view.SetStatusText("CRC Not Matched");
      s_.view.ShowBox({kDownloadFailed, "Message", box_style::kTopmost | box_style::kIconWarning, BoxOwner::Dialog,
                      BoxKind::Verdict});
    } else {
      s_.outcome.verdict = Verdict::NoVerdict;
      s_.view.ShowBox({kNoVerdict, "Message", box_style::kTopmost | box_style::kIconWarning, BoxOwner::None,
                      BoxKind::Verdict});
    }
  }

  // No box: only a shell asks to stop, and it tells its user where the device was left.
  std::uint32_t Interrupted() {
    s_.outcome.step = RunStep::Interrupted;
    return kErrorFunctionFailed;
  }

  std::uint32_t Fail(RunStep step, std::string text, BoxOwner owner = BoxOwner::Dialog) {
    s_.outcome.step = step;
    s_.view.ShowBox({std::move(text), kCaption, box_style::kOk, owner});
    return kErrorFunctionFailed;
  }

  Session& s_;
};

}  // namespace

std::uint8_t ImageChecksum(std::span<const std::uint8_t> region) {
  std::uint8_t checksum = 0;
  for (const std::uint8_t byte : region) checksum ^= byte;
  return checksum;
}

std::uint32_t ProgramDevice(Session& session) { return Programmer(session).Run(); }

}  // namespace fwup
