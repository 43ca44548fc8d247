// fwupgrade image against general-purpose tools: a file that GNU objcopy or srec_cat made from
// binary data gives, byte for byte, the image that the same tool makes from that file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

bool HaveTool(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

void Shell(const std::string& command) { ASSERT_EQ(std::system((command + " 2>&1").c_str()), 0) << command; }

void WriteRandomBinary(const std::string& path, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::ofstream out(path, std::ios::binary);
  for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(random() & 0xFF));
}

// The signature line, then the tool's file as it is.
std::string AsFirmwareFile(ScratchDir& scratch, const std::string& hex) {
  const std::string firmware = scratch.File("firmware.hex");
  WriteFileText(firmware, kSignatureLine + ReadFileText(hex));
  return firmware;
}

std::vector<std::uint8_t> Image(ScratchDir& scratch, const std::string& firmware) {
  const std::string image = scratch.File("image.bin");
  const CliRun run = RunCli({"image", firmware, "-o", image});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return run.exit_code == 0 ? ReadFileBytes(image) : std::vector<std::uint8_t>{};
}

// Its lines without the end record, so that a second file can follow.
std::string WithoutEndRecord(const std::string& text) {
  const std::size_t end = text.find(":00000001FF");
  return text.substr(0, end);
}

TEST(ImageAgainstObjcopy, TwoBlocksWithAGapAndAStartAddressRecord) {
  if (!HaveTool("objcopy")) GTEST_SKIP() << "GNU objcopy is not installed (Debian package binutils)";
  ScratchDir scratch;
  WriteRandomBinary(scratch.File("low.bin"), 2000, 1);
  WriteRandomBinary(scratch.File("high.bin"), 777, 2);
  Shell("objcopy -I binary -O ihex --change-addresses 0x1234 " + scratch.File("low.bin") + " " +
        scratch.File("low.hex"));
  Shell("objcopy -I binary -O ihex --change-addresses 0x9000 " + scratch.File("high.bin") + " " +
        scratch.File("high.hex"));
  const std::string both = scratch.File("both.hex");
  WriteFileText(both, WithoutEndRecord(ReadFileText(scratch.File("low.hex"))) + ReadFileText(scratch.File("high.hex")));
  ASSERT_NE(ReadFileText(both).find(":04000003"), std::string::npos);  // objcopy's start address: ignored

  // objcopy's image runs from the lowest address to the 64 KiB pad, gaps filled with 0xFF.
  Shell("objcopy -I ihex -O binary --gap-fill 0xff --pad-to 0x10000 " + both + " " + scratch.File("reference.bin"));
  const std::vector<std::uint8_t> reference = ReadFileBytes(scratch.File("reference.bin"));
  ASSERT_EQ(reference.size(), 0x10000u - 0x1234u);

  const std::vector<std::uint8_t> image = Image(scratch, AsFirmwareFile(scratch, both));
  ASSERT_EQ(image.size(), 65536u);
  EXPECT_TRUE(std::all_of(image.begin(), image.begin() + 0x1234, [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(reference.begin(), reference.end(), image.begin() + 0x1234));
}

TEST(ImageAgainstSrecCat, BlocksUpToTheTopOfTheImage) {
  if (!HaveTool("srec_cat")) GTEST_SKIP() << "srec_cat is not installed (Debian package srecord)";
  ScratchDir scratch;
  WriteRandomBinary(scratch.File("a.bin"), 4096, 3);
  WriteRandomBinary(scratch.File("b.bin"), 300, 4);
  WriteRandomBinary(scratch.File("c.bin"), 256, 5);
  const std::string hex = scratch.File("tool.hex");
  Shell("srec_cat " + scratch.File("a.bin") + " -binary -offset 0x1000 " + scratch.File("b.bin") +
        " -binary -offset 0xC011 " + scratch.File("c.bin") + " -binary -offset 0xFF00 -o " + hex + " -intel");
  Shell("srec_cat " + hex + " -intel -fill 0xFF 0x0000 0x10000 -o " + scratch.File("reference.bin") + " -binary");
  const std::vector<std::uint8_t> reference = ReadFileBytes(scratch.File("reference.bin"));
  ASSERT_EQ(reference.size(), 65536u);
  EXPECT_EQ(Image(scratch, AsFirmwareFile(scratch, hex)), reference);
}

TEST(ImageAgainstSrecCat, LongRecordsOf120Bytes) {
  if (!HaveTool("srec_cat")) GTEST_SKIP() << "srec_cat is not installed (Debian package srecord)";
  ScratchDir scratch;
  WriteRandomBinary(scratch.File("a.bin"), 5000, 6);
  const std::string hex = scratch.File("tool.hex");
  Shell("srec_cat " + scratch.File("a.bin") + " -binary -offset 0x2345 -o " + hex + " -intel -Output_Block_Size 120");
  ASSERT_NE(ReadFileText(hex).find(":78"), std::string::npos);  // records of 0x78 = 120 bytes
  Shell("srec_cat " + hex + " -intel -fill 0xFF 0x0000 0x10000 -o " + scratch.File("reference.bin") + " -binary");
  EXPECT_EQ(Image(scratch, AsFirmwareFile(scratch, hex)), ReadFileBytes(scratch.File("reference.bin")));
}

}  // namespace
}  // namespace fwup::cli::testing
