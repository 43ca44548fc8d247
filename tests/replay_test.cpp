// The core against answers that came through real HID stacks: wire logs that --wire-log recorded
// in the vm tests (hidraw through hidapi, and Wine's HID stack), served back. The core must send
// the same requests, byte for byte, and reach the same verdict.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/replay_bus.hpp"
#include "support/test_support.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

const std::string kFixtures = FWUP_SOURCE_DIR "/tests/fixtures/wire/";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Replayed {
  explicit Replayed(const std::string& log) : bus(log), session(bus, view, trace) {
    session.firmware.ImagePath = kFixtures + "full-region.hex";
    Connect(session);
    RunUpgrade(session);
  }
  ReplayBus bus;
  RecordingView view;
  RecordingTrace trace;
  Session session;
};

class RealStack : public testing::TestWithParam<const char*> {};

TEST_P(RealStack, TheCoreSendsTheSameRequestsAndReachesTheSameVerdict) {
  const auto replay = std::make_unique<Replayed>(ReadText(kFixtures + GetParam()));
  EXPECT_EQ(replay->bus.Mismatch(), "");
  EXPECT_TRUE(replay->bus.Finished());
  EXPECT_EQ(replay->session.outcome.step, RunStep::Done);
  EXPECT_EQ(replay->session.outcome.verdict, Verdict::Match);
  EXPECT_EQ(replay->view.boxes.back().text, "Firmware download Success\r\nPress OK to Reboot!");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealStack, testing::Values("hidraw-gadget.log", "wine-gadget.log"));

// The replay is a judge, not a mirror: a request that differs by one byte is caught, and the
// upgrade fails there.
TEST(Replay, CatchesARequestThatDiffersFromTheRecording) {
  std::string log = ReadText(kFixtures + "hidraw-gadget.log");
  const std::size_t packet = log.find("> 00 05 ");
  ASSERT_NE(packet, std::string::npos);
  const std::size_t last_byte = log.find('\n', packet) - 2;
  log[last_byte] = log[last_byte] == '0' ? '1' : '0';
  const auto replay = std::make_unique<Replayed>(log);
  EXPECT_NE(replay->bus.Mismatch(), "");
  EXPECT_FALSE(replay->bus.Finished());
  EXPECT_EQ(replay->session.outcome.step, RunStep::ProgramWrite);
}

}  // namespace
}  // namespace fwup::test
