// The matching rule: the pattern as a subsequence, with its one-way case rule.
#include "device/hardware_id.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace fwup {
namespace {

using test::PrintTo;

struct IdCase {
  const char* name;
  std::u16string id;
  std::uint32_t expected;
};

class MatchHardwareIdTest : public testing::TestWithParam<IdCase> {};

TEST_P(MatchHardwareIdTest, Decides) { EXPECT_EQ(MatchHardwareId(GetParam().id), GetParam().expected); }

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Ids, MatchHardwareIdTest,
    testing::Values(
        IdCase{"UpperCaseId", u"HID\\VID_7E51&PID_0A3D&REV_0100", 1},
        IdCase{"LowerCaseVAndP", u"hid\\vid_7e51&pid_0a3d&rev_0100", 0},
        IdCase{"LowerCaseVOnly", u"HID\\vID_7E51&PID_0A3D", 0}, IdCase{"PatternItself", u"Vid_7e51&Pid_0a3d", 1},
        IdCase{"CharactersBetween", u"xVxixdx_x7xex5x1x&xPxixdx_x0xax3xdx", 1},
        IdCase{"PatternTwice", u"VID_7E51&PID_0A3DVID_7E51&PID_0A3D", 1},
        IdCase{"FirstHalfOnly", u"HID\\VID_7E51&PID_0A3", 0}, IdCase{"OutOfOrder", u"HID\\PID_0A3D&VID_7E51", 0},
        IdCase{"Empty", u"", 0}, IdCase{"DigitZeroStandsForP", u"VID_7E51&0ID_0A3D", 1},  // 0x30 + 32 = 'P'
        IdCase{"QuestionMarkStandsForUnderscore", u"VID?7E51&PID?0A3D", 1},
        IdCase{"WrongDigit", u"HID\\VID_7E52&PID_0A3D", 0}, IdCase{"NulEndsTheString", u"HID\0VID_7E51&PID_0A3D"s, 0},
        IdCase{"AfterTheNul", u"HID\\VID_7E51&PID_0A3D\0junk"s, 1},
        // An 8-bit index would wrap and never end, or compare the wrong characters.
        IdCase{"PatternAfter1000Chars", std::u16string(1000, u'x') + u"VID_7E51&PID_0A3D", 1},
        IdCase{"PatternSpreadPast256", u"VID_7E51" + std::u16string(300, u'x') + u"&PID_0A3D", 1},
        IdCase{"LongWithoutPattern", std::u16string(70000, u'V'), 0}),
    test::ByName());

}  // namespace
}  // namespace fwup
