// The parts of one run of the tool, by role: the connection to a device (the tool's handles and
// reports), the run's settings, the firmware and its image, where the texts are shown, and what
// the run found. Each stage takes the parts it uses and returns what it found; a Session holds
// one of each, as the dialog's process-wide values do, so that every test and every device of a
// factory bench starts from a fresh state.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "device/boot_report.hpp"
#include "device/device_link.hpp"
#include "device/find_device.hpp"
#include "image/firmware_file.hpp"
#include "image/firmware_image.hpp"
#include "image/parse_firmware.hpp"
#include "ports/hid.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"
#include "upgrade/stage_result.hpp"

namespace fwup {

inline constexpr std::uint32_t kPacketDataSize = kPacketDataCapacity;  // 58, fixed by the tool

// The tool's handles and reports for one device. Their lifetimes are the tool's globals': the
// request report is never cleared, so the bytes of a longer request stay behind a shorter one.
struct Connection {
  std::uint32_t DeviceFound = 0;
  DeviceLink link;  // WriteHandle and ReadHandle
  BootReport RequestReport{};
  BootReport ResponseReport{};
};

// What a shell or a test may change before a run.
struct RunSettings {
  AnswerBounds bounds;
  std::optional<std::string> only;  // the path or location of the interface to pick among several
  // Asked before each request of the upgrade: true ends the run there (Ctrl-C). A transfer in
  // flight is never cut short, and after the erase the device is left as the last request left it.
  std::function<bool()> stop_requested;

  bool StopRequested() const { return stop_requested && stop_requested(); }
};

// Where the run's texts go: the dialog's view, and the debugger's trace with its TraceBuffer.
struct Shown {
  Shown(View& shown_to, Trace& debugger) : view(shown_to), trace(debugger) {}
  View& view;
  Tracer trace;
};

// The firmware file named by the user and the 64 KiB image made from it.
struct Firmware {
  std::filesystem::path ImagePath;
  FirmwareStream FirmwareFile;
  ImageBuffer FirmwareImage{};
  LoadReport load_report;
  std::function<std::uint32_t(const std::filesystem::path&)> probe_file = ProbeFirmwareFile;
};

// The versions the device told when the tool connected, as shown.
struct DeviceVersions {
  std::string application;
  std::string boot;
  bool application_taken = false;
  bool boot_taken = false;
  bool query_failed = false;  // a version query's transfer failed
};

// What connecting found, as the dialog learns it when it starts.
struct Connected {
  bool found = false;            // DeviceFound: a hardware ID matched
  HidInterfaceInfo interface;    // the interface taken: path and location; empty when none was
  bool opened = false;           // both handles opened
  std::uint32_t open_error = 0;  // otherwise, the error of the first handle that did not open
  DeviceVersions versions;
};

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
  std::optional<Box> box;   // the failure or verdict box the run ended with
  // The checksum answer's code and verdict bytes, when one was read.
  std::optional<std::pair<std::uint8_t, std::uint8_t>> crc_answer;
};

// What a shell adds to "Load Image".
struct UpgradeHooks {
  // Puts the firmware in place of loading ImagePath, for a shell that parsed the file before it
  // touched the device; the same texts as LoadFirmwareImage.
  std::function<std::uint32_t(Firmware&, Shown&)> load_image;
  // Asked after the file is loaded and before anything is erased; false stops the run.
  std::function<bool(const Firmware&, const DeviceInfoValues&)> approve_erase;
};

struct Session {
  Session(HidBus& hid_bus, View& view, Trace& trace) : bus(hid_bus), shown(view, trace) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  HidBus& bus;
  Shown shown;
  RunSettings settings;
  UpgradeHooks hooks;
  Connection connection;
  Firmware firmware;
  DeviceInfoValues DeviceInfo;
  DeviceVersions versions;
  RunOutcome outcome;
};

}  // namespace fwup
