#pragma once

#include <cstdint>

namespace fwup {

// What an upgrade stage returns; callers only test it for non-zero.
inline constexpr std::uint32_t kStageSuccess = 0;
inline constexpr std::uint32_t kErrorFunctionFailed = 1627;

}  // namespace fwup
