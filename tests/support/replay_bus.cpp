#include "support/replay_bus.hpp"

#include <mutex>
#include <sstream>

#include "sim/sim_bus.hpp"

namespace fwup::test {

struct ReplayLine {
  char direction;
  BootReport report;
};

struct ReplayState {
  std::mutex mutex;
  std::vector<ReplayLine> lines;
  std::size_t next = 0;
  std::string mismatch;

  void Fail(const std::string& what) {
    if (mismatch.empty()) mismatch = "line " + std::to_string(next + 1) + ": " + what;
  }
};

namespace {

constexpr const char* kPath = "replay:1";

std::string Hex(const BootReport& report) {
  std::ostringstream out;
  out << std::hex << std::uppercase;
  for (const std::uint8_t byte : report) out << ' ' << (byte < 16 ? "0" : "") << static_cast<int>(byte);
  return out.str();
}

class ReplayEnumeration : public HidEnumeration {
 public:
  bool InterfaceAt(std::uint32_t index) override { return index == 0; }
  std::optional<std::u16string> HardwareId(std::uint32_t) override {
    return std::u16string(sim::kBootLoaderHardwareId);
  }
  std::optional<std::string> DevicePath(std::uint32_t) override { return kPath; }
};

class ReplayLink : public HidLink {
 public:
  explicit ReplayLink(std::shared_ptr<ReplayState> state) : state_(std::move(state)) {}

  TransferResult Write(const BootReport& report, std::chrono::milliseconds) override {
    const std::lock_guard lock(state_->mutex);
    ReplayState& state = *state_;
    if (!state.mismatch.empty()) return TransferResult::Failed(kErrorGenFailure);
    if (state.next >= state.lines.size() || state.lines[state.next].direction != '>') {
      state.Fail("the core wrote" + Hex(report) + " where the log has no request");
    } else if (state.lines[state.next].report != report) {
      state.Fail("the core wrote" + Hex(report) + " where the log has" + Hex(state.lines[state.next].report));
    } else {
      ++state.next;
      return TransferResult::Done();
    }
    return TransferResult::Failed(kErrorGenFailure);
  }

  // An answer the log does not hold next never comes: the read runs out of time.
  TransferResult Read(BootReport& report, std::chrono::milliseconds) override {
    const std::lock_guard lock(state_->mutex);
    ReplayState& state = *state_;
    if (state.next >= state.lines.size() || state.lines[state.next].direction != '<') {
      return TransferResult::Failed(kErrorTimeout);
    }
    report = state.lines[state.next++].report;
    return TransferResult::Done();
  }

 private:
  std::shared_ptr<ReplayState> state_;
};

}  // namespace

ReplayBus::ReplayBus(const std::string& log) : state_(std::make_shared<ReplayState>()) {
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first != ">" && first != "<") fields >> first;  // the seconds of a --wire-log line
    ReplayLine entry{first.empty() ? '?' : first[0], {}};
    for (std::uint8_t& byte : entry.report) {
      unsigned value = 0;
      fields >> std::hex >> value;
      byte = static_cast<std::uint8_t>(value);
    }
    if ((entry.direction != '>' && entry.direction != '<') || fields.fail()) {
      throw std::invalid_argument("not a wire log line: " + line);
    }
    state_->lines.push_back(entry);
  }
}

ReplayBus::~ReplayBus() = default;

std::unique_ptr<HidEnumeration> ReplayBus::Enumerate() { return std::make_unique<ReplayEnumeration>(); }

OpenResult ReplayBus::Open(const std::string& path, HidAccess) {
  if (path != kPath) return {nullptr, kErrorFileNotFound};
  return {std::make_unique<ReplayLink>(state_), kErrorSuccess};
}

bool ReplayBus::Finished() const {
  const std::lock_guard lock(state_->mutex);
  return state_->mismatch.empty() && state_->next == state_->lines.size();
}

std::string ReplayBus::Mismatch() const {
  const std::lock_guard lock(state_->mutex);
  return state_->mismatch;
}

}  // namespace fwup::test
