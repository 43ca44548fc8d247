// The help texts, made from the command table and each command's options, so that they cannot
// drift from what the parser takes; the README shows FullHelp as it is.
#include <CLI/CLI.hpp>

#include "cli/arguments/command.hpp"
#include "cli/arguments/exit_code.hpp"
#include "fwupgrade_version.hpp"
#include "sim/fault.hpp"

namespace fwup::cli {
namespace {

constexpr std::size_t kWidth = 100;
constexpr std::size_t kDescriptionColumn = 30;

// `text` in lines of at most kWidth characters; the first goes after `head`, the others start at
// `indent`.
std::string Wrap(std::string head, std::string_view text, std::size_t indent) {
  std::string wrapped;
  std::string line = std::move(head);
  bool first_word = true;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    if (!first_word && line.size() + 1 + word.size() > kWidth) {
      wrapped += line + "\n";
      line = std::string(indent, ' ');
      first_word = true;
    }
    if (!first_word) line += ' ';
    line += word;
    first_word = false;
    text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
  }
  return wrapped + line + "\n";
}

// A name in the first columns, its description from kDescriptionColumn on.
std::string DescribedLine(std::string head, std::string_view description) {
  if (head.size() + 2 > kDescriptionColumn) {
    return head + "\n" + Wrap(std::string(kDescriptionColumn, ' '), description, kDescriptionColumn);
  }
  head.append(kDescriptionColumn - head.size(), ' ');
  return Wrap(std::move(head), description, kDescriptionColumn);
}

std::string OptionLine(const CLI::Option& option) {
  std::string names = option.get_name(false, true);
  for (std::size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2)) {
    names.insert(comma + 1, " ");
  }
  if (option.get_items_expected_max() > 0) names += " " + option.get_type_name();
  return DescribedLine("  " + names, option.get_description());
}

std::string Section(const CLI::App& command, const CommandEntry& entry) {
  std::string text = "fwupgrade " + command.get_name();
  for (const CLI::Option* option : command.get_options()) {
    if (!option->nonpositional()) text += " " + option->get_name(true);
  }
  text += " [OPTIONS]\n" + Wrap("  ", entry.summary, 2);
  for (const CLI::Option* option : command.get_options()) {
    if (option->nonpositional() && option->get_name() != "--help") text += OptionLine(*option);
  }
  return text;
}

// What --sim-fault's FAULT may be: after each command that takes it, and at the end of the whole
// help.
std::string FaultHelp() {
  return "\n--sim-fault FAULT, a testing aid: faults of the simulated boot loader\n" +
         Wrap("  ", sim::FaultSyntaxHelp(), 2);
}

std::string Footer() {
  std::string footer = "\nExit codes:\n";
  for (const ExitCodeRow& row : kExitCodes) {
    const std::string number = std::to_string(ToInt(row.code));
    footer += std::string(4 - number.size(), ' ') + number + "  " + std::string(row.meaning) + "\n";
  }
  return footer + FaultHelp() +
         "\nExamples:\n"
         "  fwupgrade flash --simulate examples/sample-firmware.hex\n"
         "  fwupgrade list\n"
         "  fwupgrade flash --wait 30 firmware.hex\n"
         "  fwupgrade flash --all firmware.hex\n";
}

}  // namespace

std::string FullHelp(const Parser& parser) {
  std::string text = "fwupgrade " + std::string(kVersion) +
                     ": upgrades the application firmware of a device in Firmware Upgrade Mode, over USB HID.\n\n"
                     "Usage: fwupgrade COMMAND [ARGUMENTS] [OPTIONS]\n"
                     "       fwupgrade --help | --version | COMMAND --help\n\nCommands:\n";
  std::size_t name_width = 0;
  for (const auto& [command, entry] : parser.commands) name_width = std::max(name_width, entry->name.size());
  for (const auto& [command, entry] : parser.commands) {
    text += Wrap("  " + std::string(entry->name) + std::string(name_width - entry->name.size() + 2, ' '),
                 entry->summary, name_width + 4);
  }
  for (const auto& [command, entry] : parser.commands) text += "\n" + Section(*command, *entry);
  return text + Footer();
}

std::string CommandHelp(const CLI::App& command, const CommandEntry& entry) {
  std::string text = Section(command, entry) + DescribedLine("  -h, --help", "print this text");
  if (command.get_option_no_throw("--sim-fault") != nullptr) text += FaultHelp();
  return text;
}

}  // namespace fwup::cli
