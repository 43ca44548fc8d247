#include "firmware_files.hpp"

#include <cstdio>
#include <fstream>

namespace fwup::bench {
namespace {

void PutRecord(std::ofstream& out, std::uint32_t address, std::uint8_t type, const std::uint8_t* data,
               std::size_t count) {
  char text[16];
  std::uint32_t sum = static_cast<std::uint32_t>(count) + (address >> 8 & 0xFF) + (address & 0xFF) + type;
  std::snprintf(text, sizeof text, ":%02zX%04X%02X", count, address & 0xFFFF, type);
  out << text;
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%02X", data[i]);
    out << text;
    sum += data[i];
  }
  std::snprintf(text, sizeof text, "%02X\r\n", (256 - sum % 256) % 256);
  out << text;
}

}  // namespace

std::filesystem::path WriteFirmwareFile(const std::filesystem::path& path, std::uint32_t start,
                                        const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << "TALVORK\r\n";
  for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
    PutRecord(out, static_cast<std::uint32_t>(start + offset), 0x00, bytes.data() + offset,
              std::min<std::size_t>(16, bytes.size() - offset));
  }
  PutRecord(out, 0, 0x01, nullptr, 0);
  return path;
}

std::vector<std::uint8_t> PseudoRandomBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  for (std::uint8_t& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(seed >> 24);
  }
  return bytes;
}

}  // namespace fwup::bench
