#include "sim/arrivals.hpp"

#include <algorithm>

#include "ports/parse_number.hpp"

namespace fwup::sim {

bool ParseArrivals(std::string_view text, ArrivalPlan& plan, std::string* why) {
  const std::size_t at = text.find('@');
  std::uint32_t boards = 0;
  std::uint32_t interval = 0;
  if (at == std::string_view::npos || !ParseU32(text.substr(0, at), boards, 10, false) ||
      !ParseU32(text.substr(at + 1), interval, 10, false) || boards == 0 || boards > 1000000 || interval > 60000) {
    if (why != nullptr)
      *why = "give B@MS, B boards (1 to 1000000) one every MS milliseconds (0 to 60000), e.g. 100@250";
    return false;
  }
  plan.boards = boards;
  plan.interval = std::chrono::milliseconds(interval);
  return true;
}

Arrivals::Arrivals(SimBus& bus, BoardFactory make_board, ArrivalPlan plan)
    : bus_(bus), make_board_(std::move(make_board)), plan_(plan), taken_(plan.sockets, false), free_at_(plan.sockets) {
  Advance(start_);
  ticker_ = std::jthread([this](std::stop_token stop) {
    while (!stop.stop_requested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      Advance(std::chrono::steady_clock::now());
    }
  });
}

std::vector<BoardTimes> Arrivals::Times() const {
  const std::lock_guard lock(mutex_);
  std::vector<BoardTimes> times = left_;
  for (const Board& board : bench_) times.push_back(board.times);
  return times;
}

void Arrivals::Plug(Board& board, unsigned socket, std::chrono::steady_clock::time_point now) {
  board.where = Where::In;
  board.socket = socket;
  board.path = "sim:hid#" + std::to_string(++plugs_);
  board.seen = board.device->Counters();
  board.back_at = now;
  taken_[socket] = true;
  SimInterface interface { std::u16string(kBootLoaderHardwareId), board.path, board.device };
  interface.location = "sim-" + std::to_string(socket + 1);
  board.times.socket = interface.location;
  if (!board.times.arrived) board.times.arrived = now;
  bus_.Add(std::move(interface));
}

void Arrivals::Advance(std::chrono::steady_clock::time_point now) {
  const std::lock_guard lock(mutex_);
  for (Board& board : bench_) {
    if (board.where == Where::In) {
      const BootLoaderCounters counters = board.device->Counters();
      const bool reset = counters.resets > board.seen.resets;
      // The tool stopped talking to it, or never spoke to it again after a reset: it gave up on
      // the board, and the operator takes it out.
      const bool spoken_to = counters.last_request > board.back_at;
      const bool came_back = board.back_at > *board.times.arrived;
      const bool idle = (spoken_to || came_back) && now - std::max(counters.last_request, board.back_at) >= plan_.idle;
      if (!reset && !idle) continue;
      bus_.Remove(board.path);
      if (reset && counters.resets_after_match > board.seen.resets_after_match) {
        board.times.matched = counters.last_reset;
      }
      if (reset && !board.times.matched) {
        board.where = Where::Away;  // the boot loader starts again
        board.back_at = now + plan_.return_after;
      } else {
        board.where = Where::Gone;
        taken_[board.socket] = false;
        free_at_[board.socket] = board.times.matched ? now : now + plan_.replace_after;
        if (plan_.keep_times) left_.push_back(board.times);
      }
    } else if (board.where == Where::Away && now >= board.back_at) {
      taken_[board.socket] = false;
      Plug(board, board.socket, now);
    }
  }
  std::erase_if(bench_, [](const Board& board) { return board.where == Where::Gone; });
  // The next boards as their time comes, each into the first free socket.
  while (arrived_ < plan_.boards && now >= start_ + plan_.interval * static_cast<long>(arrived_)) {
    unsigned socket = 0;
    while (socket < taken_.size() && (taken_[socket] || now < free_at_[socket])) ++socket;
    if (socket == taken_.size()) break;
    Board board;
    board.device = make_board_(++arrived_);
    Plug(board, socket, now);
    bench_.push_back(std::move(board));
  }
}

}  // namespace fwup::sim
