// Stable names of the core's outcomes, for what a shell or a test prints or writes as JSON.
#pragma once

#include <string_view>

#include "upgrade/session.hpp"

namespace fwup {

std::string_view NameOf(LoadOutcome outcome);
std::string_view NameOf(RunStep step);
std::string_view NameOf(Verdict verdict);

}  // namespace fwup
