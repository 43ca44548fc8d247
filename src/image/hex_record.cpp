#include "image/hex_record.hpp"

#include <cstdio>

#include "image/firmware_file.hpp"
#include "image/parse_hex_field.hpp"

namespace fwup {
namespace {

constexpr std::size_t kCountAt = 1;
constexpr std::size_t kAddressAt = 3;
constexpr std::size_t kTypeAt = 7;
constexpr std::size_t kDataAt = 9;
constexpr std::size_t kFixedFields = 11;  // ':', count, address, type, checksum

std::uint32_t Field(std::span<const std::uint8_t> line, std::size_t at, std::size_t length) {
  return ParseHexField(line.subspan(at, length));
}

bool IsHexDigit(std::uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::size_t FirstNonHexDigit(std::span<const std::uint8_t> line, std::size_t from, std::size_t to) {
  for (std::size_t at = from; at < to && at < line.size(); ++at) {
    if (!IsHexDigit(line[at])) return at;
  }
  return 0;
}

}  // namespace

bool HasLoneCarriageReturn(std::span<const std::uint8_t> line) {
  for (std::size_t at = 0; at + 1 < line.size(); ++at) {
    if (line[at] == '\r' && line[at + 1] != '\n') return true;
  }
  return false;
}

std::uint8_t HexRecord::DataByte(std::uint32_t k) const {
  return static_cast<std::uint8_t>(ParseHexField(data_text.subspan(2 * std::size_t{k}, 2)));
}

HexRecord DecodeRecord(std::span<const std::uint8_t> line) {
  HexRecord record;
  record.starts_with_colon = !line.empty() && line[0] == ':';
  record.bad_digit_at = FirstNonHexDigit(line, kCountAt, kDataAt);
  if (line.size() < kDataAt) return record;  // not even the count, address and type

  record.count = Field(line, kCountAt, 2);
  record.address = Field(line, kAddressAt, 4);
  record.type = Field(line, kTypeAt, 2);
  const std::uint64_t needed = kFixedFields + 2 * std::uint64_t{record.count};
  if (line.size() < needed) return record;
  // Fits: the line is at least this long.
  if (record.bad_digit_at == 0) record.bad_digit_at = FirstNonHexDigit(line, kDataAt, static_cast<std::size_t>(needed));

  record.complete = true;
  record.data_text = line.subspan(kDataAt, 2 * std::size_t{record.count});
  record.checksum = Field(line, kDataAt + record.data_text.size(), 2);
  // Count, the two address bytes, type and the data bytes, each from its two characters.
  std::uint32_t sum = 0;
  for (std::size_t at = kCountAt; at < kDataAt + record.data_text.size(); at += 2) sum += Field(line, at, 2);
  record.expected_checksum = (256 - sum % 256) % 256;
  return record;
}

std::string DescribeDefect(const HexRecord& record, std::span<const std::uint8_t> line, const LineContext& context) {
  std::size_t line_length = line.size();
  while (line_length > 0 && (line[line_length - 1] == '\n' || line[line_length - 1] == '\r')) --line_length;
  char text[200];
  if (HasLoneCarriageReturn(line)) {
    std::snprintf(text, sizeof text, "its lines end in CR alone; save the file with CR LF line ends");
  } else if (context.continues_longer_line || (context.without_line_feed && line.size() == kLinePieceLimit)) {
    std::snprintf(text, sizeof text,
                  "line longer than %zu characters (a record holds at most 123 data bytes); the rest of the line is "
                  "read as a line of its own",
                  kLinePieceLimit);
  } else if (context.after_short_signature_line) {
    std::snprintf(text, sizeof text,
                  "the signature line does not end in CR LF, so this record lost its first character; save the file "
                  "with CR LF line ends");
  } else if (line_length == 0 || (line_length <= 2 && !record.starts_with_colon)) {
    std::snprintf(text, sizeof text, "blank line");
  } else if (!record.starts_with_colon) {
    std::snprintf(text, sizeof text, "line does not begin with ':'");
  } else if (!record.complete) {
    std::snprintf(text, sizeof text, "record too short: %zu characters where its count calls for %llu", line_length,
                  11ull + 2ull * record.count);
  } else if (record.bad_digit_at != 0) {
    const std::uint8_t c = line[record.bad_digit_at];
    if (c == ' ') {
      std::snprintf(text, sizeof text, "a space at column %zu is not a hex digit", record.bad_digit_at + 1);
    } else if (c > ' ' && c < 0x7F) {
      std::snprintf(text, sizeof text, "'%c' at column %zu is not a hex digit", static_cast<char>(c),
                    record.bad_digit_at + 1);
    } else {
      std::snprintf(text, sizeof text, "byte 0x%02X at column %zu is not a hex digit", static_cast<unsigned>(c),
                    record.bad_digit_at + 1);
    }
  } else {
    std::snprintf(text, sizeof text, "checksum %02X, record sums to %02X", record.checksum & 0xFFu,
                  (256u - record.expected_checksum) % 256u);
  }
  return text;
}

}  // namespace fwup
