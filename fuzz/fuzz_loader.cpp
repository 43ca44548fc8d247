// Any bytes as a firmware file: the loader must never read outside what it was given, must
// succeed only with an obeyed end record, and must leave every byte that no data record named
// erased.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "image/parse_firmware.hpp"

namespace {

// Kept out of the coverage feedback: a 64 KiB scan per run would cost most of the run.
__attribute__((no_sanitize("coverage"))) bool OnlyWrittenBytesChanged(const fwup::ImageBuffer& image,
                                                                      const fwup::LoadReport& report) {
  for (std::size_t address = 0; address < fwup::kImageSize; ++address) {
    if (image[address] != fwup::kErasedByte && !report.written[address]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto image = std::make_unique<fwup::ImageBuffer>();
  // A stream on the bytes themselves: what the loader reads, positioned reads included.
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) {
    if (size == 0) return 0;  // fmemopen takes no empty buffer
    std::abort();
  }
  image->fill(fwup::kErasedByte);
  const fwup::LoadReport report = fwup::ParseFirmwareFile(file, *image);
  std::fclose(file);
  if (report.outcome == fwup::LoadOutcome::Loaded && (!report.signature_matched || report.end_record_line < 2)) {
    std::abort();
  }
  if (report.outcome == fwup::LoadOutcome::DefectiveRecord && !report.first_defect) std::abort();
  if (report.first_defect && report.first_defect->line < 2) std::abort();
  if (!OnlyWrittenBytesChanged(*image, report)) std::abort();
  return 0;
}
