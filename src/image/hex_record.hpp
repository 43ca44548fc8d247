// One record line of the firmware file: its fields at their fixed positions, and the checksum
// test. A line shorter than its fields is reported as such and nothing past its end is read.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace fwup {

enum class RecordType : std::uint32_t {
  Data = 0x00,
  EndOfFile = 0x01,
  ExtendedLinearAddress = 0x04,
};

struct HexRecord {
  bool starts_with_colon = false;
  // The line holds every field its count calls for (11 + 2N characters). When it does not, the
  // fields past its end are not decoded and the record must not be obeyed.
  bool complete = false;
  std::uint32_t count = 0;
  std::uint32_t address = 0;
  std::uint32_t type = 0;
  std::uint32_t checksum = 0;               // as written in the line
  std::uint32_t expected_checksum = 0;      // what the other fields call for
  std::span<const std::uint8_t> data_text;  // 2N characters, when complete

  bool ChecksumMatches() const { return complete && checksum == expected_checksum; }
  // Data byte k: the low 8 bits of its two characters' value.
  std::uint8_t DataByte(std::uint32_t k) const;
};

HexRecord DecodeRecord(std::span<const std::uint8_t> line);

// Why a record line was refused, for a user who has to mend the file.
std::string DescribeDefect(const HexRecord& record, std::size_t line_length);

}  // namespace fwup
