// The firmware file loader: signature, line reading, records, and the refusals that keep a
// defective file from ever reaching the erase.
#include "upgrade/load_firmware_image.hpp"

#include <gtest/gtest.h>

#include "image/firmware_file.hpp"
#include "image/parse_firmware.hpp"
#include "support/test_support.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

struct Loader : Rig {
  explicit Loader(const std::string& content) : file(content) {
    session.firmware.ImagePath = file.Path();
    session.firmware.FirmwareImage.fill(0xFF);  // as QueryDeviceInfo leaves it
  }
  std::uint32_t Run() { return LoadFirmwareImage(session.firmware, session.shown); }
  TempFile file;
};

using Pieces = std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>>;

ImageBuffer ImageOf(const Pieces& pieces) {
  ImageBuffer image;
  image.fill(0xFF);
  for (const auto& [address, data] : pieces) std::copy(data.begin(), data.end(), image.begin() + address);
  return image;
}

const std::vector<std::uint8_t> kData = RandomBytes(40, 7);
const std::vector<std::uint8_t> k123 = RandomBytes(123, 11);
const std::vector<std::uint8_t> k16 = RandomBytes(16, 13);
const std::string kBadChecksum = ":0100000011EF\r\n";  // its checksum is EE

std::string LowerCase(std::string text) {
  for (std::size_t i = kSignature.size(); i < text.size(); ++i) text[i] = static_cast<char>(std::tolower(text[i]));
  return text;
}

struct Accepted {
  const char* name;
  std::string content;
  Pieces image;
};

class LoadedFile : public testing::TestWithParam<Accepted> {};

TEST_P(LoadedFile, SetsExactlyItsBytes) {
  Loader load(GetParam().content);
  ASSERT_EQ(load.Run(), 0u) << (load.view.status.empty() ? "" : load.view.status.back());
  EXPECT_EQ(load.session.firmware.FirmwareImage, ImageOf(GetParam().image));
  EXPECT_EQ(load.view.events, (std::vector<std::string>{"progress 10", "status Valid Firmware Signature"}));
  EXPECT_TRUE(load.trace.lines.empty());
  EXPECT_EQ(load.session.firmware.load_report.outcome, LoadOutcome::Loaded);
  EXPECT_TRUE(load.session.firmware.FirmwareFile.IsOpen());  // the caller closes it
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadedFile,
    testing::Values(
        // Nothing after the end record is read.
        Accepted{"EndRecordEnds",
                 kSignature + HexData(0x1000, kData) + kEndRecord + kBadChecksum + "garbage",
                 {{0x1000, kData}}},
        Accepted{
            "RecordOf123BytesIsOneWholeLine", kSignature + HexRecord(0, 0x1000, k123) + kEndRecord, {{0x1000, k123}}},
        Accepted{"LineStartingWithNulIsSkipped",
                 kSignature + std::string("\0:zz\r\n", 6) + HexData(0x1000, kData) + std::string(1, '\0') + "\n" +
                     kEndRecord,
                 {{0x1000, kData}}},
        // Above 64 KiB nothing is stored, nor wrapped round to address 0.
        Accepted{"ExtendedAddressGatesData",
                 kSignature + HexRecord(4, 0, {0x00, 0x01}) + HexData(0x1000, {0xAA}) + HexRecord(4, 0x5555, {0, 0}) +
                     HexData(0x2000, {0xBB}) + HexRecord(4, 0, {0xFF, 0xFF}) + HexRecord(0, 0xFFFF, {1, 2}) +
                     HexRecord(4, 0, {0x01, 0x00}) + HexData(0x3000, {0xCC}) + kEndRecord,
                 {{0x2000, {0xBB}}}},
        Accepted{"RecordPastTheImageIsClipped",
                 kSignature + HexRecord(0, 0xFFF8, k16) + kEndRecord,
                 {{0xFFF8, {k16.begin(), k16.begin() + 8}}}},
        Accepted{"LowerCase",
                 LowerCase(kSignature + HexRecord(4, 0, {0, 0}) + HexData(0xABC0, kData) + kEndRecord),
                 {{0xABC0, kData}}},
        // A segment address of 0x1000 would have put the byte at 0x10010; any end record ends.
        Accepted{"OtherRecordTypesChangeNothing",
                 kSignature + HexRecord(2, 0, {0x10, 0x00}) + HexRecord(3, 0, {0, 0, 0x12, 0x34}) +
                     HexRecord(5, 0, {0, 0, 0x10, 0}) + HexData(0x0010, {0x5A}) + HexRecord(1, 0x1234, {0xAA, 0xBB}) +
                     kBadChecksum,
                 {{0x0010, {0x5A}}}}),
    ByName());

struct Refusal {
  const char* name;
  std::string content;
  std::string status;
  bool checksum_traced;
  const char* reason = "";  // a piece of the defect's reason, for a user who mends the file
};

class RefusedFile : public testing::TestWithParam<Refusal> {};

// Refused with the same text as status, trace line and box; the image keeps only what came
// before the defect.
TEST_P(RefusedFile, FailsWithStatusTraceAndBox) {
  const std::string& status = GetParam().status;
  Loader load(GetParam().content);
  EXPECT_EQ(load.Run(), kFailed);
  const bool signed_file = status != "Invalid Firmware Signature" && !GetParam().content.empty();
  EXPECT_EQ(load.view.progress, signed_file ? std::vector<int>{10} : std::vector<int>{});
  ASSERT_FALSE(load.view.status.empty());
  EXPECT_EQ(load.view.status.back(), status);
  EXPECT_EQ(load.view.events.back(), "box " + status + "\r\n");
  EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox(status + "\r\n")});
  EXPECT_TRUE(load.trace.Has(status + "\r\n"));
  EXPECT_EQ(load.trace.Has("Checksum Error\r\n"), GetParam().checksum_traced);
  EXPECT_TRUE(load.session.firmware.FirmwareFile.IsOpen());  // the caller closes it
  if (!signed_file) {
    EXPECT_EQ(load.session.firmware.FirmwareImage, ImageOf({}));
  }
  const auto& defect = load.session.firmware.load_report.first_defect;
  ASSERT_EQ(defect.has_value(), status.starts_with("Invalid Firmware Record"));
  if (defect) {
    EXPECT_NE(defect->reason.find(GetParam().reason), std::string::npos) << defect->reason;
  }
}

const std::string kBadSignature = "Invalid Firmware Signature";
const std::string kNoEnd = "Invalid Firmware File: No End Record";
const std::string kLine2 = "Invalid Firmware Record at Line 2", kLine3 = "Invalid Firmware Record at Line 3";
const std::string kData16 = HexData(0x1000, RandomBytes(16, 3));

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    testing::Values(
        Refusal{"LowerCaseSignature", "talvork\r\n" + kEndRecord, kBadSignature, false},
        Refusal{"WrongSignature", "TALVORX\r\n" + kEndRecord, kBadSignature, false},
        Refusal{"ShortSignature", "TALVOR", kBadSignature, false},
        Refusal{"SpaceBeforeSignature", " TALVORK\r\n" + kEndRecord, kBadSignature, false},
        Refusal{"Empty", "", "Invalid Firmware File: Empty", false}, Refusal{"SignatureOnly", "TALVORK", kNoEnd, false},
        Refusal{"NoEndRecord", kSignature + kData16, kNoEnd, false},
        Refusal{"CrAloneDoesNotEndALine", kSignature + HexRecord(0, 0x1000, {1, 2}, "\r") + kEndRecord, kNoEnd, false},
        Refusal{"BadChecksum", kSignature + kData16 + kBadChecksum + kEndRecord, kLine3, true,
                "checksum EF, record sums"},
        Refusal{"BlankLine", kSignature + kData16 + "\r\n" + kEndRecord, kLine3, false, "blank line"},
        Refusal{"LeadingSpace", kSignature + " " + kData16 + kEndRecord, kLine2, false, "does not begin with ':'"},
        Refusal{"NoColonGoodChecksum", kSignature + "X0100000011EE\r\n" + kEndRecord, kLine2, false},
        Refusal{"NoColonBadChecksum", kSignature + "X0100000011EF\r\n" + kEndRecord, kLine2, true},
        Refusal{"LoneLfAfterSignature", "TALVORK\n" + HexRecord(0, 0x1000, {0x11}) + kEndRecord, kLine2, false,
                "the signature line does not end in CR LF"},
        Refusal{"CrAloneAfterSignature", "TALVORK\r:01100000559A\r:00000001FF\r", kLine2, false,
                "its lines end in CR alone"},
        Refusal{"ShorterThanItsFields", kSignature + ":0000\r\n" + kEndRecord, kLine2, false, "record too short"},
        Refusal{"CountBeyondTheLine", kSignature + ":10100000AABB\r\n" + kEndRecord, kLine2, false,
                "13 characters where its count calls for 43"},
        Refusal{"ExtendedAddressWithoutData", kSignature + ":00000004FC\r\n" + kEndRecord, kLine2, false},
        Refusal{"ExtendedAddressOneByte", kSignature + HexRecord(4, 0, {0}) + kEndRecord, kLine2, false},
        Refusal{"Record130BytesIsCutShort",
                kSignature + HexRecord(0, 0, std::vector<std::uint8_t>(130, 0x77)) + kEndRecord, kLine2, false,
                "line longer than 259 characters"},
        // The field decoder gives such a character a value, and each checksum was made to count it so.
        Refusal{"NotAHexDigit", kSignature + ":011000000GD8\r\n" + kEndRecord, kLine2, false,
                "'G' at column 11 is not a hex digit"},
        // A defect at the first and last column of the fixed fields; a count that is no number
        // calls for no length.
        Refusal{"NotAHexDigitInTheCount", kSignature + ":G100000011EE\r\n" + kEndRecord, kLine2, false,
                "'G' at column 2 is not a hex digit"},
        Refusal{"NotAHexDigitEndingTheType", kSignature + ":0100000G11EE\r\n" + kEndRecord, kLine2, true,
                "'G' at column 9 is not a hex digit"},
        Refusal{"NotAHexDigitEndingTheChecksum", kSignature + ":0100000011EG\r\n" + kEndRecord, kLine2, true,
                "'G' at column 13 is not a hex digit"},
        Refusal{"ControlByte", kSignature + ":01100000\x01" + "5DA\r\n" + kEndRecord, kLine2, false,
                "byte 0x01 at column 10 is not a hex digit"},
        Refusal{"Space", kSignature + ":01100000 5EA\r\n" + kEndRecord, kLine2, false,
                "a space at column 10 is not a hex digit"},
        Refusal{"NulLineStillCounts", kSignature + std::string("\0:junk\r\n", 8) + kBadChecksum + kEndRecord, kLine3,
                true}),
    ByName());

TEST(LoadFirmwareImage, NothingIsObeyedAfterADefect) {
  Loader load(kSignature + HexData(0x1000, kData) + kBadChecksum + HexRecord(4, 0, {0, 1}) +
              HexData(0x2000, {1, 2, 3}) + kEndRecord + kBadChecksum);
  EXPECT_EQ(load.Run(), kFailed);
  EXPECT_EQ(load.session.firmware.FirmwareImage, ImageOf({{0x1000, kData}}));  // what came before the defect stays
  EXPECT_EQ(load.trace.CountPrefix("Checksum Error\r\n"), 2u);                 // the end record did not end the load
  ASSERT_TRUE(load.session.firmware.load_report.first_defect);
  EXPECT_EQ(load.session.firmware.load_report.first_defect->line, 5u);
  EXPECT_EQ(load.session.firmware.load_report.outcome, LoadOutcome::DefectiveRecord);
}

// 124 bytes make a line of 261 characters: the record is obeyed from its first 259, and the
// leftover, still part of line 2, is a defect.
TEST(LoadFirmwareImage, RecordOf124DataBytesIsObeyedAndItsLineEndIsADefect) {
  const std::vector<std::uint8_t> data = RandomBytes(124, 12);
  for (const char* line_end : {"\r\n", "\n"}) {
    Loader load(kSignature + HexRecord(0, 0x1000, data, line_end) + kEndRecord);
    EXPECT_EQ(load.Run(), kFailed);
    EXPECT_EQ(load.session.firmware.FirmwareImage, ImageOf({{0x1000, data}}));
    EXPECT_EQ(load.view.status, (std::vector<std::string>{"Valid Firmware Signature", kLine2}));
    EXPECT_FALSE(load.trace.Has("Checksum Error\r\n"));
  }
}

// A file that cannot be reached is told with the platform's code or the run-time library's
// error number, and nothing is read.
TEST(LoadFirmwareImage, UnreachableFileIsReportedWithItsCode) {
  const auto probe = [](std::uint32_t code) { return [code](const std::filesystem::path&) { return code; }; };
  struct Case {
    std::filesystem::path path;
    std::function<std::uint32_t(const std::filesystem::path&)> probe;
    std::string text;
  };
  const TempFile good(kSignature + kEndRecord);
  for (const Case& c : {Case{good.Path(), probe(kErrorSharingViolation), "Could n't get File Handle = 32"},
                        Case{"", ProbeFirmwareFile, "Could n't get File Handle = 3"},  // no file chosen
                        Case{good.File("missing.hex"), ProbeFirmwareFile, "Could n't get File Handle = 2"},
                        Case{good.File("missing.hex"), probe(0), "Error in File Open err = 2"},  // ENOENT
                        // A regular file that opens, but reading its start fails.
                        Case{"/proc/self/mem", probe(0), "Firmware File Read Error"}}) {
    Loader load("");
    load.session.firmware.ImagePath = c.path;
    load.session.firmware.probe_file = c.probe;
    EXPECT_EQ(load.Run(), kFailed) << c.text;
    EXPECT_EQ(load.view.boxes, std::vector<Box>{FailureBox(c.text + "\r\n")});
    EXPECT_EQ(load.trace.lines, std::vector<std::string>{c.text + "\r\n"});
    const bool opened = c.text == "Firmware File Read Error";
    EXPECT_EQ(load.view.status, opened ? std::vector<std::string>{c.text} : std::vector<std::string>{});
    EXPECT_EQ(load.session.firmware.FirmwareFile.IsOpen(), opened);
  }
}

// A shell reads the file once and parses those bytes: a read that failed part way fails where
// reading on would have, unless an end record came first. An endless stream is never held whole.
TEST(ParseFirmwareBytes, KeepsTheStreamsRules) {
  const std::string good = kSignature + HexData(0x1000, kData) + HexRecord(0, 0x2000, k123) + kEndRecord;
  std::FILE* endless = popen(("printf '" + kSignature + "'; yes :0100000011EE").c_str(), "r");
  ASSERT_NE(endless, nullptr);
  ImageBuffer scratch;
  EXPECT_EQ(ParseFirmwareFile(endless, scratch).outcome, LoadOutcome::ReadError);
  pclose(endless);
  for (const std::size_t cut :
       {std::size_t{0}, std::size_t{5}, kSignature.size(), std::size_t{40}, good.size() - 1, good.size()}) {
    ImageBuffer image;
    const LoadReport report =
        ParseFirmwareBytes({std::vector<std::uint8_t>(good.begin(), good.begin() + cut), true}, image);
    EXPECT_EQ(report.outcome, cut == good.size() ? LoadOutcome::Loaded : LoadOutcome::ReadError) << cut;
    EXPECT_EQ(report.signature_matched, cut >= kSignature.size()) << cut;
  }
}

}  // namespace
}  // namespace fwup::test
