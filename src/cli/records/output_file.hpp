// Every file the tool writes goes through here: it is checked before anything is written, then
// written whole or not at all (os::WriteWhole).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fwup::cli {

struct OutputFile {
  std::string path;
  std::string_view what;  // "the image", "the simulated device's memory", ... for messages
};

inline constexpr std::string_view kFirmwareFile = "the firmware file";

// Refuses, with CliError(kOutputFailed) naming the reason, a target that exists and is not a
// regular file, one that cannot be written, one in a folder that cannot be written, and one
// that is one of `inputs`, the files the run reads or keeps (the same file, whatever name it goes
// by). Writes nothing.
void CheckOutputFile(const OutputFile& file, const std::vector<OutputFile>& inputs);

// Checks again, then writes `bytes` whole or not at all; throws CliError(kOutputFailed) with
// the system's reason.
void WriteOutputFile(const OutputFile& file, std::span<const std::uint8_t> bytes,
                     const std::vector<OutputFile>& inputs);

}  // namespace fwup::cli
