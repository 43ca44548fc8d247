// A wire log recorded on a real link (--wire-log, --sim-log), served back to the core: one device
// whose answers are the log's, which checks every request the core writes against the log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ports/hid.hpp"

namespace fwup::test {

struct ReplayState;

class ReplayBus : public HidBus {
 public:
  // The lines of a log, each "[SECONDS ]> BYTES" or "[SECONDS ]< BYTES".
  explicit ReplayBus(const std::string& log);
  ~ReplayBus() override;

  std::unique_ptr<HidEnumeration> Enumerate() override;
  OpenResult Open(const std::string& path, HidAccess access) override;

  // Every line was served and every request matched.
  bool Finished() const;
  // The first request that differed from the log, or a read with no answer there; "" when none.
  std::string Mismatch() const;

 private:
  std::shared_ptr<ReplayState> state_;
};

}  // namespace fwup::test
