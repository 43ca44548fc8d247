// The firmware file loader: signature, line reading, records, and the refusals that keep a
// defective file from ever reaching the erase.
#include "upgrade/load_firmware_image.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

struct Loader {
  explicit Loader(const std::string& content) : file(content) {
    session.firmware.ImagePath = file.Path();
    session.firmware.FirmwareImage.fill(0xFF);  // as QueryDeviceInfo leaves it
  }
  std::uint32_t Run() { return LoadFirmwareImage(session.firmware, session.shown); }
  ImageBuffer Blank() const {
    ImageBuffer image;
    image.fill(0xFF);
    return image;
  }

  TempFile file;
  sim::SimBus bus;
  RecordingView view;
  RecordingTrace trace;
  Session session{bus, view, trace};
};

void Put(ImageBuffer& image, std::size_t address, const std::vector<std::uint8_t>& data) {
  std::copy(data.begin(), data.end(), image.begin() + static_cast<std::ptrdiff_t>(address));
}

const std::vector<std::uint8_t> kData = RandomBytes(40, 7);
const std::string kBadChecksum = ":0100000011EF\r\n";  // its checksum is EE

TEST(LoadFirmwareImage, WellFormedFileLoadsAndNothingAfterTheEndIsRead) {
  Loader load(kSignature + HexData(0x1000, kData) + kEndRecord + kBadChecksum + "garbage");
  ASSERT_EQ(load.Run(), 0u);
  ImageBuffer expected = load.Blank();
  Put(expected, 0x1000, kData);
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
  EXPECT_EQ(load.view.events, (std::vector<std::string>{"progress 10", "status Valid Firmware Signature"}));
  EXPECT_TRUE(load.trace.lines.empty());
  EXPECT_EQ(load.session.firmware.load_report.outcome, LoadOutcome::Loaded);
  EXPECT_EQ(load.session.firmware.load_report.end_record_line, 5u);
  EXPECT_EQ(load.session.firmware.load_report.written.count(), kData.size());
  EXPECT_TRUE(load.session.firmware.FirmwareFile.IsOpen());  // the caller closes it
}

// A wrong signature is refused before any record is read, and told as the other refusals are.
class BadSignature : public testing::TestWithParam<std::string> {};

TEST_P(BadSignature, IsRefusedWithStatusTraceAndBox) {
  Loader load(GetParam());
  EXPECT_EQ(load.Run(), kFailed);
  const std::string text = "Invalid Firmware Signature";
  EXPECT_EQ(load.view.events, (std::vector<std::string>{"status " + text, "box " + text + "\r\n"}));
  EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox(text + "\r\n")});
  EXPECT_EQ(load.trace.lines, std::vector<std::string>{text + "\r\n"});
  EXPECT_EQ(load.session.firmware.load_report.outcome, LoadOutcome::BadSignature);
  EXPECT_TRUE(load.session.firmware.FirmwareFile.IsOpen());  // the caller closes it
  EXPECT_EQ(load.session.firmware.FirmwareImage, load.Blank());
}

INSTANTIATE_TEST_SUITE_P(Files, BadSignature,
                         testing::Values("talvork\r\n" + kEndRecord, "TALVORX\r\n" + kEndRecord, "TALVO", "TALVOR",
                                         " TALVORK\r\n" + kEndRecord));

struct Refusal {
  const char* name;
  std::string content;
  std::string status;
  bool checksum_traced;
};

class RefusedFile : public testing::TestWithParam<Refusal> {};

TEST_P(RefusedFile, FailsWithStatusTraceAndBox) {
  Loader load(GetParam().content);
  EXPECT_EQ(load.Run(), kFailed);
  EXPECT_EQ(load.view.progress, GetParam().content.empty() ? std::vector<int>{} : std::vector<int>{10});
  ASSERT_FALSE(load.view.status.empty());
  EXPECT_EQ(load.view.status.back(), GetParam().status);
  EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox(GetParam().status + "\r\n")});
  EXPECT_TRUE(load.trace.Has(GetParam().status + "\r\n"));
  EXPECT_EQ(load.trace.Has("Checksum Error\r\n"), GetParam().checksum_traced);
}

const std::string kNoEnd = "Invalid Firmware File: No End Record";
std::string AtLine(int line) { return "Invalid Firmware Record at Line " + std::to_string(line); }
const std::string kData16 = HexData(0x1000, RandomBytes(16, 3));

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    testing::Values(
        Refusal{"Empty", "", "Invalid Firmware File: Empty", false}, Refusal{"SignatureOnly", "TALVORK", kNoEnd, false},
        Refusal{"NoEndRecord", kSignature + kData16, kNoEnd, false},
        Refusal{"CrAloneDoesNotEndALine", kSignature + HexRecord(0, 0x1000, {1, 2}, "\r") + kEndRecord, kNoEnd, false},
        Refusal{"BadChecksum", kSignature + kData16 + kBadChecksum + kEndRecord, AtLine(3), true},
        Refusal{"BlankLine", kSignature + kData16 + "\r\n" + kEndRecord, AtLine(3), false},
        Refusal{"LeadingSpace", kSignature + " " + kData16 + kEndRecord, AtLine(2), false},
        Refusal{"NoColonGoodChecksum", kSignature + "X0100000011EE\r\n" + kEndRecord, AtLine(2), false},
        Refusal{"NoColonBadChecksum", kSignature + "X0100000011EF\r\n" + kEndRecord, AtLine(2), true},
        Refusal{"LoneLfAfterSignature", "TALVORK\n" + HexRecord(0, 0x1000, {0x11}) + kEndRecord, AtLine(2), false},
        Refusal{"ShorterThanItsFields", kSignature + ":0000\r\n" + kEndRecord, AtLine(2), false},
        Refusal{"CountBeyondTheLine", kSignature + ":10100000AABB\r\n" + kEndRecord, AtLine(2), false},
        Refusal{"ExtendedAddressWithoutData", kSignature + ":00000004FC\r\n" + kEndRecord, AtLine(2), false},
        Refusal{"ExtendedAddressOneByte", kSignature + HexRecord(4, 0, {0}) + kEndRecord, AtLine(2), false},
        Refusal{"Record130BytesIsCutShort",
                kSignature + HexRecord(0, 0, std::vector<std::uint8_t>(130, 0x77)) + kEndRecord, AtLine(2), false},
        Refusal{"NulLineStillCounts", kSignature + std::string("\0:junk\r\n", 8) + kBadChecksum + kEndRecord, AtLine(3),
                true}),
    ByName());

TEST(LoadFirmwareImage, NothingIsObeyedAfterADefect) {
  const std::vector<std::uint8_t> after = {1, 2, 3};
  Loader load(kSignature + HexData(0x1000, kData) + kBadChecksum + HexRecord(4, 0, {0, 1}) + HexData(0x2000, after) +
              kEndRecord + kBadChecksum);
  EXPECT_EQ(load.Run(), kFailed);
  ImageBuffer expected = load.Blank();
  Put(expected, 0x1000, kData);  // what came before the defect stays
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
  EXPECT_EQ(load.trace.CountPrefix("Checksum Error\r\n"), 2u);  // the end record did not end the load
  ASSERT_TRUE(load.session.firmware.load_report.first_defect);
  EXPECT_EQ(load.session.firmware.load_report.first_defect->line, 5u);
  EXPECT_EQ(load.session.firmware.load_report.outcome, LoadOutcome::DefectiveRecord);
}

TEST(LoadFirmwareImage, RecordOf123DataBytesIsReadWhole) {
  const std::vector<std::uint8_t> data = RandomBytes(123, 11);
  const std::string record = HexRecord(0, 0x1000, data);
  ASSERT_EQ(record.size(), 259u);
  Loader load(kSignature + record + kEndRecord);
  ASSERT_EQ(load.Run(), 0u);
  ImageBuffer expected = load.Blank();
  Put(expected, 0x1000, data);
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
}

TEST(LoadFirmwareImage, RecordOf124DataBytesIsObeyedAndItsLineEndIsADefect) {
  const std::vector<std::uint8_t> data = RandomBytes(124, 12);
  for (const char* line_end : {"\r\n", "\n"}) {
    Loader load(kSignature + HexRecord(0, 0x1000, data, line_end) + kEndRecord);
    EXPECT_EQ(load.Run(), kFailed);
    ImageBuffer expected = load.Blank();
    Put(expected, 0x1000, data);
    EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
    EXPECT_EQ(load.view.status, (std::vector<std::string>{"Valid Firmware Signature",
                                                          AtLine(2)}));  // the leftover is still part of line 2
    EXPECT_FALSE(load.trace.Has("Checksum Error\r\n"));
  }
}

TEST(LoadFirmwareImage, LineStartingWithNulIsSkipped) {
  Loader load(kSignature + std::string("\0:zz\r\n", 6) + HexData(0x1000, kData) + std::string(1, '\0') + "\n" +
              kEndRecord);
  ASSERT_EQ(load.Run(), 0u);
  EXPECT_EQ(load.session.firmware.load_report.written.count(), kData.size());
}

TEST(LoadFirmwareImage, ExtendedAddressGatesTheDataRecords) {
  Loader load(kSignature + HexRecord(4, 0, {0x00, 0x01}) + HexData(0x1000, {0xAA}) + HexRecord(4, 0x5555, {0, 0}) +
              HexData(0x2000, {0xBB}) + HexRecord(4, 0, {0xFF, 0xFF}) + HexRecord(0, 0xFFFF, {1, 2}) +
              HexRecord(4, 0, {0x01, 0x00}) + HexData(0x3000, {0xCC}) + kEndRecord);
  ASSERT_EQ(load.Run(), 0u);
  ImageBuffer expected = load.Blank();
  expected[0x2000] = 0xBB;  // above 64 KiB nothing is stored, nor wrapped round to address 0
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
}

TEST(LoadFirmwareImage, RecordRunningPastTheImageIsClipped) {
  const std::vector<std::uint8_t> data = RandomBytes(16, 13);
  Loader load(kSignature + HexRecord(0, 0xFFF8, data) + kEndRecord);
  ASSERT_EQ(load.Run(), 0u);
  ImageBuffer expected = load.Blank();
  Put(expected, 0xFFF8, {data.begin(), data.begin() + 8});
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
}

TEST(LoadFirmwareImage, LowerCaseLoadsLikeUpperCase) {
  std::string text = kSignature + HexRecord(4, 0, {0, 0}) + HexData(0xABC0, kData) + kEndRecord;
  for (std::size_t i = kSignature.size(); i < text.size(); ++i) text[i] = static_cast<char>(std::tolower(text[i]));
  Loader load(text);
  ASSERT_EQ(load.Run(), 0u);
  ImageBuffer expected = load.Blank();
  Put(expected, 0xABC0, kData);
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
}

TEST(LoadFirmwareImage, OtherRecordTypesChangeNothingAndAnyEndRecordEnds) {
  Loader load(kSignature + HexRecord(2, 0, {0x10, 0x00}) + HexRecord(3, 0, {0, 0, 0x12, 0x34}) +
              HexRecord(5, 0, {0, 0, 0x10, 0}) + HexData(0x0010, {0x5A}) + HexRecord(1, 0x1234, {0xAA, 0xBB}) +
              kBadChecksum);
  ASSERT_EQ(load.Run(), 0u);
  ImageBuffer expected = load.Blank();
  expected[0x0010] = 0x5A;  // a segment address of 0x1000 would have put it at 0x10010
  EXPECT_EQ(load.session.firmware.FirmwareImage, expected);
  EXPECT_TRUE(load.trace.lines.empty());
}

TEST(LoadFirmwareImage, UnreachableFileIsReportedWithThePlatformCode) {
  Loader load(kSignature + kEndRecord);
  load.session.firmware.probe_file = [](const std::filesystem::path&) { return kErrorSharingViolation; };
  EXPECT_EQ(load.Run(), kFailed);
  EXPECT_EQ(load.trace.lines, std::vector<std::string>{"Could n't get File Handle = 32\r\n"});
  EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox("Could n't get File Handle = 32\r\n")});
  EXPECT_TRUE(load.view.status.empty());
  EXPECT_FALSE(load.session.firmware.FirmwareFile.IsOpen());

  Loader none("");
  none.session.firmware.ImagePath.clear();  // no file chosen
  EXPECT_EQ(none.Run(), kFailed);
  EXPECT_EQ(none.view.boxes, std::vector<Box>{FailureBox("Could n't get File Handle = 3\r\n")});
  Loader missing("");
  missing.session.firmware.ImagePath = ScratchDir() / "missing.hex";
  EXPECT_EQ(missing.Run(), kFailed);
  EXPECT_EQ(missing.view.boxes, std::vector<Box>{FailureBox("Could n't get File Handle = 2\r\n")});
}

TEST(LoadFirmwareImage, StreamThatCannotBeOpenedIsReportedWithItsErrorNumber) {
  Loader load("");
  load.session.firmware.ImagePath = ScratchDir() / "missing.hex";
  load.session.firmware.probe_file = [](const std::filesystem::path&) { return 0u; };
  EXPECT_EQ(load.Run(), kFailed);
  EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox("Error in File Open err = 2\r\n")});  // ENOENT
}

TEST(LoadFirmwareImage, ReadErrorIsRefused) {
  Loader load("");
  load.session.firmware.ImagePath = "/proc/self/mem";  // a regular file that opens, but reading its start fails
  load.session.firmware.probe_file = [](const std::filesystem::path&) { return 0u; };
  EXPECT_EQ(load.Run(), kFailed);
  EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox("Firmware File Read Error\r\n")});
  EXPECT_EQ(load.view.status, std::vector<std::string>{"Firmware File Read Error"});
}

}  // namespace
}  // namespace fwup::test
