// A thousand complete upgrades in one process, each with a fresh session and device: every
// verdict right, every device's memory equal to the file, and (under the sanitizer build) no
// leak. Memory growth across the runs would show as a leak report at exit.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::test {
namespace {

TEST(Soak, AThousandUpgradesInOneProcess) {
  constexpr int kRuns = 1000;
  const std::vector<std::uint8_t> bytes = RandomBytes(57344, 11);
  const TempFile file(kSignature + HexData(0x1000, bytes) + kEndRecord);
  for (int run = 0; run < kRuns; ++run) {
    Rig rig;  // the default device: region 4096 + 57344
    rig.session.firmware.ImagePath = file.Path();
    // Every tenth device holds a wrong checksum verdict, so the mismatch path is soaked too.
    const bool mismatch = run % 10 == 9;
    if (mismatch) rig.AddFault("verdict:55");
    Connect(rig.session);
    RunUpgrade(rig.session);
    ASSERT_EQ(rig.session.outcome.verdict, mismatch ? Verdict::Mismatch : Verdict::Match) << "run " << run;
    const ImageBuffer memory = rig.Device().Memory();
    ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), memory.begin() + 0x1000)) << "run " << run;
    ASSERT_EQ(rig.Device().Counters().resets, 1u) << "run " << run;
  }
}

}  // namespace
}  // namespace fwup::test
