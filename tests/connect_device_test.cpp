// ConnectDevice: discovery, the two version queries judged by the result test, and what the
// dialog shows.
#include "upgrade/connect_device.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

const std::string kConnected = "Device Connected and Firmware Upgrade Mode";
const std::string kQueryFailed = "Version Query Failed";

sim::BootLoaderConfig Versions() {
  sim::BootLoaderConfig config;
  config.app_version = {'3', '.', '1', '.', '4'};
  config.boot_version = {'0', '.', '9', '.', '2'};
  return config;
}

// The requests the device received, by code.
std::vector<int> Requests(const sim::WireLog& log) {
  std::vector<int> codes;
  for (const auto& entry : log)
    if (entry.direction == sim::Direction::ToDevice) codes.push_back(entry.report[1]);
  return codes;
}

TEST(ConnectDevice, BothAnswersTaken) {
  Rig rig(Versions());
  Connect(rig.session);
  EXPECT_EQ(rig.session.connection.DeviceFound, 1u);
  EXPECT_EQ(rig.view.status, std::vector<std::string>{kConnected});
  EXPECT_EQ(rig.view.versions,
            std::vector<std::string>{"Current Application Firmware Version: 3.1.4 and Boot Version:0.9.2"});
  // The ready exchange's lines (0xAD form), then one dump per answer.
  const auto& lines = rig.trace.lines;
  ASSERT_EQ(lines.size(), 4u + 130u);
  EXPECT_EQ(lines[0], "App Ready Command send\r\n");
  EXPECT_EQ(rig.trace.CountPrefix("Rawdata["), 130u);
  EXPECT_TRUE(lines[4].starts_with("Rawdata[0] ="));
  EXPECT_EQ(lines[4 + 1], "Rawdata[1] = 0xAD\r\n");
  EXPECT_EQ(lines[4 + 3], "Rawdata[3] = 0x33\r\n");  // '3'
  EXPECT_EQ(lines[4 + 65 + 1], "Rawdata[1] = 0xAE\r\n");
  const sim::WireLog log = rig.Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[2].report, Report(0xAD));  // bytes 2 to 64 all zero
  EXPECT_EQ(log[4].report, Report(0xAE));
}

TEST(ConnectDevice, NoDeviceSendsNothing) {
  RecordingView view;
  RecordingTrace trace;
  sim::SimBus bus;
  bus.Add({u"HID\\VID_1234&PID_5678", "other", nullptr});
  Session session(bus, view, trace);
  Connect(session);
  EXPECT_EQ(session.connection.DeviceFound, 0u);
  EXPECT_EQ(view.status, std::vector<std::string>{"Device Not Connected"});
  EXPECT_TRUE(view.versions.empty());
  EXPECT_EQ(trace.lines, std::vector<std::string>{"Device Not Connected\r\n"});
  EXPECT_EQ(session.shown.trace.TraceBuffer(), "");  // written straight to the debugger channel
  EXPECT_TRUE(bus.Counters().opened.empty());
}

struct VersionCase {
  const char* name;
  std::array<std::uint8_t, 5> bytes;
  std::string text;
};

class VersionText : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionText, EndsAtTheFirstZeroByte) {
  sim::BootLoaderConfig config = Versions();
  config.app_version = GetParam().bytes;
  Rig rig(config);
  Connect(rig.session);
  EXPECT_EQ(rig.view.versions, std::vector<std::string>{"Current Application Firmware Version: " + GetParam().text +
                                                        " and Boot Version:0.9.2"});
}

INSTANTIATE_TEST_SUITE_P(Texts, VersionText,
                         testing::Values(VersionCase{"Five", {'V', '1', '.', '2', '3'}, "V1.23"},
                                         VersionCase{"Short", {'1', '.', '2', 0, 'x'}, "1.2"},
                                         VersionCase{"Empty", {0, '1', '2', '3', '4'}, ""}),
                         ByName());

struct QueryCase {
  const char* name;
  const char* fault;
  std::vector<std::string> status;
  std::vector<std::string> versions;
  std::vector<int> requests;  // what reached the device
};

class VersionQuery : public testing::TestWithParam<QueryCase> {};

TEST_P(VersionQuery, EndsAsShown) {
  Rig rig(Versions());
  rig.AddFault(GetParam().fault);
  Connect(rig.session);
  EXPECT_EQ(rig.view.status, GetParam().status);
  EXPECT_EQ(rig.view.versions, GetParam().versions);
  EXPECT_EQ(Requests(rig.Log()), GetParam().requests);
}

const std::string kAppLine = "Current Application Firmware Version: 3.1.4";
const std::string kBootOnly = " and Boot Version:0.9.2";

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
        QueryCase{"AppNoAnswer", "no-answer@app-version", {kConnected, kQueryFailed}, {kBootOnly}, {0xA2, 0xAD, 0xAE}},
        QueryCase{"BootWriteFails", "fail-write@boot-version:31", {kConnected, kQueryFailed}, {}, {0xA2, 0xAD}},
        QueryCase{"BootReadFalseZero", "fail-read@boot-version:0", {kConnected, kQueryFailed}, {}, {0xA2, 0xAD, 0xAE}},
        // A late answer is drained before the next request, so each answer meets its own request.
        QueryCase{"LateReadyAnswer", "late-answer@ready", {kConnected}, {kAppLine + kBootOnly}, {0xA2, 0xAD, 0xAE}},
        QueryCase{
            "LateAppAnswer", "late-answer@app-version", {kConnected, kQueryFailed}, {kBootOnly}, {0xA2, 0xAD, 0xAE}}),
    ByName());

TEST(ConnectDevice, AppWriteFailureMakesNoReadForIt) {
  for (const char* fault : {"fail-write@app-version:31", "fail-write@app-version:0"}) {
    Rig rig(Versions());
    rig.AddFault(fault);
    Connect(rig.session);
    const sim::WireLog log = rig.Log();  // ready, its answer, then the boot query and its answer
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].report, Report(0xAE));
    std::size_t waits = 0;  // reads that waited for an answer: the ready one and the boot one
    for (const auto bound : rig.Device().ReadBounds()) waits += bound.count() != 0 ? 1 : 0;
    EXPECT_EQ(waits, 2u) << fault;
  }
}

// A handle that could not be opened fails every transfer on it; only the queries report that.
TEST(ConnectDevice, FailedOpenLeadsToVersionQueryFailed) {
  for (const bool write_side : {true, false}) {
    RecordingView view;
    RecordingTrace trace;
    sim::SimBus bus;
    auto device = std::make_shared<sim::BootLoader>();
    sim::SimInterface target{std::u16string(sim::kBootLoaderHardwareId), "target", device};
    (write_side ? target.write_open_error : target.read_open_error) = kErrorAccessDenied;
    bus.Add(target);
    Session session(bus, view, trace);
    Connect(session);
    EXPECT_EQ(session.connection.DeviceFound, 1u);
    EXPECT_EQ(view.status, (std::vector<std::string>{kConnected, kQueryFailed, kQueryFailed}));
    EXPECT_TRUE(view.versions.empty());
    EXPECT_EQ(trace.Has("App Ready Command send\r\n"), !write_side);
    EXPECT_EQ(Requests(device->Log()), write_side ? std::vector<int>{} : (std::vector<int>{0xA2, 0xAD, 0xAE}));
  }
}

}  // namespace
}  // namespace fwup::test
