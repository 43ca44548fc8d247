#include "cli/flash/flash_device.hpp"

#include <chrono>
#include <memory>
#include <tuple>
#include <utility>

#include "cli/display/text.hpp"
#include "cli/flash/stop_request.hpp"
#include "upgrade/load_firmware_image.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::cli {
namespace {

constexpr const char* kRunAgain = "check the connection and run flash again";

// What a run that stopped before its erase left: the device as it was, or, after an earlier
// attempt's erase, a device without an application.
std::string Untouched(const FlashSettings& settings) {
  return settings.erased_before ? "an earlier attempt erased the board, so it holds no application"
                                : "nothing was erased";
}

// The shell's own check after the file is loaded and before anything is erased: why the erase is
// refused, or nothing. What is programmed is the image parsed from the bytes checked.
std::string EraseRefusal(const CheckedFile& file, const FlashSettings& settings, const Firmware& firmware,
                         const DeviceInfoValues& info, DeviceView& view) {
  const std::uint32_t start = info.ApplicationFirmwareStartAddress;
  const std::uint32_t size = info.ApplicationFirmwareSize;
  const Coverage coverage = CoverageOf(firmware.load_report.written, start, size);
  if (coverage.inside == 0 && !settings.force) {
    return DescribeNoCoverage(file.path, start, size) + "; " + Untouched(settings);
  }
  if (coverage.outside > 0) {
    view.Note("note: " + std::to_string(coverage.outside) +
              " bytes of the file lie outside the device's application region " + RegionText(start, size) +
              " and are not programmed");
  }
  return {};
}

// Where a stop left the device, said plainly.
std::string DescribeStop(const RunOutcome& run, const FlashSettings& settings) {
  if (!run.erase_sent) {
    return "stopped before the erase: " + (settings.erased_before ? Untouched(settings) : "the device is unchanged") +
           " and stays in Firmware Upgrade Mode";
  }
  switch (run.verdict) {
    case Verdict::Match:
      return "stopped after the device confirmed the new firmware (CRC Matched), before the reset: the firmware is "
             "in; power the device off and on to start it";
    case Verdict::Mismatch:
      return "stopped after the device judged the programmed firmware wrong (CRC Not Matched), before the reset: "
             "the device stays in Firmware Upgrade Mode; flash it again";
    case Verdict::NoVerdict:
      return "stopped after the device answered the checksum request without a verdict, before the reset: the "
             "firmware is not confirmed; flash it again";
    case Verdict::None:
      break;
  }
  return "stopped after the erase: the device holds no application and stays in Firmware Upgrade Mode; flash it "
         "again";
}

// The text of the box the run ended with as the first words of a line: "Checking Device Active
// Read Failed".
std::string Said(const RunOutcome& run) {
  std::string text = run.box ? OneLine(run.box->text) : std::string();
  return text.erase(text.find_last_not_of(' ') + 1);
}

// What a failed transfer of each step means for the device, for the line "BOX: WHAT (TRANSFER);
// LEFT: check the connection and run flash again".
struct StepFailure {
  RunStep step;
  const char* what;
  const char* left;  // the state the device was left in
};
constexpr StepFailure kStepFailures[] = {
    {RunStep::DeviceInfo, "the device did not tell its application region", "nothing was erased"},
    {RunStep::Erase, "the erase request could not be sent", "the device stays in Firmware Upgrade Mode"},
    {RunStep::ActiveCheck, "the device did not answer after the erase", "it holds no application now"},
    {RunStep::ProgramWrite, "could not be sent", "the application is incomplete"},
    {RunStep::ProgramEnd, "the end of programming could not be sent", "the application is not verified"},
    {RunStep::CrcSend, "the checksum request could not be sent", "the application is written but not verified"},
    {RunStep::CrcResponse, "the device did not answer the checksum request",
     "the application is written but not verified"},
};

// The run's exit code and error line; its result for a summary goes into `outcome`.
std::pair<ExitCode, std::string> Classify(const Session& session, const FlashSettings& settings,
                                          const std::string& refusal, DeviceRecord& outcome) {
  const RunOutcome& run = session.outcome;
  const std::string tx = TransferText(run.failed_transfer);
  const std::string said = Said(run);
  outcome.result = said;
  for (const StepFailure& failure : kStepFailures) {
    if (failure.step != run.step || (run.step == RunStep::DeviceInfo && run.failed_transfer.ok)) continue;
    std::string what = failure.what;
    if (run.step == RunStep::ProgramWrite) {
      const std::uint32_t address =
          session.DeviceInfo.ApplicationFirmwareStartAddress + run.packets_sent * session.DeviceInfo.PacketDataSize;
      what = "packet " + std::to_string(run.packets_sent + 1) + " at " + Hex(address) + " " + what;
    }
    const std::string left = settings.erased_before && !run.erase_sent ? Untouched(settings) : failure.left;
    return {ExitCode::kDeviceFailure, said + ": " + what + " (" + tx + "); " + left + ": " + kRunAgain};
  }
  switch (run.step) {
    case RunStep::DeviceInfo:
      return {ExitCode::kDeviceFailure, "the device reported an application region outside the 64 KiB image (" + said +
                                            "); " + Untouched(settings) +
                                            ": this tool does not know the device's boot loader"};
    case RunStep::Refused:
      outcome.result = "Not Flashed";
      return {ExitCode::kFileRefused, refusal};
    case RunStep::Interrupted:
      outcome.result = "Interrupted";
      return {ExitCode::kInterrupted, DescribeStop(run, settings)};
    case RunStep::Reset:
    case RunStep::Done:
      break;
    default:  // NotRun, LoadImage (the file was accepted before); the failed transfers are in the table above
      return {ExitCode::kInternal, "the upgrade did not run"};
  }

  const bool reset_failed = run.step == RunStep::Reset;
  const std::string reset_note =
      reset_failed ? "; then the reset request could not be sent (" + tx + "): unplug the device and plug it in again"
                   : std::string();
  switch (run.verdict) {
    case Verdict::Match:
      outcome.result = reset_failed ? "Reset Command Failed" : "CRC Matched";
      if (!reset_failed) return {ExitCode::kSuccess, ""};
      return {ExitCode::kDeviceFailure,
              "Reset Command Failed: the device confirmed the new firmware (CRC Matched), but the reset request could "
              "not be sent (" +
                  tx + "): the firmware is in, but the device did not restart; power it off and on to start it"};
    case Verdict::Mismatch:
      outcome.result = "CRC Not Matched";
      return {ExitCode::kMismatch,
              "CRC Not Matched: the device's checksum of its application region differs from the file's, so the new "
              "firmware is not usable" +
                  reset_note + "; run flash again, and if it fails again check that the file is made for this device"};
    default: {
      const auto [code, verdict] = run.crc_answer.value_or(std::pair<std::uint8_t, std::uint8_t>{});
      const std::vector<std::string> lines = run.box ? Lines(run.box->text) : std::vector<std::string>{};
      outcome.result = lines.empty() ? "No Verdict" : lines.front();
      return {ExitCode::kNoVerdict, "the device answered the checksum request without a verdict (answer code " +
                                        Hex(code, 2) + ", verdict byte " + Hex(verdict, 2) +
                                        "), so the new firmware is not confirmed" + reset_note +
                                        "; run flash again, or check the device's boot loader"};
    }
  }
}

}  // namespace

DeviceRecord FlashDevice(HidBus& bus, const CheckedFile& file, const FlashSettings& settings, DeviceView& view) {
  const auto started = std::chrono::steady_clock::now();
  DeviceRecord outcome;
  if (settings.stoppable && StopRequested()) {
    outcome.code = ExitCode::kInterrupted;
    outcome.error = "stopped before connecting: no device was touched";
    outcome.result = "Interrupted";
    outcome.path = settings.only.value_or("");
    return outcome;
  }
  auto session = std::make_unique<Session>(bus, view, view);  // holds a 64 KiB image
  session->settings.only = settings.only;
  if (settings.stoppable) session->settings.stop_requested = StopRequested;

  if (ConnectAsDialog(*session, settings.access_denied_advice, outcome)) {
    std::string refusal;
    session->firmware.ImagePath = file.path;
    // The file was parsed before any device was touched; the run shows it as the dialog does.
    session->hooks.load_image = [&file](Firmware& firmware, Shown& shown) {
      firmware.FirmwareImage = file.image;
      firmware.load_report = file.report;
      return ShowLoad(file.report, shown.view, shown.trace);
    };
    session->hooks.approve_erase = [&](const Firmware& firmware, const DeviceInfoValues& info) {
      refusal = EraseRefusal(file, settings, firmware, info, view);
      return refusal.empty();
    };
    RunUpgrade(*session);
    outcome.run = session->outcome;
    if (session->outcome.step != RunStep::DeviceInfo) outcome.region = session->DeviceInfo;
    std::tie(outcome.code, outcome.error) = Classify(*session, settings, refusal, outcome);
  } else if (settings.erased_before) {
    outcome.error += "; " + Untouched(settings);
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return outcome;
}

DeviceRecord FlashDeviceBeside(HidBus& bus, const CheckedFile& file, const FlashSettings& settings, DeviceView& view) {
  DeviceRecord record;
  try {
    record = FlashDevice(bus, file, settings, view);
  } catch (const std::exception& failure) {
    record.code = ExitCode::kInternal;
    record.error = failure.what();
    record.result = "Internal Error";
  }
  if (record.path.empty()) record.path = settings.only.value_or("");
  return record;
}

}  // namespace fwup::cli
