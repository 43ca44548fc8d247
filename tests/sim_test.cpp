// The simulated boot loader's flash, which the verdicts of every other test rest on, and the
// faults a test can name.
#include <gtest/gtest.h>

#include "sim/boot_loader.hpp"
#include "sim/fault.hpp"
#include "support/test_support.hpp"

namespace fwup::test {
namespace {

TEST(SimBootLoader, ProgrammingOnlyClearsBitsUntilErased) {
  sim::BootLoader device(RegionConfig(0x100, 4));
  device.FillMemory(0x0F);
  BootReport packet{};
  SetProgramWrite(packet, 0x100, std::vector<std::uint8_t>{0xF5});
  device.Write(packet);
  EXPECT_EQ(device.Memory()[0x100], 0x05);
  device.Write(Report(0x04));
  EXPECT_EQ(device.Memory()[0x100], 0xFF);
  EXPECT_EQ(device.Memory()[0x0FF], 0x0F);  // outside the region
  device.Write(packet);
  EXPECT_EQ(device.Memory()[0x100], 0xF5);
}

TEST(ParseFault, AcceptsOnlyWellFormedFaults) {
  for (const auto& [text, valid] : std::vector<std::pair<const char*, bool>>{{"fail-write@12:31", true},
                                                                             {"no-answer@crc", true},
                                                                             {"fail-read@crc:0", true},
                                                                             {"verdict:55", true},
                                                                             {"wrong-code@app-version:00", true},
                                                                             {"disconnect@program#300", true},
                                                                             {"fail-write", false},
                                                                             {"bogus@1", false},
                                                                             {"verdict:1FF", false},
                                                                             {"fail-write@0", false},
                                                                             {"fail-read@crc#0", false}}) {
    std::string why;
    EXPECT_EQ(sim::ParseFault(text, &why).has_value(), valid) << text << ": " << why;
  }
}

}  // namespace
}  // namespace fwup::test
