// The simulated boot loader: flash that erases to 0xFF and programs by clearing bits, a verdict
// from its own memory, faults by name and by position, and the wire log.
#include <gtest/gtest.h>

#include "sim/boot_loader.hpp"
#include "sim/fault.hpp"
#include "sim/wire_log.hpp"
#include "support/test_support.hpp"

namespace fwup::test {
namespace {

using sim::BootLoader;

BootReport Packet(std::uint32_t address, std::vector<std::uint8_t> data) {
  BootReport report{};
  SetProgramWrite(report, address, data);
  return report;
}

sim::BootLoaderConfig SmallRegion() {
  sim::BootLoaderConfig config;
  config.region_start = 0x100;
  config.region_size = 4;
  return config;
}

TEST(SimBootLoader, ProgrammingOnlyClearsBitsUntilErased) {
  BootLoader device(SmallRegion());
  device.FillMemory(0x0F);
  device.Write(Packet(0x100, {0xF5}));
  EXPECT_EQ(device.Memory()[0x100], 0x05);
  device.Write(Report(0x04));
  EXPECT_EQ(device.Memory()[0x100], 0xFF);
  EXPECT_EQ(device.Memory()[0x0FF], 0x0F);  // outside the region
  device.Write(Packet(0x100, {0xF5}));
  EXPECT_EQ(device.Memory()[0x100], 0xF5);
}

TEST(SimBootLoader, JudgesTheChecksumAgainstItsMemory) {
  BootLoader device(SmallRegion());
  device.Write(Report(0x04));
  device.Write(Packet(0x100, {0x01, 0x02, 0x04, 0x08}));
  BootReport answer{};
  for (const auto& [checksum, verdict] : {std::pair{0x0F, 0xFF}, std::pair{0x0E, 0x55}}) {
    device.Write(Report(0x09, {static_cast<std::uint8_t>(checksum)}));
    ASSERT_TRUE(device.Read(answer, std::chrono::milliseconds(1)).ok);
    EXPECT_EQ(answer, Report(0x09, {static_cast<std::uint8_t>(verdict)}));
  }
}

TEST(SimBootLoader, FaultByTransferNumberAndDisconnect) {
  BootLoader device;
  device.AddFault(*sim::ParseFault("fail-write@3:0"));
  device.AddFault(*sim::ParseFault("disconnect@5"));
  BootReport answer{};
  // A look at an empty queue moves nothing and is not counted.
  EXPECT_EQ(device.Read(answer, std::chrono::milliseconds::zero()).last_error, kErrorTimeout);
  EXPECT_TRUE(device.Write(Report(0xAD)).ok);
  EXPECT_TRUE(device.Read(answer, std::chrono::milliseconds(1)).ok);
  const TransferResult third = device.Write(Report(0xAE));
  EXPECT_FALSE(third.ok);
  EXPECT_EQ(third.last_error, 0u);
  EXPECT_FALSE(device.Read(answer, std::chrono::milliseconds(1)).ok);  // nothing was asked
  EXPECT_EQ(device.Write(Report(0xAE)).last_error, kErrorDeviceNotConnected);
  EXPECT_EQ(device.Write(Report(0xAE)).last_error, kErrorDeviceNotConnected);
  EXPECT_EQ(device.Log().size(), 2u);
}

struct FaultText {
  const char* text;
  bool valid;
};

void PrintTo(const FaultText& c, std::ostream* out) { *out << c.text; }

class ParseFaultTest : public testing::TestWithParam<FaultText> {};

TEST_P(ParseFaultTest, AcceptsOnlyWellFormedFaults) {
  std::string why;
  EXPECT_EQ(sim::ParseFault(GetParam().text, &why).has_value(), GetParam().valid) << why;
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseFaultTest,
                         testing::Values(FaultText{"fail-write@12:31", true}, FaultText{"no-answer@crc", true},
                                         FaultText{"fail-read@crc:0", true}, FaultText{"verdict:55", true},
                                         FaultText{"wrong-code@app-version:00", true},
                                         FaultText{"disconnect@program#300", true}, FaultText{"fail-write", false},
                                         FaultText{"bogus@1", false}, FaultText{"verdict:1FF", false},
                                         FaultText{"fail-write@0", false}, FaultText{"fail-read@crc#0", false}));

TEST(WireLog, OneLinePerReport) {
  std::string zeros;
  for (int i = 0; i < 62; ++i) zeros += " 00";
  EXPECT_EQ(sim::FormatWireEntry({sim::Direction::FromDevice, Report(0x09, {0xFF})}), "< 00 09 FF" + zeros);
  EXPECT_EQ(sim::FormatWireEntry({sim::Direction::ToDevice, Report(0xA2, {0, 0x0A})}),
            "> 00 A2 00 0A" + zeros.substr(3));
}

}  // namespace
}  // namespace fwup::test
