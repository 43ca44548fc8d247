// The hidapi adapter's own rules, against a stand-in for hidapi: the report-ID byte, the bound
// of every read, error codes, hardware IDs, the walk's order.
#include "hidapi/hidapi_bus.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <map>
#include <tuple>

#include "device/find_device.hpp"

namespace fwup::hidapi {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// What one path got from the adapter, and what hidapi answers on it.
struct DeviceScript {
  std::vector<Bytes> written;      // what hid_write got
  std::vector<int> read_timeouts;  // the milliseconds of each hid_read_timeout
  std::vector<std::size_t> read_lengths;
  std::deque<Bytes> input;                // reports hidapi would deliver (no report-ID byte)
  std::deque<CallResult> write_failures;  // taken before a write succeeds
  std::deque<CallResult> read_failures;   // taken before `input`
};

CallResult Take(std::deque<CallResult>& results, CallResult otherwise) {
  if (results.empty()) return otherwise;
  const CallResult result = results.front();
  results.pop_front();
  return result;
}

struct FakeDevice : Device {
  explicit FakeDevice(DeviceScript& what) : script(what) {}
  CallResult Write(std::span<const std::uint8_t> data) override {
    script.written.emplace_back(data.begin(), data.end());
    return Take(script.write_failures, {static_cast<int>(data.size()), 0});
  }
  CallResult ReadTimeout(std::span<std::uint8_t> data, int milliseconds) override {
    script.read_timeouts.push_back(milliseconds);
    script.read_lengths.push_back(data.size());
    if (!script.read_failures.empty() || script.input.empty()) return Take(script.read_failures, {0, 0});
    const Bytes report = script.input.front();
    script.input.pop_front();
    const std::size_t length = std::min(report.size(), data.size());
    std::copy_n(report.begin(), length, data.begin());
    return {static_cast<int>(length), 0};
  }
  DeviceScript& script;
};

struct FakeLibrary : Library {
  std::vector<DeviceEntry> Enumerate() override { return entries; }
  std::unique_ptr<Device> OpenPath(const std::string& path, int& error) override {
    opened.push_back(path);
    if (const auto failure = open_errors.find(path); failure != open_errors.end()) {
      error = failure->second;
      return nullptr;
    }
    return std::make_unique<FakeDevice>(devices[path]);
  }
  std::vector<DeviceEntry> entries;
  std::map<std::string, DeviceScript> devices;
  std::map<std::string, int> open_errors;
  std::vector<std::string> opened;
};

const DeviceEntry kBoard{"/dev/hidraw2", 0x7E51, 0x0A3D, 0x0100, "1-2.3"};

struct Adapter {
  std::unique_ptr<FakeLibrary> owned = std::make_unique<FakeLibrary>();
  FakeLibrary& fake = *owned;
  HidapiBus bus{std::move(owned)};
  DeviceScript& board = fake.devices[kBoard.path];
  OpenResult write = bus.Open(kBoard.path, HidAccess::Write);
  OpenResult read = bus.Open(kBoard.path, HidAccess::Read);
};

TEST(HidapiBus, WalksInHidapisOrderOncePerPathWithWindowsStyleIds) {
  Adapter adapter;
  adapter.fake.opened.clear();
  EXPECT_TRUE(ListInterfaces(adapter.bus).empty());
  adapter.fake.entries = {{"/dev/hidraw0", 0x1209, 0x0001, 0x0100},
                          kBoard,
                          {"/dev/hidraw2", 0x7E51, 0x0A3D, 0x0100},  // a second collection of the same node
                          {"/dev/hidraw5", 0x0001, 0xABCD, 0x0000}};
  std::vector<std::tuple<std::string, std::u16string, bool, std::string>> walked;
  for (const HidInterfaceInfo& i : ListInterfaces(adapter.bus))
    walked.emplace_back(i.path, i.hardware_id, i.matches, i.location);
  EXPECT_EQ(walked, (decltype(walked){{"/dev/hidraw0", u"HID\\VID_1209&PID_0001&REV_0100", false, ""},
                                      {"/dev/hidraw2", u"HID\\VID_7E51&PID_0A3D&REV_0100", true, "1-2.3"},
                                      {"/dev/hidraw5", u"HID\\VID_0001&PID_ABCD&REV_0000", false, ""}}));
  EXPECT_TRUE(adapter.fake.opened.empty());
}

// Reports cross as 65 bytes with report ID 0 first; an answer of 64 or fewer bytes lands from
// byte 1 on, the rest zero; every read is bounded, and a zero bound only polls.
TEST(HidapiLink, ReportsAndBounds) {
  Adapter adapter;
  ASSERT_TRUE(adapter.write.link && adapter.read.link);
  BootReport request{};
  request[1] = 0xA2;
  request[64] = 0x77;
  EXPECT_TRUE(adapter.write.link->Write(request, 1s).ok);
  EXPECT_EQ(adapter.board.written, std::vector<Bytes>{Bytes(request.begin(), request.end())});

  Bytes whole(65);
  for (std::size_t i = 1; i < whole.size(); ++i) whole[i] = static_cast<std::uint8_t>(0x7F + i);
  adapter.board.input = {Bytes(whole.begin() + 1, whole.end()), {0x09, 0xFF}};
  BootReport report;
  report.fill(0xEE);
  EXPECT_TRUE(adapter.read.link->Read(report, 3s).ok);
  EXPECT_EQ(Bytes(report.begin(), report.end()), whole);
  report.fill(0xEE);
  EXPECT_TRUE(adapter.read.link->Read(report, 1s).ok);
  EXPECT_EQ(report, (BootReport{0, 0x09, 0xFF}));
  EXPECT_EQ(adapter.board.read_lengths, (std::vector<std::size_t>{64, 64}));

  EXPECT_EQ(adapter.read.link->Read(report, 250ms).last_error, kErrorTimeout);
  EXPECT_EQ(adapter.read.link->Read(report, 0ms).last_error, kErrorTimeout);
  (void)adapter.read.link->Read(report, std::chrono::milliseconds(std::int64_t{INT_MAX} + 5));
  // Never -1, which blocks.
  EXPECT_EQ(adapter.board.read_timeouts, (std::vector<int>{3000, 1000, 250, 0, INT_MAX}));
}

// The kernel gives up on an output report after 5 s and sends none of it; a longer bound, such
// as the erase's, is kept by sending it again, and a bound that has passed is not. Every failure
// becomes a platform error code, never 0.
TEST(HidapiLink, RetriesAndErrorCodes) {
  Adapter adapter;
  adapter.fake.open_errors["/dev/hidraw9"] = EACCES;
  const OpenResult refused = adapter.bus.Open("/dev/hidraw9", HidAccess::Write);
  EXPECT_FALSE(refused.link);
  EXPECT_EQ(refused.error, kErrorAccessDenied);
  EXPECT_EQ(PlatformErrorOf(EPERM), kErrorAccessDenied);
  EXPECT_EQ(PlatformErrorOf(ENOENT), kErrorFileNotFound);
  EXPECT_EQ(PlatformErrorOf(EBUSY), kErrorSharingViolation);

  HidLink& write = *adapter.write.link;
  DeviceScript& script = adapter.board;
  BootReport report{};
  script.write_failures = {{-1, ETIMEDOUT}, {-1, ETIMEDOUT}};
  EXPECT_TRUE(write.Write(report, 30s).ok);
  EXPECT_EQ(script.written.size(), 3u);
  script.write_failures = {{-1, ETIMEDOUT}, {-1, ETIMEDOUT}};
  EXPECT_EQ(write.Write(report, 0ms).last_error, kErrorTimeout);
  EXPECT_EQ(script.written.size(), 4u);

  // hidapi lost errno: still a failure under the error-code test; 0 bytes: nothing went out;
  // only a time-out is worth sending again.
  script.write_failures = {{-1, ENODEV}, {-1, 0}, {0, 0}, {-1, EIO}};
  for (const std::uint32_t expected : {kErrorDeviceNotConnected, kErrorGenFailure, 0u, kErrorGenFailure}) {
    const TransferResult result = write.Write(report, 1s);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.last_error, 0u);
    if (expected != 0) {
      EXPECT_EQ(result.last_error, expected);
    }
  }
  EXPECT_EQ(script.written.size(), 8u);
  script.read_failures = {{-1, EIO}, {-1, EPIPE}, {-1, 0}};
  for (const std::uint32_t expected : {kErrorGenFailure, kErrorDeviceNotConnected, kErrorGenFailure}) {
    EXPECT_EQ(adapter.read.link->Read(report, 1s).last_error, expected);
  }
}

// The system's hidapi as the adapter starts it: a path that is not there fails with a code the
// core can judge.
TEST(SystemHidapi, OpeningAPathThatIsNotThereFails) {
  std::string why;
  std::unique_ptr<Library> library = OpenSystemLibrary(why);
  ASSERT_TRUE(library) << why;
  const OpenResult result = HidapiBus(std::move(library)).Open("/dev/hidraw-none-such", HidAccess::Write);
  EXPECT_FALSE(result.link);
  EXPECT_NE(result.error, kErrorSuccess);
}

}  // namespace
}  // namespace fwup::hidapi
