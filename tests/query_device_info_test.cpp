// QueryDeviceInfo: the image is erased first, the region comes from answer bytes 5 to 12, and a
// failed read or a region outside the image stops the run before anything is erased.
#include "upgrade/query_device_info.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

struct InfoRig : Rig {
  explicit InfoRig(sim::BootLoaderConfig config = {}) : Rig(config) {
    Connect(session);
    trace.lines.clear();
    session.firmware.FirmwareImage.fill(0x00);
  }
  bool ImageErased() const {
    return std::all_of(session.firmware.FirmwareImage.begin(), session.firmware.FirmwareImage.end(),
                       [](auto b) { return b == 0xFF; });
  }
};

TEST(QueryDeviceInfo, TakesTheRegionFromBytes5To12) {
  InfoRig rig;
  ASSERT_EQ(QueryInfo(rig.session), 0u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareStartAddress, 4096u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareSize, 57344u);
  EXPECT_EQ(rig.session.DeviceInfo.PacketDataSize, 58u);
  EXPECT_EQ(rig.trace.lines, (std::vector<std::string>{"ApplicationFirmwareStartAddress = 4096\r\n",
                                                       "ApplicationFirmwareSize = 57344\r\n"}));
  EXPECT_TRUE(rig.ImageErased());
  const sim::WireLog log = rig.Log();
  EXPECT_EQ(log[log.size() - 2].report, Report(0x02));
  EXPECT_EQ(log.back().report, Report(0x02, {0, 0, 0, 0x00, 0x10, 0, 0, 0x00, 0xE0, 0, 0}));
}

TEST(QueryDeviceInfo, AnswerCodeIsNotExamined) {
  InfoRig rig(RegionConfig(0x0100, 0x0234));
  rig.AddFault("wrong-code@info:77");
  ASSERT_EQ(QueryInfo(rig.session), 0u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareStartAddress, 0x0100u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareSize, 0x0234u);
}

struct InfoFailure {
  const char* name;
  const char* fault;
  std::uint32_t error;  // of the transfer that failed
};

class FailedQuery : public testing::TestWithParam<InfoFailure> {};

TEST_P(FailedQuery, ShowsItsBoxAndLeavesDeviceInfoZero) {
  InfoRig rig;
  rig.AddFault(GetParam().fault);
  EXPECT_EQ(QueryInfo(rig.session), kFailed);
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{"Query Device Info Failed\r\n"});
  EXPECT_EQ(rig.view.boxes, std::vector<Box>{FailureBox("Query Device Info Failed\r\n")});
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareStartAddress, 0u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareSize, 0u);
  EXPECT_EQ(rig.session.DeviceInfo.PacketDataSize, 0u);
  EXPECT_TRUE(rig.ImageErased());
  EXPECT_EQ(rig.session.outcome.failed_transfer.last_error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedQuery,
    testing::Values(InfoFailure{"WriteFails", "fail-write@info:31", 31},
                    // Counted as written, but nothing reached the device, so its answer never comes.
                    InfoFailure{"WriteFalseZeroThenNoAnswer", "fail-write@info:0", kErrorTimeout},
                    InfoFailure{"ReadFails", "fail-read@info:1167", 1167},
                    InfoFailure{"ReadFalseZero", "fail-read@info:0", 0},
                    InfoFailure{"NoAnswer", "no-answer@info", kErrorTimeout}),
    ByName());

struct RegionCase {
  std::uint32_t start;
  std::uint32_t size;
  bool inside;
};

void PrintTo(const RegionCase& c, std::ostream* out) { *out << c.start << '+' << c.size; }

class ReportedRegion : public testing::TestWithParam<RegionCase> {};

TEST_P(ReportedRegion, OnlyARegionInsideTheImageReachesTheErase) {
  const auto [start, size, inside] = GetParam();
  InfoRig rig(RegionConfig(start, size));
  const TempFile firmware(kSignature + kEndRecord);
  rig.session.firmware.ImagePath = firmware.Path();
  RunUpgrade(rig.session);
  EXPECT_EQ(rig.Device().Counters().erases, inside ? 1u : 0u);
  if (inside) return;
  const std::string text =
      "Invalid Application Region: start " + std::to_string(start) + ", size " + std::to_string(size) + "\r\n";
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{text});
  EXPECT_EQ(rig.view.boxes, std::vector<Box>{FailureBox(text)});
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareStartAddress, 0u);
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareSize, 0u);
  EXPECT_EQ(rig.session.outcome.step, RunStep::DeviceInfo);
  EXPECT_EQ(rig.Log().back().report[1], 0x02);  // the answer was the last thing on the wire
}

INSTANTIATE_TEST_SUITE_P(Regions, ReportedRegion,
                         testing::Values(RegionCase{4096, 61440, true}, RegionCase{0, 65536, true},
                                         RegionCase{65536, 0, true}, RegionCase{4096, 61441, false},
                                         RegionCase{65536, 1, false}, RegionCase{0, 65537, false},
                                         RegionCase{0xFFFFF000u, 0x2000, false},  // wraps to 0x1000 in 32 bits
                                         RegionCase{1, 0xFFFFFFFFu, false}));

}  // namespace
}  // namespace fwup::test
