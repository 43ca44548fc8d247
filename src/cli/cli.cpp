#include "cli/cli.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

#include "cli/arguments/command.hpp"
#include "cli/flash/devices.hpp"

namespace fwup::cli {
namespace {

void Report(Console& console, const Options& options, Json& result, ExitCode code,
            const std::vector<CliError>& errors) {
  if (options.json) {
    result["exit_code"] = ToInt(code);
    if (!errors.empty()) {
      std::string message = errors.front().what();
      for (std::size_t i = 1; i < errors.size(); ++i) message += "; also: " + std::string(errors[i].what());
      result["error"] = ErrorJson(errors.front().code(), message);
    }
    console.out << result.Dump() << std::flush;
    return;
  }
  for (const CliError& error : errors) console.err << "fwupgrade: " << error.what() << '\n';
  console.err << std::flush;
}

// What is wrong with the first argument that looks like an option but is none of `command`'s,
// before any "--": a value that begins with '-', a file name that does, or a mistyped option.
std::optional<std::string> UnknownOption(CLI::App& command, const std::vector<std::string>& args) {
  bool past_command = false;
  CLI::Option* takes_value = nullptr;  // the option before, when it wants a value
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (!past_command) {
      past_command = arg == command.get_name();
      continue;
    }
    CLI::Option* before = std::exchange(takes_value, nullptr);
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.substr(0, arg.find('='));
    CLI::Option* option = command.get_option_no_throw(name);
    if (option != nullptr) {
      if (arg.find('=') == std::string::npos && option->get_items_expected_min() > 0) takes_value = option;
      continue;
    }
    if (name == "-h" || name == "--help") continue;
    const std::string quoted = "'" + arg + "'";
    if (before != nullptr) {
      // A negative number was meant as the value: say the range it must be in.
      const bool number = std::isdigit(static_cast<unsigned char>(arg[1])) != 0 || arg[1] == '.';
      if (const std::string range = number ? RangeError(*before, arg) : ""; !range.empty()) return range;
      return before->get_name() + " needs a value, and " + quoted + " is not one it takes";
    }
    if (command.get_option_no_throw("FILE") != nullptr) {
      return quoted + " is not an option of " + command.get_name() +
             "; a file whose name begins with '-' goes after '--', as in 'fwupgrade " + command.get_name() + " -- " +
             arg + "'";
    }
    return quoted + " is not an option of " + command.get_name();
  }
  return std::nullopt;
}

// Every usage error as the user sees it, whether the parser or a command found it: one prefix, and
// the help that says how it is done.
CliError UsageError(const std::string& message, const std::string& help) {
  return CliError(ExitCode::kUsage, "usage error: " + message + "; see '" + help + "'");
}

int RunCommand(const std::vector<std::string>& args, Console& console, const Platform& platform) {
  Options options;
  Parser parser = BuildParser(options);
  const CommandEntry* chosen = nullptr;
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    parser.app->parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::string help = FullHelp(parser);
    for (const auto& [command, entry] : parser.commands) {
      if (command->parsed()) help = CommandHelp(*command, *entry);
    }
    console.out << help;
    return ToInt(ExitCode::kSuccess);
  } catch (const CLI::CallForVersion& version) {
    console.out << version.what() << '\n';
    return ToInt(ExitCode::kSuccess);
  } catch (const CLI::ParseError& error) {
    const auto subcommands = parser.app->get_subcommands();
    // JSON was asked for, by a command that has --json.
    options.json = std::find(args.begin(), args.end(), "--json") != args.end() &&
                   (subcommands.empty() || subcommands.front()->get_option_no_throw("--json") != nullptr);
    std::string message = error.what();
    if (subcommands.empty() && !args.empty() && !args.front().empty() && args.front()[0] != '-') {
      message = "unknown command '" + args.front() + "'; the commands are";
      for (const auto& [command, entry] : parser.commands) message += " " + std::string(entry->name);
    } else if (!subcommands.empty()) {
      if (const auto unknown = UnknownOption(*subcommands.front(), args)) message = *unknown;
    }
    const std::string help =
        subcommands.empty() ? "fwupgrade --help" : "fwupgrade " + subcommands.front()->get_name() + " --help";
    Json result = Json::Object();
    result["command"] = subcommands.empty() ? Json() : Json(subcommands.front()->get_name());
    Report(console, options, result, ExitCode::kUsage, {UsageError(message, help)});
    return ToInt(ExitCode::kUsage);
  }
  bool reaches_devices = false;
  for (const auto& [command, entry] : parser.commands) {
    if (!command->parsed()) continue;
    chosen = entry;
    reaches_devices = command->get_option_no_throw("--simulate") != nullptr;
  }
  // A command that may reach a device takes Ctrl-C before its first step, so that a stop while
  // the file is checked or the tool waits is said like any other; check and image never take it.
  if (reaches_devices && platform.take_stop_signals) platform.take_stop_signals();

  Context context{console, options, platform, Json::Object(), nullptr};
  context.result["command"] = chosen->name;
  ExitCode code = ExitCode::kInternal;
  std::vector<CliError> errors;
  // A command throws a usage error with its bare cause; it is said as the parser's are.
  const auto take = [&errors, chosen](const CliError& error) {
    errors.push_back(error.code() == ExitCode::kUsage
                         ? UsageError(error.what(), "fwupgrade " + std::string(chosen->name) + " --help")
                         : error);
  };
  try {
    code = chosen->run(context);
  } catch (const CliError& error) {
    take(error);
  } catch (const std::exception& error) {
    errors.emplace_back(ExitCode::kInternal, "unexpected failure: " + std::string(error.what()) + "; please report it");
  }
  // The simulator's files and the wire log are written however the command ended.
  if (context.devices) {
    try {
      context.devices->WriteOutputs(options);
    } catch (const CliError& error) {
      take(error);
    }
  }
  if (!errors.empty()) code = errors.front().code();
  Report(console, options, context.result, code, errors);
  return ToInt(code);
}

}  // namespace

int Run(const std::vector<std::string>& args, Console& console, const Platform& platform) {
  int code = RunCommand(args, console, platform);
  console.out.flush();
  // Whatever was lost, the run went on: a run that failed keeps its code.
  if (const std::string why = console.out_failure ? console.out_failure() : ""; !why.empty()) {
    console.err << "fwupgrade: cannot write to standard output: " << why << '\n' << std::flush;
    if (code == ToInt(ExitCode::kSuccess)) code = ToInt(ExitCode::kOutputFailed);
  }
  return code;
}

}  // namespace fwup::cli
