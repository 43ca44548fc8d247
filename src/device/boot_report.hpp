// The 65-byte report spoken with the boot loader, its command set, and how requests are built
// and answers are read. Byte 0 is the HID report ID (0 in every request), byte 1 the command or
// answer code, bytes 2 to 64 the payload; multi-byte fields are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ports/report.hpp"
#include "ports/trace.hpp"

namespace fwup {

// The complete set of commands the tool sends.
enum class Command : std::uint8_t {
  CMD_QUERY_DEVICE_INFO = 0x02,
  CMD_DEVICE_ERASE = 0x04,
  CMD_PROGRAM_WRITE = 0x05,
  CMD_PROGRAM_END = 0x06,
  CMD_RESET_DEVICE = 0x08,
  CMD_CRC_CHECK = 0x09,
  CMD_APP_READY = 0xA2,
  CMD_QUERY_APP_VERSION = 0xAD,
  CMD_QUERY_BOOT_VERSION = 0xAE,
};

// Offsets of the fields the tool sets or reads.
namespace field {
inline constexpr std::size_t kReportId = 0;
inline constexpr std::size_t kCode = 1;
inline constexpr std::size_t kPacketAddress = 2;  // 4 bytes
inline constexpr std::size_t kPacketCount = 6;
inline constexpr std::size_t kPacketData = 7;
inline constexpr std::size_t kChecksum = 2;     // CMD_CRC_CHECK request
inline constexpr std::size_t kVerdict = 2;      // CMD_CRC_CHECK answer
inline constexpr std::size_t kVersionText = 3;  // 5 bytes
inline constexpr std::size_t kVersionTextLength = 5;
inline constexpr std::size_t kRegionStart = 5;  // 4 bytes
inline constexpr std::size_t kRegionSize = 9;   // 4 bytes
}  // namespace field

// Bytes 7 to 64 of a CMD_PROGRAM_WRITE request.
inline constexpr std::uint32_t kPacketDataCapacity = kReportSize - field::kPacketData;

// The application region that this device model's boot loader reports; the device's own answer
// decides every upgrade, this serves only to check a file without a device.
inline constexpr std::uint32_t kModelRegionStart = 4096;
inline constexpr std::uint32_t kModelRegionSize = 57344;

inline constexpr std::uint8_t kMatchVerdict = 0xFF;
inline constexpr std::uint8_t kMismatchVerdict = 0x55;

constexpr std::uint8_t CodeOf(Command command) { return static_cast<std::uint8_t>(command); }

// Sets bytes 0 and 1 only: every other byte keeps what the buffer held, which is how
// CMD_PROGRAM_END, CMD_CRC_CHECK and CMD_RESET_DEVICE come to carry the bytes of the request
// before them.
void SetCommand(BootReport& report, Command command);

// Builds a CMD_PROGRAM_WRITE request: address, count n and the n data bytes, the rest of the
// data area zeroed. `data` holds 1 to kPacketDataCapacity bytes.
void SetProgramWrite(BootReport& report, std::uint32_t address, std::span<const std::uint8_t> data);

// Bounded little-endian reads of answer fields; a field that would run past the report reads
// as if the missing bytes were 0, so no caller can read outside it.
std::uint32_t ReadU32(std::span<const std::uint8_t> report, std::size_t offset);
std::span<const std::uint8_t> ReadBytes(std::span<const std::uint8_t> report, std::size_t offset, std::size_t length);

// Traces a whole answer, one "Rawdata[i] = 0xHH" line per byte.
void TraceAnswerDump(Tracer& trace, const BootReport& answer);

}  // namespace fwup
