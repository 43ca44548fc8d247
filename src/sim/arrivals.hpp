// Boards plugged into the sockets of a bench over time, as an operator does it: one every
// `interval` into the first free socket (a board waits while all are taken), each under a path
// of its own. A board leaves its socket once it was reset after the match (it runs its
// application then); after any other reset it comes back in Firmware Upgrade Mode under a new
// path, as a real one would. A board that the tool stopped talking to without a reset, or did not
// speak to again after one, is taken out after `idle` (the tool gave up on it), and its socket
// stays empty for `replace_after` (the tool's settle time is what tells a replaced board from one
// that re-enumerates). A board is made as it is first plugged in and dropped once it is gone for
// good: a plan of a million boards holds only those on the bench.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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
  std::uint32_t boards = 1;  // how many arrive in all
  std::chrono::milliseconds interval{100};
  std::chrono::milliseconds return_after{300};
  std::chrono::milliseconds idle{1000};
  std::chrono::milliseconds replace_after{3500};
  // Keep the times of the boards that left too, for a benchmark of a bounded number of boards.
  bool keep_times = false;
};

// Makes board `number` (1 for the first to arrive) when it is plugged in for the first time.
using BoardFactory = std::function<std::shared_ptr<BootLoader>(std::uint32_t number)>;

// "B@MS": B boards (1 to 1000000), one every MS milliseconds (0 to 60000), into `plan`; false,
// with `why` set, for a text that is wrong.
bool ParseArrivals(std::string_view text, ArrivalPlan& plan, std::string* why);

struct BoardTimes {
  std::string socket;  // "sim-N"; empty until the board is plugged in
  std::optional<std::chrono::steady_clock::time_point> arrived;
  std::optional<std::chrono::steady_clock::time_point> matched;  // its reset after the match
};

class Arrivals {
 public:
  // The boards arrive in number order, the first at once.
  Arrivals(SimBus& bus, BoardFactory make_board, ArrivalPlan plan);

  // The times of the boards on the bench; with keep_times, of those that left it too.
  std::vector<BoardTimes> Times() const;

 private:
  enum class Where { In, Away, Gone };
  struct Board {
    std::shared_ptr<BootLoader> device;
    Where where = Where::In;
    unsigned socket = 0;
    std::string path;
    BootLoaderCounters seen;  // when it was plugged in
    std::chrono::steady_clock::time_point back_at{};
    BoardTimes times;
  };

  void Advance(std::chrono::steady_clock::time_point now);
  void Plug(Board& board, unsigned socket, std::chrono::steady_clock::time_point now);

  SimBus& bus_;
  const BoardFactory make_board_;
  const ArrivalPlan plan_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  mutable std::mutex mutex_;
  std::vector<Board> bench_;      // plugged in, or away for a reset: at most one per socket
  std::vector<BoardTimes> left_;  // with keep_times
  std::uint32_t arrived_ = 0;
  std::vector<bool> taken_;                                     // per socket
  std::vector<std::chrono::steady_clock::time_point> free_at_;  // per socket
  unsigned plugs_ = 0;
  std::jthread ticker_;  // the last member: stopped and joined before the others go
};

}  // namespace fwup::sim
