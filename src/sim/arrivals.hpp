// Boards plugged into the sockets of a bench over time, as an operator does it: one every
// `interval` into the first free socket (a board waits while all are taken), each under a path
// of its own. A board leaves its socket once it was reset after the match (it runs its
// application then); after any other reset it comes back in Firmware Upgrade Mode under a new
// path, as a real one would; a board that the tool stopped talking to without a reset is taken
// out after `idle`, and its socket stays empty for `replace_after` (the tool's settle time is
// what tells a replaced board from one that re-enumerates).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/boot_loader.hpp"
#include "sim/sim_bus.hpp"

namespace fwup::sim {

struct ArrivalPlan {
  unsigned sockets = 1;
  std::chrono::milliseconds interval{100};
  std::chrono::milliseconds return_after{300};
  std::chrono::milliseconds idle{1000};
  std::chrono::milliseconds replace_after{3500};
};

struct BoardTimes {
  std::string socket;  // "sim-N"; empty until the board is plugged in
  std::optional<std::chrono::steady_clock::time_point> arrived;
  std::optional<std::chrono::steady_clock::time_point> matched;  // its reset after the match
};

class Arrivals {
 public:
  // The boards arrive in this order, the first at once.
  Arrivals(SimBus& bus, std::vector<std::shared_ptr<BootLoader>> boards, ArrivalPlan plan);
  ~Arrivals();
  Arrivals(const Arrivals&) = delete;
  Arrivals& operator=(const Arrivals&) = delete;

  std::vector<BoardTimes> Times() const;

 private:
  enum class Where { Waiting, In, Away, Gone };
  struct Board {
    std::shared_ptr<BootLoader> device;
    Where where = Where::Waiting;
    unsigned socket = 0;
    std::string path;
    BootLoaderCounters seen;  // when it was plugged in
    std::chrono::steady_clock::time_point back_at{};
    BoardTimes times;
  };

  void Advance(std::chrono::steady_clock::time_point now);
  void Plug(Board& board, unsigned socket, std::chrono::steady_clock::time_point now);

  SimBus& bus_;
  const ArrivalPlan plan_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  mutable std::mutex mutex_;
  std::vector<Board> boards_;
  std::vector<bool> taken_;                                     // per socket
  std::vector<std::chrono::steady_clock::time_point> free_at_;  // per socket
  unsigned plugs_ = 0;
  std::jthread ticker_;  // the last member: stopped first
};

}  // namespace fwup::sim
