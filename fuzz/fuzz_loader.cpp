// Any bytes as a firmware file: the loader must never read outside what it was given, must
// succeed only with an obeyed end record, and must leave every byte that no data record named
// erased.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.hpp"
#include "image/load_firmware_image.hpp"
#include "sim/sim_bus.hpp"
#include "upgrade/session.hpp"

namespace {

std::string ScratchPath() {
  const char* dir = std::getenv("FWUP_FUZZ_SCRATCH");
  return std::string(dir ? dir : "/dev/shm") + "/fwup-fuzz-loader-" + std::to_string(getpid()) + ".hex";
}

// Kept out of the coverage feedback: a 64 KiB scan per run would cost most of the run.
__attribute__((no_sanitize("coverage"))) bool OnlyWrittenBytesChanged(const fwup::Session& session) {
  for (std::size_t address = 0; address < fwup::kImageSize; ++address) {
    if (session.FirmwareImage[address] != fwup::kErasedByte && !session.load_report.written[address]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = ScratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  fwup::sim::SimBus bus;
  fwup::fuzz::QuietView view;
  fwup::fuzz::QuietTrace trace;
  fwup::Session session(bus, view, trace);
  session.ImagePath = path;
  session.FirmwareImage.fill(fwup::kErasedByte);

  const std::uint32_t result = fwup::LoadFirmwareImage(session);
  const fwup::LoadReport& report = session.load_report;
  if ((result == fwup::kStageSuccess) != (report.outcome == fwup::LoadOutcome::Loaded)) std::abort();
  if (result != fwup::kStageSuccess && result != fwup::kErrorFunctionFailed) std::abort();
  if (!OnlyWrittenBytesChanged(session)) std::abort();
  // Records start after the signature line's 9 bytes, even in a file that ends before them.
  if (session.RecordOffset > std::max<std::size_t>(size, 9)) std::abort();
  return 0;
}
