// What the tests share: a View and a Trace that keep everything shown, a session over a simulated
// bus, a writer of Intel HEX records, and firmware files in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ports/hid.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"
#include "sim/sim_bus.hpp"
#include "upgrade/session.hpp"

namespace fwup::test {

inline constexpr std::uint32_t kFailed = 1627;

// Prints a parameterized case as its `name` (in test listings), not as raw bytes.
template <class Case>
requires requires(const Case& c) { std::string(c.name); }
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// Names parameterized cases by their `name` field.
struct ByName {
  template <class Case>
  std::string operator()(const testing::TestParamInfo<Case>& param) const {
    return param.param.name;
  }
};

class RecordingView : public View {
 public:
  void SetStatusText(std::string_view text) override { Note(status, "status ", text); }
  void SetVersionText(std::string_view text) override { Note(versions, "version ", text); }
  void SetProgress(int position) override {
    progress.push_back(position);
    events.push_back("progress " + std::to_string(position));
  }
  void ShowBox(const Box& box) override {
    boxes.push_back(box);
    events.push_back("box " + box.text);
  }
  void PrintToStdout(std::string_view text) override { out.emplace_back(text); }

  std::vector<std::string> status, versions, out, events;  // events: everything, in order
  std::vector<int> progress;
  std::vector<Box> boxes;

 private:
  void Note(std::vector<std::string>& to, const char* kind, std::string_view text) {
    to.emplace_back(text);
    events.push_back(kind + std::string(text));
  }
};

class RecordingTrace : public Trace {
 public:
  void Line(std::string_view text) override { lines.emplace_back(text); }
  bool Has(std::string_view line) const;
  std::size_t CountPrefix(std::string_view prefix) const;
  std::vector<std::string> lines;
};

Box FailureBox(std::string text, BoxOwner owner = BoxOwner::Dialog);
Box VerdictBox(std::string text, BoxOwner owner);

// The stages over a session's parts, as the dialog runs them.
void Connect(Session& session);
std::uint32_t QueryInfo(Session& session);  // 0, the region then in DeviceInfo; or 1627
std::uint32_t Program(Session& session);    // 0 once the reset is written; the outcome in outcome

// A session over a simulated bus that holds one boot loader.
struct Rig {
  explicit Rig(sim::BootLoaderConfig config = {});
  sim::BootLoader& Device() { return *bus->Device(); }
  sim::WireLog Log() { return Device().Log(); }
  void AddFault(const std::string& fault);

  std::unique_ptr<sim::SimBus> bus;
  RecordingView view;
  RecordingTrace trace;
  Session session;
};

// The simulated boot loader with this application region.
inline sim::BootLoaderConfig RegionConfig(std::uint32_t start, std::uint32_t size) {
  sim::BootLoaderConfig config;
  config.region_start = start;
  config.region_size = size;
  return config;
}

// The requests the simulated device received, in order.
std::vector<BootReport> Requests(const sim::WireLog& log);

// A report with `code` in byte 1 and `payload` from byte 2 on, every other byte 0.
BootReport Report(std::uint8_t code, std::initializer_list<std::uint8_t> payload = {});

// One Intel HEX record line ending in CR LF (or `line_end`), its checksum computed here.
std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data,
                      const char* line_end = "\r\n");
// Data records, 16 bytes each, for `data` from `address` on.
std::string HexData(std::uint16_t address, const std::vector<std::uint8_t>& data);
inline const std::string kEndRecord = ":00000001FF\r\n";
inline const std::string kSignature = "TALVORK\r\n";

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed);

// A folder of the test's own, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A firmware file in a folder of its own.
class TempFile : public ScratchDir {
 public:
  explicit TempFile(const std::string& content);
  std::filesystem::path Path() const { return File("firmware.hex"); }
};

}  // namespace fwup::test
