// ParseHexField: every character counts, hex or not, and the arithmetic wraps at 32 bits.
#include "image/parse_hex_field.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

namespace fwup {
namespace {

std::uint32_t Parse(const std::string& text) {
  return ParseHexField({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

struct FieldCase {
  std::string text;
  std::uint32_t value;
};

void PrintTo(const FieldCase& c, std::ostream* out) {
  *out << '"';
  for (const unsigned char ch : c.text)
    *out << (std::isalnum(ch) ? std::string(1, static_cast<char>(ch)) : "\\" + std::to_string(ch));
  *out << '"';
}

class ParseHexFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(ParseHexFieldTest, Decodes) { EXPECT_EQ(Parse(GetParam().text), GetParam().value) << GetParam().text; }

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(Digits, ParseHexFieldTest,
                         testing::Values(FieldCase{"", 0}, FieldCase{"0", 0}, FieldCase{"9", 9}, FieldCase{"A", 10},
                                         FieldCase{"F", 15}, FieldCase{"a", 10}, FieldCase{"f", 15},
                                         FieldCase{"FF", 255}, FieldCase{"fF", 255}, FieldCase{"1234", 0x1234},
                                         FieldCase{"aBcD", 0xABCD}, FieldCase{"007F", 0x7F},
                                         // Not hex: the byte as a signed value minus 48, modulo 65,536.
                                         FieldCase{"G", 23}, FieldCase{":", 10}, FieldCase{"g", 55},
                                         FieldCase{"G0", 23 * 16}, FieldCase{"\0"s, 65488}, FieldCase{"/", 65535},
                                         FieldCase{" ", 65520}, FieldCase{"\x80", 65360}, FieldCase{"\xFF", 65487},
                                         FieldCase{"1\r", 16 + 65501},
                                         // The weight and the sum wrap at 32 bits.
                                         FieldCase{"100000000", 0}, FieldCase{"123456789", 0x23456789},
                                         FieldCase{"\0\0"s, 65488u * 16u + 65488u}));

TEST(ParseHexField, ReadsExactlyTheCharactersItIsGiven) {
  const std::string text = "12345";
  EXPECT_EQ(ParseHexField({reinterpret_cast<const std::uint8_t*>(text.data()), 2}), 0x12u);
}

}  // namespace
}  // namespace fwup
