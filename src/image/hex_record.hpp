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
  // Position in the line of the first field character that is not a hex digit, 0 when there is
  // none. The field decoder gives such a character a value, so its checksum can even pass; the
  // record is refused all the same.
  std::size_t bad_digit_at = 0;

  bool ChecksumMatches() const { return complete && checksum == expected_checksum; }
  // Data byte k: the low 8 bits of its two characters' value.
  std::uint8_t DataByte(std::uint32_t k) const;
};

HexRecord DecodeRecord(std::span<const std::uint8_t> line);

// A CR inside the line, not followed by its LF: the file's lines end in CR alone.
bool HasLoneCarriageReturn(std::span<const std::uint8_t> line);

// How a line was read, for telling why it was refused.
struct LineContext {
  bool continues_longer_line = false;       // a piece after the first 259 characters of a line
  bool without_line_feed = false;           // the piece ends without its LF
  bool after_short_signature_line = false;  // the first record, after a signature line not ended by CR LF
};

// Why a record line was refused, for a user who has to mend the file.
std::string DescribeDefect(const HexRecord& record, std::span<const std::uint8_t> line, const LineContext& context);

}  // namespace fwup
