#include "upgrade/outcome_names.hpp"

#include <array>

namespace fwup {
namespace {

// `names` in the order of the enumerators, which count from 0.
template <typename Enum, std::size_t N>
std::string_view NameIn(const std::array<std::string_view, N>& names, Enum value) {
  const auto index = static_cast<std::size_t>(value);
  return index < N ? names[index] : "unknown";
}

}  // namespace

std::string_view NameOf(LoadOutcome outcome) {
  static constexpr std::array<std::string_view, 9> kNames = {
      "not-run",       "loaded",     "cannot-open",        "cannot-open-stream",
      "bad-signature", "empty-file", "missing-end-record", "defective-record",
      "read-error"};
  static_assert(kNames.size() == static_cast<std::size_t>(LoadOutcome::ReadError) + 1);
  return NameIn(kNames, outcome);
}

std::string_view NameOf(RunStep step) {
  static constexpr std::array<std::string_view, 13> kNames = {
      "not-run",     "device-info", "load-image",   "refused", "erase",       "active-check", "program-write",
      "program-end", "crc-send",    "crc-response", "reset",   "interrupted", "done"};
  static_assert(kNames.size() == static_cast<std::size_t>(RunStep::Done) + 1);
  return NameIn(kNames, step);
}

std::string_view NameOf(Verdict verdict) {
  static constexpr std::array<std::string_view, 4> kNames = {"none", "match", "mismatch", "no-verdict"};
  static_assert(kNames.size() == static_cast<std::size_t>(Verdict::NoVerdict) + 1);
  return NameIn(kNames, verdict);
}

}  // namespace fwup
