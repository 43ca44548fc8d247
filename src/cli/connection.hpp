// Connecting as the dialog does when it starts: the walk, the ready exchange and the two version
// queries, then what the command line adds: a found device that could not be opened is said so,
// with what to do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/exit_code.hpp"
#include "upgrade/session.hpp"

namespace fwup::cli {

struct ConnectResult {
  ExitCode code = ExitCode::kSuccess;
  std::string error;   // one line, when code is not kSuccess
  std::string result;  // a short text for a summary: "Device Not Found", ...
};

// The dialog's "Device Not Found,..." and what the command line adds: where it looked.
std::string NoDeviceText(const std::optional<std::string>& only_path);

ConnectResult ConnectAsDialog(Session& session, std::string_view access_denied_advice);

// How a failed transfer is told to a user.
std::string TransferText(const TransferResult& result);

}  // namespace fwup::cli
