#include "upgrade/load_firmware_image.hpp"

#include <cstdio>

namespace fwup {
namespace {

// A failure the user must see before the dialog goes: traced, and shown in a box owned by it.
std::uint32_t FailWithBox(View& view, Tracer& trace, const std::string& text) {
  trace.Format("%s\r\n", text.c_str());
  view.ShowBox({trace.TraceBuffer(), "Firmware Upgrade", box_style::kOk, BoxOwner::Dialog});
  return kErrorFunctionFailed;
}

}  // namespace

std::string RefusalText(const LoadReport& report) {
  char text[64];
  switch (report.outcome) {
    case LoadOutcome::ProbeFailed:
      std::snprintf(text, sizeof text, "Could n't get File Handle = %lu",
                    static_cast<unsigned long>(report.error_code));
      return text;
    case LoadOutcome::OpenFailed:
      std::snprintf(text, sizeof text, "Error in File Open err = %lu", static_cast<unsigned long>(report.error_code));
      return text;
    case LoadOutcome::BadSignature:
      return "Invalid Firmware Signature";
    case LoadOutcome::EmptyFile:
      return "Invalid Firmware File: Empty";
    case LoadOutcome::ReadError:
      return "Firmware File Read Error";
    case LoadOutcome::DefectiveRecord:
      std::snprintf(text, sizeof text, "Invalid Firmware Record at Line %u",
                    report.first_defect ? report.first_defect->line : 0u);
      return text;
    case LoadOutcome::MissingEndRecord:
      return "Invalid Firmware File: No End Record";
    case LoadOutcome::NotRun:
    case LoadOutcome::Loaded:
      break;
  }
  return {};
}

std::uint32_t ShowLoad(const LoadReport& report, View& view, Tracer& trace) {
  if (report.outcome == LoadOutcome::ProbeFailed || report.outcome == LoadOutcome::OpenFailed) {
    return FailWithBox(view, trace, RefusalText(report));
  }
  if (report.signature_matched) {
    view.SetProgress(10);
    view.SetStatusText("Valid Firmware Signature");
    for (unsigned i = 0; i < report.checksum_errors; ++i) trace.Format("Checksum Error\r\n");
  }
  if (report.outcome == LoadOutcome::Loaded) return kStageSuccess;
  // Once the file is open, the status text says it too. The wrong signature is shown in a box
  // as well: the dialog closes right after a refusal, taking its status text with it before
  // anyone could read it.
  view.SetStatusText(RefusalText(report));
  return FailWithBox(view, trace, RefusalText(report));
}

std::uint32_t LoadFirmwareImage(Firmware& firmware, Shown& shown) {
  LoadReport& report = firmware.load_report;
  report = LoadReport{};
  if (const std::uint32_t error = firmware.probe_file(firmware.ImagePath); error != 0) {
    report.outcome = LoadOutcome::ProbeFailed;
    report.error_code = error;
  } else if (const int open_error = firmware.FirmwareFile.Open(firmware.ImagePath); open_error != 0) {
    report.outcome = LoadOutcome::OpenFailed;
    report.error_code = static_cast<std::uint32_t>(open_error);
  } else {
    report = ParseFirmwareFile(firmware.FirmwareFile.Stream(), firmware.FirmwareImage);
  }
  return ShowLoad(report, shown.view, shown.trace);
}

}  // namespace fwup
