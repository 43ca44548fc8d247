// The process-wide values of one run of the tool, held together so that every test and every
// device of a factory bench starts from a fresh state. Their lifetimes and byte-level behaviour
// are those of the tool's globals: RequestReport, for one, is never cleared.
#pragma once

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "device/boot_report.hpp"
#include "device/device_link.hpp"
#include "image/firmware_file.hpp"
#include "image/firmware_image.hpp"
#include "image/parse_firmware.hpp"
#include "ports/hid.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"
#include "upgrade/stage_result.hpp"

namespace fwup {

inline constexpr std::uint32_t kPacketDataSize = kPacketDataCapacity;  // 58, fixed by the tool

struct DeviceInfoValues {
  std::uint32_t ApplicationFirmwareStartAddress = 0;
  std::uint32_t ApplicationFirmwareSize = 0;
  std::uint32_t PacketDataSize = 0;
};

enum class Verdict { None, Match, Mismatch, NoVerdict };

// Where an upgrade run ended, for shells that turn it into an exit status.
enum class RunStep {
  NotRun,
  DeviceInfo,    // QueryDeviceInfo failed
  LoadImage,     // LoadFirmwareImage refused the file
  Refused,       // a shell's own check refused to erase
  Erase,         // E1
  ActiveCheck,   // E2, E3
  ProgramWrite,  // E4
  ProgramEnd,    // E5
  CrcSend,       // E6
  CrcResponse,   // E7
  Reset,         // E8
  Interrupted,   // a stop was asked for; no request was sent after it
  Done,          // the reset was written
};

struct RunOutcome {
  RunStep step = RunStep::NotRun;
  Verdict verdict = Verdict::None;
  TransferResult failed_transfer;  // of the step that failed, when a transfer failed
  std::uint32_t packets_sent = 0;
  bool erase_sent = false;  // from here on the device holds no application until it is programmed
};

class Session {
 public:
  Session(HidBus& hid_bus, View& shown_to, Trace& debugger) : bus(hid_bus), view(shown_to), trace(debugger) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool StopRequested() const { return stop_requested && stop_requested(); }

  HidBus& bus;
  View& view;
  Tracer trace;  // holds TraceBuffer

  // Settings a shell or a test may change before the run.
  AnswerBounds bounds;
  std::optional<std::string> only_path;  // pick this interface among several that match
  std::function<std::uint32_t(const std::filesystem::path&)> probe_file = ProbeFirmwareFile;
  // Puts the firmware in FirmwareImage in place of loading ImagePath, for a shell that parsed
  // the file before it touched the device; the same texts as LoadFirmwareImage.
  std::function<std::uint32_t(Session&)> load_image;
  // Asked after the file is loaded and before anything is erased; false stops the run.
  std::function<bool(const Session&)> approve_erase;
  // Asked before each request of the upgrade: true ends the run there (Ctrl-C). A transfer in
  // flight is never cut short, and after the erase the device is left as the last request left it.
  std::function<bool()> stop_requested;

  // The process-wide values.
  std::uint32_t DeviceFound = 0;
  DeviceLink link;  // WriteHandle and ReadHandle
  BootReport RequestReport{};
  BootReport ResponseReport{};
  ImageBuffer FirmwareImage{};
  FirmwareStream FirmwareFile;
  DeviceInfoValues DeviceInfo;
  std::filesystem::path ImagePath;

  // What happened, for the shells.
  LoadReport load_report;
  RunOutcome outcome;
  std::string app_version;  // as shown, when the answer was taken
  std::string boot_version;
  bool app_version_taken = false;
  bool boot_version_taken = false;
  bool version_query_failed = false;  // a version query's transfer failed
};

}  // namespace fwup
