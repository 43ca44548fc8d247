#include "cli/watch/watch_slots.hpp"

#include <algorithm>

namespace fwup::cli {

std::vector<WatchSlots::Start> WatchSlots::Observe(const std::vector<PresentDevice>& present, Clock::time_point now,
                                                   unsigned take_new, bool retry, std::vector<BoardEnd>& ended) {
  std::map<std::string, std::string> here;  // slot -> the first path present there
  for (const PresentDevice& device : present) {
    here.emplace(device.location.empty() ? device.path : device.location, device.path);
  }
  for (const auto& [slot, path] : here) slots_[slot];

  std::vector<Start> starts;
  for (auto& [name, slot] : slots_) {
    if (slot.state == SlotState::Retrying && !retry) {
      ended.push_back({name, false, false, true});
      slot.state = SlotState::Failed;
    }
    const auto found = here.find(name);
    if (found == here.end()) {
      if (!slot.empty_since) slot.empty_since = now;
      slot.done_path.clear();
      slot.restarting_until.reset();
      const bool settled = now - *slot.empty_since >= settle_;
      // Settled, a slot that is not flashing is free; a board that waited there was taken out.
      if (settled && slot.state == SlotState::Retrying) ended.push_back({name, false, true});
      if (settled && slot.state != SlotState::Flashing) slot.state = SlotState::Empty;
      continue;
    }
    slot.empty_since.reset();
    const std::string& path = found->second;
    if (slot.state == SlotState::Empty && take_new > 0 && path != slot.done_path) {
      --take_new;
      slot = Slot{};
      slot.state = SlotState::Flashing;
      slot.path = path;
      slot.attempt = 1;
      starts.push_back({name, path, 1});
    } else if (slot.state == SlotState::Retrying && retry) {
      if (slot.restarting_until && path == slot.path && now < *slot.restarting_until) continue;
      slot.restarting_until.reset();
      slot.state = SlotState::Flashing;
      slot.path = path;
      starts.push_back({name, path, ++slot.attempt});
    }
  }
  return starts;
}

std::optional<BoardEnd> WatchSlots::AttemptEnded(const std::string& name, bool matched, bool reached, bool restarted,
                                                 Clock::time_point now) {
  Slot& slot = slots_[name];
  if (!reached) {
    slot.state = --slot.attempt == 0 ? SlotState::Empty : SlotState::Retrying;
    return std::nullopt;
  }
  if (matched) {
    slot.state = SlotState::Empty;
    slot.done_path = slot.path;
    return BoardEnd{name, true, false};
  }
  if (slot.attempt <= retries_) {
    slot.state = SlotState::Retrying;
    if (restarted) slot.restarting_until = now + settle_;
    return std::nullopt;
  }
  slot.state = SlotState::Failed;
  return BoardEnd{name, false, false};
}

unsigned WatchSlots::Busy() const {
  return static_cast<unsigned>(std::count_if(slots_.begin(), slots_.end(), [](const auto& entry) {
    return entry.second.state == SlotState::Flashing || entry.second.state == SlotState::Retrying;
  }));
}

}  // namespace fwup::cli
