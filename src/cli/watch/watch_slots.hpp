// The rules of a production line for flash --watch, apart from threads and devices: which board
// to flash, when a failed one is tried again, and when a slot takes the next board. A slot is
// where a board sits: its location, or its path where the platform gives no location.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fwup::cli {

struct PresentDevice {
  std::string path;
  std::string location;  // empty when the platform gives none
  bool operator==(const PresentDevice&) const = default;
};

// What the line does with a board, step by step.
enum class SlotState {
  Empty,     // free; a board that matched may still sit there until it leaves
  Flashing,  // an attempt runs
  Retrying,  // an attempt failed; the next starts when the board is there
  Failed,    // out of attempts: left alone until the slot has been empty for the settle time
};

// How a board ended; a board ends once.
struct BoardEnd {
  std::string slot;
  bool matched = false;
  bool removed = false;  // taken out before it could be tried again
  bool stopped = false;  // a stop came before it could be tried again
};

class WatchSlots {
 public:
  using Clock = std::chrono::steady_clock;

  struct Start {
    std::string slot;
    std::string path;
    unsigned attempt;  // 1 for a new board
  };
  struct Slot {
    SlotState state = SlotState::Empty;
    std::string path;       // of the last attempt
    unsigned attempt = 0;   // of the board in the slot
    std::string done_path;  // a board that matched and has not left yet: never flashed again
    std::optional<Clock::time_point> empty_since;
    std::optional<Clock::time_point> restarting_until;  // the reset device is still on its old path
  };

  // `retries`: attempts after the first while the board stays; `settle`: how long a slot must
  // stay empty before a failed board counts as taken out, longer than a reset's re-enumeration.
  WatchSlots(unsigned retries, std::chrono::milliseconds settle) : retries_(retries), settle_(settle) {}

  // The devices in Firmware Upgrade Mode now. Returns the attempts to start; boards that waited
  // for another attempt end in `ended` when they were taken out, or without `retry` (a stop).
  // At most `take_new` new boards are taken.
  std::vector<Start> Observe(const std::vector<PresentDevice>& present, Clock::time_point now, unsigned take_new,
                             bool retry, std::vector<BoardEnd>& ended);

  // An attempt on `slot` ended, `matched` or not. Returns the board's end, or nothing when it
  // will be tried again. An attempt on a device that was gone before the tool reached it
  // (`reached` false) does not count. After an attempt that reset the device (`restarted`), the
  // next waits for it to come back under a new path, or for the settle time.
  std::optional<BoardEnd> AttemptEnded(const std::string& slot, bool matched, bool reached, bool restarted,
                                       Clock::time_point now);

  // The slots where an attempt runs or waits to run.
  unsigned Busy() const;
  // Every slot seen so far, by name.
  const std::map<std::string, Slot>& Slots() const { return slots_; }

 private:
  unsigned retries_;
  std::chrono::milliseconds settle_;
  std::map<std::string, Slot> slots_;
};

}  // namespace fwup::cli
