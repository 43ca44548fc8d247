// The names --json gives the core's outcomes.
#pragma once

#include <string_view>

#include "upgrade/session.hpp"

namespace fwup::cli {

std::string_view NameOf(LoadOutcome outcome);
std::string_view NameOf(RunStep step);
std::string_view NameOf(Verdict verdict);

}  // namespace fwup::cli
