// A firmware file loaded as the upgrade loads it, but without a device: for check and image,
// and so that flash refuses a bad file before any device is touched.
#pragma once

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <string>

#include "image/firmware_image.hpp"
#include "image/parse_firmware.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"

namespace fwup::cli {

struct CheckedFile {
  std::filesystem::path path;
  bool accepted = false;  // the loader returned 0
  LoadReport report;
  ImageBuffer image{};      // 0xFF where the file sets nothing
  std::string dialog_text;  // what the dialog showed for a refusal: its box or status text
  FirmwareBytes read;       // the file as the one read took it: what was parsed, hashed and logged
};

// Reads the file once and runs the loader over its bytes and a fresh, erased image. The loader's
// texts go to `view` and `trace`. Throws CliError(kFileRefused) for what is no firmware file at
// all: a folder, a FIFO, a device, a file too large to be one.
CheckedFile CheckFirmwareFile(const std::filesystem::path& path, View& view, Trace& trace);

// The addresses a file sets, inside and outside a region.
struct Coverage {
  std::uint32_t inside = 0;
  std::uint32_t outside = 0;
};
Coverage CoverageOf(const std::bitset<kImageSize>& written, std::uint32_t start, std::uint32_t size);

// Why the loader refused the file, and what to do, on one line.
std::string DescribeRefusal(const CheckedFile& file);

// "N bytes lie above the 64 KiB image and are ignored".
std::string AboveImageNote(const CheckedFile& file);

// A file that sets no byte of the region would have the application erased and nothing
// programmed.
std::string DescribeNoCoverage(const std::filesystem::path& path, std::uint32_t start, std::uint32_t size);

}  // namespace fwup::cli
