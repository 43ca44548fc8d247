// What crosses the device link: whole 65-byte reports (byte 0 the HID report ID), and the
// platform error codes a transfer or an open ends with. The codes keep the Windows values, so
// that a code shown to the user means the same thing on every platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace fwup {

inline constexpr std::size_t kReportSize = 65;
using BootReport = std::array<std::uint8_t, kReportSize>;

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
inline constexpr std::uint32_t kErrorTimeout = 1460;

}  // namespace fwup
