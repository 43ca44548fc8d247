// Any answer bytes from the device, for the ready, version, device info and checksum answers:
// a whole connection and upgrade must hold the tool's promises whatever comes back. Nothing is
// erased for a region outside the image, no packet leaves the region, and success is shown only
// for the match verdict.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "sim/sim_bus.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/session.hpp"
#include "upgrade/upgrade_run.hpp"

namespace {

using fwup::BootReport;
using fwup::Command;

// Every read gets the next 65 bytes of the input (zeros once it is used up).
struct Script {
  std::span<const std::uint8_t> answers;
  std::vector<BootReport> written;
  unsigned reads = 0;
};

class ScriptedLink : public fwup::HidLink {
 public:
  ScriptedLink(Script& script, bool reads) : script_(script), reads_(reads) {}
  fwup::TransferResult Write(const BootReport& report, std::chrono::milliseconds) override {
    if (reads_) std::abort();
    script_.written.push_back(report);
    return fwup::TransferResult::Done();
  }
  fwup::TransferResult Read(BootReport& report, std::chrono::milliseconds bound) override {
    if (!reads_) std::abort();
    if (bound == std::chrono::milliseconds::zero()) return fwup::TransferResult::Failed(fwup::kErrorTimeout);
    report.fill(0);
    const std::size_t offset = std::size_t{script_.reads++} * fwup::kReportSize;
    if (offset < script_.answers.size()) {
      const auto piece = script_.answers.subspan(offset, std::min(fwup::kReportSize, script_.answers.size() - offset));
      std::copy(piece.begin(), piece.end(), report.begin());
    }
    return fwup::TransferResult::Done();
  }

 private:
  Script& script_;
  bool reads_;
};

// The walk finds one interface with the device's ID; every open gets a link that runs the script.
class ScriptedBus : public fwup::sim::SimBus {
 public:
  explicit ScriptedBus(Script& script) : script_(script) {
    Add({std::u16string(fwup::sim::kBootLoaderHardwareId), "fuzz", nullptr});
  }
  fwup::OpenResult Open(const std::string&, fwup::HidAccess access) override {
    return {std::make_unique<ScriptedLink>(script_, access == fwup::HidAccess::Read), 0};
  }

 private:
  Script& script_;
};

class WatchingView : public fwup::fuzz::QuietView {
 public:
  void SetStatusText(std::string_view text) override { matched |= text == "CRC Matched"; }
  void ShowBox(const fwup::Box& box) override { success_box |= box.text.find("Success") != std::string::npos; }
  bool matched = false;
  bool success_box = false;
};

std::string FirmwareFile() {
  const char* dir = std::getenv("FWUP_FUZZ_SCRATCH");
  const std::string path =
      std::string(dir ? dir : "/dev/shm") + "/fwup-fuzz-answers-" + std::to_string(getpid()) + ".hex";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fputs("TALVORK\r\n:0410000001020304E2\r\n:00000001FF\r\n", file);
  std::fclose(file);
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string firmware = FirmwareFile();
  Script script{{data, size}, {}, 0};
  ScriptedBus bus(script);
  WatchingView view;
  fwup::fuzz::QuietTrace trace;
  fwup::Session session(bus, view, trace);
  session.firmware.ImagePath = firmware;

  session.versions = fwup::ConnectDevice(session.bus, session.connection, session.settings, session.shown).versions;
  fwup::RunUpgrade(session);

  // The device info answer is the fourth read.
  BootReport info{};
  if (size > 3 * fwup::kReportSize) {
    const auto piece = std::span(data, size).subspan(3 * fwup::kReportSize);
    std::copy_n(piece.begin(), std::min(piece.size(), fwup::kReportSize), info.begin());
  }
  const std::uint64_t start = fwup::ReadU32(info, 5);
  const std::uint64_t end = start + fwup::ReadU32(info, 9);
  bool erased = false;
  for (const BootReport& request : script.written) {
    if (request[0] != 0) std::abort();
    erased |= request[1] == fwup::CodeOf(Command::CMD_DEVICE_ERASE);
    if (request[1] == fwup::CodeOf(Command::CMD_PROGRAM_WRITE)) {
      const std::uint64_t address = fwup::ReadU32(request, 2);
      if (address < start || address + request[6] > end || request[6] == 0 || request[6] > 58) std::abort();
    }
  }
  if (erased && end > fwup::kImageSize) std::abort();
  const bool match = session.outcome.verdict == fwup::Verdict::Match;
  if (view.matched != match || view.success_box != match) std::abort();
  return 0;
}
