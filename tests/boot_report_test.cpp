// Bounded answer reads, the two failure rules, the answer dump and the drain of late answers.
// The request layouts are held to the byte by the wire transcripts of a whole upgrade.
#include "device/boot_report.hpp"

#include <gtest/gtest.h>

#include "device/answer_dump.hpp"
#include "device/device_link.hpp"
#include "support/test_support.hpp"

namespace fwup::test {
namespace {

TEST(BootReport, LittleEndianReadsStopAtTheEndOfTheReport) {
  const BootReport answer = Report(0x02, {0, 0, 0, 0x00, 0x10, 0x00, 0x00, 0x00, 0xE0, 0x00, 0x00});
  EXPECT_EQ(ReadU32(answer, 5), 4096u);
  EXPECT_EQ(ReadU32(answer, 9), 57344u);
  BootReport tail{};
  tail[63] = 0x34;
  tail[64] = 0x12;
  EXPECT_EQ(ReadU32(tail, 63), 0x1234u);
  EXPECT_EQ(ReadU32(tail, 65), 0u);
  EXPECT_EQ(ReadBytes(tail, 62, 5).size(), 3u);
}

TEST(BootReport, FalseWithErrorZeroFailsOnlyTheResultTest) {
  const TransferResult false_zero = TransferResult::Failed(0);
  const TransferResult false_31 = TransferResult::Failed(31);
  EXPECT_FALSE(FailedByErrorCode(false_zero));
  EXPECT_TRUE(FailedByResult(false_zero));
  EXPECT_TRUE(FailedByErrorCode(false_31));
  EXPECT_TRUE(FailedByResult(false_31));
  EXPECT_FALSE(FailedByErrorCode(TransferResult::Done()));
  EXPECT_FALSE(FailedByResult(TransferResult::Done()));
}

TEST(AnswerDump, OneLinePerByteInUpperCaseHexWithoutLeadingZeros) {
  RecordingTrace sink;
  Tracer tracer(sink);
  BootReport answer = Report(0x09, {0xFF, 0x0A});
  answer[64] = 0xC3;
  TraceAnswerDump(tracer, answer);
  ASSERT_EQ(sink.lines.size(), 65u);
  EXPECT_EQ(sink.lines[0], "Rawdata[0] = 0x0\r\n");
  EXPECT_EQ(sink.lines[1], "Rawdata[1] = 0x9\r\n");
  EXPECT_EQ(sink.lines[2], "Rawdata[2] = 0xFF\r\n");
  EXPECT_EQ(sink.lines[3], "Rawdata[3] = 0xA\r\n");
  EXPECT_EQ(sink.lines[64], "Rawdata[64] = 0xC3\r\n");
}

TEST(DeviceLink, AnswerArrivingAfterItsReadGaveUpIsDrained) {
  using std::chrono::milliseconds;
  ScriptedBus bus;
  DeviceLink link;
  link.Attach("p", bus.Open("p", HidAccess::Write), bus.Open("p", HidAccess::Read));
  bus.late = Report(0xAD);
  BootReport answer{};
  link.Write(Report(0xAD), kWriteBound);
  EXPECT_EQ(link.Read(answer, milliseconds(5)).last_error, kErrorTimeout);
  link.DropStaleAnswers(milliseconds(5));  // waits for the answer still owed
  bus.answers = {Report(0xAE)};
  link.Write(Report(0xAE), kWriteBound);
  ASSERT_TRUE(link.Read(answer, milliseconds(5)).ok);
  EXPECT_EQ(answer[1], 0xAE);
}

}  // namespace
}  // namespace fwup::test
