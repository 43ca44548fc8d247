// Files made by independent tools (GNU objcopy, srec_cat) load into exactly their raw bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/test_support.hpp"
#include "upgrade/load_firmware_image.hpp"

namespace fwup::test {
namespace {

using test::PrintTo;

struct ToolCase {
  const char* name;
  const char* tool;
  const char* arguments;  // %IN% and %OUT% stand for the files
  std::size_t size;
  std::uint32_t address;
  const char* emitted;  // a piece of the output this case is meant to cover
};

std::string Expand(std::string text, const std::string& in, const std::string& out) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"%IN%", in}, {"%OUT%", out}}) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  }
  return text;
}

class IndependentTool : public testing::TestWithParam<ToolCase> {};

TEST_P(IndependentTool, FileLoadsIntoItsRawBytes) {
  const ToolCase& c = GetParam();
  if (std::system(("command -v " + std::string(c.tool) + " >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << c.tool << " is not installed (Debian packages binutils, srecord)";
  }
  const std::vector<std::uint8_t> raw = RandomBytes(c.size, static_cast<unsigned>(c.size));
  const TempFile in(std::string(raw.begin(), raw.end()), ".bin");
  const TempFile out("");
  const std::string command = std::string(c.tool) + " " + Expand(c.arguments, in.Path().string(), out.Path().string());
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::stringstream hex;
  hex << std::ifstream(out.Path(), std::ios::binary).rdbuf();
  ASSERT_NE(hex.str().find(c.emitted), std::string::npos) << hex.str().substr(0, 200);

  const TempFile firmware(kSignature + hex.str());
  sim::SimBus bus;
  RecordingView view;
  RecordingTrace trace;
  Session session(bus, view, trace);
  session.firmware.ImagePath = firmware.Path();
  session.firmware.FirmwareImage.fill(0xFF);
  ASSERT_EQ(LoadFirmwareImage(session.firmware, session.shown), 0u) << (view.status.empty() ? "" : view.status.back());
  ImageBuffer expected;
  expected.fill(0xFF);
  for (std::size_t i = 0; i < raw.size() && c.address + i < expected.size(); ++i) expected[c.address + i] = raw[i];
  EXPECT_EQ(session.firmware.FirmwareImage, expected);
  EXPECT_TRUE(trace.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tools, IndependentTool,
    testing::Values(ToolCase{"Objcopy", "objcopy", "-I binary -O ihex --change-addresses 0x1000 %IN% %OUT%", 3001,
                             0x1000, "\r\n"},
                    ToolCase{"ObjcopyWholeRegion", "objcopy", "-I binary -O ihex --change-addresses 0x1000 %IN% %OUT%",
                             57344, 0x1000, ":04000003"},
                    ToolCase{"SrecCat", "srec_cat", "%IN% -binary -offset 0x1000 -o %OUT% -intel", 3001, 0x1000,
                             ":020000040000FA\n"},
                    ToolCase{"SrecCat123BytesCrLf", "srec_cat",
                             "%IN% -binary -offset 0x1000 -o %OUT% -intel -obs=123 -crlf", 5000, 0x1000, ":7B"},
                    ToolCase{"SrecCat16BytesStartAddress", "srec_cat",
                             "%IN% -binary -offset 0x1000 -execution-start-address=0x1000 -o %OUT% -intel -obs=16", 777,
                             0x1000, ":0400000500001000E7"},
                    ToolCase{"SrecCatPast64KiB", "srec_cat", "%IN% -binary -offset 0xFF00 -o %OUT% -intel", 512, 0xFF00,
                             ":020000040001F9"}),
    ByName());

}  // namespace
}  // namespace fwup::test
