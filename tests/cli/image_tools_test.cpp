// Files that general-purpose tools (GNU objcopy, srec_cat) made from binary data: fwupgrade image
// gives exactly those bytes at their addresses, over erased bytes, whatever the tool's record
// sizes, line ends, address and start records.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli_runner.hpp"

namespace fwup::cli::testing {
namespace {

using test::PrintTo;

struct ToolCase {
  const char* name;
  const char* tool;
  std::vector<std::pair<std::size_t, std::uint32_t>> blocks;  // size and address of each binary
  const char* arguments;  // %0, %1, ... stand for the binaries, %OUT for the file made
  const char* emitted;    // a piece of the tool's file this case is meant to cover
};

class ImageOfToolsFile : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ImageOfToolsFile, IsItsBinariesOverErasedBytes) {
  const ToolCase& c = GetParam();
  if (std::system(("command -v " + std::string(c.tool) + " >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << c.tool << " is not installed (Debian packages binutils, srecord)";
  }
  ScratchDir scratch;
  std::vector<std::uint8_t> expected(65536, 0xFF);
  std::string command = std::string(c.tool) + " " + c.arguments;
  for (std::size_t i = 0; i < c.blocks.size(); ++i) {
    const auto [size, address] = c.blocks[i];
    const std::vector<std::uint8_t> bytes = test::RandomBytes(size, static_cast<unsigned>(size + i));
    const std::string bin = scratch.File(std::to_string(i) + ".bin");
    WriteFileText(bin, std::string(bytes.begin(), bytes.end()));
    for (std::size_t k = 0; k < size && address + k < expected.size(); ++k) expected[address + k] = bytes[k];
    command.replace(command.find("%" + std::to_string(i)), 2, bin);
  }
  const std::string hex = scratch.File("tool.hex");
  command.replace(command.find("%OUT"), 4, hex);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string made = ReadFileText(hex);
  ASSERT_NE(made.find(c.emitted), std::string::npos) << made.substr(0, 200);
  WriteFileText(scratch.File("firmware.hex"), kSignatureLine + made);
  const CliRun run = RunCli({"image", scratch.File("firmware.hex"), "-o", scratch.File("image.bin")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(scratch.File("image.bin")), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ImageOfToolsFile,
    ::testing::Values(
        ToolCase{"Objcopy", "objcopy", {{3001, 0x1000}}, "-I binary -O ihex --change-addresses 0x1000 %0 %OUT", "\r\n"},
        ToolCase{
            "SrecCatLf", "srec_cat", {{3001, 0x1000}}, "%0 -binary -offset 0x1000 -o %OUT -intel", ":020000040000FA\n"},
        ToolCase{"SrecCat123BytesCrLf",
                 "srec_cat",
                 {{5000, 0x1000}},
                 "%0 -binary -offset 0x1000 -o %OUT -intel -obs=123 -crlf",
                 ":7B"},
        // Blocks with gaps, up to the top of the image and past it.
        ToolCase{"SrecCatBlocksPast64KiB",
                 "srec_cat",
                 {{4096, 0x1000}, {300, 0xC011}, {512, 0xFF00}},
                 "%0 -binary -offset 0x1000 %1 -binary -offset 0xC011 %2 -binary -offset 0xFF00 -o %OUT -intel",
                 ":020000040001F9"}),
    test::ByName());

}  // namespace
}  // namespace fwup::cli::testing
