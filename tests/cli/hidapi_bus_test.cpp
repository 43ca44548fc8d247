// The hidapi adapter's own rules, against a stand-in for hidapi: the report-ID byte, the bound
// of every read, error codes, hardware IDs, the walk's order.
#include "hidapi/hidapi_bus.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <map>

#include "device/find_device.hpp"
#include "device/hardware_id.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/session.hpp"

namespace fwup::hidapi {
namespace {

using namespace std::chrono_literals;

struct DeviceScript {
  std::vector<std::vector<std::uint8_t>> written;  // what hid_write got
  std::vector<int> read_timeouts;                  // the milliseconds of each hid_read_timeout
  std::vector<std::size_t> read_lengths;
  std::deque<std::vector<std::uint8_t>> input;    // reports hidapi would deliver (no report-ID byte)
  std::deque<std::vector<std::uint8_t>> answers;  // one queued into `input` after each write
  CallResult write_result{-2, 0};                 // -2: return the length written
  std::deque<CallResult> write_failures;          // taken before `write_result`
  std::deque<CallResult> read_failures;           // taken before `input`
};

class FakeDevice : public Device {
 public:
  explicit FakeDevice(DeviceScript& script) : script_(script) {}
  CallResult Write(std::span<const std::uint8_t> data) override {
    script_.written.emplace_back(data.begin(), data.end());
    if (!script_.answers.empty()) {
      script_.input.push_back(script_.answers.front());
      script_.answers.pop_front();
    }
    if (!script_.write_failures.empty()) {
      const CallResult failure = script_.write_failures.front();
      script_.write_failures.pop_front();
      return failure;
    }
    if (script_.write_result.value == -2) return {static_cast<int>(data.size()), 0};
    return script_.write_result;
  }
  CallResult ReadTimeout(std::span<std::uint8_t> data, int milliseconds) override {
    script_.read_timeouts.push_back(milliseconds);
    script_.read_lengths.push_back(data.size());
    if (!script_.read_failures.empty()) {
      const CallResult failure = script_.read_failures.front();
      script_.read_failures.pop_front();
      return failure;
    }
    if (script_.input.empty()) return {0, 0};  // the time ran out
    const std::vector<std::uint8_t> report = script_.input.front();
    script_.input.pop_front();
    const std::size_t length = std::min(report.size(), data.size());
    std::copy_n(report.begin(), length, data.begin());
    return {static_cast<int>(length), 0};
  }

 private:
  DeviceScript& script_;
};

class FakeLibrary : public Library {
 public:
  std::vector<DeviceEntry> entries;
  std::map<std::string, DeviceScript> devices;
  std::map<std::string, int> open_errors;
  std::vector<std::string> opened;

  std::vector<DeviceEntry> Enumerate() override { return entries; }
  std::unique_ptr<Device> OpenPath(const std::string& path, int& error) override {
    opened.push_back(path);
    if (const auto failure = open_errors.find(path); failure != open_errors.end()) {
      error = failure->second;
      return nullptr;
    }
    return std::make_unique<FakeDevice>(devices[path]);
  }
};

constexpr DeviceEntry kBoard{"/dev/hidraw2", 0x7E51, 0x0A3D, 0x0100};

TEST(HidapiHardwareId, IsWindowsStyleUpperCaseHexAndMatches) {
  EXPECT_EQ(HardwareIdOf(kBoard), u"HID\\VID_7E51&PID_0A3D&REV_0100");
  EXPECT_EQ(MatchHardwareId(HardwareIdOf(kBoard)), 1u);
  EXPECT_EQ(HardwareIdOf({"", 0x0001, 0xABCD, 0x0000}), u"HID\\VID_0001&PID_ABCD&REV_0000");
  EXPECT_EQ(MatchHardwareId(HardwareIdOf({"", 0x7E51, 0x0A3E, 0x0100})), 0u);
}

TEST(HidapiBus, NoDevicePresentMeansNothingFoundAndNothingOpened) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  HidapiBus bus(std::move(library));
  EXPECT_TRUE(ListInterfaces(bus).empty());
  DeviceLink link;
  std::uint32_t found = 7;
  struct : Trace {
    void Line(std::string_view) override {}
  } silent;
  Tracer tracer(silent);
  FindDevice({bus, tracer, {}, std::nullopt}, link, found);
  EXPECT_EQ(found, 7u);  // nothing was compared
  EXPECT_FALSE(link.WriteHandleOpen());
  EXPECT_TRUE(fake.opened.empty());
}

TEST(HidapiBus, WalksInHidapisOrderOncePerPath) {
  auto library = std::make_unique<FakeLibrary>();
  library->entries = {{"/dev/hidraw0", 0x1209, 0x0001, 0x0100},
                      kBoard,
                      {"/dev/hidraw2", 0x7E51, 0x0A3D, 0x0100},  // a second collection of the same node
                      {"/dev/hidraw5", 0x7E51, 0x0A3D, 0x0200}};
  HidapiBus bus(std::move(library));
  const std::vector<HidInterfaceInfo> interfaces = ListInterfaces(bus);
  ASSERT_EQ(interfaces.size(), 3u);
  EXPECT_EQ(interfaces[0].path, "/dev/hidraw0");
  EXPECT_FALSE(interfaces[0].matches);
  EXPECT_EQ(interfaces[1].path, "/dev/hidraw2");
  EXPECT_TRUE(interfaces[1].matches);
  EXPECT_EQ(interfaces[2].hardware_id, u"HID\\VID_7E51&PID_0A3D&REV_0200");
}

TEST(HidapiLink, WritesAll65BytesWithReportIdZeroFirst) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  HidapiBus bus(std::move(library));
  OpenResult write = bus.Open(kBoard.path, HidAccess::Write);
  ASSERT_TRUE(write.link);
  BootReport request{};
  request[1] = 0xA2;
  request[64] = 0x77;
  EXPECT_TRUE(write.link->Write(request, 1s).ok);
  ASSERT_EQ(fake.devices[kBoard.path].written.size(), 1u);
  const std::vector<std::uint8_t>& sent = fake.devices[kBoard.path].written[0];
  ASSERT_EQ(sent.size(), 65u);
  EXPECT_EQ(sent[0], 0x00);
  EXPECT_EQ(sent[1], 0xA2);
  EXPECT_EQ(sent[64], 0x77);
}

TEST(HidapiLink, A64ByteReadLandsInBytes1To64WithByte0Zero) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  std::vector<std::uint8_t> answer(64);
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(0x80 + i);
  fake.devices[kBoard.path].input.push_back(answer);
  HidapiBus bus(std::move(library));
  OpenResult read = bus.Open(kBoard.path, HidAccess::Read);
  BootReport report;
  report.fill(0xEE);
  EXPECT_TRUE(read.link->Read(report, 3s).ok);
  EXPECT_EQ(report[0], 0x00);
  for (std::size_t i = 0; i < answer.size(); ++i) ASSERT_EQ(report[i + 1], answer[i]) << i;
  EXPECT_EQ(fake.devices[kBoard.path].read_lengths, std::vector<std::size_t>{64});
  EXPECT_EQ(fake.devices[kBoard.path].read_timeouts, std::vector<int>{3000});
}

TEST(HidapiLink, AShortReadLeavesTheRestZero) {
  auto library = std::make_unique<FakeLibrary>();
  library->devices[kBoard.path].input.push_back({0x09, 0xFF});
  HidapiBus bus(std::move(library));
  OpenResult read = bus.Open(kBoard.path, HidAccess::Read);
  BootReport report;
  report.fill(0xEE);
  ASSERT_TRUE(read.link->Read(report, 1s).ok);
  EXPECT_EQ(report[1], 0x09);
  EXPECT_EQ(report[2], 0xFF);
  EXPECT_TRUE(std::all_of(report.begin() + 3, report.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(HidapiLink, EveryReadIsBoundedAndAZeroBoundPolls) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  HidapiBus bus(std::move(library));
  OpenResult read = bus.Open(kBoard.path, HidAccess::Read);
  BootReport report{};
  const TransferResult timed_out = read.link->Read(report, 250ms);
  EXPECT_FALSE(timed_out.ok);
  EXPECT_EQ(timed_out.last_error, kErrorTimeout);
  const TransferResult empty = read.link->Read(report, 0ms);
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.last_error, kErrorTimeout);
  (void)read.link->Read(report, std::chrono::milliseconds(std::int64_t{INT_MAX} + 5));
  EXPECT_EQ(fake.devices[kBoard.path].read_timeouts, (std::vector<int>{250, 0, INT_MAX}));  // never -1: blocking
}

// The kernel gives up on an output report after 5 s and sends none of it; a longer bound, such
// as the erase's, is kept by sending it again, and a bound that has passed is not.
TEST(HidapiLink, AWriteThatTimedOutIsSentAgainUntilItsBound) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  HidapiBus bus(std::move(library));
  OpenResult write = bus.Open(kBoard.path, HidAccess::Write);
  DeviceScript& script = fake.devices[kBoard.path];
  BootReport report{};

  script.write_failures = {{-1, ETIMEDOUT}, {-1, ETIMEDOUT}};
  EXPECT_TRUE(write.link->Write(report, 30s).ok);
  EXPECT_EQ(script.written.size(), 3u);

  script.write_failures = {{-1, ETIMEDOUT}, {-1, ETIMEDOUT}};
  const TransferResult late = write.link->Write(report, 0ms);
  EXPECT_EQ(late.last_error, kErrorTimeout);
  EXPECT_EQ(script.written.size(), 4u);
}

TEST(HidapiLink, FailuresBecomePlatformErrorCodesAndNeverZero) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  HidapiBus bus(std::move(library));
  OpenResult write = bus.Open(kBoard.path, HidAccess::Write);
  OpenResult read = bus.Open(kBoard.path, HidAccess::Read);
  DeviceScript& script = fake.devices[kBoard.path];
  BootReport report{};

  script.write_result = {-1, ENODEV};
  EXPECT_EQ(write.link->Write(report, 1s).last_error, kErrorDeviceNotConnected);
  script.write_result = {-1, 0};  // hidapi lost errno: still a failure under the error-code test
  EXPECT_EQ(write.link->Write(report, 1s).last_error, kErrorGenFailure);
  script.write_result = {0, 0};  // nothing went out
  EXPECT_FALSE(write.link->Write(report, 1s).ok);
  EXPECT_NE(write.link->Write(report, 1s).last_error, 0u);

  script.write_failures = {{-1, EIO}};  // only a time-out is worth sending again
  EXPECT_EQ(write.link->Write(report, 1s).last_error, kErrorGenFailure);

  script.read_failures = {{-1, EIO}, {-1, EPIPE}, {-1, 0}};
  EXPECT_EQ(read.link->Read(report, 1s).last_error, kErrorGenFailure);
  EXPECT_EQ(read.link->Read(report, 1s).last_error, kErrorDeviceNotConnected);
  EXPECT_EQ(read.link->Read(report, 1s).last_error, kErrorGenFailure);
}

TEST(HidapiBus, PermissionDeniedOnOpenIsAccessDenied) {
  auto library = std::make_unique<FakeLibrary>();
  library->open_errors[kBoard.path] = EACCES;
  library->entries = {kBoard};
  HidapiBus bus(std::move(library));
  const OpenResult refused = bus.Open(kBoard.path, HidAccess::Write);
  EXPECT_FALSE(refused.link);
  EXPECT_EQ(refused.error, kErrorAccessDenied);
  EXPECT_EQ(PlatformErrorOf(EPERM), kErrorAccessDenied);
  EXPECT_EQ(PlatformErrorOf(ENOENT), kErrorFileNotFound);
  EXPECT_EQ(PlatformErrorOf(EBUSY), kErrorSharingViolation);
}

// The whole connection over the adapter: the walk opens the path twice, and the ready exchange
// and both version queries cross as 65-byte reports with report ID 0.
TEST(HidapiBus, ConnectDeviceThroughTheAdapter) {
  auto library = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *library;
  fake.entries = {{"/dev/hidraw0", 0x1209, 0x0001, 0x0100}, kBoard};
  DeviceScript& script = fake.devices[kBoard.path];
  std::vector<std::uint8_t> app(64, 0), boot(64, 0);
  app[0] = 0xAD;
  app[2] = '3';
  boot[0] = 0xAE;
  boot[2] = '9';
  script.answers = {std::vector<std::uint8_t>{0x09, 1, 2, 3}, app, boot};
  HidapiBus bus(std::move(library));

  struct : View {
    std::vector<std::string> status, version;
    void SetStatusText(std::string_view t) override { status.emplace_back(t); }
    void SetVersionText(std::string_view t) override { version.emplace_back(t); }
    void SetProgress(int) override {}
    void ShowBox(const Box&) override {}
    void PrintToStdout(std::string_view) override {}
  } view;
  struct : Trace {
    std::vector<std::string> lines;
    void Line(std::string_view text) override { lines.emplace_back(text); }
  } trace;
  auto session = std::make_unique<Session>(bus, view, trace);
  session->versions = ConnectDevice(session->bus, session->connection, session->settings, session->shown);
  EXPECT_EQ(session->connection.DeviceFound, 1u);
  EXPECT_EQ(fake.opened, (std::vector<std::string>{kBoard.path, kBoard.path}));
  ASSERT_EQ(script.written.size(), 3u);
  for (const auto& request : script.written) {
    EXPECT_EQ(request.size(), 65u);
    EXPECT_EQ(request[0], 0x00);
  }
  EXPECT_EQ(script.written[0][1], 0xA2);
  EXPECT_EQ(script.written[1][1], 0xAD);
  EXPECT_EQ(script.written[2][1], 0xAE);
  EXPECT_EQ(view.status, std::vector<std::string>{"Device Connected and Firmware Upgrade Mode"});
  EXPECT_EQ(view.version, std::vector<std::string>{"Current Application Firmware Version: 3 and Boot Version:9"});
  EXPECT_EQ(trace.lines.at(1), "Received CRC value = 1\r\n");
}

}  // namespace
}  // namespace fwup::hidapi
