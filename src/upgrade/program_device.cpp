#include "upgrade/program_device.hpp"

#include <algorithm>

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
  Programmer(Connection& connection, const RunSettings& settings, const ImageBuffer& image,
             const DeviceInfoValues& info, Shown& shown)
      : c_(connection), settings_(settings), image_(image), info_(info), view_(shown.view), trace_(shown.trace) {}

  RunOutcome Run() {
    Stage();
    return outcome_;
  }

 private:
  enum SendResult { Sent, NotSent, Stopped };

  // Each request in turn; the first failure or stop ends it, having set the outcome.
  void Stage() {
    const std::uint32_t start = info_.ApplicationFirmwareStartAddress;
    const std::uint32_t size = info_.ApplicationFirmwareSize;
    // The device info query refuses such a region; this stage reads the region out of the image
    // and must never run past it, whoever filled DeviceInfo.
    if (std::uint64_t{start} + size > kImageSize) return Fail(RunStep::DeviceInfo, "Invalid Application Region");

    if (settings_.StopRequested()) return Interrupted();
    view_.SetProgress(20);
    view_.SetStatusText("Device Erase");
    view_.SetProgress(50);
    if (Send(Command::CMD_DEVICE_ERASE) != Sent) return Fail(RunStep::Erase, "Device Erase Command Failed");
    outcome_.erase_sent = true;

    // The device answers once the erase is done, and may take no report until then.
    if (settings_.StopRequested()) return Interrupted();
    SetCommand(c_.RequestReport, Command::CMD_QUERY_DEVICE_INFO);
    c_.link.DropStaleAnswers(settings_.bounds.answer);
    if (!WriteRequest(settings_.bounds.after_erase)) {
      trace_.Format("Checking Device Active Command Failed \r\n");
      return Fail(RunStep::ActiveCheck, trace_.TraceBuffer());
    }
    if (!ReadAnswer(settings_.bounds.after_erase)) {
      trace_.Format("Checking Device Active Read Failed \r\n");
      return Fail(RunStep::ActiveCheck, trace_.TraceBuffer());
    }

    trace_.Format("Program Running Successfully\r\n");
    view_.SetProgress(60);
    view_.SetStatusText("Device Program");
    switch (Program(start, size)) {
      case Sent:
        break;
      case NotSent:
        return Fail(RunStep::ProgramWrite, "Program Write Failed");
      case Stopped:
        return Interrupted();
    }

    view_.SetProgress(90);
    if (settings_.StopRequested()) return Interrupted();
    if (Send(Command::CMD_PROGRAM_END) != Sent)
      return Fail(RunStep::ProgramEnd, "Program Write Failed", BoxOwner::None);

    view_.PrintToStdout("Computing CRC. Please wait...\r\n");
    std::uint8_t checksum = 0;  // the 8-bit XOR of the region
    for (const std::uint8_t byte : std::span(image_).subspan(start, size)) checksum ^= byte;
    SetCommand(c_.RequestReport, Command::CMD_CRC_CHECK);
    c_.RequestReport[field::kChecksum] = checksum;  // bytes 3 to 64 are kept
    trace_.Format("Image CRC value = %u\r\n", static_cast<unsigned>(checksum));
    if (settings_.StopRequested()) return Interrupted();
    c_.link.DropStaleAnswers(settings_.bounds.answer);
    if (!WriteRequest()) return Fail(RunStep::CrcSend, "CRC Send Failed", BoxOwner::None);
    if (!ReadAnswer(settings_.bounds.answer)) return Fail(RunStep::CrcResponse, "CRC Response Failed", BoxOwner::None);

    TraceAnswerDump(trace_, c_.ResponseReport);
    ShowVerdict();

    if (settings_.StopRequested()) return Interrupted();
    if (Send(Command::CMD_RESET_DEVICE) != Sent) return Fail(RunStep::Reset, "Reset Command Failed", BoxOwner::None);
    outcome_.step = RunStep::Done;
  }

  bool WriteRequest() { return WriteRequest(settings_.bounds.write); }
  bool WriteRequest(std::chrono::milliseconds bound) { return Judge(c_.link.Write(c_.RequestReport, bound)); }
  bool ReadAnswer(std::chrono::milliseconds bound) { return Judge(c_.link.Read(c_.ResponseReport, bound)); }

  // The error-code test; a failure is kept for the shells.
  bool Judge(TransferResult result) {
    if (FailedByErrorCode(result)) {
      outcome_.failed_transfer = result;
      return false;
    }
    return true;
  }

  SendResult Send(Command command) {
    SetCommand(c_.RequestReport, command);
    return WriteRequest() ? Sent : NotSent;
  }

  // The region in packets of up to PacketDataSize bytes, back to back, none acknowledged.
  SendResult Program(std::uint32_t start, std::uint32_t size) {
    // 58 whenever the region was reported; a zero here would never end the loop.
    const std::uint32_t per_packet = info_.PacketDataSize != 0 ? info_.PacketDataSize : kPacketDataSize;
    const std::uint32_t end = start + size;
    const std::uint32_t total = (size + per_packet - 1) / per_packet;
    for (std::uint32_t current = start; current < end;) {
      if (settings_.StopRequested()) return Stopped;
      const std::uint32_t n = std::min(per_packet, end - current);
      SetProgramWrite(c_.RequestReport, current, std::span(image_).subspan(current, n));
      current += n;
      if (!WriteRequest()) return NotSent;
      ++outcome_.packets_sent;
      view_.PacketsSent(outcome_.packets_sent, total);
    }
    return Sent;
  }

  void ShowVerdict() {
    const std::uint8_t code = c_.ResponseReport[field::kCode];
    const std::uint8_t verdict = c_.ResponseReport[field::kVerdict];
    outcome_.crc_answer = {code, verdict};
    const bool match = verdict == kMatchVerdict;
    if (code != CodeOf(Command::CMD_CRC_CHECK) || (!match && verdict != kMismatchVerdict)) {
      outcome_.verdict = Verdict::NoVerdict;
      return ShowVerdictBox(kNoVerdict, BoxOwner::None);
    }
    outcome_.verdict = match ? Verdict::Match : Verdict::Mismatch;
    trace_.Format(match ? "CRC Matches\r\n" : "CRC Not Matched\r\n");
    view_.SetProgress(100);
    view_.SetStatusText(match ? "CRC Matched" : "CRC Not Matched");
    ShowVerdictBox(match ? kDownloadSuccess : kDownloadFailed, BoxOwner::Dialog);
  }

  // The three verdicts share the caption and style of the tool's verdict box.
  void ShowVerdictBox(const char* text, BoxOwner owner) {
    Show({text, "Message", box_style::kTopmost | box_style::kIconWarning, owner, BoxKind::Verdict});
  }

  void Show(Box box) {
    outcome_.box = box;
    view_.ShowBox(box);
  }

  // No box: only a shell asks to stop, and it tells its user where the device was left.
  void Interrupted() { outcome_.step = RunStep::Interrupted; }

  void Fail(RunStep step, std::string text, BoxOwner owner = BoxOwner::Dialog) {
    outcome_.step = step;
    Show({std::move(text), kCaption, box_style::kOk, owner});
  }

  Connection& c_;
  const RunSettings& settings_;
  const ImageBuffer& image_;
  const DeviceInfoValues& info_;
  View& view_;
  Tracer& trace_;
  RunOutcome outcome_;
};

}  // namespace

RunOutcome ProgramDevice(Connection& connection, const RunSettings& settings, const ImageBuffer& image,
                         const DeviceInfoValues& info, Shown& shown) {
  return Programmer(connection, settings, image, info, shown).Run();
}

}  // namespace fwup
