#include "sim/fault.hpp"

#include <array>
#include <utility>

#include "device/boot_report.hpp"
#include "ports/parse_number.hpp"

namespace fwup::sim {
namespace {

constexpr std::array<std::pair<std::string_view, FaultKind>, 7> kKinds = {{
    {"fail-write", FaultKind::FailWrite},
    {"fail-read", FaultKind::FailRead},
    {"no-answer", FaultKind::NoAnswer},
    {"late-answer", FaultKind::LateAnswer},
    {"wrong-code", FaultKind::WrongAnswerCode},
    {"verdict", FaultKind::Verdict},
    {"disconnect", FaultKind::Disconnect},
}};

constexpr std::array<std::pair<std::string_view, Command>, 9> kCommands = {{
    {"ready", Command::CMD_APP_READY},
    {"app-version", Command::CMD_QUERY_APP_VERSION},
    {"boot-version", Command::CMD_QUERY_BOOT_VERSION},
    {"info", Command::CMD_QUERY_DEVICE_INFO},
    {"erase", Command::CMD_DEVICE_ERASE},
    {"program", Command::CMD_PROGRAM_WRITE},
    {"end", Command::CMD_PROGRAM_END},
    {"crc", Command::CMD_CRC_CHECK},
    {"reset", Command::CMD_RESET_DEVICE},
}};

bool ParseNumber(std::string_view text, std::uint32_t& value, int base) { return ParseU32(text, value, base, false); }

std::nullopt_t Refuse(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return std::nullopt;
}

// What follows the first `mark` in `text`, which keeps what comes before it; empty without one.
std::string_view SplitOff(std::string_view& text, char mark) {
  const auto at = text.find(mark);
  if (at == std::string_view::npos) return {};
  const std::string_view after = text.substr(at + 1);
  text = text.substr(0, at);
  return after;
}

template <typename T, std::size_t N>
std::optional<T> Find(const std::array<std::pair<std::string_view, T>, N>& names, std::string_view name) {
  for (const auto& [known, value] : names) {
    if (name == known) return value;
  }
  return std::nullopt;
}

bool ParseWhere(std::string_view where, Fault& fault) {
  std::string_view name = where;
  if (const auto hash = where.find('#'); hash != std::string_view::npos) {
    name = where.substr(0, hash);
    if (!ParseNumber(where.substr(hash + 1), fault.occurrence, 10) || fault.occurrence == 0) return false;
  }
  if (const std::optional<Command> command = Find(kCommands, name)) {
    fault.command = CodeOf(*command);
    return true;
  }
  return name == where && ParseNumber(where, fault.at, 10) && fault.at != 0;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view text, std::string* why) {
  Fault fault;
  const std::string_view value = SplitOff(text, ':');
  const std::string_view where = SplitOff(text, '@');
  const std::optional<FaultKind> kind = Find(kKinds, text);
  if (!kind) return Refuse(why, "unknown fault '" + std::string(text) + "'");
  fault.kind = *kind;
  if (fault.kind == FaultKind::Verdict) {
    fault.command = CodeOf(Command::CMD_CRC_CHECK);
  } else if (where.empty() || !ParseWhere(where, fault)) {
    return Refuse(why, "fault '" + std::string(text) + "' needs @TRANSFER or @COMMAND[#N]");
  }

  std::uint32_t number = 0;
  switch (fault.kind) {
    case FaultKind::FailWrite:
    case FaultKind::FailRead:
      if (!value.empty() && !ParseNumber(value, fault.error, 10)) return Refuse(why, "bad error code");
      break;
    case FaultKind::WrongAnswerCode:
    case FaultKind::Verdict:
      if (!ParseNumber(value, number, 16) || number > 0xFF) return Refuse(why, "needs a byte value in hex");
      fault.value = static_cast<std::uint8_t>(number);
      break;
    default:
      if (!value.empty()) return Refuse(why, "fault '" + std::string(text) + "' takes no value");
      break;
  }
  return fault;
}

std::string_view FaultSyntaxHelp() {
  return "KIND@WHERE[:VALUE]. KIND: fail-write, fail-read (VALUE: error code, decimal; 0 means the "
         "call returned FALSE with last error 0), no-answer, late-answer, wrong-code (VALUE: code byte, "
         "hex), disconnect, verdict:VALUE (checksum verdict byte, hex; no WHERE). WHERE: a transfer "
         "number (writes and reads counted together from 1) or a request: ready, app-version, "
         "boot-version, info, erase, program, end, crc, reset, with #N for its N-th time.";
}

std::optional<NumberedFault> ParseNumberedFault(std::string_view text, unsigned count, std::string_view what,
                                                std::string_view from, std::string* why) {
  NumberedFault numbered_fault;
  if (const auto equals = text.find('='); equals != std::string_view::npos) {
    std::uint32_t& device = numbered_fault.device;
    if (!ParseNumber(text.substr(0, equals), device, 10) || device == 0 || device > count) {
      return Refuse(why, "the " + std::string(what) + " number must be 1 to " + std::to_string(count) + " (" +
                             std::string(from) + ")");
    }
    text.remove_prefix(equals + 1);
  } else if (count == 0) {
    return Refuse(why, "there is no simulated device (--sim-devices 0)");
  }
  const std::optional<Fault> fault = ParseFault(text, why);
  if (!fault) return std::nullopt;
  numbered_fault.fault = *fault;
  return numbered_fault;
}

}  // namespace fwup::sim
