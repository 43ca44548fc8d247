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
  std::string why;
  for (const char* text : {"fail-write@12:31", "no-answer@crc", "fail-read@crc:0", "verdict:55",
                           "wrong-code@app-version:00", "disconnect@program#300"}) {
    EXPECT_TRUE(sim::ParseFault(text, &why)) << text << ": " << why;
  }
  for (const char* text : {"fail-write", "bogus@1", "verdict:1FF", "fail-write@0", "fail-read@crc#0"}) {
    EXPECT_FALSE(sim::ParseFault(text, &why)) << text;
  }
}

}  // namespace
}  // namespace fwup::test
