#include "cli/region.hpp"

#include <charconv>
#include <string>

#include "cli/cli_error.hpp"
#include "image/firmware_image.hpp"
#include "device/boot_report.hpp"

namespace fwup::cli {
namespace {

bool ParseNumber(std::string_view text, std::uint32_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace

Region ParseRegion(std::string_view text) {
  const std::string quoted = "--region '" + std::string(text) + "'";
  const auto colon = text.find(':');
  Region region;
  if (colon == std::string_view::npos || !ParseNumber(text.substr(0, colon), region.start) ||
      !ParseNumber(text.substr(colon + 1), region.size)) {
    throw CliError(ExitCode::kUsage, quoted + ": give START:SIZE, for example 4096:57344 or 0x1000:0xE000");
  }
  if (std::uint64_t{region.start} + region.size > kImageSize) {
    throw CliError(ExitCode::kUsage, quoted + ": the region must end inside the 64 KiB image (START + SIZE <= 65536)");
  }
  return region;
}

Region DefaultRegion() { return {kModelRegionStart, kModelRegionSize}; }

}  // namespace fwup::cli
