// Start-up and the first stage: the two version queries judged by the result test, what the
// dialog shows of them, and the region from the device info answer that alone decides an erase.
// The bytes of each request and answer are held by the wire transcripts.
#include <gtest/gtest.h>

#include "support/test_support.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

const std::string kConnected = "Device Connected and Firmware Upgrade Mode";
const std::string kQueryFailed = "Version Query Failed";
const std::string kAppLine = "Current Application Firmware Version: 3.1.4";
const std::string kBootOnly = " and Boot Version:0.9.2";

sim::BootLoaderConfig Versions() {
  sim::BootLoaderConfig config;
  config.app_version = {'3', '.', '1', '.', '4'};
  config.boot_version = {'0', '.', '9', '.', '2'};
  return config;
}

TEST(ConnectDevice, VersionTextEndsAtTheFirstZeroByte) {
  for (const auto& [bytes, text] : std::vector<std::pair<std::array<std::uint8_t, 5>, std::string>>{
           {{'V', '1', '.', '2', '3'}, "V1.23"}, {{'1', '.', '2', 0, 'x'}, "1.2"}, {{0, '1', '2', '3', '4'}, ""}}) {
    sim::BootLoaderConfig config = Versions();
    config.app_version = bytes;
    Rig rig(config);
    Connect(rig.session);
    EXPECT_EQ(rig.view.versions, std::vector<std::string>{"Current Application Firmware Version: " + text + kBootOnly});
  }
}

// A version text comes in the ANSI code page of a Western Windows: 0x80 to 0x9F are its own
// characters, the rest Latin-1.
TEST(ConnectDevice, VersionTextIsReadAsWindows1252) {
  const std::vector<std::string> texts = {"€\u0081‚ƒ„", "…†‡ˆ‰",      "Š‹Œ\u008DŽ", "\u008F\u0090‘’“",
                                          "”•–—˜",      "™š›œ\u009D", "žŸ\u00A0¡ÿ"};
  for (std::size_t row = 0; row < texts.size(); ++row) {
    sim::BootLoaderConfig config = Versions();
    for (std::size_t i = 0; i < 5; ++i) config.app_version[i] = static_cast<std::uint8_t>(0x80 + 5 * row + i);
    if (row + 1 == texts.size()) config.app_version[4] = 0xFF;
    Rig rig(config);
    Connect(rig.session);
    EXPECT_EQ(rig.view.versions,
              std::vector<std::string>{"Current Application Firmware Version: " + texts[row] + kBootOnly});
  }
}

// Answers a device still held from before (a run that was cut off) are dropped before the
// greeting, whose answer the trace then shows as on a fresh device.
TEST(ConnectDevice, StaleAnswersAtDiscoveryAreDroppedBeforeTheGreeting) {
  Rig fresh(Versions());
  Connect(fresh.session);
  Rig held(Versions());
  ASSERT_TRUE(held.Device().Write(Report(CodeOf(Command::CMD_CRC_CHECK))).ok);
  Connect(held.session);
  EXPECT_EQ(held.trace.lines, fresh.trace.lines);
  EXPECT_EQ(held.view.versions, fresh.view.versions);
}

struct QueryCase {
  const char* name;
  const char* fault;
  std::vector<std::string> status;
  std::vector<std::string> versions;
  std::vector<int> requests;  // what reached the device
};

class VersionQuery : public testing::TestWithParam<QueryCase> {};

// A failed write is not followed by a read for its answer: a read waits only for a request
// that went out, or for a late answer still owed.
TEST_P(VersionQuery, EndsAsShown) {
  Rig rig(Versions());
  rig.AddFault(GetParam().fault);
  Connect(rig.session);
  EXPECT_EQ(rig.view.status, GetParam().status);
  EXPECT_EQ(rig.view.versions, GetParam().versions);
  std::vector<int> codes;
  for (const BootReport& request : Requests(rig.Log())) codes.push_back(request[1]);
  EXPECT_EQ(codes, GetParam().requests);
  std::size_t waits = 0;
  for (const auto bound : rig.Device().ReadBounds()) waits += bound.count() != 0 ? 1 : 0;
  const bool late = std::string_view(GetParam().fault).starts_with("late-answer");
  EXPECT_EQ(waits, GetParam().requests.size() + (late ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, VersionQuery,
    testing::Values(
        QueryCase{"AppWrongCode", "wrong-code@app-version:AE", {kConnected}, {kBootOnly}, {0xA2, 0xAD, 0xAE}},
        QueryCase{"BootWrongCode", "wrong-code@boot-version:AD", {kConnected}, {}, {0xA2, 0xAD, 0xAE}},
        QueryCase{"AppWriteFails", "fail-write@app-version:31", {kConnected, kQueryFailed}, {kBootOnly}, {0xA2, 0xAE}},
        QueryCase{
            "AppWriteFalseZero", "fail-write@app-version:0", {kConnected, kQueryFailed}, {kBootOnly}, {0xA2, 0xAE}},
        QueryCase{
            "AppReadFalseZero", "fail-read@app-version:0", {kConnected, kQueryFailed}, {kBootOnly}, {0xA2, 0xAD, 0xAE}},
        QueryCase{"BootWriteFails", "fail-write@boot-version:31", {kConnected, kQueryFailed}, {}, {0xA2, 0xAD}},
        // A late answer is drained before the next request, so each answer meets its own request.
        QueryCase{"LateReadyAnswer", "late-answer@ready", {kConnected}, {kAppLine + kBootOnly}, {0xA2, 0xAD, 0xAE}}),
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
  Rig rig(RegionConfig(start, size));
  const TempFile firmware(kSignature + kEndRecord);
  rig.session.firmware.ImagePath = firmware.Path();
  Connect(rig.session);
  rig.trace.lines.clear();
  RunUpgrade(rig.session);
  EXPECT_EQ(rig.Device().Counters().erases, inside ? 1u : 0u);
  if (inside) return;
  const std::string text =
      "Invalid Application Region: start " + std::to_string(start) + ", size " + std::to_string(size) + "\r\n";
  EXPECT_EQ(rig.trace.lines, std::vector<std::string>{text});
  EXPECT_EQ(rig.view.boxes, std::vector<Box>{FailureBox(text)});
  EXPECT_EQ(rig.session.DeviceInfo.ApplicationFirmwareSize, 0u);
  EXPECT_EQ(rig.session.outcome.step, RunStep::DeviceInfo);
  EXPECT_EQ(rig.Log().back().report[1], 0x02);  // the answer was the last thing on the wire
}

INSTANTIATE_TEST_SUITE_P(Regions, ReportedRegion,
                         testing::Values(RegionCase{4096, 61440, true}, RegionCase{0, 65536, true},
                                         RegionCase{65536, 0, true}, RegionCase{4096, 61441, false},
                                         RegionCase{65536, 1, false}, RegionCase{0, 65537, false},
                                         RegionCase{0xFFFFF000u, 0x2000, false},  // wraps to 0x1000 in 32 bits
                                         RegionCase{0xFFFFFFFFu, 2, false}, RegionCase{1, 0xFFFFFFFFu, false}));

}  // namespace
}  // namespace fwup::test
