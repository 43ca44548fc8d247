#include "image/hex_record.hpp"

#include <cstdio>

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

}  // namespace

std::uint8_t HexRecord::DataByte(std::uint32_t k) const {
  return static_cast<std::uint8_t>(ParseHexField(data_text.subspan(2 * std::size_t{k}, 2)));
}

HexRecord DecodeRecord(std::span<const std::uint8_t> line) {
  HexRecord record;
  record.starts_with_colon = !line.empty() && line[0] == ':';
  if (line.size() < kDataAt) return record;  // not even the count, address and type

  record.count = Field(line, kCountAt, 2);
  record.address = Field(line, kAddressAt, 4);
  record.type = Field(line, kTypeAt, 2);
  const std::uint64_t needed = kFixedFields + 2 * std::uint64_t{record.count};
  if (line.size() < needed) return record;

  record.complete = true;
  record.data_text = line.subspan(kDataAt, 2 * std::size_t{record.count});
  record.checksum = Field(line, kDataAt + record.data_text.size(), 2);
  // Count, the two address bytes, type and the data bytes, each from its two characters.
  std::uint32_t sum = 0;
  for (std::size_t at = kCountAt; at < kDataAt + record.data_text.size(); at += 2) sum += Field(line, at, 2);
  record.expected_checksum = (256 - sum % 256) % 256;
  return record;
}

std::string DescribeDefect(const HexRecord& record, std::size_t line_length) {
  char text[160];
  if (line_length == 0 || (line_length <= 2 && !record.starts_with_colon)) {
    std::snprintf(text, sizeof text, "blank line");
  } else if (!record.starts_with_colon) {
    std::snprintf(text, sizeof text, "line does not begin with ':'");
  } else if (!record.complete) {
    std::snprintf(text, sizeof text, "record too short: %zu characters where its count calls for %llu", line_length,
                  11ull + 2ull * record.count);
  } else {
    std::snprintf(text, sizeof text, "checksum %02X, record sums to %02X", record.checksum & 0xFFu,
                  (256u - record.expected_checksum) % 256u);
  }
  return text;
}

}  // namespace fwup
