#include "cli/watch/watch.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <list>
#include <map>
#include <thread>

#include "cli/display/terminal_view.hpp"
#include "cli/display/text.hpp"
#include "cli/flash/devices.hpp"
#include "cli/flash/flash_device.hpp"
#include "cli/flash/stop_request.hpp"
#include "cli/watch/watch_slots.hpp"

namespace fwup::cli {
namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

// A board's view: quiet, keeping what the live table shows of it for the watching thread; its
// trace lines begin with the board's slot, as flash --all's begin with the path.
class BoardView : public DeviceView {
 public:
  BoardView(Screen& screen, std::string prefix) : DeviceView(screen), prefix_(std::move(prefix)) {}
  void Line(std::string_view text) override {
    for (const std::string& line : Lines(text)) DeviceView::Line(prefix_ + line);
  }
  void SetStatusText(std::string_view text) override {
    DeviceView::SetStatusText(text);
    Keep();
  }
  void SetProgress(int position) override {
    DeviceView::SetProgress(position);
    Keep();
  }
  void PacketsSent(std::uint32_t sent, std::uint32_t total) override {
    DeviceView::PacketsSent(sent, total);
    Keep();
  }
  void Fill(LiveRow& row) const {
    const std::lock_guard lock(mutex_);
    row.progress = progress_;
    row.text = status_;
  }

 private:
  void Keep() {
    const std::lock_guard lock(mutex_);
    progress_ = record().progress;
    status_ = record().statuses.empty() ? std::string() : record().statuses.back();
  }
  std::string prefix_;
  mutable std::mutex mutex_;
  ProgressState progress_;
  std::string status_;
};

struct Attempt {
  WatchSlots::Start start;
  std::unique_ptr<BoardView> view;
  DeviceRecord record;
  std::atomic<bool> done = false;
  std::jthread thread;  // the last member: joined before the others go
};

// A board's record over all its attempts: the last attempt's outcome, the versions the board
// reported first, and whether any attempt erased it.
void CarryOver(const DeviceRecord& earlier, DeviceRecord& last) {
  last.run.erase_sent = last.run.erase_sent || earlier.run.erase_sent;
  if (earlier.versions.application_taken || earlier.versions.boot_taken) last.versions = earlier.versions;
  if (!last.region) last.region = earlier.region;
}

// The firmware file on disk, watched for a change after it was checked: what is programmed and
// logged stays the bytes checked, and the operator hears once that the file changed.
class FileWatch {
 public:
  explicit FileWatch(const CheckedFile& file) : file_(file), stamp_(Stamp()) {}

  // True the first time the file on disk holds other bytes than those checked.
  bool ChangedNow() {
    if (told_) return false;
    const auto now = Stamp();
    if (now == stamp_) return false;
    stamp_ = now;
    std::ifstream in(file_.path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    told_ = bytes != file_.read.bytes;  // a touch changes the time, not the bytes
    return told_;
  }

 private:
  std::pair<std::uintmax_t, std::filesystem::file_time_type> Stamp() const {
    std::error_code error;
    return {std::filesystem::file_size(file_.path, error), std::filesystem::last_write_time(file_.path, error)};
  }
  const CheckedFile& file_;
  std::pair<std::uintmax_t, std::filesystem::file_time_type> stamp_;
  bool told_ = false;
};

// The slots' table, below the lines of the boards that ended.
std::vector<LiveRow> TableRows(const WatchSlots& slots, const std::list<Attempt>& running) {
  std::vector<LiveRow> rows = {{"SLOT", std::nullopt, "STATE"}};
  for (const auto& [name, slot] : slots.Slots()) {
    LiveRow& row = rows.emplace_back(LiveRow{name, std::nullopt, ""});
    row.text = slot.state == SlotState::Empty      ? "free"
               : slot.state == SlotState::Retrying ? "failed; tried again while the board stays"
               : slot.state == SlotState::Failed   ? "FAILED: replace the board"
                                                   : "";
    if (slot.state != SlotState::Flashing) continue;
    for (const Attempt& attempt : running) {
      if (attempt.start.slot == name) attempt.view->Fill(row);
    }
    if (slot.attempt > 1) row.text += " (attempt " + std::to_string(slot.attempt) + ")";
  }
  return rows;
}

}  // namespace

ExitCode FlashWatch(Context& context, const CheckedFile& file, BoardRecorder& recorder) {
  const Options& options = context.options;
  Console& console = context.console;
  HidBus& bus = context.devices->bus();
  WatchSlots slots(options.retries,
                   std::chrono::milliseconds(static_cast<std::int64_t>(options.settle_seconds * 1000)));
  Screen screen(console, options.json, options.verbose, {}, true);
  std::mutex mutex;
  std::condition_variable woken;
  std::list<Attempt> running;
  unsigned ended = 0;
  unsigned matched = 0;
  std::string failed;                // the first few failed boards, for the closing message
  unsigned attempts_ended = 0;       // numbers the wire logs
  unsigned wire_logs_unwritten = 0;  // each said when it failed
  Json boards = Json::Array();
  FileWatch file_watch(file);

  const auto say = [&](const std::string& line) {
    if (!options.json) screen.Say(console.out, line);
  };
  const auto warn = [&](const std::string& line) { screen.Say(console.err, line); };
  SetStopNote("fwupgrade: stopping once the boards in progress are done; press Ctrl-C again to end at once\n");
  warn("Flashing every device that enters Firmware Upgrade Mode" +
       (options.count > 0 ? " until " + std::to_string(options.count) + " boards have ended" : std::string()) +
       "; Ctrl-C stops once the boards in progress are done.");

  // The last attempt of each board that waits for another; it is the board's record if the board
  // ends without one.
  struct LastAttempt {
    DeviceRecord record;
    ViewRecord shown;
    unsigned attempt = 0;
  };
  std::map<std::string, LastAttempt> waiting;
  const auto end_board = [&](const BoardEnd& end, const LastAttempt& last) {
    ++ended;
    matched += end.matched ? 1 : 0;
    const std::string& path = last.record.path;
    const std::string where = end.slot + (path.empty() || path == end.slot ? "" : " (" + path + ")");
    if (end.matched) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.2f s", last.record.seconds);
      say(where + ": CRC Matched in " + seconds);
    } else {
      const std::string why = end.removed   ? "taken out before it could be tried again; " + last.record.error
                              : end.stopped ? "stopped before it could be tried again; " + last.record.error
                                            : last.record.error;
      say(where + ": FAILED: replace the board: " + why);
      if (std::count(failed.begin(), failed.end(), ',') < 9) {
        failed += (failed.empty() ? "" : ", ") + end.slot;
      } else if (failed.back() != '.') {
        failed += ", ...";
      }
    }
    recorder.Record(last.record, last.attempt);
    if (options.json) {
      Json entry = Json::Object();
      entry["slot"] = end.slot;
      entry["attempts"] = last.attempt;
      boards.Append(EntryJson(last.record, last.shown, std::move(entry)));
    }
    waiting.erase(end.slot);  // `last` may be the entry: erased last
  };

  for (;;) {
    const bool stopping = StopRequested();
    const unsigned started = ended + slots.Busy();  // a board in a busy slot has started and not ended
    // No board beyond --count is started, however many sockets fill at once.
    const unsigned take_new = stopping                  ? 0u
                              : options.count == 0      ? std::numeric_limits<unsigned>::max()
                              : started < options.count ? options.count - started
                                                        : 0u;
    std::vector<BoardEnd> removed;
    for (const WatchSlots::Start& start :
         slots.Observe(MatchingDevices(bus, std::nullopt), WatchSlots::Clock::now(), take_new, !stopping, removed)) {
      Attempt& attempt = running.emplace_back();
      attempt.start = start;
      const auto earlier = waiting.find(start.slot);
      // A stop lets the boards in progress finish.
      const FlashSettings settings{options.force, start.path, context.platform.access_denied_advice, false,
                                   earlier != waiting.end() && earlier->second.record.run.erase_sent};
      attempt.view = std::make_unique<BoardView>(screen, start.slot + " (" + start.path + "): ");
      attempt.thread = std::jthread([&, current = &attempt, settings] {
        current->record = FlashDeviceBeside(bus, file, settings, *current->view);
        {
          const std::lock_guard lock(mutex);
          current->done = true;
        }
        woken.notify_one();
      });
    }
    for (const BoardEnd& end : removed) end_board(end, waiting[end.slot]);

    for (auto attempt = running.begin(); attempt != running.end();) {
      if (!attempt->done) {
        ++attempt;
        continue;
      }
      attempt->thread.join();
      const DeviceRecord& record = attempt->record;
      const std::optional<BoardEnd> end =
          slots.AttemptEnded(attempt->start.slot, record.code == ExitCode::kSuccess, record.found,
                             record.run.step == RunStep::Done, WatchSlots::Clock::now());
      if (!record.found) {  // gone before the tool reached it: not an attempt
        attempt = running.erase(attempt);
        continue;
      }
      LastAttempt last{std::move(attempt->record), attempt->view->record(), attempt->start.attempt};
      if (const auto earlier = waiting.find(attempt->start.slot); earlier != waiting.end()) {
        CarryOver(earlier->second.record, last.record);
      }
      try {
        context.devices->WriteWireLog(options, last.record.path, ++attempts_ended);
      } catch (const CliError& error) {
        warn("fwupgrade: " + std::string(error.what()));
        ++wire_logs_unwritten;
      }
      if (end) {
        end_board(*end, last);
      } else {
        say(attempt->start.slot + " (" + last.record.path + "): attempt " + std::to_string(last.attempt) + " of " +
            std::to_string(options.retries + 1) + " failed: " + last.record.error +
            "; trying again while the board stays");
        waiting[attempt->start.slot] = std::move(last);
      }
      attempt = running.erase(attempt);
    }

    if (file_watch.ChangedNow()) {
      warn("note: the firmware file '" + options.file +
           "' changed on disk; this run goes on programming the file it checked (SHA-256 " +
           Sha256Hex(file.read.bytes) + "); to program the new one, stop with Ctrl-C and start flash --watch again");
    }
    if (!take_new && running.empty() && !slots.Busy()) break;
    screen.Show(TableRows(slots, running));
    std::unique_lock lock(mutex);
    woken.wait_for(lock, kPollInterval, [&running] {
      return std::any_of(running.begin(), running.end(), [](const Attempt& attempt) { return attempt.done.load(); });
    });
  }

  screen.Show(TableRows(slots, running));
  // Without --count a stop is how a shift ends; with it, a stop before the count is an early end.
  const bool stopped = StopRequested();
  const bool cut_short = stopped && options.count > 0 && ended < options.count;
  context.result["boards"] = std::move(boards);
  context.result["matched"] = matched;
  context.result["total"] = ended;
  context.result["count"] = options.count > 0 ? Json(options.count) : Json();
  context.result["stopped"] = stopped;
  const std::string of = " of " + std::to_string(ended) + " boards";
  if (!options.json) console.out << '\n' << matched << of << " ended with CRC Matched.\n" << std::flush;
  const ExitCode code = cut_short          ? ExitCode::kInterrupted
                        : matched == ended ? ExitCode::kSuccess
                                           : ExitCode::kNotAllMatched;
  recorder.Finish(code, console);
  if (cut_short) {
    throw CliError(ExitCode::kInterrupted, "stopped after " + std::to_string(ended) + " of the " +
                                               std::to_string(options.count) + " boards asked for (--count); " +
                                               std::to_string(matched) + " ended with CRC Matched" +
                                               (failed.empty() ? std::string() : ", not: " + failed) +
                                               "; each board's line says where it was left");
  }
  if (code == ExitCode::kNotAllMatched) {
    throw CliError(ExitCode::kNotAllMatched, std::to_string(ended - matched) + of + " did not end with CRC Matched: " +
                                                 failed + "; each one's line says why");
  }
  if (wire_logs_unwritten > 0) {
    throw CliError(ExitCode::kOutputFailed, std::to_string(wire_logs_unwritten) + " of " +
                                                std::to_string(attempts_ended) +
                                                " wire logs could not be written, each said when it failed; the boards "
                                                "were flashed");
  }
  return ExitCode::kSuccess;
}

}  // namespace fwup::cli
