// Firmware files written for the benchmarks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace fwup::bench {

// Writes the signature line and 16-byte data records covering `bytes` from `start`, then the end
// record, as a common build tool would. Returns the path.
std::filesystem::path WriteFirmwareFile(const std::filesystem::path& path, std::uint32_t start,
                                        const std::vector<std::uint8_t>& bytes);

std::vector<std::uint8_t> PseudoRandomBytes(std::size_t count, std::uint32_t seed);

}  // namespace fwup::bench
